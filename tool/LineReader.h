// Splits a stream into lines at "\n", like std::getline, but scans whole
// blocks of what the stream has buffered instead of a byte at a time. A last
// line without its "\n" counts as a line; a line cut short by a read error
// does not. Memory is one block plus the longest line, whatever the stream's
// length. Bytes are taken as soon as the stream has them, so lines from a
// pipe are seen as they arrive, and the end of the stream, once seen, is
// final: a terminal is not asked again after its Ctrl-D.
#ifndef QUILLMARK_TOOL_LINEREADER_H_
#define QUILLMARK_TOOL_LINEREADER_H_

#include <algorithm>
#include <cstring>
#include <ios>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace quillmark {

class LineReader {
 public:
  explicit LineReader(std::istream& in, std::size_t block_size = 65536)
      : in_(in), block_(block_size) {}

  // Returns whether the line last read ran to the end of the stream, with no
  // "\n" after it: its last byte is the stream's last.
  bool AtEnd() const { return at_end_; }

  // Reads the next line, without its "\n", into `line`, which stays valid
  // until the next call; returns false at the end of the stream or on a read
  // error (the stream's state tells which).
  bool Next(std::string_view& line) {
    // Most lines lie within one block and are seen where they lie; one that
    // spans blocks is gathered in a string of its own.
    long_line_.clear();
    for (;;) {
      if (position_ == end_ && !Refill()) {
        // What came before a read error is a fragment, not a line.
        if (in_.bad()) long_line_.clear();
        line = long_line_;
        at_end_ = !line.empty();
        return at_end_;
      }
      const char* begin = block_.data() + position_;
      const std::size_t available = end_ - position_;
      const void* newline = std::memchr(begin, '\n', available);
      if (newline != nullptr) {
        const std::size_t length =
            static_cast<std::size_t>(static_cast<const char*>(newline) - begin);
        position_ += length + 1;
        if (long_line_.empty()) {
          line = std::string_view(begin, length);
        } else {
          long_line_.append(begin, length);
          line = long_line_;
        }
        return true;
      }
      long_line_.append(begin, available);
      position_ = end_;
    }
  }

 private:
  // Takes what the stream has buffered, waiting only when it has nothing.
  // Sets eofbit at the end, and badbit on a read error, as getline would.
  bool Refill() {
    position_ = end_ = 0;
    if (ended_ || !in_) return false;
    std::streambuf& buffer = *in_.rdbuf();
    try {
      if (buffer.sgetc() == std::char_traits<char>::eof()) {
        ended_ = true;
        in_.setstate(std::ios::eofbit);
        return false;
      }
      const std::streamsize wanted = std::min(
          buffer.in_avail(), static_cast<std::streamsize>(block_.size()));
      end_ = static_cast<std::size_t>(
          buffer.sgetn(block_.data(), std::max<std::streamsize>(wanted, 1)));
    } catch (...) {
      // The file buffer reports a failed read() by throwing.
      in_.setstate(std::ios::badbit);
      return false;
    }
    return end_ != 0;
  }

  std::istream& in_;
  std::vector<char> block_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  bool at_end_ = false;
  std::string long_line_;
};

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_LINEREADER_H_
