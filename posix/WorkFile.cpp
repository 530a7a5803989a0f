#include "posix/WorkFile.h"

#include <limits.h>
#include <linux/limits.h>
#include <sys/xattr.h>

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cerrno>
#include <cstring>

#include "devicelist/FillIn.h"
#include "posix/Failure.h"
#include "posix/FileMessages.h"

namespace quillmark {
namespace {

// A run that keeps losing the race for the work path is as good as refused.
constexpr int kAttempts = 100;

// Whether another run holds `fd`'s lock; takes it if none does.
bool HeldElsewhere(Posix& posix, int fd) {
  return posix.Lock(fd) != 0 && (errno == EAGAIN || errno == EACCES);
}

// Copies the access ACL and the user.* attributes from `from` to `to`;
// returns false if it cannot.
bool CopyAttributes(int from, int to) {
  std::string names(XATTR_LIST_MAX, '\0');
  std::string value(XATTR_SIZE_MAX, '\0');
  const ssize_t size = ::flistxattr(from, names.data(), names.size());
  if (size < 0) return errno == ENOTSUP;
  for (const char* name = names.data(); name < names.data() + size;
       name += std::strlen(name) + 1) {
    const std::string_view kept(name);
    if (!kept.starts_with("user.") && kept != "system.posix_acl_access") {
      continue;
    }
    const ssize_t got = ::fgetxattr(from, name, value.data(), value.size());
    if (got < 0 || ::fsetxattr(to, name, value.data(),
                               static_cast<std::size_t>(got), 0) != 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string WorkName(std::string_view name) {
  constexpr std::string_view kSuffix = ".quillmark-new";
  std::string work = ".";
  if (work.size() + name.size() + kSuffix.size() <= NAME_MAX) {
    return work.append(name).append(kSuffix);
  }
  const std::string hash =
      boost::uuids::to_string(boost::uuids::name_generator_sha1(
          boost::uuids::uuid{})(name.data(), name.size()));
  const std::size_t kept = NAME_MAX - 2 - hash.size() - kSuffix.size();
  return work.append(name.substr(0, kept)) + "." + hash + std::string(kSuffix);
}

Fd OpenSame(int folder, const std::string& name, const struct stat& expected,
            int flags) {
  Fd fd(::openat(folder, name.c_str(),
                 flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat opened;
  if (fd.valid() &&
      (::fstat(fd.get(), &opened) != 0 || !SameFile(opened, expected))) {
    fd.Reset();
    errno = ESTALE;
  }
  return fd;
}

void LockOrRefuse(Posix& posix, int fd) {
  if (HeldElsewhere(posix, fd)) Refuse(file_messages::kOutputInUse);
}

WorkFile::WorkFile(Posix& posix, int folder, std::string name,
                   std::string shown, uid_t owner, mode_t mode,
                   const struct stat* list)
    : posix_(posix),
      folder_(folder),
      name_(std::move(name)),
      shown_(std::move(shown)) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (TryClaim(owner, mode, list)) return;
  }
  Refuse(file_messages::kOutputInUse);
}

// Makes the work file, or removes a leftover; returns false to try again.
bool WorkFile::TryClaim(uid_t owner, mode_t mode, const struct stat* list) {
  fd_.Reset(::openat(
      folder_, name_.c_str(),
      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode));
  if (fd_.valid()) {
    // Another run may take it for a leftover, or another user rename it
    // away, before it is locked: then it is made again.
    if (HeldElsewhere(posix_, fd_.get()) || ::fstat(fd_.get(), &made_) != 0 ||
        !Names(name_.c_str(), made_)) {
      fd_.Reset();
      return false;
    }
    return true;
  }
  if (errno != EEXIST) Fail(file_messages::kCannotOpenOutput);
  struct stat there;
  if (::fstatat(folder_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return false;
    Fail(file_messages::kCannotOpenOutput);
  }
  if (list != nullptr && SameFile(there, *list))
    Refuse(file_messages::kSameFile);
  if (!S_ISREG(there.st_mode) || there.st_nlink != 1 ||
      (there.st_uid != ::geteuid() && there.st_uid != owner)) {
    Refuse(file_messages::kCannotOpenOutput);
  }
  const Fd leftover = OpenSame(folder_, name_, there, O_WRONLY);
  if (!leftover.valid() && (errno == ESTALE || errno == ENOENT)) return false;
  if (leftover.valid()) LockOrRefuse(posix_, leftover.get());
  // Removed while locked, so that no other run can have taken it meanwhile.
  if (!leftover.valid() ||
      (Names(name_.c_str(), there) &&
       ::unlinkat(folder_, name_.c_str(), 0) != 0 && errno != ENOENT)) {
    Refuse(FillIn(file_messages::kLeftover, "PATH", shown_));
  }
  return false;
}

bool WorkFile::Names(const char* name, const struct stat& file) const {
  struct stat there;
  return ::fstatat(folder_, name, &there, AT_SYMLINK_NOFOLLOW) == 0 &&
         SameFile(there, file);
}

void WorkFile::Discard() noexcept {
  if (committed_ || !fd_.valid()) return;
  // Removed while locked, unless another file has taken its place.
  if (Names(name_.c_str(), made_)) ::unlinkat(folder_, name_.c_str(), 0);
  fd_.Reset();
}

// Attributes, then owner, which clears set-ID bits, then mode.
void WorkFile::Adopt(int old_fd, const struct stat& old) {
  const int work = fd_.get();
  struct stat now;
  if (!CopyAttributes(old_fd, work) || ::fstat(work, &now) != 0 ||
      ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
       ::fchown(work, old.st_uid, old.st_gid) != 0) ||
      ((now.st_mode & 07777) != (old.st_mode & 07777) &&
       ::fchmod(work, old.st_mode & 07777) != 0) ||
      ::fstat(work, &now) != 0 || now.st_uid != old.st_uid ||
      now.st_gid != old.st_gid ||
      (now.st_mode & 07777) != (old.st_mode & 07777)) {
    Fail(file_messages::kCannotOpenOutput);
  }
}

void WorkFile::Commit(const char* target) {
  const auto fail = [this](int error) {
    Discard();
    Fail(file_messages::kCannotWrite, error);
  };
  if (posix_.Sync(fd_.get()) != 0) fail(errno);
  // A second descriptor keeps the lock past the close and through the
  // rename, so that no other run can take the work file for a leftover.
  Fd held = Duplicate(fd_.get());
  if (!held.valid()) fail(errno);
  const int closed = posix_.Close(fd_.Release()) == 0 ? 0 : errno;
  fd_ = std::move(held);
  if (closed != 0) fail(closed);
  if (!Names(name_.c_str(), made_)) fail(ESTALE);
  if (posix_.Rename(folder_, name_.c_str(), target) != 0) fail(errno);
  committed_ = true;
  if (!Names(target, made_)) Fail(file_messages::kCannotWrite, ESTALE);
  // A folder that may not be read (EBADF) is synced with its file system.
  if (posix_.Sync(folder_) != 0 && errno != EINVAL &&
      (errno != EBADF || ::syncfs(fd_.get()) != 0)) {
    Fail(file_messages::kCannotWrite);
  }
}

}  // namespace quillmark
