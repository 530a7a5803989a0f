// Helpers shared by the fuzz targets: a check that stops the run with a
// message, and a reader that cuts strings off the fuzz input.
#ifndef QUILLMARK_FUZZ_FUZZ_UTIL_H_
#define QUILLMARK_FUZZ_FUZZ_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                               \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, \
                   #condition);                                             \
      std::abort();                                                         \
    }                                                                       \
  } while (false)

namespace quillmark::fuzz {

class ByteReader {
 public:
  ByteReader(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}

  bool empty() const { return size_ == 0; }

  std::uint8_t Byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }

  // A string whose length is the next byte, cut short at the end of input.
  std::string String() {
    std::size_t length = Byte();
    if (length > size_) length = size_;
    std::string s(reinterpret_cast<const char*>(data_), length);
    data_ += length;
    size_ -= length;
    return s;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace quillmark::fuzz

#endif  // QUILLMARK_FUZZ_FUZZ_UTIL_H_
