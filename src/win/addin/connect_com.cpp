#include "win/addin/connect_com.h"

#include <oleauto.h>

#include "addin/addin_ids.h"
#include "outlook/outlook_ids.h"
#include "win/addin/addin_ports.h"
#include "win/com/com_support.h"

namespace CV::Win {
namespace {

ObjectPtr Wrap(IDispatch* dispatch, const Guid& iid) { return WrapDispatch(dispatch, iid); }

ObjectPtr Control(IDispatch* control) { return Wrap(control, Outlook::Iid::RibbonControl); }

// A real IDispatch for what the add-in returns (a new reference), or null.
IDispatch* ToDispatch(const ObjectPtr& object) {
  VARIANT v;
  FromVariant(Variant::FromObject(object), &v);
  return v.vt == VT_DISPATCH ? v.pdispVal : nullptr;
}

HRESULT OutText(HRESULT hr, const Bstr& text, BSTR* out) {
  *out = AllocBstr(text);
  return hr;
}

}  // namespace

ConnectCom* ConnectCom::Create(HRESULT& hr) {
  try {
    ComPtr<ITypeLib> library;
    CheckCom(::LoadTypeLibEx(Module::Path().c_str(), REGKIND_NONE, library.Put()));
    ComPtr<ITypeInfo> info;
    CheckCom(library->GetTypeInfoOfGuid(__uuidof(ICVMailArchiveOlCb), info.Put()));
    auto* object = new ConnectCom(std::make_shared<CConnect>(ModulePorts()), std::move(info));
    hr = S_OK;
    return object;
  } catch (const ComError& e) {
    hr = e.Error();
  } catch (...) {
    hr = E_OUTOFMEMORY;  // memory, or the runner's lock
  }
  return nullptr;
}

ConnectCom::ConnectCom(std::shared_ptr<CConnect> connect, ComPtr<ITypeInfo> typeInfo)
    : m_connect(std::move(connect)), m_typeInfo(std::move(typeInfo)) {}

ConnectCom::~ConnectCom() = default;

::HRESULT ConnectCom::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  // IDispatch first (it also serves IUnknown): the callback interface.
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
      IsEqualIID(riid, __uuidof(ICVMailArchiveOlCb)))
    *ppv = static_cast<ICVMailArchiveOlCb*>(this);
  else if (IsEqualIID(riid, __uuidof(IRibbonExtensibility)))
    *ppv = static_cast<IRibbonExtensibility*>(this);
  else if (IsEqualIID(riid, __uuidof(_IDTExtensibility2)))
    *ppv = static_cast<_IDTExtensibility2*>(this);
  else if (IsEqualIID(riid, IID_IPersist))
    *ppv = static_cast<IPersist*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

::HRESULT ConnectCom::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

::HRESULT ConnectCom::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  *info = m_typeInfo.Get();
  (*info)->AddRef();
  return S_OK;
}

::HRESULT ConnectCom::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
  return ::DispGetIDsOfNames(m_typeInfo.Get(), names, count, dispids);
}

::HRESULT ConnectCom::Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT* argError) {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return ::DispInvoke(static_cast<ICVMailArchiveOlCb*>(this), m_typeInfo.Get(), dispid, flags, params, result,
                      exception, argError);
}

::HRESULT ConnectCom::OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addInInst,
                                   SAFEARRAY**) {
  return GuardCom([&] {
    return m_connect->OnConnection(Wrap(application, Outlook::Iid::Dispatch), static_cast<std::int32_t>(mode),
                                   Wrap(addInInst, Outlook::Iid::Dispatch));
  });
}

::HRESULT ConnectCom::OnDisconnection(ext_DisconnectMode mode, SAFEARRAY**) {
  return GuardCom([&] { return m_connect->OnDisconnection(static_cast<std::int32_t>(mode)); });
}

