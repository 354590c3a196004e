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

namespace vorq {

extern const char kSmbiosShortRead[];

// `table` is the whole 'RSMB' buffer (header included). A buffer shorter
// than its header adds the short-read note and nothing else.
void RenderSmbiosTable(Snapshot& s, const uint8_t* table, size_t size);

// A serial-number signal; a placeholder value is kept with quality 0.
void AddSerialIdentifier(Snapshot& s, const std::string& key, const std::string& name, const std::string& value,
                         int32_t weight, const std::string& group, const std::string& src);
void AddStructureRow(Table& t, const std::string& label, const std::string& field, std::string value, bool sensitive);

}  // namespace vorq
