// A hand-made running system for the artifact and context probes: registry
// keys by lower-case path, services, files, folders, processes, windows and
// DOS aliases. Anything not planted answers "not found".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/text.h"
#include "vm/vm_model.h"
#include "vm/vm_system.h"

namespace vorq {

// The probe with that id; a test failure and an empty probe when missing.
inline VmProbe ProbeById(const VmProbeList& probes, const std::string& id) {
    for (const VmProbe& p : probes)
        if (p.id == id) return p;
    ADD_FAILURE() << "no probe " << id;
    return {};
}

struct FakeKey {
    uint32_t openError = 0;
    std::map<std::string, RegValueRead> values;
    std::vector<std::string> subkeys;
    uint32_t enumErrorAt = UINT32_MAX;  // index whose enumeration fails with enumError
    uint32_t enumError = 0;
};

inline std::vector<uint8_t> Utf16Bytes(const std::string& text, bool terminator = true) {
    std::vector<uint8_t> out;
    std::u16string u = Utf8ToUtf16(text);
    if (terminator) u.push_back(0);
    for (char16_t c : u) {
        out.push_back(static_cast<uint8_t>(c & 0xFF));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// REG_MULTI_SZ data: each string with its NUL, then the closing NUL.
inline std::vector<uint8_t> MultiSzBytes(const std::vector<std::string>& strings) {
    std::vector<uint8_t> out;
    for (const std::string& s : strings) {
        const std::vector<uint8_t> b = Utf16Bytes(s);
        out.insert(out.end(), b.begin(), b.end());
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

struct FakeSystem {
    uint64_t now = 1000;
    uint64_t step = 0;  // added to the clock after every reading
    std::map<std::string, FakeKey> keys;  // lower-case path, "@32"/"@64" for one view only
    uint32_t scmError = 0;
    std::map<std::string, ServiceStateQuery> services;
    std::string windowsDir = "C:\\windows";
    uint32_t windowsDirResult = 10;
    std::map<std::string, FileAttributesRead> files;  // lower-case path
    std::map<int, KnownFolderRead> folders;
    std::map<std::string, uint32_t> driveTypes;
    std::vector<std::string> processes;
    ProcessWalkEnd processEnd{0, 0, kErrNoMoreFiles};
    std::set<std::string> windowClasses;
    std::map<std::string, uint32_t> dosDevices;  // name -> error, 0 when present

    FakeKey& Key(const std::string& path) { return keys[LowerAscii(path)]; }
    void SetString(const std::string& path, const std::string& value, const std::string& text, uint32_t type = kRegSz) {
        Key(path).values[value] = RegValueRead{0, type, Utf16Bytes(text)};
    }
    void SetBytes(const std::string& path, const std::string& value, uint32_t type, std::vector<uint8_t> bytes) {
        Key(path).values[value] = RegValueRead{0, type, std::move(bytes)};
    }
    void AddFile(const std::string& path, bool directory = false) {
        files[LowerAscii(path)] = FileAttributesRead{true, directory ? kFileAttributeDirectory : 0x20u, 0};
    }

    static std::string LowerAscii(std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    }

    const FakeKey* Find(const std::string& path, RegView view) const {
        const std::string p = LowerAscii(path);
        if (view != RegView::kDefault) {
            auto it = keys.find(p + (view == RegView::k32 ? "@32" : "@64"));
            if (it != keys.end()) return &it->second;
        }
        auto it = keys.find(p);
        return it == keys.end() ? nullptr : &it->second;
    }

    VmSystemAccess Access() {
        VmSystemAccess a;
        a.tickMs = [this] {
            const uint64_t t = now;
            now += step;
            return t;
        };
        a.regOpenKey = [this](const std::string& path, RegView view) {
            const FakeKey* k = Find(path, view);
            return k ? k->openError : kErrFileNotFound;
        };
        a.regReadValue = [this](const std::string& path, const std::string& value, bool multi, size_t bufferBytes) {
            const FakeKey* k = Find(path, RegView::kDefault);
            if (!k) return RegValueRead{kErrFileNotFound, 0, {}};
            if (k->openError) return RegValueRead{k->openError, 0, {}};
            auto it = k->values.find(value);
            if (it == k->values.end()) return RegValueRead{kErrFileNotFound, 0, {}};
            RegValueRead r = it->second;
            if (r.error == 0 && r.type == kRegMultiSz && !multi) return RegValueRead{1630, 0, {}};  // unsupported type
            if (r.error == 0 && r.data.size() > bufferBytes) return RegValueRead{kErrMoreData, 0, {}};
            return r;
        };
        a.regEnumSubkeys = [this](const std::string& path, const std::function<bool(uint32_t, const std::string&)>& visit) {
            const FakeKey* k = Find(path, RegView::kDefault);
            if (!k) return kErrFileNotFound;
            if (k->openError) return k->openError;
            for (uint32_t i = 0;; ++i) {
                uint32_t error = 0;
                std::string name;
                if (i == k->enumErrorAt) {
                    error = k->enumError;
                } else if (i < k->subkeys.size()) {
                    name = k->subkeys[i];
                } else {
                    error = kErrNoMoreItems;
                }
                if (!visit(error, name)) break;
                if (i > 100000) break;  // a visitor that never stops is a test fault
            }
            return 0u;
        };
        a.queryServices = [this](const std::vector<std::string>& names, std::vector<ServiceStateQuery>& out) {
            if (scmError) return scmError;
            for (const std::string& n : names) {
                auto it = services.find(n);
                out.push_back(it == services.end() ? ServiceStateQuery{kErrServiceDoesNotExist, 0, 0} : it->second);
            }
            return 0u;
        };
        a.windowsDirectory = [this](std::string& dir) {
            dir = windowsDir;
            return windowsDirResult;
        };
        a.fileAttributes = [this](const std::string& path) {
            auto it = files.find(LowerAscii(path));
            return it == files.end() ? FileAttributesRead{false, 0, kErrFileNotFound} : it->second;
        };
        a.knownFolder = [this](KnownFolder f) {
            auto it = folders.find(static_cast<int>(f));
            return it == folders.end() ? KnownFolderRead{static_cast<int32_t>(0x80070002u), {}} : it->second;
        };
        a.driveType = [this](const std::string& root) {
            auto it = driveTypes.find(root);
            return it == driveTypes.end() ? kDriveFixed : it->second;
        };
        a.walkProcesses = [this](const std::function<bool(const std::string&)>& visit) {
            if (processEnd.snapshotError || processEnd.firstError) return processEnd;
            if (processes.empty()) return ProcessWalkEnd{0, kErrNoMoreFiles, 0};
            for (const std::string& p : processes)
                if (!visit(p)) return ProcessWalkEnd{};
            return processEnd;
        };
        a.findWindowClass = [this](const std::string& cls) { return windowClasses.count(cls) != 0; };
        a.queryDosDevice = [this](const std::string& name) {
            auto it = dosDevices.find(name);
            return it == dosDevices.end() ? kErrFileNotFound : it->second;
        };
        return a;
    }
};

}  // namespace vorq
