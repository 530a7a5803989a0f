#include "posix/Posix.h"

#include <cerrno>
#include <charconv>
#include <csignal>

#include "posix/Failure.h"
#include "posix/FileMessages.h"

namespace quillmark {

Posix& Posix::Default() {
  static Posix posix;
  return posix;
}

int Posix::Lock(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock);
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

int NamedDescriptor(const std::filesystem::path& path) {
  const std::string_view text = path.native();
  for (const std::string_view folder : {"/dev/fd/", "/proc/self/fd/"}) {
    int fd = -1;
    const char* const end = text.data() + text.size();
    if (text.starts_with(folder) &&
        std::from_chars(text.data() + folder.size(), end, fd).ptr == end) {
      return fd;
    }
  }
  constexpr std::string_view kStandard[] = {"/dev/stdin", "/dev/stdout",
                                            "/dev/stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    if (text == kStandard[fd]) return fd;
  }
  return -1;
}

int OpenFifo(const char* path, int flags, const Interrupted& interrupted) {
  // A stop signal interrupts the wait rather than restarting it. One in the
  // moment between the check and the open is seen at the next Ctrl-C.
  constexpr int kStopSignals[] = {SIGINT, SIGTERM};
  struct sigaction saved[2];
  for (int i = 0; i < 2; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &saved[i]);
    struct sigaction action = saved[i];
    action.sa_flags &= ~SA_RESTART;
    ::sigaction(kStopSignals[i], &action, nullptr);
  }
  int fd = -1;
  while (!interrupted() && (fd = ::open(path, flags)) < 0 && errno == EINTR) {
  }
  const int error = errno;
  for (int i = 0; i < 2; ++i) ::sigaction(kStopSignals[i], &saved[i], nullptr);
  if (fd < 0 && interrupted()) Refuse(file_messages::kInterruptedWaiting);
  errno = error;
  return fd;
}

}  // namespace quillmark
