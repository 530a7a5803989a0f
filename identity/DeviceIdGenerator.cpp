#include "quillmark/identity/DeviceIdGenerator.h"

#include <nettle/sha1.h>

#include <algorithm>
#include <array>
#include <boost/uuid/string_generator.hpp>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmark {
namespace {

const boost::uuids::uuid DeviceNamespaceGuid =
    boost::uuids::string_generator()("5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5");

constexpr std::string_view kTenantPrefix = "tenantId[";
constexpr std::string_view kSaltPrefix = "]:deviceIdGeneratorSalt[";
constexpr std::string_view kSaltEnd = "]";
constexpr std::string_view kExtensionKey = "Extension";
constexpr std::size_t kBlock = SHA1_BLOCK_SIZE;

void Absorb(sha1_ctx& sha1, std::string_view bytes) {
  sha1_update(&sha1, bytes.size(),
              reinterpret_cast<const std::uint8_t*>(bytes.data()));
}

// RFC 4122, 4.3: the digest's first 16 bytes, with the version (5) and the
// variant.
boost::uuids::uuid Version5(sha1_ctx& sha1) {
  boost::uuids::uuid id;
  sha1_digest(&sha1, id.size(), id.data);
  id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0f) | 0x50);
  id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3f) | 0x80);
  return id;
}

}  // namespace

// The SHA-1 states after the parts of the names that do not change: the
// namespace, the tenant ID and the salt; for the tool's one attribute also
// ":Extension[", so that a short extension costs one block. Where that fixed
// part is one byte short of a block, one state for each possible next byte
// completes it, so that the block of the extension is the only one left.
class DeviceIdGenerator::Names {
 public:
  Names(std::string_view tenant_id, std::string_view salt) {
    sha1_init(&salted_);
    Absorb(salted_, std::string_view(
                        reinterpret_cast<const char*>(DeviceNamespaceGuid.data),
                        DeviceNamespaceGuid.size()));
    for (const std::string_view part :
         {kTenantPrefix, tenant_id, kSaltPrefix, salt, kSaltEnd}) {
      Absorb(salted_, part);
    }
    extension_ = salted_;
    for (const std::string_view part :
         {std::string_view(":"), kExtensionKey, std::string_view("[")}) {
      Absorb(extension_, part);
    }
    const std::size_t fixed = DeviceNamespaceGuid.size() +
                              kTenantPrefix.size() + tenant_id.size() +
                              kSaltPrefix.size() + salt.size() +
                              kSaltEnd.size() + 1 + kExtensionKey.size() + 1;
    if (fixed % kBlock == kBlock - 1) {
      by_next_byte_.resize(256, extension_);
      for (std::size_t byte = 0; byte < 256; ++byte) {
        const char next = static_cast<char>(byte);
        Absorb(by_next_byte_[byte], std::string_view(&next, 1));
      }
    }
  }

  boost::uuids::uuid Id(const Dictionary& attributes) const {
    if (attributes.size() == 1 && attributes.begin()->first == kExtensionKey) {
      return ExtensionId(attributes.begin()->second);
    }
    sha1_ctx sha1 = salted_;
    for (const auto& [key, value] : attributes) {
      for (const std::string_view part : {std::string_view(":"),
                                          std::string_view(key),
                                          {"["},
                                          std::string_view(value),
                                          {"]"}}) {
        Absorb(sha1, part);
      }
    }
    return Version5(sha1);
  }

 private:
  boost::uuids::uuid ExtensionId(std::string_view extension) const {
    // The rest of the name is the extension and its "]".
    sha1_ctx sha1;
    if (by_next_byte_.empty()) {
      sha1 = extension_;
      Absorb(sha1, extension);
      Absorb(sha1, "]");
    } else if (extension.empty()) {
      sha1 = by_next_byte_[static_cast<unsigned char>(']')];
    } else {
      sha1 = by_next_byte_[static_cast<unsigned char>(extension.front())];
      Absorb(sha1, extension.substr(1));
      Absorb(sha1, "]");
    }
    return Version5(sha1);
  }

  sha1_ctx salted_;     // up to the salt's "]"
  sha1_ctx extension_;  // and on, up to ":Extension["
  std::vector<sha1_ctx> by_next_byte_;
};

DeviceIdGenerator::DeviceIdGenerator(std::string tenant_id, std::string salt)
    : tenant_id_(std::move(tenant_id)),
      salt_(std::move(salt)),
      names_(std::make_shared<const Names>(tenant_id_, salt_)) {}

boost::uuids::uuid DeviceIdGenerator::GenerateDeviceId(
    const Dictionary& attributes) const {
  return names_->Id(attributes);
}

}  // namespace quillmark
