#include "tool/LineReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {
namespace {

std::vector<std::string> ReadAll(const std::string& text,
                                 std::size_t block_size) {
  std::istringstream in(text);
  LineReader reader(in, block_size);
  std::vector<std::string> lines;
  for (std::string_view line; reader.Next(line);) lines.emplace_back(line);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.bad());
  return lines;
}

// Whatever the block size, the lines are those std::getline sees.
TEST(LineReader, SplitsLikeGetlineAtEveryBlockSize) {
  const std::string texts[] = {
      "",
      "\n",
      "a",
      "a\n",
      "a\nb",
      "a\n\nb\n",
      "\n\n\n",
      "205\r\n206\r\n",
      std::string("a\0b\nc", 5),
      std::string(1000, 'x') + "\n" + std::string(999, 'y'),
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.substr(0, 20));
    std::vector<std::string> expected;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) expected.push_back(line);
    for (std::size_t block : {1u, 2u, 3u, 7u, 64u, 4096u}) {
      EXPECT_EQ(expected, ReadAll(text, block))
          << "block " << block << ", text of " << text.size() << " bytes";
    }
  }
}

TEST(LineReader, ReadErrorSetsBadbit) {
  // Reading a directory fails in read(), after a successful open.
  std::ifstream in(std::filesystem::temp_directory_path());
  ASSERT_TRUE(in.is_open());
  LineReader reader(in);
  std::string_view line;
  EXPECT_FALSE(reader.Next(line));
  EXPECT_TRUE(in.bad());
}

TEST(LineReader, StopsOnAFailedStream) {
  std::istringstream in("a\nb\n");
  in.setstate(std::ios::badbit);
  LineReader reader(in);
  std::string_view line = "stale";
  EXPECT_FALSE(reader.Next(line));
  EXPECT_EQ("", line);
  EXPECT_TRUE(in.bad());
}

}  // namespace
}  // namespace quillmark
