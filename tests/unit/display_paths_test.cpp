#include <gtest/gtest.h>

#include "collectors/devices/display_paths.h"

namespace vorq {
namespace {

// A display configuration that answers from a script of query results.
struct FakePaths {
    long sizesRc = 0;
    uint32_t paths = 1, modes = 2;
    std::vector<long> queryRcs{0};  // one per query attempt
    uint32_t reportPaths = 0;       // paths the query claims (0: as asked)
    std::vector<uint32_t> technologies{10};
    int protocol = 0;  // -1: not readable
    int queries = 0;

    DisplayPathSource Source() {
        DisplayPathSource src;
        src.bufferSizes = [this](uint32_t& p, uint32_t& m) {
            p = paths;
            m = modes;
            return sizesRc;
        };
        src.query = [this](uint32_t& p, uint32_t& m, std::vector<DisplayPathInfo>& out) {
            const long rc = queryRcs[static_cast<size_t>(queries++)];
            if (reportPaths) p = reportPaths;
            for (uint32_t k = 0; rc == 0 && k < p && k < technologies.size(); ++k)
                out.push_back(DisplayPathInfo{k, 100 + k, technologies[k], k == 0 ? 1u : 0u, 7});
            (void)m;
            return rc;
        };
        src.edidIdentity = [](const DisplayPathInfo& p) { return p.source == 0 ? std::string("10AC:A0C5") : ""; };
        src.remoteProtocol = [this](uint16_t& v) {
            if (protocol < 0) return false;
            v = static_cast<uint16_t>(protocol);
            return true;
        };
        return src;
    }
};

TEST(DisplayPaths, Statuses) {
    struct Case {
        const char* what;
        std::function<void(FakePaths&)> setup;
        const char* status;
        const char* context;
        size_t rows;
    };
    const Case cases[] = {
        {"one path", [](FakePaths&) {}, "ok", "0", 1},
        {"no active paths", [](FakePaths& f) { f.paths = 0; }, "ok", "0", 0},
        {"sizes not supported", [](FakePaths& f) { f.sizesRc = 50; }, "not_supported", "0", 0},
        {"sizes fail", [](FakePaths& f) { f.sizesRc = 87; }, "error", "0", 0},
        {"257 paths", [](FakePaths& f) { f.paths = 257; }, "error", "0", 0},
        {"1025 modes", [](FakePaths& f) { f.modes = 1025; }, "error", "0", 0},
        {"buffer too small, then a success", [](FakePaths& f) { f.queryRcs = {122, 0}; }, "ok", "0", 1},
        {"buffer too small twice", [](FakePaths& f) { f.queryRcs = {122, 122}; }, "error", "0", 0},
        {"query not supported", [](FakePaths& f) { f.queryRcs = {50}; }, "not_supported", "0", 0},
        {"more paths reported than the buffer holds", [](FakePaths& f) { f.reportPaths = 2; }, "error", "0", 0},
        {"an indirect display", [](FakePaths& f) { f.paths = 2, f.technologies = {10, 16}; }, "ok", "1", 2},
        {"a remote desktop session without such a path", [](FakePaths& f) { f.protocol = 2; }, "ok", "1", 1},
        {"a remote desktop session and a failed read", [](FakePaths& f) { f.protocol = 2, f.sizesRc = 5; }, "error", "1",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePaths f;
        c.setup(f);
        Snapshot s;
        AddDisplayPathsFrom(s, f.Source());
        ASSERT_EQ(s.tables.size(), 1u);
        EXPECT_EQ(s.tables[0].id, "display.paths");
        EXPECT_EQ(GetFact(s, "display.probe.paths.status"), c.status);
        EXPECT_EQ(GetFact(s, "display.probe.paths.context"), c.context);
        EXPECT_EQ(s.tables[0].rows.size(), c.rows);
    }
}

TEST(DisplayPaths, RowsAndRemoteProtocol) {
    FakePaths f;
    f.paths = 2;
    f.technologies = {0x80000000u, 0xFFFFFFFFu};
    Snapshot s;
    AddDisplayPathsFrom(s, f.Source());
    ASSERT_EQ(s.tables[0].rows.size(), 2u);
    EXPECT_EQ(s.tables[0].rows[0].cells,
              (std::vector<std::string>{"1", "0", "100", "2147483648", "10AC:A0C5", "1"}));
    EXPECT_EQ(s.tables[0].rows[1].cells, (std::vector<std::string>{"2", "1", "101", "4294967295", "", "0"}));
    EXPECT_EQ(GetFact(s, "display.remote_protocol"), "0");

    FakePaths unreadable;
    unreadable.protocol = -1;
    Snapshot s2;
    AddDisplayPathsFrom(s2, unreadable.Source());
    EXPECT_FALSE(HasFact(s2, "display.remote_protocol"));
}

// A raw-input list from a script of list results.
struct FakeRawInput {
    bool countOk = true;
    uint32_t devices = 3;
    std::vector<int64_t> listResults{-2};  // -2: as many as asked; -1: failure with `error`
    uint32_t error = 122;
    std::vector<RawInputInfo> infos{{0, 0, 0, 0, 0}, {1, 0, 0, 0, 0}, {2, 0x80EE, 0x21, 0x0C, 1}};
    int reads = 0;

    RawInputSource Source() {
        RawInputSource src;
        src.count = [this](uint32_t& n) {
            n = devices;
            return countOk;
        };
        src.list = [this](uint32_t capacity, uint32_t& e) -> int64_t {
            const int64_t r = listResults[static_cast<size_t>(reads++)];
            if (r == -1) e = error;
            return r == -2 ? capacity : r;
        };
        src.info = [this](uint32_t i, RawInputInfo& out) {
            if (i >= infos.size() || infos[i].type == 99) return false;
            out = infos[i];
            return true;
        };
        return src;
    }
};

TEST(RawInput, Statuses) {
    struct Case {
        const char* what;
        std::function<void(FakeRawInput&)> setup;
        const char* status;
        const char* family;
        size_t rows;
    };
    const Case cases[] = {
        {"mouse, keyboard and a virtual HID", [](FakeRawInput&) {}, "ok", "VirtualBox", 3},
        {"no devices", [](FakeRawInput& f) { f.devices = 0; }, "ok", "", 0},
        {"count fails", [](FakeRawInput& f) { f.countOk = false; }, "error", "", 0},
        {"513 devices", [](FakeRawInput& f) { f.devices = 513; }, "error", "", 0},
        {"512 devices", [](FakeRawInput& f) { f.devices = 512; }, "ok", "VirtualBox", 3},
        {"buffer too small, then a read", [](FakeRawInput& f) { f.listResults = {-1, -2}; }, "ok", "VirtualBox", 3},
        {"buffer too small twice", [](FakeRawInput& f) { f.listResults = {-1, -1}; }, "error", "", 0},
        {"another failure", [](FakeRawInput& f) { f.listResults = {-1}, f.error = 5; }, "error", "", 0},
        {"more entries returned than allocated", [](FakeRawInput& f) { f.listResults = {4}; }, "error", "", 0},
        {"an unreadable entry is skipped", [](FakeRawInput& f) { f.infos[0].type = 99; }, "ok", "VirtualBox", 2},
        {"product 0x24 is no virtual HID", [](FakeRawInput& f) { f.infos[2].productId = 0x24; }, "ok", "", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeRawInput f;
        c.setup(f);
        Snapshot s;
        AddRawInputDevicesFrom(s, f.Source());
        ASSERT_EQ(s.tables.size(), 1u);
        EXPECT_EQ(s.tables[0].id, "display.input_devices");
        EXPECT_EQ(GetFact(s, "display.probe.hid.status"), c.status);
        EXPECT_EQ(GetFact(s, "display.probe.hid.family", "absent"), c.family);
        EXPECT_EQ(s.tables[0].rows.size(), c.rows);
    }
}

TEST(RawInput, Rows) {
    FakeRawInput f;
    f.infos[0].type = 99;  // entry 1 unreadable: numbering still counts it
    f.infos.push_back({7, 0, 0, 0, 0});
    f.devices = 4;
    Snapshot s;
    AddRawInputDevicesFrom(s, f.Source());
    const auto& rows = s.tables[0].rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"2", "KEYBOARD", "", "", ""}));
    EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"3", "HID", "80EE:0021", "12", "1"}));
    EXPECT_EQ(rows[2].cells, (std::vector<std::string>{"4", "UNKNOWN", "", "", ""}));
}

}  // namespace
}  // namespace vorq
