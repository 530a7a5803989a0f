// The generation loop: an extension list in, device records out.
//
// The list holds one extension per line, in UTF-8 or any 8-bit encoding,
// taken byte for byte; a line is at most 1 MiB long. A list that starts with
// a UTF-16 byte order mark (FF FE or FE FF) is refused. A DOS end-of-file
// mark (1A) as its last byte is dropped. Each line is trimmed at both ends
// of white space: space, tab, line feed, vertical tab, form feed and
// carriage return, and the UTF-8 forms of Unicode's other White_Space
// characters (U+0085, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029,
// U+202F, U+205F, U+3000); at its start also of UTF-8 byte order marks
// (EF BB BF). Blank lines are skipped, and a repeated extension is reported
// and skipped. What remains may hold neither an ASCII control character (00
// to 1F, 7F) nor ";", the separator of the Attributes value. Every new
// extension becomes one device record (see DeviceRecord.h) whose Id is the
// line's number, counting from 1 and counting every line read.
#ifndef QUILLMARK_DEVICELIST_DEVICELIST_H_
#define QUILLMARK_DEVICELIST_DEVICELIST_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "devicelist/ByteSource.h"
#include "devicelist/ExtensionSet.h"
#include "devicelist/LineReader.h"
#include "devicelist/Memory.h"
#include "devicelist/RecordSink.h"
#include "quillmark/identity/DeviceIdGenerator.h"

namespace quillmark {

// What the loop throws, each as std::invalid_argument. In a pattern, N
// stands for a line number and HH for a byte in hexadecimal.
namespace list_messages {
inline constexpr char kCannotRead[] = "Cannot read input file.";
inline constexpr char kUtf16[] = "Input file is UTF-16; save it as UTF-8.";
inline constexpr char kLineTooLong[] = "Line N: line is longer than 1 MiB.";
inline constexpr char kTooManyLines[] = "Too many lines: more than 4294967295.";
inline constexpr char kControlCharacter[] =
    "Line N: extension holds control character 0xHH.";
inline constexpr char kSeparator[] =
    "Line N: extension holds ';', the attribute separator.";
inline constexpr char kTooManyExtensions[] =
    "Too many distinct extensions: their bytes exceed 4 GiB.";
inline constexpr char kCannotWrite[] = "Cannot write output file.";

// Returns `pattern` for line `line`.
std::string AtLine(const char* pattern, std::uint64_t line);

// Returns kControlCharacter for the extension on line `line` that holds the
// control byte `byte`.
std::string ControlCharacter(std::uint32_t line, unsigned char byte);
}  // namespace list_messages

// Reads `list` to its end and appends one record per new extension to `ini`,
// and writes one "Ignoring duplicate extension: '<extension>'" line per
// repeat to `notices`, flushed; a failed notice is left for the caller to
// find in the state of `notices`. Returns the number of records written.
// Throws std::invalid_argument with one of the messages above: kCannotRead
// if a read fails, kCannotWrite if an append does; what was appended before
// stays. std::bad_alloc passes through.
std::uint32_t WriteDeviceList(ByteSource& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp);

// The same, for a list whose reader the caller made, and may have peeked
// into with CheckListStart; the seen set's memory comes from `memory`, and
// `arena` bounds the bytes of the distinct extensions, as ExtensionSet's
// capacity.
std::uint32_t WriteDeviceList(LineReader& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp,
                              Memory& memory = Memory::Default(),
                              std::uint64_t arena = ExtensionSet::kMaxCapacity);

// Reads the first bytes of `list`, without consuming them, so that a list
// that cannot be used is refused before anything is written. Throws
// std::invalid_argument kCannotRead if the read fails, kUtf16 if the list is
// UTF-16.
void CheckListStart(LineReader& list);

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_DEVICELIST_H_
