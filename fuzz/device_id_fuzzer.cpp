// The device ID, differentially: the generator, which hashes with Nettle,
// must agree with Boost.Uuid's own version-5 name generator.
#include <boost/uuid/uuid_io.hpp>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/fuzz_util.h"
#include "quillmark/dictionary/Dictionary.h"
#include "quillmark/identity/DeviceIdGenerator.h"
#include "test/reference_device_id.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  quillmark::fuzz::ByteReader reader(data, size);
  const std::string tenant_id = reader.String();
  const std::string salt = reader.String();
  Dictionary attributes;
  while (!reader.empty()) {
    std::string key = reader.String();
    attributes.emplace(std::move(key), reader.String());
  }
  const std::vector<std::pair<std::string, std::string>> sorted(
      attributes.begin(), attributes.end());

  const quillmark::DeviceIdGenerator generator(tenant_id, salt);
  FUZZ_CHECK(boost::uuids::to_string(generator.GenerateDeviceId(attributes)) ==
             quillmark::test::ReferenceDeviceId(tenant_id, salt, sorted));
  return 0;
}
