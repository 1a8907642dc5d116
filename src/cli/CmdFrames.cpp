// velmora-cli frames: photos from videos, saved where a library can take
// them in like any photo.
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "cli/Command.h"
#include "cli/Flags.h"
#include "cli/ProgressBar.h"
#include "imaging/Interrupt.h"
#include "imaging/PathText.h"
#include "output/VideoFrames.h"

namespace velmora::cli {
namespace {

// A positive number of seconds ("2", "0.5").
bool ParseSeconds(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size() && std::isfinite(out);
}

std::string Plural(int n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

int RunFrames(const Args& args) {
  Flags flags({"out", "every", "count", "min-change"}, {"quiet"}, {});
  if (Status s = flags.Parse(args); !s) return Fail(s.message());
  if (flags.Positional().empty()) return Fail("no video given; see 'velmora-cli frames --help'");
  const std::optional<std::string> out = flags.Value("out");
  if (!out || out->empty()) return Fail("--out FOLDER is needed: the folder the photos are saved in");
  if (flags.Has("every") && flags.Has("count")) return Fail("give --every or --count, not both");

  VideoFrameOptions options;
  if (const auto every = flags.Value("every")) {
    if (!ParseSeconds(*every, options.everySeconds) || options.everySeconds < kMinFrameSpacingSeconds ||
        options.everySeconds > 86400)
      return Fail("--every takes a number of seconds from 0.04 to 86400, not '" + *every + "'");
  }
  if (Status s = flags.Int("count", 1, kMaxFramesPerVideo, options.count); !s) return Fail(s.message());
  int minChange = int(options.minChange);
  if (Status s = flags.Int("min-change", 0, 255, minChange); !s) return Fail(s.message());
  options.minChange = minChange;

  std::error_code ec;
  std::filesystem::create_directories(*out, ec);
  if (!std::filesystem::is_directory(*out, ec)) return Fail("cannot make the folder " + EchoPath(*out));

  ProgressBar progress(flags.Switch("quiet").value_or(false));
  int saved = 0, failed = 0;
  for (const std::string& video : flags.Positional()) {
    VideoFrameReport report;
    const Status status = SaveVideoFrames(video, *out, options, &progress, report);
    progress.Finish();
    saved += int(report.saved.size());
    if (!status.ok()) {
      if (status.message() == kJobCancelled) {
        std::cerr << "velmora-cli: Cancelled; the " << saved << " photos saved so far stay in " << EchoPath(*out)
                  << "\n";
        return 128 + (InterruptSignal() > 0 ? InterruptSignal() : SIGINT);
      }
      std::cerr << "velmora-cli: " << EscapeControls(status.message()) << "\n";
      ++failed;
      continue;
    }
    std::cout << EchoPath(video) << ": " << Plural(int(report.saved.size()), "photo") << " saved";
    if (report.alike > 0) std::cout << ", " << Plural(report.alike, "frame") << " skipped as alike";
    std::cout << "\n";
  }
  std::cout << Plural(saved, "photo") << " in " << EchoPath(*out) << "\n";
  return failed == 0 ? 0 : 1;
}

const CommandRegistrar registrar({
    "frames",
    "save frames of videos as photos for the library",
    "Usage: velmora-cli frames VIDEO... --out FOLDER [--every SECONDS | --count N]\n"
    "                          [--min-change N] [--quiet]\n\n"
    "Takes frames of each video (MP4, MOV, MKV, WebM, AVI and what else FFmpeg\n"
    "reads) and saves them in FOLDER as JPEG photos named after the video and\n"
    "the frame's time, 'clip_00-01-05.250.jpg', so they join a library like any\n"
    "photo. Portrait clips from phones are saved upright.\n\n"
    "  --every SECONDS  one frame every SECONDS from the start (default 2)\n"
    "  --count N        N frames spread evenly over each video instead\n"
    "  --min-change N   skip a frame whose mean difference from the last one\n"
    "                   kept is below N levels of 255 (default 6; 0 keeps all),\n"
    "                   so a shot held still gives one photo, not one per pick\n\n"
    "A photo of the same name is replaced. Ctrl+C stops; the photos saved so\n"
    "far stay.\n",
    RunFrames,
});

}  // namespace
}  // namespace velmora::cli
