#include "tool/OutputFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "test/quillmark_runner.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// Lets `limit` bytes through, a piece of at most `piece` bytes per write(),
// then fails with EIO: once if `transient`, or from then on.
class FaultyOutputFile : public OutputFile {
 public:
  FaultyOutputFile(std::size_t limit, bool transient, std::size_t piece)
      : limit_(limit), transient_(transient), piece_(piece) {}
  int writes() const { return writes_; }

 protected:
  ssize_t WriteSome(const char* data, std::size_t size) override {
    ++writes_;
    if (passed_ >= limit_ && !failed_once_) {
      failed_once_ = transient_;
      errno = EIO;
      return -1;
    }
    std::size_t allowed = std::min(size, piece_);
    if (!failed_once_) allowed = std::min(allowed, limit_ - passed_);
    const ssize_t n = OutputFile::WriteSome(data, allowed);
    if (n > 0) passed_ += static_cast<std::size_t>(n);
    return n;
  }

 private:
  std::size_t limit_;
  bool transient_;
  std::size_t piece_;
  std::size_t passed_ = 0;
  bool failed_once_ = false;
  int writes_ = 0;
};

// A failed write leaves the file holding whole records only, and the record
// that failed is never written again.
TEST(OutputFile, KeepsWholeRecordsOnly) {
  const std::vector<std::string> records = {
      "[first]\nId=1\n", "[second]\nId=2\n", "[third]\nId=3\n"};
  const std::string& first = records[0];
  const std::string two = first + records[1];
  const std::string all = two + records[2];
  const std::size_t none = std::string::npos;
  struct Case {
    std::string name;
    std::size_t limit;
    bool transient;
    std::size_t piece;
    std::string file;
  };
  const Case cases[] = {
      {"fails in the first record", 5, false, none, ""},
      {"fails in a later record", first.size() + 5, false, none, first},
      {"fails once in a later record", first.size() + 5, true, none, first},
      {"fails at a record's end", two.size(), false, none, two},
      {"fails once after short writes", first.size() + 5, true, 3, first},
      {"short writes are continued", none, false, 3, all},
  };
  const fs::path path = fs::temp_directory_path() /
                        ("quillmark-output-" + std::to_string(::getpid()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultyOutputFile ini(c.limit, c.transient, c.piece);
    ASSERT_TRUE(ini.Open(path));
    ASSERT_TRUE(ini.Truncate());
    std::size_t appended = 0;
    try {
      for (const std::string& record : records) {
        ini.Append(record);
        ++appended;
      }
    } catch (const std::system_error&) {
      // Every record after a failed one is refused.
      EXPECT_THROW(ini.Append(records[0]), std::system_error);
    }
    EXPECT_TRUE(ini.Close());
    EXPECT_EQ(c.file == all ? 3u : appended, appended);
    EXPECT_EQ(c.file, test::ReadFile(path));
  }
  fs::remove(path);
}

// Each record reaches the kernel with one write(), as soon as it is appended.
TEST(OutputFile, OneWritePerRecord) {
  const fs::path path = fs::temp_directory_path() /
                        ("quillmark-writes-" + std::to_string(::getpid()));
  FaultyOutputFile ini(std::string::npos, false, std::string::npos);
  ASSERT_TRUE(ini.Open(path));
  for (const char* record : {"[a]\n", "[b]\n", "[c]\n"}) ini.Append(record);
  EXPECT_EQ(3, ini.writes());
  EXPECT_TRUE(ini.Close());
  EXPECT_EQ("[a]\n[b]\n[c]\n", test::ReadFile(path));
  fs::remove(path);
}

}  // namespace
}  // namespace quillmark
