#include "archive/fill_mail_archive_job.h"

#include "foundation/abandon.h"
#include "foundation/com_error.h"
#include "foundation/exception.h"
#include "foundation/format.h"
#include "foundation/messages.h"
#include "foundation/utf.h"
#include "foundation/string_table.h"

namespace CV {
namespace {

constexpr std::u16string_view kSourceApplication = u"Microsoft Outlook 2010";
constexpr std::size_t kUserNameCapacity = 100;  // characters, the terminator included

}  // namespace

std::u16string FormatSize(std::int64_t totalSize) {
  double v = static_cast<double>(totalSize);
  const char16_t* unit = u"";
  if (v > 1073741824.0) {
    v *= 1.0 / 1073741824.0;
    unit = u" GB";
  } else if (v > 1048576.0) {
    v *= 1.0 / 1048576.0;
    unit = u" MB";
  } else if (v > 1024.0) {
    v /= 1024.0;
    unit = u" kB";
  }
  return Format(u"%.0f", v) + unit;
}

CFillMailArchiveJob::CFillMailArchiveJob(ArchiveJobPorts ports)
    : m_ports(std::move(ports)), m_mailExport(m_ports.mailExport) {}

CFillMailArchiveJob::~CFillMailArchiveJob() {
  if (m_writer != 0) m_ports.table->Revoke(m_writer);  // a stale cookie is of no further use
}

bool CFillMailArchiveJob::Init(std::shared_ptr<CArchiveList> list) {
  m_pList = std::move(list);
  const auto message = [this](int text, std::uint32_t icon) {
    ShowMessage(m_ports.ui->Messages(), 0, text, StringId::ProductTitle, icon | MessageStyle::Ok);
  };
  if (!m_pList || m_pList->GetSelectedMailCount() == 0) {
    message(StringId::SelectAtLeastOneMail, MessageStyle::IconInformation);
    return false;
  }
  Vendor::MailExport writer;
  try {
    if (ObjectPtr created = m_ports.mailExport.factory->Create(Vendor::kMailExportProgId))
      writer = Vendor::MailExport(QueryObject(created, Vendor::MailExport::kIid));
    if (!writer) ThrowComError(E_POINTER, Vendor::MailExport::kIid);
    writer.Option(true);
    writer.SourceApplication(kSourceApplication);
    writer.MailCount(m_pList->GetSelectedMailCount());
    if (writer.BeginExport()) return false;  // the user declined
  } catch (...) {
    message(StringId::InstallationDamaged, MessageStyle::IconError);
    return false;
  }
  return Succeeded(m_ports.table->Register(writer.Object(), Vendor::MailExport::kIid, m_writer));
}

std::u16string CurrentErrorText(const ISystemMessages& messages) {
  try {
    throw;
  } catch (const ComError& e) {
    return ComErrorText(u"", e, messages);
  } catch (const CException& e) {
    return Format(u"0x%08X", static_cast<std::uint32_t>(e.Error())) + (e.Message().empty() ? u"" : u" " + e.Message());
  } catch (const std::exception& e) {
    return FromUtf8(e.what());
  } catch (...) {
    return u"?";
  }
}

HRESULT CFillMailArchiveJob::Run() {
  std::u16string path, id;  // the mail under way, for a report
  try {
    ObjectPtr fetched;
    m_ports.table->Fetch(m_writer, Vendor::MailExport::kIid, fetched);  // a missing writer fails every call
    const Vendor::MailExport writer(fetched);
    const Outlook::NameSpace session = m_pList->GetApplication().Session();
    std::vector<std::u16string> paths;
    m_pList->GetFolderPaths(paths, false);
    std::int32_t count = 0;
    std::int64_t total = 0;
    for (const std::u16string& folderPath : paths) {
      std::vector<std::u16string> ids;
      std::u16string storeId;
      m_pList->GetSelectedMailIds(folderPath, ids, storeId);
      path = folderPath;
      for (const std::u16string& mailId : ids) {
        id = mailId;
        const Outlook::MailItem mail = Outlook::Query<Outlook::MailItem>(session.GetItemFromID(id, storeId));
        if (!mail) {  // not a mail item: passed over, named only to a host that asks
          if (m_ports.report) m_ports.report->MailSkipped(path, id, u"not a mail item");
          continue;
        }
        try {
          const Vendor::EMail email = ExportMail(mail);
          email.FolderPath(path);
          if (writer.AddEMail(email.Object())) return S_OK;  // the user stopped: no properties, no end
          total += email.Size().ChangeType(VarType::I4).AsInt32();
          ++count;
        } catch (...) {
          // This mail is skipped; the run goes on. Abandoned work unwinds.
          if (IsAbandoned()) throw;
          if (m_ports.report) m_ports.report->MailSkipped(path, id, CurrentErrorText(SystemMessages()));
        }
      }
    }
    path.clear(), id.clear();
    SetContainerProperties(count, total, writer);
    try {
      writer.EndExport();
    } catch (...) {
      // Nothing reports a failing end; the writer keeps no half container.
    }
  } catch (...) {
    // The run ends here: no properties, no end, nothing shown.
    if (m_ports.report && !IsAbandoned()) m_ports.report->RunEnded(path, id, CurrentErrorText(SystemMessages()));
  }
  return S_OK;
}

Vendor::EMail CFillMailArchiveJob::ExportMail(const Outlook::MailItem& mail) {
  const std::u16string key = mail.EntryID();
  const bool repeat = m_exportedIds.count(key) != 0;
  Vendor::EMail email = m_mailExport.Export(mail, repeat, key);
  if (!repeat) m_exportedIds[key] = true;
  return email;
}

void CFillMailArchiveJob::SetContainerProperties(std::int32_t count, std::int64_t totalSize,
                                                 const Vendor::MailExport& writer) {
  try {
    writer.SetProperty(StringTableText(StringId::PropertyContentGenerator), StringTableText(StringId::ProductTitle));
    std::u16string name;
    if (!m_ports.user->UserName(IUserEnvironment::NameFormat::Display, name) || name.size() >= kUserNameCapacity) {
      name.clear();
      if (!m_ports.user->UserName(IUserEnvironment::NameFormat::SamCompatible, name) ||
          name.size() >= kUserNameCapacity)
        name.clear();
    }
    if (!name.empty()) writer.SetProperty(StringTableText(StringId::PropertyCreator), name);
    std::u16string date;
    if (!m_ports.user->LocalDateText(date)) date = u"Invalid DateTime";
    writer.SetProperty(StringTableText(StringId::PropertyCreationDate), date);
    writer.SetProperty(StringTableText(StringId::PropertyMailCount), Format(u"%d", count));
    writer.SetProperty(StringTableText(StringId::PropertyTotalSize), FormatSize(totalSize));
    writer.SetProperty(StringTableText(StringId::PropertyComment), writer.Comment());
  } catch (...) {
    // The remaining properties stay unwritten; the container is still ended.
    if (IsAbandoned()) throw;
  }
}

void CFillMailArchiveJob::Finish() { delete this; }

}  // namespace CV
