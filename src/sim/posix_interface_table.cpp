// Without COM every thread may use every object: the table hands back the
// object it was given.
#include "sim/sim_interface_table.h"

namespace CV {

IInterfaceTable& DefaultInterfaceTable() {
  // Never destroyed: a worker left to unwind may still use it at exit.
  static auto* table = new Sim::SimInterfaceTable;
  return *table;
}

}  // namespace CV
