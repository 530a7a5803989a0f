#include "tool/Failure.h"

#include <stdexcept>

namespace quillmark {

void Refuse(const char* message) { throw std::invalid_argument(message); }

void Fail(const char* message, int error) { throw Failure(message, error); }

}  // namespace quillmark
