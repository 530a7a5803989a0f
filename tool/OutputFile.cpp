#include "tool/OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "tool/Messages.h"

namespace quillmark {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlockSize = std::size_t{1} << 20;

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Follows `path` while it is a symbolic link, so that a link keeps leading
// to the output and the work file is made beside the file itself.
fs::path FollowLinks(fs::path path) {
  for (int i = 0; i < 40; ++i) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(path, error))) break;
    const fs::path target = fs::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

// A file bound over another one is a mount point, and cannot be renamed over.
bool IsMountPoint(const fs::path& path, const struct stat& status) {
  struct statx extended;
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BASIC_STATS, &extended) == 0 &&
      (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0) {
    return (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
  }
  const fs::path folder = path.has_parent_path() ? path.parent_path() : ".";
  struct stat parent;
  return ::stat(folder.c_str(), &parent) != 0 || parent.st_dev != status.st_dev;
}

// A new file would lose the output's POSIX ACL and its user attributes.
bool HasAttributesToLose(const fs::path& path) {
  const ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
  if (size <= 0) return size < 0 && errno != ENOTSUP;
  std::string names(static_cast<std::size_t>(size), '\0');
  const ssize_t got = ::listxattr(path.c_str(), names.data(), names.size());
  if (got < 0) return true;
  std::string_view list(names.data(), static_cast<std::size_t>(got));
  while (!list.empty()) {
    const std::string_view name = list.substr(0, list.find('\0'));
    if (name.starts_with("user.") || name == "system.posix_acl_access") {
      return true;
    }
    list.remove_prefix(std::min(list.size(), name.size() + 1));
  }
  return false;
}

// Whether the output at `target` can be replaced by a new file that keeps
// all it has but its content.
bool CanReplace(const fs::path& target, const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_nlink == 1 &&
         !IsMountPoint(target, status) && !HasAttributesToLose(target);
}

// A run that may not write the output must not replace it either.
bool MayWrite(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Takes an exclusive lock without waiting; returns false only if another
// process holds one. Where the file system has no locks, the file goes
// unlocked.
bool Lock(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

[[noreturn]] void Refuse(const char* message) {
  throw std::invalid_argument(message);
}

}  // namespace

int StandardStreamAt(const fs::path& path) {
  struct stat named;
  if (::stat(path.c_str(), &named) != 0 ||
      !(S_ISREG(named.st_mode) || S_ISFIFO(named.st_mode))) {
    return -1;
  }
  for (const int fd : {STDERR_FILENO, STDOUT_FILENO}) {
    struct stat open;
    if (::fstat(fd, &open) == 0 && SameFile(open, named)) return fd;
  }
  return -1;
}

OutputFile::~OutputFile() {
  if (fd_ < 0 || way_ == kStandardOutput) return;
  if (way_ == kReplace && !committed_) {
    DiscardWorkFile();
  } else {
    ::close(fd_);
  }
}

void OutputFile::Open(const fs::path& path) {
  if (StandardStreamAt(path) == STDOUT_FILENO) return OpenStandardOutput();
  const fs::path target = FollowLinks(path);
  struct stat old;
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists ? CanReplace(target, old) : errno == ENOENT) {
    if (exists && !MayWrite(target)) Refuse(messages::kCannotOpenOutput);
    if (OpenWorkFile(target, exists ? &old : nullptr)) return;
  }
  OpenInPlace(path);
}

