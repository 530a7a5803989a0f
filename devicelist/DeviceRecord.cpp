#include "devicelist/DeviceRecord.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace quillmark {
namespace {

constexpr std::string_view kIdLine = "]\nId=";
constexpr std::string_view kPpLine = "\nPP=";
constexpr std::string_view kAttributesLine = "\nAttributes=";
constexpr std::string_view kRecordedLine = "\nRecorded=1\n";

char* PutNumber(char* p, unsigned value) {
  return std::to_chars(p, p + 10, value).ptr;
}

// The two hexadecimal digits of every byte value.
constexpr std::array<std::array<char, 2>, 256> kHexPairs = [] {
  constexpr char kDigits[] = "0123456789abcdef";
  std::array<std::array<char, 2>, 256> pairs{};
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    pairs[i] = {kDigits[i >> 4], kDigits[i & 0x0f]};
  }
  return pairs;
}();

// The text form that boost::uuids::to_string gives, written in place: this
// runs once per device.
char* PutDeviceId(char* p, const boost::uuids::uuid& id) {
  std::size_t i = 0;
  for (const std::size_t group_end : {4, 6, 8, 10, 16}) {
    if (i != 0) *p++ = '-';
    for (; i < group_end; ++i) {
      p = std::copy_n(kHexPairs[id.data[i]].data(), 2, p);
    }
  }
  return p;
}

}  // namespace

void FormatDeviceRecord(const boost::uuids::uuid& id, std::uint32_t line,
                        std::uint16_t pp, std::string_view attributes,
                        std::string& record) {
  // Room for the longest numbers; the string is cut to what was written.
  const std::size_t most = 1 + 36 + kIdLine.size() + 10 + kPpLine.size() + 5 +
                           kAttributesLine.size() + attributes.size() +
                           kRecordedLine.size();
  record.resize(most);
  char* p = record.data();
  *p++ = '[';
  p = PutDeviceId(p, id);
  p = std::ranges::copy(kIdLine, p).out;
  p = PutNumber(p, line);
  p = std::ranges::copy(kPpLine, p).out;
  p = PutNumber(p, pp);
  p = std::ranges::copy(kAttributesLine, p).out;
  p = std::ranges::copy(attributes, p).out;
  p = std::ranges::copy(kRecordedLine, p).out;
  record.resize(static_cast<std::size_t>(p - record.data()));
}

}  // namespace quillmark
