// Everything the SMBIOS collector does once it holds the raw table: the
// integrity facts, the rendered structures, identifier signals and facts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/snapshot.h"

namespace vorq::fact {
inline constexpr char kSmbiosUuid[] = "smbios.uuid";  // the system UUID text; absent when the table has none
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kSmbiosBiosVendor[] = "smbios.bios.vendor";
inline constexpr char kSmbiosBiosVersion[] = "smbios.bios.version";
inline constexpr char kSmbiosBoardProduct[] = "smbios.board.product";  // "<manufacturer> <product>"
inline constexpr char kSmbiosOemString[] = "smbios.oem_string";       // one signal per type-11 string
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kSmbios[] = "smbios";
}  // namespace vorq::table

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kSmbiosBiosVersion[] = "smbios.bios_version";
inline constexpr char kSmbiosBoardSerial[] = "smbios.board_serial";
inline constexpr char kSmbiosBoardSerialValid[] = "smbios.board_serial_valid";
inline constexpr char kSmbiosChassisSerialValid[] = "smbios.chassis_serial_valid";
inline constexpr char kSmbiosChassisType[] = "smbios.chassis_type";
inline constexpr char kSmbiosCpuCores[] = "smbios.cpu.cores";
inline constexpr char kSmbiosCpuManufacturer[] = "smbios.cpu.manufacturer";
inline constexpr char kSmbiosCpuThreads[] = "smbios.cpu.threads";
inline constexpr char kSmbiosCpuVersion[] = "smbios.cpu.version";
inline constexpr char kSmbiosMemMb[] = "smbios.mem_mb";
inline constexpr char kSmbiosSystemSerialValid[] = "smbios.system_serial_valid";
inline constexpr char kSmbiosTpmVendor[] = "smbios.tpm.vendor";
inline constexpr char kSmbiosUuidValid[] = "smbios.uuid_valid";
inline constexpr char kSmbiosVersion[] = "smbios.version";
inline constexpr char kSmbiosVmFlag[] = "smbios.vm_flag";
inline constexpr char kSysManufacturer[] = "sys.manufacturer";
inline constexpr char kSysProduct[] = "sys.product";
// "1" when either of the two above is a virtual machine owner's typed text, not
// its hypervisor's default.
inline constexpr char kSysNamesTyped[] = "sys.names_typed";
inline constexpr char kVmSmbiosBadReferences[] = "vm.smbios.bad_references";
inline constexpr char kVmSmbiosBadStringIndices[] = "vm.smbios.bad_string_indices";
inline constexpr char kVmSmbiosDuplicateHandles[] = "vm.smbios.duplicate_handles";
inline constexpr char kVmSmbiosStructureStatus[] = "vm.smbios.structure.status";
inline constexpr char kVmSmbiosStructures[] = "vm.smbios.structures";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kMemPart[] = "mem.part";
inline constexpr char kMemSerial[] = "mem.serial";
inline constexpr char kMemTotal[] = "mem.total";
inline constexpr char kSmbiosBatterySerial[] = "smbios.battery.serial";
inline constexpr char kSmbiosBiosDate[] = "smbios.bios.date";
inline constexpr char kSmbiosBoardAsset[] = "smbios.board.asset";
inline constexpr char kSmbiosBoardSerial[] = "smbios.board.serial";
inline constexpr char kSmbiosChassisAsset[] = "smbios.chassis.asset";
inline constexpr char kSmbiosChassisSerial[] = "smbios.chassis.serial";
inline constexpr char kSmbiosChassisType[] = "smbios.chassis.type";
inline constexpr char kSmbiosCpuSerial[] = "smbios.cpu.serial";
inline constexpr char kSmbiosCpuSocket[] = "smbios.cpu.socket";
inline constexpr char kSmbiosPsuSerial[] = "smbios.psu.serial";
inline constexpr char kSmbiosSystemManufacturer[] = "smbios.system.manufacturer";
inline constexpr char kSmbiosSystemProduct[] = "smbios.system.product";
inline constexpr char kSmbiosSystemSerial[] = "smbios.system.serial";
inline constexpr char kSmbiosSystemSku[] = "smbios.system.sku";
inline constexpr char kSmbiosSystemUuid[] = "smbios.system.uuid";
inline constexpr char kSmbiosTableHash[] = "smbios.table_hash";
inline constexpr char kSmbiosTpmVendor[] = "smbios.tpm.vendor";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kSmbiosSummary[] = "smbios.summary";
}  // namespace vorq::table

namespace vorq {

extern const char kSmbiosShortRead[];

// `table` is the whole 'RSMB' buffer (header included), as the firmware-table
// call returned it.
struct SmbiosSource {
    const uint8_t* table = nullptr;
    size_t size = 0;
};

// A buffer shorter than its header adds the short-read note and nothing else.
void CollectSmbiosFrom(Snapshot& s, const SmbiosSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectSmbios(Snapshot& s);

// A serial-number signal; a placeholder value is kept with quality 0.
void AddSerialIdentifier(Snapshot& s, const std::string& key, const std::string& name, const std::string& value,
                         int32_t weight, const std::string& group, const std::string& src);
void AddStructureRow(Table& t, const std::string& label, const std::string& field, std::string value, Role role);

}  // namespace vorq
