// EventSinkDispatch: the real dispatch sink that a portable IEventSink is
// advised through; every Invoke becomes OnEvent(dispid, arguments).
#pragma once

#include <oaidl.h>

#include <atomic>
#include <memory>

#include "foundation/object.h"

namespace CV::Win {

class EventSinkDispatch final : public IDispatch {
 public:
  // A new object with one reference.
  static IDispatch* Create(const Guid& eventsIid, std::shared_ptr<IEventSink> sink);

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

 private:
  EventSinkDispatch(const Guid& eventsIid, std::shared_ptr<IEventSink> sink);
  ~EventSinkDispatch();

  std::atomic<ULONG> m_references{1};
  GUID m_eventsIid;
  std::shared_ptr<IEventSink> m_sink;
};

}  // namespace CV::Win
