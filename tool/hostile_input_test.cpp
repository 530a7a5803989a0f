// The tool against files and contents that a careless or hostile caller may
// hand it: odd file types, huge or binary lines, and inputs that must not make
// memory grow.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <future>
#include <string>
#include <vector>

#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"

namespace quillmark::test {
namespace {

using namespace std::string_literals;
using Hostile = QuillmarkRunner;

std::string IdOf(const std::string& extension) {
  return ReferenceDeviceId("42", "", {{"Extension", extension}});
}

std::string Summary(int devices) {
  return "Wrote " + std::to_string(devices) + " devices to \"Devices.ini\"\n";
}

// Writes `content` into a FIFO from another thread; opening blocks until the
// tool opens its end for reading.
std::future<void> FeedFifo(const std::string& path,
                           const std::string& content) {
  return std::async(std::launch::async, [path, content] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return;
    for (std::size_t done = 0; done < content.size();) {
      const ssize_t n =
          ::write(fd, content.data() + done, content.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  });
}

std::future<std::string> DrainFifo(const std::string& path) {
  return std::async(std::launch::async, [path] {
    std::string content;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return content;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
      content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
  });
}

TEST_F(Hostile, InputThatIsNoPlainFile) {
  ASSERT_EQ(0, ::mkfifo(At("fifo").c_str(), 0600));
  std::future<void> feeder = FeedFifo(At("fifo"), "205\n206\n");
  Result r = Run({"-i", "fifo", "--pp", "7", "--tenant_id", "42"});
  feeder.get();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Summary(2), r.out);
  EXPECT_EQ(Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206"),
            Read("Devices.ini"));

  r = Run({"-i", "/dev/null", "--pp", "7"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Summary(0), r.out);
  EXPECT_EQ("", Read("Devices.ini"));
}

TEST_F(Hostile, OutputThatIsNoPlainFile) {
  Write("list.txt", "205\n206\n");
  std::filesystem::create_directory(At("out"));
  ExpectFailure({"-i", "list.txt", "--pp", "7", "-o", "out"},
                "Cannot open output file for writing.");
  EXPECT_TRUE(std::filesystem::is_empty(At("out")));

  // A FIFO with a reader gets every record.
  ASSERT_EQ(0, ::mkfifo(At("fifo").c_str(), 0600));
  std::future<std::string> reader = DrainFifo(At("fifo"));
  Result r =
      Run({"-i", "list.txt", "--pp", "7", "--tenant_id", "42", "-o", "fifo"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("Wrote 2 devices to \"fifo\"\n", r.out);
  EXPECT_EQ(Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206"),
            reader.get());
}

// The reader opens the FIFO and leaves before the first record: the write
// fails, and the tool says so instead of dying quietly of SIGPIPE.
TEST_F(Hostile, OutputReaderThatGoesAway) {
  ASSERT_EQ(0, ::mkfifo(At("list").c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  const pid_t pid = Start({"-i", "list", "--pp", "7", "-o", "out"});
  const int list = ::open(At("list").c_str(), O_WRONLY);
  ASSERT_GE(list, 0);
  const int out = ::open(At("out").c_str(), O_RDONLY);
  ASSERT_GE(out, 0);
  ::close(out);
  ASSERT_EQ(4, ::write(list, "205\n", 4));
  ::close(list);
  const Result r = Wait(pid);
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("Cannot write output file.\n", r.err);
}

TEST_F(Hostile, LinesAreKeptAndHashedByteForByte) {
  std::string huge;
  huge.resize(50'000'000, 'x');
  struct Case {
    std::string name;
    std::string extension;
  };
  const Case cases[] = {
      {"50 MB line", huge},       {"70000-byte line", std::string(70'000, '7')},
      {"NUL bytes", "a\0b\0"s},   {"invalid UTF-8", "\xff\xfe\xc3\x28\x80"},
      {"inner blanks", "a b\tc"},
  };
  for (const Case& c : cases) {
    Write("list.txt", c.extension + "\n" + c.extension + "\r\n");
    const Result r = Run({"-i", "list.txt", "--pp", "7", "--tenant_id", "42"});
    EXPECT_EQ(0, r.status) << c.name;
    EXPECT_EQ(
        "Ignoring duplicate extension: '" + c.extension + "'\n" + Summary(1),
        r.out)
        << c.name;
    EXPECT_TRUE(Read("Devices.ini") ==
                Record(IdOf(c.extension), 1, 7, c.extension))
        << c.name;
  }
}

// Neither blank lines nor repeats may cost memory per line. The lists are
// written in pieces so that this process stays small too.
TEST_F(Hostile, MemoryStaysFlatWithoutNewExtensions) {
  Write("one.txt", "205\n");
  const Result baseline = RunMeasuringMemory({"-i", "one.txt", "--pp", "7"});
  ASSERT_EQ(0, baseline.status);
  ASSERT_GT(baseline.peak_kib, 0);

  struct Case {
    std::string name;
    std::string line;
    int lines;
    std::size_t stdout_size;
  };
  const Case cases[] = {
      {"2 million blank lines", "\n", 2'000'000, Summary(1).size()},
      {"one extension a million times", "205\n", 1'000'000,
       std::size_t{36} * 1'000'000 + Summary(1).size()},
  };
  for (const Case& c : cases) {
    {
      std::ofstream list(At("list.txt"), std::ios::binary);
      for (int i = 0; i < c.lines; ++i) list << c.line;
      list << "205\n";
    }
    const Result r = RunMeasuringMemory({"-i", "list.txt", "--pp", "7"});
    EXPECT_EQ(0, r.status) << c.name;
    EXPECT_EQ(c.stdout_size, r.out.size()) << c.name;
    EXPECT_TRUE(r.out.ends_with(Summary(1))) << c.name;
    EXPECT_LT(r.peak_kib, baseline.peak_kib + 1024)
        << c.name << ": baseline " << baseline.peak_kib << " KiB";
  }
}

}  // namespace
}  // namespace quillmark::test
