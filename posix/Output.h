// The INI file, as a RecordSink: records gather in blocks of whole records,
// and reach it in the way that its plan says. The kernel finds it, by a path
// opened with O_PATH and, for a regular file or FIFO, its folder's entry.
// Until Commit, a regular output holds what it held, or is not there.
#ifndef QUILLMARK_POSIX_OUTPUT_H_
#define QUILLMARK_POSIX_OUTPUT_H_

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devicelist/RecordSink.h"
#include "posix/Posix.h"
#include "posix/WorkFile.h"

namespace quillmark {

// Writes whole units (blocks of records) to a descriptor. After a failed
// write, a regular file is cut back to its last whole unit, and no more go.
class FileSink {
 public:
  // With `cut_back`, `fd` is a regular file that this run alone writes, from
  // its offset on, or from its end if it appends.
  FileSink(Posix& posix, int fd, bool cut_back);

  // Writes `unit` whole; throws Failure kCannotWrite if it cannot.
  void Append(std::string_view unit);

 private:
  Posix& posix_;
  int fd_;
  off_t written_ = -1;  // where the last whole unit ends, if cut back
  bool failed_ = false;
};

struct OutputPlan {
  enum Way {
    kReplace,     // a work file (WorkFile.h) is renamed over the output
    kInPlace,     // a rename would lose names or a mount: kept, then written
    kAtOffset,    // a regular file that a descriptor names: likewise, there
    kEachRecord,  // anything else (a terminal, a FIFO, a pipe): at once
  };

  Way way = kReplace;
  std::filesystem::path path;      // as the run was given it
  std::optional<struct stat> old;  // the output as it stands, if it does
  bool standard_output = false;    // the records go where standard output goes
  Fd descriptor;                   // a copy of the descriptor the output names
  // The folder of a regular output or FIFO, open for reading where it may
  // be, and the output's name there; none where a descriptor's is not found.
  Fd folder;
  std::filesystem::path folder_path;
  std::string name;

  bool regular() const { return !old || S_ISREG(old->st_mode); }
};

// Returns how the output at `path` is to be written. `list` is the list's
// status, or null for a device that may be both ends of a run. Throws
// kCannotOpenOutput if the path leads nowhere that may be written, as
// Failure where a system call said so; and std::invalid_argument
// kAlsoStandardError and kSameFile.
OutputPlan PlanOutput(const std::filesystem::path& path,
                      const struct stat* list);

class Output : public RecordSink {
 public:
  static constexpr std::size_t kBlock = std::size_t{1} << 20;

  // Opens the output that `plan` describes and locks it against other runs,
  // unless it is a character device; `list` is the list's status, or null.
  // Throws kCannotOpenOutput, kOutputInUse, kLeftover, kSameFile,
  // kInterruptedWaiting and, with no room for a work file, kCannotWrite.
  Output(OutputPlan plan, const struct stat* list,
         const Interrupted& interrupted, Posix& posix = Posix::Default());

  char* Room(std::size_t size) override;
  void Append(std::string_view record) override;

  // Puts the records in place and syncs them. Throws Failure kCannotWrite
  // with the errno of the failed step, and kOutputInUse if another run has
  // made and locked a new output meanwhile.
  void Commit();

  const OutputPlan& plan() const { return plan_; }

 private:
  void Open(const struct stat* list, const Interrupted& interrupted);
  void ClaimWorkPath(const struct stat* list);
  void Flush();

  Posix& posix_;
  OutputPlan plan_;
  Fd out_;  // the output itself, locked, unless it is new
  std::optional<WorkFile> work_;
  std::optional<FileSink> sink_;   // where blocks go, unless they are kept
  std::vector<std::string> kept_;  // the blocks, until the list is done
  std::unique_ptr<char[]> block_;
  std::size_t capacity_ = kBlock;
  std::size_t used_ = 0;
};

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_OUTPUT_H_
