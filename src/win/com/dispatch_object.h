// DispatchObject: a real IDispatch seen as a portable IObject. Names are
// resolved with GetIDsOfNames once per interface (once per object for a bare
// IDispatch, whose members depend on the object); failures become ComError
// with the object's error information.
#pragma once

#include <oaidl.h>
#include <ocidl.h>

#include <map>
#include <mutex>

#include "foundation/object.h"
#include "win/com/com_ptr.h"
#include "win/com/com_support.h"

namespace CV::Win {

class DispatchObject final : public IObject, public IDispatchBridge {
 public:
  DispatchObject(ComPtr<IDispatch> dispatch, const Guid& iid);
  ~DispatchObject() override;

  ObjectPtr QueryInterface(const Guid& iid) override;
  Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) override;
  std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) override;
  void Unadvise(std::uint32_t cookie) override;
  std::optional<std::int32_t> DispatchIdOf(std::u16string_view name) override;
  ObjectPtr Declared(const Guid& iid) override;

  const ComPtr<IDispatch>& Dispatch() const noexcept { return m_dispatch; }
  IDispatch* BridgedDispatch() const noexcept override { return m_dispatch.Get(); }

 private:
  [[noreturn]] void ThrowFailure(HRESULT hr, const EXCEPINFO* exception);

  ComPtr<IDispatch> m_dispatch;
  Guid m_iid;
  std::mutex m_mutex;
  std::map<std::u16string, DISPID, std::less<>> m_dispids;
  std::map<std::uint32_t, ComPtr<IConnectionPoint>> m_connections;
};

}  // namespace CV::Win
