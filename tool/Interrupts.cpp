#include "tool/Interrupts.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "tool/Failure.h"
#include "tool/Messages.h"

namespace quillmark {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

// While it lives, a stop signal interrupts a blocked call instead of
// restarting it, so that the caller sees EINTR.
class NoRestart {
 public:
  NoRestart() {
    for (int i = 0; i < 2; ++i) {
      struct sigaction action;
      ::sigaction(kStopSignals[i], nullptr, &saved_[i]);
      action = saved_[i];
      action.sa_flags &= ~SA_RESTART;
      ::sigaction(kStopSignals[i], &action, nullptr);
    }
  }
  ~NoRestart() {
    for (int i = 0; i < 2; ++i)
      ::sigaction(kStopSignals[i], &saved_[i], nullptr);
  }
  NoRestart(const NoRestart&) = delete;
  NoRestart& operator=(const NoRestart&) = delete;

 private:
  struct sigaction saved_[2];
};

}  // namespace

void WriteLine(int fd, std::string_view text) noexcept {
  for (std::string_view part : {text, std::string_view("\n")}) {
    while (!part.empty()) {
      const ssize_t n = ::write(fd, part.data(), part.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      part.remove_prefix(static_cast<std::size_t>(n));
    }
  }
}

void Interrupts::Note() noexcept {
  if (ended_ != 0 || interrupted_ != 0) return;
  interrupted_ = 1;
  const int saved = errno;
  WriteLine(STDERR_FILENO, messages::kInterruptReceived);
  errno = saved;
}

void Interrupts::EndList(bool whole) {
  ended_ = 1;
  if (interrupted_ != 0 && !whole) Refuse(messages::kInterrupted);
}

void AttachStopSignals(void (*handler)(int), const char* const messages[2]) {
  for (int i = 0; i < 2; ++i) {
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (::sigaction(kStopSignals[i], &action, nullptr) != 0) {
      std::cerr << messages[i] << "\n" << std::flush;
    }
  }
}

int OpenFifo(const char* path, int flags, const Interrupts& interrupts) {
  const NoRestart no_restart;
  for (;;) {
    // An interrupt that came just before the open is seen here; one in the
    // moment between this check and the wait is seen at the next Ctrl-C.
    if (interrupts.received()) {
      Refuse(messages::kInterruptedWaiting);
    }
    const int fd = ::open(path, flags);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

}  // namespace quillmark
