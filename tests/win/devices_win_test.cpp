#include <gtest/gtest.h>

#include <objbase.h>

#include <map>

#include "collectors/devices/devices.h"
#include "core/text.h"

namespace vorq {
namespace {

// The collector on this thread (in the multithreaded apartment, as the scan
// thread runs it); the facts it leaves for later collectors are checked here
// because reports do not carry facts.
TEST(DevicesCollector, FactsMatchTheDevicesTable) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    Snapshot s;
    SetFact(s, "vm.pnp.ids:999", "stale");
    CollectDevices(s);
    if (SUCCEEDED(com)) CoUninitialize();

    EXPECT_TRUE(s.notes.empty());
    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"devices.classes", "devices.providers", "devices.biometric",
                                             "devices.audio", "devices.smartcard", "devices.printers", "devices"}));
    const Table* devices = FindTable(s, "devices");
    ASSERT_NE(devices, nullptr);
    ASSERT_FALSE(devices->rows.empty());
    EXPECT_EQ(GetFact(s, "devices.count"), std::to_string(devices->rows.size()));

    // The PCI display adapter's hardware id (through the registry fallback) is
    // the fact at its row; rows without a bus id have none.
    EXPECT_FALSE(HasFact(s, "vm.pnp.ids:999"));
    bool sawPci = false;
    std::map<std::string, uint32_t> services;
    for (size_t i = 0; i < devices->rows.size(); ++i) {
        const std::vector<std::string>& c = devices->rows[i].cells;
        ASSERT_EQ(c.size(), 9u);
        EXPECT_FALSE(c[0].empty());
        const std::string key = "vm.pnp.ids:" + std::to_string(i);
        if (c[3].starts_with("PCI\\")) {
            sawPci = true;
            EXPECT_EQ(GetFact(s, key).substr(0, c[3].size()), c[3]) << i;
        } else if (c[3].starts_with("HID\\") || c[3].starts_with("WINEBUS\\")) {
            EXPECT_FALSE(HasFact(s, key)) << i;
        }
        if (!c[6].empty()) ++services[ToLower(c[6])];
    }
    EXPECT_TRUE(sawPci);
    ASSERT_FALSE(services.empty());
    for (const auto& [name, count] : services) EXPECT_EQ(GetFact(s, "svcdev:" + name), std::to_string(count)) << name;

    EXPECT_EQ(GetFact(s, "audio.active"), "0");
    EXPECT_EQ(GetFact(s, "printers"), "0");
    EXPECT_EQ(GetFact(s, "devices.usb_serials"), "0");
}

}  // namespace
}  // namespace vorq
