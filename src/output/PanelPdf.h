// The poster panels as one PDF: a first page with the assembly map (the
// whole mosaic small, every sheet outlined and labelled over it) and the
// finished size, then one page per sheet in reading order with its part of
// the picture at the plan's resolution, crop marks at the picture's corners,
// alignment marks where the neighbouring sheets' pictures begin and end, and
// the sheet's label in the margin.
//
// The mosaic is read once, in bands from the top, and never held whole: each
// band adds to the map and its rows go to a scratch file beside the PDF, from
// which every page is read back when the map page is done. Memory stays near
// one band, one sheet's pixels and the map, however large the poster.
#pragma once

#include <functional>
#include <string>

#include "imaging/Bitmap32.h"
#include "imaging/Job.h"
#include "imaging/Status.h"
#include "output/PosterPanels.h"

namespace velmora {

// As the engine's band render hands over a band: the next `rows` rows of the
// picture, from the top of `band`.
using PanelBandSink = std::function<Status(const TBitmap32& band, int rows)>;
// Produces the whole picture, top band first, bands of at most bandRows rows.
using PanelBandSource = std::function<Status(int bandRows, const PanelBandSink& sink)>;

// The bands of a picture already in memory (the desktop's mosaic).
PanelBandSource BandsOfBitmap(const TBitmap32& picture);

// Rows per band for a picture `width` pixels wide: about 32 MiB a band.
int PanelBandRows(int width, int height);

// The job text of the pages, written after the pass over the bands.
inline constexpr const char* kPanelPagesJobText = "Current Job : Poster Panel Pages";

// Writes the PDF to `path` (beside it, then renamed into place: a failed,
// cancelled or interrupted write keeps an existing file). `title` names the
// mosaic on the map page. The source must deliver plan.PictureWidth x
// plan.PictureHeight pixels. The pages report their progress to `listener`
// and stop at its cancel or an interrupt, which returns kJobCancelled.
Status WritePanelPdf(const std::string& path, const PanelPlan& plan, const PanelBandSource& source,
                     const std::string& title, JobListener& listener);
// The same without progress reports.
Status WritePanelPdf(const std::string& path, const PanelPlan& plan, const PanelBandSource& source,
                     const std::string& title);

}  // namespace velmora
