#include "faces/FaceFinder.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <string>
#include <vector>

namespace {

// A classifier is not to be shared between threads: each thread loads its
// own, once per cascade file.
struct Loaded {
  std::string path;
  std::unique_ptr<cv::CascadeClassifier> classifier;
};

cv::CascadeClassifier* ClassifierFor(const char* path) {
  thread_local Loaded loaded;
  if (!loaded.classifier || loaded.path != path) {
    auto fresh = std::make_unique<cv::CascadeClassifier>();
    if (!fresh->load(path)) return nullptr;
    loaded.path = path;
    loaded.classifier = std::move(fresh);
  }
  return loaded.classifier.get();
}

void Say(char* error, int bytes, const std::string& text) {
  if (error != nullptr && bytes > 0) std::snprintf(error, size_t(bytes), "%s", text.c_str());
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int velmora_find_faces(const char* cascade,
                                                                         const uint8_t* pixels, int width,
                                                                         int height, int* boxes, int maxFaces,
                                                                         char* error, int errorBytes) {
  if (width <= 0 || height <= 0 || pixels == nullptr) return 0;
  try {
    cv::CascadeClassifier* classifier = ClassifierFor(cascade);
    if (classifier == nullptr) {
      Say(error, errorBytes, std::string("cannot read the face cascade ") + cascade);
      return -1;
    }
    const cv::Mat bgra(height, width, CV_8UC4, const_cast<uint8_t*>(pixels));
    cv::Mat grey;
    cv::cvtColor(bgra, grey, cv::COLOR_BGRA2GRAY);
    // No histogram equalisation: on a photo that is mostly sky or wall it
    // flattens the face, which the cascade then misses.
    // Faces down to a twentieth of the shorter side; smaller ones are not
    // worth keeping whole in a tile.
    const int least = std::max(20, std::min(width, height) / 20);
    std::vector<cv::Rect> found;
    classifier->detectMultiScale(grey, found, 1.1, 5, 0, cv::Size(least, least));
    const int n = std::min<int>(int(found.size()), maxFaces);
    for (int i = 0; i < n; ++i) {
      boxes[4 * i] = found[size_t(i)].x;
      boxes[4 * i + 1] = found[size_t(i)].y;
      boxes[4 * i + 2] = found[size_t(i)].width;
      boxes[4 * i + 3] = found[size_t(i)].height;
    }
    return n;
  } catch (const std::exception& e) {
    Say(error, errorBytes, e.what());
    return -1;
  }
}
