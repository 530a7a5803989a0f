#include "identity/DeviceIdGenerator.h"

#include <boost/uuid/name_generator_sha1.hpp>
#include <boost/uuid/string_generator.hpp>
#include <string_view>
#include <utility>

namespace quillmark {
namespace {

const boost::uuids::uuid DeviceNamespaceGuid =
    boost::uuids::string_generator()("5e1d7c42-9a3b-4f06-8d2e-71c4b9a0f3d5");

const boost::uuids::name_generator_sha1 Generator(DeviceNamespaceGuid);

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
  std::string name;
  name.reserve(size);
  name += kTenantPrefix;
  name += tenant_id_;
  name += kSaltPrefix;
  name += salt_;
  name += ']';
  for (const auto& [key, value] : attributes) {
    name += ':';
    name += key;
    name += '[';
    name += value;
    name += ']';
  }
  return Generator(name);
}

}  // namespace quillmark
