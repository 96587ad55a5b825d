// CV::Data::CBlob: a growable byte buffer followed by two zero guard bytes, so
// that text in it is always followed by a zero UTF-16 code unit.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/bstr.h"

namespace CV::Data {

class CBlob {
 public:
  explicit CBlob(std::uint32_t size = 0);

  // Equal to the capacity: only the size changes. Smaller: the size shrinks
  // and the two bytes after it become zero. Larger: a new zeroed buffer
  // receives the old data.
  void Resize(std::uint32_t size);
  void Swap(CBlob& other) noexcept;

  std::uint32_t Capacity() const noexcept { return m_capacity; }
  std::uint32_t Size() const noexcept { return m_size; }
  std::uint8_t* Data() noexcept { return m_data.get(); }
  const std::uint8_t* Data() const noexcept { return m_data.get(); }

  // A byte-length BSTR of exactly Size() bytes. Throws CV::CException
  // (E_NOT_ENOUGH_MEMORY, 0x80070008) when it cannot be allocated.
  Bstr AllocBSTR() const;

 private:
  std::uint32_t m_capacity;
  std::uint32_t m_size;
  std::unique_ptr<std::uint8_t[]> m_data;
};

}  // namespace CV::Data
