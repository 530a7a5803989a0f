// The tool against files that a careless or hostile caller may hand it: odd
// file types, terminals, and readers and writers that go away.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"

namespace quillmark::test {
namespace {

using Hostile = QuillmarkRunner;

std::string IdOf(const std::string& extension) {
  return ReferenceDeviceId("42", "", {{"Extension", extension}});
}

std::string Summary(int devices) {
  return "Wrote " + std::to_string(devices) + " devices to \"Devices.ini\"\n";
}

// Writes `content` into a FIFO from another thread, in pieces of `piece`
// bytes with a pause after each; opening blocks until the tool opens its end
// for reading.
std::future<void> FeedFifo(const std::string& path, const std::string& content,
                           std::size_t piece = std::string::npos) {
  return std::async(std::launch::async, [path, content, piece] {
    const int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return;
    for (std::size_t done = 0; done < content.size();) {
      const ssize_t n = ::write(fd, content.data() + done,
                                std::min(piece, content.size() - done));
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
      if (piece != std::string::npos) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
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
  // A notice is out before the run waits for more of the list.
  const pid_t pid = Start({"-i", "fifo", "--pp", "7", "--tenant_id", "42"});
  const int fifo = ::open(At("fifo").c_str(), O_WRONLY);
  ASSERT_EQ(8, ::write(fifo, "205\n205\n", 8));
  const std::string notice = "Ignoring duplicate extension: '205'\n";
  for (int i = 0; i < 1000 && Read("../stdout") != notice; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(notice, Read("../stdout"));
  ASSERT_EQ(4, ::write(fifo, "206\n", 4));
  ::close(fifo);
  Result r = Wait(pid);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(notice + Summary(2), r.out);
  EXPECT_EQ(Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 3, 7, "206"),
            Read("Devices.ini"));

  // Byte by byte, the start of the list is read in pieces: the mark is still
  // dropped and the first line kept whole.
  std::future<void> slow_feeder = FeedFifo(At("fifo"),
                                           "\xEF\xBB\xBF"
                                           "205\n206",
                                           1);
  r = Run({"-i", "fifo", "--pp", "7", "--tenant_id", "42"});
  slow_feeder.get();
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Summary(2), r.out);
  EXPECT_EQ(Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206"),
            Read("Devices.ini"));

  r = Run({"-i", "/dev/null", "--pp", "7"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Summary(0), r.out);
  EXPECT_EQ("", Read("Devices.ini"));

  // A descriptor that no path would open again, a socket here, is read as
  // it was handed over.
  int ends[2];
  ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, ends));
  ASSERT_EQ(8, ::write(ends[0], "205\n206\n", 8));
  ::close(ends[0]);
  r = Run({"-i", "/dev/fd/" + std::to_string(ends[1]), "--pp", "7",
           "--tenant_id", "42"});
  ::close(ends[1]);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206"),
            Read("Devices.ini"));
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

  // "-" is standard output, a pipe here, and so is the FIFO that standard
  // output is; the summary names it, on standard error.
  SendStandardOutputTo(At("fifo"));
  for (const std::string output : {"-", "fifo"}) {
    SCOPED_TRACE(output);
    reader = DrainFifo(At("fifo"));
    r = Run({"-i", "list.txt", "--pp", "7", "--tenant_id", "42", "-o", output});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Wrote 2 devices to \"" + output + "\"\n", r.err);
    EXPECT_EQ(
        Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206"),
        reader.get());
  }
}

// The reader opens the FIFO and leaves before the first record: the write
// fails, and the tool says so instead of dying quietly of SIGPIPE.
TEST_F(Hostile, OutputReaderThatGoesAway) {
  ASSERT_EQ(0, ::mkfifo(At("list").c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  const pid_t pid = Start({"-i", "list", "--pp", "7", "-o", "out"});
  const int list = ::open(At("list").c_str(), O_WRONLY);
  ASSERT_GE(list, 0);
  // The tool opens its output before it reads the list.
  ASSERT_EQ(2, ::write(list, "20", 2));
  const int out = ::open(At("out").c_str(), O_RDONLY);
  ASSERT_GE(out, 0);
  ::close(out);
  ASSERT_EQ(2, ::write(list, "5\n", 2));
  ::close(list);
  const Result r = Wait(pid);
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("Cannot write output file.\n", r.err);
}

// A real regular file that refuses to grow (ulimit -f): the run fails, and
// the output keeps its old content, replaced or, for a second name, written
// in place.
TEST_F(Hostile, WriteFailureOnARegularFileLeavesItAsItWas) {
  Write("list.txt", "205\n206\n207\n");
  Limit(RLIMIT_FSIZE,
        static_cast<long>(Record(IdOf("205"), 1, 7, "205").size()) + 40);
  Write("Devices.ini", "old\n");
  for (const bool linked : {false, true}) {
    SCOPED_TRACE(linked ? "in place" : "replaced");
    if (linked)
      std::filesystem::create_hard_link(At("Devices.ini"), At("2.ini"));
    ExpectFailure({"-i", "list.txt", "--pp", "7", "--tenant_id", "42"},
                  "Cannot write output file.");
    EXPECT_EQ("old\n", Read("Devices.ini"));
    EXPECT_FALSE(Exists(".Devices.ini.quillmark-new"));
  }
}

// Two runs on one output file, by any name and in any way: the second fails
// at once and changes nothing, and the output holds the first one's records
// when it ends, also when there was no output before. A run killed outright
// leaves the output as it was, and its work file, which the next run takes
// over.
TEST_F(Hostile, OneRunPerOutput) {
  ASSERT_EQ(0, ::mkfifo(At("list").c_str(), 0600));
  Write("other.txt", "999\n");
  const std::string records =
      Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206");
  // Replaced, in place through a second name, or through standard output
  // appended to the output, as `>>` does.
  enum Way { kReplace, kInPlace, kStandardOutput };
  const auto prepare = [this](Way way) {
    if (way == kInPlace && !Exists("2.ini")) {
      std::filesystem::create_hard_link(At("Devices.ini"), At("2.ini"));
    }
    if (way == kReplace) std::filesystem::remove(At("2.ini"));
    SendStandardOutputTo(way == kStandardOutput ? At("Devices.ini") : "",
                         O_APPEND | O_CREAT);
    return std::vector<std::string>{"--pp",
                                    "7",
                                    "--tenant_id",
                                    "42",
                                    "-o",
                                    way == kReplace   ? "Devices.ini"
                                    : way == kInPlace ? "2.ini"
                                                      : "/dev/stdout"};
  };
  // Starts a run on the FIFO and feeds it a line; returns once the run
  // holds the output, and the work path of the name it was given, with the
  // FIFO's writing end in `list`.
  int list = -1;
  const auto start = [&](std::vector<std::string> args) {
    const std::string work = args.back() == "2.ini"
                                 ? ".2.ini.quillmark-new"
                                 : ".Devices.ini.quillmark-new";
    args.insert(args.begin(), {"-i", "list"});
    const pid_t pid = Start(args);
    list = ::open(At("list").c_str(), O_WRONLY);
    if (list < 0 || ::write(list, "205\n", 4) < 0) return pid;
    for (int i = 0; i < 1000 && !Exists(work); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pid;
  };
  struct Case {
    Way first;
    Way second;
    bool exists;
  };
  const Case cases[] = {
      {kReplace, kReplace, true},         {kReplace, kReplace, false},
      {kReplace, kInPlace, true},         {kReplace, kStandardOutput, true},
      {kReplace, kStandardOutput, false}, {kInPlace, kReplace, true},
      {kStandardOutput, kReplace, true},  {kStandardOutput, kInPlace, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << " then " << c.second
                                    << (c.exists ? "" : ", no output yet"));
    std::filesystem::remove(At("2.ini"));
    std::filesystem::remove(At("Devices.ini"));
    if (c.exists) Write("Devices.ini", "old\n");
    const pid_t first = start(prepare(c.first));
    std::vector<std::string> args = prepare(c.second);
    args.insert(args.begin(), {"-i", "other.txt"});
    const std::string before = Read("Devices.ini");
    ExpectFailure(args, "Output file is in use by another run.");
    EXPECT_EQ(before, Read("Devices.ini"));
    ASSERT_EQ(4, ::write(list, "206\n", 4));
    ::close(list);
    EXPECT_EQ(0, Wait(first).status);
    EXPECT_EQ((c.first == kStandardOutput ? before : "") + records,
              Read("Devices.ini"));
    EXPECT_FALSE(Exists(".Devices.ini.quillmark-new"));
  }

  // A FIFO by its path, too.
  SendStandardOutputTo("");
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  std::future<std::string> reader = DrainFifo(At("out"));
  const pid_t writing =
      Start({"-i", "list", "--pp", "7", "--tenant_id", "42", "-o", "out"});
  list = ::open(At("list").c_str(), O_WRONLY);
  ASSERT_EQ(4, ::write(list, "205\n", 4));
  ASSERT_TRUE(BlockedIn(writing, SYS_read));
  ExpectFailure({"-i", "other.txt", "--pp", "7", "-o", "out"},
                "Output file is in use by another run.");
  ASSERT_EQ(4, ::write(list, "206\n", 4));
  ::close(list);
  EXPECT_EQ(0, Wait(writing).status);
  EXPECT_EQ(records, reader.get());

  std::filesystem::remove(At("2.ini"));
  const std::string whole = Read("Devices.ini");
  const pid_t killed = start(prepare(kReplace));
  ASSERT_TRUE(Exists(".Devices.ini.quillmark-new"));
  ::kill(killed, SIGKILL);
  ::waitpid(killed, nullptr, 0);
  ::close(list);
  EXPECT_EQ(whole, Read("Devices.ini"));
  EXPECT_EQ(0, Run({"-i", "other.txt", "--pp", "7"}).status);
  EXPECT_FALSE(Exists(".Devices.ini.quillmark-new"));
}

// A run started with standard descriptors closed must not write its notices
// or messages into the output, which would take a closed one's number.
TEST_F(Hostile, ClosedStandardDescriptors) {
  const std::string first = Record(IdOf("205"), 1, 7, "205");
  const std::vector<std::string> args{"-i", "list.txt",    "--pp",
                                      "7",  "--tenant_id", "42"};
  struct Case {
    std::vector<int> closed;
    std::string list;
    std::vector<std::string> args;
    std::string err;
    std::string ini;
  };
  const Case cases[] = {
      // The notices and the summary are lost, and that is reported.
      {{0, 1},
       "205\n205\n206\n",
       args,
       "Cannot write standard output.\n",
       first + Record(IdOf("206"), 3, 7, "206")},
      // The message is lost; the status still tells, and no output is made.
      {{0, 2}, "205\n2\t6\n", args, "", ""},
      // A closed standard input is no empty list.
      {{0},
       "",
       {"-i", "/dev/stdin", "--pp", "7"},
       "Input file does not exist.\n",
       ""},
      {{0}, "", {"-i", "-", "--pp", "7"}, "Input file does not exist.\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.closed));
    Write("list.txt", c.list);
    std::filesystem::remove(At("Devices.ini"));
    CloseInRuns(c.closed);
    const Result r = Run(c.args);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ(c.err, r.err);
    EXPECT_EQ(c.ini, Read("Devices.ini"));
  }
}

// A pseudo-terminal: the tool reads its far end as the list, and the test
// types at, and may hang up, the near one.
class Terminal {
 public:
  explicit Terminal(bool raw) {
    near_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (near_ < 0 || ::grantpt(near_) != 0 || ::unlockpt(near_) != 0) return;
    // The tool must not inherit the near end, or hanging up would not reach it.
    ::fcntl(near_, F_SETFD, FD_CLOEXEC);
    const char* const name = ::ptsname(near_);
    if (name == nullptr) return;
    const std::string path = name;
    const int far = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (far < 0) return;  // no pseudo-terminals here, as in some chroots
    termios settings{};
    if (raw && ::tcgetattr(far, &settings) == 0) {
      ::cfmakeraw(&settings);
      ::tcsetattr(far, TCSANOW, &settings);
    }
    ::close(far);
    path_ = path;
  }
  ~Terminal() { HangUp(); }

  // The far end's path; empty if there are no pseudo-terminals to be had.
  const std::string& path() const { return path_; }
  bool Type(const std::string& bytes) const {
    return ::write(near_, bytes.data(), bytes.size()) ==
           static_cast<ssize_t>(bytes.size());
  }
  // Reading the far end fails with EIO from now on.
  void HangUp() {
    if (near_ >= 0) ::close(near_);
    near_ = -1;
  }

 private:
  int near_ = -1;
  std::string path_;
};

// A read that fails in the middle of a line must not make a device of the
// part read before it. Records that go to a pipe are seen at once.
TEST_F(Hostile, ReadErrorInTheMiddleOfALine) {
  Terminal terminal(/*raw=*/true);
  if (terminal.path().empty()) GTEST_SKIP() << "no pseudo-terminals";
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  SendStandardOutputTo(At("out"));
  const pid_t pid = Start({"-i", terminal.path(), "--pp", "7", "--tenant_id",
                           "42", "-o", "/dev/stdout"});
  const int out = ::open(At("out").c_str(), O_RDONLY);
  ASSERT_GE(out, 0);
  ASSERT_TRUE(terminal.Type("205\n20"));
  const std::string first = Record(IdOf("205"), 1, 7, "205");
  std::string seen(first.size() + 1, '\0');
  std::size_t got = 0;
  for (ssize_t n; got < first.size() && (n = ::read(out, seen.data() + got,
                                                    first.size() - got)) > 0;) {
    got += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(first, seen.substr(0, got));
  // A terminal hung up before its reader waits for input says only that it
  // ended.
  ASSERT_TRUE(BlockedIn(pid, SYS_read, "wait_woken"));
  terminal.HangUp();
  const Result r = Wait(pid);
  EXPECT_EQ(255, r.status);
  EXPECT_EQ("Cannot read input file.\n", r.err);
  EXPECT_EQ(0, ::read(out, seen.data(), seen.size()));
  ::close(out);
}

// A last line typed without its line end takes one Ctrl-D to send it and one
// to end the list; the end, once seen, is not asked for again, not even when
// it comes before the first line.
TEST_F(Hostile, TerminalListEndsAtItsEnd) {
  struct Case {
    std::string typed;
    std::string records;
    bool interrupted = false;  // before the typing, which then goes on
  };
  const Case cases[] = {
      {"205\n206\x04\x04",
       Record(IdOf("205"), 1, 7, "205") + Record(IdOf("206"), 2, 7, "206")},
      {"205\x04\x04", Record(IdOf("205"), 1, 7, "205")},
      {"\x04", ""},
      {"205\n\x04", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Terminal terminal(/*raw=*/false);
    if (terminal.path().empty()) GTEST_SKIP() << "no pseudo-terminals";
    std::filesystem::remove(At("Devices.ini"));
    const pid_t pid =
        Start({"-i", terminal.path(), "--pp", "7", "--tenant_id", "42"});
    if (c.interrupted) {
      // Waiting at the terminal, not reading a library as it starts.
      ASSERT_TRUE(BlockedIn(pid, SYS_read, "wait_woken"));
      ::kill(pid, SIGINT);
    }
    ASSERT_TRUE(terminal.Type(c.typed));
    const Result r = Wait(pid);
    EXPECT_EQ(c.interrupted ? 255 : 0, r.status);
    EXPECT_EQ(c.interrupted ? "Interrupt received; the list is finished first "
                              "(Ctrl-D ends it).\nInterrupted; the list may "
                              "be incomplete.\n"
                            : "",
              r.err);
    EXPECT_EQ(c.records, Read("Devices.ini"));
  }
}

}  // namespace
}  // namespace quillmark::test
