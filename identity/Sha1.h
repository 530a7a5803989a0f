// SHA-1 (FIPS 180-4) through OpenSSL 3's EVP interface. The algorithm is
// fetched once, from the default provider, in a library context of its own,
// so that no openssl.cnf and no environment variable can change how a digest
// is computed. Internal to the identity library; not installed.
#ifndef QUILLMARK_IDENTITY_SHA1_H_
#define QUILLMARK_IDENTITY_SHA1_H_

#include <openssl/types.h>

#include <array>
#include <string_view>

namespace quillmark {

class Sha1 {
 public:
  using Digest = std::array<unsigned char, 20>;

  // Fetches `algorithm`, which must be a 20-byte digest; throws
  // std::runtime_error DeviceIdGenerator::kCannotLoadSha1 if it cannot.
  explicit Sha1(const char* algorithm = "SHA1");
  ~Sha1();
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  // Returns the digest of `first` followed by `second`: a fresh computation,
  // in a context that the calling thread keeps for its life, so calls may run
  // at the same time. A Sha1 that computes must therefore outlive the threads
  // that use it, as a static one does. Throws std::runtime_error
  // DeviceIdGenerator::kSha1Failed if OpenSSL reports an error.
  Digest Compute(std::string_view first, std::string_view second) const;

 private:
  void Release();

  OSSL_LIB_CTX* library_ = nullptr;
  OSSL_PROVIDER* provider_ = nullptr;
  EVP_MD* md_ = nullptr;
};

}  // namespace quillmark

#endif  // QUILLMARK_IDENTITY_SHA1_H_
