#include "win/components/component_com.h"

#include <oleauto.h>

#include <memory>
#include <vector>

#include "components/container/container_writer.h"
#include "contracts/mail_fields.h"
#include "win/com/ref_counted.h"
#include "components/container/export_outcome.h"
#include "components/email_object.h"
#include "foundation/lifetime.h"
#include "contracts/vendor_ids.h"
#include "win/com/com_support.h"
#include "win/components/outcome_message.h"
#include "win/components/progress_window.h"
#include "win/components/win_export_target.h"
#include "win/com/module.h"

namespace CV::Win::Components {

::HRESULT TypeInfoOf(REFGUID guid, ComPtr<ITypeInfo>& out) {
  static ComPtr<ITypeLib> library;  // loaded once, with the module's lifetime
  static std::once_flag once;
  static ::HRESULT loaded = S_OK;
  std::call_once(once, [] { loaded = ::LoadTypeLibEx(Module::Path().c_str(), REGKIND_NONE, library.Put()); });
  if (FAILED(loaded)) return loaded;
  return library->GetTypeInfoOfGuid(guid, out.Put());
}

namespace {

using CV::Components::CContainerWriter;
using CV::Components::CEMail;

// Asks an e-mail object for its portable self: ours answer with the object
// behind them, so the writer reads a mail without a call per field.
// {3E1A6C2E-5D47-4B8E-9F2A-6C1D0B7E4A51}
constexpr GUID kIidPortable = {0x3e1a6c2e, 0x5d47, 0x4b8e, {0x9f, 0x2a, 0x6c, 0x1d, 0x0b, 0x7e, 0x4a, 0x51}};


// What both classes share: reference counting with the module's lock, the
// free-threaded marshaler, and IDispatch through the type library.
template <class Interface>
class Dual : public RefCounted<Interface> {
 public:
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    *info = m_typeInfo.Get();
    (*info)->AddRef();
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* dispids) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return ::DispGetIDsOfNames(m_typeInfo.Get(), names, count, dispids);
  }
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return ::DispInvoke(static_cast<Interface*>(this), m_typeInfo.Get(), dispid, flags, params, result, exception,
                        argError);
  }

 protected:
  virtual ~Dual() = default;
  // The type information and the marshaler; false with hr on failure.
  bool Initialize(REFIID iid, HRESULT& hr) {
    hr = TypeInfoOf(iid, m_typeInfo);
    if (SUCCEEDED(hr)) hr = ::CoCreateFreeThreadedMarshaler(static_cast<IUnknown*>(this), m_marshaler.Put());
    return SUCCEEDED(hr);
  }
  ::HRESULT Answer(REFIID riid, REFIID own, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, own)) {
      *ppv = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    if (IsEqualIID(riid, IID_IMarshal)) return m_marshaler->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }

 private:
  Module::ScopedLock m_moduleLock;
  ComPtr<ITypeInfo> m_typeInfo;
  ComPtr<IUnknown> m_marshaler;
};

// Calls a member of a portable object by name, as the type library's
// property and method say, with the platform's values.
class Forward {
 public:
  explicit Forward(IObject& object) : m_object(object) {}
  ::HRESULT Put(std::u16string_view name, Variant value) {
    return GuardCom([&] {
      m_object.Invoke(name, InvokeKind::PropertyPut, {std::move(value)});
      return S_OK;
    });
  }
  ::HRESULT PutText(std::u16string_view name, BSTR text) { return Put(name, Variant::FromBstr(ToBstr(text))); }
  ::HRESULT PutVariant(std::u16string_view name, const VARIANT& value) {
    return GuardCom([&] { return Put(name, ToVariant(value)); });
  }
  ::HRESULT GetText(std::u16string_view name, BSTR* out, std::vector<Variant> args = {}) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return GuardCom([&] {
      const Variant v = m_object.Invoke(name, InvokeKind::PropertyGet, std::move(args));
      *out = AllocBstr(v.IsEmpty() ? Bstr() : v.ChangeType(VarType::Bstr).AsBstr());
      return S_OK;
    });
  }
  ::HRESULT GetVariant(std::u16string_view name, VARIANT* out) {
    if (!out) return E_POINTER;
    ::VariantInit(out);
    return GuardCom([&] {
      FromVariant(m_object.Invoke(name, InvokeKind::PropertyGet, {}), out);
      return S_OK;
    });
  }
  ::HRESULT GetLong(std::u16string_view name, long* out) {
    if (!out) return E_POINTER;
    return GuardCom([&] {
      *out = m_object.Invoke(name, InvokeKind::Method, {}).ChangeType(VarType::I4).AsInt32();
      return S_OK;
    });
  }
  ::HRESULT Call(std::u16string_view name, std::vector<Variant> args, Variant* result = nullptr) {
    return GuardCom([&] {
      Variant v = m_object.Invoke(name, InvokeKind::Method, std::move(args));
      if (result) *result = std::move(v);
      return S_OK;
    });
  }

 private:
  IObject& m_object;
};

