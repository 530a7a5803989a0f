#include "identity/Sha1.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <stdexcept>

#include "quillmark/identity/DeviceIdGenerator.h"

namespace quillmark {
namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

Sha1::Sha1(const char* algorithm) {
  library_ = OSSL_LIB_CTX_new();
  if (library_ != nullptr) provider_ = OSSL_PROVIDER_load(library_, "default");
  if (provider_ != nullptr) md_ = EVP_MD_fetch(library_, algorithm, nullptr);
  if (md_ == nullptr ||
      EVP_MD_get_size(md_) != static_cast<int>(Digest().size())) {
    Release();
    throw std::runtime_error(DeviceIdGenerator::kCannotLoadSha1);
  }
}

Sha1::~Sha1() { Release(); }

void Sha1::Release() {
  EVP_MD_free(md_);
  if (provider_ != nullptr) OSSL_PROVIDER_unload(provider_);
  OSSL_LIB_CTX_free(library_);
  md_ = nullptr;
  provider_ = nullptr;
  library_ = nullptr;
}

Sha1::Digest Sha1::Compute(std::string_view first,
                           std::string_view second) const {
  // One context per thread, kept and reused: allocating one per digest would
  // cost as much as a short digest itself.
  thread_local const std::unique_ptr<EVP_MD_CTX, ContextFree> context(
      EVP_MD_CTX_new());
  Digest digest;
  unsigned int size = 0;
  if (context == nullptr ||
      EVP_DigestInit_ex2(context.get(), md_, nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), first.data(), first.size()) != 1 ||
      EVP_DigestUpdate(context.get(), second.data(), second.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1 ||
      size != digest.size()) {
    throw std::runtime_error(DeviceIdGenerator::kSha1Failed);
  }
  return digest;
}

}  // namespace quillmark
