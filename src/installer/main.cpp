// cv_msi_source: writes the WiX source of one installer package to stdout.
//   cv_msi_source --scope machine|user --arch x64|x86 --version 1.0.0
//                 --addin CVMailArchiveOl.dll --components CVMailComponents.dll
//                 --help-file CVHilfe.chm [--post-queries|--summary]
#include <CLI/CLI.hpp>

#include <iostream>
#include <map>
#include <stdexcept>

#include "installer/msi_source.h"

int main(int argc, char** argv) {
  using namespace CV::Win;
  CLI::App app{"Writes the WiX source of an installer package for both DLLs."};
  Installer::PackageOptions options;
  const std::map<std::string, Installer::Scope> scopes{{"machine", Installer::Scope::Machine},
                                                       {"user", Installer::Scope::User}};
  const std::map<std::string, Registry::Bitness> arches{{"x64", Registry::Bitness::x64},
                                                         {"x86", Registry::Bitness::x86}};
  app.add_option("--scope", options.scope, "machine (all users) or user")
      ->required()
      ->transform(CLI::CheckedTransformer(scopes));
  app.add_option("--arch", options.bitness, "x64 or x86")->required()->transform(CLI::CheckedTransformer(arches));
  app.add_option("--version", options.version, "the product version")->required();
  app.add_option("--addin", options.addinDll, "the add-in DLL")->required();
  app.add_option("--components", options.componentsDll, "the components DLL")->required();
  app.add_option("--help-file", options.helpFile, "the help file, CVHilfe.chm")->required();
  bool keys = false;
  app.add_flag("--post-queries", keys, "print the SQL msibuild runs on wixl's package instead");
  bool summary = false;
  app.add_flag("--summary", summary, "print the summary fields msibuild sets, one per line, instead");
  CLI11_PARSE(app, argc, argv);
  try {
    if (keys) {
      for (const std::string& query : Installer::PostQueries(options)) std::cout << query << "\n";
      return 0;
    }
    if (summary) {
      for (const std::string& field : Installer::SummaryFields(options)) std::cout << field << "\n";
      return 0;
    }
    std::cout << Installer::MsiSource(options);
  } catch (const std::invalid_argument& error) {
    std::cerr << "cv_msi_source: " << error.what() << "\n";
    return 2;
  }
  return 0;
}
