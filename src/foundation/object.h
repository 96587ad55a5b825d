// The portable object model: every Outlook, Office and vendor object is an
// IObject, reached by member name (IDispatch) and by interface id
// (QueryInterface), with connection-point events by dispatch id.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/guid.h"
#include "foundation/variant.h"

namespace CV {

enum class InvokeKind : std::uint16_t { Method = 1, PropertyGet = 2, PropertyPut = 4 };

// Receives the events of one connection point.
class IEventSink {
 public:
  virtual ~IEventSink() = default;
  // Called on the source's thread; an unknown dispid is ignored.
  virtual void OnEvent(std::int32_t dispid, const std::vector<Variant>& args) = 0;
};

class IObject {
 public:
  virtual ~IObject() = default;

  // The object as the interface iid, or null when it answers E_NOINTERFACE.
  // Other failures throw ComError.
  virtual std::shared_ptr<IObject> QueryInterface(const Guid& iid) = 0;

  // Calls a member by name: a method with args, a property get, or a
  // property put whose value is the last of args. Returns the out or retval
  // value (empty for none). A failure throws ComError with its HRESULT; an
  // unknown name throws DISP_E_UNKNOWNNAME.
  virtual Variant Invoke(std::u16string_view name, InvokeKind kind, std::vector<Variant> args) = 0;

  // Connects a sink to the connection point of eventsIid and returns its
  // cookie; throws ComError (CONNECT_E_NOCONNECTION 0x80040200 when the
  // object has no such point).
  virtual std::uint32_t Advise(const Guid& eventsIid, std::shared_ptr<IEventSink> sink) = 0;
  virtual void Unadvise(std::uint32_t cookie) = 0;

  // The dispatch id of a member name, as GetIDsOfNames gives it; nullopt
  // when the object does not know the name. Objects without a fixed table
  // number their names as they are asked.
  virtual std::optional<std::int32_t> DispatchIdOf(std::u16string_view name);
  // The name behind a dispatch id handed out by DispatchIdOf.
  virtual std::optional<std::u16string> NameOfDispatchId(std::int32_t dispid);

  // This object as the interface iid that the member which returned it
  // declares, without asking the object (the declaration guarantees it), so
  // that a bridge can share what it learnt about that interface among all
  // its objects; null when there is nothing to share (the default).
  virtual std::shared_ptr<IObject> Declared(const Guid& iid);
};

using ObjectPtr = std::shared_ptr<IObject>;

#ifndef CONNECT_E_NOCONNECTION
inline constexpr HRESULT CONNECT_E_NOCONNECTION = MakeHResult(0x80040200u);
#endif

// The calls through which the system reaches objects. Each fails with E_POINTER
// on an empty reference and with E_ABORT once the calling thread's work was
// abandoned. QueryObject is the type test: null for E_NOINTERFACE.
ObjectPtr QueryObject(const ObjectPtr& object, const Guid& iid);
// object as the interface a member declared it with (see IObject::Declared);
// no call reaches the object.
ObjectPtr DeclaredAs(const ObjectPtr& object, const Guid& iid);
Variant GetProperty(const ObjectPtr& object, std::u16string_view name, std::vector<Variant> args = {});
void PutProperty(const ObjectPtr& object, std::u16string_view name, Variant value);
Variant CallMethod(const ObjectPtr& object, std::u16string_view name, std::vector<Variant> args = {});

}  // namespace CV
