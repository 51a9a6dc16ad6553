// The stream of fixed memory that goes to a temporary file when it grows.
#include "platform/spill_stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_tree.h"

namespace platform {
namespace {

std::string Pattern(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + i / 977) & 0xff);
  return s;
}

TEST(SpillStream, ComesBackWholeFromMemoryOrFromATemporaryFileThatLeavesNothingBehind) {
  testing_support::TempTree tmp;
  for (const std::size_t size : {std::size_t{0}, std::size_t{999}, std::size_t{1000}, std::size_t{250'001}}) {
    SpillStream stream(1000, {tmp.Root()});
    const std::string data = Pattern(size);
    // In uneven pieces, some larger than the buffer.
    for (std::size_t at = 0, piece = 1; at < size; at += piece, piece = piece * 3 % 2311 + 1) {
      ASSERT_TRUE(stream.Write(data.data() + at, std::min(piece, size - at)));
    }
    EXPECT_EQ(stream.Spilled(), size > 1000) << size;
    EXPECT_TRUE(std::filesystem::is_empty(tmp.Root())) << "the temporary file has no name";
    ASSERT_TRUE(stream.Rewind());
    EXPECT_FALSE(stream.Write("x", 1)) << "written once, then read";
    std::string back(size, '\0');
    for (std::size_t at = 0, piece = 7; at < size; at += piece, piece = piece * 5 % 1733 + 1) {
      ASSERT_TRUE(stream.Read(back.data() + at, std::min(piece, size - at))) << size << " at " << at;
    }
    EXPECT_EQ(back, data) << size;
    char more;
    EXPECT_FALSE(stream.Read(&more, 1)) << "the end of the stream";
    EXPECT_FALSE(stream.Broken());
  }
}

TEST(SpillStream, WithNowhereToSpillItBreaksAndStaysBroken) {
  SpillStream stream(16, {"/nonexistent/torvex"});
  EXPECT_TRUE(stream.Write("0123456789abcdef", 16));
  EXPECT_FALSE(stream.Write("g", 1));
  EXPECT_TRUE(stream.Broken());
  EXPECT_FALSE(stream.Write("h", 1));
  EXPECT_FALSE(stream.Rewind());
  char c;
  EXPECT_FALSE(stream.Read(&c, 1));
}

}  // namespace
}  // namespace platform
