#include <sys/stat.h>

#include <system_error>

#include "posix/Failure.h"
#include "posix/FileMessages.h"
#include "posix/Output.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// The path of what `fd` is open on, as the kernel found it; empty if unknown.
fs::path PathOf(int fd) {
  std::error_code unknown;
  return fs::read_symlink(ProcPath(fd), unknown);
}

// Returns 2 or 1 if `status` is the regular file or pipe that standard error,
// or else standard output, is open on; else -1. A terminal may serve as both.
int StandardStream(const struct stat& status) {
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) return -1;
  for (const int fd : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat open;
    if (::fstat(fd, &open) == 0 && SameFile(open, status)) return fd;
  }
  return -1;
}

// Finds the folder of `place`, whose entry must be `expected`, or none; open
// for reading, to be synced, or, where it may not be read, with O_PATH.
bool FindFolder(const fs::path& place, const struct stat* expected,
                OutputPlan& plan) {
  plan.name = place.filename().string();
  if (plan.name.empty() || plan.name == "." || plan.name == "..") return false;
  plan.folder_path = place.parent_path();
  const char* const folder =
      plan.folder_path.empty() ? "." : plan.folder_path.c_str();
  plan.folder.Reset(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!plan.folder.valid() && errno == EACCES) {
    plan.folder.Reset(::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  struct stat there;
  const bool found =
      plan.folder.valid() && ::fstatat(plan.folder.get(), plan.name.c_str(),
                                       &there, AT_SYMLINK_NOFOLLOW) == 0;
  if (expected != nullptr ? found && SameFile(there, *expected)
                          : plan.folder.valid() && !found) {
    return true;
  }
  plan.folder.Reset();
  return false;
}

// In a sticky folder that others may write, a file of neither this user nor
// the folder's owner may have been planted for this run: the rule of
// fs.protected_regular=2 and fs.protected_fifos=2, whatever they are set to.
bool Planted(int folder, const struct stat& file) {
  struct stat there;
  return ::fstat(folder, &there) != 0 ||
         ((there.st_mode & S_ISVTX) != 0 &&
          (there.st_mode & (S_IWGRP | S_IWOTH)) != 0 &&
          file.st_uid != ::geteuid() && file.st_uid != there.st_uid);
}

// Whether a new file may take the output's place, as far as can be told
// before one is made: other names and a mount point would be lost.
bool CanReplace(const OutputPlan& plan) {
  struct statx there;
  return plan.old->st_nlink == 1 &&
         ::statx(plan.folder.get(), plan.name.c_str(), AT_SYMLINK_NOFOLLOW,
                 STATX_BASIC_STATS, &there) == 0 &&
         (there.stx_attributes & STATX_ATTR_MOUNT_ROOT) == 0;
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
    // Nothing there: it is made in the folder, where not even a dangling link
    // may stand. A link the kernel will not follow refuses the run.
    if (named >= 0 || errno != ENOENT) Fail(file_messages::kCannotOpenOutput);
    if (!FindFolder(path, nullptr, plan))
      Refuse(file_messages::kCannotOpenOutput);
    return plan;
  }
  struct stat status;
  if (::fstat(file.get(), &status) != 0) Fail(file_messages::kCannotOpenOutput);
  plan.old = status;
  const int stream =
      named == STDERR_FILENO ? STDERR_FILENO : StandardStream(status);
  if (stream == STDERR_FILENO) Refuse(file_messages::kAlsoStandardError);
  if (list != nullptr && SameFile(status, *list))
    Refuse(file_messages::kSameFile);
  plan.standard_output = named == STDOUT_FILENO || stream == STDOUT_FILENO;
  plan.way = OutputPlan::kEachRecord;
  if (named >= 0 || stream == STDOUT_FILENO) {
    // The run's own descriptor is written as it was handed over.
    plan.descriptor = named >= 0 ? std::move(file) : Duplicate(STDOUT_FILENO);
    if ((::fcntl(plan.descriptor.get(), F_GETFL) & O_ACCMODE) == O_RDONLY) {
      Refuse(file_messages::kCannotOpenOutput);  // O_PATH among them
    }
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
    Refuse(file_messages::kCannotOpenOutput);
  }
  if (Planted(plan.folder.get(), status))
    Refuse(file_messages::kCannotOpenOutput);
  if (S_ISREG(status.st_mode)) {
    plan.way = CanReplace(plan) ? OutputPlan::kReplace : OutputPlan::kInPlace;
  }
  return plan;
}

}  // namespace quillmark
