#include "components/container/write_failure.h"

#include "foundation/format.h"
#include "foundation/hresult.h"
#include "foundation/utf.h"

namespace CV::Components {
namespace {

std::string Describe(std::int32_t error, const std::u16string& path) {
  return "cannot write " + ToUtf8(path) + " (error " + std::to_string(error) + ")";
}

enum class Kind { Missing, NoAccess, Full, InUse, Disconnected, Other };

Kind KindOf(std::int32_t error, WriteStep step) {
  switch (error) {
    case Win32Error::FileNotFound:
    case Win32Error::PathNotFound:
    case 15:  // ERROR_INVALID_DRIVE
    case Win32Error::NotReady:
      return Kind::Missing;
    case Win32Error::AccessDenied:
      return step == WriteStep::Target ? Kind::InUse : Kind::NoAccess;
    case Win32Error::WriteProtect:
    case 65:  // ERROR_NETWORK_ACCESS_DENIED
      return Kind::NoAccess;
    case Win32Error::DiskFull:
    case Win32Error::HandleDiskFull:
    case 1295:  // ERROR_DISK_QUOTA_EXCEEDED
      return Kind::Full;
    case Win32Error::SharingViolation:
    case Win32Error::LockViolation:
    case 1224:  // ERROR_USER_MAPPED_FILE
      return Kind::InUse;
    case 51:    // ERROR_REM_NOT_LIST
    case Win32Error::BadNetPath:
    case 54:    // ERROR_NETWORK_BUSY
    case 55:    // ERROR_DEV_NOT_EXIST
    case Win32Error::UnexpectedNetError:
    case Win32Error::NetNameDeleted:
    case 67:    // ERROR_BAD_NET_NAME
    case 1231:  // ERROR_NETWORK_UNREACHABLE
    case 1232:  // ERROR_HOST_UNREACHABLE
    case 1236:  // ERROR_CONNECTION_ABORTED
    case 2250:  // ERROR_NOT_CONNECTED
      return Kind::Disconnected;
    default:
      return Kind::Other;
  }
}

}  // namespace

WriteFailure::WriteFailure(std::int32_t error, std::u16string path)
    : ZipError(Describe(error, path)), m_error(error), m_path(std::move(path)) {}

void ThrowIfWriteFailed(std::int32_t error, std::u16string_view path) {
  if (error != 0) throw WriteFailure(error, std::u16string(path));
}

std::u16string WriteFailureText(std::int32_t error, WriteStep step, std::u16string_view folder,
                                std::u16string_view target) {
  const std::u16string f(folder), t(target);
  switch (KindOf(error, step)) {
    case Kind::Missing: return u"Der Ordner „" + f + u"“ existiert nicht.";
    case Kind::NoAccess: return u"Kein Schreibzugriff auf den Ordner „" + f + u"“.";
    case Kind::Full: return u"Der Datenträger ist voll: „" + t + u"“ konnte nicht geschrieben werden.";
    case Kind::InUse: return u"Die Datei „" + t + u"“ wird von einem anderen Programm verwendet.";
    case Kind::Disconnected: return u"Die Verbindung zu „" + f + u"“ ist unterbrochen.";
    case Kind::Other: break;
  }
  return u"„" + t + Format(u"“ konnte nicht geschrieben werden (Fehler %d).", error);
}

}  // namespace CV::Components
