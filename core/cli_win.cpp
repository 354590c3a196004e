#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "core/cli.h"
#include "core/driver.h"
#include "core/file_write_win.h"
#include "core/report.h"
#include "core/win.h"

namespace vorq {

namespace {

// The parent's console when AttachParentConsole joined it: the standard
// handles of a windowed program do not point there.
HANDLE AttachedConsole = INVALID_HANDLE_VALUE;

bool IsConsole(HANDLE h) {
    DWORD mode = 0;
    return h && h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode);
}

}  // namespace

bool WriteTextTo(HANDLE h, std::string_view utf8) {
    if (IsConsole(h)) {
        const std::wstring wide = ToWide(std::string(utf8));
        for (size_t done = 0; done < wide.size();) {
            DWORD written = 0;
            const DWORD chunk = static_cast<DWORD>(wide.size() - done < 8192 ? wide.size() - done : 8192);
            if (!WriteConsoleW(h, wide.data() + done, chunk, &written, nullptr) || written == 0) return false;
            done += written;
        }
        return true;
    }
    for (size_t done = 0; done < utf8.size();) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(utf8.size() - done < (1u << 20) ? utf8.size() - done : (1u << 20));
        if (!WriteFile(h, utf8.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

void PrintText(std::string_view utf8) {
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!IsConsole(out) && AttachedConsole != INVALID_HANDLE_VALUE) out = AttachedConsole;
    if (out && out != INVALID_HANDLE_VALUE) WriteTextTo(out, utf8);
}

void AttachParentConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) {
        DWORD type = GetFileType(out);
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE) return;  // redirected: keep it
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    FILE* f = nullptr;
    f = std::freopen("CONOUT$", "w", stdout);
    f = std::freopen("CONOUT$", "w", stderr);
    (void)f;
    AttachedConsole = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
}

void PrintProgress(const std::string& stage, int pct) { PrintText(Format("  [%3d%%] %s\n", pct, stage.c_str())); }

int RunCli(const std::wstring& path, bool raw, const ScanFn& scan) {
    AttachParentConsole();
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    PrintText(Format("\nVornixQuelm %s - collecting (read-only, local)...\n", kToolVersion));

    Snapshot s;
    scan(s, &PrintProgress);
    const std::string report = WriteSnapshotJson(s, raw ? kReportRaw : kReportSafe);
    const bool written = WriteFileReplacing(path, report);

    std::string summary = Format("\n  %s\n", s.deviceTitle.c_str());
    for (const Score& sc : s.scores)
        summary += Format("  %-20s %3d/100  %s\n", sc.title.c_str(), static_cast<int>(sc.value), sc.verdict.c_str());
    summary += Format("  %zu identifiers, %zu checks, %.1f s\n", s.signals.size(), s.checks.size(), s.durationMs / 1000.0);
    summary += Format(written ? "  Saved %s snapshot: %s\n\n" : "  FAILED to write %s snapshot: %s\n\n",
                      raw ? "raw" : "privacy-safe", WStringToUtf8(path).c_str());
    PrintText(summary);
    if (com == S_OK || com == S_FALSE) CoUninitialize();
    return written ? 0 : 1;
}

}  // namespace vorq