::HRESULT ConnectCom::OnAddInsUpdate(SAFEARRAY**) { return m_connect->OnAddInsUpdate(); }
::HRESULT ConnectCom::OnStartupComplete(SAFEARRAY**) { return m_connect->OnStartupComplete(); }
::HRESULT ConnectCom::OnBeginShutdown(SAFEARRAY**) { return m_connect->OnBeginShutdown(); }

::HRESULT ConnectCom::GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) {
  if (!ribbonXml) return E_POINTER;
  *ribbonXml = nullptr;
  return GuardCom([&] {
    Bstr xml;
    return OutText(m_connect->GetCustomUI(ToBstr(ribbonId).Text(), &xml), xml, ribbonXml);
  });
}

::HRESULT ConnectCom::GetCustomImage(IDispatch* control, IDispatch** image) {
  if (!image) return E_POINTER;
  *image = nullptr;
  return GuardCom([&] {
    ObjectPtr picture;
    const HRESULT hr = m_connect->GetCustomImage(Control(control), &picture);
    *image = ToDispatch(picture);
    return hr;
  });
}

::HRESULT ConnectCom::LoadPicture(BSTR* pictureName, IDispatch** picture) {
  if (!picture) return E_POINTER;
  *picture = nullptr;
  return GuardCom([&] {
    ObjectPtr loaded;
    const HRESULT hr = m_connect->LoadPicture(pictureName ? ToBstr(*pictureName) : Bstr(), &loaded);
    *picture = ToDispatch(loaded);
    return hr;
  });
}

#define CV_LABEL(Method)                                                                 \
  ::HRESULT ConnectCom::Method(IDispatch* control, BSTR* out) {                          \
    if (!out) return E_POINTER;                                                          \
    *out = nullptr;                                                                      \
    return GuardCom([&] {                                                                \
      Bstr text;                                                                         \
      return OutText(m_connect->Method(Control(control), &text), text, out);             \
    });                                                                                  \
  }
#define CV_ENABLED(Method)                                                               \
  ::HRESULT ConnectCom::Method(IDispatch* control, VARIANT_BOOL* enabled) {              \
    if (!enabled) return E_POINTER;                                                      \
    return GuardCom([&] {                                                                \
      VariantBool value = VARIANT_FALSE;                                                 \
      const HRESULT hr = m_connect->Method(Control(control), &value);                    \
      *enabled = value;                                                                  \
      return hr;                                                                         \
    });                                                                                  \
  }
#define CV_COMMAND(Method)                                                               \
  ::HRESULT ConnectCom::Method(IDispatch* control) {                                     \
    return GuardCom([&] { return m_connect->Method(Control(control)); });                \
  }

CV_LABEL(GetMailCount)
CV_LABEL(GetFolderCount)
CV_LABEL(GetVersionString)
CV_LABEL(GetCopyrightString)
CV_ENABLED(GetAddMailsEnabled)
CV_ENABLED(GetAddFolderEnabled)
CV_ENABLED(GetAddFoldersEnabled)
CV_ENABLED(GetResetSelectionEnabled)
CV_ENABLED(GetStartARCCreationEnabled)
CV_ENABLED(GetRefineSelectionEnabled)
CV_COMMAND(AddMails)
CV_COMMAND(AddFolder)
CV_COMMAND(AddFolders)
CV_COMMAND(ResetSelection)
CV_COMMAND(StartARCCreation)
CV_COMMAND(RefineSelection)
CV_COMMAND(SelectIgnoredFolder)
CV_COMMAND(OnHelp)

#undef CV_LABEL
#undef CV_ENABLED
#undef CV_COMMAND

::HRESULT ConnectCom::OnLoad(IDispatch* ribbonUI) {
  return GuardCom([&] { return m_connect->OnLoad(Wrap(ribbonUI, Outlook::Iid::Dispatch)); });
}

::HRESULT ConnectCom::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = ToGUID(AddinIds::ClsidConnect);
  return S_OK;
}

}  // namespace CV::Win
