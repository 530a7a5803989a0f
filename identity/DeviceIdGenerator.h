// Device IDs: name-based UUIDs of version 5 (RFC 4122, SHA-1) over a fixed
// namespace and the device-ID name
//   "tenantId[" tenant "]:deviceIdGeneratorSalt[" salt "]"
//   then ":" key "[" value "]" for every attribute, in key order.
// Nothing is escaped or trimmed; every byte of the name is hashed, so any
// other system can recompute an ID from the same inputs.
#ifndef QUILLMARK_IDENTITY_DEVICEIDGENERATOR_H_
#define QUILLMARK_IDENTITY_DEVICEIDGENERATOR_H_

#include <boost/uuid/uuid.hpp>
#include <memory>
#include <string>

#include "quillmark/dictionary/Dictionary.h"

namespace quillmark {

// Keeps the tool's loop apart from how a device's ID is derived.
class IDeviceIdGenerator {
 public:
  virtual ~IDeviceIdGenerator() = default;

  // Returns the ID of the device with these attributes.
  virtual boost::uuids::uuid GenerateDeviceId(
      const Dictionary& attributes) const = 0;
};

class DeviceIdGenerator : public IDeviceIdGenerator {
 public:
  DeviceIdGenerator(std::string tenant_id, std::string salt);

  // Returns the version-5 UUID of the device-ID name built from the tenant
  // ID, the salt and `attributes`. Calls may run on several threads at once,
  // and a copy gives the same IDs.
  boost::uuids::uuid GenerateDeviceId(
      const Dictionary& attributes) const override;

 private:
  class Names;  // the digests of the names' fixed starts, absorbed once
  std::string tenant_id_;
  std::string salt_;
  std::shared_ptr<const Names> names_;
};

}  // namespace quillmark

#endif  // QUILLMARK_IDENTITY_DEVICEIDGENERATOR_H_
