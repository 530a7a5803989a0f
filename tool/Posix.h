// The system calls that write an output, lock it, make it durable and put it
// in place, behind one narrow interface, so that tests can fail or reorder
// any of them; and the descriptor helpers that the list and the output share.
#ifndef QUILLMARK_TOOL_POSIX_H_
#define QUILLMARK_TOOL_POSIX_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

namespace quillmark {

// Each call returns what the system call does, with errno set.
class Posix {
 public:
  virtual ~Posix() = default;
  static Posix& Default();  // the calls as the system makes them

  virtual ssize_t Write(int fd, const char* data, std::size_t size);
  virtual int Sync(int fd);   // fsync(2)
  virtual int Close(int fd);  // close(2)
  // An open file description's write lock on all of `fd` (F_OFD_SETLK),
  // without waiting. Unlike flock(2)'s, it never meets a reader's flock.
  virtual int Lock(int fd);
  // renameat(2) within one folder.
  virtual int Rename(int folder, const char* from, const char* to);
};

// Owns a descriptor and closes it, unchecked; a descriptor whose close must be
// checked is released and closed through Posix::Close.
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
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Writes all of `data` to `fd`, going on after short writes and signals.
// Returns 0, or the errno of the write that failed. Async-signal-safe with
// Posix::Default().
int WriteAll(Posix& posix, int fd, std::string_view data) noexcept;

// Returns whether `a` and `b` are the same file.
bool SameFile(const struct stat& a, const struct stat& b);

// Returns the descriptor that `path` names by its text alone: 0, 1 and 2 for
// /dev/stdin, /dev/stdout and /dev/stderr, N for /dev/fd/N and
// /proc/self/fd/N; else -1.
int NamedDescriptor(const std::filesystem::path& path);

// Returns the path in /proc by which the kernel reaches the file that `fd` is
// open on, also where `fd` is open only to reach it (O_PATH).
std::string ProcPath(int fd);

// Returns a copy of `fd` that is closed on exec; none if `fd` is not open.
Fd Duplicate(int fd);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_POSIX_H_
