#include "quillmark/identity/DeviceIdGenerator.h"

#include <algorithm>
#include <array>
#include <boost/uuid/string_generator.hpp>
#include <memory>
#include <string_view>
#include <utility>

#include "identity/Sha1.h"

namespace quillmark {
namespace {

const boost::uuids::uuid DeviceNamespaceGuid =
    boost::uuids::string_generator()("5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5");

// Fetched on first use, so that a failure to load it is an error that the
// caller can report rather than one before main.
const Sha1& Sha1Digest() {
  static const Sha1 sha1;
  return sha1;
}

constexpr std::string_view kTenantPrefix = "tenantId[";
constexpr std::string_view kSaltPrefix = "]:deviceIdGeneratorSalt[";

}  // namespace

DeviceIdGenerator::DeviceIdGenerator(std::string tenant_id, std::string salt)
    : tenant_id_(std::move(tenant_id)), salt_(std::move(salt)) {}

boost::uuids::uuid DeviceIdGenerator::GenerateDeviceId(
    const Dictionary& attributes) const {
  std::size_t size = kTenantPrefix.size() + tenant_id_.size() +
                     kSaltPrefix.size() + salt_.size() + 1;
  for (const auto& [key, value] : attributes) {
    size += key.size() + value.size() + 3;
  }
  // A typical name fits on the stack; this runs once per device, and a heap
  // allocation would cost more than composing the name.
  std::array<char, 256> stack_buffer;
  std::unique_ptr<char[]> heap_buffer;
  char* const name =
      size <= stack_buffer.size()
          ? stack_buffer.data()
          : (heap_buffer = std::make_unique_for_overwrite<char[]>(size)).get();
  char* end = std::ranges::copy(kTenantPrefix, name).out;
  end = std::ranges::copy(tenant_id_, end).out;
  end = std::ranges::copy(kSaltPrefix, end).out;
  end = std::ranges::copy(salt_, end).out;
  *end++ = ']';
  for (const auto& [key, value] : attributes) {
    *end++ = ':';
    end = std::ranges::copy(key, end).out;
    *end++ = '[';
    end = std::ranges::copy(value, end).out;
    *end++ = ']';
  }
  const Sha1::Digest digest = Sha1Digest().Compute(
      std::string_view(reinterpret_cast<const char*>(DeviceNamespaceGuid.data),
                       DeviceNamespaceGuid.size()),
      std::string_view(name, size));
  // RFC 4122, 4.3: the first 16 bytes, with the version (5) and the variant.
  boost::uuids::uuid id;
  std::copy_n(digest.begin(), id.size(), id.begin());
  id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0f) | 0x50);
  id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3f) | 0x80);
  return id;
}

}  // namespace quillmark
