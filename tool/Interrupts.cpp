#include "tool/Interrupts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tool/Failure.h"
#include "tool/Messages.h"
#include "tool/Posix.h"

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

int OpenFifo(const char* path, int flags, const Interrupts& interrupts) {
  // A stop signal interrupts the wait rather than restarting it. One in the
  // moment between the check and the open is seen at the next Ctrl-C.
  constexpr int kStopSignals[] = {SIGINT, SIGTERM};
  struct sigaction saved[2];
  for (int i = 0; i < 2; ++i) {
    ::sigaction(kStopSignals[i], nullptr, &saved[i]);
    struct sigaction action = saved[i];
    action.sa_flags &= ~SA_RESTART;
    ::sigaction(kStopSignals[i], &action, nullptr);
  }
  int fd = -1;
  while (!interrupts.received() && (fd = ::open(path, flags)) < 0 &&
         errno == EINTR) {
  }
  const int error = errno;
  for (int i = 0; i < 2; ++i) ::sigaction(kStopSignals[i], &saved[i], nullptr);
  if (fd < 0 && interrupts.received()) Refuse(messages::kInterruptedWaiting);
  errno = error;
  return fd;
}

}  // namespace quillmark
