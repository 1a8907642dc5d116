// velmora-cli render PROJECT.vm6 --out OUT: reopens a saved project as
// opening it in the program does (grid, render, then the pen strokes and the
// cells drawn again over them) and saves its picture.
#include <iostream>

#include "cli/Command.h"
#include "cli/LoadProject.h"
#include "cli/MosaicSetup.h"
#include "cli/ProgressBar.h"

namespace velmora::cli {
namespace {

int RunRender(const Args& args) {
  Flags flags({"out", "threads"}, {"quiet"}, {"orientation", "cache", "previews"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().size() != 1) return Fail("render needs one PROJECT.vm6 (see 'velmora-cli render --help')");
  auto out = flags.Value("out");
  if (!out) return Fail("--out OUT.jpg|OUT.bmp is needed");
  if (Status s = CheckPictureOut(*out); !s) return Fail(s.message());

  Engine engine;
  if (Status s = ApplyEngineFlags(engine, flags); !s) return Fail(s.message());
  ProgressBar progress(flags.Switch("quiet").value_or(false));
  engine.SetListener(&progress);
  // As opening the project does (grid, render, the pen log), with the
  // render going in bands straight into the file.
  CommandProject project;
  Status opened = LoadCommandProject(engine, flags.Positional()[0], &project);
  if (opened)
    opened = WriteMosaicFile(engine, *out, [&](int bandRows, const Engine::BandSink& sink) {
      return ReopenCommandProject(engine, project, bandRows, sink);
    });
  engine.FinishCacheWrites();
  progress.Finish();
  if (engine.JobCancelled()) return Cancelled();
  if (!opened) return Fail(opened.message());
  std::cerr << "Mosaic of " << engine.Project.FinalWidth << " x " << engine.Project.FinalHeight
            << " pixels saved to " << *out << "\n";
  return 0;
}

const CommandRegistrar registrar({
    "render",
    "reopen a saved project and save its mosaic picture",
    "Usage: velmora-cli render PROJECT.vm6 --out OUT.jpg|.bmp|.tif [--threads N] [--quiet]\n"
    "                          [--no-orientation] [--no-previews] [--no-cache]\n\n"
    "Reads the project file, rebuilds the grid and renders the stored cell map\n"
    "(the library is not prepared and no cell is assigned again), paints the\n"
    "pen strokes of the desktop again with the cells edited over them, then saves\n"
    "the picture. The library pictures are read from the paths stored in the\n"
    "project. The picture is the one the project showed when it was saved, byte\n"
    "for byte.\n"
    "--no-orientation uses JPEG and TIFF pictures as stored instead of upright,\n"
    "--no-previews decodes library photos in full, never from their embedded\n"
    "previews (give each when the project was created with it)."
    " The pictures are taken from\n"
    "the rendition cache where 'create' kept them; --no-cache decodes every one.\n",
    RunRender,
});

}  // namespace
}  // namespace velmora::cli
