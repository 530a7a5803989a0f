// What a file has besides its content, for the work file that is to take an
// output's place: owner, group, mode, POSIX ACL (the extended attribute
// system.posix_acl_access) and the user's own extended attributes (user.*).
#ifndef QUILLMARK_TOOL_ATTRIBUTES_H_
#define QUILLMARK_TOOL_ATTRIBUTES_H_

#include <sys/stat.h>

namespace quillmark {

// Gives `work` all that the old output, open on `old_fd` with status `old`,
// has besides its content; returns false unless it has it all exactly.
bool KeepAttributes(int work, int old_fd, const struct stat& old);

// Gives `work`, a new output in `folder`, what open(2) with O_CREAT and mode
// 0666 gives a file there: the folder's default ACL, or else 0666 less the
// umask. Returns false if it cannot.
bool GiveNewFileAttributes(int work, int folder);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_ATTRIBUTES_H_
