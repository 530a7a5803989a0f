// An independent computation of device IDs, for checking the real generator:
// the device-ID name is built here from its documented recipe and hashed by
// Boost.Uuid's own version-5 name generator, and the UUID's text form is
// formatted by hand.
#ifndef QUILLMARK_TEST_REFERENCE_DEVICE_ID_H_
#define QUILLMARK_TEST_REFERENCE_DEVICE_ID_H_

#include <string>
#include <utility>
#include <vector>

namespace quillmark::test {

// Returns the canonical text form of the version-5 UUID for these inputs.
// `attributes` must already be in ascending byte order of keys.
std::string ReferenceDeviceId(
    const std::string& tenant_id, const std::string& salt,
    const std::vector<std::pair<std::string, std::string>>& attributes);

}  // namespace quillmark::test

#endif  // QUILLMARK_TEST_REFERENCE_DEVICE_ID_H_
