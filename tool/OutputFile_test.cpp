#include "tool/OutputFile.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "test/fake_io.h"
#include "test/quillmark_runner.h"
#include "test/reference_device_id.h"
#include "tool/Run.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

using Output = test::QuillmarkRunner;
constexpr std::size_t kNone = std::string::npos;

// Lets `limit` bytes through, a piece of at most `piece` bytes per write(),
// then fails with EIO: once if `transient`, or from then on. With
// fail_rename_, the rename fails too.
class FaultyOutputFile : public OutputFile {
 public:
  FaultyOutputFile(std::size_t limit, bool transient, std::size_t piece)
      : limit_(limit), transient_(transient), piece_(piece) {}
  int writes() const { return writes_; }
  bool fail_rename_ = false;

 protected:
  int Rename(const char* from, const char* to) override {
    errno = EIO;
    return fail_rename_ ? -1 : OutputFile::Rename(from, to);
  }
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

// Written in place, a file whose writes fail holds whole records only, and
// the record that failed is never written again.
TEST_F(Output, InPlaceKeepsWholeRecordsOnly) {
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
      {"fails in the first record", 5, false, kNone, ""},
      {"fails in a later record", first.size() + 5, false, kNone, first},
      {"fails once in a later record", first.size() + 5, true, kNone, first},
      {"fails at a record's end", two.size(), false, kNone, two},
      {"fails once after short writes", first.size() + 5, true, 3, first},
      {"short writes are continued", kNone, false, 3, all},
  };
  // A second name keeps it from being replaced.
  Write("out.ini", "old\n");
  fs::create_hard_link(At("out.ini"), At("second name.ini"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FaultyOutputFile ini(c.limit, c.transient, c.piece);
    ini.Open(At("out.ini"));
    ASSERT_EQ(OutputFile::kInPlace, ini.way());
    std::size_t appended = 0;
    try {
      for (const std::string& record : records) {
        ini.Append(record);
        ++appended;
      }
      ini.Commit();
    } catch (const std::system_error&) {
      // Every record after a failed one is refused.
      EXPECT_THROW(ini.Append(records[0]), std::system_error);
    }
    EXPECT_EQ(c.file == all ? 3u : appended, appended);
    EXPECT_EQ(c.file, Read("out.ini"));
  }
}

// In place, each record reaches the file with one write() as soon as it is
// appended; a replacement is written in blocks.
TEST_F(Output, WritesPerRecordInPlaceOnly) {
  for (const char* name : {"/dev/null", "new.ini"}) {
    SCOPED_TRACE(name);
    FaultyOutputFile ini(kNone, false, kNone);
    ini.Open(At(name));
    for (const char* record : {"[a]\n", "[b]\n", "[c]\n"}) ini.Append(record);
    ini.Commit();
    EXPECT_EQ(ini.way() == OutputFile::kInPlace ? 3 : 1, ini.writes());
  }
  EXPECT_EQ("[a]\n[b]\n[c]\n", Read("new.ini"));
}

class OutOfMemory : public IDeviceIdGenerator {
 public:
  boost::uuids::uuid GenerateDeviceId(const Dictionary&) const override {
    throw std::bad_alloc();
  }
};

// What the tool would print for `failure`.
std::string Printed(const std::exception& failure) {
  int fds[2];
  if (::pipe(fds) != 0) return "no pipe";
  PrintFailure(failure, fds[1]);
  ::close(fds[1]);
  char text[256];
  const ssize_t n = ::read(fds[0], text, sizeof text);
  ::close(fds[0]);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// A run that fails leaves an output as it was, and no output if there was
// none; nothing is left beside it.
TEST_F(Output, FailedRunLeavesTheOutputAsItWas) {
  enum Fault { kNoFault, kRead, kWrite, kRename, kMemory, kPiped, kRegular };
  struct Case {
    std::string name;
    std::string list;
    Fault fault;
    std::string message;
  };
  const Case cases[] = {
      {"no failure", "205\n", kNoFault, ""},
      {"interrupt on a regular list", "205\n", kRegular, ""},
      {"control byte on line 1", "2\t05\n", kNoFault,
       "Line 1: extension holds control character 0x09."},
      {"control byte on a later line", "205\n2\t06\n", kNoFault,
       "Line 2: extension holds control character 0x09."},
      {"read error", "205\n", kRead, "Cannot read input file."},
      {"failed final write", "205\n", kWrite, "Cannot write output file."},
      {"failed rename", "205\n", kRename, "Cannot write output file."},
      {"out of memory", "205\n", kMemory, "Out of memory."},
      {"interrupt on a piped list", "205\n", kPiped,
       "Interrupted; the list may be incomplete."},
  };
  const DeviceIdGenerator generator("42", "");
  const OutOfMemory out_of_memory;
  const std::string record = test::Record(
      test::ReferenceDeviceId("42", "", {{"Extension", "205"}}), 1, 7, "205");
  for (const bool existed : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name + (existed ? ", output existed" : ", new output"));
      const fs::path folder = At(c.name + (existed ? " 1" : " 0"));
      fs::create_directory(folder);
      if (existed) test::WriteFile(folder / "Devices.ini", "old\n");
      std::string message;
      {
        FaultyOutputFile ini(c.fault == kWrite ? 0 : kNone, false, kNone);
        ini.fail_rename_ = c.fault == kRename;
        ini.Open(folder / "Devices.ini");
        EXPECT_EQ(OutputFile::kReplace, ini.way());
        test::FakeSource source(c.list);
        source.force_error_ = c.fault == kRead;
        LineReader list(source);
        Interrupts interrupts;
        if (c.fault == kPiped || c.fault == kRegular) interrupts.Note();
        const IDeviceIdGenerator& ids =
            c.fault == kMemory
                ? static_cast<const IDeviceIdGenerator&>(out_of_memory)
                : generator;
        std::ostringstream notices;
        try {
          MakeIni(list, c.fault == kRegular, ini, notices, ids, 7, interrupts);
        } catch (const std::exception& e) {
          message = Printed(e);
        }
      }
      const bool failed = !c.message.empty();
      EXPECT_EQ(failed ? c.message + "\n" : "", message);
      EXPECT_EQ(existed || !failed ? 1 : 0,
                std::distance(fs::directory_iterator(folder), {}));
      EXPECT_EQ(!failed   ? record
                : existed ? "old\n"
                          : "",
                test::ReadFile(folder / "Devices.ini"));
    }
  }
}

