#include "cli/MosaicSetup.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <iostream>

#include "imaging/PictureReader.h"
#include "library/ImageListFile.h"
#include "library/PictureFileScan.h"
#include "library/SummaryCache.h"
#include "output/BandWriter.h"
#include "output/SavePicture.h"
#include "project/DefaultOptionsFile.h"
#include "project/OptionControls.h"
#include "project/OptionRanges.h"

namespace velmora::cli {
namespace {

std::string LowerExtension(const std::string& path) {
  std::string ext = ExtensionOf(path);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

void ApplySwitch(const Flags& flags, const char* name, bool& field) {
  if (auto v = flags.Switch(name)) field = *v;
}

// RRGGBB as the program stores colours, 0x00BBGGRR.
Status ParseColor(const char* flag, const std::string& c, int32_t& out) {
  const bool hex = c.size() == 6 && c.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
  if (!hex) return Status::Error(std::string("--") + flag + " must be six hex digits RRGGBB, not '" + c + "'");
  const unsigned long rgb = std::stoul(c, nullptr, 16);
  out = static_cast<int32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
  return Status::Ok();
}

// The tile shape flags into engine.Masks. A hexagon on peyote or brick
// without --cell-size gets the cells of regular hexagons: the cell's height
// (peyote) or width (brick) sqrt(3)/2 of the other side.
Status ApplyShapeFlags(const Flags& flags, Engine& engine) {
  TileMasking& m = engine.Masks;
  if (auto shape = flags.Value("shape")) {
    if (!ParseMaskShape(*shape, m.Shape)) {
      VELMORA_TRY(ReadMaskPicture(*shape, m.Custom));
      m.Shape = MaskShape::kCustom;
    }
  }
  if (auto colour = flags.Value("gap-color")) VELMORA_TRY(ParseColor("gap-color", *colour, m.GapColor));
  int fill = int(m.Gap);
  VELMORA_TRY(flags.Choice("gap-fill", {"color", "main"}, fill));
  m.Gap = GapFill(fill);
  tmosaicproject& p = engine.Project;
  const bool peyote = p.StitchMode == kStitchPeyote;
  if (m.Shape != MaskShape::kHexagon || (!peyote && p.StitchMode != kStitchBrick)) return Status::Ok();
  int& side = peyote ? p.CellHeight : p.CellWidth;
  const int other = peyote ? p.CellWidth : p.CellHeight;
  const int regular = std::clamp(int(std::lround(other * kHoneycombRatio)), 8, 640);
  if (!flags.Has("cell-size")) {
    side = regular;
  } else if (std::abs(side - regular) > 1) {
    std::cerr << "Note: the honeycomb's hexagons are stretched; cells of " << (peyote ? other : regular) << "x"
              << (peyote ? regular : other) << " give regular ones\n";
  }
  return Status::Ok();
}

// The option flags, over OptionSet as the Options dialog would set it; the
// numbers within the ranges every source of options keeps.
Status ApplyOptionFlags(const Flags& flags, tmosaicproject& o) {
  for (const OptionRange& range : OptionRanges()) {
    if (range.Flag == nullptr) continue;
    int value = range.Get(o);
    VELMORA_TRY(flags.Int(range.Flag, range.FlagRange.Min, range.FlagRange.Max, value));
    range.Set(o, value);
  }
  if (flags.Has("max-repeat")) o.LimitRepeat = true;
  ApplySwitch(flags, "use-all", o.UseAllPhotos);
  ApplySwitch(flags, "crop-cell", o.CropCell);
  ApplySwitch(flags, "mono-cell", o.MonoCell);
  ApplySwitch(flags, "hflip", o.AllowHFlip);
  ApplySwitch(flags, "vflip", o.AllowVFlip);
  o.RepeatLimitSuspended = false;
  if (auto colour = flags.Value("border-color")) {
    const std::string& c = *colour;
    const bool hex = c.size() == 6 && c.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
    if (!hex) return Status::Error("--border-color must be six hex digits RRGGBB, not '" + c + "'");
    const unsigned long rgb = std::stoul(c, nullptr, 16);
    // Stored as 0x00BBGGRR.
    o.BorderColor = static_cast<int32_t>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
  }
  int kernel = o.ResampleKernel;
  VELMORA_TRY(flags.Choice(
      "filter", {"nearest", "draft", "linear", "cosine", "spline", "lanczos", "mitchell"}, kernel));
  o.ResampleKernel = static_cast<uint8_t>(kernel);
  ApplySwitch(flags, "progressive", o.JpegProgressive);
  return Status::Ok();
}

// `path` made absolute and tidied; as given when it cannot be.
std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return ec ? path : absolute.lexically_normal().string();
}

Status LoadLibrary(Engine& engine, const Flags& flags) {
  auto library = flags.Value("library");
  if (!library) return LoadDefaultImageList(engine.PicList, ProgramFolder());
  std::error_code ec;
  if (std::filesystem::is_directory(*library, ec)) {
    // Stored as absolute paths, so a saved project finds its pictures from
    // whatever folder it is opened in later (the desktop program's own).
    const std::string folder = AbsolutePath(*library);
    std::vector<std::string> paths;
    const PictureNameFilter filter = flags.Switch("only-jpg-bmp").value_or(false)
                                         ? PictureNameFilter::kJpgBmp
                                         : PictureNameFilter::kReadable;
    // One scan for both, so a folder without subfolders gives the same
    // library, and a seed the same mosaic, with or without --recursive.
    const size_t leftOut = ListPictureFiles(folder, paths, flags.Switch("recursive").value_or(false), filter);
    if (paths.size() > static_cast<size_t>(MaxLibraryPictures))
      return TooManyPictures("library folder", *library, paths.size());
    if (leftOut > 0) std::cerr << "Warning: " << LineBreakNamesNote(leftOut) << "\n";
    engine.PicList.Assign(std::move(paths));
    return Status::Ok();
  }
  return ReadImageListFile(*library, engine.PicList);
}

}  // namespace

const char* const kMosaicFlagsHelp =
    "Picture and layout:\n"
    "  --main PICTURE          the main picture (any format the reader knows)\n"
    "  --library FOLDER|LIST   a folder of pictures or an .IL2 image list\n"
    "                          (default: the default image list beside the program)\n"
    "  --recursive             with a folder, take the pictures of its subfolders too\n"
    "  --only-jpg-bmp          with a folder, take only its .jpg and .bmp files (by\n"
    "                          default every picture file the program reads)\n"
    "  --cells AxD             cells across and down, 8..640 each (48x48)\n"
    "  --cell-size WxH         cell size in pixels, 8..640 each (32x32)\n"
    "  --dpi N                 print resolution, 30..1200 (72)\n"
    "  --crop-main             crop the main picture to the mosaic's aspect first\n"
    "  --mode standard|self    cells show library pictures, or the main picture itself\n"
    "  --stitch loom|peyote|brick  plain grid, odd rows or odd columns shifted\n"
    "  --sizes 1[,2][,4]       tiles of several sizes (plain grid only): calm areas\n"
    "                          of the main picture get tiles of 2 x 2 or 4 x 4 cells,\n"
    "                          detailed ones single cells (1: every tile one cell)\n"
    "  --calm N                how calm an area must be to merge: the most any of\n"
    "                          its samples may differ from its mean colour, in CIE76\n"
    "                          delta E, 0.5..50 (10)\n"
    "  --[no-]keep-aspect      tiles that keep the photo: landscape photos on tiles of\n"
    "                          2 x 1 cells, portrait ones on 1 x 2, square ones on\n"
    "                          one cell, so little of each is cropped; prints the\n"
    "                          photo area shown (--no-keep-aspect: only prints it\n"
    "                          for the usual crop). Plain grid; not with --use-all\n"
    "                          or --max-uses (off)\n"
    "  --shape NAME|MASK       tiles of any shape: circle, hexagon, rounded, diamond,\n"
    "                          heart, or a greyscale picture (white tile, black gap,\n"
    "                          grey a blended edge) scaled to each tile. A hexagon on\n"
    "                          peyote or brick is a honeycomb; without --cell-size\n"
    "                          the cells are made for regular hexagons (rectangle)\n"
    "  --gap-fill color|main   what shows between shaped tiles: --gap-color, or the\n"
    "                          main picture itself, blurred (color)\n"
    "  --gap-color RRGGBB      the gap colour (ffffff)\n"
    "  --seed N                random seed (default: the clock); same seed, same mosaic\n"
    "  --options FILE.opt      option defaults (default: Defaultopt.opt beside the\n"
    "                          program, else the built-in defaults)\n"
    "Options (override the option defaults):\n"
    "  --randomize N           1..80 (20)\n"
    "  --enhance N             recolouring strength in percent, 0..100 (50)\n"
    "  --recolor tint|transfer tint each cell picture toward its cell's colour, or\n"
    "                          move its colours and contrast to the cell's and keep\n"
    "                          its own light and dark (tint)\n"
    "  --[no-]use-all          place every library picture at least once (on)\n"
    "  --[no-]crop-cell        crop cell pictures to the cell's aspect (on)\n"
    "  --crop-by centre|attention|faces  where the crop sits: in the middle, over\n"
    "                          the part with the most detail, colour and skin tones\n"
    "                          (libvips' attention), or keeping the faces OpenCV\n"
    "                          finds whole, else as attention (centre)\n"
    "  --[no-]mono-cell        grey cell pictures (off)\n"
    "  --[no-]hflip            allow left-right mirroring (on)\n"
    "  --[no-]vflip            allow top-bottom mirroring (off)\n"
    "  --[no-]detail           detail matching: compare cells and pictures on 4 x 4\n"
    "                          CIELAB samples instead of four quadrant colours (off)\n"
    "  --[no-]fair-use-all     with --use-all, place every picture where the total\n"
    "                          of their distances is least, not one by one (off)\n"
    "  --radius N              minimum repeat radius in cells, 1..100 (4)\n"
    "  --max-repeat N          limit repeats of one picture to N, 1..999 (off)\n"
    "  --max-uses N            show no picture more than N times, placing all cells\n"
    "                          at once by the assignment solver so that the total\n"
    "                          colour distance under that cap is least (off)\n"
    "  --border N              border gap in pixels, 0..20 (0)\n"
    "  --border-color RRGGBB   border colour (000000)\n"
    "  --alpha-main N          main-picture overlay opacity, 0..255 (51)\n"
    "  --alpha-pen N           pen opacity, 0..255 (205)\n"
    "  --filter NAME           nearest, draft, linear, cosine, spline, lanczos,\n"
    "                          mitchell (spline)\n"
    "  --jpeg-quality N        25..100 (75)\n"
    "  --[no-]progressive      progressive JPEG (off)\n"
    "  --threads N             decoding threads, 1..64 (all cores; results are the same)\n"
    "  --memory MIB            pictures in flight at once, over all threads, in MiB\n"
    "                          (1024); threads wait for room rather than go past it\n"
    "  --no-orientation        use JPEG and TIFF pictures as stored, not turned\n"
    "                          upright by their orientation tag\n"
    "  --no-previews           decode every library photo in full, never from the\n"
    "                          small copy its camera embedded in it\n"
    "  --no-cache              summarise every library picture again instead of\n"
    "                          taking what the summary cache knows (see 'cache'),\n"
    "                          and decode every picture the render draws\n"
    "  --rendition-cache-mib N the most the cache of library pictures prepared for\n"
    "                          their cells may take, in MiB (1024; 0 keeps none)\n";

Flags MosaicFlags() {
  return Flags({"main",         "library",
                "out",          "project",
                "cells",        "cell-size",
                "dpi",          "mode",
                "stitch",       "seed",
                "options",      "randomize",
                "enhance",      "radius",
                "max-repeat",   "border",
                "border-color", "alpha-main",
                "alpha-pen",    "filter",
                "jpeg-quality", "threads",
                "memory",       "repeat",
                "bombs",        "rendition-cache-mib",
                "recolor",      "max-uses",
                "sizes",        "calm",
                "shape",        "gap-color",
                "gap-fill",     "crop-by"},
               {"crop-main", "recursive", "only-jpg-bmp", "quiet", "bands"},
               {"use-all", "crop-cell", "mono-cell", "hflip", "vflip", "progressive", "orientation", "cache", "previews",
                "detail", "fair-use-all", "advice", "keep-aspect"});
}

Status CheckPictureOut(const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext != "jpg" && ext != "jpeg" && ext != "bmp" && ext != "tif" && ext != "tiff" && ext != "png")
    return Status::Error("--out must name a .jpg, .bmp, .png or .tif file, not '" + path + "'");
  return Status::Ok();
}

