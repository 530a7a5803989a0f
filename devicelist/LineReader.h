// Splits a list into lines at "\n". A last line without its "\n" counts as a
// line; a line cut short by a failed read does not. The reader owns the one
// buffer the list passes through and hands out lines as views into it, many
// at once, so a line is copied only when it spans two reads. Bytes are taken as
// soon as the source has them, so lines from a pipe are seen as they arrive,
// and the end of the list, once seen, is final: a terminal is not asked again
// after its Ctrl-D. Memory is one block, or the longest line if that is longer;
// lines are at most 1 MiB long, and at most 2^32 - 1 are read, so that their
// numbers fit in 32 bits.
#ifndef QUILLMARK_DEVICELIST_LINEREADER_H_
#define QUILLMARK_DEVICELIST_LINEREADER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "devicelist/ByteSource.h"

namespace quillmark {

class LineReader {
 public:
  // The longest line, in bytes, without its "\n".
  static constexpr std::size_t kMaxLine = std::size_t{1} << 20;

  // Reads `source` in reads of up to `block_size` bytes.
  explicit LineReader(ByteSource& source, std::size_t block_size = 65536);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Reads up to `max` lines, without their "\n", into `lines`, all of which
  // stay valid until the next call; returns how many, 0 only at the end of
  // the list. The lines the buffer holds are handed out before it is read
  // again. Throws std::invalid_argument kLineTooLong (ListMessages.h) as
  // soon as a line is longer than kMaxLine, and kTooManyLines for a line
  // after the 4294967295th; what the source throws passes through.
  std::size_t Next(std::string_view* lines, std::size_t max);

  // Returns whether the next call can do without reading the list.
  bool Buffered() const;

  // Returns the first `n` unread bytes, or fewer if the list ends sooner,
  // without consuming them; waits for them as Next would, and throws as it
  // does.
  std::string_view Peek(std::size_t n);

  // Like Peek(n), but waits only until the unread bytes hold a "\n".
  std::string_view PeekLine(std::size_t n);

  // Returns the number of the line last read, counting from 1.
  std::uint32_t number() const { return number_; }

  // Returns whether the line last read ran to the end of the list, with no
  // "\n" after it: its last byte is the list's last.
  bool AtEnd() const { return at_end_; }

  // Returns the list's size, where the source knows it before it is read.
  std::uint64_t size() const { return source_.Size(); }

 private:
  // Tests number the lines from near the last one, to reach kTooManyLines
  // without reading four billion lines.
  friend struct LineReaderTestPeer;

  // Moves the unread bytes to the front, making room if there is none, and
  // reads once after them; returns false at the end of the list.
  bool Refill();

  ByteSource& source_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;    // the first unread byte
  std::size_t end_ = 0;      // the end of the bytes read
  std::size_t scanned_ = 0;  // from begin_ on, known to hold no "\n"
  bool ended_ = false;
  bool at_end_ = false;
  std::uint32_t number_ = 0;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_LINEREADER_H_
