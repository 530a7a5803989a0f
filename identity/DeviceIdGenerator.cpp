#include "quillmark/identity/DeviceIdGenerator.h"

#include <algorithm>
#include <array>
#include <boost/uuid/string_generator.hpp>
#include <memory>
#include <stdexcept>
#include <string>
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

class DeviceIdGenerator::Prefix : public Sha1::Prefix {
  using Sha1::Prefix::Prefix;
};

DeviceIdGenerator::DeviceIdGenerator(std::string tenant_id, std::string salt)
    : tenant_id_(std::move(tenant_id)), salt_(std::move(salt)) {
  // The namespace and the tenant's part of the name are the same for every
  // device: they are hashed once. A generator that cannot hash is still
  // made, and says so when it is asked for an ID.
  std::string prefix(reinterpret_cast<const char*>(DeviceNamespaceGuid.data),
                     DeviceNamespaceGuid.size());
  prefix.append(kTenantPrefix).append(tenant_id_);
  prefix.append(kSaltPrefix).append(salt_) += ']';
  try {
    prefix_ = std::make_shared<const Prefix>(Sha1Digest(), prefix);
  } catch (const std::runtime_error&) {
  }
}

boost::uuids::uuid DeviceIdGenerator::GenerateDeviceId(
    const Dictionary& attributes) const {
  if (prefix_ == nullptr) {
    throw std::runtime_error(kCannotLoadSha1);
  }
  std::size_t size = 0;
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
  char* end = name;
  for (const auto& [key, value] : attributes) {
    *end++ = ':';
    end = std::ranges::copy(key, end).out;
    *end++ = '[';
    end = std::ranges::copy(value, end).out;
    *end++ = ']';
  }
  const Sha1::Digest digest = prefix_->Finish(std::string_view(name, size));
  // RFC 4122, 4.3: the first 16 bytes, with the version (5) and the variant.
  boost::uuids::uuid id;
  std::copy_n(digest.begin(), id.size(), id.begin());
  id.data[6] = static_cast<std::uint8_t>((id.data[6] & 0x0f) | 0x50);
  id.data[8] = static_cast<std::uint8_t>((id.data[8] & 0x3f) | 0x80);
  return id;
}

}  // namespace quillmark
