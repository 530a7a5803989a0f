// SHA-1 (FIPS 180-4) through OpenSSL 3's EVP interface. The algorithm is
// fetched once, from the default provider, in a library context of its own,
// so that no openssl.cnf and no environment variable can change how a digest
// is computed. A prefix that many digests share is absorbed once, and each
// digest goes on from a copy of that state. Internal to the identity
// library; not installed.
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

  // The digest state after a prefix, to go on from as often as needed.
  class Prefix {
   public:
    // Absorbs `prefix`; throws std::runtime_error
    // DeviceIdGenerator::kSha1Failed if OpenSSL reports an error. `sha1`
    // must outlive it, as a static one does.
    Prefix(const Sha1& sha1, std::string_view prefix);
    ~Prefix();
    Prefix(const Prefix&) = delete;
    Prefix& operator=(const Prefix&) = delete;

    // Returns the digest of the prefix followed by `rest`. The prefix's
    // state is only read: each thread goes on in a context of its own,
    // kept for the thread's life, so calls may run at the same time. Throws
    // std::runtime_error DeviceIdGenerator::kSha1Failed if OpenSSL reports
    // an error.
    Digest Finish(std::string_view rest) const;

   private:
    EVP_MD_CTX* context_;
  };

 private:
  void Release();

  OSSL_LIB_CTX* library_ = nullptr;
  OSSL_PROVIDER* provider_ = nullptr;
  EVP_MD* md_ = nullptr;
};

}  // namespace quillmark

#endif  // QUILLMARK_IDENTITY_SHA1_H_
