// The decoder's own speed, as the yardstick of the benchmark: JPEG files read
// and decoded by libjpeg-turbo alone, with nothing of the program around it.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace velmora::cli {

struct DecodeAloneTimes {
  double seconds = 0;
  int files = 0;   // decoded
  int failed = 0;  // not JPEG, or damaged
  double megapixels = 0;
};

// Reads and decodes `paths` on `threads` threads, each picture at the
// smallest scale M/8 whose size `accept` takes (as the program's JPEG reader
// picks it; full size when `accept` is empty), into 32-bit pixels.
DecodeAloneTimes DecodeAlone(const std::vector<std::string>& paths,
                             const std::function<bool(int, int)>& accept, int threads);

// The least a JPEG photo served by its preview can cost: the file's first
// segments read (up to the end of its EXIF data) and the thumbnail they hold
// decoded by libjpeg-turbo at the smallest scale `accept` takes. A file
// without a thumbnail counts as failed.
DecodeAloneTimes DecodeExifThumbnailsAlone(const std::vector<std::string>& paths,
                                           const std::function<bool(int, int)>& accept, int threads);

}  // namespace velmora::cli
