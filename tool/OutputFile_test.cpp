#include "tool/OutputFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>
#include <string>

#include "quillmark/identity/DeviceIdGenerator.h"
#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"
#include "tool/DeviceList.h"

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

std::string Record(const std::string& extension, int line) {
  return test::Record(
      test::ReferenceDeviceId("42", "", {{"Extension", extension}}), line, 7,
      extension);
}

// A failed write leaves the file holding whole records only, and the record
// that failed is never written again, not even when the buffer goes.
TEST(OutputFile, KeepsWholeRecordsOnly) {
  const std::string first = Record("205", 1);
  const std::string two = first + Record("206", 2);
  const std::string all = two + Record("207", 3);
  const std::size_t none = std::string::npos;
  struct Case {
    std::string name;
    std::size_t limit;
    bool transient;
    std::size_t piece;
    std::string file;
  };
  const Case cases[] = {
      {"fails in the first record", 10, false, none, ""},
      {"fails in a later record", first.size() + 10, false, none, first},
      {"fails once in a later record", first.size() + 10, true, none, first},
      {"fails at a record's end", two.size(), false, none, two},
      {"fails once after short writes", first.size() + 10, true, 7, first},
      {"short writes are continued", none, false, 7, all},
  };
  const DeviceIdGenerator generator("42", "");
  const fs::path dir = fs::temp_directory_path();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path =
        dir / ("quillmark-output-" + std::to_string(::getpid()));
    std::string error;
    {
      FaultyOutputFile ini(c.limit, c.transient, c.piece);
      ASSERT_TRUE(ini.Open(path));
      ASSERT_TRUE(ini.Truncate());
      std::istringstream list("205\n206\n207\n");
      std::ostream ini_stream(&ini);
      std::ostringstream notices;
      try {
        WriteDeviceList(list, ini_stream, notices, generator, 7);
        EXPECT_TRUE(ini.Close());
      } catch (const std::invalid_argument& e) {
        error = e.what();
        EXPECT_FALSE(ini.Close());
      }
    }
    EXPECT_EQ(c.file == all ? "" : "Cannot write output file.", error);
    EXPECT_EQ(c.file, test::ReadFile(path));
    fs::remove(path);
  }
}

// Each record reaches the kernel before the next line is read.
TEST(OutputFile, OneWritePerRecord) {
  const fs::path path = fs::temp_directory_path() /
                        ("quillmark-writes-" + std::to_string(::getpid()));
  FaultyOutputFile ini(std::string::npos, false, std::string::npos);
  ASSERT_TRUE(ini.Open(path));
  std::istringstream list("205\n206\n206\n207\n");
  std::ostream ini_stream(&ini);
  std::ostringstream notices;
  EXPECT_EQ(3u, WriteDeviceList(list, ini_stream, notices,
                                DeviceIdGenerator("42", ""), 7));
  EXPECT_EQ(3, ini.writes());
  EXPECT_TRUE(ini.Close());
  EXPECT_EQ(3, ini.writes());
  fs::remove(path);
}

}  // namespace
}  // namespace quillmark