class EMailCom final : public Dual<ICVEMail> {
 public:
  static EMailCom* Create(HRESULT& hr) {
    auto* object = new (std::nothrow) EMailCom;
    if (!object) {
      hr = E_OUTOFMEMORY;
      return nullptr;
    }
    if (!object->Initialize(IID_ICVEMail, hr)) {
      object->Release();
      return nullptr;
    }
    return object;
  }
  const std::shared_ptr<CEMail>& Portable() const { return m_email; }

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (ppv && IsEqualIID(riid, kIidPortable)) {  // our own, for the writer
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return Answer(riid, IID_ICVEMail, ppv);
  }

#define CV_UTF16(text) u##text
#define CV_NAME(Name) CV_UTF16(#Name)
#define CV_TEXT_PROPERTY(Name)                                                                            \
  ::HRESULT STDMETHODCALLTYPE get_##Name(BSTR* out) override { return m_call.GetText(CV_NAME(Name), out); } \
  ::HRESULT STDMETHODCALLTYPE put_##Name(BSTR value) override { return m_call.PutText(CV_NAME(Name), value); }
#define CV_VARIANT_PROPERTY(Name)                                                                   \
  ::HRESULT STDMETHODCALLTYPE get_##Name(VARIANT* out) override {                                   \
    return m_call.GetVariant(CV_NAME(Name), out);                                                   \
  }                                                                                                 \
  ::HRESULT STDMETHODCALLTYPE put_##Name(VARIANT value) override { return m_call.PutVariant(CV_NAME(Name), value); }
  // Text and bytes cross as a BSTR, numbers and dates as a VARIANT.
#define CV_PROPERTY_Text CV_TEXT_PROPERTY
#define CV_PROPERTY_Bytes CV_TEXT_PROPERTY
#define CV_PROPERTY_Int32 CV_VARIANT_PROPERTY
#define CV_PROPERTY_Date CV_VARIANT_PROPERTY
#define CV_PROPERTY(name, kind, key) CV_PROPERTY_##kind(name)
  CV_MAIL_FIELDS(CV_PROPERTY)
#undef CV_PROPERTY
#undef CV_PROPERTY_Text
#undef CV_PROPERTY_Bytes
#undef CV_PROPERTY_Int32
#undef CV_PROPERTY_Date
#undef CV_TEXT_PROPERTY
#undef CV_VARIANT_PROPERTY
#undef CV_NAME
#undef CV_UTF16

  ::HRESULT STDMETHODCALLTYPE AddAttachment(BSTR path) override {
    return m_call.Call(u"AddAttachment", {Variant::FromBstr(ToBstr(path))});
  }
  ::HRESULT STDMETHODCALLTYPE AddHtmlResource(BSTR fullPath, BSTR relativePath) override {
    return m_call.Call(u"AddHtmlResource", {Variant::FromBstr(ToBstr(fullPath)), Variant::FromBstr(ToBstr(relativePath))});
  }
  ::HRESULT STDMETHODCALLTYPE AddNamedAttachment(BSTR path, BSTR name) override {
    return m_call.Call(u"AddNamedAttachment", {Variant::FromBstr(ToBstr(path)), Variant::FromBstr(ToBstr(name))});
  }
  ::HRESULT STDMETHODCALLTYPE AttachmentCount(long* count) override { return m_call.GetLong(u"AttachmentCount", count); }
  ::HRESULT STDMETHODCALLTYPE ResourceCount(long* count) override { return m_call.GetLong(u"ResourceCount", count); }
  ::HRESULT STDMETHODCALLTYPE Attachment(long index, BSTR* path) override { return Indexed(u"Attachment", index, path); }
  ::HRESULT STDMETHODCALLTYPE AttachmentName(long index, BSTR* name) override {
    return Indexed(u"AttachmentName", index, name);
  }
  ::HRESULT STDMETHODCALLTYPE Resource(long index, BSTR* path) override { return Indexed(u"Resource", index, path); }
  ::HRESULT STDMETHODCALLTYPE ResourcePath(long index, BSTR* path) override {
    return Indexed(u"ResourcePath", index, path);
  }

 private:
  ::HRESULT Indexed(std::u16string_view name, long index, BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return GuardCom([&] {
      const Variant v = m_email->Invoke(name, InvokeKind::Method, {Variant::FromI4(index)});
      *out = AllocBstr(v.ChangeType(VarType::Bstr).AsBstr());
      return S_OK;
    });
  }

  std::shared_ptr<CEMail> m_email = std::make_shared<CEMail>();
  Forward m_call{*m_email};
};

