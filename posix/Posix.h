// The system calls that write, lock, sync and rename an output, behind an
// interface that tests fail or reorder; and what the list and output share.
#ifndef QUILLMARK_POSIX_POSIX_H_
#define QUILLMARK_POSIX_POSIX_H_

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace quillmark {

// Each call returns what the system call does, with errno set.
class Posix {
 public:
  virtual ~Posix() = default;
  static Posix& Default();  // the calls as the system makes them

  virtual ssize_t Write(int fd, const char* data, std::size_t size) {
    return ::write(fd, data, size);
  }
  virtual int Sync(int fd) { return ::fsync(fd); }
  virtual int Close(int fd) { return ::close(fd); }
  // An open file description's write lock on all of `fd` (F_OFD_SETLK),
  // without waiting. Unlike flock(2)'s, it never meets a reader's flock.
  virtual int Lock(int fd);
  // renameat(2) within one folder.
  virtual int Rename(int folder, const char* from, const char* to) {
    return ::renameat(folder, from, folder, to);
  }
};

// Owns a descriptor and closes it, unchecked (else release it to Close).
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    Reset(other.Release());
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

// Writes all of `data` to `fd`; returns 0, or the errno of the write that
// failed. Async-signal-safe with Posix::Default().
int WriteAll(Posix& posix, int fd, std::string_view data) noexcept;

// Returns whether `a` and `b` are the same file.
inline bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Returns the descriptor that `path` names by its text alone (/dev/stdout,
// /dev/fd/N, /proc/self/fd/N); else -1.
int NamedDescriptor(const std::filesystem::path& path);

// Whether a stop signal has come, which ends a wait for a FIFO's other end.
using Interrupted = std::function<bool()>;

// open(2) of a FIFO, which waits for the other end; returns the descriptor,
// or -1 with errno set. Throws std::invalid_argument kInterruptedWaiting if
// `interrupted` before or during the wait.
int OpenFifo(const char* path, int flags, const Interrupted& interrupted);

// Returns the path in /proc that leads to what `fd` is open on.
inline std::string ProcPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

// Returns a copy of `fd` that is closed on exec; none if `fd` is not open.
inline Fd Duplicate(int fd) { return Fd(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_POSIX_H_
