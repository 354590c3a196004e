#include "core/file_write_win.h"

#include <atomic>

#include "core/win.h"

namespace vorq {
namespace {

// A name beside the target that no other writer (thread or process) picks:
// the process id and a per-process counter, created with CREATE_NEW.
std::wstring TemporaryNameFor(const std::wstring& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    wchar_t suffix[48];
    _snwprintf(suffix, 48, L".%lx-%x-%x.tmp", GetCurrentProcessId(), counter.fetch_add(1), attempt);
    suffix[47] = L'\0';
    return path + suffix;
}

bool WriteAll(HANDLE f, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(bytes.size() < (1u << 30) ? bytes.size() : (1u << 30));
        DWORD written = 0;
        if (!WriteFile(f, bytes.data(), chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool WriteFileReplacing(const std::wstring& path, std::string_view bytes, DWORD* error) {
    // Windows refuses to replace a read-only file; Wine's rename does not, so
    // ask first and keep the same answer everywhere.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        if (error) *error = ERROR_ACCESS_DENIED;
        return false;
    }
    std::wstring temp;
    UniqueFile f;
    for (unsigned attempt = 0; attempt < 16 && !f; ++attempt) {
        temp = TemporaryNameFor(path, attempt);
        f.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD e = GetLastError();
        if (!f && e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) break;
    }
    bool ok = false;
    DWORD failure = f ? ERROR_SUCCESS : GetLastError();
    if (f) {
        // A full disk may only show when the cached data is flushed, so the
        // flush counts as part of the write.
        ok = WriteAll(f.get(), bytes) && FlushFileBuffers(f.get());
        if (!ok) failure = GetLastError();
        f.reset();
        if (ok && !MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            ok = false;
            failure = GetLastError();
        }
        if (!ok) DeleteFileW(temp.c_str());
    }
    if (!ok && error) *error = failure;
    return ok;
}

}  // namespace vorq
