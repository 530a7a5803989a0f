// Writes whole units, a block of records or one record, to a descriptor.
// After a failed write, a regular file is cut back to the end of its last
// whole unit, since a record cut short would be read as a corrupt or forged
// one, and every later unit is refused, so that nothing is written twice.
#ifndef QUILLMARK_TOOL_FILESINK_H_
#define QUILLMARK_TOOL_FILESINK_H_

#include <sys/types.h>

#include <string_view>

#include "tool/Posix.h"

namespace quillmark {

class FileSink {
 public:
  // Writes to `fd`. With `cut_back`, `fd` is a regular file that this run
  // alone writes, from its offset on, or from its end if it appends.
  FileSink(Posix& posix, int fd, bool cut_back);

  // Writes `unit` whole; throws Failure kCannotWrite if it cannot, and for
  // every unit after a failed one.
  void Append(std::string_view unit);

 private:
  Posix& posix_;
  int fd_;
  off_t written_ = -1;  // where the last whole unit ends, if cut back
  bool failed_ = false;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_FILESINK_H_
