#include "tool/Interrupts.h"

#include <unistd.h>

#include <cerrno>

#include "posix/Failure.h"
#include "posix/Posix.h"
#include "tool/Messages.h"

namespace quillmark {

void WriteLine(int fd, std::string_view text) noexcept {
  if (WriteAll(Posix::Default(), fd, text) == 0) {
    WriteAll(Posix::Default(), fd, "\n");
  }
}

void Interrupts::Note() noexcept {
  if (ended_ != 0 || interrupted_ != 0) return;
  interrupted_ = 1;
  // While a FIFO is awaited no list has been started: the run ends.
  if (started_ != 0) Say();
}

void Interrupts::StartList(bool terminal) noexcept {
  terminal_ = terminal ? 1 : 0;
  started_ = 1;
  if (interrupted_ != 0) Say();
}

void Interrupts::Say() noexcept {
  if (said_ != 0) return;
  said_ = 1;
  const int saved = errno;
  WriteLine(STDERR_FILENO, terminal_ != 0 ? messages::kInterruptReceivedTerminal
                                          : messages::kInterruptReceived);
  errno = saved;
}

void Interrupts::EndList(bool whole) {
  ended_ = 1;
  if (interrupted_ != 0 && !whole) Refuse(messages::kInterrupted);
}

}  // namespace quillmark
