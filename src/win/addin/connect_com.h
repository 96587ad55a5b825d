// ConnectCom: the add-in object as Outlook and Office see it, a COM object
// around the portable CConnect. Its four interfaces stand in this order:
// _IDTExtensibility2, IRibbonExtensibility, ICVMailArchiveOlCb, IPersist.
// Every IDispatch of the object is the callback interface's, driven by the
// add-in's type library, so Office finds each callback by its name.
#pragma once

#include <windows.h>

#include <memory>

#include "addin/connect.h"
#include "cvmailarchiveol.h"
#include "win/com/module.h"
#include "win/com/com_ptr.h"
#include "win/com/ref_counted.h"

namespace CV::Win {

class ConnectCom final : public RefCounted<_IDTExtensibility2, IRibbonExtensibility, ICVMailArchiveOlCb, IPersist> {
 public:
  // A new object with one reference, or null with the failure in hr.
  static ConnectCom* Create(HRESULT& hr);

  // IUnknown
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;

  // IDispatch, shared by the three dual interfaces
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override;
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) override;
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override;

  // _IDTExtensibility2
  ::HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode mode, IDispatch* addInInst,
                                         SAFEARRAY** custom) override;
  ::HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode mode, SAFEARRAY** custom) override;
  ::HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
  ::HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
  ::HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

  // IRibbonExtensibility
  ::HRESULT STDMETHODCALLTYPE GetCustomUI(BSTR ribbonId, BSTR* ribbonXml) override;

  // ICVMailArchiveOlCb
  ::HRESULT STDMETHODCALLTYPE GetCustomImage(IDispatch* control, IDispatch** image) override;
  ::HRESULT STDMETHODCALLTYPE LoadPicture(BSTR* pictureName, IDispatch** picture) override;
  ::HRESULT STDMETHODCALLTYPE GetMailCount(IDispatch* control, BSTR* label) override;
  ::HRESULT STDMETHODCALLTYPE GetFolderCount(IDispatch* control, BSTR* label) override;
  ::HRESULT STDMETHODCALLTYPE OnLoad(IDispatch* ribbonUI) override;
  ::HRESULT STDMETHODCALLTYPE GetAddMailsEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE AddMails(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetAddFolderEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE AddFolder(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetAddFoldersEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE AddFolders(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetResetSelectionEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE ResetSelection(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetStartARCCreationEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE StartARCCreation(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetRefineSelectionEnabled(IDispatch* control, VARIANT_BOOL* enabled) override;
  ::HRESULT STDMETHODCALLTYPE RefineSelection(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE SelectIgnoredFolder(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetVersionString(IDispatch* control, BSTR* version) override;
  ::HRESULT STDMETHODCALLTYPE OnHelp(IDispatch* control) override;
  ::HRESULT STDMETHODCALLTYPE GetCopyrightString(IDispatch* control, BSTR* copyright) override;

  // IPersist
  ::HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

 private:
  ConnectCom(std::shared_ptr<CConnect> connect, ComPtr<ITypeInfo> typeInfo);
  ~ConnectCom() override;

  Module::ScopedLock m_moduleLock;
  std::shared_ptr<CConnect> m_connect;
  ComPtr<ITypeInfo> m_typeInfo;  // of ICVMailArchiveOlCb
};

}  // namespace CV::Win
