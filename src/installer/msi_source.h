// The installer package's source (WiX XML, built by wixl) made from the
// registration tables of both DLLs: the registry entries an installed
// package leaves are the ones regsvr32 leaves, for the same scope.
// Portable: a Linux build tool writes it.
#pragma once

#include <string>
#include <vector>

#include "foundation/guid.h"
#include "registration/registration_table.h"

namespace CV::Win::Installer {

enum class Scope { Machine, User };

struct PackageOptions {
  Scope scope = Scope::Machine;
  Registry::Bitness bitness = Registry::Bitness::x64;
  std::string version;  // "1.0.0" or "1.0.0.0": the package keeps the first three fields
  std::string addinDll;       // the file to take in, as wixl finds it
  std::string componentsDll;
  std::string helpFile;  // CVHilfe.chm, installed beside the add-in
};

// The source of one package; throws std::invalid_argument for a version
// Windows Installer cannot compare.
std::string MsiSource(const PackageOptions& options);

// What wixl cannot write (registry keys without a value, the removal of a
// folder other than the component's): SQL for msibuild, one statement
// each, run on the package wixl made.
std::vector<std::string> PostQueries(const PackageOptions& options);

// The package's summary: subject, author and template (platform and
// language), which wixl does not take from the source.
std::vector<std::string> SummaryFields(const PackageOptions& options);
std::string ProductName(const PackageOptions& options);

// The fixed upgrade code of a scope and bitness: a newer package of the
// same pair replaces an older one.
Guid UpgradeCode(Scope scope, Registry::Bitness bitness);

// A GUID that depends on the text alone, the same in every build.
Guid StableGuid(std::string_view text);

}  // namespace CV::Win::Installer
