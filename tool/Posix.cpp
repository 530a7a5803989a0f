#include "tool/Posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace quillmark {

Posix& Posix::Default() {
  static Posix posix;
  return posix;
}

ssize_t Posix::Write(int fd, const char* data, std::size_t size) {
  return ::write(fd, data, size);
}

int Posix::Sync(int fd) { return ::fsync(fd); }

int Posix::Close(int fd) { return ::close(fd); }

int Posix::Lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB); }

int Posix::Rename(int folder, const char* from, const char* to) {
  return ::renameat(folder, from, folder, to);
}

Fd& Fd::operator=(Fd&& other) noexcept {
  Reset(other.Release());
  return *this;
}

void Fd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

}  // namespace quillmark
