#include "library/SubjectCrop.h"

#include <unistd.h>
#include <vips/vips.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "faces/FaceFinder.h"
#include "imaging/LazyLibrary.h"
#include "imaging/PictureOps.h"

namespace velmora {

const char* CropByName(CropBy mode) {
  switch (mode) {
    case CropBy::Attention:
      return "attention";
    case CropBy::Faces:
      return "faces";
    default:
      return "centre";
  }
}

bool ParseCropBy(std::string_view text, CropBy* mode) {
  if (text == "centre" || text == "center")
    *mode = CropBy::Centre;
  else if (text == "attention")
    *mode = CropBy::Attention;
  else if (text == "faces")
    *mode = CropBy::Faces;
  else
    return false;
  return true;
}

namespace {

uint16_t ToUnit(int64_t at, int side) {
  if (side <= 0) return 32768;
  return static_cast<uint16_t>(std::clamp<int64_t>((at * 65535 + side / 2) / side, 0, 65535));
}
int FromUnit(uint16_t at, int side) { return static_cast<int>((int64_t(at) * side + 32767) / 65535); }

// Where a part `kept` long starts on a side `side` long so that it is centred
// on [from, to) as far as the side allows; `usual` when nothing is cut.
int Place(int side, int kept, int usual, int from, int to) {
  if (kept >= side) return usual;
  const int64_t start = (int64_t(from) + to - kept) / 2;
  return static_cast<int>(std::clamp<int64_t>(start, 0, side - kept));
}

}  // namespace

SubjectBox BoxOfRect(const TRect& rect, int width, int height) {
  return SubjectBox{ToUnit(rect.Left, width), ToUnit(rect.Top, height), ToUnit(rect.Right, width),
                    ToUnit(rect.Bottom, height)};
}

TRect RectOfBox(const SubjectBox& box, int width, int height) {
  return TRect{FromUnit(box.Left, width), FromUnit(box.Top, height), FromUnit(box.Right, width),
               FromUnit(box.Bottom, height)};
}

TRect SubjectRegion(int width, int height, int aw, int ah, const SubjectBox& subject) {
  const TRect usual = CropRegion(width, height, aw, ah);
  if (usual.IsEmpty()) return usual;
  const TRect s = RectOfBox(subject, width, height);
  const int left = Place(width, usual.Width(), usual.Left, s.Left, s.Right);
  const int top = Place(height, usual.Height(), usual.Top, s.Top, s.Bottom);
  return TRect{left, top, left + usual.Width(), top + usual.Height()};
}

SubjectBox BoxOfFaces(int width, int height, int aw, int ah, std::span<const TRect> faces) {
  const TRect kept = CropRegion(width, height, aw, ah);
  std::vector<TRect> order(faces.begin(), faces.end());
  std::erase_if(order, [](const TRect& r) { return r.IsEmpty(); });
  if (order.empty() || kept.IsEmpty()) return kMiddleSubject;
  std::stable_sort(order.begin(), order.end(), [](const TRect& a, const TRect& b) {
    return int64_t(a.Width()) * a.Height() > int64_t(b.Width()) * b.Height();
  });
  TRect all = order.front();
  for (size_t i = 1; i < order.size(); ++i) {
    const TRect& f = order[i];
    const TRect both{std::min(all.Left, f.Left), std::min(all.Top, f.Top), std::max(all.Right, f.Right),
                     std::max(all.Bottom, f.Bottom)};
    if (both.Width() <= kept.Width() && both.Height() <= kept.Height()) all = both;
  }
  return BoxOfRect(all, width, height);
}

namespace {

// The search copy: the picture itself when small enough, else reduced.
const TBitmap32& SearchCopy(const TBitmap32& picture, TBitmap32& reduced, int side, double* scale) {
  const int longest = std::max(picture.Width(), picture.Height());
  *scale = 1.0;
  if (longest <= side) return picture;
  *scale = double(longest) / side;
  const int w = std::max(1, static_cast<int>(picture.Width() / *scale));
  const int h = std::max(1, static_cast<int>(picture.Height() / *scale));
  StretchToSize(picture, reduced, w, h);
  return reduced;
}

// The face finder lives in a module of its own beside the programs
// (velmora-faces.so, see src/faces): OpenCV and the libraries it brings are
// loaded by the first photo cropped by faces, never by other runs.
std::string FaceModulePath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path folder = ec ? std::filesystem::path(".") : exe.parent_path();
  for (const auto& candidate :
       {folder / kFaceModuleName, folder / ".." / "lib" / "velmora" / kFaceModuleName})
    if (std::filesystem::exists(candidate, ec)) return candidate.string();
  return (folder / kFaceModuleName).string();
}

decltype(&velmora_find_faces) find_faces_call = nullptr;

Status StartFaceModule() {
  static const std::string path = FaceModulePath();
  static LazyLibrary module(path.c_str(), "Cropping by faces needs the face finder " + path);
  return module.Open(
      [](void* handle) { return LazyLibrary::Bind(handle, "velmora_find_faces", find_faces_call); });
}

// clang-format off
#define VELMORA_SMARTCROP_CALLS(X) \
  X(vips_init) \
  X(vips_cache_set_max) \
  X(vips_error_buffer) \
  X(vips_error_clear) \
  X(vips_image_new_from_memory) \
  X(vips_copy) \
  X(vips_smartcrop) \
  X(g_object_unref)
// clang-format on

VELMORA_SMARTCROP_CALLS(VELMORA_LAZY_DECLARE)

Status StartVips() {
  static LazyLibrary library("libvips.so.42",
                             "Cropping by attention needs libvips (Debian package libvips42)");
  return library.Open([](void* handle) {
    if (!(true VELMORA_SMARTCROP_CALLS(VELMORA_LAZY_BIND))) return false;
    (void)vips_init("velmora");
    // Every picture is looked at once, from memory freed right after.
    vips_cache_set_max(0);
    return true;
  });
}

struct VipsRef {
  VipsImage* image = nullptr;
  ~VipsRef() {
    if (image != nullptr) g_object_unref(image);
  }
};

}  // namespace

