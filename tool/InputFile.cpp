#include "tool/InputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quillmark {

InputFile::InputFile(std::size_t block_size) : block_(block_size) {
  setg(block_.data(), block_.data(), block_.data());
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::filesystem::path& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

std::string_view InputFile::Peek(std::size_t n) {
  while (static_cast<std::size_t>(egptr() - gptr()) < n && ReadMore()) {
  }
  const auto available = static_cast<std::size_t>(egptr() - gptr());
  return {gptr(), std::min(n, available)};
}

InputFile::int_type InputFile::underflow() {
  if (gptr() == egptr()) {
    setg(block_.data(), block_.data(), block_.data());
    if (!ReadMore()) return traits_type::eof();
  }
  return traits_type::to_int_type(*gptr());
}

bool InputFile::ReadMore() {
  if (ended_) return false;
  // Unread bytes move to the front, so that the block has room after them.
  const std::size_t unread = static_cast<std::size_t>(egptr() - gptr());
  std::memmove(block_.data(), gptr(), unread);
  setg(block_.data(), block_.data(), block_.data() + unread);
  ssize_t n;
  do {
    n = ::read(fd_, block_.data() + unread, block_.size() - unread);
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw std::system_error(errno, std::generic_category(), "read");
  if (n == 0) {
    ended_ = true;
    return false;
  }
  setg(block_.data(), block_.data(),
       block_.data() + unread + static_cast<std::size_t>(n));
  return true;
}

}  // namespace quillmark
