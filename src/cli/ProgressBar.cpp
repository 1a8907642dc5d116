#include "cli/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "imaging/Interrupt.h"
#include "imaging/PathText.h"

namespace velmora::cli {

ProgressBar::ProgressBar(bool quiet) : quiet_(quiet), terminal_(::isatty(STDERR_FILENO) != 0) {}

ProgressBar::~ProgressBar() { Finish(); }

bool ProgressBar::CancelRequested() { return InterruptRequested(); }

void ProgressBar::SetJobText(std::string_view text) {
  if (text == text_) return;
  // "Mosaic Created" follows the render's own text: it ends that job's line.
  Finish();
  text_ = std::string(text);
  detail_.clear();
  percent_ = peak_ = 0;
  drawn_ = -1;
  open_ = true;
  if (terminal_) Draw(false);
}

void ProgressBar::SetProgress(int percent) {
  percent_ = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  if (percent_ > peak_) peak_ = percent_;
  if (terminal_ && open_ && peak_ != drawn_) Draw(false);
}

void ProgressBar::SetJobDetail(std::string_view detail) {
  if (detail == detail_) return;
  detail_ = std::string(detail);
  if (terminal_ && open_) Draw(false);
}

void ProgressBar::Warning(std::string_view message) {
  // The job's line so far ends first; the bar goes on below the warning.
  if (open_ && terminal_ && !quiet_) std::fputc('\n', stderr);
  // A warning may quote a file name; its control characters would move or
  // colour the terminal.
  const std::string shown = EscapeControls(message);
  std::fprintf(stderr, "Warning: %s\n", shown.c_str());
  std::fflush(stderr);
  drawn_ = -1;
}

void ProgressBar::Finish() {
  if (!open_) return;
  Draw(true);
  open_ = false;
}

void ProgressBar::Draw(bool final) {
  if (quiet_) return;
  // A text that never moved the gauge ("Mosaic Created") is a status, not a
  // job: it gets no bar.
  if (final && peak_ == 0 && drawn_ <= 0) {
    std::fprintf(stderr, "%s%s\n", terminal_ ? "\r\033[K" : "", text_.c_str());
    std::fflush(stderr);
    return;
  }
  constexpr int kWidth = 30;
  const int filled = peak_ * kWidth / 100;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kWidth - filled), '.');
  std::string line = "[" + bar + "] " + std::to_string(peak_) + "%  " + text_;
  line.insert(1 + kWidth + 2, std::string(peak_ < 10 ? 2 : peak_ < 100 ? 1 : 0, ' '));
  if (!detail_.empty()) line += "  " + detail_;
  if (terminal_) {
    // A line longer than the terminal would wrap, and the redraw could not
    // go back over it.
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 && line.size() >= size.ws_col)
      line.resize(size_t(size.ws_col) - 1);
  }
  // On a terminal the rest of the earlier, maybe longer, line is cleared.
  std::fprintf(stderr, "%s%s%s%s", terminal_ ? "\r" : "", line.c_str(), terminal_ ? "\033[K" : "",
               final ? "\n" : "");
  std::fflush(stderr);
  drawn_ = peak_;
}

}  // namespace velmora::cli
