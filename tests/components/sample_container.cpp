// Makes a container with the cases an outside reader must get right
// (umlauts, quotes and control characters in header texts, groups, a UTF-16
// body, pictures, colliding and odd attachment names, folders with odd
// names, a repeat), through the add-in's own "Archiv erstellen", and writes
// beside it what each mail handed to the writer: expected.json.
//   cv_sample_container DIR    -> DIR/sample.zip, DIR/expected.json
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "addin/connect.h"
#include "foundation/lifetime.h"
#include "foundation/utf.h"
#include "sim/outlook/sim_outlook.h"
#include "sim/sim_interface_table.h"
#include "sim/sim_picture.h"
#include "sim/posix_paths.h"
#include "sim/sim_settings.h"
#include "sim/host/sim_host.h"
#include "components/container/container_writer.h"
#include "components/container/sha256.h"
#include "components/email_object.h"
#include "components/component_registry.h"
#include "support/fake_ui.h"

namespace {

using namespace CV;
using namespace CV::Outlook;

std::string Sha(const std::string& bytes) {
  Components::Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return Components::Sha256::Hex(sha.Final());
}

std::string FileSha(const std::u16string& path) {
  std::vector<std::uint8_t> bytes;
  FS::ReadWholeFile(FS::DefaultFileSystem(), path, bytes);
  return Sha(std::string(bytes.begin(), bytes.end()));
}

// Records what every mail carries as the writer receives it.
class Recorder final : public IObject, public std::enable_shared_from_this<Recorder> {
 public:
  Recorder(ObjectPtr writer, nlohmann::json& expected) : m_writer(std::move(writer)), m_expected(expected) {}
  ObjectPtr QueryInterface(const Guid& iid) override { return m_writer->QueryInterface(iid) ? shared_from_this() : nullptr; }
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override {
    if (name == u"AddEMail") Record(std::dynamic_pointer_cast<Components::CEMail>(args.at(0).AsObject()));
    return m_writer->Invoke(name, kind, std::move(args));
  }
  std::uint32_t Advise(const Guid& iid, std::shared_ptr<IEventSink> sink) override { return m_writer->Advise(iid, sink); }
  void Unadvise(std::uint32_t cookie) override { m_writer->Unadvise(cookie); }

 private:
  void Record(const std::shared_ptr<Components::CEMail>& email) {
    const auto text = [&](const char16_t* n) {
      const Variant v = email->Property(n);
      return v.IsEmpty() ? std::string() : ToUtf8(v.ChangeType(VarType::Bstr).AsText());
    };
    nlohmann::json mail = {{"subject", text(u"Subject")}, {"from", text(u"From")},   {"to", text(u"To")},
                           {"cc", text(u"CC")},           {"bcc", text(u"BCC")},     {"entryId", text(u"EntryID")},
                           {"headersOnly", email->Property(u"HtmlBody").IsEmpty()}};
    if (!email->Property(u"HtmlBody").IsEmpty()) mail["html"] = Sha(email->Property(u"HtmlBody").AsBstr().Bytes());
    mail["resources"] = nlohmann::json::array();
    for (const auto& r : email->Resources()) {
      std::string location;
      for (char16_t c : r.relativePath) location += c == u'\\' ? '/' : static_cast<char>(c);
      mail["resources"].push_back({{"location", location}, {"sha256", FileSha(r.fullPath)}});
    }
    mail["attachments"] = nlohmann::json::array();
    for (const auto& a : email->Attachments())
      mail["attachments"].push_back({{"name", ToUtf8(a.substr(a.rfind(u'\\') + 1))}, {"sha256", FileSha(a)}});
    m_expected.push_back(mail);
  }
  ObjectPtr m_writer;
  nlohmann::json& m_expected;
};

class Target final : public Components::IExportTargetChooser {
 public:
  explicit Target(std::filesystem::path file) : m_file(std::move(file)) {}
  std::optional<Components::ExportTarget> Choose() override { return Components::ExportTarget{FS::ToWindows(m_file.string()), u"Prüfung: \"alles\""}; }

