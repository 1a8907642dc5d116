// The loader's append: paths go in one by one until the library is full;
// those appended before the limit stay.
#include <gtest/gtest.h>

#include "library/AppendPictures.h"

namespace velmora {
namespace {

CellPicList ListOf(int count) {
  CellPicList list;
  list.Assign(std::vector<std::string>(static_cast<size_t>(count), "p.jpg"));
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
    const AppendOutcome out =
        AppendPictures(list, std::vector<std::string>(size_t(c.offered), "/pics/new.jpg"));
    EXPECT_EQ(out.Appended, c.appended);
    EXPECT_EQ(out.LimitReached, c.limit);
    EXPECT_EQ(list.Count(), c.before + c.appended);
    if (c.appended > 0) {
      EXPECT_EQ(list[list.Count() - 1], "/pics/new.jpg");
    }
  }
}

}  // namespace
}  // namespace velmora
