// One generic owner for Windows handles; each alias names its close function
// and its invalid value on one line.
#pragma once

#include <windows.h>

#include <utility>

namespace CV::Win {

template <class T, void (*Close)(T), T (*Invalid)()>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T value) : m_value(value) {}
  UniqueAny(UniqueAny&& other) noexcept : m_value(std::exchange(other.m_value, Invalid())) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.m_value, Invalid()));
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { Reset(); }

  T Get() const noexcept { return m_value; }
  explicit operator bool() const noexcept { return m_value != Invalid(); }
  T Release() noexcept { return std::exchange(m_value, Invalid()); }
  void Reset(T value = Invalid()) noexcept {
    if (m_value != Invalid()) Close(m_value);
    m_value = value;
  }
  // For out-parameters: releases the old value and returns the address.
  T* Put() noexcept {
    Reset();
    return &m_value;
  }

 private:
  T m_value = Invalid();
};

namespace detail {
inline void CloseHandleValue(HANDLE h) { ::CloseHandle(h); }
inline void CloseFind(HANDLE h) { ::FindClose(h); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline HANDLE InvalidHandleValue() { return INVALID_HANDLE_VALUE; }
template <class T>
T Null() { return nullptr; }
}  // namespace detail

using UniqueFile = UniqueAny<HANDLE, detail::CloseHandleValue, detail::InvalidHandleValue>;
using UniqueFind = UniqueAny<HANDLE, detail::CloseFind, detail::InvalidHandleValue>;
using UniqueHKey = UniqueAny<HKEY, detail::CloseKey, detail::Null<HKEY>>;

}  // namespace CV::Win