bool OutputFile::OpenWorkFile(const fs::path& target, const struct stat* old) {
  const std::string name = target.filename().string();
  if (name.empty() || name == "." || name == "..") return false;
  work_path_ =
      (target.parent_path() / ("." + name + ".quillmark-new")).string();
  // A run that finds the work file renamed away under its lock opens the new
  // one; a run that keeps losing that race is as good as refused.
  for (int attempt = 0; fd_ < 0; ++attempt) {
    if (attempt == 100) Refuse(messages::kOutputInUse);
    const int fd = ::open(
        work_path_.c_str(),
        O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
        0600);
    if (fd < 0) return false;
    if (!Lock(fd)) {
      ::close(fd);
      Refuse(messages::kOutputInUse);
    }
    struct stat opened, named;
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
      ::close(fd);
      return false;
    }
    if (::stat(work_path_.c_str(), &named) == 0 && SameFile(opened, named)) {
      fd_ = fd;
    } else {
      ::close(fd);
    }
  }
  // The new file takes over the old one's owner, group and permissions, or
  // those a new file would get.
  mode_t mode;
  bool owned = true;
  if (old != nullptr) {
    mode = old->st_mode & 07777;
    owned = ::fchown(fd_, old->st_uid, old->st_gid) == 0;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  if (!owned || ::fchmod(fd_, mode) != 0 || ::ftruncate(fd_, 0) != 0) {
    DiscardWorkFile();
    return false;
  }
  way_ = kReplace;
  target_path_ = target.string();
  block_ = std::make_unique_for_overwrite<char[]>(kBlockSize);
  return true;
}

void OutputFile::DiscardWorkFile() {
  // Removed while still locked, so that no other run can have taken it.
  ::unlink(work_path_.c_str());
  ::close(fd_);
  fd_ = -1;
}

void OutputFile::LockIfRegular() {
  struct stat status;
  regular_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
  // Devices, FIFOs and terminals have nothing to lose to a second run.
  if (regular_ && !Lock(fd_)) Refuse(messages::kOutputInUse);
}

void OutputFile::OpenInPlace(const fs::path& path) {
  way_ = kInPlace;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd_ < 0) Refuse(messages::kCannotOpenOutput);
  LockIfRegular();
  if (regular_ && ::ftruncate(fd_, 0) != 0) {
    Refuse(messages::kCannotOpenOutput);
  }
}

void OutputFile::OpenStandardOutput() {
  way_ = kStandardOutput;
  fd_ = STDOUT_FILENO;
  LockIfRegular();
}

void OutputFile::Append(std::string_view record) {
  if (way_ != kReplace) {
    WriteAll(record.data(), record.size());
    written_ += static_cast<off_t>(record.size());
    return;
  }
  // Nobody sees the work file before it is whole, so it is written in large
  // blocks rather than a record at a time.
  if (record.size() > kBlockSize - buffered_) {
    WriteAll(block_.get(), buffered_);
    buffered_ = 0;
    if (record.size() > kBlockSize) {
      WriteAll(record.data(), record.size());
      return;
    }
  }
  std::memcpy(block_.get() + buffered_, record.data(), record.size());
  buffered_ += record.size();
}

void OutputFile::Commit() {
  try {
    if (way_ == kReplace) {
      WriteAll(block_.get(), buffered_);
      buffered_ = 0;
      if (Rename(work_path_.c_str(), target_path_.c_str()) != 0) {
        throw std::system_error(errno, std::generic_category(), "rename");
      }
    }
  } catch (const std::system_error&) {
    Refuse(list_messages::kCannotWrite);
  }
  committed_ = true;
  if (way_ == kStandardOutput) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) Refuse(list_messages::kCannotWrite);
}

ssize_t OutputFile::WriteSome(const char* data, std::size_t size) {
  return ::write(fd_, data, size);
}

int OutputFile::Rename(const char* from, const char* to) {
  return ::rename(from, to);
}

void OutputFile::WriteAll(const char* data, std::size_t size) {
  if (failed_) Fail(EIO);
  while (size > 0) {
    const ssize_t n = WriteSome(data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      Fail(n < 0 ? errno : EIO);
    }
  }
}

void OutputFile::Fail(int error) {
  // A record cut short would be read as a corrupt or forged one: a file
  // written in place goes back to its last whole record, and the rest is
  // never retried.
  if (!failed_ && way_ == kInPlace && regular_) {
    (void)::ftruncate(fd_, written_);
  }
  failed_ = true;
  throw std::system_error(error, std::generic_category(), "write");
}

}  // namespace quillmark
