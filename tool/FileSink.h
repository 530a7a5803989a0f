// Records on their way to a descriptor, never part of one:
//  - Blocks gathers records, made in its own room, into blocks of whole
//    records, and passes each block on as one unit; or each record, for an
//    output that is to see it at once.
//  - FileSink writes each unit it is given with as many write(2) calls as it
//    takes. After a failed write, a regular file is cut back to the end of
//    its last whole unit, and every later unit is refused.
//  - Spool keeps units outside the output, in memory (a memfd), until the
//    whole list is done, and then passes them on as they came.
#ifndef QUILLMARK_TOOL_FILESINK_H_
#define QUILLMARK_TOOL_FILESINK_H_

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "devicelist/RecordSink.h"
#include "tool/Posix.h"

namespace quillmark {

// Where whole units go: a block of records, or one.
class UnitSink {
 public:
  virtual ~UnitSink() = default;
  // Writes `unit` whole; throws Failure kCannotWrite if it cannot.
  virtual void Append(std::string_view unit) = 0;
};

class FileSink : public UnitSink {
 public:
  // Writes to `fd`. With `cut_back`, `fd` is a regular file that this run
  // alone writes, from its offset on, or from its end if it appends.
  FileSink(Posix& posix, int fd, bool cut_back);

  // Writes `unit` whole; throws Failure kCannotWrite if it cannot, and for
  // every unit after a failed one.
  void Append(std::string_view unit) override;

 private:
  // Cuts a regular file back to its last whole unit, refuses all units to
  // come, and throws Failure kCannotWrite with `error`.
  [[noreturn]] void Stop(int error);

  Posix& posix_;
  int fd_;
  bool cut_back_;
  off_t written_ = 0;  // where the last whole unit ends, if cut back
  bool failed_ = false;
};

class Blocks : public RecordSink {
 public:
  static constexpr std::size_t kSize = std::size_t{1} << 20;

  // Passes blocks of up to kSize bytes to `next`, or, `each_record`, every
  // record as it comes; a longer record is a block of its own.
  explicit Blocks(UnitSink& next, bool each_record = false);

  char* Room(std::size_t size) override;
  void Append(std::string_view record) override;

  // Passes on what is gathered.
  void Flush();

 private:
  UnitSink& next_;
  bool each_record_;
  std::unique_ptr<char[]> block_;
  std::size_t capacity_ = kSize;
  std::size_t used_ = 0;
};

class Spool : public UnitSink {
 public:
  // Throws Failure kCannotWrite if no memfd can be had.
  explicit Spool(Posix& posix);

  // Keeps `unit`; throws Failure kCannotWrite if it cannot.
  void Append(std::string_view unit) override;

  // Passes every unit kept, in order, to `out`; throws what `out` throws,
  // and Failure kCannotWrite if the spool cannot be read.
  void CopyTo(UnitSink& out) const;

 private:
  Fd fd_;
  FileSink sink_;
  std::vector<std::size_t> units_;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_FILESINK_H_
