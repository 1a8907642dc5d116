// The face finder module (velmora-faces.so): OpenCV's frontal face cascade
// behind one C function, so that the programs open it, and OpenCV with it,
// only when a photo is cropped by faces (see library/SubjectCrop.h).
#pragma once

#include <cstdint>

inline constexpr const char* kFaceModuleName = "velmora-faces.so";
inline constexpr int kMaxFacesFound = 64;

extern "C" {
// Finds faces in a width x height picture of 4-byte pixels (blue, green,
// red, alpha), rows packed, with the cascade file `cascade`. Writes up to
// `maxFaces` boxes as left, top, width, height into `boxes` and returns how
// many faces it found (at most maxFaces), or -1 with a sentence in `error`.
int velmora_find_faces(const char* cascade, const uint8_t* pixels, int width, int height, int* boxes,
                       int maxFaces, char* error, int errorBytes);
}
