#include "tool/FileSink.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "tool/Failure.h"
#include "tool/Messages.h"

namespace quillmark {

FileSink::FileSink(Posix& posix, int fd, bool cut_back)
    : posix_(posix), fd_(fd), cut_back_(cut_back) {
  if (!cut_back_) return;
  // An appending descriptor writes at the end, wherever its offset is.
  struct stat status;
  const int flags = ::fcntl(fd_, F_GETFL);
  written_ = flags >= 0 && (flags & O_APPEND) != 0
                 ? (::fstat(fd_, &status) == 0 ? status.st_size : -1)
                 : ::lseek(fd_, 0, SEEK_CUR);
  cut_back_ = written_ >= 0;
}

void FileSink::Append(std::string_view unit) {
  if (failed_) Stop(EIO);
  while (!unit.empty()) {
    const ssize_t n = posix_.Write(fd_, unit.data(), unit.size());
    if (n > 0) {
      unit.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      Stop(n < 0 ? errno : EIO);
    }
  }
  if (cut_back_) written_ = ::lseek(fd_, 0, SEEK_CUR);
}

void FileSink::Stop(int error) {
  // A record cut short would be read as a corrupt or forged one; the rest
  // is never retried, so that nothing is written twice.
  if (!failed_ && cut_back_) {
    // Should the cut fail too, the write's error is still the one to report.
    [[maybe_unused]] const int cut = ::ftruncate(fd_, written_);
  }
  failed_ = true;
  Fail(messages::kCannotWrite, error);
}

Blocks::Blocks(UnitSink& next, bool each_record)
    : next_(next),
      each_record_(each_record),
      block_(std::make_unique_for_overwrite<char[]>(kSize)) {}

char* Blocks::Room(std::size_t size) {
  if (used_ + size > capacity_) {
    Flush();
    if (size > capacity_) {
      block_ = std::make_unique_for_overwrite<char[]>(size);
      capacity_ = size;
    }
  }
  return block_.get() + used_;
}

void Blocks::Append(std::string_view record) {
  // A record made elsewhere is copied into the room; one made there is in
  // its place already.
  if (record.data() != block_.get() + used_) {
    std::ranges::copy(record, Room(record.size()));
  }
  used_ += record.size();
  if (each_record_) Flush();
}

void Blocks::Flush() {
  if (used_ == 0) return;
  next_.Append(std::string_view(block_.get(), used_));
  used_ = 0;
}

Spool::Spool(Posix& posix)
    : fd_(::memfd_create("quillmark-spool", MFD_CLOEXEC)),
      sink_(posix, fd_.get(), false) {
  if (!fd_.valid()) Fail(messages::kCannotWrite);
}

void Spool::Append(std::string_view unit) {
  sink_.Append(unit);
  units_.push_back(unit.size());
}

void Spool::CopyTo(UnitSink& out) const {
  const std::size_t largest =
      units_.empty() ? 0 : *std::max_element(units_.begin(), units_.end());
  const auto buffer = std::make_unique_for_overwrite<char[]>(largest);
  off_t offset = 0;
  for (const std::size_t unit : units_) {
    for (std::size_t done = 0; done < unit;) {
      const ssize_t n = ::pread(fd_.get(), buffer.get() + done, unit - done,
                                offset + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(messages::kCannotWrite, n < 0 ? errno : EIO);
      done += static_cast<std::size_t>(n);
    }
    out.Append(std::string_view(buffer.get(), unit));
    offset += static_cast<off_t>(unit);
  }
}

}  // namespace quillmark
