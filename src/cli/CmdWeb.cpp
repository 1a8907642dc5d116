// velmora-cli web PROJECT.vm6 --out DIR: the mosaic as a zoomable web page
// that names the photo in every cell.
#include <filesystem>
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "cli/LoadProject.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"
#include "output/WebMosaicWriter.h"
#include "project/UsageStats.h"

namespace velmora::cli {
namespace {

int RunWeb(const Args& args) {
  Flags flags({"out", "threads", "quality", "title"}, {"quiet", "full-paths", "replace"},
              {"orientation", "cache", "previews"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().size() != 1) return Fail("web needs one PROJECT.vm6 (see 'velmora-cli web --help')");
  auto out = flags.Value("out");
  if (!out || out->empty()) return Fail("--out DIR is needed");

  WebExportSettings settings;
  settings.folder = *out;
  settings.viewerFolder = WebViewerFolder(ProgramFolder());
  settings.replace = flags.Switch("replace").value_or(false);
  if (Status s = flags.Int("quality", 1, 100, settings.tileQuality); !s) return Fail(s.message());
  // Refused before the render, not after it.
  if (Status s = CheckWebViewer(settings.viewerFolder); !s) return Fail(s.message());
  if (const WebFolderCheck check = CheckWebFolder(settings.folder, settings.replace); !check.status)
    return Fail(check.status.message() + (check.mayReplace
                                              ? " Give --replace to export into it anyway: those "
                                                "files are kept, only the web mosaic's are replaced."
                                              : ""));

  Engine engine;
  if (Status s = ApplyEngineFlags(engine, flags); !s) return Fail(s.message());
  ProgressBar progress(flags.Switch("quiet").value_or(false));
  engine.SetListener(&progress);

  const std::string& project = flags.Positional()[0];
  CommandProject opened;
  Status loaded = LoadCommandProject(engine, project, &opened);
  if (!loaded) return Fail(loaded.message());
  settings.names = UsageNames(engine.PicList, !flags.Switch("full-paths").value_or(false));
  settings.title = flags.Value("title").value_or(std::filesystem::path(project).stem().string());

  const Result<WebExportSummary> made = ExportWebMosaicInBands(
      engine,
      [&](int bandRows, const Engine::BandSink& sink) {
        return ReopenCommandProject(engine, opened, bandRows, sink);
      },
      settings, progress);
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled() || (!made && made.message() == kJobCancelled)) return Cancelled();
  if (!made) return Fail(made.message());
  std::cerr << "Web mosaic of " << engine.Project.FinalWidth << " x " << engine.Project.FinalHeight
            << " pixels (" << made->Levels << " zoom levels, " << made->Tiles << " tiles) written to " << *out
            << "; open index.html in it\n";
  return 0;
}

const CommandRegistrar registrar({
    "web",
    "export a project's mosaic as a zoomable web page naming every photo",
    "Usage: velmora-cli web PROJECT.vm6 --out DIR [--quality Q] [--title TEXT] [--replace]\n"
    "                       [--full-paths] [--threads N] [--quiet] [--no-orientation] [--no-previews] [--no-cache]\n\n"
    "Renders the project's mosaic (in bands, never whole) and writes DIR with a\n"
    "deep-zoom tile pyramid of it (mosaic.dzi, mosaic_files/), index.html, the\n"
    "cell data (mosaic-cells.js) and the OpenSeadragon viewer. The page pans and\n"
    "zooms from the whole mosaic down to single photos; pointing at a cell (or\n"
    "tapping it) shows the file name of its photo and its column and row; the\n"
    "search box marks every cell of one photo. It works opened from disk as well\n"
    "as from any static web server.\n\n"
    "DIR must be new, empty or an earlier web mosaic, whose own files (listed in\n"
    "velmora-web-files.txt) are replaced once the new one is complete.\n"
    "--replace     also export into a DIR that holds other files, or a web mosaic\n"
    "              that does not list its files: the other files are kept, and a\n"
    "              file of the same name as one of the export's is refused\n"
    "--quality     JPEG quality of the tiles, 1..100 (default 85)\n"
    "--title       the page's title (default: the project's file name)\n"
    "--full-paths  name the photos by their full paths instead of file names\n"
    "--no-orientation uses JPEG and TIFF pictures as stored instead of upright,\n"
    "--no-previews decodes library photos in full, never from their embedded\n"
    "previews (give each when the project was created with it)."
    "\n",
    RunWeb,
});

}  // namespace
}  // namespace velmora::cli
