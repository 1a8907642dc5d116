#include <gtest/gtest.h>

#include <cstring>

#include "imaging/LazyLibrary.h"

namespace velmora {
namespace {

// What a reader tells the user when its library is missing or too old, and
// that the answer, once given, stays the same.
TEST(LazyLibrary, ExplainsWhatIsMissingAndAnswersOnce) {
  struct Case {
    const char* soname;
    const char* function;
    const char* expected;  // empty: opens
  };
  const Case cases[] = {
      {"libvelmora-none.so.9", "strlen", "which cannot be loaded: libvelmora-none.so.9"},
      {"libc.so.6", "velmora_no_such_function", "but the one found lacks a function it uses"},
      {"libc.so.6", "strlen", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.soname + std::string(" ") + c.function);
    LazyLibrary library(c.soname, "Cannot load image. Test pictures need libtest (Debian package libtest1)");
    decltype(&std::strlen) found = nullptr;
    int binds = 0;
    const auto bind = [&](void* handle) {
      ++binds;
      return LazyLibrary::Bind(handle, c.function, found);
    };
    const Status first = library.Open(bind);
    const Status second = library.Open(bind);
    EXPECT_LE(binds, 1);
    EXPECT_EQ(first.ok(), second.ok());
    EXPECT_EQ(first.message(), second.message());
    if (*c.expected == '\0') {
      ASSERT_TRUE(first.ok()) << first.message();
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found("mosaic"), 6u);
    } else {
      EXPECT_FALSE(first.ok());
      EXPECT_NE(first.message().find("Test pictures need libtest (Debian package libtest1)"),
                std::string::npos)
          << first.message();
      EXPECT_NE(first.message().find(c.expected), std::string::npos) << first.message();
    }
  }
}

}  // namespace
}  // namespace velmora
