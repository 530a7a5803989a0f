// Encodings of a Dictionary, an ordered map of byte-string keys to byte-string
// values. Keys sort byte-wise, as unsigned bytes.
//
// Text form, for a caller-chosen separator S:
//   key "=" value [S key "=" value]...
// Entries appear in key order; nothing is escaped. A reader cuts the text at
// each S (one S at the very end is allowed) and splits every item at its first
// "=". Keys must be non-empty; a repeated key keeps its first value.
//
// Block form:
//   (key "=" value 0x00)... 0x00
// The same entries, each ended by a NUL byte, closed by an empty entry.
#ifndef QUILLMARK_DICTIONARY_DICTIONARY_H_
#define QUILLMARK_DICTIONARY_DICTIONARY_H_

#include <cstddef>
#include <map>
#include <string>
#include <vector>

using Dictionary = std::map<std::string, std::string>;

// Returns the text form of `dictionary` with `separator` between entries.
std::string DictionaryToString(const Dictionary& dictionary, char separator);

// Like DictionaryToString(dictionary, separator), but replaces the content of
// `text` and reuses its capacity: for loops that write many texts.
void DictionaryToString(const Dictionary& dictionary, char separator,
                        std::string& text);

// Like DictionaryToString(dictionary, separator), but writes the text to
// `out`, which must have room for DictionaryTextSize(dictionary) bytes, and
// returns the end of what it wrote: for a text that goes straight into a
// larger buffer.
char* DictionaryToString(const Dictionary& dictionary, char separator,
                         char* out);

// Returns the length of the text form of `dictionary`, for any separator.
std::size_t DictionaryTextSize(const Dictionary& dictionary);

// Returns the dictionary read from the text form; throws std::invalid_argument
// "Invalid dictionary entry: '<item>'" for the first item that is empty, holds
// no "=" or begins with "=".
Dictionary DictionaryFromString(const std::string& text, char separator);

// Like DictionaryFromString, but returns false instead of throwing. Either way
// `output` loses its previous entries: it holds what was read, or nothing.
bool TryDictionaryFromString(const std::string& text, char separator,
                             Dictionary& output) noexcept;

// Returns the block form of `dictionary`, closing NUL included.
std::vector<char> SerialiseDictionary(const Dictionary& dictionary);

// Returns the dictionary read from a block that must end with its closing
// empty entry; a null `block` reads as empty. Throws std::invalid_argument
// "Invalid dictionary entry: '<entry>'" for the first entry that holds no "="
// or begins with "=". Bytes after the closing entry are never read.
Dictionary DeserialiseDictionary(const char* block);

// Like DeserialiseDictionary(block), but never reads past `size` bytes: for
// blocks that come from a file or a socket. Also throws std::invalid_argument
// "Unterminated dictionary block." when the bytes end before the closing
// empty entry, as zero bytes do (a null `data` with `size` 0 among them).
Dictionary DeserialiseDictionary(const char* data, std::size_t size);

#endif  // QUILLMARK_DICTIONARY_DICTIONARY_H_
