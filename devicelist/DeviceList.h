// The generation loop: an extension list in, device records out.
//
// The list holds one extension per line, in UTF-8 or any 8-bit encoding,
// taken byte for byte; a line is at most 1 MiB long. A list in UTF-32 or
// UTF-16 (by its byte order mark, or NULs at every other byte of its first
// line), or with CR-only line ends, is refused. A DOS end-of-file
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

#include "devicelist/ByteSource.h"
#include "devicelist/ExtensionSet.h"
#include "devicelist/LineReader.h"
#include "devicelist/Memory.h"
#include "devicelist/RecordSink.h"
#include "quillmark/identity/DeviceIdGenerator.h"

namespace quillmark {

// Reads `list` to its end and appends one record per new extension to `ini`,
// and writes a notice line per repeat, which names the extension, to
// `notices`, flushed whenever the list is to be read again and at the end; a
// failed notice is left for the caller to find in the state of `notices`. The
// seen set's memory comes from `memory`. Returns the number of records written.
// Throws std::invalid_argument with a message of ListMessages.h for a list that
// it cannot use, and what `list`, `ini` and `generator` throw, unchanged; what
// was appended before stays.
std::uint32_t WriteDeviceList(ByteSource& list, RecordSink& ini,
                              std::ostream& notices,
                              const IDeviceIdGenerator& generator,
                              std::uint16_t pp,
                              Memory& memory = Memory::Default());

// The same, for a list whose reader the caller made; `arena_limit` bounds the
// bytes of the distinct extensions, as ExtensionSet's does: tests set a
// small one to reach kTooManyExtensions without 4 GiB of them.
std::uint32_t WriteDeviceList(
    LineReader& list, RecordSink& ini, std::ostream& notices,
    const IDeviceIdGenerator& generator, std::uint16_t pp,
    Memory& memory = Memory::Default(),
    std::uint64_t arena_limit = ExtensionSet::kMaxCapacity);

// Reads the first line of `list`, or its first 4 KiB, without consuming
// it, so that a list that cannot be used is refused before anything is
// written. Throws std::invalid_argument kUtf32 or kUtf16 for a list in
// those encodings (UTF-16 also without a byte order mark), kCrOnly for one
// whose lines end with a carriage return alone, and what the reader throws.
void CheckListStart(LineReader& list);

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_DEVICELIST_H_
