#include "tool/WorkFile.h"

#include <fcntl.h>
#include <limits.h>
#include <unistd.h>

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <cerrno>

#include "tool/Failure.h"
#include "tool/Messages.h"

namespace quillmark {
namespace {

constexpr std::string_view kSuffix = ".quillmark-new";

// A run that keeps losing the race for the work path is as good as refused.
constexpr int kAttempts = 100;

}  // namespace

std::string WorkName(std::string_view name) {
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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
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

Fd OpenToLock(int folder, const std::string& name,
              const struct stat& expected) {
  Fd fd = OpenSame(folder, name, expected, O_RDONLY);
  if (!fd.valid() && errno == EACCES) {
    fd = OpenSame(folder, name, expected, O_WRONLY);
  }
  return fd;
}

void LockOrRefuse(Posix& posix, int fd) {
  if (posix.Lock(fd) != 0 && errno == EWOULDBLOCK) {
    Refuse(messages::kOutputInUse);
  }
}

WorkFile::WorkFile(Posix& posix, int folder, std::string name, uid_t owner,
                   const struct stat* list)
    : posix_(posix), folder_(folder), name_(std::move(name)) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (TryClaim(owner, list)) return;
  }
  Refuse(messages::kOutputInUse);
}

WorkFile::~WorkFile() { Discard(); }

bool WorkFile::TryClaim(uid_t owner, const struct stat* list) {
  Fd made(::openat(
      folder_, name_.c_str(),
      O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
  if (made.valid()) {
    // Another run may take it for a leftover, or another user rename it
    // away, before it is locked: then it is made again.
    if (posix_.Lock(made.get()) != 0 && errno == EWOULDBLOCK) return false;
    if (::fstat(made.get(), &made_) != 0) Fail(messages::kCannotOpenOutput);
    fd_ = std::move(made);
    if (StillThere()) return true;
    fd_.Reset();
    return false;
  }
  if (errno != EEXIST) {
    error_ = errno;
    return true;
  }
  struct stat there;
  if (::fstatat(folder_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return false;
    Fail(messages::kCannotOpenOutput);
  }
  if (list != nullptr && SameFile(there, *list)) Refuse(messages::kSameFile);
  if (!S_ISREG(there.st_mode) || there.st_nlink != 1 ||
      (there.st_uid != ::geteuid() && there.st_uid != owner)) {
    Refuse(messages::kCannotOpenOutput);
  }
  const Fd leftover = OpenToLock(folder_, name_, there);
  if (!leftover.valid()) {
    if (errno == ESTALE) return false;
    Fail(messages::kCannotOpenOutput);
  }
  LockOrRefuse(posix_, leftover.get());
  // Removed while locked, so that no other run can have taken it meanwhile.
  struct stat still;
  if (::fstatat(folder_, name_.c_str(), &still, AT_SYMLINK_NOFOLLOW) == 0 &&
      SameFile(still, there)) {
    ::unlinkat(folder_, name_.c_str(), 0);
  }
  return false;
}

bool WorkFile::StillThere() const {
  struct stat there;
  return ::fstatat(folder_, name_.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
         SameFile(there, made_);
}

void WorkFile::Discard() noexcept {
  if (committed_ || !fd_.valid()) return;
  // Removed while still locked, and only if no one has put another file in
  // its place.
  if (StillThere()) ::unlinkat(folder_, name_.c_str(), 0);
  fd_.Reset();
}

void WorkFile::Commit(const char* target, const std::filesystem::path& output) {
  const auto fail = [this] {
    const int error = errno;
    Discard();
    Fail(messages::kCannotWrite, error);
  };
  if (posix_.Sync(fd_.get()) != 0) fail();
  // A second descriptor keeps the lock past the close and through the
  // rename, so that no other run can take the work file for a leftover.
  Fd held(::dup(fd_.get()));
  if (!held.valid()) fail();
  const int closed = posix_.Close(fd_.Release());
  fd_ = std::move(held);
  if (closed != 0 || !StillThere()) fail();
  if (posix_.Rename(folder_, name_.c_str(), target) != 0) fail();
  committed_ = true;
  struct stat named;
  if (::stat(output.c_str(), &named) != 0) Fail(messages::kCannotWrite);
  if (!SameFile(named, made_)) Refuse(messages::kCannotWrite);
  if (posix_.Sync(folder_) != 0 && errno != EINVAL) {
    Fail(messages::kCannotWrite);
  }
}

}  // namespace quillmark
