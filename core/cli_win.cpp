#include <windows.h>
#include <objbase.h>

#include <cstdio>

#include "core/cli.h"
#include "core/driver.h"
#include "core/file_write_win.h"
#include "core/report.h"
#include "core/win.h"

namespace vorq {

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
}

void PrintProgress(const std::string& stage, int pct) {
    std::printf("  [%3d%%] %s\n", pct, stage.c_str());
    std::fflush(stdout);
}

int RunCli(const std::wstring& path, bool raw) {
    AttachParentConsole();
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::printf("\nVornixQuelm %s - collecting (read-only, local)...\n", kToolVersion);
    std::fflush(stdout);

    Snapshot s;
    RunCollectors(s, &PrintProgress);
    const std::string report = WriteSnapshotJson(s, raw ? kReportRaw : kReportSafe);
    const bool written = WriteFileReplacing(path, report);

    std::printf("\n  %s\n", s.deviceTitle.c_str());
    for (const Score& sc : s.scores)
        std::printf("  %-20s %3d/100  %s\n", sc.title.c_str(), static_cast<int>(sc.value), sc.verdict.c_str());
    std::printf("  %zu identifiers, %zu checks, %.1f s\n", s.signals.size(), s.checks.size(), s.durationMs / 1000.0);
    // The path as UTF-8: the runtime's wide printf cuts non-ASCII text.
    std::printf(written ? "  Saved %s snapshot: %s\n\n" : "  FAILED to write %s snapshot: %s\n\n",
                raw ? "raw" : "privacy-safe", WStringToUtf8(path).c_str());
    std::fflush(stdout);
    if (com == S_OK || com == S_FALSE) CoUninitialize();
    return written ? 0 : 1;
}

}  // namespace vorq