Status ApplyEngineFlags(Engine& engine, const Flags& flags) {
  int threads = engine.ThreadCount();
  VELMORA_TRY(flags.Int("threads", 1, 64, threads));
  engine.SetThreadCount(threads);
  engine.SetUprightPictures(flags.Switch("orientation").value_or(true));
  engine.SetUsePreviews(flags.Switch("previews").value_or(true));
  // A reopened project's pictures come from the renditions its creation
  // kept, as in the desktop program; --no-cache decodes every one.
  if (flags.Switch("cache").value_or(true)) engine.SetSummaryCacheFolder(DefaultCacheFolder());
  return Status::Ok();
}

Status SetUpMosaic(Engine& engine, const Flags& flags, bool requireOut, MosaicSetup& setup) {
  if (!flags.Positional().empty())
    return Status::Error("unexpected argument '" + flags.Positional()[0] + "'");
  auto main = flags.Value("main");
  if (!main) return Status::Error("--main PICTURE is needed");
  if (auto out = flags.Value("out")) {
    VELMORA_TRY(CheckPictureOut(*out));
    setup.out = *out;
  } else if (requireOut) {
    return Status::Error("--out OUT.jpg|OUT.bmp is needed");
  }
  if (auto project = flags.Value("project")) setup.projectPath = *project;

  tmosaicproject& o = engine.OptionSet;
  SetBuiltInOptions(o);
  if (auto file = flags.Value("options")) {
    VELMORA_TRY(ReadOptionsFile(*file, o));
  } else {
    std::error_code ec;
    const std::string beside = DefaultOptionsPathToRead(ProgramFolder());
    if (std::filesystem::exists(beside, ec)) VELMORA_TRY(ReadOptionsFile(beside, o));
  }
  VELMORA_TRY(ApplyOptionFlags(flags, o));
  if (flags.Has("max-uses")) {
    // The repeat cap, kept by the solver rather than by the passes alone.
    int uses = 1;
    VELMORA_TRY(flags.Int("max-uses", 1, kMaxRaisedRepeatTimes, uses));
    o.LimitRepeat = true;
    o.MaxRepeatTimes = uses;
    engine.MatchingSet.UseCap = true;
  }

  tmosaicproject& p = engine.Project;
  VELMORA_TRY(flags.Pair("cells", 8, 640, p.CellsAcross, p.CellsDown));
  VELMORA_TRY(flags.Pair("cell-size", 8, 640, p.CellWidth, p.CellHeight));
  VELMORA_TRY(flags.Int("dpi", 30, 1200, p.Dpi));
  p.CropMainImage = flags.Switch("crop-main").value_or(false);
  int mode = 0;
  VELMORA_TRY(flags.Choice("mode", {"standard", "self"}, mode));
  p.RenderMode = mode == 1 ? kRenderSelf : kRenderStandard;
  int stitch = 0;
  VELMORA_TRY(flags.Choice("stitch", {"loom", "peyote", "brick"}, stitch));
  p.StitchMode = stitch + 1;
  if (auto sizes = flags.Value("sizes")) {
    VELMORA_TRY(ParseBlockSides(*sizes, engine.Sizing));
    if (engine.Sizing.On() && p.StitchMode != kStitchLoom)
      return Status::Error("--sizes works with the plain grid (--stitch loom) only");
    if (engine.Sizing.On() && p.RenderMode == kRenderSelf)
      return Status::Error("--sizes works with library pictures only, not with --mode self");
  }
  if (flags.Switch("keep-aspect").value_or(false)) {
    if (p.StitchMode != kStitchLoom)
      return Status::Error("--keep-aspect works with the plain grid (--stitch loom) only");
    if (p.RenderMode == kRenderSelf)
      return Status::Error("--keep-aspect works with library pictures only, not with --mode self");
    if (flags.Has("max-uses"))
      return Status::Error("--keep-aspect does not combine with --max-uses; --max-repeat caps the uses instead");
    if (flags.Switch("use-all").value_or(false))
      return Status::Error("--keep-aspect does not combine with --use-all: every tile takes only photos of its "
                           "shape, so not every photo can be placed where it fits");
  }
  VELMORA_TRY(ApplyShapeFlags(flags, engine));
  int cropBy = static_cast<int>(engine.CropMode);
  VELMORA_TRY(flags.Choice("crop-by", {"centre", "attention", "faces"}, cropBy));
  engine.CropMode = static_cast<CropBy>(cropBy);
  if (auto calm = flags.Value("calm")) {
    char* end = nullptr;
    const double value = std::strtod(calm->c_str(), &end);
    if (calm->empty() || end != calm->c_str() + calm->size() || !(value >= 0.5 && value <= 50))
      return Status::Error("--calm takes a delta E from 0.5 to 50, not '" + *calm + "'");
    engine.Sizing.Calm = value;
  }
  int threads = engine.ThreadCount();
  VELMORA_TRY(flags.Int("threads", 1, 64, threads));
  engine.SetThreadCount(threads);
  int budgetMib = static_cast<int>(kDefaultMemoryBudgetBytes >> 20);
  VELMORA_TRY(flags.Int("memory", 64, 1 << 20, budgetMib));
  engine.SetMemoryBudget(int64_t(budgetMib) << 20);

  engine.SetUprightPictures(flags.Switch("orientation").value_or(true));
  engine.SetUsePreviews(flags.Switch("previews").value_or(true));
  // The main picture is decoded on a thread of its own (or here, when no
  // thread can be made) while the library is listed, which touches neither
  // the main bitmap nor its path.
  p.MainImageFile = AbsolutePath(*main);
  std::future<Status> mainRead =
      std::async(std::launch::async | std::launch::deferred, [&engine] { return engine.LoadMainPicture(); });
  Status listed = LoadLibrary(engine, flags);
  Status read = mainRead.get();
  VELMORA_TRY(listed);
  VELMORA_TRY(read);
  if (flags.Switch("cache").value_or(true)) engine.SetSummaryCacheFolder(DefaultCacheFolder());
  int renditionMib = static_cast<int>(Engine::kDefaultRenditionCacheBytes >> 20);
  VELMORA_TRY(flags.Int("rendition-cache-mib", 0, 1 << 20, renditionMib));
  engine.SetRenditionCacheBytes(uint64_t(renditionMib) << 20);

  // As the wizard does when it collects its settings: the repeat limit is
  // raised when the library could not fill the grid under it, then the
  // options are copied into the project.
  o.MaxRepeatTimes =
      RaisedRepeatTimes(o.LimitRepeat, o.MaxRepeatTimes, engine.PicList.Count(), p.CellsAcross, p.CellsDown);
  ComputeDerivedSizes(p);
  CopyOptions(o, p);
  // The matching choices have no place in the option fields; both off
  // unless asked for.
  ApplySwitch(flags, "detail", engine.MatchingSet.Detail);
  ApplySwitch(flags, "fair-use-all", engine.MatchingSet.FairUseAll);
  if (auto recolor = flags.Value("recolor")) {
    if (*recolor != "tint" && *recolor != "transfer")
      return Status::Error("--recolor must be tint or transfer, not '" + *recolor + "'");
    engine.MatchingSet.Transfer = *recolor == "transfer";
  }
  engine.Matching = engine.MatchingSet;

  if (flags.Has("seed")) {
    auto text = *flags.Value("seed");
    long long seed = 0;
    if (!ParseInt(text, seed) || seed < 0 || seed > 0xFFFFFFFFLL)
      return Status::Error("--seed must be a whole number from 0 to 4294967295, not '" + text + "'");
    engine.Rng.SetSeed(static_cast<uint32_t>(seed));
  } else {
    engine.Rng.Randomize();
  }
  return Status::Ok();
}

