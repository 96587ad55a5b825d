// EventSinkDispatch: the real dispatch sink that a portable IEventSink is
// advised through; every Invoke becomes OnEvent(dispid, arguments).
#pragma once

#include <oaidl.h>

#include <memory>

#include "foundation/object.h"
#include "win/com/ref_counted.h"

namespace CV::Win {

class EventSinkDispatch final : public RefCounted<IDispatch> {
 public:
  // A new object with one reference.
  static IDispatch* Create(const Guid& eventsIid, std::shared_ptr<IEventSink> sink);

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO*, UINT*) override;

 private:
  EventSinkDispatch(const Guid& eventsIid, std::shared_ptr<IEventSink> sink);
  ~EventSinkDispatch() override;

  GUID m_eventsIid;
  std::shared_ptr<IEventSink> m_sink;
};

}  // namespace CV::Win
