// The list as a file opened for reading: a ByteSource over a descriptor.
#ifndef QUILLMARK_POSIX_INPUTFILE_H_
#define QUILLMARK_POSIX_INPUTFILE_H_

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "devicelist/ByteSource.h"
#include "posix/Posix.h"

namespace quillmark {

class InputFile : public ByteSource {
 public:
  // Opens `path`, or the descriptor it names ("-", /dev/fd/N), for reading,
  // a FIFO as OpenFifo does. Throws Failure kCannotOpenInput if it cannot.
  void Open(const std::filesystem::path& path, const Interrupted& interrupted);

  // Whether it has all its lines at once, which no interrupt can cut short.
  bool IsRegular() const { return S_ISREG(status_.st_mode); }

  bool IsTerminal() const { return ::isatty(fd_.get()) == 1; }

  // The list's status, to tell it from the output; null for a character
  // device, which may serve as both ends of a run.
  const struct stat* identity() const {
    return S_ISCHR(status_.st_mode) ? nullptr : &status_;
  }

  // One read(2); throws Failure kCannotRead if it fails.
  std::size_t Read(char* buffer, std::size_t size) override;

  std::uint64_t Size() const override {
    return IsRegular() ? static_cast<std::uint64_t>(status_.st_size) : 0;
  }

 private:
  Fd fd_;
  struct stat status_ {};
};

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_INPUTFILE_H_
