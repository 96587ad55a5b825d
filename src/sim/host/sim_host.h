// The add-in on the simulated host, wired in one place: every port the
// add-in needs, each with the simulation's adapter, which a user (the
// command, a test fixture, a bench) replaces before asking for Ports().
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "addin/connect.h"
#include "foundation/version_info.h"
#include "sim/sim_picture.h"
#include "sim/sim_settings.h"

namespace CV::Sim {

// A screen of a fixed DPI (96 unless set).
class SimScreen final : public IScreen {
 public:
  std::optional<int> LogPixelsX() override { return logPixelsX; }
  std::optional<int> logPixelsX = 96;
};

// A user of fixed names and a fixed local date text; an empty one is one
// the platform cannot tell.
class SimUserEnvironment final : public IUserEnvironment {
 public:
  bool UserName(NameFormat format, std::u16string& name) override {
    const auto& value = format == NameFormat::Display ? displayName : samName;
    if (!value) return false;
    name = *value;
    return true;
  }
  bool LocalDateText(std::u16string& text) override {
    if (!dateText) return false;
    text = *dateText;
    return true;
  }
  std::optional<std::u16string> displayName = u"Peter Schulz", samName = u"FIRMA\\pschulz";
  std::optional<std::u16string> dateText = u"05.12.2026 10:15:00";
};

class SimHost {
 public:
  SimHost();
  SimHost(const SimHost&) = delete;
  SimHost& operator=(const SimHost&) = delete;

  // The ports as they stand; ui must be set.
  AddinPorts Ports();

  std::shared_ptr<IInterfaceTable> table;
  std::shared_ptr<IUserInterface> ui;
  // The ports passed by reference: the host's own unless pointed elsewhere
  // (a test's recording screen, the command's settings file).
  SimScreen ownScreen;
  SimPictureFactory ownPictures;
  Util::FixedVersionSource ownVersion{Util::CVersionInfo(1, 0, 0, 0)};
  SimSettings ownSettings;
  IScreen* screen = &ownScreen;
  IPictureFactory* pictures = &ownPictures;
  Util::IVersionSource* version = &ownVersion;
  ISettings* settings = &ownSettings;
  std::shared_ptr<IThreadHooks> threads;
  std::shared_ptr<IApartment> apartment;
  std::shared_ptr<IUserEnvironment> user;
  Office::MailExportPorts mailExport;  // files and GUIDs the platform's; no components, no cache
  std::shared_ptr<IDialogHost> dialogs;
  std::shared_ptr<IHelpSystem> help;
  std::shared_ptr<IArchiveRunReport> report;
};

}  // namespace CV::Sim
