// Runs the built quillmark binary in a fresh directory and checks its exact
// standard output, standard error, exit status and files.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"

namespace quillmark::test {
namespace {

namespace fs = std::filesystem;

// Device IDs for tenant ID 42 and an empty salt, computed independently with
// Python's uuid.uuid5 over the namespace and the device-ID name.
const std::string kId205 = "e1729268-be74-5d07-9149-9c49ab1e2d12";
const std::string kId206 = "59e077a0-cca2-53b1-9b4f-62bf6eed4a69";
const std::string kIdLowerA = "e7ca7106-6efa-5369-b3a7-cb582eddc4f0";
const std::string kIdUpperA = "ec36e726-720a-5953-8969-1f2a6c49aadd";
const std::string kIdNoTenant205 = "8d575291-798c-5a9c-a7e8-5bb444e7a9a0";

const char kUsage[] =
    "\n"
    "Usage: Quillmark [OPTIONS]\n"
    "\n"
    "Options:\n"
    "  -h [ --help ]                         Display this help.\n"
    "  -i [ --input ] path                   Fix text file to read device "
    "extensions\n"
    "                                        from. Must be one extension per "
    "line.\n"
    "  -o [ --output ] path (=\"Devices.ini\") The INI file to create.\n"
    "  --pp arg                              The PP ID to create the devices "
    "for.\n"
    "  --tenant_id arg                       The tenant ID that the devices "
    "will \n"
    "                                        belong to.\n"
    "  --salt arg                            The device ID salt.\n"
    "  --version                             Display the version.\n"
    "\n";

using Quillmark = QuillmarkRunner;

// A sanitizer reserves more address space than a limit would leave it.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// The listing, or the version, wins over whatever else is on the line.
TEST_F(Quillmark, UsageListingTouchesNothing) {
  Write("list.txt", "205\n");
  const std::string version = "quillmark " QUILLMARK_VERSION "\n";
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--help"},
      {"-h"},
      {"--help", "-i", "list.txt", "--pp", "7"},
      {"-h", "-i", "missing.txt"},
      {"-h", "stray", "words"},
      {"--version", "--help"},
      {"--version"},
      {"--version", "-i", "list.txt", "--pp", "7"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    const Result r = Run(args);
    EXPECT_EQ(0, r.status);
    const bool help = args.empty() ||
                      std::ranges::count(args, "--version") == 0 ||
                      std::ranges::count(args, "--help") != 0;
    EXPECT_EQ(help ? kUsage : version, r.out);
    EXPECT_EQ("", r.err);
    EXPECT_FALSE(Exists("Devices.ini"));
  }
}

TEST_F(Quillmark, OwnChecksFailInOrderBeforeTouchingOutput) {
  Write("list.txt", "205\n");
  fs::create_symlink("loop", At("loop"));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"list.txt"}, "Unexpected argument: 'list.txt'."},
      {{"-i", "list.txt", "--pp", "7", "--tenant_id", "Acme", "Corp", "--salt",
        "my", "secret"},
       "Unexpected argument: 'Corp'."},
      {{"-i", "list.txt", "other.txt", "--pp", "7"},
       "Unexpected argument: 'other.txt'."},
      {{"-i", "list.txt", "--pp", "7", "--", "-o"},
       "Unexpected argument: '-o'."},
      {{"--pp", "7"}, "No input file specified."},
      {{"-i", "\"\"", "--pp", "7"}, "No input file specified."},
      {{"-i", "", "--pp", "7"}, "No input file specified."},
      {{"-i", "missing.txt", "--pp", "7"}, "Input file does not exist."},
      {{"-i", "missing.txt"}, "Input file does not exist."},
      {{"-i", "list.txt/x", "--pp", "7"}, "Input file does not exist."},
      {{"-i", "list.txt"}, "No PP ID specified."},
      {{"-i", "list.txt", "--pp", "0"}, "No PP ID specified."},
      {{"-i", "list.txt", "--pp", "-0"}, "No PP ID specified."},
      // Before the list, a directory here, is read.
      {{"-i", ".", "--pp", "7", "-o", ""},
       "Cannot open output file for writing."},
      {{"-i", "loop", "--pp", "7"},
       "filesystem error: status: Too many levels of symbolic links [loop]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ExpectFailure(c.args, c.message);
  }
  EXPECT_FALSE(Exists("Devices.ini"));
}

