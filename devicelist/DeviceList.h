// The generation loop: an extension list in, device records out.
//
// The list holds one extension per line, in UTF-8 or any 8-bit encoding,
// taken byte for byte. A list that starts with a UTF-16 byte order mark
// (FF FE or FE FF) is refused. A UTF-8 byte order mark (EF BB BF) as the
// list's first bytes and a DOS end-of-file mark (1A) as its last byte are
// dropped. Each line is trimmed of space, tab, line feed, vertical tab, form
// feed and carriage return at both ends; blank lines are skipped, and a
// repeated extension is reported and skipped. What remains may hold no ASCII
// control character (00 to 1F, 7F). Every new extension becomes one device
// record (see DeviceRecord.h) whose Id is the line's number, counting from 1
// and counting every line read.
#ifndef QUILLMARK_DEVICELIST_DEVICELIST_H_
#define QUILLMARK_DEVICELIST_DEVICELIST_H_

#include <cstdint>
#include <ostream>
#include <string>

#include "devicelist/ByteSource.h"
#include "devicelist/ExtensionSet.h"
#include "devicelist/LineReader.h"
#include "devicelist/RecordSink.h"
#include "quillmark/identity/DeviceIdGenerator.h"

namespace quillmark {

// What the loop throws, each as std::invalid_argument. In a pattern, N
// stands for a line number and HH for a byte in hexadecimal.
namespace list_messages {
inline constexpr char kCannotRead[] = "Cannot read input file.";
inline constexpr char kUtf16[] = "Input file is UTF-16; save it as UTF-8.";
inline constexpr char kControlCharacter[] =
    "Line N: extension holds control character 0xHH.";
inline constexpr char kTooManyExtensions[] =
    "Too many distinct extensions: their bytes exceed 4 GiB.";
inline constexpr char kCannotWrite[] = "Cannot write output file.";

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
// into with CheckListStart; `arena` bounds the bytes of the distinct
// extensions, as ExtensionSet's capacity.
std::uint32_t WriteDeviceList(LineReader& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp,
                              std::uint64_t arena = ExtensionSet::kMaxCapacity);

// Reads the first bytes of `list`, without consuming them, so that a list
// that cannot be used is refused before anything is written. Throws
// std::invalid_argument kCannotRead if the read fails, kUtf16 if the list is
// UTF-16.
void CheckListStart(LineReader& list);

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_DEVICELIST_H_
