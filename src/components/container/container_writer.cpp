#include "components/container/container_writer.h"

#include <nlohmann/json.hpp>

#include <random>

#include "foundation/com_error.h"
#include "foundation/dispatch_wrapper.h"
#include "foundation/utf.h"
#include "components/container/container_part.h"
#include "components/container/mime_message.h"
#include "components/container/retry.h"
#include "components/container/viewer_page.h"
#include "components/container/write_failure.h"
#include "components/component_registry.h"
#include "contracts/mail_fields.h"
#include "contracts/vendor_ids.h"

namespace CV::Components {
namespace {

constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");
constexpr std::int32_t kWriteFaultCode = 29;  // ERROR_WRITE_FAULT
constexpr HRESULT kWriteFault = HResultFromWin32(kWriteFaultCode);
// Composed mails waiting to be compressed: enough to keep both cores busy,
// little enough that memory does not grow with the store.
constexpr std::size_t kPipelineBytes = 4u << 20;

// Composes into memory. The bound's fixed allowance for headers (64 kB) is
// left out of the reservation: most messages are far smaller, and many wait
// at a time.
class StringSink final : public IByteSink {
 public:
  StringSink(std::string& out, std::uint64_t bound) : m_out(out) {
    constexpr std::uint64_t kHeaderAllowance = 60 * 1024;
    m_out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(bound - std::min(bound, kHeaderAllowance), 64u << 20)));
  }
  void Write(const void* data, std::size_t size) override { m_out.append(static_cast<const char*>(data), size); }
  using IByteSink::Write;

 private:
  std::string& m_out;
};

// The e-mail object read back through its members.
using Vendor::Field;

class EMailReader : public DispatchWrapper {
 public:
  using DispatchWrapper::DispatchWrapper;
  std::u16string Get(Field field) const {
    const Variant v = Value(Vendor::NameOf(field));
    return v.IsEmpty() ? std::u16string() : v.ChangeType(VarType::Bstr).AsText();
  }
  Variant Raw(Field field) const { return Value(Vendor::NameOf(field)); }
  std::int32_t Count(std::u16string_view name) const { return Invoke(name).ChangeType(VarType::I4).AsInt32(); }
  std::u16string At(std::u16string_view name, std::int32_t i) const {
    return Invoke(name, {Variant::FromI4(i)}).ChangeType(VarType::Bstr).AsText();
  }
};

std::int32_t LongOr(const Variant& v, std::int32_t fallback) {
  try {
    return v.IsEmpty() ? fallback : v.ChangeType(VarType::I4).AsInt32();
  } catch (...) {
    return fallback;
  }
}

std::string Utf8(std::u16string_view text) { return ToUtf8(text); }

std::string Key(Field field) { return std::string(Vendor::ManifestKey(field)); }

}  // namespace

CContainerWriter::CContainerWriter(WriterPorts ports) : m_ports(std::move(ports)) {}

CContainerWriter::~CContainerWriter() {
  if (!m_ended) Discard();
}

void CContainerWriter::Discard() noexcept {
  m_pipeline.reset();  // before the ZIP it writes into
  m_zip.reset();       // closes the temporary file: it can go now
  m_mails.reset();
  if (!m_temporary.empty()) {
    // Briefly only: this may be Outlook's UI thread. A temporary file that
    // will not go is removed by the next export into the folder, its owner
    // being gone.
    RetryWhileHeld([&] { return m_ports.fs->RemoveFile(m_temporary); }, std::chrono::milliseconds(200));
    m_temporary.clear();
  }
}

// A container that cannot be written is given up at once: every further
// mail would fail the same way, and a half container is worth nothing. The
// user reads why, with the folder or the target they chose; never the
// temporary file's name, never the system's English.
void CContainerWriter::Fail(const std::exception& cause) noexcept {
  Discard();
  if (!m_ports.progress || !m_target) return;
  try {
    const auto* failure = dynamic_cast<const WriteFailure*>(&cause);
    const std::int32_t error = failure ? failure->Error() : kWriteFaultCode;
    const WriteStep step = failure && failure->Path() == m_target->file ? WriteStep::Target : WriteStep::Folder;
    const std::u16string text = WriteFailureText(error, step, m_ports.fs->UserPath(FolderOf(m_target->file)),
                                                 m_ports.fs->UserPath(m_target->file));
    m_ports.progress->Failed(ToUtf8(text));
  } catch (...) {
    m_ports.progress->Failed("");  // no memory for the text: the outcome still says no archive was made
  }
}

