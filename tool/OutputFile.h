// A file opened for writing, as a stream buffer that keeps the file to whole
// records. pubsync() ends a record: what is buffered goes out with one
// write(2), continued after a short write. If a write fails, the buffered
// bytes are dropped, a regular file is cut back to its length at the last
// pubsync(), and every later write is refused. Nothing is ever written twice:
// not by a retry, and not when the buffer is destroyed.
#ifndef QUILLMARK_TOOL_OUTPUTFILE_H_
#define QUILLMARK_TOOL_OUTPUTFILE_H_

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <streambuf>
#include <vector>

namespace quillmark {

class OutputFile : public std::streambuf {
 public:
  explicit OutputFile(std::size_t block_size = 65536);
  // Closes the file; bytes written since the last pubsync() are dropped.
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

  // Writes what is buffered and closes the file; returns false if a write
  // failed, now or earlier, or the close did.
  bool Close();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;
  int sync() override;

  // One write(2): the seam where tests inject faults.
  virtual ssize_t WriteSome(const char* data, std::size_t size);

 private:
  bool Flush();
  bool WriteAll(const char* data, std::size_t size);
  void Fail();

  int fd_ = -1;
  bool regular_ = false;
  bool failed_ = false;
  off_t written_ = 0;    // bytes the file holds
  off_t committed_ = 0;  // of which in whole records
  std::vector<char> block_;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_OUTPUTFILE_H_
