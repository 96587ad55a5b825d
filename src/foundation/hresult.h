// HRESULT values and the rules that build them, without <windows.h>.
#pragma once

#include <cstdint>

namespace CV {

// 32 bits on every platform; the Windows adapter converts to ::HRESULT (long).
using HRESULT = std::int32_t;

constexpr bool Succeeded(HRESULT hr) noexcept { return hr >= 0; }
constexpr bool Failed(HRESULT hr) noexcept { return hr < 0; }

constexpr HRESULT MakeHResult(std::uint32_t value) noexcept { return static_cast<HRESULT>(value); }

// A Win32 error code as HRESULT: FACILITY_WIN32 for positive codes, the raw
// value otherwise (zero stays S_OK, a negative code is already an HRESULT).
constexpr HRESULT HResultFromWin32(std::int32_t code) noexcept {
  return code <= 0 ? code : MakeHResult((static_cast<std::uint32_t>(code) & 0xFFFFu) | 0x80070000u);
}

// The status a worker reports while its job runs, and the one a job gets
// when it had to be abandoned at shutdown.
constexpr std::uint32_t kStillActive = 259;
constexpr std::uint32_t kStatusControlCExit = 0xC000013Au;

}  // namespace CV

// The platform names, for code that cannot see <windows.h>. Where <windows.h>
// came first its macros (same values) take their place.
#define CV_DEFINE_HRESULT(name, value) \
  namespace CV { inline constexpr HRESULT name = MakeHResult(value); }

#ifndef S_OK
CV_DEFINE_HRESULT(S_OK, 0x00000000u)
#endif
#ifndef S_FALSE
CV_DEFINE_HRESULT(S_FALSE, 0x00000001u)
#endif
#ifndef E_FAIL
CV_DEFINE_HRESULT(E_FAIL, 0x80004005u)
#endif
#ifndef E_NOTIMPL
CV_DEFINE_HRESULT(E_NOTIMPL, 0x80004001u)
#endif
#ifndef E_NOINTERFACE
CV_DEFINE_HRESULT(E_NOINTERFACE, 0x80004002u)
#endif
#ifndef E_POINTER
CV_DEFINE_HRESULT(E_POINTER, 0x80004003u)
#endif
#ifndef E_ABORT
CV_DEFINE_HRESULT(E_ABORT, 0x80004004u)
#endif
#ifndef E_UNEXPECTED
CV_DEFINE_HRESULT(E_UNEXPECTED, 0x8000FFFFu)
#endif
#ifndef E_ACCESSDENIED
CV_DEFINE_HRESULT(E_ACCESSDENIED, 0x80070005u)
#endif
#ifndef E_OUTOFMEMORY
CV_DEFINE_HRESULT(E_OUTOFMEMORY, 0x8007000Eu)
#endif
#ifndef E_INVALIDARG
CV_DEFINE_HRESULT(E_INVALIDARG, 0x80070057u)
#endif
#ifndef DISP_E_MEMBERNOTFOUND
CV_DEFINE_HRESULT(DISP_E_MEMBERNOTFOUND, 0x80020003u)
#endif
#ifndef DISP_E_UNKNOWNNAME
CV_DEFINE_HRESULT(DISP_E_UNKNOWNNAME, 0x80020006u)
#endif
#ifndef DISP_E_TYPEMISMATCH
CV_DEFINE_HRESULT(DISP_E_TYPEMISMATCH, 0x80020005u)
#endif
#ifndef DISP_E_BADPARAMCOUNT
CV_DEFINE_HRESULT(DISP_E_BADPARAMCOUNT, 0x8002000Eu)
#endif
#ifndef DISP_E_EXCEPTION
CV_DEFINE_HRESULT(DISP_E_EXCEPTION, 0x80020009u)
#endif
#ifndef DISP_E_BADINDEX
CV_DEFINE_HRESULT(DISP_E_BADINDEX, 0x8002000Bu)
#endif
#ifndef CLASS_E_NOAGGREGATION
CV_DEFINE_HRESULT(CLASS_E_NOAGGREGATION, 0x80040110u)
#endif
#ifndef CO_E_NOTINITIALIZED
CV_DEFINE_HRESULT(CO_E_NOTINITIALIZED, 0x800401F0u)
#endif
#ifndef RPC_E_DISCONNECTED
CV_DEFINE_HRESULT(RPC_E_DISCONNECTED, 0x80010108u)
#endif
#ifndef RPC_E_CALL_REJECTED
CV_DEFINE_HRESULT(RPC_E_CALL_REJECTED, 0x80010001u)
#endif

#undef CV_DEFINE_HRESULT

namespace CV {
// Win32 error codes the system relies on.
namespace Win32Error {
inline constexpr std::int32_t Success = 0;
inline constexpr std::int32_t FileNotFound = 2;
inline constexpr std::int32_t PathNotFound = 3;
inline constexpr std::int32_t AccessDenied = 5;
inline constexpr std::int32_t NotEnoughMemory = 8;
inline constexpr std::int32_t OutOfMemory = 14;
inline constexpr std::int32_t NoMoreFiles = 18;
inline constexpr std::int32_t WriteProtect = 19;
inline constexpr std::int32_t NotSameDevice = 17;
inline constexpr std::int32_t NotReady = 21;
inline constexpr std::int32_t SharingViolation = 32;
inline constexpr std::int32_t LockViolation = 33;
inline constexpr std::int32_t HandleEof = 38;
inline constexpr std::int32_t HandleDiskFull = 39;
inline constexpr std::int32_t BadNetPath = 53;
inline constexpr std::int32_t UnexpectedNetError = 59;
inline constexpr std::int32_t NetNameDeleted = 64;
inline constexpr std::int32_t InvalidHandle = 6;
inline constexpr std::int32_t FileExists = 80;
inline constexpr std::int32_t InvalidParameter = 87;
inline constexpr std::int32_t InsufficientBuffer = 122;
inline constexpr std::int32_t InvalidName = 123;
inline constexpr std::int32_t DirNotEmpty = 145;
inline constexpr std::int32_t AlreadyExists = 183;
inline constexpr std::int32_t FilenameExcedRange = 206;
inline constexpr std::int32_t DiskFull = 112;
inline constexpr std::int32_t FileTooLarge = 223;
inline constexpr std::int32_t GenFailure = 31;
inline constexpr std::int32_t Directory = 267;
}  // namespace Win32Error
}  // namespace CV
