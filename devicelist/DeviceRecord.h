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
#include <cstddef>
#include <cstdint>

#include "quillmark/dictionary/Dictionary.h"

namespace quillmark {

// The records of one run, for one PP ID.
class DeviceRecords {
 public:
  explicit DeviceRecords(std::uint16_t pp);

  // Returns the most bytes that the record of a device with these
  // attributes takes.
  std::size_t MaxSize(const Dictionary& attributes) const;

  // Writes the record of one device to `out`, which has room for
  // MaxSize(attributes) bytes; returns the end of what was written. This
  // runs once per device, straight into the output's block.
  char* Format(const boost::uuids::uuid& id, std::uint32_t line,
               const Dictionary& attributes, char* out) const;

 private:
  // "\nPP=" pp "\nAttributes=", the same in every record.
  char middle_[32];
  std::size_t middle_size_;
};

}  // namespace quillmark

#endif  // QUILLMARK_DEVICELIST_DEVICERECORD_H_
