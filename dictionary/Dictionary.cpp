#include "quillmark/dictionary/Dictionary.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace {

// The one rule shared by both readers: split an item at its first "=" and
// keep the first value seen for a key.
void AddItem(std::string_view item, Dictionary& result) {
  const std::size_t delimiter = item.find('=');
  if (delimiter == 0 || delimiter == std::string_view::npos) {
    std::string message = "Invalid dictionary entry: '";
    message.append(item);
    message += '\'';
    throw std::invalid_argument(message);
  }
  result.try_emplace(std::string(item.substr(0, delimiter)),
                     item.substr(delimiter + 1));
}

// Reads entries from `p` on; `find_end` returns the position of the NUL that
// ends the entry starting at its argument. An empty entry closes the block.
template <typename FindEnd>
Dictionary ReadBlock(const char* p, FindEnd find_end) {
  Dictionary result;
  for (;;) {
    const char* entry_end = find_end(p);
    if (entry_end == p) return result;
    AddItem(std::string_view(p, static_cast<std::size_t>(entry_end - p)),
            result);
    p = entry_end + 1;
  }
}

}  // namespace

std::string DictionaryToString(const Dictionary& dictionary, char separator) {
  std::string text;
  DictionaryToString(dictionary, separator, text);
  return text;
}

void DictionaryToString(const Dictionary& dictionary, char separator,
                        std::string& text) {
  text.resize(DictionaryTextSize(dictionary));
  DictionaryToString(dictionary, separator, text.data());
}

std::size_t DictionaryTextSize(const Dictionary& dictionary) {
  std::size_t size = dictionary.empty() ? 0 : dictionary.size() - 1;
  for (const auto& [key, value] : dictionary) {
    size += key.size() + value.size() + 1;
  }
  return size;
}

char* DictionaryToString(const Dictionary& dictionary, char separator,
                         char* out) {
  // Every entry writes at least its "=", so a separator between any two
  // entries keeps them apart, also when a key or value is empty.
  bool first = true;
  for (const auto& [key, value] : dictionary) {
    if (!first) *out++ = separator;
    first = false;
    out = std::copy(key.begin(), key.end(), out);
    *out++ = '=';
    out = std::copy(value.begin(), value.end(), out);
  }
  return out;
}

Dictionary DictionaryFromString(const std::string& text, char separator) {
  Dictionary result;
  const std::string_view rest_of_text(text);
  std::size_t position = 0;
  while (position < rest_of_text.size()) {
    std::size_t end = rest_of_text.find(separator, position);
    if (end == std::string_view::npos) end = rest_of_text.size();
    AddItem(rest_of_text.substr(position, end - position), result);
    position = end + 1;
  }
  return result;
}

bool TryDictionaryFromString(const std::string& text, char separator,
                             Dictionary& output) noexcept {
  try {
    output = DictionaryFromString(text, separator);
    return true;
  } catch (...) {
    output.clear();
    return false;
  }
}

std::vector<char> SerialiseDictionary(const Dictionary& dictionary) {
  std::size_t size = 1;
  for (const auto& [key, value] : dictionary)
    size += key.size() + value.size() + 2;
  std::vector<char> block;
  block.reserve(size);
  for (const auto& [key, value] : dictionary) {
    block.insert(block.end(), key.begin(), key.end());
    block.push_back('=');
    block.insert(block.end(), value.begin(), value.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

Dictionary DeserialiseDictionary(const char* block) {
  if (block == nullptr) return {};
  return ReadBlock(block, [](const char* p) { return p + std::strlen(p); });
}

Dictionary DeserialiseDictionary(const char* data, std::size_t size) {
  const char* const end = data + size;
  return ReadBlock(data, [end](const char* p) {
    // memchr must not see a null pointer, even with a zero length.
    const void* nul =
        p == end ? nullptr
                 : std::memchr(p, '\0', static_cast<std::size_t>(end - p));
    if (nul == nullptr) {
      throw std::invalid_argument("Unterminated dictionary block.");
    }
    return static_cast<const char*>(nul);
  });
}
