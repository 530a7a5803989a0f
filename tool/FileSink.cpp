#include "tool/FileSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tool/Failure.h"
#include "tool/Messages.h"

namespace quillmark {

FileSink::FileSink(Posix& posix, int fd, bool cut_back)
    : posix_(posix), fd_(fd) {
  if (!cut_back) return;
  // An appending descriptor writes at the end, wherever its offset is.
  struct stat status;
  const int flags = ::fcntl(fd_, F_GETFL);
  written_ = flags >= 0 && (flags & O_APPEND) != 0
                 ? (::fstat(fd_, &status) == 0 ? status.st_size : -1)
                 : ::lseek(fd_, 0, SEEK_CUR);
}

void FileSink::Append(std::string_view unit) {
  const int error = failed_ ? EIO : WriteAll(posix_, fd_, unit);
  if (error == 0) {
    if (written_ >= 0) written_ += static_cast<off_t>(unit.size());
    return;
  }
  // Should the cut fail too, the write's error is still the one to report.
  if (!failed_ && written_ >= 0) {
    [[maybe_unused]] const int cut = ::ftruncate(fd_, written_);
  }
  failed_ = true;
  Fail(messages::kCannotWrite, error);
}

}  // namespace quillmark
