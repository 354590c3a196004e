#include <vector>

#include "collectors/processor/smbios.h"
#include "core/win.h"

namespace vorq {

namespace {
// The provider signature is the four letters read as a big-endian value.
constexpr DWORD kRsmb = DWORD{'R'} << 24 | DWORD{'S'} << 16 | DWORD{'M'} << 8 | DWORD{'B'};
}  // namespace

void CollectSmbios(Snapshot& s) {
    // Replaced only once the whole table was read.
    SetFact(s, fact::kVmSmbiosStructureStatus, "error");
    const UINT size = GetSystemFirmwareTable(kRsmb, 0, nullptr, 0);
    if (size == 0) {
        AddFailureNote(s, "SMBIOS", "GetSystemFirmwareTable('RSMB') failed: " + Win32ErrorText(GetLastError()));
        return;
    }
    std::vector<uint8_t> table(size, 0);
    const UINT got = GetSystemFirmwareTable(kRsmb, 0, table.data(), size);
    if (got != size) {
        AddFailureNote(s, "SMBIOS", kSmbiosShortRead, Failure::ShortRead);
        return;
    }
    CollectSmbiosFrom(s, SmbiosSource{table.data(), table.size()});
}

}  // namespace vorq
