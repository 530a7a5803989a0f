// Device records, as the INI file holds them: five lines per device,
//   "[" device ID "]\n"
//   "Id=" line number "\n"
//   "PP=" PP ID "\n"
//   "Attributes=" attributes in dictionary text form "\n"
//   "Recorded=1\n"
// with the device ID in canonical text form (36 lower-case hexadecimal digits
// in groups of 8, 4, 4, 4 and 12, joined by "-") and the numbers in decimal.
#ifndef QUILLMARK_DEVICELIST_DEVICERECORD_H_
#define QUILLMARK_DEVICELIST_DEVICERECORD_H_

#include <boost/uuid/uuid.hpp>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillmark {

// Replaces the content of `record` with the record of one device. Reuses the
// string's capacity, so that a loop allocates nothing per record.
void FormatDeviceRecord(const boost::uuids::uuid& id, std::uint32_t line,
                        std::uint16_t pp, std::string_view attributes,
                        std::string& record);

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_DEVICERECORD_H_
