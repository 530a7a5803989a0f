#include "posix/Output.h"

#include <algorithm>
#include <cerrno>

#include "posix/Failure.h"
#include "posix/FileMessages.h"

namespace quillmark {

FileSink::FileSink(Posix& posix, int fd, bool cut_back)
    : posix_(posix), fd_(fd) {
  if (!cut_back) return;
  // An appending descriptor writes at the end, wherever its offset is.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) {
    written_ = ::lseek(fd_, 0, (flags & O_APPEND) != 0 ? SEEK_END : SEEK_CUR);
  }
}

void FileSink::Append(std::string_view unit) {
  const int error = failed_ ? EIO : WriteAll(posix_, fd_, unit);
  if (error == 0) {
    if (written_ >= 0) written_ += std::ssize(unit);
    return;
  }
  // Should the cut fail too, the write's error is still the one to report.
  if (!failed_ && written_ >= 0) {
    [[maybe_unused]] const int cut = ::ftruncate(fd_, written_);
  }
  failed_ = true;
  Fail(file_messages::kCannotWrite, error);
}

Output::Output(OutputPlan plan, const struct stat* list,
               const Interrupted& interrupted, Posix& posix)
    : posix_(posix),
      plan_(std::move(plan)),
      block_(std::make_unique_for_overwrite<char[]>(kBlock)) {
  Open(list, interrupted);
  if (plan_.way == OutputPlan::kReplace ||
      plan_.way == OutputPlan::kEachRecord) {
    sink_.emplace(posix_, work_ ? work_->fd() : out_.get(), false);
  }
}

char* Output::Room(std::size_t size) {
  if (used_ + size > capacity_) {
    Flush();
    if (size > capacity_) {  // a longer record is a block of its own
      block_ = std::make_unique_for_overwrite<char[]>(size);
      capacity_ = size;
    }
  }
  return block_.get() + used_;
}

void Output::Append(std::string_view record) {
  // A record made in the room is in its place already.
  if (record.data() != block_.get() + used_) {
    std::ranges::copy(record, Room(record.size()));
  }
  used_ += record.size();
  if (plan_.way == OutputPlan::kEachRecord) Flush();
}

void Output::Flush() {
  const std::string_view block(block_.get(), std::exchange(used_, 0));
  if (block.empty()) return;
  if (sink_) {
    sink_->Append(block);
  } else {
    kept_.emplace_back(block);
  }
}

void Output::Open(const struct stat* list, const Interrupted& interrupted) {
  const std::optional<struct stat>& old = plan_.old;
  if (plan_.descriptor.valid()) {
    out_ = std::move(plan_.descriptor);
  } else if (plan_.way == OutputPlan::kEachRecord) {
    // A FIFO or device, by its path again: still the file that was planned.
    constexpr int kFlags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
    const char* const path = plan_.path.c_str();
    out_.Reset(S_ISFIFO(old->st_mode) ? OpenFifo(path, kFlags, interrupted)
                                      : ::open(path, kFlags));
    struct stat opened;
    if (!out_.valid()) Fail(file_messages::kCannotOpenOutput);
    if (::fstat(out_.get(), &opened) != 0 || !SameFile(opened, *old)) {
      Refuse(file_messages::kCannotOpenOutput);
    }
  } else if (old) {
    out_ = OpenSame(plan_.folder.get(), plan_.name, *old, O_WRONLY);
    if (!out_.valid()) Fail(file_messages::kCannotOpenOutput);
  }
  // Devices such as /dev/null serve any number of runs at once.
  if (out_.valid() && !S_ISCHR(old->st_mode)) LockOrRefuse(posix_, out_.get());
  if (plan_.folder.valid() && plan_.regular()) ClaimWorkPath(list);
  if (plan_.way != OutputPlan::kReplace || !old) return;
  try {
    work_->Adopt(out_.get(), *old);
  } catch (const Failure&) {
    // An owner or attribute that the work file cannot have: in place.
    work_.reset();
    plan_.way = OutputPlan::kInPlace;
  }
}

void Output::ClaimWorkPath(const struct stat* list) {
  const std::string name = WorkName(plan_.name);
  try {
    // A new output gets the umask or default ACL, as open(2) gives them.
    work_.emplace(posix_, plan_.folder.get(), name,
                  (plan_.folder_path / name).string(),
                  plan_.old ? plan_.old->st_uid : ::geteuid(),
                  plan_.old ? 0600 : 0666, list);
  } catch (const Failure& failure) {
    // Without it, a replacement is written in place, unless there is no room.
    const int error = failure.code().value();
    if (plan_.way != OutputPlan::kReplace) return;
    if (error == ENOSPC || error == EDQUOT || error == EROFS) {
      Fail(file_messages::kCannotWrite, error);
    }
    if (!plan_.old) throw;
    plan_.way = OutputPlan::kInPlace;
  }
}

void Output::Commit() {
  Flush();
  off_t size = 0;
  switch (plan_.way) {
    case OutputPlan::kReplace: {
      // A new output may have been made since, by another run's
      // redirection of its standard output, and be held.
      struct stat there;
      if (!plan_.old &&
          ::fstatat(plan_.folder.get(), plan_.name.c_str(), &there,
                    AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISREG(there.st_mode)) {
        out_ = OpenSame(plan_.folder.get(), plan_.name, there, O_WRONLY);
        if (!out_.valid()) Fail(file_messages::kCannotOpenOutput);
        LockOrRefuse(posix_, out_.get());
      }
      work_->Commit(plan_.name.c_str());
      return;
    }
    case OutputPlan::kInPlace:
      // Sized first: ulimit -f then leaves it as it was (FAT: emptied).
      for (const std::string& block : kept_) size += std::ssize(block);
      if (::ftruncate(out_.get(), size) != 0 &&
          (errno == EFBIG || ::ftruncate(out_.get(), 0) != 0)) {
        Fail(file_messages::kCannotWrite);
      }
      [[fallthrough]];
    case OutputPlan::kAtOffset: {
      FileSink out(posix_, out_.get(), true);
      for (const std::string& block : kept_) out.Append(block);
      break;
    }
    case OutputPlan::kEachRecord:
      break;
  }
  // EINVAL: a pipe, FIFO or terminal, which cannot be synced.
  if (posix_.Sync(out_.get()) != 0 && errno != EINVAL) {
    Fail(file_messages::kCannotWrite);
  }
  if (posix_.Close(out_.Release()) != 0) Fail(file_messages::kCannotWrite);
}

}  // namespace quillmark
