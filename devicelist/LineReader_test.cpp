#include "devicelist/LineReader.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "test/fake_io.h"

namespace quillmark {
namespace {

// Whatever the block size, however the source splits its reads and however
// many lines are asked for at once, the lines are those std::getline sees,
// also after a peek at the start, and the end is asked for once.
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
      for (std::size_t piece : {1u, 5u, 4096u}) {
        for (std::size_t batch : {1u, 3u, 64u}) {
          test::FakeSource source(text, piece);
          LineReader reader(source, block);
          EXPECT_EQ(text.substr(0, 3), reader.Peek(3));
          std::vector<std::string> lines;
          std::vector<std::string_view> got(batch);
          for (std::size_t n; (n = reader.Next(got.data(), batch)) != 0;) {
            lines.insert(lines.end(), got.data(), got.data() + n);
            EXPECT_EQ(lines.size(), reader.number());
          }
          EXPECT_EQ(expected, lines) << "block " << block << ", piece " << piece
                                     << ", batch " << batch;
        }
      }
    }
  }
}

}  // namespace
}  // namespace quillmark
