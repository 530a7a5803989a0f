#include "tool/DeviceRecord.h"

#include <array>
#include <charconv>

namespace quillmark {
namespace {

using namespace std::string_view_literals;

void AppendNumber(std::string& s, unsigned value) {
  std::array<char, 16> digits;
  const auto result =
      std::to_chars(digits.data(), digits.data() + digits.size(), value);
  s.append(digits.data(), result.ptr);
}

// The text form that boost::uuids::to_string gives, without a string of its
// own: this runs once per device.
void AppendDeviceId(std::string& s, const boost::uuids::uuid& id) {
  static constexpr char kHex[] = "0123456789abcdef";
  const std::size_t start = s.size();
  s.resize(start + 36);
  char* p = s.data() + start;
  for (std::size_t i = 0; i < id.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
    *p++ = kHex[id.data[i] >> 4];
    *p++ = kHex[id.data[i] & 0x0f];
  }
}

}  // namespace

void FormatDeviceRecord(const boost::uuids::uuid& id, std::uint32_t line,
                        std::uint16_t pp, std::string_view attributes,
                        std::string& record) {
  record.clear();
  record += '[';
  AppendDeviceId(record, id);
  record += "]\nId="sv;
  AppendNumber(record, line);
  record += "\nPP="sv;
  AppendNumber(record, pp);
  record += "\nAttributes="sv;
  record += attributes;
  record += "\nRecorded=1\n"sv;
}

}  // namespace quillmark
