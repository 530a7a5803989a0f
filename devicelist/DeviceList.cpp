#include "devicelist/DeviceList.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

#include "devicelist/DeviceRecord.h"
#include "devicelist/ExtensionSet.h"
#include "devicelist/FillIn.h"
#include "devicelist/ListMessages.h"
#include "quillmark/dictionary/Dictionary.h"

namespace quillmark {

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
    static constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<unsigned char>(*control);
    const char hex[] = {kHex[byte >> 4], kHex[byte & 0x0f]};
    throw std::invalid_argument(FillIn(
        FillIn(list_messages::kControlCharacter, "N", std::to_string(line)),
        "HH", std::string_view(hex, 2)));
  }
  if (extension.find(';') != std::string_view::npos) {
    throw std::invalid_argument(
        FillIn(list_messages::kSeparator, "N", std::to_string(line)));
  }
}

// Writes the record of a device straight into the room that `ini` has.
void WriteRecord(RecordSink& ini, const DeviceRecords& records,
                 const boost::uuids::uuid& id, std::uint32_t line,
                 const Dictionary& attributes) {
  char* const room = ini.Room(records.MaxSize(attributes));
  const char* const end = records.Format(id, line, attributes, room);
  ini.Append(std::string_view(room, static_cast<std::size_t>(end - room)));
}

// Lines taken from the reader at once, trimmed and hashed together; the
// seen set's memory for each is fetched this many extensions before it is
// looked at, enough to cover the wait, and few enough not to stall on it.
constexpr std::size_t kBatch = 256;
constexpr std::size_t kAhead = 8;
// The bytes of a list's first line that say what it is.
constexpr std::size_t kFirstLine = 4096;

// A UTF-16 line without its byte order mark: ASCII text is every other
// byte, with a NUL at every even offset (big-endian) or every odd one.
bool IsUtf16(std::string_view line) {
  if (line.size() < 2) return false;
  bool even = true;
  bool odd = true;
  for (std::size_t i = 0; i < line.size(); ++i) {
    (i % 2 == 0 ? even : odd) &= line[i] == '\0';
  }
  return even || odd;
}

// The bytes at the start of a list that its line count is guessed from.
constexpr std::size_t kSampled = std::size_t{1} << 16;

// Returns how many lines the list may hold, from its size and the lines in
// its first bytes; 0 if its size is not known before it is read.
std::uint64_t ExpectedLines(LineReader& lines) {
  const std::uint64_t size = lines.size();
  if (size == 0) return 0;
  const std::string_view start = lines.Peek(kSampled);
  const auto newlines =
      static_cast<std::uint64_t>(std::count(start.begin(), start.end(), '\n'));
  return start.empty() ? 0 : size * (newlines + 1) / start.size();
}

// Duplicate notices, gathered and written in one piece before the list is
// read again, and once the loop ends, whichever way it does.
class Notices {
 public:
  explicit Notices(std::ostream& out) : out_(out) {}
  ~Notices() { Flush(); }
  Notices(const Notices&) = delete;
  Notices& operator=(const Notices&) = delete;

  void Add(std::string_view extension) {
    text_.append("Ignoring duplicate extension: '").append(extension) += "'\n";
  }

  void Flush() {
    if (text_.empty()) return;
    out_ << text_ << std::flush;
    text_.clear();
  }

 private:
  std::ostream& out_;
  std::string text_;
};

}  // namespace

void CheckListStart(LineReader& list) {
  using namespace std::string_view_literals;
  const std::string_view start = list.PeekLine(kFirstLine);
  if (start.starts_with("\xFF\xFE\0\0"sv) ||
      start.starts_with("\0\0\xFE\xFF"sv)) {
    throw std::invalid_argument(list_messages::kUtf32);
  }
  if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF") ||
      IsUtf16(start.substr(0, start.find('\n')))) {
    throw std::invalid_argument(list_messages::kUtf16);
  }
  // A carriage return inside the first line, which goes on for all that was
  // looked at: each line ends with one alone, as old Mac editors save them.
  const std::size_t cr = start.find('\r');
  if (start.find('\n') == std::string_view::npos &&
      cr != std::string_view::npos &&
      start.find_first_not_of(" \t\r\v\f", cr) != std::string_view::npos) {
    throw std::invalid_argument(list_messages::kCrOnly);
  }
}

std::uint32_t WriteDeviceList(ByteSource& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp, Memory& memory) {
  LineReader lines(list);
  return WriteDeviceList(lines, ini, notices, generator, pp, memory);
}

std::uint32_t WriteDeviceList(LineReader& lines, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp, Memory& memory,
                              std::uint64_t arena_limit) {
  CheckListStart(lines);
  ExtensionSet seen(arena_limit, ExpectedLines(lines), memory);
  Notices repeats(notices);
  // The one-entry attribute dictionary is refilled for every device rather
  // than rebuilt: the same entries, without a tree node to allocate each time.
  Dictionary attributes{{"Extension", ""}};
  std::string& extension = attributes.begin()->second;
  const DeviceRecords records(pp);
  std::uint32_t devices = 0;
  std::array<std::string_view, kBatch> batch;
  struct Extension {
    ExtensionSet::Key key;
    std::uint32_t line;
  };
  std::array<Extension, kBatch> extensions;
  for (std::size_t count; (count = lines.Next(batch.data(), kBatch)) != 0;) {
    const std::uint32_t first =
        lines.number() - static_cast<std::uint32_t>(count - 1);
    std::string_view& last = batch[count - 1];
    if (lines.AtEnd() && last.ends_with(kDosEndOfFile)) last.remove_suffix(1);
    std::size_t ready = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const std::string_view line = Trim(batch[i]);
      if (line.empty()) continue;
      extensions[ready++] = {ExtensionSet::KeyOf(line),
                             first + static_cast<std::uint32_t>(i)};
    }
    for (std::size_t i = 0; i < std::min(kAhead, ready); ++i) {
      seen.Prefetch(extensions[i].key);
    }
    for (std::size_t i = 0; i < ready; ++i) {
      if (i + kAhead < ready) seen.Prefetch(extensions[i + kAhead].key);
      // A repeat is compared with the bytes stored for it: those too are
      // fetched ahead, once the table has said where they are.
      if (i + kAhead / 2 < ready) {
        seen.PrefetchBytes(extensions[i + kAhead / 2].key);
      }
      const auto& [key, line] = extensions[i];
      CheckExtension(key.bytes, line);
      const ExtensionSet::Insertion insertion = seen.Insert(key);
      if (insertion == ExtensionSet::kFull) {
        throw std::invalid_argument(list_messages::kTooManyExtensions);
      }
      if (insertion == ExtensionSet::kRepeated) {
        repeats.Add(key.bytes);
        continue;
      }
      // In place, in the capacity it has: this runs once per device.
      extension.resize(key.bytes.size());
      std::ranges::copy(key.bytes, extension.begin());
      WriteRecord(ini, records, generator.GenerateDeviceId(attributes), line,
                  attributes);
      ++devices;
    }
    if (!lines.Buffered()) repeats.Flush();
  }
  return devices;
}

}  // namespace quillmark
