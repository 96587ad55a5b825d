// Shared owners for objects that live for the whole process, so they can go
// wherever jointly owned ports are expected.
#pragma once

#include <memory>

namespace CV {

template <class T>
std::shared_ptr<T> ProcessLifetime(T& object) {
  return std::shared_ptr<T>(&object, [](T*) {});
}

}  // namespace CV
