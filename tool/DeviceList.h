// The generation loop: an extension list in, device records out.
//
// The list holds one extension per line, in UTF-8 or any 8-bit encoding,
// taken byte for byte. A UTF-8 byte order mark (EF BB BF) as the list's first
// bytes and a DOS end-of-file mark (1A) as its last byte are dropped. Each
// line is trimmed of space, tab, line feed, vertical tab, form feed and
// carriage return at both ends; blank lines are skipped, and a repeated
// extension is reported and skipped. What remains may hold no ASCII control
// character (00 to 1F, 7F). Every new extension becomes one device record
// (see DeviceRecord.h) whose Id is the line's number, counting from 1 and
// counting every line read.
#ifndef QUILLMARK_TOOL_DEVICELIST_H_
#define QUILLMARK_TOOL_DEVICELIST_H_

#include <cstdint>
#include <istream>
#include <ostream>

#include "quillmark/identity/DeviceIdGenerator.h"

namespace quillmark {

// Reads `list` to its end and writes one record per new extension to `ini`,
// each flushed as soon as it is complete, and one "Ignoring duplicate
// extension: '<extension>'" line per repeat to `notices`, also flushed; a
// failed notice is left for the caller to find in the state of `notices`.
// Returns the number of records written. Throws std::invalid_argument
// "Cannot read input file." on a read error, "Cannot write output file." on a
// write error and "Line N: extension holds control character 0xHH." for the
// first extension that holds one; what was written before stays written.
std::uint32_t WriteDeviceList(std::istream& list, std::ostream& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_DEVICELIST_H_
