// The INI file, as a RecordSink. How it is written is planned once, before
// anything is written. The kernel finds the output: its path is opened with
// O_PATH, so that fs.protected_symlinks applies, and a file found through a
// link counts only if its folder's entry, looked up from the folder's
// descriptor, is the file the kernel opened. Records gather in blocks of
// whole records, which reach the output in one of four ways:
//  - replaced: a work file beside the output (WorkFile.h) takes them, and
//    Commit renames it over the output;
//  - in place, where a rename would lose what the output is (it has several
//    names, is a mount point, or the work file cannot have its owner or lie
//    in its folder): they are kept in memory, and Commit writes them to it
//    from its start;
//  - at the offset of a descriptor that the run was given, when the output
//    names one (/dev/stdout, /dev/fd/N, "-") or is the regular file or pipe
//    that standard output is: a regular file likewise once the list is done;
//  - a record at a time, to anything else: a terminal, a FIFO, a pipe.
// Until Commit, a regular output holds what it held, or is not there.
#ifndef QUILLMARK_TOOL_OUTPUT_H_
#define QUILLMARK_TOOL_OUTPUT_H_

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devicelist/RecordSink.h"
#include "tool/FileSink.h"
#include "tool/Interrupts.h"
#include "tool/Posix.h"
#include "tool/WorkFile.h"

namespace quillmark {

struct OutputPlan {
  enum Way { kReplace, kInPlace, kAtOffset, kEachRecord };

  Way way = kReplace;
  std::filesystem::path path;      // as the run was given it
  std::optional<struct stat> old;  // the output as it stands, if it does
  bool standard_output = false;    // the records go where standard output goes
  Fd descriptor;                   // a copy of the descriptor the output names
  // The folder of a regular output or FIFO, open for reading where it may
  // be, and the output's name there; not set where the folder of a
  // descriptor's file cannot be found.
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

  // Opens the output that `plan` describes, and locks it against other runs
  // unless it is a character device. `list` is the list's status, or null.
  // Throws kCannotOpenOutput, kOutputInUse, kLeftover, kSameFile,
  // kCannotWrite if there is no room for the work file, and
  // kInterruptedWaiting: as Failure where a system call failed, else as
  // std::invalid_argument.
  Output(OutputPlan plan, const struct stat* list, const Interrupts& interrupts,
         Posix& posix = Posix::Default());

  char* Room(std::size_t size) override;
  void Append(std::string_view record) override;

  // Puts the records in place and syncs them. Throws Failure kCannotWrite
  // with the errno of the step that failed; a regular output is then as it
  // was, unless writing it in place failed, which leaves it whole records.
  // Throws kOutputInUse if another run has made and locked a new output
  // meanwhile.
  void Commit();

  const OutputPlan& plan() const { return plan_; }

 private:
  void Open(const struct stat* list, const Interrupts& interrupts);
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

#endif  // QUILLMARK_TOOL_OUTPUT_H_
