#include "win/com/dispatch_object.h"

#include <oleauto.h>

#include <atomic>
#include <map>
#include <mutex>
#include <utility>

#include "win/com/com_support.h"
#include "win/com/event_sink.h"
#include "win/com/exposed_object.h"

namespace CV::Win {

namespace detail {
extern std::atomic<long> g_liveBridgeObjects;
}

namespace {

constexpr Guid kDispatch = Guid::FromLiteral("00020400-0000-0000-C000-000000000046");

// A dual interface's members have the same dispatch ids in every object
// that implements it: one lookup serves them all, and a lookup is a call
// into the object's apartment.
class InterfaceDispids {
 public:
  std::optional<DISPID> Find(const Guid& iid, std::u16string_view name) {
    std::lock_guard lock(m_mutex);
    const auto it = m_ids.find(Key{iid, std::u16string(name)});
    if (it == m_ids.end()) return std::nullopt;
    return it->second;
  }
  void Keep(const Guid& iid, std::u16string_view name, DISPID dispid) {
    std::lock_guard lock(m_mutex);
    m_ids.emplace(Key{iid, std::u16string(name)}, dispid);
  }

 private:
  using Key = std::pair<Guid, std::u16string>;
  std::mutex m_mutex;
  std::map<Key, DISPID> m_ids;
};

InterfaceDispids& SharedDispids() {
  static auto* ids = new InterfaceDispids;  // outlives every object
  return *ids;
}

}  // namespace

DispatchObject::DispatchObject(ComPtr<IDispatch> dispatch, const Guid& iid)
    : m_dispatch(std::move(dispatch)), m_iid(iid) {
  ++detail::g_liveBridgeObjects;
}

DispatchObject::~DispatchObject() {
  for (auto& [cookie, point] : m_connections) point->Unadvise(cookie);
  --detail::g_liveBridgeObjects;
}

ObjectPtr DispatchObject::QueryInterface(const Guid& iid) {
  // Every interface asked for is dual: its own pointer answers IDispatch
  // calls with its own members. Asking it for IDispatch again would give
  // the object's default interface, which lacks them when the object has
  // two (the folder tree and its PropertyPage).
  ComPtr<IDispatch> dispatch = m_dispatch.TryQuery<IDispatch>(ToGUID(iid));
  if (!dispatch) return nullptr;
  return std::make_shared<DispatchObject>(std::move(dispatch), iid);
}

ObjectPtr DispatchObject::Declared(const Guid& iid) {
  if (m_iid != kDispatch || iid == kDispatch) return nullptr;  // already as typed as it gets
  return std::make_shared<DispatchObject>(m_dispatch, iid);
}

std::optional<std::int32_t> DispatchObject::DispatchIdOf(std::u16string_view name) {
  const bool shared = m_iid != kDispatch;
  if (shared) {
    if (const auto known = SharedDispids().Find(m_iid, name)) return *known;
  }
  std::lock_guard lock(m_mutex);
  if (const auto it = m_dispids.find(name); it != m_dispids.end()) return it->second;
  std::wstring wname(name.begin(), name.end());
  LPOLESTR names[1] = {wname.data()};
  DISPID dispid = DISPID_UNKNOWN;
  const HRESULT hr = m_dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &dispid);
  if (hr == DISP_E_UNKNOWNNAME || hr == DISP_E_MEMBERNOTFOUND) return std::nullopt;
  if (FAILED(hr)) ThrowComError(hr, m_iid);
  if (shared) SharedDispids().Keep(m_iid, name, dispid);
  else m_dispids.emplace(std::u16string(name), dispid);
  return dispid;
}