namespace {

Status InBandsToFile(Engine& engine, const std::string& path, const BandRender& render,
                     std::unique_ptr<BandWriter>* pending = nullptr, QualityMeter* quality = nullptr) {
  const tmosaicproject& p = engine.Project;
  Result<std::unique_ptr<BandWriter>> writer =
      OpenBandWriter(path, p.FinalWidth, p.FinalHeight, p.JpegQuality, p.JpegProgressive);
  if (!writer) return writer.status();
  int top = 0;
  VELMORA_TRY(render(BandRowsFor(p), [&](const TBitmap32& band, int n) {
    if (quality != nullptr) {
      // The grid is made by now, so the project's sizes are final.
      if (top == 0) {
        quality->SetThreads(engine.ThreadCount());
        (void)quality->Start(engine.MainBitmap, QualityMainArea(engine), engine.Project);
      }
      quality->AddMosaicRows(band, top, n);
    }
    top += n;
    return (*writer)->WriteRows(band, n);
  }));
  if (pending == nullptr) return (*writer)->Finish();
  VELMORA_TRY((*writer)->Complete());
  *pending = std::move(*writer);
  return Status::Ok();
}

}  // namespace

int BandRowsFor(const tmosaicproject& p) {
  // Bands of about 128 MiB: a few cells tall for the widest posters.
  constexpr int64_t kBandBytes = int64_t(128) << 20;
  const int64_t rows = kBandBytes / (int64_t(std::max(p.FinalWidth, 1)) * 4);
  return static_cast<int>(std::clamp<int64_t>(rows, std::min(64, p.FinalHeight), std::max(1, p.FinalHeight)));
}

