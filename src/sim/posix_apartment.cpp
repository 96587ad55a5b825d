// Without COM nothing needs serving: the UI thread's wait is a plain wait.
#include "sim/sim_apartment.h"

namespace CV {

std::shared_ptr<IApartment> DefaultApartment() {
  // Never destroyed: an abandoned worker may still wake it at exit.
  static auto* apartment = new Sim::SimApartment(Sim::SimApartment::Mode::Free);
  return ProcessLifetime<IApartment>(*apartment);
}

}  // namespace CV
