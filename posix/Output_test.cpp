#include "posix/Output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "devicelist/DeviceList.h"
#include "devicelist/FillIn.h"
#include "posix/Output.h"
#include "posix/WorkFile.h"
#include "test/fake_io.h"
#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

using OutputFiles = test::QuillmarkRunner;
constexpr std::size_t kNone = std::string::npos;
const uid_t kNobody = 65534;
const Interrupted kNever = [] { return false; };

// Records the calls made through it, by name, and fails the one named
// fail_ with EIO. Writes let `limit_` bytes through, at most `piece_` bytes
// a call, then fail: once if `transient_`, or from then on. hook_ runs once,
// just before the first call named hook_call_.
class FaultyPosix : public Posix {
 public:
  std::vector<std::string> calls_;
  std::string fail_;
  std::size_t limit_ = kNone;
  std::size_t piece_ = kNone;
  bool transient_ = false;
  std::string hook_call_;
  std::function<void()> hook_;

  ssize_t Write(int fd, const char* data, std::size_t size) override {
    if (Failed("write")) return -1;
    if (passed_ >= limit_ && !failed_once_) {
      failed_once_ = transient_;
      errno = EIO;
      return -1;
    }
    std::size_t allowed = std::min(size, piece_);
    if (!failed_once_) allowed = std::min(allowed, limit_ - passed_);
    const ssize_t n = Posix::Write(fd, data, allowed);
    if (n > 0) passed_ += static_cast<std::size_t>(n);
    return n;
  }
  int Sync(int fd) override { return Failed("sync") ? -1 : Posix::Sync(fd); }
  int Close(int fd) override {
    if (Failed("close")) {
      Posix::Close(fd);
      errno = EIO;
      return -1;
    }
    return Posix::Close(fd);
  }
  int Lock(int fd) override { return Failed("lock") ? -1 : Posix::Lock(fd); }
  int Rename(int folder, const char* from, const char* to) override {
    return Failed("rename") ? -1 : Posix::Rename(folder, from, to);
  }

 private:
  bool Failed(const char* call) {
    if (hook_ && hook_call_ == call) std::exchange(hook_, nullptr)();
    calls_.emplace_back(call);
    if (fail_ != call) return false;
    errno = EIO;
    return true;
  }
  std::size_t passed_ = 0;
  bool failed_once_ = false;
};

const char* const kWays[] = {"replace", "in place", "at offset", "each record"};

// Writes `records` to the output at `path` as a run does; returns the way it
// was written, or the message of the failure.
std::string WriteOutput(const fs::path& path,
                        const std::vector<std::string>& records,
                        Posix& posix = Posix::Default(),
                        const struct stat* list = nullptr) {
  try {
    Output output(PlanOutput(path, list), list, kNever, posix);
    for (const std::string& record : records) output.Append(record);
    output.Commit();
    return kWays[output.plan().way];
  } catch (const std::exception& e) {
    return e.what();
  }
}

// Every file in `folder`, with its kind and its content or link target.
std::string Snapshot(const fs::path& folder) {
  std::vector<std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    const fs::path& p = entry.path();
    std::string file = p.filename().string() + ":";
    if (entry.is_symlink()) {
      file += "link to " + fs::read_symlink(p).string();
    } else if (entry.is_regular_file()) {
      file += std::to_string(fs::hard_link_count(p)) + " " + test::ReadFile(p);
    } else {
      file += std::to_string(static_cast<int>(entry.status().type()));
    }
    files.push_back(file);
  }
  std::ranges::sort(files);
  std::string all;
  for (const std::string& file : files) all += file + "\n";
  return all;
}

