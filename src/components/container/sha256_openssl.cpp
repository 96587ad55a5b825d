// SHA-256 from libcrypto's EVP interface.
#include <openssl/evp.h>

#include <stdexcept>

#include "components/container/sha256.h"

namespace CV::Components {

struct Sha256::Context {
  EVP_MD_CTX* md = nullptr;
};

namespace {

// Fetched once: an implicit fetch per digest takes the provider's lock each
// time, and the writer's threads would queue on it.
const EVP_MD* Algorithm() {
  static EVP_MD* const fetched = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  return fetched ? fetched : EVP_sha256();
}

}  // namespace

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
  m_context->md = EVP_MD_CTX_new();
  if (!m_context->md || EVP_DigestInit_ex(m_context->md, Algorithm(), nullptr) != 1)
    throw std::runtime_error("SHA-256 is not available");
}

Sha256::~Sha256() { EVP_MD_CTX_free(m_context->md); }

void Sha256::Update(const void* data, std::size_t size) {
  if (size && EVP_DigestUpdate(m_context->md, data, size) != 1) throw std::runtime_error("SHA-256 failed");
}

Sha256::Digest Sha256::Final() {
  Digest digest{};
  unsigned length = 0;
  if (EVP_DigestFinal_ex(m_context->md, digest.data(), &length) != 1 || length != digest.size() ||
      EVP_DigestInit_ex(m_context->md, Algorithm(), nullptr) != 1)
    throw std::runtime_error("SHA-256 failed");
  return digest;
}

}  // namespace CV::Components
