// The work path beside an output file, ".<name>.quillmark-new", claimed by
// one run at a time: made by this run with O_EXCL, mode 0600, and locked for
// as long as the run holds it. A run that replaces its output writes the
// records there and renames it over the output; any other run on a regular
// output holds it only as a lock. Either way it is removed on every failure,
// and only ever if it is still the file this run made.
//
// A leftover of a run that was killed, a regular file with one link that no
// run holds, owned by the running user or by the output's owner (whom a
// killed run may already have given it), is removed and made anew. Anything
// else there is never written, truncated, chowned, renamed or removed.
#ifndef QUILLMARK_TOOL_WORKFILE_H_
#define QUILLMARK_TOOL_WORKFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "tool/Posix.h"

namespace quillmark {

// Returns the work name for the output named `name`: ".<name>.quillmark-new"
// where that fits in 255 bytes; else `name` cut, and a hash of the whole
// name, so that two long names never share one.
std::string WorkName(std::string_view name);

// Returns whether `a` and `b` are the same file.
bool SameFile(const struct stat& a, const struct stat& b);

// Opens `name` in `folder` with `flags`, never following a link or waiting;
// returns it if it is still the file `expected`, and otherwise no
// descriptor, with errno set (ESTALE if another file has taken its place).
Fd OpenSame(int folder, const std::string& name, const struct stat& expected,
            int flags);

// The same, to hold a lock on: for reading, or, for a file that may only be
// written, for writing.
Fd OpenToLock(int folder, const std::string& name, const struct stat& expected);

// Locks `fd` against other runs. Throws std::invalid_argument kOutputInUse
// if one holds it; a file system without locks leaves it unlocked.
void LockOrRefuse(Posix& posix, int fd);

class WorkFile {
 public:
  // Claims `name` in `folder` for an output owned by `owner`; `list`, if not
  // null, is the list's status. Throws kCannotOpenOutput if anything but a
  // leftover stands there, kOutputInUse if another run holds it, and
  // kSameFile if it is the list. If it cannot be made, claimed() is false and
  // error() says why.
  WorkFile(Posix& posix, int folder, std::string name, uid_t owner,
           const struct stat* list);
  // Removes it, unless Commit succeeded.
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  bool claimed() const { return fd_.valid(); }
  int error() const { return error_; }
  int fd() const { return fd_.get(); }

  // Syncs and closes the work file, renames it to `target` in its folder and
  // syncs the folder, checking each step; then `output`, the path the run
  // was given, must name it. Throws kCannotWrite if any of that fails, as
  // Failure with the errno of the step; before the rename, the work file is
  // then removed.
  void Commit(const char* target, const std::filesystem::path& output);

 private:
  // Creates the work file, or removes a leftover that stands in its way;
  // returns false when it is to be tried again.
  bool TryClaim(uid_t owner, const struct stat* list);
  // Removes the work file if it is still the one this run made.
  void Discard() noexcept;
  // Returns whether the work path names the file this run made.
  bool StillThere() const;

  Posix& posix_;
  int folder_;
  std::string name_;
  Fd fd_;  // open and locked while the run holds the work file
  struct stat made_ {};
  int error_ = 0;
  bool committed_ = false;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_WORKFILE_H_