TEST_F(Quillmark, FilesThatCannotBeOpened) {
  Write("list.txt", "205\n");
  // Open refuses a socket even for root, who could read any plain file.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socket_path = At("socket").string();
  ASSERT_LT(socket_path.size(), sizeof(address.sun_path));
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(0,
            ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ExpectFailure({"-i", "socket", "--pp", "7"},
                "Cannot open input file for reading.");
  ::close(fd);
  EXPECT_FALSE(Exists("Devices.ini"));

  // A dangling link has no file to check what it leads to against.
  fs::create_symlink("target.ini", At("dangling.ini"));
  for (const char* output : {"no/such/dir.ini", "dangling.ini", "/dev/fd/9"}) {
    SCOPED_TRACE(output);
    ExpectFailure({"-i", "list.txt", "--pp", "7", "-o", output},
                  "Cannot open output file for writing.");
  }
  EXPECT_FALSE(Exists("target.ini"));
  ExpectFailure({"-i", "list.txt", "--pp", "7", "-o", "."},
                "Cannot open output file for writing.");
  EXPECT_FALSE(Exists("no"));
}

TEST_F(Quillmark, OptionLibraryErrorsNameTheOption) {
  Write("list.txt", "205\n");
  Write("my list.txt", "205\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus"}, "unrecognised option '--bogus'"},
      {{"--help", "--bogus"}, "unrecognised option '--bogus'"},
      {{"--bogus", "stray"}, "unrecognised option '--bogus'"},
      {{"-i", "list.txt", "--pp", "65536"},
       "the argument ('65536') for option '--pp' is invalid"},
      {{"-i", "list.txt", "--pp", "7x"},
       "the argument ('7x') for option '--pp' is invalid"},
      {{"-i", "list.txt", "--pp", " 7"},
       "the argument (' 7') for option '--pp' is invalid"},
      {{"-i", "list.txt", "--pp", ""},
       "the argument for option '--pp' is invalid"},
      {{"-i", "list.txt", "--pp="},
       "the argument for option '--pp' should follow immediately after the "
       "equal sign"},
      {{"-i", "list.txt", "--pp", "+"},
       "the argument ('+') for option '--pp' is invalid"},
      {{"-i", "list.txt", "--pp"},
       "the required argument for option '--pp' is missing"},
      {{"-i", "list.txt", "--pp", "1", "--pp", "2"},
       "option '--pp' cannot be specified more than once"},
      {{"-i", "list.txt", "--input", "list.txt", "--pp", "1"},
       "option '--input' cannot be specified more than once"},
      {{"-i", "\"list.txt", "--pp", "1"},
       "the argument ('\"list.txt') for option '--input' is invalid"},
      {{"-i", "list.txt", "--pp", "1", "-o", "\"a.ini\"b"},
       "the argument ('\"a.ini\"b') for option '--output' is invalid"},
      {{"-i", "list.txt", "--pp", "1", "--tenant"},
       "the required argument for option '--tenant_id' is missing"},
      // A value left out takes no option for its value, and is named before
      // any stray word, the listing or the version.
      {{"-i", "list.txt", "--pp", "7", "--tenant_id", "--salt", "-o", "c.ini"},
       "the required argument for option '--tenant_id' is missing"},
      {{"--input", "--pp", "7"},
       "the required argument for option '--input' is missing"},
      {{"--tenant_id", "--salt", "x", "-i", "list.txt", "--pp", "7"},
       "the required argument for option '--tenant_id' is missing"},
      {{"--salt", "-ifoo", "--help"},
       "the required argument for option '--salt' is missing"},
      {{"--tenant", "--vers=x", "--version"},
       "the required argument for option '--tenant_id' is missing"},
      // An empty salt is a separate empty argument, never "--salt=".
      {{"-i", "list.txt", "--pp", "1", "--salt="},
       "the argument for option '--salt' should follow immediately after the "
       "equal sign"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    ExpectFailure(c.args, c.message);
  }
  EXPECT_FALSE(Exists("Devices.ini"));
}

