// The "PCIe link" cell of a PCI device from its link properties; shared by
// the device inventory and the display adapters.
#pragma once

#include <string>

#include "collectors/devices/devices.h"
#include "core/devprop_win.h"

namespace vorq {

inline std::string PcieLinkOf(HDEVINFO set, const SP_DEVINFO_DATA& d) {
    PcieLinkReads r;
    r.currentOk = DevPropUint32(set, d, DEVPKEY_PciDevice_CurrentLinkSpeed, r.currentSpeed) &&
                  DevPropUint32(set, d, DEVPKEY_PciDevice_CurrentLinkWidth, r.currentWidth);
    if (r.currentOk && r.currentWidth != 0)
        r.maxOk = DevPropUint32(set, d, DEVPKEY_PciDevice_MaxLinkSpeed, r.maxSpeed) &&
                  DevPropUint32(set, d, DEVPKEY_PciDevice_MaxLinkWidth, r.maxWidth);
    return PcieLinkField(r);
}

}  // namespace vorq
