// velmora-cli advise: the settings advice for a main picture, a library and a
// grid, without making a mosaic.
#include <iostream>

#include "cli/Command.h"
#include "cli/MosaicSetup.h"
#include "engine/PhotoShapes.h"
#include "quality/Advice.h"

namespace velmora::cli {
namespace {

int RunAdvise(const Args& args) {
  Flags flags = MosaicFlags();
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  Engine engine;
  MosaicSetup setup;
  if (Status s = SetUpMosaic(engine, flags, false, setup); !s) return Fail(s.message());

  const tmosaicproject& p = engine.Project;
  AdviceInput in = AdviceInputOf(engine, p);
  in.SizesOn = engine.Sizing.On();
  in.KeepShapes = flags.Switch("keep-aspect").value_or(false);
  if (p.RenderMode != kRenderSelf) {
    // The photos' shapes, for whether keeping them helps.
    std::vector<std::string> unread;
    SetUpPhotoShapes(engine, false, unread);
    in.PhotosOffSquare = in.Photos - engine.Aspects.Count[size_t(TileShape::kSquare)];
  }
  const SettingsAdvice advice = AdviseSettings(in);
  std::cout << "Advice for " << engine.PicList.Count() << " library photos, " << p.CellsAcross << " x "
            << p.CellsDown << " cells of " << p.CellWidth << " x " << p.CellHeight << " pixels and a "
            << engine.MainBitmap.Width() << " x " << engine.MainBitmap.Height() << " main picture:\n";
  for (const AdviceLine& line : AdviceLines(advice))
    std::cout << (line.Followed ? "  " : "! ") << line.Text << "\n";
  std::cout << "Suggested settings: " << AdviceSummary(advice, p.CellsAcross) << "\n"
            << (advice.Followed()
                    ? "The settings given follow it.\n"
                    : "Lines marked ! differ from the settings given; 'create' applies the advice where no\n"
                      "flag says otherwise, 'create --advice' over the flags too.\n");
  return 0;
}

const std::string kUsage =
    std::string(
        "Usage: velmora-cli advise --main PICTURE --library FOLDER|LIST.IL2 [--cells AxD] [options]\n\n"
        "Prints the settings under which the mosaic will look most like the main\n"
        "picture for this library and grid, and which of the settings given differ\n"
        "from them (marked !). Nothing is made; 'create' applies the same advice\n"
        "to every setting no flag gives ('create --no-advice' leaves it out). It\n"
        "covers:\n"
        "  - the repeat radius: the largest that still leaves enough photos for\n"
        "    every cell (a radius R forbids a photo in the (2R+1)^2 cells around it);\n"
        "  - \"Ensure Use All Photos\": off when the library is large against the\n"
        "    cell count, where placing every photo first costs likeness;\n"
        "  - cells down that keep the main picture's shape for the cells across\n"
        "    (unless --crop-main);\n"
        "  - a repeat cap that fits, kept by the assignment solver (--max-uses);\n"
        "  - detail matching and colour transfer (--detail, --recolor transfer);\n"
        "  - whether tiles of several sizes (--sizes 1,2,4 at --calm 10) and tiles\n"
        "    that keep each photo's shape (--keep-aspect) would help; these trade\n"
        "    tiles for it, so 'create' leaves them to you.\n"
        "The flags are those of 'create' (--out is not needed).\n\n") +
    kMosaicFlagsHelp;

const CommandRegistrar registrar({"advise", "print the settings advice for a picture, library and grid",
                                  kUsage, RunAdvise});

}  // namespace
}  // namespace velmora::cli
