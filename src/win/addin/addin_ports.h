// The platform services the add-in DLL hands its CConnect: the Windows
// adapters of every port.
#pragma once

#include "addin/connect.h"

namespace CV::Win {

AddinPorts ModulePorts();

}  // namespace CV::Win
