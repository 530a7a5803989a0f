#include "posix/InputFile.h"

#include <sys/stat.h>

#include <cerrno>

#include "posix/Failure.h"
#include "posix/FileMessages.h"

namespace quillmark {

void InputFile::Open(const std::filesystem::path& path,
                     const Interrupted& interrupted) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC;
  const int named = path == "-" ? STDIN_FILENO : NamedDescriptor(path);
  struct stat named_file;
  const bool fifo = named < 0 && ::stat(path.c_str(), &named_file) == 0 &&
                    S_ISFIFO(named_file.st_mode);
  fd_ = named >= 0 ? Duplicate(named)
        : fifo     ? Fd(OpenFifo(path.c_str(), kFlags, interrupted))
                   : Fd(::open(path.c_str(), kFlags));
  if (!fd_.valid() || ::fstat(fd_.get(), &status_) != 0) {
    Fail(file_messages::kCannotOpenInput);
  }
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  ssize_t n;
  do {
    n = ::read(fd_.get(), buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) Fail(file_messages::kCannotRead);
  return static_cast<std::size_t>(n);
}

}  // namespace quillmark
