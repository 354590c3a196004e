#include <windows.h>

#include "collectors/processor/acpi.h"
#include "core/win.h"

namespace vorq {

void CollectAcpi(Snapshot& s) {
    constexpr DWORD kProvider = 0x41435049;  // 'ACPI'
    DWORD lastError = 0;
    AcpiSource src;
    src.enumerate = [&](void* buffer, uint32_t size) -> uint32_t {
        const UINT r = EnumSystemFirmwareTables(kProvider, buffer, size);
        if (r == 0) lastError = GetLastError();
        return r;
    };
    src.read = [&](uint32_t id, void* buffer, uint32_t size) -> uint32_t {
        const UINT r = GetSystemFirmwareTable(kProvider, id, buffer, size);
        if (r == 0) lastError = GetLastError();
        return r;
    };
    src.lastError = [&] { return Win32ErrorText(lastError); };
    CollectAcpiFrom(s, src);
}

}  // namespace vorq
