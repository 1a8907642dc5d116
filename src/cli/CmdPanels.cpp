// velmora-cli panels PROJECT.vm6 --paper A4 --dpi N --overlap MM --out
// panels.pdf: reopens a saved project and cuts its mosaic into sheets of
// paper, rendered in bands straight into the PDF.
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "cli/LoadProject.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "imaging/Interrupt.h"
#include "output/PanelPdf.h"
#include "output/PosterPanels.h"
#include "project/ProjectFile.h"

namespace velmora::cli {
namespace {

// A length in millimetres: a plain decimal number from `min` to `max`. One
// message for every value out of that range, whichever side it falls on.
Status Millimetres(const Flags& flags, const std::string& name, double min, double max, double& out) {
  const auto text = flags.Value(name);
  if (!text) return Status::Ok();
  char* end = nullptr;
  const double value = std::strtod(text->c_str(), &end);
  if (text->empty() || end != text->c_str() + text->size() || !std::isfinite(value) || value < min ||
      value > max)
    return Status::Error(Format("--%s must be a length in millimetres from %g to %g, not '%s'", name.c_str(),
                                min, max, text->c_str()));
  out = value;
  return Status::Ok();
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

int RunPanels(const Args& args) {
  Flags flags({"paper", "dpi", "overlap", "margin", "out", "threads"}, {"quiet"}, {"orientation", "cache", "previews"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().size() != 1)
    return Fail("panels needs one PROJECT.vm6 (see 'velmora-cli panels --help')");
  const auto out = flags.Value("out");
  if (!out) return Fail("--out PANELS.pdf is needed");

  PanelSettings settings;
  Result<PaperSize> paper = ParsePaperSize(flags.Value("paper").value_or("A4"));
  if (!paper) return Fail(paper.message());
  settings.Paper = *paper;
  if (Status s = Millimetres(flags, "overlap", 0, 1000, settings.OverlapMm); !s) return Fail(s.message());
  if (Status s = Millimetres(flags, "margin", kMinPanelMarginMm, kMaxPanelMarginMm, settings.MarginMm); !s)
    return Fail(s.message());

  Engine engine;
  if (Status s = ApplyEngineFlags(engine, flags); !s) return Fail(s.message());
  const std::string& projectPath = flags.Positional()[0];
  CommandProject project;
  if (Status s = LoadCommandProject(engine, projectPath, &project); !s) return Fail(s.message());

  // Without --dpi the poster is printed at the resolution the project was made for.
  settings.Dpi = engine.Project.Dpi;
  if (flags.Has("dpi")) {
    long long dpi = 0;
    const std::string text = *flags.Value("dpi");
    if (!ParseInt(text, dpi) || dpi < kMinPanelDpi || dpi > kMaxPanelDpi)
      return Fail(Format("--dpi must be a whole number from %d to %d, not '%s'", kMinPanelDpi, kMaxPanelDpi,
                         text.c_str()));
    settings.Dpi = static_cast<int>(dpi);
  }
  Result<PanelPlan> plan = PlanPosterPanels(engine.Project.FinalWidth, engine.Project.FinalHeight, settings);
  if (!plan) return Fail(plan.message());

  ProgressBar progress(flags.Switch("quiet").value_or(false));
  engine.SetListener(&progress);
  const Status written = WritePanelPdf(
      *out, *plan,
      [&](int bandRows, const PanelBandSink& sink) {
        return ReopenCommandProject(engine, project, bandRows, sink);
      },
      FileNameOf(projectPath), progress);
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled() || (!written && (written.message() == kJobCancelled || InterruptRequested())))
    return Cancelled();
  if (!written) return Fail(written.message());
  std::cerr << "Finished size " << FinishedSizeText(*plan) << ": " << PanelCountText(*plan)
            << " and the map, saved to " << *out << "\n";
  return 0;
}

const CommandRegistrar registrar({
    "panels",
    "cut a saved project's mosaic into poster panels (PDF)",
    "Usage: velmora-cli panels PROJECT.vm6 --out PANELS.pdf [--paper A4|A3|letter|WxHmm]\n"
    "                          [--dpi N] [--overlap MM] [--margin MM] [--threads N] [--quiet]\n"
    "                          [--no-orientation] [--no-previews] [--no-cache]\n\n"
    "Reopens the project, renders its mosaic in bands and writes a PDF: first the\n"
    "assembly map (the whole mosaic small with every sheet outlined and labelled,\n"
    "and the finished size), then one page per sheet, row by row from A1, with\n"
    "crop marks, alignment marks where the neighbouring sheets overlap, and the\n"
    "sheet's label in the margin. The paper is turned the way that needs fewer\n"
    "sheets.\n\n"
    "  --paper    A4 (default), A3, letter or e.g. 300x400mm\n"
    "  --dpi      mosaic pixels per inch of paper, 1..2400 (default: the project's)\n"
    "  --overlap  strip shared by neighbouring sheets, in mm (default 10)\n"
    "  --margin   unprinted edge of every sheet, 5..100 mm (default 10)\n",
    RunPanels,
});

}  // namespace
}  // namespace velmora::cli