ObjectPtr CContainerWriter::QueryInterface(const Guid& iid) {
  if (iid == kDispatch || iid == Vendor::Iid::CVMailExport) return shared_from_this();
  return nullptr;
}

Variant CContainerWriter::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  std::lock_guard lock(m_mutex);
  const auto argument = [&](std::size_t i) -> const Variant& {
    if (args.size() <= i) ThrowComError(DISP_E_BADPARAMCOUNT, Vendor::Iid::CVMailExport);
    return args[i];
  };
  if (kind == InvokeKind::PropertyPut) {
    if (name == u"Option") m_option = argument(0).ChangeType(VarType::Bool).AsBool();
    else if (name == u"SourceApplication") m_sourceApplication = argument(0).ChangeType(VarType::Bstr).AsText();
    else if (name == u"MailCount") m_announced = argument(0).ChangeType(VarType::I4).AsInt32();
    else ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVMailExport);
    return {};
  }
  if (name == u"BeginExport") return Variant::FromBool(BeginExport());
  if (name == u"AddEMail") return Variant::FromBool(AddEMail(argument(0).AsObject()));
  if (name == u"EndExport") {
    EndExport();
    return {};
  }
  if (name == u"SetProperty") {
    m_properties.emplace_back(argument(0).ChangeType(VarType::Bstr).AsText(), argument(1).ChangeType(VarType::Bstr).AsText());
    return {};
  }
  if (name == u"Comment") return Variant::FromBstr(Bstr(m_target ? m_target->comment : u""));
  if (name == u"Option") return Variant::FromBool(m_option);
  if (name == u"SourceApplication") return Variant::FromBstr(Bstr(m_sourceApplication));
  if (name == u"MailCount") return Variant::FromI4(m_announced);
  ThrowComError(DISP_E_UNKNOWNNAME, Vendor::Iid::CVMailExport);
}

std::uint32_t CContainerWriter::Advise(const Guid&, std::shared_ptr<IEventSink>) {
  ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVMailExport);
}
void CContainerWriter::Unadvise(std::uint32_t) { ThrowComError(CONNECT_E_NOCONNECTION, Vendor::Iid::CVMailExport); }

bool CContainerWriter::BeginExport() {
  if (m_zip || m_ended) ThrowComError(E_UNEXPECTED, Vendor::Iid::CVMailExport);
  m_target = m_ports.target ? m_ports.target->Choose() : std::nullopt;
  if (!m_target) return true;  // declined: nothing is written
  std::random_device random;
  try {
    // What a crashed export left in the folder: its owner is gone.
    RemoveAbandonedParts(*m_ports.fs, FolderOf(m_target->file));
    for (int attempt = 0; !m_zip; ++attempt) {
      m_temporary = PartPathFor(m_target->file, random() % 1000000000u);
      try {
        m_zip = std::make_unique<ZipWriter>(*m_ports.fs, m_temporary, m_ports.compressionLevel);
      } catch (const WriteFailure& e) {
        m_temporary.clear();  // not ours: nothing to remove
        if (e.Error() != Win32Error::FileExists || attempt == 7) throw;
      }
    }
    // Before any byte: a cleaner leaves the file alone while it is ours.
    ThrowIfWriteFailed(m_zip->File().LockRange(kOwnerLockOffset, kOwnerLockLength), m_temporary);
    m_mails = std::make_unique<SpoolFile>(*m_ports.fs, FolderOf(m_temporary));
    m_pipeline = std::make_unique<MemberPipeline>(*m_zip, m_ports.compressionLevel, kPipelineBytes);
  } catch (const std::exception& e) {
    Fail(e);
    return true;  // declined: the user was told why
  }
  return false;
}

