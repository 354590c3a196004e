#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/hmac_key_win.h"
#include "core/win.h"

namespace vorq {
namespace {

// A fresh folder below the temporary folder, removed with its files afterwards.
class KeyFolder {
public:
    KeyFolder() {
        wchar_t tmp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, tmp);
        dir_ = std::wstring(tmp) + L"vorq-key-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter_++);
        CreateDirectoryW(dir_.c_str(), nullptr);
    }
    ~KeyFolder() {
        DeleteFileW(key().c_str());
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring key() const { return dir_ + L"\\hmac.key"; }

private:
    static inline int counter_ = 0;
    std::wstring dir_;
};

bool ReadAll(const std::wstring& path, Bytes& out) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!f) return false;
    out.assign(64, 0);
    DWORD got = 0;
    if (!ReadFile(f.get(), out.data(), 64, &got, nullptr)) return false;
    out.resize(got);
    return true;
}

void WriteAll(const std::wstring& path, const Bytes& b) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD n = 0;
    ASSERT_TRUE(f && WriteFile(f.get(), b.data(), static_cast<DWORD>(b.size()), &n, nullptr));
}

bool FailRandom(void*, size_t) { return false; }
BOOL WINAPI ShortWrite(HANDLE h, LPCVOID data, DWORD, LPDWORD written, LPOVERLAPPED) {
    return WriteFile(h, data, 5, written, nullptr);  // as if the disk filled up
}

TEST(HmacKeyFile, MissingFileIsMadeOnceAndReadBack) {
    KeyFolder dir;
    HmacKeyFileResult first = LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices());
    ASSERT_EQ(first.key.size(), 32u);
    EXPECT_TRUE(first.note.empty());
    Bytes onDisk;
    ASSERT_TRUE(ReadAll(dir.key(), onDisk));
    EXPECT_EQ(onDisk, first.key);
    EXPECT_EQ(LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices()).key, first.key);
}

TEST(HmacKeyFile, ExistingFilesAreReadOrLeftAlone) {
    Bytes longFile(40);
    for (size_t i = 0; i < longFile.size(); ++i) longFile[i] = static_cast<uint8_t>(0xA0 + i);
    struct Case {
        const char* name;
        Bytes content;
        bool usedAsKey;
    } cases[] = {
        {"exact", Bytes(longFile.begin(), longFile.begin() + 32), true},
        {"longer: first 32 bytes", longFile, true},
        {"short", Bytes(10, 0x5A), false},
        {"empty", Bytes{}, false},
    };
    for (const Case& c : cases) {
        KeyFolder dir;
        WriteAll(dir.key(), c.content);
        Bytes a = LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices()).key;
        Bytes b = LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices()).key;
        ASSERT_EQ(a.size(), 32u) << c.name;
        if (c.usedAsKey) {
            EXPECT_TRUE(std::equal(a.begin(), a.end(), longFile.begin())) << c.name;
            EXPECT_EQ(a, b) << c.name;
        } else {
            EXPECT_NE(a, b) << c.name << ": a key for each process";
        }
        Bytes after;
        ASSERT_TRUE(ReadAll(dir.key(), after));
        EXPECT_EQ(after, c.content) << c.name << ": the file is never replaced";
    }
}

TEST(HmacKeyFile, MissingFolderGivesAProcessKeyAndWritesNothing) {
    KeyFolder dir;
    std::wstring path = dir.key() + L".d\\hmac.key";
    HmacKeyFileResult r = LoadHmacKeyFile(path, DefaultHmacKeyServices());
    EXPECT_EQ(r.key.size(), 32u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(HmacKeyFile, NoRandomBytesNeverBecomesTheStoredKey) {
    KeyFolder dir;
    HmacKeyServices services = DefaultHmacKeyServices();
    services.randomBytes = &FailRandom;
    HmacKeyFileResult a = LoadHmacKeyFile(dir.key(), services);
    HmacKeyFileResult b = LoadHmacKeyFile(dir.key(), services);
    EXPECT_EQ(GetFileAttributesW(dir.key().c_str()), INVALID_FILE_ATTRIBUTES) << "no key file from a failed generator";
    ASSERT_EQ(a.key.size(), 32u);
    EXPECT_NE(a.key, Bytes(32, 0));
    EXPECT_NE(a.key, b.key);
    EXPECT_FALSE(a.note.empty());
    // The next process with a working generator makes the file.
    HmacKeyFileResult c = LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices());
    Bytes onDisk;
    ASSERT_TRUE(ReadAll(dir.key(), onDisk));
    EXPECT_EQ(onDisk, c.key);
}

TEST(HmacKeyFile, ShortWriteRemovesTheFileSoTheNextRunTriesAgain) {
    KeyFolder dir;
    HmacKeyServices services = DefaultHmacKeyServices();
    services.writeFile = &ShortWrite;
    HmacKeyFileResult a = LoadHmacKeyFile(dir.key(), services);
    EXPECT_EQ(a.key.size(), 32u);
    EXPECT_TRUE(a.note.empty());
    EXPECT_EQ(GetFileAttributesW(dir.key().c_str()), INVALID_FILE_ATTRIBUTES);
    HmacKeyFileResult b = LoadHmacKeyFile(dir.key(), DefaultHmacKeyServices());
    Bytes onDisk;
    ASSERT_TRUE(ReadAll(dir.key(), onDisk));
    EXPECT_EQ(onDisk, b.key);
}

}  // namespace
}  // namespace vorq
