#include "test/reference_device_id.h"

#include <openssl/evp.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace quillmark::test {
namespace {

// 5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5, in network byte order.
constexpr std::array<unsigned char, 16> kNamespace = {
    0x5e, 0x1d, 0x7c, 0x42, 0x9a, 0x3b, 0x4f, 0x06,
    0x8d, 0x2e, 0x71, 0xc4, 0xb9, 0xa0, 0xf3, 0xd5};

}  // namespace

std::string ReferenceDeviceId(
    const std::string& tenant_id, const std::string& salt,
    const std::vector<std::pair<std::string, std::string>>& attributes) {
  std::string message(kNamespace.begin(), kNamespace.end());
  message.append("tenantId[")
      .append(tenant_id)
      .append("]:deviceIdGeneratorSalt[")
      .append(salt)
      .append("]");
  for (const auto& [key, value] : attributes) {
    message.append(":").append(key).append("[").append(value).append("]");
  }
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_Digest(message.data(), message.size(), digest.data(), &size,
                 EVP_sha1(), nullptr) != 1 ||
      size != 20) {
    throw std::runtime_error("SHA-1 failed");
  }
  digest[6] = static_cast<unsigned char>((digest[6] & 0x0f) | 0x50);
  digest[8] = static_cast<unsigned char>((digest[8] & 0x3f) | 0x80);
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    std::array<char, 3> hex{};
    std::snprintf(hex.data(), hex.size(), "%02x", digest[i]);
    text += hex.data();
  }
  return text;
}

}  // namespace quillmark::test