// Written to a regular file, whole units or none: the file is cut back to
// the last whole one, and the one that failed is never written again.
TEST_F(OutputFiles, FileSinkKeepsWholeUnitsOnly) {
  const std::vector<std::string> records = {
      "[first]\nId=1\n", "[second]\nId=2\n", "[third]\nId=3\n"};
  const std::string& first = records[0];
  const std::string two = first + records[1];
  const std::string all = two + records[2];
  struct Case {
    std::string name;
    std::size_t limit;
    bool transient;
    std::size_t piece;
    std::string file;
  };
  const Case cases[] = {
      {"fails in the first record", 5, false, kNone, "old\n"},
      {"fails in a later record", first.size() + 5, false, kNone,
       "old\n" + first},
      {"fails once in a later record", first.size() + 5, true, kNone,
       "old\n" + first},
      {"fails at a record's end", two.size(), false, kNone, "old\n" + two},
      {"fails once after short writes", first.size() + 5, true, 3,
       "old\n" + first},
      {"short writes are continued", kNone, false, 3, "old\n" + all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("out.ini", "old\n");
    const Fd fd(::open(At("out.ini").c_str(), O_WRONLY | O_APPEND));
    FaultyPosix posix;
    posix.limit_ = c.limit;
    posix.transient_ = c.transient;
    posix.piece_ = c.piece;
    FileSink sink(posix, fd.get(), true);
    std::size_t appended = 0;
    try {
      for (const std::string& record : records) {
        sink.Append(record);
        ++appended;
      }
    } catch (const std::system_error&) {
      EXPECT_THROW(sink.Append(records[0]), std::system_error);
    }
    EXPECT_EQ(c.file == "old\n" + all ? 3u : appended, appended);
    EXPECT_EQ(c.file, Read("out.ini"));
  }
}

// Each way writes every record once, in order: in place, one write() per
// record as it is made; replaced, in blocks; a regular file written in
// place, in blocks to the spool and again to the file. The last call syncs
// the file, or, once it is renamed, its folder.
TEST_F(OutputFiles, WritesEveryRecordOnceInItsWay) {
  std::vector<std::string> many;  // several MiB, blocks of it
  for (int i = 0; many.size() < 60'000; ++i) {
    many.push_back("[" + std::to_string(i) + "]\n" + std::string(80, 'x'));
  }
  Write("linked.ini", "old\n");
  fs::create_hard_link(At("linked.ini"), At("second.ini"));
  struct Case {
    std::string output;
    std::vector<std::string> records;
    std::string way;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"/dev/null",
       {"[a]\n", "[b]\n", "[c]\n"},
       "each record",
       {"write", "write", "write", "sync", "close"}},
      {"new.ini",
       {"[a]\n", "[b]\n", "[c]\n"},
       "replace",
       {"lock", "write", "sync", "close", "rename", "sync"}},
      {"linked.ini",
       {"[a]\n", "[b]\n", "[c]\n"},
       "in place",
       {"lock", "lock", "write", "sync", "close"}},
      {"big.ini", many, "replace", {}},
      {std::string(255, 'x'), {"[a]\n"}, "replace", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.output);
    FaultyPosix posix;
    EXPECT_EQ(c.way, WriteOutput(At(c.output), c.records, posix));
    if (!c.calls.empty()) {
      EXPECT_EQ(c.calls, posix.calls_);
    }
    std::string all;
    for (const std::string& record : c.records) all += record;
    if (c.output != "/dev/null") {
      EXPECT_EQ(all, Read(c.output));
    }
  }
  EXPECT_EQ(Read("linked.ini"), Read("second.ini"));
}

class OutOfMemory : public IDeviceIdGenerator {
 public:
  boost::uuids::uuid GenerateDeviceId(const Dictionary&) const override {
    throw std::bad_alloc();
  }
};

