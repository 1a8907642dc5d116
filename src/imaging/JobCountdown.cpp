#include "imaging/JobCountdown.h"

#include <algorithm>
#include <cmath>

namespace velmora {

std::string GroupThousands(int64_t n) {
  const bool negative = n < 0;
  const std::string digits = std::to_string(negative ? uint64_t(0) - uint64_t(n) : uint64_t(n));
  std::string out;
  const size_t first = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
  out.append(digits, 0, first);
  for (size_t i = first; i < digits.size(); i += 3) out.append(",").append(digits, i, 3);
  return negative ? "-" + out : out;
}

std::string TimeLeftText(double seconds) {
  if (!(seconds > 0)) seconds = 0;
  if (seconds < 9.5) return "about " + std::to_string(std::max(1L, std::lround(seconds))) + " s left";
  if (seconds < 57.5) return "about " + std::to_string(5 * std::lround(seconds / 5)) + " s left";
  if (seconds < 59.5 * 60) return "about " + std::to_string(std::lround(seconds / 60)) + " min left";
  if (seconds < 9.75 * 3600) {
    const long fives = std::lround(seconds / 300);  // whole 5 minutes
    const long hours = fives / 12;
    const long minutes = fives % 12 * 5;
    std::string text = "about " + std::to_string(hours) + " h";
    if (minutes > 0) text += " " + std::to_string(minutes) + " min";
    return text + " left";
  }
  // A rough count of hours; a day is never too long to say in hours.
  return "about " + std::to_string(std::lround(std::min(seconds, 1e9) / 3600)) + " h left";
}

std::string CountdownText(std::string_view verb, int64_t done, int64_t total, std::string_view noun,
                          std::optional<double> secondsLeft) {
  std::string text(verb);
  text += " " + GroupThousands(done) + " of " + GroupThousands(total) + " ";
  text += total == 1 && !noun.empty() && noun.back() == 's' ? noun.substr(0, noun.size() - 1) : noun;
  if (secondsLeft) text += ", " + TimeLeftText(*secondsLeft);
  return text;
}

std::optional<double> TimeLeftEstimate::Update(int64_t done, double elapsed) {
  // The oldest sample kept is the last one at least a window before now.
  while (samples_.size() > 1 && samples_[1].first <= elapsed - kWindowSeconds) samples_.pop_front();
  // A sample every quarter of a second is plenty, and bounds what is kept.
  if (elapsed >= samples_.back().first + 0.25) samples_.emplace_back(elapsed, done);
  const bool early = elapsed < kLeastSeconds || (elapsed < kQuietSeconds && done * 50 < total_);
  if (early || done >= total_) return std::nullopt;
  const auto& [since, doneThen] = samples_.front();
  if (done <= doneThen || elapsed <= since) return std::nullopt;
  const double rate = double(done - doneThen) / (elapsed - since);
  return double(total_ - done) / rate;
}

JobCountdown::JobCountdown(JobListener& job, std::string verb, std::string noun, int64_t total,
                           std::function<double()> now)
    : job_(job),
      verb_(std::move(verb)),
      noun_(std::move(noun)),
      total_(total),
      now_(now ? std::move(now) : [] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
      }),
      start_(now_()),
      estimate_(total) {}

void JobCountdown::Done(int64_t done) {
  const double elapsed = now_() - start_;
  // Every count feeds the estimate; the listener hears of it twice a second.
  const std::optional<double> left = estimate_.Update(done, elapsed);
  if (lastReport_ && elapsed - *lastReport_ < kReportEverySeconds) return;
  lastReport_ = elapsed;
  job_.SetJobDetail(CountdownText(verb_, done, total_, noun_, left));
}

void JobCountdown::Finish() { job_.SetJobDetail({}); }

}  // namespace velmora
