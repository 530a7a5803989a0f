#include "devicelist/FillIn.h"

namespace quillmark {

std::string FillIn(std::string_view pattern, std::string_view placeholder,
                   std::string_view value) {
  std::string message(pattern);
  const std::size_t at = message.find(placeholder);
  if (at != std::string::npos) message.replace(at, placeholder.size(), value);
  return message;
}

}  // namespace quillmark