// The writer: a mail handed to AddEMail is read from its portable object
// when it is one of ours, else by name through its IDispatch.
class MailExportCom final : public Dual<ICVMailExport> {
 public:
  static MailExportCom* Create(HRESULT& hr) {
    auto* object = new (std::nothrow) MailExportCom;
    if (!object) {
      hr = E_OUTOFMEMORY;
      return nullptr;
    }
    if (!object->Initialize(IID_ICVMailExport, hr)) {
      object->Release();
      return nullptr;
    }
    return object;
  }

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Answer(riid, IID_ICVMailExport, ppv);
  }

  // A target that cannot be used declines the export, and the user reads
  // why at once; a cancelled dialog declines it silently.
  ::HRESULT STDMETHODCALLTYPE BeginExport(VARIANT_BOOL* cancel) override {
    const HRESULT hr = Bool(u"BeginExport", {}, cancel);
    if (SUCCEEDED(hr)) m_begun = *cancel == VARIANT_FALSE;
    else m_beginFailed = true;
    if (m_begun) m_progress->Open();
    else if (SUCCEEDED(hr) && !m_recorder->Outcome().cause.empty()) Tell();
    return hr;
  }
  ::HRESULT STDMETHODCALLTYPE AddEMail(VARIANT email, VARIANT_BOOL* stop) override {
    return GuardCom([&] {
      ObjectPtr object;
      IUnknown* unknown = (email.vt == VT_DISPATCH || email.vt == VT_UNKNOWN) ? email.punkVal : nullptr;
      EMailCom* ours = nullptr;
      if (unknown && SUCCEEDED(unknown->QueryInterface(kIidPortable, reinterpret_cast<void**>(&ours)))) {
        object = ours->Portable();
        ours->Release();
      } else {
        object = ToVariant(email).AsObject();
      }
      return Bool(u"AddEMail", {Variant::FromObject(object)}, stop);
    });
  }
  // The outcome is told once the container is at its place, or failed to
  // get there.
  ::HRESULT STDMETHODCALLTYPE EndExport() override {
    const HRESULT hr = m_call.Call(u"EndExport", {});
    m_progress->Close();
    if (m_begun && !m_told) Tell();
    return hr;
  }
  ::HRESULT STDMETHODCALLTYPE get_Option(VARIANT_BOOL* option) override {
    if (!option) return E_POINTER;
    return GuardCom([&] {
      *option = m_writer->Invoke(u"Option", InvokeKind::PropertyGet, {}).AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE put_Option(VARIANT_BOOL option) override {
    return m_call.Put(u"Option", Variant::FromBool(option != VARIANT_FALSE));
  }
  ::HRESULT STDMETHODCALLTYPE get_SourceApplication(BSTR* name) override {
    return m_call.GetText(u"SourceApplication", name);
  }
  ::HRESULT STDMETHODCALLTYPE put_SourceApplication(BSTR name) override {
    return m_call.PutText(u"SourceApplication", name);
  }
  ::HRESULT STDMETHODCALLTYPE put_MailCount(VARIANT count) override { return m_call.PutVariant(u"MailCount", count); }
  ::HRESULT STDMETHODCALLTYPE SetProperty(BSTR name, BSTR value) override {
    return m_call.Call(u"SetProperty", {Variant::FromBstr(ToBstr(name)), Variant::FromBstr(ToBstr(value))});
  }
  ::HRESULT STDMETHODCALLTYPE get_Comment(BSTR* comment) override { return m_call.GetText(u"Comment", comment); }

 private:
  ::HRESULT Bool(std::u16string_view name, std::vector<Variant> args, VARIANT_BOOL* out) {
    if (!out) return E_POINTER;
    Variant result;
    const HRESULT hr = m_call.Call(name, std::move(args), &result);
    if (SUCCEEDED(hr)) *out = result.ChangeType(VarType::Bool).AsBool() ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
  }

  // Released after BeginExport without EndExport (the job ended early), or
  // BeginExport could not make the container: no archive, and the user is
  // told so with the cause the writer knows.
  ~MailExportCom() override {
    m_progress->Close();
    if ((m_begun || m_beginFailed) && !m_told) Tell();
  }
  void Tell() noexcept {
    m_told = true;
    if (Quiet()) return;
    try {
      m_recorder->Announced(m_writer->Invoke(u"MailCount", InvokeKind::PropertyGet, {}).AsInt32());
      ShowOutcomeSoon(m_recorder->Outcome());
    } catch (...) {
      ::OutputDebugStringW(L"Corvane Mail-Export: the outcome could not be shown");
    }
  }

  std::shared_ptr<CV::Components::OutcomeRecorder> m_recorder = std::make_shared<CV::Components::OutcomeRecorder>();
  std::shared_ptr<ExportProgress> m_progress = std::make_shared<ExportProgress>(m_recorder);
  std::shared_ptr<CContainerWriter> m_writer = std::make_shared<CContainerWriter>(
      CV::Components::WriterPorts{ExportTargetChooser(), m_progress, ProcessLifetime(FS::DefaultFileSystem()), 6, nullptr});
  Forward m_call{*m_writer};
  bool m_begun = false, m_beginFailed = false, m_told = false;
};

template <class Com>
::HRESULT CreateAs(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  HRESULT hr = S_OK;
  Com* object = Com::Create(hr);
  if (!object) return hr;
  hr = object->QueryInterface(riid, ppv);
  object->Release();  // gone again when the interface was refused
  return hr;
}

}  // namespace

::HRESULT CreateMailExport(REFIID riid, void** ppv) { return CreateAs<MailExportCom>(riid, ppv); }
::HRESULT CreateEMail(REFIID riid, void** ppv) { return CreateAs<EMailCom>(riid, ppv); }

}  // namespace CV::Win::Components
