#include <memory>
#include <mutex>

#include "core/hash.h"
#include "core/hmac_key_win.h"
#include "core/report.h"
#include "core/win.h"

namespace vorq {

namespace {

constexpr size_t kKeySize = 32;
constexpr char kProcessKeyNote[] =
    "Report: no random bytes for a new HMAC key; pseudonyms use a key for this process only";

// Only when the random generator fails: a key that is at least not publicly
// known, from what varies between processes. It is never written to disk.
Bytes FallbackProcessKey() {
    struct {
        LARGE_INTEGER counter;
        ULONGLONG ticks;
        FILETIME now;
        DWORD pid, tid;
        const void* stack;
        const void* heap;
    } seed{};
    QueryPerformanceCounter(&seed.counter);
    seed.ticks = GetTickCount64();
    GetSystemTimeAsFileTime(&seed.now);
    seed.pid = GetCurrentProcessId();
    seed.tid = GetCurrentThreadId();
    seed.stack = &seed;
    auto probe = std::make_unique<char>();
    seed.heap = probe.get();
    return Sha256(&seed, sizeof seed);
}

}  // namespace

HmacKeyServices DefaultHmacKeyServices() { return HmacKeyServices{&RandomBytes, &WriteFile}; }

HmacKeyFileResult LoadHmacKeyFile(const std::wstring& path, const HmacKeyServices& services) {
    HmacKeyFileResult result;
    bool mayCreate = false;
    {
        UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        if (f) {
            Bytes buf(kKeySize);
            DWORD got = 0;
            if (ReadFile(f.get(), buf.data(), kKeySize, &got, nullptr) && got == kKeySize) {
                result.key = std::move(buf);
                return result;
            }
        } else {
            DWORD err = GetLastError();
            mayCreate = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
        }
    }

    Bytes key(kKeySize, 0);
    if (!services.randomBytes(key.data(), key.size())) {
        // A zeroed buffer would be a publicly known key: never store it.
        result.key = FallbackProcessKey();
        result.note = kProcessKeyNote;
        return result;
    }
    if (mayCreate) {
        UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (f) {
            DWORD written = 0;
            BOOL ok = services.writeFile(f.get(), key.data(), kKeySize, &written, nullptr);
            f.reset();
            // A short file would be left alone by every later run: remove it so the next one tries again.
            if (!ok || written != kKeySize) DeleteFileW(path.c_str());
        }
    }
    result.key = std::move(key);
    return result;
}

Bytes LoadHmacKey(std::string* note) {
    static std::mutex mutex;
    static HmacKeyFileResult cached;
    std::lock_guard<std::mutex> lock(mutex);
    if (cached.key.empty()) cached = LoadHmacKeyFile(GetAppDataDir() + L"\\hmac.key", DefaultHmacKeyServices());
    if (note) *note = cached.note;
    return cached.key;
}

void WriteSnapshotJson(std::string& out, const Snapshot& s, int mode) {
    std::string note;
    Bytes key = LoadHmacKey(&note);
    WriteSnapshotJsonWithKey(out, s, mode, key, note);
}

std::string WriteSnapshotJson(const Snapshot& s, int mode) {
    std::string out;
    WriteSnapshotJson(out, s, mode);
    return out;
}

}  // namespace vorq
