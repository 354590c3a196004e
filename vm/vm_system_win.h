// The running system behind VmSystemAccess (Windows build only).
#pragma once

#include "vm/vm_system.h"

namespace vorq {

VmSystemAccess LiveVmSystemAccess();

}  // namespace vorq
