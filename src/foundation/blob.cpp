#include "foundation/blob.h"

#include <cstring>
#include <new>
#include <utility>

#include "foundation/exception.h"

namespace CV::Data {
namespace {

std::unique_ptr<std::uint8_t[]> Allocate(std::uint32_t size) {
  return std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(size) + 2);  // zeroed
}

}  // namespace

CBlob::CBlob(std::uint32_t size) : m_capacity(size), m_size(size), m_data(Allocate(size)) {}

void CBlob::Resize(std::uint32_t size) {
  if (size == m_capacity) {
    m_size = size;
  } else if (size < m_capacity) {
    m_size = size;
    m_data[size] = 0;
    m_data[static_cast<std::size_t>(size) + 1] = 0;
  } else {
    auto data = Allocate(size);
    std::memcpy(data.get(), m_data.get(), m_capacity);
    m_data = std::move(data);
    m_capacity = size;
    m_size = size;
  }
}

void CBlob::Swap(CBlob& other) noexcept {
  std::swap(m_capacity, other.m_capacity);
  std::swap(m_size, other.m_size);
  std::swap(m_data, other.m_data);
}

Bstr CBlob::AllocBSTR() const {
  try {
    return Bstr::FromBytes(m_data.get(), m_size);
  } catch (const std::bad_alloc&) {
    throw CException(u"CV::Data::CBlob::AllocBSTR", static_cast<std::int32_t>(0x80070008u), u"");
  }
}

}  // namespace CV::Data
