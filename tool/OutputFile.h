// The INI file, as a RecordSink. Records reach it in one of three ways,
// chosen when it is opened:
//  - Replaced: they go in large blocks to a hidden work file beside the
//    output (".<name>.quillmark-new"), which Commit renames over it. Until
//    then the output holds what it held; a run that fails removes the work
//    file and leaves the output as it was.
//  - In place, where a rename would be wrong or impossible: the output is not
//    a regular file, has several names, is a mount point, has an owner, ACL
//    or user attribute that a new file could not keep, or no work file can
//    be made beside it. It is truncated, and each record goes out with one
//    write(2); after a failed write a regular file is cut back to its last
//    whole record.
//  - Through standard output, when the output is the regular file or pipe
//    that descriptor 1 already is: at its offset and in its mode, one write
//    per record; nothing is reopened, renamed or truncated.
// A regular file, or the work file, is locked against other runs for as long
// as the run holds it. Nothing is ever written twice.
#ifndef QUILLMARK_TOOL_OUTPUTFILE_H_
#define QUILLMARK_TOOL_OUTPUTFILE_H_

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "devicelist/RecordSink.h"

namespace quillmark {

// Returns 2 or 1 if `path` names the file that standard error or standard
// output is open on (2 if both are), where that is a regular file or a pipe;
// returns -1 otherwise. Devices such as a terminal may serve as both.
int StandardStreamAt(const std::filesystem::path& path);

class OutputFile : public RecordSink {
 public:
  enum Way { kReplace, kInPlace, kStandardOutput };

  OutputFile() = default;
  // Unless Commit succeeded, removes the work file while it is still locked.
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output at `path` in the way it must be written, and locks it.
  // Throws std::invalid_argument "Cannot open output file for writing." or
  // "Output file is in use by another run.".
  void Open(const std::filesystem::path& path);

  Way way() const { return way_; }

  // Writes `record` whole, or nothing of it; throws std::system_error if it
  // cannot, and for every record after a failed one.
  void Append(std::string_view record) override;

  // Writes what is buffered and puts the records in place: the work file
  // takes the output's place, or the output is closed. Throws
  // std::invalid_argument "Cannot write output file." if that fails.
  void Commit();

 protected:
  // One write(2), and the rename: the seams where tests inject faults.
  virtual ssize_t WriteSome(const char* data, std::size_t size);
  virtual int Rename(const char* from, const char* to);

 private:
  // Makes, locks and empties the work file for the output at `target`, with
  // the old output's owner and permissions if there is one (`old`); returns
  // false if the output must be written in place instead.
  bool OpenWorkFile(const std::filesystem::path& target,
                    const struct stat* old);
  // Removes the work file and closes it.
  void DiscardWorkFile();
  void OpenInPlace(const std::filesystem::path& path);
  void OpenStandardOutput();
  // Locks fd_ against other runs if it is a regular file.
  void LockIfRegular();
  // Writes all of `size` bytes; throws std::system_error if it cannot.
  void WriteAll(const char* data, std::size_t size);
  void Fail(int error);

  int fd_ = -1;
  Way way_ = kInPlace;
  bool regular_ = false;
  bool failed_ = false;
  bool committed_ = false;
  off_t written_ = 0;  // the bytes of the whole records written in place
  std::string work_path_;
  std::string target_path_;
  std::unique_ptr<char[]> block_;  // what is not yet written to the work file
  std::size_t buffered_ = 0;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_OUTPUTFILE_H_
