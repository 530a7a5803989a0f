// SIGINT and SIGTERM do not end a run: the list is finished, though the same
// Ctrl-C may have cut short a list that comes through a pipe. Only a run
// that still waits to open a FIFO, with no list read, is ended.
#ifndef QUILLMARK_TOOL_INTERRUPTS_H_
#define QUILLMARK_TOOL_INTERRUPTS_H_

#include <csignal>
#include <string_view>

namespace quillmark {

class Interrupts {
 public:
  // Notes an interrupt; the first, once the list is started, says that the
  // list is finished first. Async-signal-safe.
  void Note() noexcept;
  bool received() const noexcept { return interrupted_ != 0; }

  // Marks the start of a list, typed at a terminal if `terminal`.
  void StartList(bool terminal) noexcept;

  // Marks the end of the list, after which an interrupt changes nothing.
  // Throws std::invalid_argument kInterrupted if one came before it, unless
  // the list was `whole`, as a regular file is.
  void EndList(bool whole);

 private:
  void Say() noexcept;

  volatile std::sig_atomic_t interrupted_ = 0;
  volatile std::sig_atomic_t started_ = 0;
  volatile std::sig_atomic_t terminal_ = 0;
  volatile std::sig_atomic_t said_ = 0;
  volatile std::sig_atomic_t ended_ = 0;
};

// Writes `text` and a line end to `fd`: async-signal-safe, without memory.
void WriteLine(int fd, std::string_view text) noexcept;

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INTERRUPTS_H_
