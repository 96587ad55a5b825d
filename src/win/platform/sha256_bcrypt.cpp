// SHA-256 from the system's cryptography (BCrypt): the same digests as
// libcrypto gives on Linux.
#include <windows.h>
#include <bcrypt.h>

#include <stdexcept>
#include <vector>

#include "components/container/sha256.h"

namespace CV::Components {

struct Sha256::Context {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;
  void Open() {
    DWORD size = 0, got = 0;
    if (!BCRYPT_SUCCESS(::BCryptGetProperty(algorithm, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size),
                                            sizeof size, &got, 0)))
      throw std::runtime_error("SHA-256 is not available");
    object.assign(size, 0);
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, object.data(), size, nullptr, 0, 0)))
      throw std::runtime_error("SHA-256 is not available");
  }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&m_context->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    throw std::runtime_error("SHA-256 is not available");
  m_context->Open();
}

Sha256::~Sha256() {
  if (m_context->hash) ::BCryptDestroyHash(m_context->hash);
  if (m_context->algorithm) ::BCryptCloseAlgorithmProvider(m_context->algorithm, 0);
}

void Sha256::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const UCHAR*>(data);
  while (size > 0) {
    const ULONG step = static_cast<ULONG>(std::min<std::size_t>(size, 1u << 30));
    if (!BCRYPT_SUCCESS(::BCryptHashData(m_context->hash, const_cast<PUCHAR>(bytes), step, 0)))
      throw std::runtime_error("SHA-256 failed");
    bytes += step, size -= step;
  }
}

Sha256::Digest Sha256::Final() {
  Digest digest{};
  if (!BCRYPT_SUCCESS(::BCryptFinishHash(m_context->hash, digest.data(), static_cast<ULONG>(digest.size()), 0)))
    throw std::runtime_error("SHA-256 failed");
  ::BCryptDestroyHash(m_context->hash);
  m_context->hash = nullptr;
  m_context->Open();
  return digest;
}

}  // namespace CV::Components
