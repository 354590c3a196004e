// Pure matchers from texts the machine exposes (hypervisor vendor ids,
// firmware strings, device ids, driver names, MAC prefixes, models) to
// virtual-platform family names. The empty text means no match. All the
// program's knowledge of virtual platforms lives in these fixed lists.
#pragma once

#include <string>
#include <string_view>

namespace vorq {

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
std::string TrimBlank(std::string_view text);  // space, tab, CR, LF; a NUL is kept
std::string NormalizeMatchText(std::string_view text);
std::string NormalizeDriverName(std::string_view text);

struct SmbiosVendorMatch {
    std::string family;
    std::string cloud;
    bool virtual_ = false;
};

std::string HypervisorVendorFamily(std::string_view vendorId);
SmbiosVendorMatch SmbiosVendorFamily(std::string_view manufacturer, std::string_view product, std::string_view serial);
std::string BiosVendorFamily(std::string_view vendor, std::string_view version);
// The identity strings of an SMBIOS table, as its types 0, 1 and 2 give them.
struct SmbiosIdentity {
    std::string_view biosVendor, biosVersion, manufacturer, product, boardManufacturer, boardProduct;
    bool vmFlag = false;  // type 0's "describes a virtual machine" bit
};
// Whether the table is a virtual machine's, whose system, board and chassis
// strings its owner sets (QEMU's -smbios, a .vmx file): the firmware says so,
// a matcher above names its BIOS, system or board, or its firmware is one
// only hypervisors ship (SeaBIOS, OVMF, Bochs', Xen's, Parallels', Hyper-V's).
// A BIOS vendor alone names the firmware, as the owner may keep it while
// renaming the system.
bool SmbiosDescribesVirtualMachine(const SmbiosIdentity& id);
// Whether a system, board or chassis string of a virtual machine is one its
// hypervisor writes when the owner sets none ("QEMU", "Standard PC (Q35 +
// ICH9, 2009)", "pc-q35-8.2", "VirtualBox", "VMware7,1", "Virtual Machine"):
// the hypervisor's own text, the same on every such machine.
bool IsHypervisorDefaultName(std::string_view text);
std::string BoardProductFamily(std::string_view text);
std::string CpuBrandFamily(std::string_view brand);
std::string OemStringFamily(std::string_view text);

std::string DriverNameFamily(std::string_view name);
bool IsHostOrTunnelAdapter(std::string_view text);
std::string NicDescriptionFamily(std::string_view description);
std::string MacOuiFamily(std::string_view mac);
std::string PciIdFamily(std::string_view id);
std::string PciTextFamily(std::string_view text);
std::string DiskModelFamily(std::string_view model);
std::string DeviceIdFamily(std::string_view id);
bool HasDeviceIdPrefix(std::string_view id, std::string_view prefix);
bool IsSoftwareDisplayAdapter(std::string_view name, std::string_view id);
std::string DisplayAdapterFamily(std::string_view name, std::string_view id);
std::string MonitorEdidFamily(std::string_view name, std::string_view edid);
std::string InputDeviceFamily(std::string_view deviceClass, std::string_view id);
std::string NicDriverFamily(std::string_view deviceClass, std::string_view description, std::string_view id,
                            std::string_view driver);
std::string StorageAdapterFamily(std::string_view deviceClass, std::string_view id, std::string_view driver);

}  // namespace vorq