std::string QualityLines(const QualityReport& r) {
  return Format(
      "Colour error per cell (CIE76 delta E, 0 = same colour; about 2.3 is just noticeable):\n"
      "  one sample per cell:    mean %.2f, worst 5 %% of cells %.2f\n"
      "  4 x 4 samples per cell: mean %.2f, worst 5 %% of cells %.2f\n",
      r.MeanSingle, r.WorstSingle, r.MeanDetail, r.WorstDetail);
}

std::string MoreQualityLines(const QualityReport& r) {
  std::string s = Format("Mean colour error per cell, CIEDE2000: %.2f (one sample per cell; %.2f with 4 x 4 samples)\n",
                         r.MeanSingle00, r.MeanDetail00);
  if (r.SsimWidth > 0)
    s += Format("Structural similarity (SSIM, grey, %d x %d window) at %d x %d px: %.3f\n", kSsimWindow,
                kSsimWindow, r.SsimWidth, r.SsimHeight, r.Ssim);
  if (r.PhotosUsed >= 0) s += Format("Photos used: %d different, at most %d times one\n", r.PhotosUsed, r.MostUses);
  if (r.ContrastCells > 0)
    s += Format("Tile contrast kept: %.1f %% (the mean over cells of the luminance spread in the mosaic against "
                "the photo's own, drawn without tint or overlay)\n",
                r.ContrastKept);
  else if (r.ContrastCells == 0)
    s += "Tile contrast kept: not measured (every cell's photo is flat)\n";
  return s;
}

Status CreateMosaicFile(Engine& engine, const std::string& path, std::unique_ptr<BandWriter>* pending,
                        QualityMeter* quality) {
  return InBandsToFile(
      engine, path,
      [&](int bandRows, const Engine::BandSink& sink) { return engine.CreateMosaicInBands(bandRows, sink); },
      pending, quality);
}

Status WriteMosaicFile(Engine& engine, const std::string& path, const BandRender& render) {
  return InBandsToFile(engine, path, render);
}

Status RenderMosaicInBandsToFile(Engine& engine, const std::string& path) {
  return InBandsToFile(engine, path, [&](int bandRows, const Engine::BandSink& sink) {
    return engine.RenderMosaicBands(bandRows, sink);
  });
}

Status SaveMosaicPicture(const Engine& engine, const std::string& path) {
  const std::string ext = LowerExtension(path);
  if (ext == "bmp") return SavePictureFile(engine.MosaicBitmap, path, 1).status();
  return WriteJpegFile(engine.MosaicBitmap, path, engine.Project.JpegQuality, engine.Project.JpegProgressive);
}

}  // namespace velmora::cli
