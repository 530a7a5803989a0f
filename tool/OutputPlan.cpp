#include "tool/OutputPlan.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tool/Failure.h"
#include "tool/Messages.h"
#include "tool/WorkFile.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// Returns what the symbolic link at `link` holds; empty if it cannot be
// read.
fs::path ReadLink(const fs::path& link) {
  std::string body(PATH_MAX, '\0');
  const ssize_t n = ::readlink(link.c_str(), body.data(), body.size());
  if (n <= 0 || static_cast<std::size_t>(n) == body.size()) return {};
  body.resize(static_cast<std::size_t>(n));
  return body;
}

// Where open(2) with O_CREAT would make the file that `path` names, which
// does not exist: past the dangling links that lead there, which the kernel
// has already agreed to follow.
fs::path WhereMade(fs::path path) {
  for (int links = 0; links <= 40; ++links) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      return path;
    }
    const fs::path next = ReadLink(path);
    if (next.empty()) break;
    path = next.is_absolute() ? next : path.parent_path() / next;
  }
  Refuse(messages::kCannotOpenOutput);
}

// The path of the file open on `fd`, as the kernel found it; empty if it
// cannot say.
fs::path PathOf(int fd) {
  return ReadLink("/proc/self/fd/" + std::to_string(fd));
}

// Returns 2 or 1 if `status` is the regular file or pipe that standard
// error or standard output is open on (2 if both are); else -1. Devices such
// as a terminal may serve as both.
int StandardStream(const struct stat& status) {
  if (!S_ISREG(status.st_mode) && !S_ISFIFO(status.st_mode)) return -1;
  for (const int fd : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat open;
    if (::fstat(fd, &open) == 0 && SameFile(open, status)) return fd;
  }
  return -1;
}

// Opens `path` for reading, or, where it may not be read, only to reach what
// it holds.
Fd OpenFolder(const fs::path& path) {
  const char* const folder = path.empty() ? "." : path.c_str();
  Fd fd(::open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() && errno == EACCES) {
    fd.Reset(::open(folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return fd;
}

// A folder open only to reach what it holds can be neither synced nor asked
// for its default ACL.
bool Readable(int folder) { return (::fcntl(folder, F_GETFL) & O_PATH) == 0; }

// A file bound over another one is a mount point, and cannot be renamed over.
bool IsMountPoint(int folder, const char* name, const struct stat& status) {
  struct statx extended;
  if (::statx(folder, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS,
              &extended) == 0 &&
      (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  struct stat parent;
  return ::fstat(folder, &parent) != 0 || parent.st_dev != status.st_dev;
}

// Whether this user may give a new file the owner and group of `old`.
bool CanKeepOwner(const struct stat& old) {
  if (::geteuid() == 0) return true;
  if (old.st_uid != ::geteuid()) return false;
  if (old.st_gid == ::getegid()) return true;
  std::vector<gid_t> groups(
      static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<std::size_t>(std::max(
      ::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  return std::ranges::find(groups, old.st_gid) != groups.end();
}

// Whether the output can be replaced by a new file that keeps all it has but
// its content.
bool CanReplace(const OutputPlan& plan) {
  const int folder = plan.folder.get();
  return plan.old->st_nlink == 1 &&
         !IsMountPoint(folder, plan.name.c_str(), *plan.old) &&
         CanKeepOwner(*plan.old) && Readable(folder) &&
         ::faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0;
}

// Finds the folder and name of the output that is, or is to be made, at
// `place`; returns false if there is none to be had.
bool FindFolder(const fs::path& place, OutputPlan& plan) {
  plan.name = place.filename().string();
  if (plan.name.empty() || plan.name == "." || plan.name == "..") return false;
  plan.folder = OpenFolder(place.parent_path());
  if (!plan.folder.valid()) return false;
  struct stat there;
  const bool exists = ::fstatat(plan.folder.get(), plan.name.c_str(), &there,
                                AT_SYMLINK_NOFOLLOW) == 0;
  if (plan.old ? !exists || !SameFile(there, *plan.old)
               : exists || !Readable(plan.folder.get())) {
    return false;
  }
  plan.work_name = WorkName(plan.name);
  return true;
}

}  // namespace

OutputPlan PlanOutput(const fs::path& path, const struct stat* list) {
  OutputPlan plan;
  plan.path = path;
  // "-" is standard output as it stands, whatever it is, as to every filter.
  const bool dash = path == "-";
  const Fd file(dash ? ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0)
                     : ::open(path.c_str(), O_PATH | O_CLOEXEC));
  if (!file.valid()) {
    // Nothing there, or a dangling link; any other error, a link that the
    // kernel refuses to follow among them, refuses the run.
    if (dash || errno != ENOENT) Fail(messages::kCannotOpenOutput);
    if (!FindFolder(WhereMade(path), plan)) Refuse(messages::kCannotOpenOutput);
    return plan;
  }
  struct stat status;
  if (::fstat(file.get(), &status) != 0) Fail(messages::kCannotOpenOutput);
  plan.old = status;
  const int stream = StandardStream(status);
  if (stream == STDERR_FILENO) Refuse(messages::kAlsoStandardError);
  if (list != nullptr && SameFile(status, *list)) Refuse(messages::kSameFile);
  plan.way = dash || stream == STDOUT_FILENO ? OutputPlan::kStandardOutput
                                             : OutputPlan::kInPlace;
  if (!S_ISREG(status.st_mode)) return plan;
  // The folder of what the kernel opened: for a link, its target's.
  struct stat named;
  const bool link =
      dash || (::lstat(path.c_str(), &named) == 0 && S_ISLNK(named.st_mode));
  if (!FindFolder(link ? PathOf(file.get()) : path, plan)) {
    // Standard output is already open; it goes without a work path.
    if (plan.way == OutputPlan::kStandardOutput) {
      plan.folder.Reset();
      return plan;
    }
    Refuse(messages::kCannotOpenOutput);
  }
  if (plan.way == OutputPlan::kStandardOutput) return plan;
  // A run that may not write the output must not replace it either.
  if (::faccessat(plan.folder.get(), plan.name.c_str(), W_OK, AT_EACCESS) !=
      0) {
    Fail(messages::kCannotOpenOutput);
  }
  if (CanReplace(plan)) plan.way = OutputPlan::kReplace;
  return plan;
}

}  // namespace quillmark
