// The generation loop: an extension list in, device records out.
//
// The list holds one extension per line. Each line is trimmed of space, tab,
// line feed, vertical tab, form feed and carriage return at both ends; blank
// lines are skipped, and a repeated extension is reported and skipped. Every
// new extension becomes one device record (see DeviceRecord.h) whose Id is
// the line's number, counting from 1 and counting every line read.
#ifndef QUILLMARK_TOOL_DEVICELIST_H_
#define QUILLMARK_TOOL_DEVICELIST_H_

#include <cstdint>
#include <istream>
#include <ostream>

#include "identity/DeviceIdGenerator.h"

namespace quillmark {

// Reads `list` to its end and writes one record per new extension to `ini`,
// each flushed as soon as it is complete, and one "Ignoring duplicate
// extension: '<extension>'" line per repeat to `notices`, also flushed; a
// failed notice is left for the caller to find in the state of `notices`.
// Returns the number of records written. Throws std::invalid_argument
// "Cannot read input file." on a read error and "Cannot write output file."
// on a write error; the records written before either stay written.
std::uint32_t WriteDeviceList(std::istream& list, std::ostream& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp);

}  // namespace quillmark

#endif  // QUILLMARK_TOOL_DEVICELIST_H_
