#include "devicelist/DeviceRecord.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmark {
namespace {

constexpr std::string_view kIdLine = "]\nId=";
constexpr std::string_view kPpLine = "\nPP=";
constexpr std::string_view kAttributesLine = "\nAttributes=";
constexpr std::string_view kRecordedLine = "\nRecorded=1\n";
// "[", the ID, and the longest numbers: 10 digits for a line, 5 for a PP ID.
constexpr std::size_t kMostMiddle = kPpLine.size() + 5 + kAttributesLine.size();
constexpr std::size_t kMostFixed =
    1 + 36 + kIdLine.size() + 10 + kMostMiddle + kRecordedLine.size();

char* Put(char* p, std::string_view text) {
  return std::copy(text.begin(), text.end(), p);
}

char* PutNumber(char* p, unsigned value) {
  return std::to_chars(p, p + 10, value).ptr;
}

// The 32 hexadecimal digits of `id`, high nibble first, as
// boost::uuids::to_string writes them.
void Hex(const boost::uuids::uuid& id, char* hex) {
#if defined(__SSE2__)
  const __m128i bytes =
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(id.data));
  const __m128i nibble = _mm_set1_epi8(0x0f);
  const auto digits = [](__m128i v) {
    // '0' to '9', and 'a' to 'f' from 10 on.
    const __m128i letter = _mm_cmpgt_epi8(v, _mm_set1_epi8(9));
    return _mm_add_epi8(_mm_add_epi8(v, _mm_set1_epi8('0')),
                        _mm_and_si128(letter, _mm_set1_epi8('a' - '0' - 10)));
  };
  const __m128i high = digits(_mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
  const __m128i low = digits(_mm_and_si128(bytes, nibble));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hex),
                   _mm_unpacklo_epi8(high, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(hex + 16),
                   _mm_unpackhi_epi8(high, low));
#else
  constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < 16; ++i) {
    hex[2 * i] = kDigits[id.data[i] >> 4];
    hex[2 * i + 1] = kDigits[id.data[i] & 0x0f];
  }
#endif
}

// The groups of 8, 4, 4, 4 and 12 digits, joined by "-".
char* PutDeviceId(char* p, const boost::uuids::uuid& id) {
  char hex[32];
  Hex(id, hex);
  std::memcpy(p, hex, 8);
  p[8] = '-';
  std::memcpy(p + 9, hex + 8, 4);
  p[13] = '-';
  std::memcpy(p + 14, hex + 12, 4);
  p[18] = '-';
  std::memcpy(p + 19, hex + 16, 4);
  p[23] = '-';
  std::memcpy(p + 24, hex + 20, 12);
  return p + 36;
}

}  // namespace

DeviceRecords::DeviceRecords(std::uint16_t pp) {
  static_assert(sizeof middle_ >= kMostMiddle);
  const char* const end =
      Put(PutNumber(Put(middle_, kPpLine), pp), kAttributesLine);
  middle_size_ = static_cast<std::size_t>(end - middle_);
}

std::size_t DeviceRecords::MaxSize(const Dictionary& attributes) const {
  return kMostFixed + DictionaryTextSize(attributes);
}

char* DeviceRecords::Format(const boost::uuids::uuid& id, std::uint32_t line,
                            const Dictionary& attributes, char* out) const {
  char* p = out;
  *p++ = '[';
  p = PutDeviceId(p, id);
  p = PutNumber(Put(p, kIdLine), line);
  p = std::copy_n(middle_, middle_size_, p);
  p = DictionaryToString(attributes, ';', p);
  return Put(p, kRecordedLine);
}

}  // namespace quillmark