// A run that fails leaves an output as it was, replaced or written in
// place, and no output if there was none; nothing is left beside it. What
// failed arrives as it was thrown, with the errno of a failed call.
TEST_F(OutputFiles, FailedRunLeavesTheOutputAsItWas) {
  enum Fault { kNoFault, kRead, kMemory, kInPlace, kPipe };
  struct Case {
    std::string name;
    std::string list;
    Fault fault;
    std::string failed_call;
    std::string message;
  };
  const Case cases[] = {
      {"no failure", "205\n", kNoFault, "", ""},
      {"control byte on line 1", "2\t05\n", kNoFault, "",
       "Line 1: extension holds control character 0x09."},
      {"control byte on a later line", "205\n2\t06\n", kNoFault, "",
       "Line 2: extension holds control character 0x09."},
      {"control byte, in place", "205\n2\t06\n", kInPlace, "",
       "Line 2: extension holds control character 0x09."},
      {"failed sync, in place", "205\n", kInPlace, "sync",
       "Cannot write output file."},
      {"failed sync, to a pipe", "205\n", kPipe, "sync",
       "Cannot write output file."},
      {"read error", "205\n", kRead, "", "read failed"},
      {"failed final write", "205\n", kNoFault, "write",
       "Cannot write output file."},
      {"failed sync", "205\n", kNoFault, "sync", "Cannot write output file."},
      {"failed close", "205\n", kNoFault, "close", "Cannot write output file."},
      {"failed rename", "205\n", kNoFault, "rename",
       "Cannot write output file."},
      {"out of memory", "205\n", kMemory, "", "std::bad_alloc"},
  };
  const DeviceIdGenerator generator("42", "");
  const OutOfMemory out_of_memory;
  const std::string record = test::Record(
      test::ReferenceDeviceId("42", "", {{"Extension", "205"}}), 1, 7, "205");
  for (const bool existed : {true, false}) {
    for (const Case& c : cases) {
      if ((c.fault == kInPlace || c.fault == kPipe) && !existed) continue;
      SCOPED_TRACE(c.name + (existed ? ", output existed" : ", new output"));
      const fs::path folder = At(c.name + (existed ? " 1" : " 0"));
      fs::create_directory(folder);
      if (existed) test::WriteFile(folder / "Devices.ini", "old\n");
      if (c.fault == kInPlace) {
        fs::create_hard_link(folder / "Devices.ini", folder / "second.ini");
      }
      int pipe[2] = {-1, -1};
      if (c.fault == kPipe) {
        ASSERT_EQ(0, ::pipe2(pipe, O_CLOEXEC | O_NONBLOCK));
      }
      const Fd reader(pipe[0]);
      const Fd writer(pipe[1]);
      std::string message;
      int error = 0;
      {
        FaultyPosix posix;
        posix.fail_ = c.failed_call;
        Output ini(
            PlanOutput(c.fault == kPipe
                           ? fs::path("/dev/fd/" + std::to_string(pipe[1]))
                           : folder / "Devices.ini",
                       nullptr),
            nullptr, kNever, posix);
        EXPECT_EQ(c.fault == kInPlace ? OutputPlan::kInPlace
                  : c.fault == kPipe  ? OutputPlan::kEachRecord
                                      : OutputPlan::kReplace,
                  ini.plan().way);
        test::FakeSource source(c.list);
        source.force_error_ = c.fault == kRead;
        const IDeviceIdGenerator& ids =
            c.fault == kMemory
                ? static_cast<const IDeviceIdGenerator&>(out_of_memory)
                : generator;
        std::ostringstream notices;
        try {
          WriteDeviceList(source, ini, notices, ids, 7);
          ini.Commit();
        } catch (const std::system_error& e) {
          message = e.what();
          error = e.code().value();
        } catch (const std::exception& e) {
          message = e.what();
        }
      }
      const bool failed = !c.message.empty();
      EXPECT_EQ(c.message, message);
      EXPECT_EQ(c.failed_call.empty() ? 0 : EIO, error);
      EXPECT_EQ((existed || !failed ? 1 : 0) + (c.fault == kInPlace ? 1 : 0),
                std::distance(fs::directory_iterator(folder), {}));
      // Filled in place before the sync failed, it has the records.
      const bool written =
          !failed || (c.fault == kInPlace && c.failed_call == "sync");
      EXPECT_EQ(written   ? record
                : existed ? "old\n"
                          : "",
                test::ReadFile(folder / "Devices.ini"));
      if (c.fault == kPipe) {
        std::string piped(record.size() + 1, '\0');
        piped.resize(static_cast<std::size_t>(std::max<ssize_t>(
            ::read(reader.get(), piped.data(), piped.size()), 0)));
        EXPECT_EQ(record, piped);
      }
    }
  }
}

