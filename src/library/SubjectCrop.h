// Where a library photo is cut to its cell's shape. The part kept is always
// the largest of the cell's aspect (as CropRegion gives it); what the crop
// mode decides is where it sits along the side that is cut:
//   centre     in the middle, exactly as every earlier mosaic was cut;
//   attention  over the part with the most detail, colour and skin tones,
//              as libvips' smartcrop finds it;
//   faces      keeping the faces OpenCV's frontal face cascade finds whole
//              (as many as fit, the biggest first), else as attention.
// The decision is taken once per photo and cell shape, on the decode the
// summary is made from, and kept as a box in the photo's own proportions
// (SubjectBox) beside the summary in the summary cache, so the render,
// which decodes the photo again at another scale, cuts the same part
// without looking for faces again.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/Bitmap32.h"
#include "imaging/Geometry.h"
#include "imaging/Status.h"

namespace velmora {

enum class CropBy : uint8_t { Centre = 0, Attention = 1, Faces = 2 };
inline constexpr int kCropByCount = 3;

const char* CropByName(CropBy mode);
// "centre" (or "center"), "attention", "faces"; false for anything else.
bool ParseCropBy(std::string_view text, CropBy* mode);

// A box in a photo's own proportions: 0 the left (top) edge, 65535 the
// right (bottom) one. A point (the centre of attention) is a box of no size.
struct SubjectBox {
  uint16_t Left = 32768, Top = 32768, Right = 32768, Bottom = 32768;
  friend constexpr bool operator==(const SubjectBox&, const SubjectBox&) = default;
};
inline constexpr SubjectBox kMiddleSubject{};

// The box of `rect` in a width x height picture, and back.
SubjectBox BoxOfRect(const TRect& rect, int width, int height);
TRect RectOfBox(const SubjectBox& box, int width, int height);

// The part kept of a width x height picture for aspect aw : ah: the size
// CropRegion gives, moved along the cut side so that it is centred on
// `subject` as far as the picture allows.
TRect SubjectRegion(int width, int height, int aw, int ah, const SubjectBox& subject);

// The box to keep of the faces found in a width x height picture for
// aspect aw : ah: the faces, biggest first, whose union still fits the part
// kept; kMiddleSubject when there are none.
SubjectBox BoxOfFaces(int width, int height, int aw, int ah, std::span<const TRect> faces);

// The faces in `picture`, found on a copy whose longest side is at most
// kFaceSearchSide. An error (detector or cascade missing) says what to
// install; it is the same for the whole run.
inline constexpr int kFaceSearchSide = 480;
Status FindFaces(const TBitmap32& picture, std::vector<TRect>& faces);

// The centre of attention of `picture` as libvips finds it for a crop of
// aspect aw : ah, as a point box.
Status FindAttention(const TBitmap32& picture, int aw, int ah, SubjectBox* out);

// The subject of `picture` under `mode` for aspect aw : ah. A mode whose
// detector cannot be used falls back (faces to attention, attention to the
// middle) and leaves the reason in `warning` (the same text each time).
SubjectBox FindSubject(const TBitmap32& picture, int aw, int ah, CropBy mode, std::string* warning);

// The face cascade's file: $VELMORA_FACE_CASCADE when set, else the first of
// the folders Debian's opencv-data installs it in; empty when none is there.
std::string FaceCascadePath();

}  // namespace velmora
