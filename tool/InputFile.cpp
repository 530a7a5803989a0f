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

bool InputFile::Open(const std::filesystem::path& path,
                     const Interrupts& interrupts) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC;
  struct stat named;
  fd_ = ::stat(path.c_str(), &named) == 0 && S_ISFIFO(named.st_mode)
            ? OpenFifo(path.c_str(), kFlags, interrupts)
            : ::open(path.c_str(), kFlags);
  return fd_ >= 0 && ::fstat(fd_, &status_) == 0;
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