bool CContainerWriter::AddEMail(const ObjectPtr& object) {
  if (!m_zip) ThrowComError(E_UNEXPECTED, Vendor::Iid::CVMailExport);
  const EMailReader email(object);
  MailContent mail;
  mail.from = email.Get(Field::From), mail.to = email.Get(Field::To), mail.cc = email.Get(Field::CC);
  mail.bcc = email.Get(Field::BCC), mail.subject = email.Get(Field::Subject), mail.entryId = email.Get(Field::EntryID);
  const Variant date = email.Raw(Field::Date);
  if (date.Type() == VarType::Date) mail.date = date.AsDouble();
  const Variant html = email.Raw(Field::HtmlBody);
  if (html.Type() == VarType::Bstr) mail.html = html.AsBstr().Bytes();
  for (std::int32_t i = 0, n = email.Count(u"ResourceCount"); i < n; ++i)
    mail.resources.push_back({email.At(u"Resource", i), email.At(u"ResourcePath", i)});
  for (std::int32_t i = 0, n = email.Count(u"AttachmentCount"); i < n; ++i)
    mail.attachments.push_back({email.At(u"Attachment", i), email.At(u"AttachmentName", i)});
  const std::u16string folder = email.Get(Field::FolderPath);

  char number[16];
  std::snprintf(number, sizeof number, "%06d", m_number + 1);
  const std::string member = "mails/" + MemberFolder(folder) + "/" + number + ".eml";
  const std::int64_t size = LongOr(email.Raw(Field::Size), 0);
  nlohmann::ordered_json entry = {{"member", member},
                                  {Key(Field::FolderPath), Utf8(folder)},
                                  {Key(Field::EntryID), Utf8(mail.entryId)},
                                  {Key(Field::Subject), Utf8(mail.subject)},
                                  {Key(Field::From), Utf8(mail.from)},
                                  {Key(Field::To), Utf8(mail.to)},
                                  {Key(Field::CC), Utf8(mail.cc)},
                                  {Key(Field::BCC), Utf8(mail.bcc)},
                                  {Key(Field::Date), nullptr},
                                  {Key(Field::Size), size},
                                  {"attachments", mail.attachments.size()},
                                  {Key(Field::MailState), LongOr(email.Raw(Field::MailState), 0)},
                                  {Key(Field::Importance), LongOr(email.Raw(Field::Importance), 0)},
                                  {"headersOnly", !mail.html.has_value()},
                                  {"sha256", nullptr},
                                  {"source", nullptr}};
  if (m_ports.source)
    if (const std::string source = m_ports.source(folder, mail.entryId); !source.empty()) entry["source"] = source;
  if (mail.date)
    if (const auto iso = IsoDate(*mail.date)) entry[Key(Field::Date)] = *iso;

  // The mail's files are read, and the message composed, before this call
  // returns: the converter empties its directory for the next mail. A file
  // that cannot be read fails this mail alone.
  MemberPipeline::Member composed{member, MessageSizeBound(mail, *m_ports.fs), {}, {}, {}};
  try {
    StringSink sink(composed.bytes, composed.sizeBound);
    ComposeMessage(mail, *m_ports.fs, sink);
  } catch (const ComError&) {
    throw;
  } catch (const std::exception&) {
    ThrowComError(kWriteFault, Vendor::Iid::CVMailExport);
  }
  // Checking, compressing, hashing and writing it go on beside the next mail.
  auto missing = std::make_shared<std::vector<std::string>>();
  if (ContentCheck check = m_ports.check ? m_ports.check(folder, mail.entryId) : nullptr)
    composed.inspect = [check = std::move(check), missing](const std::string& bytes) { *missing = check(bytes); };
  composed.written = [this, entry = std::move(entry), folder, entryId = mail.entryId, size,
                      missing](const ZipWriter::Member& written) mutable {
    entry["sha256"] = Sha256::Hex(written.sha256);
    if (!missing->empty()) entry["missing"] = *missing;  // a whole mail adds nothing
    if (m_mails->Size() != 0) m_mails->Append(",\n");
    m_mails->Append(entry.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    if (m_ports.progress) m_ports.progress->MailAdded(folder, entryId, size);
  };
  try {
    m_pipeline->Add(std::move(composed));
  } catch (const std::exception& e) {
    Fail(e);
    return true;  // stop: no container can come of it
  }
  ++m_number;
  ++m_received;
  if (m_ports.progress && !m_ports.progress->MailWritten(m_received, m_announced, 0)) {
    Discard();  // stopped: no container, now or later
    return true;
  }
  return false;
}

void CContainerWriter::EndExport() {
  if (!m_zip) ThrowComError(E_UNEXPECTED, Vendor::Iid::CVMailExport);
  std::u16string placed;
  try {
    // The viewer goes last before the manifest, which names its hash.
    std::string viewerSha256;
    m_pipeline->Add({std::string(kViewerMember), ViewerPage().size(), std::string(ViewerPage()),
                     [&viewerSha256](const ZipWriter::Member& written) { viewerSha256 = Sha256::Hex(written.sha256); },
                     {}});
    m_pipeline->Flush();
    nlohmann::ordered_json properties = nlohmann::ordered_json::array();
    for (const auto& [name, value] : m_properties) properties.push_back({Utf8(name), Utf8(value)});
    nlohmann::ordered_json head = {{"format", "corvane-archive"},
                           {"version", 3},
                           {"properties", properties},
                           {"announced", m_announced},
                           {"received", m_received},
                           {"viewer", {{"member", kViewerMember}, {"sha256", viewerSha256}}}};
    std::string manifest = head.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    manifest.resize(manifest.size() - 2);  // "\n}": the mails follow
    manifest += ",\n \"mails\": [\n";
    const std::string_view tail = "\n ]\n}\n";
    m_zip->Begin("manifest.json", manifest.size() + m_mails->Size() + tail.size());
    m_zip->Write(manifest);
    m_mails->ReadBack([&](std::string_view piece) { m_zip->Write(piece); });
    m_zip->Write(tail);
    m_zip->End();
    m_pipeline.reset();
    m_zip->Finish();  // on the disk before it takes the target's name
    placed = Place();
  } catch (const std::exception& e) {
    Fail(e);
    ThrowComError(kWriteFault, Vendor::Iid::CVMailExport);
  }
  m_temporary.clear();
  // Every byte was flushed before the move: a close that reports a late
  // failure now cannot mean a byte less in the container.
  m_zip.reset();
  m_mails.reset();
  m_ended = true;
  if (m_ports.progress) m_ports.progress->ContainerWritten(m_ports.fs->UserPath(placed));
}

// Moved while the temporary file is still open and locked, so that no
// cleaner can take it for abandoned in between. A file of the target's
// name is replaced only when that was asked; otherwise, and for one that
// came meanwhile, the container takes the first free numbered name beside
// it: nothing the user has is removed by accident, and nothing written is
// lost. A target another program holds open is waited for, briefly: the
// move happens whole or not at all, so the old file or the new one is
// always there.
std::u16string CContainerWriter::Place() {
  const std::u16string& target = m_target->file;
  const auto move = [&](const std::u16string& to, bool replace) {
    return RetryWhileHeld([&] { return m_ports.fs->MoveFileTo(m_temporary, to, replace); });
  };
  std::int32_t error = move(target, m_target->mayReplace);
  if (error == 0) return target;
  for (int n = 2; n < 1000 && (error == Win32Error::AlreadyExists || error == Win32Error::FileExists); ++n) {
    const std::u16string numbered = NumberedPath(target, n);
    if ((error = move(numbered, false)) == 0) return numbered;
  }
  throw WriteFailure(error, target);
}

}  // namespace CV::Components

namespace CV::Components {

void RegisterContainerWriter(CComponentRegistry& factory, WriterPorts ports) {
  factory.Register(std::u16string(Vendor::kMailExportProgId),
                   [ports] { return std::make_shared<CContainerWriter>(ports); });
}

}  // namespace CV::Components
