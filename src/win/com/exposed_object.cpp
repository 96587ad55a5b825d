#include "win/com/exposed_object.h"

#include <olectl.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <unordered_map>

#include "foundation/utf.h"
#include "win/com/com_support.h"
#include "win/com/connection_point.h"

namespace CV::Win {

namespace detail {
extern std::atomic<long> g_liveBridgeObjects;
}

namespace {

// Answered only by ExposedObject itself, never by a proxy.
const GUID IID_ExposedObject = {0x6f1c2a40, 0x9d3e, 0x4b7a, {0x8e, 0x21, 0x5c, 0x0d, 0x7a, 0x93, 0x4e, 0x11}};
// Each module that links this code has its own tag: an ExposedObject of
// another module (a host that exposes its objects to the add-in DLL) is a
// foreign object there, whose portable object must not be used directly.
const char kModuleTag = 0;

// COM's identity rule: one portable object is one COM object for as long as
// anyone holds it, so that a client holding a proxy to it gets the same
// proxy back (a mail's attachment's Parent is the mail the client holds)
// instead of a new one whose interfaces each cost a call to ask for.
std::mutex g_identityLock;
std::unordered_map<const IObject*, ExposedObject*>& Identities() {
  static auto* identities = new std::unordered_map<const IObject*, ExposedObject*>;  // outlives every object
  return *identities;
}

std::mutex g_servedLock;
std::map<std::string, ExposedObject::Served>& ServedTable() {
  static auto* served = new std::map<std::string, ExposedObject::Served>;  // outlives every object
  return *served;
}

void CountServed(const std::string& member, std::chrono::microseconds took = {}) {
  std::lock_guard lock(g_servedLock);
  ExposedObject::Served& served = ServedTable()[member];
  ++served.calls;
  served.longest = std::max(served.longest, took);
  served.total += took;
}

// Forwards the portable source's events to a real dispatch sink.
class DispatchSinkAdapter final : public IEventSink {
 public:
  explicit DispatchSinkAdapter(ComPtr<IDispatch> sink) : m_sink(std::move(sink)) {}
  void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) override {
    std::vector<VARIANT> raw(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) FromVariant(args[i], &raw[args.size() - 1 - i]);
    DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
    const HRESULT hr = m_sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                                      nullptr, nullptr);
    for (auto& v : raw) ::VariantClear(&v);
    CheckCom(hr);
  }

 private:
  ComPtr<IDispatch> m_sink;
};

class ConnectionPoint final : public ConnectionPointBase {
 public:
  ConnectionPoint(ExposedObject* container, const IID& iid) : ConnectionPointBase(container, iid), m_container(container) {
    ++detail::g_liveBridgeObjects;
  }

  ::HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    return GuardCom([&] {
      ComPtr<IDispatch> dispatch = ComPtr<IUnknown>(sink).TryQuery<IDispatch>(IID_IDispatch);
      if (!dispatch) return static_cast<HRESULT>(CONNECT_E_CANNOTCONNECT);
      *cookie = m_container->Object()->Advise(ToGuid(Iid()), std::make_shared<DispatchSinkAdapter>(dispatch));
      return S_OK;
    });
  }
  ::HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    return GuardCom([&] {
      m_container->Object()->Unadvise(cookie);
      return S_OK;
    });
  }

 private:
  ~ConnectionPoint() override { --detail::g_liveBridgeObjects; }

  ExposedObject* m_container;  // kept by the base
};

}  // namespace

IDispatch* ExposedObject::Create(ObjectPtr object) {
  if (!object) ThrowComError(E_POINTER);
  std::lock_guard lock(g_identityLock);
  const auto [it, added] = Identities().try_emplace(object.get(), nullptr);
  if (!added) {
    // Taken under the lock that the last Release holds: never revived.
    it->second->AddRef();
    return static_cast<IDispatch*>(it->second);
  }
  try {
    it->second = new ExposedObject(std::move(object));
  } catch (...) {
    Identities().erase(it);
    throw;
  }
  return static_cast<IDispatch*>(it->second);
}

ObjectPtr ExposedObject::Unwrap(IDispatch* dispatch) {
  void* p = nullptr;
  if (!dispatch || FAILED(dispatch->QueryInterface(IID_ExposedObject, &p)) || !p) return nullptr;
  auto* self = static_cast<ExposedObject*>(static_cast<IDispatch*>(p));
  ObjectPtr object = self->m_module == &kModuleTag ? self->m_object : nullptr;
  self->Release();
  return object;
}

