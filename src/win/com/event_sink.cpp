#include "win/com/event_sink.h"

#include "win/com/com_support.h"

namespace CV::Win {

namespace detail {
extern std::atomic<long> g_liveBridgeObjects;
}

IDispatch* EventSinkDispatch::Create(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) {
  return new EventSinkDispatch(eventsIid, std::move(sink));
}

EventSinkDispatch::EventSinkDispatch(const Guid& eventsIid, std::shared_ptr<IEventSink> sink)
    : m_eventsIid(ToGUID(eventsIid)), m_sink(std::move(sink)) {
  ++detail::g_liveBridgeObjects;
}

EventSinkDispatch::~EventSinkDispatch() { --detail::g_liveBridgeObjects; }

::HRESULT EventSinkDispatch::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, m_eventsIid)) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

::HRESULT EventSinkDispatch::GetTypeInfoCount(UINT* count) {
  if (count) *count = 0;
  return E_NOTIMPL;
}
::HRESULT EventSinkDispatch::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
::HRESULT EventSinkDispatch::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

::HRESULT EventSinkDispatch::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO*, UINT*) {
  if (result) ::VariantInit(result);
  // Events never fail back into their source.
  GuardCom([&] {
    std::vector<Variant> args;
    if (params)
      for (UINT i = params->cArgs; i-- > 0;) args.push_back(ToVariant(params->rgvarg[i]));
    m_sink->OnEvent(dispid, args);
    return S_OK;
  });
  return S_OK;
}

}  // namespace CV::Win
