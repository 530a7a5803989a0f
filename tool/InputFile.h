// The list as a file opened for reading: a ByteSource over a descriptor.
#ifndef QUILLMARK_TOOL_INPUTFILE_H_
#define QUILLMARK_TOOL_INPUTFILE_H_

#include <cstddef>
#include <filesystem>

#include "devicelist/ByteSource.h"

namespace quillmark {

class InputFile : public ByteSource {
 public:
  InputFile() = default;
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path` for reading; returns false if it cannot be opened.
  bool Open(const std::filesystem::path& path);

  // Returns whether the list is a regular file, which has all its lines at
  // once: no interrupt can cut it short.
  bool IsRegular() const;

  // Returns whether `path` names the file that this one is open on, unless
  // that is a character device, which, like a terminal, may serve as both
  // ends of a run.
  bool IsFileAt(const std::filesystem::path& path) const;

  // One read(2), repeated if a signal interrupts it. Throws
  // std::system_error if it fails.
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  int fd_ = -1;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INPUTFILE_H_