std::map<std::string, ExposedObject::Served> ExposedObject::ServedCalls() {
  std::lock_guard lock(g_servedLock);
  return ServedTable();
}

void ExposedObject::ResetServedCalls() {
  std::lock_guard lock(g_servedLock);
  ServedTable().clear();
}

ExposedObject::ExposedObject(ObjectPtr object) : m_module(&kModuleTag), m_object(std::move(object)) { ++detail::g_liveBridgeObjects; }
ExposedObject::~ExposedObject() { --detail::g_liveBridgeObjects; }

::HRESULT ExposedObject::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_ExposedObject)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
    *ppv = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
  }
  // Interfaces of the portable object: dual interfaces are IDispatch to us.
  return GuardCom([&] {
    ObjectPtr as = m_object->QueryInterface(ToGuid(riid));
    if (!as) return E_NOINTERFACE;  // COM's own probes when it marshals end here: not counted
    CountServed("QueryInterface");
    if (as == m_object) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
    } else {
      *ppv = ExposeObject(as);
    }
    return S_OK;
  });
}

ULONG ExposedObject::Release() {
  std::unique_lock lock(g_identityLock);
  const ULONG left = DropReference();
  if (left != 0) return left;
  Identities().erase(m_object.get());
  lock.unlock();
  delete this;  // outside the lock: the portable object may release others
  return 0;
}

::HRESULT ExposedObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

::HRESULT ExposedObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

::HRESULT ExposedObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispids) {
  if (!names || !dispids) return E_POINTER;
  return GuardCom([&] {
    CountServed("GetIDsOfNames");
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      dispids[i] = DISPID_UNKNOWN;
      // Named arguments are not supported: only the member name resolves.
      const std::optional<std::int32_t> id =
          i == 0 ? m_object->DispatchIdOf(std::u16string(reinterpret_cast<const char16_t*>(names[i])))
                 : std::nullopt;
      if (id) dispids[i] = *id;
      else hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  });
}

::HRESULT ExposedObject::Invoke(DISPID dispid, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO* exception, UINT* argError) {
  if (result) ::VariantInit(result);
  if (argError) *argError = 0;
  try {
    const std::optional<std::u16string> name = m_object->NameOfDispatchId(dispid);
    if (!name) return DISP_E_MEMBERNOTFOUND;
    const auto started = std::chrono::steady_clock::now();
    struct Count {
      const std::u16string& member;
      std::chrono::steady_clock::time_point started;
      ~Count() {
        try {
          CountServed(ToUtf8(member), std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - started));
        } catch (...) {
          // Out of memory for a statistic: the call itself is what counts.
        }
      }
    } count{*name, started};
    InvokeKind kind = InvokeKind::PropertyGet;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) kind = InvokeKind::PropertyPut;
    else if (flags & DISPATCH_METHOD) kind = InvokeKind::Method;
    std::vector<Variant> args;
    if (params)
      for (UINT i = params->cArgs; i-- > 0;) args.push_back(ToVariant(params->rgvarg[i]));
    const Variant out = m_object->Invoke(*name, kind, std::move(args));
    if (result) FromVariant(out, result);
    return S_OK;
  } catch (const ComError& e) {
    const ErrorInfo* info = e.Info();
    if (exception && info && !info->description.empty()) {
      *exception = EXCEPINFO{};
      exception->scode = e.Error();
      exception->bstrSource = AllocBstr(Bstr(info->source));
      exception->bstrDescription = AllocBstr(Bstr(info->description));
      return DISP_E_EXCEPTION;
    }
    return e.Error();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

::HRESULT ExposedObject::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
  if (ppEnum) *ppEnum = nullptr;
  return E_NOTIMPL;
}

::HRESULT ExposedObject::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
  if (!ppCP) return E_POINTER;
  *ppCP = new ConnectionPoint(this, riid);
  return S_OK;
}

IDispatch* ExposeObject(const ObjectPtr& object) {
  if (const auto* bridge = dynamic_cast<const IDispatchBridge*>(object.get())) {
    IDispatch* d = bridge->BridgedDispatch();
    d->AddRef();
    return d;
  }
  return ExposedObject::Create(object);
}

}  // namespace CV::Win
