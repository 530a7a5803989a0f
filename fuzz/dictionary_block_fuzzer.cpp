// The block reader: the bounded form over the raw bytes, and the pointer form
// over a copy that surely ends with a closing entry. They must agree with
// each other and with a plain model of the layout.
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "quillmark/dictionary/Dictionary.h"

namespace {

struct Outcome {
  Dictionary dictionary;
  std::optional<std::string> error;
};

template <typename Read>
Outcome Catch(Read read) {
  Outcome outcome;
  try {
    outcome.dictionary = read();
  } catch (const std::invalid_argument& e) {
    outcome.error = e.what();
  }
  return outcome;
}

// The layout, restated: NUL-ended entries up to an empty one.
Outcome Model(const std::string& bytes) {
  Outcome outcome;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = bytes.find('\0', start);
    if (end == std::string::npos) {
      outcome.error = "Unterminated dictionary block.";
      break;
    }
    if (end == start) break;
    const std::string entry = bytes.substr(start, end - start);
    const std::size_t delimiter = entry.find('=');
    if (delimiter == 0 || delimiter == std::string::npos) {
      outcome.error = "Invalid dictionary entry: '" + entry + "'";
      break;
    }
    outcome.dictionary.emplace(entry.substr(0, delimiter),
                               entry.substr(delimiter + 1));
    start = end + 1;
  }
  if (outcome.error) outcome.dictionary.clear();
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const Outcome model = Model(std::string(bytes, size));

  const Outcome bounded =
      Catch([&] { return DeserialiseDictionary(bytes, size); });
  FUZZ_CHECK(bounded.error == model.error);
  FUZZ_CHECK(bounded.dictionary == model.dictionary);

  std::vector<char> closed(bytes, bytes + size);
  closed.push_back('\0');
  closed.push_back('\0');
  const Outcome pointer =
      Catch([&] { return DeserialiseDictionary(closed.data()); });
  if (bounded.error != "Unterminated dictionary block.") {
    FUZZ_CHECK(pointer.error == bounded.error);
    FUZZ_CHECK(pointer.dictionary == bounded.dictionary);
  }

  if (!bounded.error) {
    const std::vector<char> block = SerialiseDictionary(bounded.dictionary);
    FUZZ_CHECK(DeserialiseDictionary(block.data(), block.size()) ==
               bounded.dictionary);
  }
  return 0;
}
