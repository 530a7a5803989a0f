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

std::string ControlCharacter(std::uint32_t line, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string message = kControlCharacter;
  message.replace(message.find("HH"), 2, {kHex[byte >> 4], kHex[byte & 0x0f]});
  message.replace(message.find('N'), 1, std::to_string(line));
  return message;
}

}  // namespace list_messages

namespace {

// The space class of the classic locale, which the tool never leaves.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view Trim(std::string_view line) {
  while (!line.empty() && IsSpace(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsSpace(line.back())) line.remove_suffix(1);
  return line;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == '\x7f';
}

// Editors and spreadsheet exports put these around a list; they are not part
// of any extension.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr char kDosEndOfFile = '\x1A';

// A control byte would end up inside the INI: a carriage return can forge a
// section for some readers, a NUL cuts a record short for others.
void CheckNoControlByte(std::string_view extension, std::uint32_t line) {
  const auto* control =
      std::find_if(extension.begin(), extension.end(), IsControl);
  if (control != extension.end()) {
    throw std::invalid_argument(list_messages::ControlCharacter(
        line, static_cast<unsigned char>(*control)));
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
  for (std::string_view line; lines.Next(line);) {
    if (lines.number() == 1 && line.starts_with(kUtf8Mark)) {
      line.remove_prefix(kUtf8Mark.size());
    }
    if (lines.AtEnd() && line.ends_with(kDosEndOfFile)) line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) continue;
    CheckNoControlByte(line, lines.number());
    switch (seen.Insert(line)) {
      case ExtensionSet::kFull:
        throw std::invalid_argument(list_messages::kTooManyExtensions);
      case ExtensionSet::kRepeated:
        notices << "Ignoring duplicate extension: '" << line << "'\n"
                << std::flush;
        continue;
      case ExtensionSet::kAdded:
        break;
    }
    extension = line;
    // Built in one buffer and appended whole: a stream insertion per field
    // would cost more than the rest of the loop together.
    DictionaryToString(attributes, ';', attributes_text);
    FormatDeviceRecord(generator.GenerateDeviceId(attributes), lines.number(),
                       pp, attributes_text, record);
    Append(ini, record);
    ++devices;
  }
  return devices;
}

}  // namespace quillmark
