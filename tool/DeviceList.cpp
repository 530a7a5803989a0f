#include "tool/DeviceList.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <string_view>

#include "quillmark/dictionary/Dictionary.h"
#include "tool/DeviceRecord.h"
#include "tool/ExtensionSet.h"
#include "tool/LineReader.h"
#include "tool/Messages.h"

namespace quillmark {
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
    throw std::invalid_argument(
        messages::ControlCharacter(line, static_cast<unsigned char>(*control)));
  }
}

// Writes and flushes one record straight through the stream's buffer; the
// stream's own write() and flush() would each add a sentry per record.
void WriteRecord(std::ostream& ini, const std::string& record) {
  const auto size = static_cast<std::streamsize>(record.size());
  if (!ini || ini.rdbuf()->sputn(record.data(), size) != size ||
      ini.rdbuf()->pubsync() != 0) {
    ini.setstate(std::ios::badbit);
    throw std::invalid_argument(messages::kCannotWrite);
  }
}

}  // namespace

std::uint32_t WriteDeviceList(std::istream& list, std::ostream& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp) {
  ExtensionSet seen;
  // The one-entry attribute dictionary is refilled for every device rather
  // than rebuilt: the same entries, without a tree node to allocate each time.
  Dictionary attributes{{"Extension", ""}};
  std::string& extension = attributes.begin()->second;
  std::uint32_t line_number = 0;
  std::uint32_t devices = 0;
  std::string attributes_text;
  std::string record;
  LineReader lines(list);
  for (std::string_view line; lines.Next(line);) {
    ++line_number;
    if (line_number == 1 && line.starts_with(kUtf8Mark)) {
      line.remove_prefix(kUtf8Mark.size());
    }
    if (lines.AtEnd() && line.ends_with(kDosEndOfFile)) line.remove_suffix(1);
    line = Trim(line);
    if (line.empty()) continue;
    CheckNoControlByte(line, line_number);
    if (!seen.Insert(line)) {
      notices << "Ignoring duplicate extension: '" << line << "'\n"
              << std::flush;
      continue;
    }
    extension = line;
    // Built in one buffer and written with one call: a stream insertion per
    // field would cost more than the rest of the loop together.
    DictionaryToString(attributes, ';', attributes_text);
    FormatDeviceRecord(generator.GenerateDeviceId(attributes), line_number, pp,
                       attributes_text, record);
    WriteRecord(ini, record);
    ++devices;
  }
  // Reading stops on a read error too; only the end of the list is success.
  if (list.bad() || !list.eof()) {
    throw std::invalid_argument(messages::kCannotRead);
  }
  return devices;
}

}  // namespace quillmark
