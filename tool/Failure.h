// How the tool fails. Its own checks throw std::invalid_argument with a
// message of Messages.h; a system call that fails throws Failure, with the
// message for the file that the call served and the errno it set. Either
// goes up unchanged to the one catch in main, which prints the message.
#ifndef QUILLMARK_TOOL_FAILURE_H_
#define QUILLMARK_TOOL_FAILURE_H_

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quillmark {

// A failed system call: code() holds its errno, and what() the tool's
// message, which is all that the user is shown.
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

#endif  // QUILLMARK_TOOL_FAILURE_H_
