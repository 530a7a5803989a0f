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

[[noreturn]] void Failed() {
  throw std::runtime_error(DeviceIdGenerator::kSha1Failed);
}

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

Sha1::Prefix::Prefix(const Sha1& sha1, std::string_view prefix)
    : context_(EVP_MD_CTX_new()) {
  if (context_ == nullptr ||
      EVP_DigestInit_ex2(context_, sha1.md_, nullptr) != 1 ||
      EVP_DigestUpdate(context_, prefix.data(), prefix.size()) != 1) {
    EVP_MD_CTX_free(context_);
    Failed();
  }
}

Sha1::Prefix::~Prefix() { EVP_MD_CTX_free(context_); }

Sha1::Digest Sha1::Prefix::Finish(std::string_view rest) const {
  // Allocating a context per digest would cost as much as a short digest.
  thread_local const std::unique_ptr<EVP_MD_CTX, ContextFree> context(
      EVP_MD_CTX_new());
  Digest digest;
  unsigned int size = 0;
  if (context == nullptr || EVP_MD_CTX_copy_ex(context.get(), context_) != 1 ||
      EVP_DigestUpdate(context.get(), rest.data(), rest.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1 ||
      size != digest.size()) {
    Failed();
  }
  return digest;
}

}  // namespace quillmark
