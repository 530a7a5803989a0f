#include "tool/Messages.h"

namespace quillmark::messages {

std::string ControlCharacter(std::uint32_t line, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string message = kControlCharacter;
  message.replace(message.find("HH"), 2, {kHex[byte >> 4], kHex[byte & 0x0f]});
  message.replace(message.find('N'), 1, std::to_string(line));
  return message;
}

}  // namespace quillmark::messages
