// Where device records go: a file, a pipe, or a test's fake.
#ifndef QUILLMARK_DEVICELIST_RECORDSINK_H_
#define QUILLMARK_DEVICELIST_RECORDSINK_H_

#include <cstddef>
#include <string_view>

namespace quillmark {

class RecordSink {
 public:
  virtual ~RecordSink() = default;
  // Writes `record` whole, or nothing of it. Throws (any std::exception) if
  // it cannot.
  virtual void Append(std::string_view record) = 0;

  // Returns room for a record of up to `size` bytes, valid until the next
  // call: a record made there and passed to Append goes out without a copy.
  // Throws what Append throws.
  virtual char* Room(std::size_t size) = 0;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_RECORDSINK_H_
