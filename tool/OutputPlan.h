// How an output is to be written, decided once, before anything is touched.
// The file that the output's path leads to is found through the kernel, so
// that a symbolic link the kernel refuses to follow (fs.protected_symlinks)
// is refused here too. Records reach it in one of three ways:
//  - replaced: a work file beside the output takes its place by a rename
//    once the whole list is done;
//  - in place, where a rename would lose what the output is: it is not a
//    regular file, has several names, is a mount point, has an owner a new
//    file could not keep, or lies in a folder the user may not write;
//  - through standard output, when the output is the regular file or pipe
//    that descriptor 1 already is, and always for "-".
// A regular output is locked against other runs, whatever the way, and is
// written only once the whole list is done.
#ifndef QUILLMARK_TOOL_OUTPUTPLAN_H_
#define QUILLMARK_TOOL_OUTPUTPLAN_H_

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tool/Posix.h"

namespace quillmark {

struct OutputPlan {
  enum Way { kReplace, kInPlace, kStandardOutput };

  Way way = kReplace;
  std::filesystem::path path;  // as the run was given it
  // The output as it stands, if there is one.
  std::optional<struct stat> old;
  // For a regular output, or one to be made: the folder that holds it, open
  // for reading where it may be, and its name there and its work file's.
  // Not set for standard output in a folder that cannot be found.
  Fd folder;
  std::string name;
  std::string work_name;

  bool regular() const { return !old || S_ISREG(old->st_mode); }
};

// Returns how the output at `path` is to be written. `list` is the list's
// status, or null for a device that may be both ends of a run. Throws
// kCannotOpenOutput if the path leads nowhere that can be written (as
// Failure where a system call said so), and std::invalid_argument
// kAlsoStandardError and kSameFile.
OutputPlan PlanOutput(const std::filesystem::path& path,
                      const struct stat* list);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_OUTPUTPLAN_H_
