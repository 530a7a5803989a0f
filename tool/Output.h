// The INI file, opened in the way its plan says (see OutputPlan.h), as a
// RecordSink:
//  - replaced: records go in blocks to the work file, which has the old
//    output's owner, group, mode, ACL and user attributes, or, for a new
//    output, what open(2) would give a new file there; Commit syncs it and
//    renames it over the output;
//  - a regular file written in place or through standard output: records
//    are kept in a spool outside its folder, and only once the whole list is
//    done does Commit write them to it, in place from its start;
//  - any other file (a terminal, a FIFO, a pipe): each record goes out with
//    one write(2) as it is made.
// Until Commit, a regular output holds what it held, or is not there.
#ifndef QUILLMARK_TOOL_OUTPUT_H_
#define QUILLMARK_TOOL_OUTPUT_H_

#include <sys/stat.h>

#include <memory>

#include "devicelist/RecordSink.h"
#include "tool/Interrupts.h"
#include "tool/OutputPlan.h"
#include "tool/Posix.h"

namespace quillmark {

class Output : public RecordSink {
 public:
  // Puts the records in place and syncs them. Throws kCannotWrite, as
  // Failure with the errno of the step that failed; a regular output is
  // then as it was, unless writing the spool to it failed, which leaves it
  // whole records.
  virtual void Commit() = 0;
};

// Opens the output that `plan` describes, which must outlive it, and locks
// a regular one against other runs. `list` is the list's status, or null.
// Throws kCannotOpenOutput, kOutputInUse, kSameFile, kCannotWrite if there
// is no room for the work file or the spool, and kInterruptedWaiting: as
// Failure where a system call failed, else as std::invalid_argument.
std::unique_ptr<Output> OpenOutput(const OutputPlan& plan,
                                   const struct stat* list,
                                   const Interrupts& interrupts,
                                   Posix& posix = Posix::Default());

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_OUTPUT_H_
