// Why a container could not be written, and how the user is told: one
// table of German texts for the writer on every platform and for cvmail.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "components/container/zip_error.h"

namespace CV::Components {

// A file of the container the file system refused: its error (Win32 codes,
// as the file-system port reports them) and the path concerned, which may
// be a temporary file's that the user never sees.
class WriteFailure : public ZipError {
 public:
  WriteFailure(std::int32_t error, std::u16string path);
  std::int32_t Error() const noexcept { return m_error; }
  const std::u16string& Path() const noexcept { return m_path; }

 private:
  std::int32_t m_error;
  std::u16string m_path;
};

// Throws WriteFailure unless error is 0.
void ThrowIfWriteFailed(std::int32_t error, std::u16string_view path);

// Where the failure came.
enum class WriteStep {
  Folder,  // making a file in the target's folder, or writing it
  Target,  // putting the finished container at its name
};

// The text for the user, naming the folder or the target as the user knows
// them (never a temporary name):
//   "Der Ordner „%s“ existiert nicht."
//   "Kein Schreibzugriff auf den Ordner „%s“."
//   "Der Datenträger ist voll: „%s“ konnte nicht geschrieben werden."
//   "Die Datei „%s“ wird von einem anderen Programm verwendet."
//   "Die Verbindung zu „%s“ ist unterbrochen."
//   otherwise "„%s“ konnte nicht geschrieben werden (Fehler %d)."
// At the target, a refused access means the file is held by someone else.
std::u16string WriteFailureText(std::int32_t error, WriteStep step, std::u16string_view folder,
                                std::u16string_view target);

}  // namespace CV::Components
