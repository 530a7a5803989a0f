#include "tool/Posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

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

int Posix::Lock(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock);
}

int Posix::Rename(int folder, const char* from, const char* to) {
  return ::renameat(folder, from, folder, to);
}

void Fd::Reset(int fd) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
}

int WriteAll(Posix& posix, int fd, std::string_view data) noexcept {
  while (!data.empty()) {
    const ssize_t n = posix.Write(fd, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      return n == 0 ? EIO : errno;
    }
  }
  return 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int NamedDescriptor(const std::filesystem::path& path) {
  const std::string_view text = path.native();
  constexpr std::string_view kStandard[] = {"/dev/stdin", "/dev/stdout",
                                            "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    if (text == kStandard[fd]) return fd;
  }
  for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!text.starts_with(folder) || text.size() == folder.size()) continue;
    int fd = -1;
    const char* const end = text.data() + text.size();
    const auto [at, error] =
        std::from_chars(text.data() + folder.size(), end, fd);
    if (error == std::errc() && at == end) return fd;
  }
  return -1;
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

Fd Duplicate(int fd) { return Fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

}  // namespace quillmark
