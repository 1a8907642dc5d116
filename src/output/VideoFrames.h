// Photos from videos: phones keep clips beside their photos, and a clip's
// frames make library pictures like any other. Frames are taken at a steady
// pace (every N seconds, or N spread over the clip), a frame too like the
// last one kept is skipped (one shot held for a minute gives one photo, a cut
// gives a new one), and each kept frame is saved upright as a JPEG named
// after the video and its time, "<video>_HH-MM-SS.mmm.jpg".
//
// FFmpeg's libraries read the videos; they are opened on first use, so the
// programs start without them and say which Debian packages to install when
// they are missing.
#pragma once

#include <string>
#include <vector>

#include "imaging/Job.h"
#include "imaging/Status.h"

namespace velmora {

struct VideoFrameOptions {
  // One frame every `everySeconds`, from the start; ignored when `count` > 0.
  double everySeconds = 2.0;
  // When > 0: this many frames, spread evenly over the clip.
  int count = 0;
  // A frame whose mean difference from the last one kept (in levels of 255,
  // on a small grey copy of both) is below this is skipped as alike.
  double minChange = 6.0;
  int jpegQuality = 92;
};

inline constexpr int kMaxFramesPerVideo = 10000;
inline constexpr double kMinFrameSpacingSeconds = 0.04;

struct VideoFrameReport {
  std::vector<std::string> saved;  // the photos written, in time order
  int alike = 0;                   // frames skipped as too like the last one kept
  double durationSeconds = 0;      // 0 when the video does not say
};

// Takes frames of `videoPath` into the folder `outFolder` (which must
// exist). A photo of the same name is replaced (the same video at the same
// time), written whole or not at all. The job reports "Current Job : Frames
// from <video>" and a percentage, and stops at a cancel with what was saved
// kept. `report` holds what was saved even when the job failed part way.
Status SaveVideoFrames(const std::string& videoPath, const std::string& outFolder, const VideoFrameOptions& options,
                       JobListener* listener, VideoFrameReport& report);

// The photo's file name for the frame at `seconds` of `videoPath`.
std::string VideoFrameName(const std::string& videoPath, double seconds);

// The file extensions offered as videos ("mp4", "mov", ...), lower case.
const std::vector<std::string>& VideoExtensions();

}  // namespace velmora
