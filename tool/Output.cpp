#include "tool/Output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "tool/Attributes.h"
#include "tool/Failure.h"
#include "tool/FileSink.h"
#include "tool/Messages.h"
#include "tool/WorkFile.h"

namespace quillmark {
namespace {

// Syncs and closes a file written in place. fsync(2) says EINVAL for one
// that cannot be synced: a pipe, a FIFO, a terminal.
void SyncAndClose(Posix& posix, Fd& fd) {
  if (posix.Sync(fd.get()) != 0 && errno != EINVAL) {
    Fail(messages::kCannotWrite);
  }
  if (posix.Close(fd.Release()) != 0) Fail(messages::kCannotWrite);
}

Fd Duplicate(int fd) {
  Fd copy(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!copy.valid()) Fail(messages::kCannotOpenOutput);
  return copy;
}

// Locks the output file `expected`, `name` in `folder` (or standard output,
// if `folder` is not set), against other runs, on a descriptor of its own:
// locks are held per open file, and standard output's may be shared.
Fd LockOutput(Posix& posix, const Fd& folder, const std::string& name,
              const struct stat& expected) {
  if (!folder.valid()) {
    Fd fd = Duplicate(STDOUT_FILENO);
    LockOrRefuse(posix, fd.get());
    return fd;
  }
  Fd fd = OpenToLock(folder.get(), name, expected);
  if (!fd.valid()) Fail(messages::kCannotOpenOutput);
  LockOrRefuse(posix, fd.get());
  return fd;
}

class Replaced : public Output {
 public:
  Replaced(Posix& posix, const OutputPlan& plan, Fd lock,
           std::unique_ptr<WorkFile> work)
      : posix_(posix),
        plan_(plan),
        lock_(std::move(lock)),
        work_(std::move(work)),
        sink_(posix, work_->fd(), false),
        blocks_(sink_) {}

  // Nobody sees the work file before it is whole, so it is written in large
  // blocks rather than a record at a time.
  char* Room(std::size_t size) override { return blocks_.Room(size); }
  void Append(std::string_view record) override { blocks_.Append(record); }

  void Commit() override {
    blocks_.Flush();
    // An output that was not there may have been made since, by another
    // run's redirection of its standard output.
    if (!plan_.old) {
      struct stat there;
      if (::fstatat(plan_.folder.get(), plan_.name.c_str(), &there,
                    AT_SYMLINK_NOFOLLOW) == 0 &&
          S_ISREG(there.st_mode)) {
        lock_ = LockOutput(posix_, plan_.folder, plan_.name, there);
      }
    }
    work_->Commit(plan_.name.c_str(), plan_.path);
  }

 private:
  Posix& posix_;
  const OutputPlan& plan_;
  Fd lock_;
  std::unique_ptr<WorkFile> work_;
  FileSink sink_;
  Blocks blocks_;
};

class Spooled : public Output {
 public:
  // Writes to `fd` once the list is done; from its start if `in_place`.
  // `work` is the work path, held only as a lock, if it could be had.
  Spooled(Posix& posix, Fd lock, std::unique_ptr<WorkFile> work, Fd fd,
          bool in_place)
      : posix_(posix),
        lock_(std::move(lock)),
        work_(std::move(work)),
        fd_(std::move(fd)),
        in_place_(in_place),
        spool_(posix),
        blocks_(spool_) {}

  char* Room(std::size_t size) override { return blocks_.Room(size); }
  void Append(std::string_view record) override { blocks_.Append(record); }

  void Commit() override {
    blocks_.Flush();
    if (in_place_ && ::ftruncate(fd_.get(), 0) != 0) {
      Fail(messages::kCannotWrite);
    }
    FileSink out(posix_, fd_.get(), true);
    spool_.CopyTo(out);
    SyncAndClose(posix_, fd_);
  }

 private:
  Posix& posix_;
  Fd lock_;
  std::unique_ptr<WorkFile> work_;
  Fd fd_;
  bool in_place_;
  Spool spool_;
  Blocks blocks_;
};

class Direct : public Output {
 public:
  Direct(Posix& posix, Fd fd)
      : posix_(posix),
        fd_(std::move(fd)),
        sink_(posix, fd_.get(), false),
        records_(sink_, /*each_record=*/true) {}

  char* Room(std::size_t size) override { return records_.Room(size); }
  void Append(std::string_view record) override { records_.Append(record); }

  void Commit() override { SyncAndClose(posix_, fd_); }

 private:
  Posix& posix_;
  Fd fd_;
  FileSink sink_;
  Blocks records_;
};

// Opens an output that is not a regular file; a FIFO waits for a reader.
Fd OpenDirect(const OutputPlan& plan, const Interrupts& interrupts) {
  if (plan.way == OutputPlan::kStandardOutput) return Duplicate(STDOUT_FILENO);
  constexpr int kFlags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
  Fd fd(S_ISFIFO(plan.old->st_mode)
            ? OpenFifo(plan.path.c_str(), kFlags, interrupts)
            : ::open(plan.path.c_str(), kFlags));
  struct stat opened;
  if (!fd.valid()) Fail(messages::kCannotOpenOutput);
  if (::fstat(fd.get(), &opened) != 0 || !SameFile(opened, *plan.old)) {
    Refuse(messages::kCannotOpenOutput);
  }
  return fd;
}

}  // namespace

std::unique_ptr<Output> OpenOutput(const OutputPlan& plan,
                                   const struct stat* list,
                                   const Interrupts& interrupts, Posix& posix) {
  if (!plan.regular()) {
    return std::make_unique<Direct>(posix, OpenDirect(plan, interrupts));
  }
  Fd lock =
      plan.old ? LockOutput(posix, plan.folder, plan.name, *plan.old) : Fd();
  std::unique_ptr<WorkFile> work;
  if (plan.folder.valid()) {
    work = std::make_unique<WorkFile>(posix, plan.folder.get(), plan.work_name,
                                      plan.old ? plan.old->st_uid : ::geteuid(),
                                      list);
  }
  Fd fd;
  if (plan.way == OutputPlan::kStandardOutput) {
    fd = Duplicate(STDOUT_FILENO);
  } else {
    if (plan.way == OutputPlan::kReplace) {
      const int error = work->error();
      if (error == ENOSPC || error == EDQUOT || error == EROFS) {
        Fail(messages::kCannotWrite, error);
      }
      if (work->claimed() &&
          (plan.old ? KeepAttributes(work->fd(), lock.get(), *plan.old)
                    : GiveNewFileAttributes(work->fd(), plan.folder.get()))) {
        return std::make_unique<Replaced>(posix, plan, std::move(lock),
                                          std::move(work));
      }
      // A folder the user may not write after all, or an owner or
      // attribute that the work file could not be given: in place. The
      // output's own lock keeps other runs off.
      if (!plan.old) Refuse(messages::kCannotOpenOutput);
      work.reset();
    }
    fd = OpenSame(plan.folder.get(), plan.name, *plan.old, O_WRONLY);
    if (!fd.valid()) Fail(messages::kCannotOpenOutput);
  }
  return std::make_unique<Spooled>(posix, std::move(lock), std::move(work),
                                   std::move(fd),
                                   plan.way != OutputPlan::kStandardOutput);
}

}  // namespace quillmark
