// Round trips: a dictionary cut from the fuzz bytes, keeping only what each
// form can carry, comes back equal from that form.
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "quillmark/dictionary/Dictionary.h"

namespace {

std::string Without(std::string s, std::string_view bytes) {
  std::erase_if(s, [bytes](char c) { return bytes.find(c) != bytes.npos; });
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  quillmark::fuzz::ByteReader reader(data, size);
  const char separator = static_cast<char>(reader.Byte());
  const std::string text_key_bytes{'=', separator};
  const std::string block_key_bytes("=\0", 2);

  Dictionary for_text;
  Dictionary for_block;
  while (!reader.empty()) {
    const std::string key = reader.String();
    const std::string value = reader.String();
    const std::string text_key = Without(key, text_key_bytes);
    if (!text_key.empty()) {
      for_text.emplace(text_key, Without(value, {&separator, 1}));
    }
    const std::string block_key = Without(key, block_key_bytes);
    if (!block_key.empty()) {
      for_block.emplace(block_key, Without(value, {"\0", 1}));
    }
  }

  // With "=" as separator no item can hold its delimiter: the text form then
  // carries only the empty dictionary.
  if (separator == '=') for_text.clear();
  FUZZ_CHECK(DictionaryFromString(DictionaryToString(for_text, separator),
                                  separator) == for_text);
  const std::vector<char> block = SerialiseDictionary(for_block);
  FUZZ_CHECK(DeserialiseDictionary(block.data()) == for_block);
  FUZZ_CHECK(DeserialiseDictionary(block.data(), block.size()) == for_block);
  return 0;
}