// Where a new file could not keep what the output has, or cannot be made,
// the output is written in place; one that the user may not write is
// refused, not replaced. Rows that this machine or user cannot set up are
// skipped.
TEST_F(Output, ReplacedOnlyWhereNothingIsLost) {
  // u::rw-,u:12345:rw-,g::r--,m::rw-,o::r-- as the kernel stores it.
  static const std::uint32_t kAcl[] = {2,     0x60001, ~0u, 0x60002,
                                       12345, 0x40004, ~0u, 0x60010,
                                       ~0u,   0x40020, ~0u};
  const uid_t kNobody = 65534;
  using Setup = std::function<bool(const fs::path&)>;
  struct Case {
    std::string name;
    int folder_mode;
    int file_mode;
    uid_t owner;  // of the old output
    bool as_nobody;
    Setup more;
    std::string result;  // the way it is written, or the message
  };
  const Setup nothing = [](const fs::path&) { return true; };
  const Case cases[] = {
      {"a link to a plain file", 0755, 0644, 0, false,
       [](const fs::path& p) {
         fs::rename(p, p.parent_path() / "target.ini");
         fs::create_symlink("target.ini", p);
         return true;
       },
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
      {"a POSIX ACL", 0755, 0644, 0, false,
       [](const fs::path& p) {
         return ::setxattr(p.c_str(), "system.posix_acl_access", kAcl,
                           sizeof kAcl, 0) == 0;
       },
       "in place"},
      {"a user attribute", 0755, 0644, 0, false,
       [](const fs::path& p) {
         return ::setxattr(p.c_str(), "user.origin", "x", 1, 0) == 0;
       },
       "in place"},
      {"an owner the user may not set", 0777, 0666, 0, true, nothing,
       "in place"},
      {"a sticky folder", 01777, 0666, 0, true, nothing, "in place"},
      {"no room for a work file", 0555, 0666, kNobody, true, nothing,
       "in place"},
      {"a file the user may not write", 0777, 0444, kNobody, true, nothing,
       "Cannot open output file for writing."},
  };
  // Another user must reach the folders.
  fs::permissions(At("").parent_path().parent_path(), fs::perms::others_exec,
                  fs::perm_options::add);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = At(c.name) / "out.ini";
    fs::create_directory(path.parent_path());
    test::WriteFile(path, "old\n");
    fs::permissions(path, static_cast<fs::perms>(c.file_mode));
    if ((c.as_nobody && ::geteuid() != 0) ||
        ::chown(path.c_str(), c.owner, c.owner) != 0 || !c.more(path)) {
      std::cout << "skipped here: " << c.name << "\n";
      continue;
    }
    fs::permissions(path.parent_path(), static_cast<fs::perms>(c.folder_mode));
    const bool link = fs::is_symlink(fs::symlink_status(path));
    if (c.as_nobody) {
      ASSERT_EQ(0, ::setegid(kNobody));
      ASSERT_EQ(0, ::seteuid(kNobody));
    }
    std::string result;
    try {
      OutputFile ini;
      ini.Open(path);
      result = ini.way() == OutputFile::kReplace ? "replace" : "in place";
      ini.Append("[new]\n");
      ini.Commit();
    } catch (const std::exception& e) {
      result = e.what();
    }
    if (c.as_nobody) {
      ASSERT_EQ(0, ::seteuid(0));
      ASSERT_EQ(0, ::setegid(0));
    }
    EXPECT_EQ(c.result, result);
    EXPECT_EQ(c.result.starts_with("Cannot") ? "old\n" : "[new]\n",
              Read(c.name + "/out.ini"));
    ::umount2(path.c_str(), MNT_DETACH);
    EXPECT_EQ(link, fs::is_symlink(fs::symlink_status(path)));
    EXPECT_FALSE(Exists(c.name + "/.out.ini.quillmark-new"));
  }
}

}  // namespace
}  // namespace quillmark