void DispatchObject::ThrowFailure(HRESULT hr, const EXCEPINFO* exception) {
  if (hr == DISP_E_EXCEPTION && exception) {
    EXCEPINFO info = *exception;
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    const HRESULT scode = info.scode ? info.scode
                                     : (info.wCode ? static_cast<HRESULT>(0x80040200u + info.wCode) : E_FAIL);
    ErrorInfo details{Guid{}, ToBstr(info.bstrSource).Text(), ToBstr(info.bstrDescription).Text()};
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
    throw ComError(scode, m_iid, std::move(details));
  }
  // The object's error information, when it offers it for this interface.
  ComPtr<ISupportErrorInfo> support = m_dispatch.TryQuery<ISupportErrorInfo>(IID_ISupportErrorInfo);
  if (support && support->InterfaceSupportsErrorInfo(ToGUID(m_iid)) == S_OK) {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.Put()) == S_OK && info) {
      GUID guid{};
      BSTR source = nullptr, description = nullptr;
      info->GetGUID(&guid);
      info->GetSource(&source);
      info->GetDescription(&description);
      ErrorInfo details{ToGuid(guid), ToBstr(source).Text(), ToBstr(description).Text()};
      ::SysFreeString(source);
      ::SysFreeString(description);
      throw ComError(hr, m_iid, std::move(details));
    }
  }
  ThrowComError(hr, m_iid);
}

Variant DispatchObject::Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) {
  const std::optional<std::int32_t> dispid = DispatchIdOf(name);
  if (!dispid) ThrowComError(DISP_E_UNKNOWNNAME, m_iid);

  std::vector<VARIANT> raw(args.size());
  for (auto& v : raw) ::VariantInit(&v);
  struct Clear {
    std::vector<VARIANT>& values;
    ~Clear() {
      for (auto& v : values) ::VariantClear(&v);
    }
  } clear{raw};
  // DISPPARAMS holds the arguments last to first.
  for (std::size_t i = 0; i < args.size(); ++i) FromVariant(args[i], &raw[args.size() - 1 - i]);

  DISPPARAMS params{raw.data(), nullptr, static_cast<UINT>(raw.size()), 0};
  DISPID putId = DISPID_PROPERTYPUT;
  WORD flags = DISPATCH_METHOD;
  if (kind == InvokeKind::PropertyGet) flags = DISPATCH_PROPERTYGET;
  if (kind == InvokeKind::PropertyPut) {
    flags = DISPATCH_PROPERTYPUT;
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  VARIANT result;
  ::VariantInit(&result);
  EXCEPINFO exception{};
  UINT argError = 0;
  const HRESULT hr = m_dispatch->Invoke(*dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                        kind == InvokeKind::PropertyPut ? nullptr : &result, &exception, &argError);
  if (FAILED(hr)) ThrowFailure(hr, &exception);
  Variant out;
  try {
    out = ToVariant(result);
  } catch (...) {
    ::VariantClear(&result);
    throw;
  }
  ::VariantClear(&result);
  return out;
}

std::uint32_t DispatchObject::Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) {
  ComPtr<IConnectionPointContainer> container =
      m_dispatch.Query<IConnectionPointContainer>(IID_IConnectionPointContainer);
  ComPtr<IConnectionPoint> point;
  CheckCom(container->FindConnectionPoint(ToGUID(eventsIid), point.Put()), eventsIid);
  ComPtr<IDispatch> sinkDispatch = ComPtr<IDispatch>::Attach(EventSinkDispatch::Create(eventsIid, std::move(sink)));
  DWORD cookie = 0;
  CheckCom(point->Advise(sinkDispatch.Get(), &cookie), eventsIid);
  std::lock_guard lock(m_mutex);
  m_connections.emplace(cookie, std::move(point));
  return cookie;
}

void DispatchObject::Unadvise(std::uint32_t cookie) {
  ComPtr<IConnectionPoint> point;
  {
    std::lock_guard lock(m_mutex);
    const auto it = m_connections.find(cookie);
    if (it == m_connections.end()) ThrowComError(CONNECT_E_NOCONNECTION, m_iid);
    point = std::move(it->second);
    m_connections.erase(it);
  }
  CheckCom(point->Unadvise(cookie), m_iid);
}

ObjectPtr WrapDispatch(IDispatch* dispatch, const Guid& iid) {
  if (!dispatch) return nullptr;
  if (ObjectPtr own = ExposedObject::Unwrap(dispatch)) return own;
  return std::make_shared<DispatchObject>(ComPtr<IDispatch>(dispatch), iid);
}

}  // namespace CV::Win
