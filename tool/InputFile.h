// A file opened for reading, as a stream buffer: read(2) into one block of
// its own, with the end of the file final once seen (a terminal is not asked
// again after its Ctrl-D) and a failed read thrown as std::system_error, as
// the standard file buffer throws its own failure.
#ifndef QUILLMARK_TOOL_INPUTFILE_H_
#define QUILLMARK_TOOL_INPUTFILE_H_

#include <cstddef>
#include <filesystem>
#include <streambuf>
#include <string_view>
#include <vector>

namespace quillmark {

class InputFile : public std::streambuf {
 public:
  explicit InputFile(std::size_t block_size = 65536);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading; returns false if it cannot be opened.
  bool Open(const std::filesystem::path& path);

  // Returns the first `n` unread bytes, or fewer if the file ends sooner,
  // without consuming them; waits for them as a read would. Throws
  // std::system_error if a read fails. `n` may not exceed the block size.
  std::string_view Peek(std::size_t n);

 protected:
  int_type underflow() override;

 private:
  // Appends what one read(2) gives to the block; returns false at the end.
  bool ReadMore();

  int fd_ = -1;
  bool ended_ = false;
  std::vector<char> block_;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INPUTFILE_H_