// Whatever stands at the work path, the run never writes, truncates,
// chowns, renames or removes it, unless it is a leftover of this user's that
// no run holds, which is removed. The rest of the folder stays as it was.
TEST_F(OutputFiles, WorkPathIsThisRunsOwn) {
  const std::string work = ".Devices.ini.quillmark-new";
  using Setup = std::function<void(const fs::path& folder)>;
  struct Case {
    std::string name;
    Setup setup;
    std::string result;
  };
  int held = -1;
  const Case cases[] = {
      {"nothing", [](const fs::path&) {}, "replace"},
      {"a leftover longer than the output",
       [&](const fs::path& f) {
         test::WriteFile(f / work, std::string(5000, 'L'));
       },
       "replace"},
      {"a leftover that another run holds",
       [&](const fs::path& f) {
         test::WriteFile(f / work, "held\n");
         held = ::open((f / work).c_str(), O_WRONLY);
         Posix::Default().Lock(held);
       },
       "Output file is in use by another run."},
      {"nothing, and a reader's flock on the output",
       [&](const fs::path& f) {
         held = ::open((f / "Devices.ini").c_str(), O_RDONLY);
         ::flock(held, LOCK_SH);
       },
       "replace"},
      {"a hard link",
       [&](const fs::path& f) {
         test::WriteFile(f / "secret.conf", "secret\n");
         fs::create_hard_link(f / "secret.conf", f / work);
       },
       "Cannot open output file for writing."},
      {"a symbolic link",
       [&](const fs::path& f) {
         test::WriteFile(f / "victim.conf", "victim\n");
         fs::create_symlink("victim.conf", f / work);
       },
       "Cannot open output file for writing."},
      {"a FIFO", [&](const fs::path& f) { ::mkfifo((f / work).c_str(), 0600); },
       "Cannot open output file for writing."},
      {"a folder", [&](const fs::path& f) { fs::create_directory(f / work); },
       "Cannot open output file for writing."},
      {"the list itself",
       [&](const fs::path& f) { test::WriteFile(f / work, "205\n"); },
       "Input and output are the same file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = At(c.name);
    fs::create_directory(folder);
    test::WriteFile(folder / "Devices.ini", "old\n");
    c.setup(folder);
    struct stat list;
    const bool is_list = c.name == "the list itself";
    if (is_list) ::stat((folder / work).c_str(), &list);
    const std::string before = Snapshot(folder);
    EXPECT_EQ(c.result,
              WriteOutput(folder / "Devices.ini", {"[new]\n"}, Posix::Default(),
                          is_list ? &list : nullptr));
    if (c.result == "replace") {
      EXPECT_EQ("Devices.ini:1 [new]\n\n", Snapshot(folder));
    } else {
      EXPECT_EQ(before, Snapshot(folder));
    }
    if (held >= 0) ::close(std::exchange(held, -1));
  }
  // Another user may move the work file away and put a file in its place:
  // before the lock, it is made anew; before the rename, the run fails and
  // leaves both where they are. A new output that another run makes and
  // holds meanwhile is left to it.
  struct Move {
    std::string name;
    std::string call;
    bool existed;
    std::function<void(const fs::path&)> hook;
    std::string result;
    std::string folder;
  };
  const auto move_away = [&](const fs::path& f) {
    fs::rename(f / work, f / "moved");
    if (fs::exists(f / "Devices.ini")) test::WriteFile(f / work, "forged\n");
  };
  const Move moves[] = {
      {"moved before the lock", "lock", false, move_away, "replace",
       "Devices.ini:1 [new]\n\nmoved:1 \n"},
      {"moved before the close", "close", true, move_away,
       "Cannot write output file.",
       ".Devices.ini.quillmark-new:1 forged\n\nDevices.ini:1 old\n\nmoved:1 "
       "[new]\n\n"},
      {"made and held before the commit", "write", false,
       [&](const fs::path& f) {
         test::WriteFile(f / "Devices.ini", "other\n");
         held = ::open((f / "Devices.ini").c_str(), O_WRONLY);
         Posix::Default().Lock(held);
       },
       "Output file is in use by another run.", "Devices.ini:1 other\n\n"},
  };
  for (const Move& m : moves) {
    SCOPED_TRACE(m.name);
    const fs::path folder = At(m.name);
    fs::create_directory(folder);
    if (m.existed) test::WriteFile(folder / "Devices.ini", "old\n");
    FaultyPosix posix;
    posix.hook_call_ = m.call;
    posix.hook_ = [&] { m.hook(folder); };
    EXPECT_EQ(m.result,
              WriteOutput(folder / "Devices.ini", {"[new]\n"}, posix));
    EXPECT_EQ(m.folder, Snapshot(folder));
    if (held >= 0) ::close(std::exchange(held, -1));
  }
}

// Another user's file at the work path is never written, chowned or removed.
TEST_F(OutputFiles, AnotherUsersFileAtTheWorkPathIsLeftAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const fs::path work = At(".Devices.ini.quillmark-new");
  Write("Devices.ini", "old\n");
  test::WriteFile(work, "planted\n");
  fs::permissions(work, fs::perms(0666));
  ASSERT_EQ(0, ::chown(work.c_str(), kNobody, kNobody));
  const std::string before = Snapshot(At(""));
  EXPECT_EQ("Cannot open output file for writing.",
            WriteOutput(At("Devices.ini"), {"[new]\n"}));
  EXPECT_EQ(before, Snapshot(At("")));
}

// A work name fits in a file name, also beside the longest output name, and
// two long names never share one.
TEST(WorkName, FitsAndKeepsLongNamesApart) {
  const std::string longest(255, 'x');
  EXPECT_EQ("." + std::string(240, 'x') + ".quillmark-new",
            WorkName(std::string(240, 'x')));
  for (const std::string& name : {std::string(241, 'x'), longest}) {
    SCOPED_TRACE(name.size());
    EXPECT_LE(WorkName(name).size(), 255u);
    EXPECT_TRUE(WorkName(name).starts_with("." + std::string(200, 'x')));
  }
  EXPECT_NE(WorkName(longest), WorkName(std::string(254, 'x') + "y"));
}

// u::rw-,u:12345:rw-,g::r--,m::rw-,o::r-- as the kernel stores it.
const std::uint32_t kAcl[] = {2,   0x60001, ~0u, 0x60002, 12345, 0x40004,
                              ~0u, 0x60010, ~0u, 0x40020, ~0u};

using Setup = std::function<bool(const fs::path&)>;
struct ReplaceCase {
  std::string name;
  int folder_mode;
  int file_mode;  // of the old output; 0 for none
  uid_t owner;
  bool as_nobody;
  Setup more;
  std::string result;  // the way it is written, or the message
  mode_t umask = 022;
};
void PrintTo(const ReplaceCase& c, std::ostream* out) { *out << c.name; }
const Setup kNothing = [](const fs::path&) { return true; };
Setup Attribute(const char* name, const void* value, std::size_t size) {
  return [=](const fs::path& p) {
    return ::setxattr(p.c_str(), name, value, size, 0) == 0;
  };
}
const ReplaceCase kReplaceCases[] = {
    {"a link to a plain file", 0755, 0644, 0, false,
     [](const fs::path& p) {
       fs::rename(p, p.parent_path() / "target.ini");
       fs::create_symlink("target.ini", p);
       return true;
     },
     "replace"},
    {"set-ID and sticky bits, another owner", 0755, 07640, 4321, false,
     kNothing, "replace"},
    {"a new output under umask 027", 0755, 0, 0, false, kNothing, "replace",
     027},
    {"a new output, default ACL", 0755, 0, 0, false,
     [](const fs::path& p) {
       return ::setxattr(p.parent_path().c_str(), "system.posix_acl_default",
                         kAcl, sizeof kAcl, 0) == 0;
     },
     "replace", 077},
    {"a POSIX ACL", 0755, 0644, 0, false,
     Attribute("system.posix_acl_access", kAcl, sizeof kAcl), "replace"},
    {"a user attribute", 0755, 0644, 0, false, Attribute("user.origin", "x", 1),
     "replace"},
    {"two names", 0755, 0644, 0, false,
     [](const fs::path& p) {
       fs::create_hard_link(p, p.parent_path() / "second.ini");
       return true;
     },
     "in place"},
    {"a mount point", 0755, 0644, 0, false,
     [](const fs::path& p) {
       test::WriteFile(p.parent_path() / "over.ini", "old\n");
       return ::unshare(CLONE_NEWNS) == 0 &&
              ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ==
                  0 &&
              ::mount((p.parent_path() / "over.ini").c_str(), p.c_str(),
                      nullptr, MS_BIND, nullptr) == 0;
     },
     "in place"},
    {"an owner the user may not set", 0777, 0666, 0, true, kNothing,
     "in place"},
    {"a sticky folder", 01777, 0666, 0, true, kNothing, "in place"},
    {"another user's file in a sticky folder", 01777, 0666, kNobody, false,
     kNothing, "Cannot open output file for writing."},
    {"a new output in a folder that may not be read", 01733, 0, 0, true,
     kNothing, "replace"},
    {"a link the kernel will not follow", 01777, 0644, 0, false,
     [](const fs::path& p) {
       // fs.protected_symlinks, where it is on: nobody's link in a sticky
       // folder, which root does not follow.
       fs::rename(p, p.parent_path() / "victim.ini");
       fs::create_symlink("victim.ini", p);
       return test::ReadFile("/proc/sys/fs/protected_symlinks") == "1\n" &&
              ::lchown(p.c_str(), kNobody, kNobody) == 0;
     },
     "Cannot open output file for writing."},
    {"a leftover that the user may not remove", 01777, 0666, 0, true,
     [](const fs::path& p) {
       test::WriteFile(p.parent_path() / ".out.ini.quillmark-new", "");
       fs::permissions(p.parent_path() / ".out.ini.quillmark-new",
                       fs::perms(0666));
       return true;
     },
     "Cannot remove 'PATH', left by another run; remove it once that run "
     "has ended."},
    {"no room for a work file", 0555, 0666, kNobody, true, kNothing,
     "in place"},
    {"a file system with no free inode", 0755, 0644, 0, false,
     [](const fs::path& p) {
       const fs::path folder = p.parent_path();
       if (::unshare(CLONE_NEWNS) != 0 ||
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
           ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "nr_inodes=8") != 0) {
         return false;
       }
       test::WriteFile(p, "old\n");
       for (int i = 0; ::close(::open((folder / std::to_string(i)).c_str(),
                                      O_WRONLY | O_CREAT, 0644)) == 0;
            ++i) {
       }
       return true;
     },
     "Cannot write output file."},
    {"a file the user may not write", 0777, 0444, kNobody, true, kNothing,
     "Cannot open output file for writing."},
};

