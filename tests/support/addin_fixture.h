// An add-in object on the simulated Outlook, with recording fakes for the
// user interface and fixed answers for the screen and the version resource.
// The test's thread is Outlook's UI thread: the simulated Outlook and the
// progress dialogs live in its single-threaded apartment, so a worker's
// calls wait until the test serves the apartment (Serve), as in Outlook.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "addin/connect.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "sim/sim_picture.h"
#include "sim/sim_settings.h"
#include "sim/host/sim_host.h"
#include "dialogs/excluded_folders_dialog.h"
#include "dialogs/refine_selection_dialog.h"
#include "sim/sim_dialog_host.h"
#include "components/component_registry.h"
#include "components/folder_select_control.h"
#include "components/mail_select_control.h"
#include "support/fake_ui.h"

namespace CV::Fake {

using FakeScreen = Sim::SimScreen;
using FixedUserEnvironment = Sim::SimUserEnvironment;

// What the archive job reports of skipped mails and of a run that ended
// early: the job's steps, one line each.
class RecordingRunReport final : public IArchiveRunReport {
 public:
  void MailSkipped(std::u16string_view folderPath, std::u16string_view, std::u16string_view) override {
    lines.push_back(u"skipped " + std::u16string(folderPath));
  }
  void RunEnded(std::u16string_view folderPath, std::u16string_view, std::u16string_view) override {
    lines.push_back(u"ended " + std::u16string(folderPath));
  }
  std::vector<std::u16string> lines;
};

class AddinFixture : public ::testing::Test {
 protected:
  AddinFixture() {
    outlook.World()->SetApartment(apartment);
    ui->apartment = apartment;
    store = outlook.AddStore(u"Persönliche Ordner");
    inbox = store->DefaultFolder(Outlook::olFolderInbox);
  }
  ~AddinFixture() override {
    connect.reset();
    // A worker the teardown left to unwind finds the apartment gone.
    apartment->Close();
    EXPECT_EQ(table->RegisteredCount(), 0u) << "cookies left in the interface table";
  }
  std::shared_ptr<CConnect> NewConnect() {
    return std::make_shared<CConnect>(Ports());
  }
  AddinPorts Ports() {
    host.table = table, host.ui = ui, host.threads = threads, host.apartment = apartment, host.user = user;
    host.screen = &screen, host.pictures = &pictures, host.version = &version, host.settings = &settings;
    host.mailExport.factory = factory, host.dialogs = dialogs, host.report = runReport;
    return host.Ports();
  }
  // The UI thread serves its apartment until done() or the bound (which only
  // a hang reaches); false on the bound.
  bool Serve(const std::function<bool()>& done, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
    return apartment->WaitUntil(done, bound);
  }
  void Connect() {
    connect = NewConnect();
    ASSERT_EQ(connect->OnConnection(outlook.Application(), 0, nullptr), S_OK);
  }
  // Calls a callback by name, as Office does.
  Variant Call(std::u16string_view name, std::vector<Variant> args) {
    return connect->Invoke(name, InvokeKind::Method, std::move(args));
  }

  std::shared_ptr<IThreadHooks> threads = ProcessLifetime(DefaultThreadHooks());
  std::shared_ptr<Sim::SimApartment> apartment = std::make_shared<Sim::SimApartment>();
  Sim::SimOutlook outlook;
  std::shared_ptr<Sim::SimStore> store;
  std::shared_ptr<Sim::SimFolder> inbox;
  std::shared_ptr<Sim::SimInterfaceTable> table = std::make_shared<Sim::SimInterfaceTable>();
  std::shared_ptr<RecordingUserInterface> ui = std::make_shared<RecordingUserInterface>();
  FakeScreen screen;
  Sim::SimPictureFactory pictures;
  Sim::SimSettings settings;
  Util::FixedVersionSource version{[] {
    Util::CVersionInfo info(2, 1, 0, 0);
    info.copyright = u"© 2026 Corvanworks";
    return info;
  }()};
  std::shared_ptr<FixedUserEnvironment> user = std::make_shared<FixedUserEnvironment>();
  std::shared_ptr<Components::CComponentRegistry> factory = std::make_shared<Components::CComponentRegistry>();
  std::shared_ptr<RecordingRunReport> runReport = std::make_shared<RecordingRunReport>();
  // The dialogs: our selection controls, and a script acting as the user.
  std::function<int(int resourceId, const ObjectPtr& control)> dialogScript;
  bool controlsRegistered = true;  // false: the dialogs' controls cannot be made
  std::shared_ptr<Sim::SimDialogHost> dialogs = std::make_shared<Sim::SimDialogHost>(
      [this](int resourceId) -> ObjectPtr {
        if (!controlsRegistered) return nullptr;
        if (resourceId == CDlgEMailSelect::kResourceId) return std::make_shared<Components::CMailSelectControl>();
        if (resourceId == CDlgProperties::kResourceId) return std::make_shared<Components::CFolderSelectControl>(settings);
        return nullptr;
      },
      [this](int resourceId, const ObjectPtr& control) {
        return dialogScript ? dialogScript(resourceId, control) : DialogResult::Cancel;
      });
  Sim::SimHost host;
  std::shared_ptr<CConnect> connect;
};

}  // namespace CV::Fake
