// The work path beside an output, claimed by one run at a time: made with
// O_EXCL and locked, to replace the output or only as a claim; removed on
// failure if it is still this run's. A killed run's leftover (a regular file
// with one link, of this user or the output's owner, that no run holds) is
// removed, or named if it may not be; anything else there refuses the run.
#ifndef QUILLMARK_POSIX_WORKFILE_H_
#define QUILLMARK_POSIX_WORKFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

#include "posix/Posix.h"

namespace quillmark {

// Returns ".<name>.quillmark-new" where that fits in 255 bytes; else `name`
// cut, with a hash of the whole, so that two long names never share one.
std::string WorkName(std::string_view name);

// Returns `name` in `folder` opened with `flags`, not following a link, if it
// is `expected`; else none, with errno set (ESTALE for another file).
Fd OpenSame(int folder, const std::string& name, const struct stat& expected,
            int flags);

// Locks `fd` against other runs. Throws std::invalid_argument kOutputInUse
// if one holds it; a file system without locks leaves it unlocked.
void LockOrRefuse(Posix& posix, int fd);

class WorkFile {
 public:
  // Claims `name` in `folder`, shown as `shown`, for an output of `owner`,
  // made with `mode`; `list` is the list's status, or null. Throws
  // kOutputInUse, kSameFile, kLeftover, and kCannotOpenOutput for anything
  // else there, or as Failure with the errno if it cannot be made.
  WorkFile(Posix& posix, int folder, std::string name, std::string shown,
           uid_t owner, mode_t mode, const struct stat* list);
  ~WorkFile() { Discard(); }  // removes it, unless Commit succeeded
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  int fd() const { return fd_.get(); }

  // Gives it the owner, group, mode, ACL and user.* attributes of `old`, open
  // on `old_fd`. Throws Failure kCannotOpenOutput unless it has them all.
  void Adopt(int old_fd, const struct stat& old);

  // Syncs, closes and renames it to `target`, checks `target` and syncs the
  // folder. Throws Failure kCannotWrite, before the rename removing it.
  void Commit(const char* target);

 private:
  bool TryClaim(uid_t owner, mode_t mode, const struct stat* list);
  bool Names(const char* name, const struct stat& file) const;
  void Discard() noexcept;

  Posix& posix_;
  int folder_;
  std::string name_;
  std::string shown_;
  Fd fd_;  // open and locked while the run holds it
  struct stat made_ {};
  bool committed_ = false;
};

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_WORKFILE_H_