// A replacement keeps all the old output has but its content; a new output
// gets what open(2) with O_CREAT and 0666 would give it there. Where a new
// file could not keep it all, the output is written in place; one that the
// user may not write is refused, not replaced.
class ReplacedOnlyWhereNothingIsLost
    : public OutputFiles,
      public testing::WithParamInterface<ReplaceCase> {};

TEST_P(ReplacedOnlyWhereNothingIsLost, KeepsAllButTheContent) {
  const ReplaceCase& c = GetParam();
  // Another user, or one's file, needs root; owner 0 is the user's own.
  if ((c.as_nobody || c.owner != 0) && ::geteuid() != 0) {
    GTEST_SKIP() << "needs root";
  }
  // Another user must reach the folders.
  fs::permissions(At("").parent_path().parent_path(), fs::perms::others_exec,
                  fs::perm_options::add);
  const fs::path path = At(c.name) / "out.ini";
  fs::create_directory(path.parent_path());
  if (c.file_mode != 0) {
    test::WriteFile(path, "old\n");
    fs::permissions(path, static_cast<fs::perms>(c.file_mode));
  }
  const uid_t owner = c.owner != 0 ? c.owner : ::geteuid();
  if ((c.file_mode != 0 && ::chown(path.c_str(), owner, owner) != 0) ||
      ((c.file_mode & 06000) != 0 &&  // chown clears them
       ::chmod(path.c_str(), static_cast<mode_t>(c.file_mode)) != 0) ||
      !c.more(path)) {
    GTEST_SKIP() << "cannot set this up here: no mount, attribute or setting";
  }
  const bool link = fs::is_symlink(fs::symlink_status(path));
  const fs::path real = fs::weakly_canonical(path);  // where a link leads
  fs::permissions(path.parent_path(), static_cast<fs::perms>(c.folder_mode));
  // What the output has besides its content: as before, or as a new file
  // made there would have it.
  const auto kept = [](const fs::path& p) {
    struct stat status {};
    ::stat(p.c_str(), &status);
    char acl[256] = {};
    const ssize_t n =
        ::getxattr(p.c_str(), "system.posix_acl_access", acl, sizeof acl);
    char origin[8] = {};
    ::getxattr(p.c_str(), "user.origin", origin, sizeof origin);
    return std::to_string(status.st_mode) + " " +
           std::to_string(status.st_uid) + " " + std::to_string(status.st_gid) +
           " " + std::string(acl, n > 0 ? static_cast<std::size_t>(n) : 0) +
           origin;
  };
  const mode_t umask = ::umask(c.umask);
  if (c.as_nobody) {
    ASSERT_EQ(0, ::setegid(kNobody));
    ASSERT_EQ(0, ::seteuid(kNobody));
  }
  std::string expected = kept(real);
  if (c.file_mode == 0) {
    const fs::path made = path.parent_path() / "made.ini";
    ::close(::open(made.c_str(), O_WRONLY | O_CREAT, 0666));
    expected = kept(made);
    fs::remove(made);
  }
  const std::string result = WriteOutput(path, {"[new]\n"});
  if (c.as_nobody) {
    ASSERT_EQ(0, ::seteuid(0));
    ASSERT_EQ(0, ::setegid(0));
  }
  ::umask(umask);
  EXPECT_EQ(FillIn(c.result, "PATH",
                   (path.parent_path() / ".out.ini.quillmark-new").string()),
            result);
  EXPECT_EQ(c.result.starts_with("Cannot") ? "old\n" : "[new]\n",
            test::ReadFile(real));
  EXPECT_EQ(expected, kept(real));
  EXPECT_EQ(c.result.starts_with("Cannot remove"),
            Exists(c.name + "/.out.ini.quillmark-new"));
  ::umount2(path.c_str(), MNT_DETACH);
  ::umount2(path.parent_path().c_str(), MNT_DETACH);
  EXPECT_EQ(link, fs::is_symlink(fs::symlink_status(path)));
}

