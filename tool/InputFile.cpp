#include "tool/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quillmark {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::Open(const std::filesystem::path& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool InputFile::IsRegular() const {
  struct stat status;
  return ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode);
}

bool InputFile::IsFileAt(const std::filesystem::path& path) const {
  struct stat open, named;
  return ::fstat(fd_, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         !S_ISCHR(open.st_mode) && open.st_dev == named.st_dev &&
         open.st_ino == named.st_ino;
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd_, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) throw std::system_error(errno, std::generic_category(), "read");
  return static_cast<std::size_t>(n);
}

}  // namespace quillmark
