// The list as a file opened for reading: a ByteSource over a descriptor.
#ifndef QUILLMARK_TOOL_INPUTFILE_H_
#define QUILLMARK_TOOL_INPUTFILE_H_

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "devicelist/ByteSource.h"
#include "tool/Interrupts.h"
#include "tool/Posix.h"

namespace quillmark {

class InputFile : public ByteSource {
 public:
  // Opens `path` for reading; "-", like a path that names one of the run's
  // descriptors (/dev/stdin, /dev/fd/N), is read through that descriptor
  // from its offset. A FIFO waits for a writer, and throws as OpenFifo does.
  // Throws Failure kCannotOpenInput if the list cannot be opened.
  void Open(const std::filesystem::path& path, const Interrupts& interrupts);

  // Returns whether the list is a regular file, which has all its lines at
  // once: no interrupt can cut it short.
  bool IsRegular() const { return S_ISREG(status_.st_mode); }

  // Returns whether the list is typed at a terminal.
  bool IsTerminal() const;

  // Returns the status of the file open, to tell it from the output; null
  // for a character device, which, like a terminal, may serve as both ends
  // of a run.
  const struct stat* identity() const {
    return S_ISCHR(status_.st_mode) ? nullptr : &status_;
  }

  // One read(2), repeated if a signal interrupts it. Throws Failure
  // kCannotRead if it fails.
  std::size_t Read(char* buffer, std::size_t size) override;

  std::uint64_t Size() const override {
    return IsRegular() ? static_cast<std::uint64_t>(status_.st_size) : 0;
  }

 private:
  Fd fd_;
  struct stat status_ {};
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INPUTFILE_H_
