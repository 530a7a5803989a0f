#include "devicelist/LineReader.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "devicelist/FillIn.h"
#include "devicelist/ListMessages.h"

namespace quillmark {

LineReader::LineReader(ByteSource& source, std::size_t block_size)
    : source_(source),
      buffer_(std::make_unique_for_overwrite<char[]>(block_size)),
      capacity_(block_size) {}

std::size_t LineReader::Next(std::string_view* lines, std::size_t max) {
  std::size_t count = 0;
  while (count < max) {
    // Line numbers are 32 bits, and must not wrap around onto old ones.
    if (number_ == UINT32_MAX) {
      if (count > 0 || Peek(1).empty()) break;
      throw std::invalid_argument(list_messages::kTooManyLines);
    }
    const char* begin = buffer_.get() + begin_;
    const std::size_t available = end_ - begin_;
    const void* newline =
        std::memchr(begin + scanned_, '\n', available - scanned_);
    // Reading moves what is unread, and so the lines already handed out.
    if (newline == nullptr && count > 0) break;
    const std::size_t length =
        newline == nullptr ? available
                           : static_cast<std::size_t>(
                                 static_cast<const char*>(newline) - begin);
    // Memory stays bounded, even for a list without any line end.
    if (length > kMaxLine) {
      throw std::invalid_argument(FillIn(list_messages::kLineTooLong, "N",
                                         std::to_string(number_ + 1ULL)));
    }
    if (newline != nullptr) {
      lines[count++] = std::string_view(begin, length);
      begin_ += length + 1;
      scanned_ = 0;
      ++number_;
      continue;
    }
    scanned_ = available;
    if (Refill()) continue;
    if (end_ > begin_) {
      lines[count++] = std::string_view(buffer_.get() + begin_, end_ - begin_);
      begin_ = end_;
      scanned_ = 0;
      at_end_ = true;
      ++number_;
    }
    break;
  }
  return count;
}

bool LineReader::Buffered() const {
  return ended_ || std::memchr(buffer_.get() + begin_ + scanned_, '\n',
                               end_ - begin_ - scanned_) != nullptr;
}

std::string_view LineReader::Peek(std::size_t n) {
  while (end_ - begin_ < n && Refill()) {
  }
  return {buffer_.get() + begin_, std::min(n, end_ - begin_)};
}

std::string_view LineReader::PeekLine(std::size_t n) {
  for (;;) {
    const std::string_view unread(buffer_.get() + begin_,
                                  std::min(n, end_ - begin_));
    if (unread.find('\n') != std::string_view::npos || unread.size() == n ||
        !Refill()) {
      return unread;
    }
  }
}

bool LineReader::Refill() {
  if (ended_) return false;
  const std::size_t unread = end_ - begin_;
  if (unread == capacity_) {
    // One line fills the buffer: it grows to take the line whole.
    auto bigger = std::make_unique_for_overwrite<char[]>(2 * capacity_);
    std::memcpy(bigger.get(), buffer_.get() + begin_, unread);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  } else if (begin_ != 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, unread);
  }
  begin_ = 0;
  end_ = unread;
  const std::size_t n = source_.Read(buffer_.get() + end_, capacity_ - end_);
  if (n == 0) {
    ended_ = true;
    return false;
  }
  end_ += n;
  return true;
}

}  // namespace quillmark
