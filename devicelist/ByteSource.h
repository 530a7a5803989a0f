// Where the device list's bytes come from: a file, a pipe, or a test's fake.
#ifndef QUILLMARK_DEVICELIST_BYTESOURCE_H_
#define QUILLMARK_DEVICELIST_BYTESOURCE_H_

#include <cstddef>
#include <cstdint>

namespace quillmark {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer`; returns how many, 0 only at the
  // end of the list. Throws (any std::exception) if a read fails.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;

  // Returns how many bytes the list holds where that is known before it is
  // read, as for a regular file; else 0.
  virtual std::uint64_t Size() const { return 0; }
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_BYTESOURCE_H_
