#include "devicelist/DeviceList.h"

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "devicelist/DeviceRecord.h"
#include "devicelist/ExtensionSet.h"
#include "quillmark/dictionary/Dictionary.h"

namespace quillmark {

namespace list_messages {

std::string AtLine(const char* pattern, std::uint64_t line) {
  std::string message = pattern;
  message.replace(message.find('N'), 1, std::to_string(line));
  return message;
}

std::string ControlCharacter(std::uint32_t line, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string message = AtLine(kControlCharacter, line);
  message.replace(message.find("HH"), 2, {kHex[byte >> 4], kHex[byte & 0x0f]});
  return message;
}

}  // namespace list_messages

namespace {

// The space class of the classic locale, which the tool never leaves.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsAscii(char c) { return static_cast<unsigned char>(c) < 0x80; }

// Unicode's other White_Space characters, in UTF-8: copied from web pages
// and spreadsheets, they are as invisible as a blank.
constexpr std::string_view kWideSpaces[] = {
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80",
    "\xE2\x80\x81", "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84",
    "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9",
    "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
};
// A UTF-8 byte order mark starts every file an editor saved with one, and so
// every line where such files were joined.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
// What a DOS editor ends a file with.
constexpr char kDosEndOfFile = '\x1A';

// Returns the length of the white space, or mark, that `line` starts with.
std::size_t SpaceAtStart(std::string_view line) {
  if (IsAscii(line.front())) return IsSpace(line.front()) ? 1 : 0;
  if (line.starts_with(kUtf8Mark)) return kUtf8Mark.size();
  for (const std::string_view space : kWideSpaces) {
    if (line.starts_with(space)) return space.size();
  }
  return 0;
}

// Returns the length of the white space that `line` ends with.
std::size_t SpaceAtEnd(std::string_view line) {
  if (IsAscii(line.back())) return IsSpace(line.back()) ? 1 : 0;
  for (const std::string_view space : kWideSpaces) {
    if (line.ends_with(space)) return space.size();
  }
  return 0;
}

std::string_view Trim(std::string_view line) {
  for (std::size_t n; !line.empty() && (n = SpaceAtStart(line)) != 0;) {
    line.remove_prefix(n);
  }
  for (std::size_t n; !line.empty() && (n = SpaceAtEnd(line)) != 0;) {
    line.remove_suffix(n);
  }
  return line;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

// A control byte would end up inside the INI: a carriage return can forge a
// section for some readers, a NUL cuts a record short for others. A ";"
// would split the Attributes value when it is read back.
void CheckExtension(std::string_view extension, std::uint32_t line) {
  const auto* control =
      std::find_if(extension.begin(), extension.end(), IsControl);
  if (control != extension.end()) {
    throw std::invalid_argument(list_messages::ControlCharacter(
        line, static_cast<unsigned char>(*control)));
  }
  if (extension.find(';') != std::string_view::npos) {
    throw std::invalid_argument(
        list_messages::AtLine(list_messages::kSeparator, line));
  }
}

void Append(RecordSink& ini, std::string_view record) {
  try {
    ini.Append(record);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    throw std::invalid_argument(list_messages::kCannotWrite);
  }
}

}  // namespace

void CheckListStart(LineReader& list) {
  const std::string_view start = list.Peek(2);
  if (start == "\xFF\xFE" || start == "\xFE\xFF") {
    throw std::invalid_argument(list_messages::kUtf16);
  }
}

std::uint32_t WriteDeviceList(ByteSource& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp) {
  LineReader lines(list);
  return WriteDeviceList(lines, ini, notices, generator, pp);
}

std::uint32_t WriteDeviceList(LineReader& lines, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp, std::uint64_t arena) {
  CheckListStart(lines);
  ExtensionSet seen(arena);
  // The one-entry attribute dictionary is refilled for every device rather
  // than rebuilt: the same entries, without a tree node to allocate each time.
  Dictionary attributes{{"Extension", ""}};
  std::string& extension = attributes.begin()->second;
  std::uint32_t devices = 0;
  std::string attributes_text;
  std::string record;
  bool last_was_new = true;
  for (std::string_view line; lines.Next(line);) {
    if (lines.AtEnd() && line.ends_with(kDosEndOfFile)) line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) continue;
    CheckExtension(line, lines.number());
    extension = line;
    // Most extensions are new, and looking one up waits on memory: its ID is
    // worked out while that memory comes, and dropped if it is a repeat.
    // After a repeat the order turns round, so that repeats cost no digests.
    const bool ahead = last_was_new;
    boost::uuids::uuid id{};
    if (ahead) {
      seen.Prefetch(line);
      id = generator.GenerateDeviceId(attributes);
    }
    const ExtensionSet::Insertion insertion = seen.Insert(line);
    last_was_new = insertion == ExtensionSet::kAdded;
    if (insertion == ExtensionSet::kFull) {
      throw std::invalid_argument(list_messages::kTooManyExtensions);
    }
    if (insertion == ExtensionSet::kRepeated) {
      notices << "Ignoring duplicate extension: '" << line << "'\n"
              << std::flush;
      continue;
    }
    if (!ahead) id = generator.GenerateDeviceId(attributes);
    // Built in one buffer and appended whole: a stream insertion per field
    // would cost more than the rest of the loop together.
    DictionaryToString(attributes, ';', attributes_text);
    FormatDeviceRecord(id, lines.number(), pp, attributes_text, record);
    Append(ini, record);
    ++devices;
  }
  return devices;
}

}  // namespace quillmark
