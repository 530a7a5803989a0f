// The system calls that make an output durable and put it in place, behind
// one narrow interface, so that tests can fail or reorder any of them. Each
// returns what the system call does, with errno set on failure.
#ifndef QUILLMARK_TOOL_POSIX_H_
#define QUILLMARK_TOOL_POSIX_H_

#include <sys/types.h>

#include <cstddef>

namespace quillmark {

class Posix {
 public:
  virtual ~Posix() = default;

  // The calls as the system makes them.
  static Posix& Default();

  // write(2).
  virtual ssize_t Write(int fd, const char* data, std::size_t size);
  // fsync(2).
  virtual int Sync(int fd);
  // close(2).
  virtual int Close(int fd);
  // flock(2) for an exclusive lock, without waiting.
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
  Fd& operator=(Fd&& other) noexcept;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset(int fd = -1);

 private:
  int fd_ = -1;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_POSIX_H_
