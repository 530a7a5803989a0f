#include "tool/OutputFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace quillmark {

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
  written_ = 0;
  return true;
}

void OutputFile::Append(std::string_view record) {
  if (failed_) {
    throw std::system_error(EIO, std::generic_category(),
                            "write after a failure");
  }
  for (std::size_t done = 0; done < record.size();) {
    const ssize_t n = WriteSome(record.data() + done, record.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const int error = n < 0 ? errno : EIO;
    // A record cut short would be read as a corrupt or forged one: the file
    // goes back to its last whole record, and the rest is never retried.
    failed_ = true;
    if (regular_) (void)::ftruncate(fd_, written_);
    throw std::system_error(error, std::generic_category(), "write");
  }
  written_ += static_cast<off_t>(record.size());
}

bool OutputFile::Close() {
  const int fd = fd_;
  fd_ = -1;
  return ::close(fd) == 0;
}

ssize_t OutputFile::WriteSome(const char* data, std::size_t size) {
  return ::write(fd_, data, size);
}

}  // namespace quillmark
