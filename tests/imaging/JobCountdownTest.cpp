// The count in words a long step shows: thousands separators, the rounding
// of the time left, when the estimate starts to speak and which rate it
// follows, and how often the listener hears of it. Time is a test clock.
#include "imaging/JobCountdown.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

TEST(JobCountdown, NumbersAndTimesInWords) {
  struct Case {
    int64_t done, total;
    std::optional<double> left;
    const char* text;
  };
  const Case cases[] = {
      {0, 0, std::nullopt, "Summarising 0 of 0 photos"},
      {1, 1, std::nullopt, "Summarising 1 of 1 photo"},
      {999, 1000, std::nullopt, "Summarising 999 of 1,000 photos"},
      {1234, 20000, 40.0, "Summarising 1,234 of 20,000 photos, about 40 s left"},
      {123456, 1234567, 0.2, "Summarising 123,456 of 1,234,567 photos, about 1 s left"},
      {5, 9, 4.4, "Summarising 5 of 9 photos, about 4 s left"},
      {5, 9, 9.4, "Summarising 5 of 9 photos, about 9 s left"},
      {5, 9, 9.6, "Summarising 5 of 9 photos, about 10 s left"},
      {5, 9, 42.4, "Summarising 5 of 9 photos, about 40 s left"},
      {5, 9, 43.0, "Summarising 5 of 9 photos, about 45 s left"},
      {5, 9, 57.0, "Summarising 5 of 9 photos, about 55 s left"},
      {5, 9, 58.0, "Summarising 5 of 9 photos, about 1 min left"},
      {5, 9, 89.0, "Summarising 5 of 9 photos, about 1 min left"},
      {5, 9, 170.0, "Summarising 5 of 9 photos, about 3 min left"},
      {5, 9, 59 * 60.0, "Summarising 5 of 9 photos, about 59 min left"},
      {5, 9, 3600.0, "Summarising 5 of 9 photos, about 1 h left"},
      {5, 9, 5100.0, "Summarising 5 of 9 photos, about 1 h 25 min left"},
      {5, 9, 2 * 3600 + 58 * 60.0, "Summarising 5 of 9 photos, about 3 h left"},
      {5, 9, 12.3 * 3600, "Summarising 5 of 9 photos, about 12 h left"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CountdownText("Summarising", c.done, c.total, "photos", c.left), c.text) << c.text;
  EXPECT_EQ(GroupThousands(-1234567), "-1,234,567");
  EXPECT_EQ(GroupThousands(100), "100");
  EXPECT_EQ(GroupThousands(100000), "100,000");
}

TEST(JobCountdown, EstimateWaitsThenFollowsTheLatestRate) {
  // Silent before a second, and before 3 s unless a fiftieth is done.
  TimeLeftEstimate small(1000);
  EXPECT_FALSE(small.Update(30, 0.5));
  EXPECT_FALSE(small.Update(500, 0.75));  // half done, but within the first second
  TimeLeftEstimate slow(1000);
  EXPECT_FALSE(slow.Update(10, 2.0));  // 1 %: too early
  ASSERT_TRUE(slow.Update(15, 3.0));   // 3 s: 5 a second, 985 left
  EXPECT_NEAR(*slow.Update(15, 3.0), 197, 1);
  TimeLeftEstimate quick(1000);
  ASSERT_TRUE(quick.Update(40, 1.0));  // 4 % after a second
  EXPECT_NEAR(*quick.Update(40, 1.0), 24, 0.5);
  EXPECT_FALSE(quick.Update(1000, 20.0));  // done: nothing left to tell

  // A thousand pictures from a cache in the first second, then ten a
  // second: after the window the estimate follows the ten.
  TimeLeftEstimate cached(5000);
  cached.Update(1000, 1.0);
  std::optional<double> left;
  for (double t = 1.25; t <= 30; t += 0.25) left = cached.Update(1000 + int64_t((t - 1) * 10), t);
  ASSERT_TRUE(left);
  EXPECT_NEAR(*left, (5000 - 1290) / 10.0, 5);
}

struct DetailRecorder : JobListener {
  std::vector<std::string> details;
  void SetJobDetail(std::string_view detail) override { details.emplace_back(detail); }
};

TEST(JobCountdown, ReportsTheFirstCountThenTwiceASecond) {
  DetailRecorder job;
  double now = 100;
  JobCountdown countdown(job, "Summarising", "photos", 100, [&] { return now; });
  countdown.Done(1);
  now += 0.25;
  countdown.Done(2);  // too soon after the first
  now += 0.25;
  countdown.Done(3);
  now += 3.0;
  countdown.Done(30);  // 30 in 3.5 s: 70 left at about 8.6 a second
  countdown.Finish();
  EXPECT_EQ(job.details, (std::vector<std::string>{"Summarising 1 of 100 photos", "Summarising 3 of 100 photos",
                                                   "Summarising 30 of 100 photos, about 8 s left", ""}));
}

}  // namespace
}  // namespace velmora
