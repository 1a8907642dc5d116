#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "imaging/MemoryBudget.h"
#include "imaging/PictureReader.h"
#include "imaging/formats/BmpCodec.h"
#include "output/SavePicture.h"
#include "support/ScratchFolder.h"

namespace velmora {
namespace {

using testing::ScratchFolder;

// Eight threads, each running `rounds` scopes that charge the given pieces
// one after another, on one budget; returns the budget's peak.
int64_t RunScopes(MemoryBudget& budget, const std::vector<int64_t>& pieces, int rounds = 20) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int r = 0; r < rounds; ++r) {
        MemoryScope scope(&budget);
        for (int64_t bytes : pieces) EXPECT_TRUE(ChargeMemory(bytes).ok());
        std::this_thread::yield();
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(budget.InUse(), 0);
  return budget.Peak();
}

TEST(MemoryBudget, ThreadsWaitForRoomInsteadOfGoingPastIt) {
  // One piece per picture: never more than the budget at once.
  MemoryBudget single(1000);
  EXPECT_LE(RunScopes(single, {400}), 1000);
  EXPECT_GE(single.Peak(), 400);
  // A second piece while holding the first: every thread finishes (nobody
  // waits for ever on a holder that waits too), and only the oldest holder
  // may go past the budget, by at most its own second piece.
  MemoryBudget twoPieces(1000);
  EXPECT_LE(RunScopes(twoPieces, {450, 300}), 1000 + 300);
}

TEST(MemoryBudget, ChargesOnlyInsideAScopeAndRefusesMoreThanTheWhole) {
  MemoryBudget budget(1000);
  EXPECT_TRUE(ChargeMemory(5000).ok());  // no scope: not counted
  EXPECT_EQ(MemoryScopeCapacity(), INT64_MAX);
  {
    MemoryScope scope(&budget);
    EXPECT_EQ(MemoryScopeCapacity(), 1000);
    EXPECT_FALSE(ChargeMemory(1001).ok());
    EXPECT_TRUE(ChargeMemory(600).ok());
    EXPECT_EQ(budget.InUse(), 600);
    // A bitmap allocated in the scope is charged before it exists.
    TBitmap32 big;
    EXPECT_NE(big.SetSize(100, 100).message().find("more than the memory budget"), std::string::npos);
    EXPECT_TRUE(big.Empty());
  }
  EXPECT_EQ(budget.InUse(), 0);
}

// A picture larger than the budget: a JPEG comes out at the largest DCT scale
// that fits, anything else is refused with the file's name; a file larger
// than the budget is refused before it is read, its bytes being charged too.
TEST(MemoryBudget, PictureOverTheBudgetIsReducedOrRefusedByName) {
  ScratchFolder dir;
  TBitmap32 picture(256, 256);
  picture.Fill(Color32(200, 100, 50));
  ASSERT_TRUE(WriteJpegFile(picture, dir / "big.jpg", 90, false).ok());
  ASSERT_TRUE(WriteJpegFile(picture, dir / "big-progressive.jpg", 90, true).ok());
  ASSERT_TRUE(WriteBmpFile(picture, dir / "big.bmp").ok());

  MemoryBudget budget(1 << 18);  // the full picture needs exactly this much, its copies more
  MemoryScope scope(&budget);
  auto jpeg = ReadPicture(dir / "big.jpg");
  ASSERT_TRUE(jpeg.ok()) << jpeg.message();
  EXPECT_EQ(jpeg->bitmap.Width(), 256);

  MemoryBudget small(100000);
  MemoryScope inner(&small);
  for (const char* name : {"big.jpg", "big-progressive.jpg"}) {
    auto reduced = ReadPicture(dir / name);
    if (std::string(name) == "big-progressive.jpg") {
      // Its coefficient buffer alone (256 x 256 x 3 x 2 bytes) is over the budget.
      EXPECT_EQ(reduced.message().rfind(dir / name + ": ", 0), 0u) << reduced.message();
      continue;
    }
    ASSERT_TRUE(reduced.ok()) << reduced.message();
    EXPECT_EQ(reduced->bitmap.Width(), 128);  // 4/8: 128 x 128 x 4 bytes fit, 5/8 does not
    EXPECT_EQ(reduced->storedWidth, 256);
  }
  const std::string refused = ReadPicture(dir / "big.bmp").message();
  EXPECT_EQ(refused.rfind(dir / "big.bmp" + ": ", 0), 0u) << refused;
  EXPECT_NE(refused.find("The file of 262198 bytes is more than the memory budget of 0.1 MiB"),
            std::string::npos)
      << refused;
}

}  // namespace
}  // namespace velmora
