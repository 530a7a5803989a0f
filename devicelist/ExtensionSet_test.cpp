#include "devicelist/ExtensionSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillmark {
namespace {

using namespace std::string_literals;

// Extensions that share bytes, lengths or chunks must never be taken for one
// another.
TEST(ExtensionSet, TellsEveryDistinctExtensionApart) {
  const std::string big(3 << 20, 'x');  // longer than a chunk
  const std::vector<std::string> distinct = {
      "205",
      "20",
      "2050",
      "a\0b"s,
      "a\0c"s,
      "A",
      std::string(127, 'y'),
      std::string(128, 'y'),
      std::string(20000, 'z'),
      big,
      big + "!",
      "after",
  };
  ExtensionSet set;
  for (const std::string& extension : distinct) {
    SCOPED_TRACE(extension.substr(0, 20));
    EXPECT_EQ(ExtensionSet::kAdded, set.Insert(extension));
  }
  for (const std::string& extension : distinct) {
    SCOPED_TRACE(extension.substr(0, 20));
    EXPECT_EQ(ExtensionSet::kRepeated, set.Insert(extension));
  }
  // Enough to grow the table many times and to fill several chunks.
  for (int i = 0; i < 300'000; ++i) {
    ASSERT_EQ(ExtensionSet::kAdded, set.Insert("ext-" + std::to_string(i)))
        << i;
  }
  for (int i = 0; i < 300'000; i += 7) {
    ASSERT_EQ(ExtensionSet::kRepeated, set.Insert("ext-" + std::to_string(i)))
        << i;
  }
}

// A set whose arena is full refuses new extensions, never wrapping around
// onto old ones, and still knows its repeats.
TEST(ExtensionSet, FullArenaRefusesOnlyNewExtensions) {
  ExtensionSet set(40);  // ten extensions of three bytes and a length byte
  for (int i = 100; i < 110; ++i) {
    EXPECT_EQ(ExtensionSet::kAdded, set.Insert(std::to_string(i)));
  }
  EXPECT_EQ(ExtensionSet::kFull, set.Insert("110"));
  for (int i = 100; i < 110; ++i) {
    EXPECT_EQ(ExtensionSet::kRepeated, set.Insert(std::to_string(i)));
  }
  // A repeat takes no room, however long it is, and leaves the room there is
  // to new extensions.
  ExtensionSet long_set(8 << 20);
  const std::string long_one((1 << 20) - 8, 'Z');
  EXPECT_EQ(ExtensionSet::kAdded, long_set.Insert(long_one));
  for (int i = 0; i < 200'000; ++i) {
    ASSERT_EQ(ExtensionSet::kAdded, long_set.Insert(std::to_string(i))) << i;
    if (i % 1000 == 0) {
      ASSERT_EQ(ExtensionSet::kRepeated, long_set.Insert(long_one)) << i;
    }
  }
}

}  // namespace
}  // namespace quillmark