INSTANTIATE_TEST_SUITE_P(OutputFiles, ReplacedOnlyWhereNothingIsLost,
                         testing::ValuesIn(kReplaceCases),
                         [](const testing::TestParamInfo<ReplaceCase>& info) {
                           std::string name = info.param.name;
                           std::ranges::replace_if(
                               name,
                               [](char c) { return std::isalnum(c) == 0; },
                               '_');
                           return name;
                         });

// What the plan found must still be there when it is opened: a FIFO, a
// device or a link's target swapped meanwhile refuses the run.
TEST_F(OutputFiles, SwappedAfterThePlanIsRefused) {
  using Swap = std::function<void()>;
  struct Case {
    std::string name;
    std::string output;
    Swap before;
    Swap swap;
  };
  const Case cases[] = {
      {"a device", "device",
       [&] { fs::create_symlink("/dev/null", At("device")); },
       [&] {
         fs::remove(At("device"));
         fs::create_symlink("/dev/zero", At("device"));
       }},
      {"a FIFO", "fifo", [&] { ::mkfifo(At("fifo").c_str(), 0600); },
       [&] {
         Write("file", "old\n");
         fs::rename(At("file"), At("fifo"));
       }},
      {"a link's target", "link.ini",
       [&] {
         Write("target.ini", "old\n");
         fs::create_symlink("target.ini", At("link.ini"));
       },
       [&] {
         Write("other.ini", "old\n");
         fs::rename(At("other.ini"), At("target.ini"));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.before();
    OutputPlan plan = PlanOutput(At(c.output), nullptr);
    c.swap();
    std::string message;
    try {
      Output(std::move(plan), nullptr, kNever);
    } catch (const std::exception& e) {
      message = e.what();
    }
    EXPECT_EQ("Cannot open output file for writing.", message);
    if (c.output != "device") {
      EXPECT_EQ("old\n", Read(c.output));
    }
  }
}

// Standard error is told apart first: an output that both standard streams
// go to (`-o out.ini > out.ini 2>&1`) would get the messages too.
TEST_F(OutputFiles, StandardErrorIsRefusedBeforeStandardOutputIsTaken) {
  Write("out.ini", "old\n");
  std::fflush(stdout);
  const Fd out(::dup(STDOUT_FILENO));
  const Fd err(::dup(STDERR_FILENO));
  const Fd file(::open(At("out.ini").c_str(), O_WRONLY | O_APPEND));
  ::dup2(file.get(), STDOUT_FILENO);
  ::dup2(file.get(), STDERR_FILENO);
  const std::string result = WriteOutput(At("out.ini"), {"[new]\n"});
  ::dup2(out.get(), STDOUT_FILENO);
  ::dup2(err.get(), STDERR_FILENO);
  EXPECT_EQ("Output file is also standard error.", result);
  EXPECT_EQ("old\n", Read("out.ini"));
}

// Two file systems may hold the same inode number; a list on one is not
// the output on the other.
TEST_F(OutputFiles, SameInodeOnAnotherFileSystemIsAnotherFile) {
  fs::create_directory(At("a"));
  fs::create_directory(At("b"));
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", At("a").c_str(), "tmpfs", 0, nullptr) != 0 ||
      ::mount("tmpfs", At("b").c_str(), "tmpfs", 0, nullptr) != 0) {
    GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  Write("a/list.txt", "205\n");
  Write("b/out.ini", "old\n");
  struct stat list {};
  struct stat out {};
  ::stat(At("a/list.txt").c_str(), &list);
  ::stat(At("b/out.ini").c_str(), &out);
  const std::string result =
      WriteOutput(At("b/out.ini"), {"[new]\n"}, Posix::Default(), &list);
  ::umount2(At("a").c_str(), MNT_DETACH);
  ::umount2(At("b").c_str(), MNT_DETACH);
  if (list.st_ino != out.st_ino) GTEST_SKIP() << "no shared inode number";
  EXPECT_EQ("replace", result);
}

}  // namespace
}  // namespace quillmark
