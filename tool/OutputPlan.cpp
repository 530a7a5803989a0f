#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tool/Failure.h"
#include "tool/Messages.h"
#include "tool/Output.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// The path of the file open on `fd`, as the kernel found it; empty if it
// cannot say.
fs::path PathOf(int fd) {
  std::string path(PATH_MAX, '\0');
  const ssize_t n = ::readlink(ProcPath(fd).c_str(), path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) == path.size()) return {};
  path.resize(static_cast<std::size_t>(n));
  return path;
}

// Returns 2 or 1 if `status` is the regular file or pipe that standard
// error or standard output is open on, standard error first; else -1.
// Devices such as a terminal may serve as both.
int StandardStream(const struct stat& status) {
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) return -1;
  for (const int fd : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat open;
    if (::fstat(fd, &open) == 0 && SameFile(open, status)) return fd;
  }
  return -1;
}

// Opens `path` for reading, or, where it may not be read, only to reach
// what it holds.
Fd OpenFolder(const fs::path& path) {
  const char* const folder = path.empty() ? "." : path.c_str();
  Fd fd(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() && errno == EACCES) {
    fd.Reset(::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return fd;
}

// Finds the folder of `place`, whose entry there must be `expected`, or, if
// that is null, nothing; returns false if it is not so.
bool FindFolder(const fs::path& place, const struct stat* expected,
                OutputPlan& plan) {
  plan.name = place.filename().string();
  if (plan.name.empty() || plan.name == "." || plan.name == "..") return false;
  plan.folder_path = place.parent_path();
  plan.folder = OpenFolder(plan.folder_path);
  struct stat there;
  const bool exists =
      plan.folder.valid() && ::fstatat(plan.folder.get(), plan.name.c_str(),
                                       &there, AT_SYMLINK_NOFOLLOW) == 0;
  if (!plan.folder.valid() ||
      (expected != nullptr ? !exists || !SameFile(there, *expected) : exists)) {
    plan.folder.Reset();
    return false;
  }
  return true;
}

// In a sticky folder that others may write, a file that is neither this
// user's nor the folder owner's may have been planted there for this run:
// the kernel's fs.protected_regular=2 and fs.protected_fifos=2, which apply
// only to opens that may create.
bool Planted(int folder, const struct stat& file) {
  struct stat there;
  return ::fstat(folder, &there) != 0 ||
         ((there.st_mode & S_ISVTX) != 0 &&
          (there.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
          file.st_uid != ::geteuid() && file.st_uid != there.st_uid);
}

// Whether the output can be replaced by a new file that keeps all it has but
// its content, as far as can be told before one is made: a file with
// several names would lose them, and a file bound over another one, a mount
// point, cannot be renamed over. An owner or folder that a new file cannot
// have is found out when it is made.
bool CanReplace(const OutputPlan& plan) {
  struct statx status;
  return plan.old->st_nlink == 1 &&
         ::statx(plan.folder.get(), plan.name.c_str(), AT_SYMLINK_NOFOLLOW,
                 STATX_BASIC_STATS, &status) == 0 &&
         (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0;
}

// Whether `fd` may be written.
bool Writable(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && (flags & O_PATH) == 0 && (flags & O_ACCMODE) != O_RDONLY;
}

}  // namespace

OutputPlan PlanOutput(const fs::path& path, const struct stat* list) {
  OutputPlan plan;
  plan.path = path;
  // "-" is standard output as it stands, whatever it is, as to every filter.
  const int named = path == "-" ? STDOUT_FILENO : NamedDescriptor(path);
  Fd file = named >= 0 ? Duplicate(named)
                       : Fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!file.valid()) {
    // Nothing there: it is made beside its path's last name. A dangling link
    // has no file to check against, and any other error, a link the kernel
    // refuses to follow among them, refuses the run.
    struct stat link;
    if (named >= 0 || errno != ENOENT || ::lstat(path.c_str(), &link) == 0) {
      Fail(messages::kCannotOpenOutput);
    }
    if (!FindFolder(path, nullptr, plan)) Refuse(messages::kCannotOpenOutput);
    return plan;
  }
  struct stat status;
  if (::fstat(file.get(), &status) != 0) Fail(messages::kCannotOpenOutput);
  plan.old = status;
  const int stream =
      named == STDERR_FILENO ? STDERR_FILENO : StandardStream(status);
  if (stream == STDERR_FILENO) Refuse(messages::kAlsoStandardError);
  if (list != nullptr && SameFile(status, *list)) Refuse(messages::kSameFile);
  plan.standard_output = named == STDOUT_FILENO || stream == STDOUT_FILENO;
  plan.way = OutputPlan::kEachRecord;
  if (named >= 0 || stream == STDOUT_FILENO) {
    // The run's own descriptor is written as it was handed over.
    plan.descriptor = named >= 0 ? std::move(file) : Duplicate(STDOUT_FILENO);
    if (!Writable(plan.descriptor.get())) Refuse(messages::kCannotOpenOutput);
    if (S_ISREG(status.st_mode)) {
      plan.way = OutputPlan::kAtOffset;
      // Its work path keeps other runs off, where it can be found.
      FindFolder(PathOf(plan.descriptor.get()), &status, plan);
    }
    return plan;
  }
  if (S_ISCHR(status.st_mode)) return plan;
  // A regular file or FIFO by its own name, or else by the kernel's.
  if (!FindFolder(path, &status, plan) &&
      !FindFolder(PathOf(file.get()), &status, plan)) {
    Refuse(messages::kCannotOpenOutput);
  }
  if (Planted(plan.folder.get(), status)) Refuse(messages::kCannotOpenOutput);
  if (S_ISREG(status.st_mode)) {
    plan.way = CanReplace(plan) ? OutputPlan::kReplace : OutputPlan::kInPlace;
  }
  return plan;
}

}  // namespace quillmark