// The loop itself is tested in process (DeviceList_test.cpp); these are the
// options that reach it, and the worked example from end to end.
TEST_F(Quillmark, WritesRecordsWithOptionsApplied) {
  struct Case {
    std::string list;
    std::vector<std::string> args;  // besides "-i list.txt"
    std::string records;
    std::string notices;
    int devices;
  };
  const Case cases[] = {
      {"205\n\n205\n206\n",
       {"--tenant_id", "42", "--pp", "7"},
       Record(kId205, 1, 7, "205") + Record(kId206, 4, 7, "206"),
       "Ignoring duplicate extension: '205'\n",
       2},
      {"a\nA",
       {"--tenant_id", "42", "--pp", "7"},
       Record(kIdLowerA, 1, 7, "a") + Record(kIdUpperA, 2, 7, "A"),
       "",
       2},
      {"205\n",
       {"--tenant_id", "42", "--pp=-1"},
       Record(kId205, 1, 65535, "205"),
       "",
       1},
      {"205\n",
       {"--tenant_id", "42", "--pp", "-1"},
       Record(kId205, 1, 65535, "205"),
       "",
       1},
      {"205\n",
       {"--tenant_id=42", "--pp", "+007"},
       Record(kId205, 1, 7, "205"),
       "",
       1},
      {"205\n",
       {"--tenant_id", "", "--salt", "", "--pp", "7"},
       Record(kIdNoTenant205, 1, 7, "205"),
       "",
       1},
      // Values that merely begin with "-", or are joined on by "=".
      {"205\n",
       {"--tenant_id", "-42", "--salt=--x", "--pp", "7"},
       Record(ReferenceDeviceId("-42", "--x", {{"Extension", "205"}}), 1, 7,
              "205"),
       "",
       1},
  };
  for (const Case& c : cases) {
    Write("list.txt", c.list);
    std::vector<std::string> args{"-i", "list.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(testing::PrintToString(args));
    const Result r = Run(args);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(c.notices + "Wrote " + std::to_string(c.devices) +
                  " devices to \"Devices.ini\"\n",
              r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(c.records, Read("Devices.ini"));
  }
}

TEST_F(Quillmark, PathsAreReadAsQuotedStringsAndSummaryQuotesThem) {
  Write("my list.txt", "205\n");
  const Result r = Run({"-i", "\"my list.txt\"", "-o", "we\"ird\\name.ini",
                        "--tenant_id", "42", "--pp", "7"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("Wrote 1 devices to \"we\\\"ird\\\\name.ini\"\n", r.out);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(Record(kId205, 1, 7, "205"), Read("we\"ird\\name.ini"));

  const Result quoted =
      Run({"-i", "\"my list.txt\"", "--output", "\"out \\\"1\\\".ini\"",
           "--tenant_id", "42", "--pp", "7"});
  EXPECT_EQ(0, quoted.status);
  EXPECT_EQ("Wrote 1 devices to \"out \\\"1\\\".ini\"\n", quoted.out);
  EXPECT_EQ(Record(kId205, 1, 7, "205"), Read("out \"1\".ini"));

  // Without a double quote at its start, a path is taken as it stands.
  const Result plain = Run({"-i", "my list.txt", "--output", "a\\b c.ini",
                            "--tenant_id", "42", "--pp", "7"});
  EXPECT_EQ(0, plain.status);
  EXPECT_EQ("Wrote 1 devices to \"a\\\\b c.ini\"\n", plain.out);
  EXPECT_EQ(Record(kId205, 1, 7, "205"), Read("a\\b c.ini"));
}

TEST_F(Quillmark, EmptyListStillCreatesOutput) {
  Write("list.txt", "");
  Write("Devices.ini", "old content\n");
  const Result r = Run({"-i", "list.txt", "--pp", "7"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("Wrote 0 devices to \"Devices.ini\"\n", r.out);
  EXPECT_TRUE(Exists("Devices.ini"));
  EXPECT_EQ("", Read("Devices.ini"));
}

TEST_F(Quillmark, WriteErrorFailsWithoutSummary) {
  Write("list.txt", "205\n206\n");
  ExpectFailure({"-i", "list.txt", "--pp", "7", "-o", "/dev/full"},
                "Cannot write output file.");
}

// The records are all written; only what the caller would read is lost.
TEST_F(Quillmark, StandardOutputWriteErrorFails) {
  Write("list.txt", "205\n205\n206\n");
  SendStandardOutputTo("/dev/full");
  const std::vector<std::vector<std::string>> cases = {
      {"--help"},
      {"-i", "list.txt", "--pp", "7", "--tenant_id", "42"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    ExpectFailure(args, "Cannot write standard output.");
  }
  EXPECT_EQ(Record(kId205, 1, 7, "205") + Record(kId206, 3, 7, "206"),
            Read("Devices.ini"));
}

// The start of the list is read before the output is opened, so a list that
// cannot be used leaves the output as it was, or not there at all.
TEST_F(Quillmark, UnusableListLeavesOutputUntouched) {
  fs::create_directory(At("lists"));
  // "205\n" in UTF-16, little- and big-endian, after its byte order mark.
  Write("utf16le.txt", std::string("\377\3762\0000\0005\000\n\000", 10));
  Write("utf16be.txt", std::string("\376\377\0002\0000\0005\000\n", 10));
  // A terabyte, mostly sparse, whose start asks for a large seen set.
  Write("huge.txt", std::string(1 << 16, '\n'));
  fs::resize_file(At("huge.txt"), std::uintmax_t{1} << 40);
  struct Case {
    std::string input;
    std::string message;
    long memory = -1;  // bytes of address space
  };
  const Case cases[] = {
      {"lists", "Cannot read input file."},
      {"utf16le.txt", "Input file is UTF-16; save it as UTF-8."},
      {"utf16be.txt", "Input file is UTF-16; save it as UTF-8."},
      {"huge.txt", "Out of memory.", 128L << 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    if (c.memory > 0 && kSanitized) continue;
    Limit(RLIMIT_AS, c.memory);
    ExpectFailure({"-i", c.input, "--pp", "7"}, c.message);
    EXPECT_FALSE(Exists("Devices.ini"));
    Write("kept.ini", "[old]\nId=1\n");
    ExpectFailure({"-i", c.input, "--pp", "7", "-o", "kept.ini"}, c.message);
    EXPECT_EQ("[old]\nId=1\n", Read("kept.ini"));
  }
}

TEST_F(Quillmark, InputAsOutputLeavesListIntact) {
  const std::string list = "205\n206\n";
  Write("list.txt", list);
  fs::create_symlink("list.txt", At("link.txt"));
  fs::create_hard_link(At("list.txt"), At("hard.txt"));
  const std::vector<std::vector<std::string>> cases = {
      {"-i", "list.txt", "-o", "list.txt"},
      {"-i", "list.txt", "-o", "./list.txt"},
      {"-i", "link.txt", "-o", "list.txt"},
      {"-i", "list.txt", "-o", "link.txt"},
      {"-i", "hard.txt", "-o", "list.txt"},
      {"-i", fs::absolute(At("list.txt")).string(), "-o", "list.txt"},
  };
  for (std::vector<std::string> args : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    args.insert(args.end(), {"--pp", "7"});
    ExpectFailure(args, "Input and output are the same file.");
    EXPECT_EQ(list, Read("list.txt"));
  }
  // A FIFO would be fed its own records. The run opens it once a writer
  // does.
  ASSERT_EQ(0, ::mkfifo(At("fifo").c_str(), 0600));
  std::thread feeder([this] { ::close(::open(At("fifo").c_str(), O_WRONLY)); });
  ExpectFailure({"-i", "fifo", "-o", "fifo", "--pp", "7"},
                "Input and output are the same file.");
  feeder.join();
  // Devices are not lost by truncation: one may be both ends of a run.
  const Result r = Run({"-i", "/dev/null", "-o", "/dev/null", "--pp", "7"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("Wrote 0 devices to \"/dev/null\"\n", r.out);
}

// The tool finishes its list when asked to stop. A list from a FIFO may
// have been cut short by the same interrupt, so that run then fails; so
// does a run still waiting to open a FIFO, which nothing else would end.
TEST_F(Quillmark, StopSignalsDoNotEndARun) {
  ASSERT_EQ(0, ::mkfifo(At("list").c_str(), 0600));
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  Write("list.txt", "205\n");
  struct Case {
    std::vector<std::string> args;
    bool fed;  // the list, a line before the interrupts and one after
    std::string message;
  };
  const Case cases[] = {
      {{"-i", "list"}, true, "Interrupted; the list may be incomplete.\n"},
      {{"-i", "list"}, false, "Interrupted while waiting to open a FIFO.\n"},
      {{"-i", "list.txt", "-o", "out"},
       false,
       "Interrupted while waiting to open a FIFO.\n"},
  };
  for (Case c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    Write("Devices.ini", "old\n");
    c.args.insert(c.args.end(), {"--pp", "7", "--tenant_id", "42"});
    const pid_t pid = Start(c.args);
    if (c.fed) {
      // Opening blocks until the tool has opened its end, after its
      // handlers.
      const int fd = ::open(At("list").c_str(), O_WRONLY);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(4, ::write(fd, "205\n", 4));
      EXPECT_EQ(0, ::kill(pid, SIGINT));
      EXPECT_EQ(0, ::kill(pid, SIGTERM));
      ASSERT_EQ(4, ::write(fd, "206\n", 4));
      ::close(fd);
    } else {
      ASSERT_TRUE(BlockedIn(pid, SYS_openat));
      EXPECT_EQ(0, ::kill(pid, SIGINT));
    }
    const Result r = Wait(pid);
    EXPECT_EQ(255, r.status);
    EXPECT_EQ("", r.out);
    // A run still waiting for a FIFO has no list to finish.
    EXPECT_EQ(
        (c.fed ? "Interrupt received; the list is finished first.\n" : "") +
            c.message,
        r.err);
    EXPECT_EQ("old\n", Read("Devices.ini"));
  }
}

// A regular list is whole: a run interrupted while it writes, to a FIFO
// here, ends as it would have.
TEST_F(Quillmark, StopSignalsDoNotCutARegularList) {
  std::string list;
  for (int i = 0; i < 3000; ++i) list += std::to_string(i) + "\n";
  Write("list.txt", list);
  ASSERT_EQ(0, ::mkfifo(At("out").c_str(), 0600));
  const pid_t pid = Start({"-i", "list.txt", "-o", "out", "--pp", "7"});
  const int out = ::open(At("out").c_str(), O_RDONLY);
  ASSERT_GE(out, 0);
  ASSERT_TRUE(BlockedIn(pid, SYS_write));  // the FIFO is full
  EXPECT_EQ(0, ::kill(pid, SIGINT));
  std::string records;
  char buffer[4096];
  for (ssize_t n; (n = ::read(out, buffer, sizeof buffer)) > 0;) {
    records.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out);
  const Result r = Wait(pid);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("Interrupt received; the list is finished first.\n", r.err);
  EXPECT_EQ(3000, std::ranges::count(records, '['));
}

// An output that is the file standard output already is gets the records
// through it, as the shell opened it; the messages then go to standard
// error. One that is standard error is refused.
TEST_F(Quillmark, OutputThatIsAStandardStream) {
  Write("list.txt", "205\n205\n206\n");
  const std::string records =
      Record(kId205, 1, 7, "205") + Record(kId206, 3, 7, "206");
  struct Case {
    std::string output;
    std::string redirect;  // where standard output goes
    int flags;
    std::string before;
    std::string after;
  };
  const Case cases[] = {
      {"/dev/stdout", "out.ini", O_TRUNC, "old\n", records},
      {"/dev/stdout", "old.log", O_APPEND, "old\n", "old\n" + records},
      {"-", "old.log", O_APPEND, "old\n", "old\n" + records},
      {"out.ini", "out.ini", O_TRUNC, "old\n", records},
      {"/proc/self/fd/1", "out.ini", O_TRUNC, "old\n", records},
      {"/dev/fd/1", "old.log", O_APPEND, "old\n", "old\n" + records},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output + " to " + c.redirect);
    Write(c.redirect, c.before);
    SendStandardOutputTo(At(c.redirect), c.flags);
    const Result r = Run(
        {"-i", "list.txt", "--pp", "7", "--tenant_id", "42", "-o", c.output});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Ignoring duplicate extension: '205'\nWrote 2 devices to \"" +
                  c.output + "\"\n",
              r.err);
    EXPECT_EQ(c.after, Read(c.redirect));
  }
  ExpectFailure({"-i", "list.txt", "--pp", "7", "-o", "/dev/stderr"},
                "Output file is also standard error.");
}

}  // namespace
}  // namespace quillmark::test
