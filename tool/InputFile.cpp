#include "tool/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tool/Failure.h"
#include "tool/Messages.h"

namespace quillmark {

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

void InputFile::Open(const std::filesystem::path& path,
                     const Interrupts& interrupts) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC;
  struct stat named;
  fd_ = ::stat(path.c_str(), &named) == 0 && S_ISFIFO(named.st_mode)
            ? OpenFifo(path.c_str(), kFlags, interrupts)
            : ::open(path.c_str(), kFlags);
  if (fd_ < 0 || ::fstat(fd_, &status_) != 0) {
    Fail(messages::kCannotOpenInput);
  }
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd_, buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) Fail(messages::kCannotRead);
  return static_cast<std::size_t>(n);
}

}  // namespace quillmark
