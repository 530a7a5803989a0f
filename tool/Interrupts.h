// SIGINT and SIGTERM do not end a run: a list is always finished. But the
// Ctrl-C that reaches the tool also reaches the program that feeds it a list
// through a pipe, and that list may then end early. Only a run that is still
// waiting to open a FIFO, with no list read yet, is ended by an interrupt.
#ifndef QUILLMARK_TOOL_INTERRUPTS_H_
#define QUILLMARK_TOOL_INTERRUPTS_H_

#include <csignal>
#include <string_view>

namespace quillmark {

class Interrupts {
 public:
  // Notes an interrupt. The first one once the list is being read says, on
  // standard error, that the list is finished first. Async-signal-safe.
  void Note() noexcept;

  // Returns whether an interrupt has come.
  bool received() const noexcept { return interrupted_ != 0; }

  // Marks the start of the list, which is a terminal if `terminal`; an
  // interrupt that came before is said now.
  void StartList(bool terminal) noexcept;

  // Marks the end of the list, after which an interrupt changes nothing.
  // Throws std::invalid_argument kInterrupted if one came before it, unless
  // the list was `whole` when it was opened, as a regular file is.
  void EndList(bool whole);

 private:
  void Say() noexcept;

  volatile std::sig_atomic_t interrupted_ = 0;
  volatile std::sig_atomic_t started_ = 0;
  volatile std::sig_atomic_t terminal_ = 0;
  volatile std::sig_atomic_t said_ = 0;
  volatile std::sig_atomic_t ended_ = 0;
};

// Writes `text` and a line end to `fd` with write(2) alone: safe in a signal
// handler, and without memory.
void WriteLine(int fd, std::string_view text) noexcept;

// Installs `handler` for SIGINT and SIGTERM, restarting the calls it
// interrupts; writes `messages[i]` to standard error for a signal that
// cannot be caught.
void AttachStopSignals(void (*handler)(int), const char* const messages[2]);

// open(2) of a FIFO, which waits for the other end. An interrupt ends the
// wait: throws std::invalid_argument kInterruptedWaiting if one comes before
// it or while it waits. Returns the descriptor, or -1 with errno set.
int OpenFifo(const char* path, int flags, const Interrupts& interrupts);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_INTERRUPTS_H_
