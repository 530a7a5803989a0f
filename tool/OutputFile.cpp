#include "tool/OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillmark {

OutputFile::OutputFile(std::size_t block_size) : block_(block_size) {
  setp(block_.data(), block_.data() + block_.size());
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFile::Open(const std::filesystem::path& path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return false;
  struct stat status;
  regular_ = ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
  return true;
}

bool OutputFile::Lock() {
  // Devices, FIFOs and terminals have nothing to lose to a second run.
  if (!regular_) return true;
  return ::flock(fd_, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
}

bool OutputFile::Truncate() {
  if (!regular_) return true;
  if (::ftruncate(fd_, 0) != 0) return false;
  written_ = committed_ = 0;
  return true;
}

bool OutputFile::Close() {
  const bool flushed = !failed_ && Flush();
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0 && flushed;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (failed_ || !Flush()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize OutputFile::xsputn(const char* s, std::streamsize n) {
  if (failed_) return 0;
  const auto size = static_cast<std::size_t>(n);
  // Too big for what is left of the block: what is buffered goes first, then
  // this either into the empty block or, if it cannot fit, straight out.
  if (size > static_cast<std::size_t>(epptr() - pptr())) {
    if (!Flush()) return 0;
    if (size > block_.size()) return WriteAll(s, size) ? n : 0;
  }
  std::memcpy(pptr(), s, size);
  pbump(static_cast<int>(size));
  return n;
}

int OutputFile::sync() {
  if (failed_ || !Flush()) return -1;
  committed_ = written_;
  return 0;
}

ssize_t OutputFile::WriteSome(const char* data, std::size_t size) {
  return ::write(fd_, data, size);
}

bool OutputFile::Flush() {
  const auto size = static_cast<std::size_t>(pptr() - pbase());
  setp(block_.data(), block_.data() + block_.size());
  return WriteAll(block_.data(), size);
}

bool OutputFile::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = WriteSome(data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Fail();
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
    written_ += n;
  }
  return true;
}

// A record cut short would be read as a corrupt or forged one: the file goes
// back to its last whole record, and the rest is dropped, never retried.
void OutputFile::Fail() {
  failed_ = true;
  setp(nullptr, nullptr);
  if (regular_ && ::ftruncate(fd_, committed_) == 0) written_ = committed_;
}

}  // namespace quillmark
