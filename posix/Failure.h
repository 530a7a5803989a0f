// How the tool fails: its own checks throw std::invalid_argument, a system
// call that fails Failure, with the errno it set; either with a message of
// Messages.h, up to the one catch in main, which prints it.
#ifndef QUILLMARK_POSIX_FAILURE_H_
#define QUILLMARK_POSIX_FAILURE_H_

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quillmark {

// A failed system call: what() is the tool's message, code() the errno.
class Failure : public std::system_error {
 public:
  Failure(const char* message, int error)
      : std::system_error(error, std::generic_category()), message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;  // one of Messages.h's, which live for the run
};

// Throws std::invalid_argument `message`.
[[noreturn]] inline void Refuse(const std::string& message) {
  throw std::invalid_argument(message);
}

// Throws Failure `message` with `error`, errno unless given.
[[noreturn]] inline void Fail(const char* message, int error = errno) {
  throw Failure(message, error);
}

}  // namespace quillmark

#endif  // QUILLMARK_POSIX_FAILURE_H_
