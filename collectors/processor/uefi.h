// The UEFI and boot collector's work on values: ESRT rows, the Secure Boot
// state and databases, the boot configuration, the Hyper-V guest parameters
// and the VM generation ID. The Windows build binds the source to the
// registry, the firmware-variable interface and the generation-counter
// device; tests bind it to crafted values.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "collectors/processor/efi_siglist.h"
#include "core/snapshot.h"
#include "core/text.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kHvParametersStatus[] = "hv.parameters.status";
inline constexpr char kHvVmGenid[] = "hv.vm_genid";
inline constexpr char kHvVmGenidStatus[] = "hv.vm_genid.status";
inline constexpr char kUefiDbCa2011[] = "uefi.db_ca2011";
inline constexpr char kUefiDbCa2023[] = "uefi.db_ca2023";
inline constexpr char kUefiDbRead[] = "uefi.db_read";
inline constexpr char kUefiEsrtSysver[] = "uefi.esrt_sysver";
inline constexpr char kUefiPkSubject[] = "uefi.pk_subject";
inline constexpr char kUefiSecurebootVar[] = "uefi.secureboot_var";
inline constexpr char kUefiVarsDenied[] = "uefi.vars_denied";
inline constexpr char kUefiVarsOk[] = "uefi.vars_ok";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kHvHost[] = "hv.host";
inline constexpr char kHvVmGenid[] = "hv.vm_genid";
inline constexpr char kHvVmId[] = "hv.vm_id";
inline constexpr char kUefiBcdDefault[] = "uefi.bcd_default";
inline constexpr char kUefiEsrt[] = "uefi.esrt";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kPlatformHvguest[] = "platform.hvguest";
inline constexpr char kUefiBcd[] = "uefi.bcd";
inline constexpr char kUefiEsrt[] = "uefi.esrt";
inline constexpr char kUefiSecureboot[] = "uefi.secureboot";
}  // namespace vorq::table

namespace vorq::col::platform_hvguest {
inline constexpr size_t kParameter = 0, kValue = 1;
// Parameter names: the guest parameters keep their registry value names.
inline constexpr char kVirtualMachineId[] = "VirtualMachineId";
inline constexpr char kPhysicalHostName[] = "PhysicalHostName";
inline constexpr char kVmGenerationId[] = "VM generation ID";
// Value of the VM generation ID row when the device opened but did not read, before the error text.
inline constexpr char kGenerationIdReadFailed[] = "[info] device present, read failed: ";
}  // namespace vorq::col::platform_hvguest

namespace vorq {

struct EsrtEntry {
    std::string guid;  // subkey name
    uint32_t type = 0, version = 0, lowestSupported = 0, lastAttemptVersion = 0, lastAttemptStatus = 0;
};

struct GenerationIdRead {
    bool opened = false;
    uint32_t openError = 0;  // when not opened
    bool readOk = false;     // all 16 bytes came back
    uint32_t readError = 0;  // when opened but not read
    std::array<uint8_t, 16> bytes{};
};

inline constexpr uint32_t kFirmwareTypeUnknown = 0;
inline constexpr uint32_t kFirmwareTypeBios = 1;

struct UefiSource {
    std::function<std::vector<EsrtEntry>()> esrt;
    // kFirmwareTypeUnknown when the query is missing or fails.
    std::function<uint32_t()> firmwareType;
    // Enables or disables the system-environment privilege; true when it worked.
    std::function<bool(bool enable)> systemEnvironmentPrivilege;
    // One firmware variable into buffer: bytes written, or 0 with *error set.
    std::function<uint32_t(const std::string& name, const std::string& guid, void* buffer, uint32_t size, uint32_t* error)>
        getVariable;
    CertNamer certNamer;
    // Values below HKEY_LOCAL_MACHINE; false when absent or of another type.
    std::function<bool(const std::string& subkey, const std::string& name, std::string* out)> regString;
    std::function<bool(const std::string& subkey, const std::string& name, std::vector<std::string>* out)> regMultiSz;
    // The guest parameters as (name, text) in registry order; *status 0 or a Win32 error.
    std::function<std::vector<std::pair<std::string, std::string>>(int32_t* status)> guestParameters;
    std::function<GenerationIdRead()> generationId;
    std::function<std::string(uint32_t code)> errorText;
};

std::string EsrtStatusName(uint32_t status, uint32_t lastAttemptVersion);

// Reads one variable: 64 KiB first, 1 MiB when that is too small.
bool ReadFirmwareVariable(const UefiSource& src, const std::string& name, const std::string& guid, Bytes& bytes,
                          uint32_t& error);

// Whether a BCD entry's description is one Windows setup gives ("Windows Boot
// Manager", "Windows 11", ...); any other a person set.
bool IsGivenBootDescription(std::string_view description);

void CollectUefiFrom(Snapshot& s, const UefiSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectUefi(Snapshot& s);

}  // namespace vorq
