// The INI file as a file opened for writing: a RecordSink over a descriptor
// that keeps the file to whole records. Each record goes out with one
// write(2), continued after a short write. If a write fails, a regular file
// is cut back to its last whole record and every later record is refused.
// Nothing is ever written twice.
#ifndef QUILLMARK_TOOL_OUTPUTFILE_H_
#define QUILLMARK_TOOL_OUTPUTFILE_H_

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string_view>

#include "devicelist/RecordSink.h"

namespace quillmark {

class OutputFile : public RecordSink {
 public:
  OutputFile() = default;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens `path` for writing, created if missing but not yet truncated;
  // returns false if it cannot be opened.
  bool Open(const std::filesystem::path& path);

  // Takes an exclusive lock on a regular file without waiting, held until
  // the file is closed. Returns false only if another process holds a lock
  // on it; where the file system has no locks, the file goes unlocked.
  bool Lock();

  // Empties a regular file; returns false if that fails.
  bool Truncate();

  // Writes `record` whole, or nothing of it; throws std::system_error if it
  // cannot, and for every record after a failed one.
  void Append(std::string_view record) override;

  // Closes the file; returns false if that fails.
  bool Close();

 protected:
  // One write(2): the seam where tests inject faults.
  virtual ssize_t WriteSome(const char* data, std::size_t size);

 private:
  int fd_ = -1;
  bool regular_ = false;
  bool failed_ = false;
  off_t written_ = 0;  // the bytes of the whole records written
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_OUTPUTFILE_H_