std::string FaceCascadePath() {
  if (const char* own = std::getenv("VELMORA_FACE_CASCADE"); own != nullptr && own[0] != '\0') return own;
  for (const char* path : {"/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml",
                           "/usr/share/opencv/haarcascades/haarcascade_frontalface_default.xml"})
    if (::access(path, R_OK) == 0) return path;
  return std::string();
}

Status FindFaces(const TBitmap32& picture, std::vector<TRect>& faces) {
  faces.clear();
  const std::string cascade = FaceCascadePath();
  if (cascade.empty())
    return Status::Error(
        "Cropping by faces needs OpenCV's face cascade haarcascade_frontalface_default.xml "
        "(Debian package opencv-data), which was not found");
  VELMORA_TRY(StartFaceModule());
  if (picture.Empty()) return Status::Ok();
  TBitmap32 reduced;
  double scale = 1.0;
  const TBitmap32& search = SearchCopy(picture, reduced, kFaceSearchSide, &scale);
  if (search.Empty()) return Status::Error("Out of memory looking for faces");
  int boxes[4 * kMaxFacesFound];
  char error[256] = {};
  const int n = find_faces_call(cascade.c_str(), reinterpret_cast<const uint8_t*>(search.Pixels().data()),
                                search.Width(), search.Height(), boxes, kMaxFacesFound, error, sizeof error);
  if (n < 0) return Status::Error(std::string("The face finder failed: ") + error);
  for (int i = 0; i < std::min(n, kMaxFacesFound); ++i) {
    const int* b = boxes + 4 * i;
    const auto at = [&](int v, int side) { return std::clamp(static_cast<int>(v * scale + 0.5), 0, side); };
    TRect r{at(b[0], picture.Width()), at(b[1], picture.Height()), at(b[0] + b[2], picture.Width()),
            at(b[1] + b[3], picture.Height())};
    if (!r.IsEmpty()) faces.push_back(r);
  }
  return Status::Ok();
}

Status FindAttention(const TBitmap32& picture, int aw, int ah, SubjectBox* out) {
  *out = kMiddleSubject;
  VELMORA_TRY(StartVips());
  if (picture.Empty()) return Status::Ok();
  TBitmap32 reduced;
  double scale = 1.0;
  const TBitmap32& search = SearchCopy(picture, reduced, kFaceSearchSide, &scale);
  if (search.Empty()) return Status::Error("Out of memory looking for the centre of attention");
  const TRect kept = CropRegion(search.Width(), search.Height(), aw, ah);
  if (kept.Width() >= search.Width() && kept.Height() >= search.Height()) return Status::Ok();
  // libvips wants red, green, blue in that order.
  const int w = search.Width();
  const int h = search.Height();
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  for (int y = 0; y < h; ++y) {
    const TColor32* row = search.ScanLine(y);
    uint8_t* d = rgb.data() + size_t(y) * w * 3;
    for (int x = 0; x < w; ++x, d += 3) {
      const uint32_t p = row[x];
      d[0] = uint8_t(p >> 16);
      d[1] = uint8_t(p >> 8);
      d[2] = uint8_t(p);
    }
  }
  VipsRef in, srgb, cut;
  in.image = vips_image_new_from_memory(rgb.data(), rgb.size(), w, h, 3, VIPS_FORMAT_UCHAR);
  int ax = w / 2, ay = h / 2;
  if (in.image == nullptr ||
      vips_copy(in.image, &srgb.image, "interpretation", VIPS_INTERPRETATION_sRGB, nullptr) != 0 ||
      vips_smartcrop(srgb.image, &cut.image, std::max(1, kept.Width()), std::max(1, kept.Height()),
                     "interesting", VIPS_INTERESTING_ATTENTION, "attention_x", &ax, "attention_y", &ay,
                     nullptr) != 0) {
    std::string text = vips_error_buffer();
    vips_error_clear();
    return Status::Error("libvips could not find the centre of attention: " + text);
  }
  *out = BoxOfRect(TRect{ax, ay, ax, ay}, w, h);
  return Status::Ok();
}

SubjectBox FindSubject(const TBitmap32& picture, int aw, int ah, CropBy mode, std::string* warning) {
  SubjectBox box = kMiddleSubject;
  if (mode == CropBy::Centre) return box;
  if (mode == CropBy::Faces) {
    std::vector<TRect> faces;
    if (Status s = FindFaces(picture, faces); !s.ok()) {
      if (warning) *warning = s.message() + "; photos are cropped by attention instead.";
    } else if (!faces.empty()) {
      return BoxOfFaces(picture.Width(), picture.Height(), aw, ah, faces);
    }
  }
  if (Status s = FindAttention(picture, aw, ah, &box); !s.ok()) {
    if (warning && warning->empty()) *warning = s.message() + "; photos are cropped in the middle instead.";
    return kMiddleSubject;
  }
  return box;
}

}  // namespace velmora