 private:
  std::filesystem::path m_file;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: cv_sample_container DIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  nlohmann::json expected = nlohmann::json::array();

  Sim::SimOutlook outlook;
  auto store = outlook.AddStore(u"Persönliche Ordner");
  auto inbox = store->DefaultFolder(olFolderInbox);
  auto odd = inbox->AddFolder(u"A%B: \"Ablage\"")->AddFolder(u".versteckt ");

  auto rich = inbox->AddMail(u"Grüße aus Köln – Angebot Nr. 7 \"final\"");
  rich->senderName = u"Meier", rich->sentOnBehalfOfName = u"Schulz, Hans (Vertrieb)";
  rich->to = u"Müller, \"Hans\" \\ Co; Ärger";
  rich->cc = std::u16string(1000, u'c');
  rich->bcc = u"Geheim <bcc>";
  rich->htmlBody = u"<html><body><p>Guten Tag, Frau Groß,</p><img src=\"cid:logo@1\"><img src=\"http://example.org/x.png\"></body></html>";
  rich->AddInlinePicture(u"logo.png", std::string("\x89PNG\r\n\x1a\n\0\0logo", 14), u"logo@1");
  rich->AddAttachment(u"scan.pdf", "%PDF-1.4 eins");
  rich->AddAttachment(u"scan.pdf", "%PDF-1.4 zwei");
  rich->AddAttachment(u"Grüße 2025 (final).txt", "Grüße");
  rich->AddAttachment(u"..\\x:y?.txt", std::string("\0\1\2\3", 4));

  auto plain = inbox->AddMail(u"Zeile 1\r\nZeile 2\tmit Tab =?x?= ");
  plain->bodyFormat = olFormatPlain;
  plain->body = u"Nur Text.\r\nZweite Zeile.";
  plain->to.clear();

  auto unicode = odd->AddMail(std::u16string(400, u'ä') + u"€");
  unicode->savesAsUnicode = true;
  unicode->htmlBody = u"<body><p>Unicode-Text: Ελληνικά, 日本語</p></body>";
  auto empty = odd->AddMail(u"");
  empty->sentOnBehalfOfName.clear();

  auto ui = std::make_shared<Fake::RecordingUserInterface>();
  auto factory = std::make_shared<Components::CComponentRegistry>();
  const Components::WriterPorts writerPorts{std::make_shared<Target>(dir / "sample.zip"), nullptr,
                                         ProcessLifetime(FS::DefaultFileSystem()), 6};
  factory->Register(u"CVMail.CVMailExport", [&] {
    return std::make_shared<Recorder>(std::make_shared<Components::CContainerWriter>(writerPorts), expected);
  });
  Sim::SimHost host;
  host.ui = ui, host.mailExport.factory = factory;
  auto user = std::make_shared<Sim::SimUserEnvironment>();
  user->displayName = u"Jürgen Groß", user->samName = u"Jürgen Groß";
  host.user = user;
  auto connect = std::make_shared<CConnect>(host.Ports());
  connect->OnConnection(outlook.Application(), 0, nullptr);
  connect->OnLoad(outlook.NewRibbonUI());
  const auto press = [&](const char16_t* callback, ObjectPtr context) {
    connect->Invoke(callback, InvokeKind::Method, {Variant::FromObject(outlook.NewRibbonControl(u"x", context))});
    while (connect->JobRunner().WorkerAlive()) DefaultApartment()->WaitUntil([] { return false; }, std::chrono::milliseconds(5));
  };
  press(u"AddFolders", inbox);
  auto explorer = outlook.OpenExplorer(odd);
  explorer->Select({rich});  // the rich mail is listed a second time, under the odd folder
  press(u"AddMails", explorer);
  press(u"StartARCCreation", explorer);
  std::ofstream(dir / "expected.json") << expected.dump(1);
  if (!std::filesystem::exists(dir / "sample.zip")) {
    std::fprintf(stderr, "no container was written\n");
    return 1;
  }
  return 0;
}
