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

  // One read(2), repeated if a signal interrupts it. Throws
  // std::system_error if it fails.
  std::size_t Read(char* buffer, std::size_t size) override;

 private:
  int fd_ = -1;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INPUTFILE_H_
