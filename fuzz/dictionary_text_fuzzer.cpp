// The text reader: the first byte picks the separator, the rest is the text.
// Both readers must agree with each other and with a plain model of the
// format, and whatever is read must survive being written and read again.
#include <optional>
#include <stdexcept>
#include <string>

#include "fuzz/fuzz_util.h"
#include "quillmark/dictionary/Dictionary.h"

namespace {

// The format, restated as simply as possible: split at every separator, a
// single trailing one ends the last item. Returns the bad item, if any.
std::optional<std::string> ModelRead(const std::string& text, char separator,
                                     Dictionary& result) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    const std::string item = text.substr(start, end - start);
    const std::size_t delimiter = item.find('=');
    if (delimiter == 0 || delimiter == std::string::npos) return item;
    result.emplace(item.substr(0, delimiter), item.substr(delimiter + 1));
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const char separator = static_cast<char>(data[0]);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  Dictionary model;
  const std::optional<std::string> bad_item = ModelRead(text, separator, model);

  Dictionary read;
  std::optional<std::string> message;
  try {
    read = DictionaryFromString(text, separator);
  } catch (const std::invalid_argument& e) {
    message = e.what();
  }
  FUZZ_CHECK(message.has_value() == bad_item.has_value());
  if (message) {
    // what() ends at the first NUL byte of the item.
    const std::string expected =
        "Invalid dictionary entry: '" + *bad_item + "'";
    FUZZ_CHECK(*message == expected.c_str());
  } else {
    FUZZ_CHECK(read == model);
  }

  Dictionary output{{"earlier", "entry"}};
  const bool ok = TryDictionaryFromString(text, separator, output);
  FUZZ_CHECK(ok == !message.has_value());
  FUZZ_CHECK(output == (ok ? read : Dictionary{}));

  if (ok) {
    const std::string written = DictionaryToString(read, separator);
    FUZZ_CHECK(DictionaryFromString(written, separator) == read);
  }
  return 0;
}
