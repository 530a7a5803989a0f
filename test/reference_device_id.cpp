#include "test/reference_device_id.h"

#include <array>
#include <boost/uuid/name_generator_sha1.hpp>
#include <cstdio>

namespace quillmark::test {
namespace {

// 5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5, in network byte order.
constexpr boost::uuids::uuid kNamespace = {{0x5e, 0x1d, 0x7c, 0x42, 0x9a, 0x3b,
                                            0x4f, 0x06, 0x8d, 0x2e, 0x71, 0xc4,
                                            0xb9, 0xa0, 0xf3, 0xd5}};

}  // namespace

std::string ReferenceDeviceId(
    const std::string& tenant_id, const std::string& salt,
    const std::vector<std::pair<std::string, std::string>>& attributes) {
  std::string name;
  name.append("tenantId[")
      .append(tenant_id)
      .append("]:deviceIdGeneratorSalt[")
      .append(salt)
      .append("]");
  for (const auto& [key, value] : attributes) {
    name.append(":").append(key).append("[").append(value).append("]");
  }
  const boost::uuids::uuid id =
      boost::uuids::name_generator_sha1(kNamespace)(name.data(), name.size());
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    std::array<char, 3> hex{};
    std::snprintf(hex.data(), hex.size(), "%02x", id.data[i]);
    text += hex.data();
  }
  return text;
}

}  // namespace quillmark::test
