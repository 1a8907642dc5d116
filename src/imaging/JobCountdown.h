// A long job's count and the time it has left, in words: "Summarising 1,234
// of 20,000 photos, about 40 s left". The estimate comes from the rate of the
// last several seconds of work (a run whose first pictures came from a cache
// would otherwise promise far too little), and nothing is said about the
// time left before a few seconds have passed or a fiftieth of the work is
// done, when a rate means little.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "imaging/Job.h"

namespace velmora {

// 20000 as "20,000".
std::string GroupThousands(int64_t n);

// "about 40 s left": under 10 s to the second, under a minute to 5 s, then
// to the minute, from an hour on to 5 minutes ("about 1 h 25 min left") and
// from 10 hours on to the hour.
std::string TimeLeftText(double seconds);

// "Summarising 1,234 of 20,000 photos" and, with `secondsLeft`, ", about 40
// s left" behind it. `noun` is the plural; one item drops its final s.
std::string CountdownText(std::string_view verb, int64_t done, int64_t total, std::string_view noun,
                          std::optional<double> secondsLeft);

// The time left from the counts seen so far.
class TimeLeftEstimate {
public:
  explicit TimeLeftEstimate(int64_t total) : total_(total) {}
  // `done` of the total after `elapsed` seconds of work (both never
  // decreasing); the seconds left, or nothing while it is too early to say.
  std::optional<double> Update(int64_t done, double elapsed);

  // The rate is taken over about this many seconds of the latest work.
  static constexpr double kWindowSeconds = 10;
  // Time left is said from this many seconds on, or from a fiftieth of the
  // work done when at least kLeastSeconds have passed.
  static constexpr double kQuietSeconds = 3;
  static constexpr double kLeastSeconds = 1;

private:
  int64_t total_;
  std::deque<std::pair<double, int64_t>> samples_{{0.0, 0}};  // (elapsed, done), oldest first
};

// Reports a job's count as the listener's job detail (JobListener::
// SetJobDetail), at the first item and then about twice a second, with the
// time left once it can be told. `now` gives seconds from any fixed point;
// a test passes its own clock.
class JobCountdown {
public:
  JobCountdown(JobListener& job, std::string verb, std::string noun, int64_t total,
               std::function<double()> now = {});
  // `done` items of the total are done.
  void Done(int64_t done);
  // Clears the detail (the job's step is over).
  void Finish();

  static constexpr double kReportEverySeconds = 0.5;

private:
  JobListener& job_;
  std::string verb_, noun_;
  int64_t total_;
  std::function<double()> now_;
  double start_;
  std::optional<double> lastReport_;
  TimeLeftEstimate estimate_;
};

}  // namespace velmora
