// The loader's append: paths go in one by one until the library is full;
// those appended before the limit stay; paths already listed are skipped.
#include <gtest/gtest.h>

#include "library/AppendPictures.h"

namespace velmora {
namespace {

std::vector<std::string> Names(int count, const std::string& stem) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(stem + std::to_string(i) + ".jpg");
  return names;
}

CellPicList ListOf(int count) {
  CellPicList list;
  list.Assign(Names(count, "/old/p"));
  return list;
}

TEST(AppendPictures, StopsAtTheLimit) {
  struct Case {
    int before;
    int offered;
    int appended;
    bool limit;
  } cases[] = {
      {0, 0, 0, false},
      {2, 3, 3, false},
      {MaxLibraryPictures - 3, 3, 3, false},  // fills the list exactly: no refusal
      {MaxLibraryPictures - 1, 3, 1, true},
      {MaxLibraryPictures, 1, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    CellPicList list = ListOf(c.before);
    const AppendOutcome out = AppendPictures(list, Names(c.offered, "/pics/new"));
    EXPECT_EQ(out.Appended, c.appended);
    EXPECT_EQ(out.LimitReached, c.limit);
    EXPECT_EQ(list.Count(), c.before + c.appended);
    if (c.appended > 0) {
      EXPECT_EQ(list[list.Count() - 1], "/pics/new" + std::to_string(c.appended - 1) + ".jpg");
    }
  }
}

TEST(AppendPictures, SkipsPathsAlreadyListed) {
  CellPicList list = ListOf(3);
  // Two listed before, one twice in the batch, two new.
  const AppendOutcome out =
      AppendPictures(list, {"/old/p0.jpg", "/new/a.jpg", "/old/p2.jpg", "/new/a.jpg", "/new/b.jpg"});
  EXPECT_EQ(out.Appended, 2);
  EXPECT_EQ(out.Skipped, 3);
  EXPECT_FALSE(out.LimitReached);
  EXPECT_EQ(list.Paths(), (std::vector<std::string>{"/old/p0.jpg", "/old/p1.jpg", "/old/p2.jpg", "/new/a.jpg",
                                                    "/new/b.jpg"}));
}

}  // namespace
}  // namespace velmora
