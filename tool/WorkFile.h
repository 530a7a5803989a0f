// The work path beside an output file, claimed by one run at a time: made by
// this run with O_EXCL and locked for as long as the run holds it. A run
// that replaces its output writes the records there and renames it over the
// output; any other run on a regular output holds it only as a claim. It is
// removed on every failure, and only ever if it is still the file this run
// made.
//
// A leftover of a run that was killed, a regular file with one link that no
// run holds, owned by the running user or by the output's owner (whom a
// killed run may already have given it), is removed and made anew; one that
// this run may not remove is named to the user. Anything else there is never
// written, truncated, chowned, renamed or removed.
#ifndef QUILLMARK_TOOL_WORKFILE_H_
#define QUILLMARK_TOOL_WORKFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>

#include "tool/Posix.h"

namespace quillmark {

// Returns the work name for the output named `name`: ".<name>.quillmark-new"
// where that fits in 255 bytes; else `name` cut, and a hash of the whole
// name, so that two long names never share one.
std::string WorkName(std::string_view name);

// Returns `name` in `folder` opened with `flags`, never following a link or
// waiting, if it is the file `expected`; else no descriptor, with errno set
// (ESTALE if another file has taken its place).
Fd OpenSame(int folder, const std::string& name, const struct stat& expected,
            int flags);

// Locks `fd` against other runs. Throws std::invalid_argument kOutputInUse
// if one holds it; a file system without locks leaves it unlocked.
void LockOrRefuse(Posix& posix, int fd);

class WorkFile {
 public:
  // Claims `name` in `folder`, which the user knows as `shown`, for an output
  // owned by `owner`, and makes it with `mode` as open(2) does; `list`, if
  // not null, is the list's status. Throws kOutputInUse if another run holds
  // it, kSameFile if it is the list, kLeftover if it cannot be removed, and
  // kCannotOpenOutput if anything but a leftover stands there, or, as
  // Failure with the errno of the call, if it cannot be made.
  WorkFile(Posix& posix, int folder, std::string name, std::string shown,
           uid_t owner, mode_t mode, const struct stat* list);
  ~WorkFile();  // removes it, unless Commit succeeded
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  int fd() const { return fd_.get(); }

  // Gives it all that the file open on `old_fd`, with status `old`, has
  // besides its content: owner, group, mode, POSIX ACL and user.*
  // attributes. Throws Failure kCannotOpenOutput unless it has it all.
  void Adopt(int old_fd, const struct stat& old);

  // Syncs and closes it, renames it to `target` in its folder, checks that
  // `target` names it and syncs the folder, each step checked. Throws
  // Failure kCannotWrite with the errno of the step that failed; before the
  // rename, it is then removed.
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

#endif  // QUILLMARK_TOOL_WORKFILE_H_
