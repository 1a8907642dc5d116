// velmora-cli faces-kept PROJECT: how many of a mosaic's tiles show every
// face of their photo whole, under the crop the project was made with or
// another one. The photos are decoded as Prepare library decodes them for a
// crop by faces, their faces found on that decode, and each tile's crop
// (as the render cuts it) checked against them.
#include <iostream>
#include <map>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "cli/LoadProject.h"
#include "imaging/PathText.h"
#include "imaging/PictureOps.h"
#include "library/CellPictures.h"
#include "library/SummaryCache.h"

namespace velmora::cli {
namespace {

// A face counts as whole when it lies inside the crop give or take the
// rounding of the box kept in the cache (a pixel or two of the decode).
constexpr int kSlack = 2;

bool Inside(const TRect& face, const TRect& kept) {
  return face.Left >= kept.Left - kSlack && face.Top >= kept.Top - kSlack &&
         face.Right <= kept.Right + kSlack && face.Bottom <= kept.Bottom + kSlack;
}

int RunFacesKept(const Args& args) {
  Flags flags({"crop-by"}, {"verbose"}, {"cache"});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().size() != 1)
    return Fail("faces-kept needs one PROJECT (see 'velmora-cli faces-kept --help')");
  Engine engine;
  if (flags.Switch("cache").value_or(true)) engine.SetSummaryCacheFolder(DefaultCacheFolder());
  if (Status s = LoadCommandProject(engine, flags.Positional()[0]); !s) return Fail(s.message());
  int mode = static_cast<int>(engine.CropMode);
  if (Status s = flags.Choice("crop-by", {"centre", "attention", "faces"}, mode); !s)
    return Fail(s.message());
  engine.CropMode = static_cast<CropBy>(mode);
  const tmosaicproject& p = engine.Project;
  if (p.RenderMode == kRenderSelf)
    return Fail("faces-kept looks at library photos; the project shows its own picture");

  struct Photo {
    bool read = false;
    int width = 0, height = 0;
    std::vector<TRect> faces;
  };
  std::map<int, Photo> photos;
  int tiles = 0, withFaces = 0, whole = 0, faces = 0, facesWhole = 0;
  const bool verbose = flags.Switch("verbose").value_or(false);
  for (int y = 0; y < p.CellsDown; ++y)
    for (int x = 0; x < p.CellsAcross; ++x) {
      const TileBlock tile = engine.BlocksDrawn() ? engine.TileAt(x, y) : TileBlock{x, y, 1, 1};
      if (tile.X != x || tile.Y != y) continue;
      const int k = engine.Map.At(x, y).PicIndex;
      if (k < 0 || k >= engine.PicList.Count()) continue;
      ++tiles;
      Photo& photo = photos[k];
      if (!photo.read) {
        photo.read = true;
        TBitmap32 picture;
        if (Status s =
                LoadPictureFile(picture, engine.PicList[k], SubjectDecodeHints(p.CellWidth, p.CellHeight));
            !s)
          return Fail(s.message());
        photo.width = picture.Width();
        photo.height = picture.Height();
        if (Status s = FindFaces(picture, photo.faces); !s) return Fail(s.message());
      }
      if (photo.faces.empty()) continue;
      ++withFaces;
      const int aw = p.CellWidth * tile.Width;
      const int ah = p.CellHeight * tile.Height;
      SubjectBox slot;
      const SubjectBox* subject = p.CropCell ? engine.KnownSubject(k, slot) : nullptr;
      const TRect kept = !p.CropCell ? TRect{0, 0, photo.width, photo.height}
                         : subject   ? SubjectRegion(photo.width, photo.height, aw, ah, *subject)
                                     : CropRegion(photo.width, photo.height, aw, ah);
      int in = 0;
      for (const TRect& f : photo.faces) in += Inside(f, kept) ? 1 : 0;
      faces += int(photo.faces.size());
      facesWhole += in;
      if (in == int(photo.faces.size())) ++whole;
      if (verbose)
        std::cout << Format("tile %d,%d photo %d %s crop %d,%d-%d,%d faces %zu whole %d\n", x, y, k,
                            EchoPath(engine.PicList[k]).c_str(), kept.Left, kept.Top, kept.Right, kept.Bottom,
                            photo.faces.size(), in);
    }
  const auto share = [](int part, int all) { return all > 0 ? 100.0 * part / all : 100.0; };
  std::cout << Format(
      "crop-by %s: %d tiles, %d with faces; every face whole in %d of them (%.1f %%); "
      "%d of %d faces whole (%.1f %%)\n",
      CropByName(engine.CropMode), tiles, withFaces, whole, share(whole, withFaces), facesWhole, faces,
      share(facesWhole, faces));
  return 0;
}

const CommandRegistrar registrar({
    "faces-kept",
    "count the tiles of a mosaic that show every face of their photo whole",
    "Usage: velmora-cli faces-kept PROJECT [--crop-by centre|attention|faces] [--verbose] [--no-cache]\n\n"
    "Finds the faces of every photo placed in the project's mosaic (OpenCV's\n"
    "frontal face cascade, as --crop-by faces does) and prints one line: the\n"
    "tiles, those whose photo has faces, and in how many of those every face\n"
    "lies whole inside the part of the photo the tile shows.\n"
    "  --crop-by MODE  judge another crop than the project's; a crop that\n"
    "                  follows the subject takes it from the summary cache\n"
    "                  (the crop in the middle where the cache does not know it)\n"
    "  --verbose       a line per tile with its crop and faces\n"
    "  --no-cache      do not read the summary cache\n",
    RunFacesKept,
});

}  // namespace
}  // namespace velmora::cli
