#include "output/VideoFrames.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "imaging/Bitmap32.h"
#include "imaging/LazyLibrary.h"
#include "imaging/Orientation.h"
#include "imaging/PathText.h"
#include "imaging/PictureLimits.h"
#include "output/SavePicture.h"

namespace velmora {
namespace {

// clang-format off
#define VELMORA_AV_CALLS(X) \
  X(avformat_open_input) \
  X(avformat_find_stream_info) \
  X(avformat_close_input) \
  X(av_find_best_stream) \
  X(av_read_frame) \
  X(av_seek_frame) \
  X(av_stream_get_side_data) \
  X(avcodec_alloc_context3) \
  X(avcodec_free_context) \
  X(avcodec_parameters_to_context) \
  X(avcodec_open2) \
  X(avcodec_send_packet) \
  X(avcodec_receive_frame) \
  X(avcodec_flush_buffers) \
  X(av_packet_alloc) \
  X(av_packet_free) \
  X(av_packet_unref) \
  X(av_frame_alloc) \
  X(av_frame_free) \
  X(av_frame_unref) \
  X(av_display_rotation_get) \
  X(av_strerror) \
  X(av_log_set_level)
#define VELMORA_SWS_CALLS(X) \
  X(sws_getContext) \
  X(sws_scale) \
  X(sws_freeContext)
// clang-format on

VELMORA_AV_CALLS(VELMORA_LAZY_DECLARE)
VELMORA_SWS_CALLS(VELMORA_LAZY_DECLARE)

Status OpenVideoLibraries() {
  // libavformat brings libavcodec and libavutil in as its own dependencies,
  // where the binding finds their functions too.
  static LazyLibrary format("libavformat.so.59",
                            "Frames from videos need FFmpeg's libraries (Debian packages libavformat59, "
                            "libavcodec59 and libswscale6)");
  static LazyLibrary scale("libswscale.so.6",
                           "Frames from videos need FFmpeg's libswscale (Debian package libswscale6)");
  VELMORA_TRY(format.Open([](void* handle) {
    if (!(true VELMORA_AV_CALLS(VELMORA_LAZY_BIND))) return false;
    // The library's own log would write on the terminal; errors come back
    // as codes, which the messages below name.
    av_log_set_level(AV_LOG_QUIET);
    return true;
  }));
  return scale.Open([](void* handle) { return true VELMORA_SWS_CALLS(VELMORA_LAZY_BIND); });
}

std::string AvError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return Format("error %d", code);
  return text;
}

struct FormatCloser {
  void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketCloser {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameCloser {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ScaleCloser {
  void operator()(SwsContext* s) const { sws_freeContext(s); }
};

// The orientation tag value that turns the stored frames upright, from the
// stream's display matrix (phones record portrait clips turned).
int StreamOrientation(AVStream* stream) {
  const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
  if (matrix == nullptr) return kOrientationUpright;
  const double rotation = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
  if (!std::isfinite(rotation)) return kOrientationUpright;
  // The matrix turns anticlockwise by `rotation`; showing it turns clockwise by its opposite.
  int clockwise = static_cast<int>(std::lround(-rotation)) % 360;
  if (clockwise < 0) clockwise += 360;
  switch ((clockwise + 45) / 90 % 4) {
    case 1: return 6;
    case 2: return 3;
    case 3: return 8;
    default: return kOrientationUpright;
  }
}

// A 32 x 18 grey copy of each frame, to tell a new shot from the same one.
constexpr int kProbeWidth = 32;
constexpr int kProbeHeight = 18;
using Probe = std::vector<uint8_t>;

double MeanDifference(const Probe& a, const Probe& b) {
  int64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return double(sum) / double(a.size());
}

class FrameTaker {
public:
  FrameTaker(const std::string& video, const std::string& folder, const VideoFrameOptions& options,
             JobListener* listener, VideoFrameReport& report)
      : video_(video), folder_(folder), options_(options), listener_(listener), report_(report) {}

  Status Run();

private:
  Status Open();
  Status PrepareScalers(const AVFrame* frame);
  Status Consider(const AVFrame* frame, double seconds);
  double FrameSeconds(const AVFrame* frame) const;
  Status Fail(const std::string& what) const {
    return Status::Error("Cannot take frames from " + EchoPath(video_) + ": " + what);
  }

  const std::string& video_;
  const std::string& folder_;
  const VideoFrameOptions& options_;
  JobListener* listener_;

  std::unique_ptr<AVFormatContext, FormatCloser> format_;
  std::unique_ptr<AVCodecContext, CodecCloser> codec_;
  AVStream* stream_ = nullptr;
  int orientation_ = kOrientationUpright;
  int outWidth_ = 0;
  std::unique_ptr<SwsContext, ScaleCloser> toPicture_, toProbe_;
  int scaleWidth_ = 0, scaleHeight_ = 0, scaleFormat_ = -1;

  std::vector<double> targets_;  // the times frames are wanted at, ascending
  size_t next_ = 0;
  Probe lastKept_;
  TBitmap32 picture_;
  VideoFrameReport& report_;
};

Status FrameTaker::Open() {
  AVFormatContext* raw = nullptr;
  if (int e = avformat_open_input(&raw, video_.c_str(), nullptr, nullptr); e < 0)
    return Fail("it is not a video FFmpeg can read (" + AvError(e) + ")");
  format_.reset(raw);
  if (int e = avformat_find_stream_info(format_.get(), nullptr); e < 0)
    return Fail("its streams cannot be read (" + AvError(e) + ")");
  const AVCodec* decoder = nullptr;
  const int index = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
  if (index < 0 || decoder == nullptr) return Fail("it holds no video stream that can be decoded");
  stream_ = format_->streams[index];
  codec_.reset(avcodec_alloc_context3(decoder));
  if (!codec_) return Status::Error("There is not enough memory to decode " + EchoPath(video_) + ".");
  if (int e = avcodec_parameters_to_context(codec_.get(), stream_->codecpar); e < 0)
    return Fail("its video stream is damaged (" + AvError(e) + ")");
  codec_->thread_count = 0;  // the decoder's own choice of threads
  if (int e = avcodec_open2(codec_.get(), decoder, nullptr); e < 0)
    return Fail("its decoder cannot start (" + AvError(e) + ")");
  orientation_ = StreamOrientation(stream_);

  double duration = 0;
  if (format_->duration > 0) duration = double(format_->duration) / AV_TIME_BASE;
  else if (stream_->duration > 0) duration = double(stream_->duration) * av_q2d(stream_->time_base);
  if (!std::isfinite(duration) || duration < 0 || duration > 1e7) duration = 0;
  report_.durationSeconds = duration;
  if (options_.count > 0) {
    if (duration <= 0) return Fail("it does not say how long it is; take frames every few seconds instead");
    for (int i = 0; i < options_.count; ++i) targets_.push_back(duration * (i + 0.5) / options_.count);
  } else {
    const double every = std::max(options_.everySeconds, kMinFrameSpacingSeconds);
    // A video without a length still gets at most the cap of frames.
    const double end = duration > 0 ? duration : every * kMaxFramesPerVideo;
    for (double t = 0; t < end && targets_.size() < size_t(kMaxFramesPerVideo); t = every * double(targets_.size()))
      targets_.push_back(t);
  }
  return Status::Ok();
}

double FrameTaker::FrameSeconds(const AVFrame* frame) const {
  int64_t pts = frame->best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE) pts = frame->pts;
  if (pts == AV_NOPTS_VALUE) return -1;
  int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
  return double(pts - start) * av_q2d(stream_->time_base);
}

// The converters for the frame's size and pixel format, made again only
// when a frame brings a new one.
Status FrameTaker::PrepareScalers(const AVFrame* frame) {
  const int w = frame->width, h = frame->height;
  if (w == scaleWidth_ && h == scaleHeight_ && frame->format == scaleFormat_) return Status::Ok();
  VELMORA_TRY(CheckPictureSize(w, h, "video"));
  // Pixels that are not square (some camcorders' clips) are widened to square ones.
  outWidth_ = w;
  const AVRational sar = frame->sample_aspect_ratio;
  if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
    outWidth_ = int(std::clamp<int64_t>(std::llround(double(w) * sar.num / sar.den), 1, kMaxPictureSide));
  VELMORA_TRY(CheckPictureSize(outWidth_, h, "video"));
  const auto format = static_cast<AVPixelFormat>(frame->format);
  toPicture_.reset(
      sws_getContext(w, h, format, outWidth_, h, AV_PIX_FMT_BGRA, SWS_BICUBIC, nullptr, nullptr, nullptr));
  toProbe_.reset(sws_getContext(w, h, format, kProbeWidth, kProbeHeight, AV_PIX_FMT_GRAY8, SWS_AREA, nullptr,
                                nullptr, nullptr));
  if (!toPicture_ || !toProbe_) {
    scaleFormat_ = -1;
    return Fail("its frames are in a pixel format that cannot be converted");
  }
  scaleWidth_ = w;
  scaleHeight_ = h;
  scaleFormat_ = frame->format;
  return Status::Ok();
}

Status FrameTaker::Consider(const AVFrame* frame, double seconds) {
  // The wanted times this frame answers: the first at or before it; those
  // passed over (a seek landed beyond them) are given up.
  if (next_ >= targets_.size() || seconds + 1e-6 < targets_[next_]) return Status::Ok();
  while (next_ < targets_.size() && targets_[next_] <= seconds + 1e-6) ++next_;

  VELMORA_TRY(PrepareScalers(frame));
  Probe probe(size_t(kProbeWidth) * kProbeHeight);
  uint8_t* probePlanes[4] = {probe.data(), nullptr, nullptr, nullptr};
  int probeStrides[4] = {kProbeWidth, 0, 0, 0};
  if (sws_scale(toProbe_.get(), frame->data, frame->linesize, 0, frame->height, probePlanes, probeStrides) !=
      kProbeHeight)
    return Fail("a frame could not be converted");
  if (!lastKept_.empty() && MeanDifference(probe, lastKept_) < options_.minChange) {
    ++report_.alike;
    return Status::Ok();
  }

  const int h = frame->height;
  VELMORA_TRY(picture_.SetSizeForOverwrite(outWidth_, h));
  uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(picture_.ScanLine(0)), nullptr, nullptr, nullptr};
  int strides[4] = {outWidth_ * 4, 0, 0, 0};
  if (sws_scale(toPicture_.get(), frame->data, frame->linesize, 0, h, planes, strides) != h)
    return Fail("a frame could not be converted");
  for (TColor32& c : picture_.Pixels()) c |= 0xFF000000u;
  VELMORA_TRY(ApplyOrientation(picture_, orientation_));

  const std::string path = (std::filesystem::path(folder_) / VideoFrameName(video_, seconds)).string();
  VELMORA_TRY(WriteJpegFile(picture_, path, options_.jpegQuality, false));
  report_.saved.push_back(path);
  lastKept_ = std::move(probe);
  return Status::Ok();
}

Status FrameTaker::Run() {
  VELMORA_TRY(OpenVideoLibraries());
  std::error_code ec;
  if (!std::filesystem::is_directory(folder_, ec))
    return Status::Error("The folder " + EchoPath(folder_) + " for the frames does not exist.");
  if (listener_) {
    listener_->SetJobText("Current Job : Frames from " + std::filesystem::path(video_).filename().string());
    listener_->SetProgress(0);
  }
  VELMORA_TRY(Open());
  std::unique_ptr<AVPacket, PacketCloser> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameCloser> frame(av_frame_alloc());
  if (!packet || !frame) return Status::Error("There is not enough memory to decode " + EchoPath(video_) + ".");

  const double duration = report_.durationSeconds;
  double seekedTo = -1;
  bool draining = false;
  while (next_ < targets_.size()) {
    if (listener_ && listener_->CancelRequested()) return Status::Error(kJobCancelled);
    if (!draining) {
      const int e = av_read_frame(format_.get(), packet.get());
      if (e == AVERROR_EOF) {
        draining = true;
        avcodec_send_packet(codec_.get(), nullptr);
      } else if (e < 0) {
        break;  // a damaged tail: keep what was taken
      } else {
        const bool ours = packet->stream_index == stream_->index;
        const int sent = ours ? avcodec_send_packet(codec_.get(), packet.get()) : 0;
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
          return Fail("its video cannot be decoded (" + AvError(sent) + ")");
        if (!ours) continue;
      }
    }
    for (;;) {
      const int e = avcodec_receive_frame(codec_.get(), frame.get());
      if (e == AVERROR(EAGAIN)) break;
      if (e == AVERROR_EOF) return Status::Ok();
      if (e < 0) {
        if (e == AVERROR_INVALIDDATA) break;  // one damaged frame: go on with the next
        return Fail("its video cannot be decoded (" + AvError(e) + ")");
      }
      const double seconds = FrameSeconds(frame.get());
      if (seconds >= 0) {
        Status s = Consider(frame.get(), seconds);
        av_frame_unref(frame.get());
        VELMORA_TRY(s);
        if (listener_ && duration > 0) listener_->SetProgress(int(std::min(100.0, 100 * seconds / duration)));
        // Far from the next wanted time: jump near it rather than decode the
        // whole stretch between (once per target, so a stream that seeks
        // badly cannot loop).
        if (!draining && next_ < targets_.size() && targets_[next_] - seconds > 8 &&
            targets_[next_] > seekedTo) {
          seekedTo = targets_[next_];
          const int64_t start = stream_->start_time != AV_NOPTS_VALUE ? stream_->start_time : 0;
          const auto ts = int64_t(seekedTo / av_q2d(stream_->time_base)) + start;
          if (av_seek_frame(format_.get(), stream_->index, ts, AVSEEK_FLAG_BACKWARD) >= 0)
            avcodec_flush_buffers(codec_.get());
        }
      } else {
        av_frame_unref(frame.get());
      }
    }
  }
  return Status::Ok();
}

}  // namespace

std::string VideoFrameName(const std::string& videoPath, double seconds) {
  const auto ms = static_cast<long long>(std::llround(std::max(0.0, seconds) * 1000));
  return std::filesystem::path(videoPath).stem().string() +
         Format("_%02lld-%02lld-%02lld.%03lld.jpg", ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
}

const std::vector<std::string>& VideoExtensions() {
  static const std::vector<std::string> extensions = {"mp4", "m4v", "mov", "3gp", "mkv", "webm", "avi", "mts", "m2ts"};
  return extensions;
}

Status SaveVideoFrames(const std::string& videoPath, const std::string& outFolder, const VideoFrameOptions& options,
                       JobListener* listener, VideoFrameReport& report) {
  report = VideoFrameReport{};
  FrameTaker taker(videoPath, outFolder, options, listener, report);
  return taker.Run();
}

}  // namespace velmora
