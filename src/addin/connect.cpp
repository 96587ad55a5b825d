#include "addin/connect.h"

#include "addin/addin_ids.h"
#include "addin/callback_table.h"
#include "foundation/com_error.h"

namespace CV {

int ParseLeadingInt(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long long value = 0;
  while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && value < 100000000) value = value * 10 + (text[i++] - u'0');
  return static_cast<int>(negative ? -value : value);
}

CConnect::CConnect(AddinPorts ports)
    : m_ports(ports), m_archiveList(std::make_shared<CArchiveList>(ports.table)), m_jobRunner(ports.threads) {
  Util::CVersionInfo info(0, 0, 0, 0);
  m_ports.version.ReadModuleVersion(info);
  m_versionText = u"Version: " + info.FormatVersion();
  m_copyrightText = info.copyright;
}

CConnect::~CConnect() = default;

HRESULT CConnect::OnConnection(const ObjectPtr& application, std::int32_t, const ObjectPtr& addInInst) {
  try {
    m_spApplication = Outlook::Application();
    if (application) {
      try {
        m_spApplication = Outlook::Query<Outlook::Application>(application);
      } catch (const ComError& e) {
        return e.Error();
      }
    }
    if (!m_spApplication) return E_POINTER;
    if (ParseLeadingInt(m_spApplication.Version()) < 14) return E_FAIL;
    try {
      m_spAddInInstance = addInInst ? QueryObject(addInInst, Outlook::Iid::Dispatch) : nullptr;
    } catch (...) {
      m_spAddInInstance = nullptr;  // only kept, never called: its outcome does not matter
    }
    m_explorers.Attach(m_spApplication.Explorers());
    // A list without application only shows up as a job that finds nothing;
    // the connection stands either way.
    m_archiveList->SetApplication(m_spApplication.Object());
    return S_OK;
  } catch (const ComError& e) {
    return e.Error();
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::OnDisconnection(std::int32_t) {
  m_explorers.Attach(Outlook::Explorers());
  m_explorers.SetRibbonUI(Outlook::RibbonUI());
  m_spApplication = Outlook::Application();
  m_spAddInInstance = nullptr;
  return S_OK;
}

HRESULT CConnect::GetCustomUI(std::u16string_view ribbonId, Bstr* ribbonXml) {
  if (!ribbonXml) return E_POINTER;
  *ribbonXml = Bstr();
  if (ribbonId != AddinIds::kExplorerRibbonId) return S_OK;
  const CRibbonResources resources(m_ports.screen, m_ports.resources, m_ports.pictures);
  if (const auto xml = resources.RibbonXml()) *ribbonXml = Bstr::FromBytes(xml->data(), xml->size() / 2 * 2);
  return S_OK;
}

HRESULT CConnect::OnLoad(const ObjectPtr& ribbonUI) {
  try {
    m_spRibbonUI = Outlook::Query<Outlook::RibbonUI>(ribbonUI);
    m_explorers.SetRibbonUI(m_spRibbonUI);
  } catch (...) {
    // onLoad never fails.
  }
  return S_OK;
}

HRESULT CConnect::LoadPicture(const Bstr& pictureName, ObjectPtr* picture) {
  if (!picture) return E_POINTER;
  *picture = nullptr;
  try {
    const CRibbonResources resources(m_ports.screen, m_ports.resources, m_ports.pictures);
    ObjectPtr loaded = resources.LoadPicture(pictureName.Text());
    if (!loaded) return E_FAIL;
    *picture = QueryObject(loaded, Outlook::Iid::Dispatch);
    return *picture ? S_OK : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::GetCustomImage(const ObjectPtr& control, ObjectPtr* image) {
  if (!image) return E_POINTER;
  *image = nullptr;
  try {
    const Outlook::RibbonControl typed = control ? Outlook::Query<Outlook::RibbonControl>(control)
                                                 : Outlook::RibbonControl();
    if (!typed) return E_POINTER;
    const CRibbonResources resources(m_ports.screen, m_ports.resources, m_ports.pictures);
    ObjectPtr loaded = resources.LoadPicture(typed.Id());
    if (!loaded) return E_FAIL;
    *image = QueryObject(loaded, Outlook::Iid::Dispatch);
    return *image ? S_OK : E_FAIL;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT CConnect::GetVersionString(const ObjectPtr&, Bstr* version) {
  if (!version) return E_POINTER;
  *version = Bstr(m_versionText);
  return S_OK;
}

HRESULT CConnect::GetCopyrightString(const ObjectPtr&, Bstr* copyright) {
  if (!copyright) return E_POINTER;
  *copyright = Bstr(m_copyrightText);
  return S_OK;
}

// Built in later steps: each answers honestly that it is not there yet.
HRESULT CConnect::GetMailCount(const ObjectPtr&, Bstr*) { return E_NOTIMPL; }
HRESULT CConnect::GetFolderCount(const ObjectPtr&, Bstr*) { return E_NOTIMPL; }
HRESULT CConnect::GetAddMailsEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::AddMails(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::GetAddFolderEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::AddFolder(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::GetAddFoldersEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::AddFolders(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::GetResetSelectionEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::ResetSelection(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::GetStartARCCreationEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::StartARCCreation(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::GetRefineSelectionEnabled(const ObjectPtr&, VariantBool*) { return E_NOTIMPL; }
HRESULT CConnect::RefineSelection(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::SelectIgnoredFolder(const ObjectPtr&) { return E_NOTIMPL; }
HRESULT CConnect::OnHelp(const ObjectPtr&) { return E_NOTIMPL; }

// ---- IObject

ObjectPtr CConnect::QueryInterface(const Guid& iid) {
  if (iid == Outlook::Iid::Dispatch || iid == AddinIds::ICVMailArchiveOlCb ||
      iid == AddinIds::IRibbonExtensibility || iid == AddinIds::IDTExtensibility2 || iid == AddinIds::IPersist)
    return shared_from_this();
  return nullptr;
}

Variant CConnect::Invoke(std::u16string_view name, InvokeKind, std::vector<Variant> args) {
  const CallbackEntry* entry = FindCallback(name);
  if (!entry) ThrowComError(DISP_E_UNKNOWNNAME, AddinIds::ICVMailArchiveOlCb);
  return entry->invoke(*this, args);
}

std::uint32_t CConnect::Advise(const Guid&, std::shared_ptr<IEventSink>) {
  ThrowComError(CONNECT_E_NOCONNECTION, AddinIds::ICVMailArchiveOlCb);
}

void CConnect::Unadvise(std::uint32_t) { ThrowComError(CONNECT_E_NOCONNECTION, AddinIds::ICVMailArchiveOlCb); }

std::optional<std::int32_t> CConnect::DispatchIdOf(std::u16string_view name) {
  const CallbackEntry* entry = FindCallback(name);
  if (!entry) return std::nullopt;
  return entry->dispid;
}

std::optional<std::u16string> CConnect::NameOfDispatchId(std::int32_t dispid) {
  const CallbackEntry* entry = FindCallback(dispid);
  if (!entry) return std::nullopt;
  return std::u16string(entry->name);
}

}  // namespace CV
