// Without COM every thread may use every object: the table hands back the
// object it was given.
#include "sim/sim_interface_table.h"

namespace CV {

IInterfaceTable& DefaultInterfaceTable() {
  static Sim::SimInterfaceTable table;
  return table;
}

}  // namespace CV
