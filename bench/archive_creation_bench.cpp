// "Archiv erstellen" on a generated simulated store of 5,000 mails with HTML
// bodies, inline pictures and attachments: mails/s, MB/s of container
// written, peak memory, the time inside the writer's AddEMail, and, on the
// same .eml files, the time Info-ZIP's zip takes at the same level (-6).
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "addin/connect.h"
#include "foundation/lifetime.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "sim/sim_picture.h"
#include "sim/posix_paths.h"
#include "sim/sim_settings.h"
#include "sim/host/sim_host.h"
#include "components/container/container_writer.h"
#include "components/container/zip_reader.h"
#include "components/component_registry.h"
#include "support/fake_ui.h"

namespace CV {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class Target final : public Components::IExportTargetChooser {
 public:
  explicit Target(fs::path file) : m_file(std::move(file)) {}
  std::optional<Components::ExportTarget> Choose() override { return Components::ExportTarget{FS::ToWindows(m_file.string()), u""}; }

 private:
  fs::path m_file;
};

// Times the writer's AddEMail.
class Timed final : public IObject, public std::enable_shared_from_this<Timed> {
 public:
  Timed(ObjectPtr target, double& seconds) : m_target(std::move(target)), m_seconds(seconds) {}
  ObjectPtr QueryInterface(const Guid& iid) override { return m_target->QueryInterface(iid) ? shared_from_this() : nullptr; }
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    const auto start = Clock::now();
    Variant result = m_target->Invoke(name, kind, std::move(args));
    if (name == u"AddEMail") m_seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return result;
  }
  std::uint32_t Advise(const Guid& iid, std::shared_ptr<IEventSink> sink) override { return m_target->Advise(iid, sink); }
  void Unadvise(std::uint32_t cookie) override { m_target->Unadvise(cookie); }

 private:
  ObjectPtr m_target;
  double& m_seconds;
};

std::string Noise(std::uint32_t& seed, std::size_t n, bool text) {
  std::string bytes(n, '\0');
  for (auto& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = text ? static_cast<char>("Sehr geehrte Damen und Herren, anbei die Unterlagen. "[seed % 53]) : static_cast<char>(seed >> 16);
  }
  return bytes;
}

void ArchiveCreation(benchmark::State& state) {
  const int mails = static_cast<int>(state.range(0));
  for (auto _ : state) {
    char pattern[] = "/tmp/cv-bench-XXXXXX";
    const fs::path dir = mkdtemp(pattern);
    Sim::SimOutlook outlook;
    auto inbox = outlook.AddStore(u"Bench")->DefaultFolder(Outlook::olFolderInbox);
    std::uint32_t seed = 7;
    for (int i = 0; i < mails; ++i) {
      auto folder = i % 2 ? inbox : inbox;
      auto mail = folder->AddMail(u"Mail " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
      const std::string text = Noise(seed, 4000, true);
      mail->htmlBody = u"<body><p class=MsoNormal>" + std::u16string(text.begin(), text.end()) +
                       u"</p><img src=\"cid:p@1\"></body>";
      mail->AddInlinePicture(u"bild.png", Noise(seed, 20000, false), u"p@1");
      mail->AddAttachment(u"anhang.txt", Noise(seed, 50000, true));
    }
    double writerSeconds = 0;
    auto factory = std::make_shared<Components::CComponentRegistry>();
    const Components::WriterPorts ports{std::make_shared<Target>(dir / "archiv.zip"), nullptr,
                                     ProcessLifetime(FS::DefaultFileSystem()), 6};
    factory->Register(u"CVMail.CVMailExport", [&] {
      return std::make_shared<Timed>(std::make_shared<Components::CContainerWriter>(ports), writerSeconds);
    });
    Sim::SimHost host;
    host.ui = std::make_shared<Fake::RecordingUserInterface>(), host.mailExport.factory = factory;
    auto connect = std::make_shared<CConnect>(host.Ports());
    connect->OnConnection(outlook.Application(), 0, nullptr);
    connect->OnLoad(outlook.NewRibbonUI());
    const auto press = [&](const char16_t* callback) {
      connect->Invoke(callback, InvokeKind::Method, {Variant::FromObject(outlook.NewRibbonControl(u"x", inbox))});
      while (connect->JobRunner().WorkerAlive()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    press(u"AddFolder");
    const auto start = Clock::now();
    press(u"StartARCCreation");
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    const double containerMb = static_cast<double>(fs::file_size(dir / "archiv.zip")) / (1 << 20);

    // The same .eml files, packed by Info-ZIP at the same level.
    const fs::path loose = dir / "eml";
    double emlMb = 0;
    {
      Components::ZipReader zip(dir / "archiv.zip");
      for (const auto& entry : zip.Entries()) {
        if (!entry.name.ends_with(".eml")) continue;
        const fs::path file = loose / entry.name;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << zip.ReadAll(entry);
        emlMb += static_cast<double>(entry.size) / (1 << 20);
      }
    }
    const auto zipStart = Clock::now();
    const std::string command = "cd '" + loose.string() + "' && zip -6 -q -r ../info-zip.zip . >/dev/null 2>&1";
    const bool zipRan = std::system(command.c_str()) == 0;
    const double zipSeconds = std::chrono::duration<double>(Clock::now() - zipStart).count();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["mails_per_s"] = mails / seconds;
    state.counters["container_MB"] = containerMb;
    state.counters["container_MB_per_s"] = containerMb / seconds;
    state.counters["eml_MB"] = emlMb;
    state.counters["writer_s"] = writerSeconds;
    state.counters["writer_eml_MB_per_s"] = emlMb / writerSeconds;
    state.counters["zip_s"] = zipRan ? zipSeconds : -1;
    state.counters["zip_eml_MB_per_s"] = zipRan ? emlMb / zipSeconds : -1;
    state.counters["peak_RSS_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
    connect.reset();
    fs::remove_all(dir);
  }
}
BENCHMARK(ArchiveCreation)->Arg(5000)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace CV
