// A list and an INI file in memory, for driving the loop without files.
#ifndef QUILLMARK_TEST_FAKE_IO_H_
#define QUILLMARK_TEST_FAKE_IO_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "devicelist/ByteSource.h"
#include "devicelist/RecordSink.h"

namespace quillmark::test {

// Serves `bytes`, at most `piece` of them per read; then ends, or with
// force_error_ fails. A read after the end fails the test.
class FakeSource : public ByteSource {
 public:
  explicit FakeSource(std::string bytes, std::size_t piece = 1 << 20)
      : bytes_(std::move(bytes)), piece_(piece) {}
  bool force_error_ = false;

  std::size_t Read(char* buffer, std::size_t size) override {
    if (position_ == bytes_.size()) {
      if (force_error_) throw std::runtime_error("read failed");
      EXPECT_FALSE(ended_) << "read again after the end";
      ended_ = true;
    }
    const std::size_t n =
        bytes_.copy(buffer, std::min(size, piece_), position_);
    position_ += n;
    return n;
  }

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t position_ = 0;
  bool ended_ = false;
};

// Keeps the first `limit_` records appended to it and refuses the rest.
class FakeSink : public RecordSink {
 public:
  void Append(std::string_view record) override {
    if (limit_ == 0) throw std::runtime_error("write failed");
    --limit_;
    bytes_ += record;
  }
  char* Room(std::size_t size) override {
    room_.resize(size);
    return room_.data();
  }
  std::size_t limit_ = std::string::npos;
  std::string bytes_;

 private:
  std::string room_;
};

}  // namespace quillmark::test

#endif  // QUILLMARK_TEST_FAKE_IO_H_
