#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "collectors/devices/battery.h"

namespace vorq {
namespace {

// One scripted battery interface.
BatterySource Listed(BatterySource src, bool listed) {
    src.listed = listed;
    return src;
}

struct FakeBattery {
    BatteryOpen open = BatteryOpen::Opened;
    bool tagOk = true;
    uint32_t tag = 7;
    std::map<uint32_t, std::u16string> strings{{4, u"DELL 7FHHV"}, {6, u"SMP"}, {8, u"1234"}, {7, u"SMP7FHHV1234"}};
    bool dateOk = true;
    uint8_t date[4] = {5, 3, 0xE5, 0x07};  // 2021-03-05
    bool infoOk = true;
    uint8_t chemistry[4] = {'L', 'I', 'O', 'N'};
    uint32_t design = 97000, full = 91234, cycles = 123;
};

struct FakePort {
    std::vector<FakeBattery> batteries;
    int opened = 0, closed = 0;
    std::vector<uint32_t> opens;
    FakeBattery* current = nullptr;

    BatterySource Port() {
        BatterySource p;
        p.open = [this](uint32_t index) {
            opens.push_back(index);
            if (index >= batteries.size()) return BatteryOpen::End;
            if (batteries[index].open == BatteryOpen::Opened) {
                ++opened;
                current = &batteries[index];
            }
            return batteries[index].open;
        };
        p.close = [this] {
            ++closed;
            current = nullptr;
        };
        p.ioctl = [this](uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize, uint32_t& returned) {
            FakeBattery& b = *current;
            const auto* q = static_cast<const uint8_t*>(in);
            if (code == kIoctlBatteryQueryTag) {
                EXPECT_EQ(inSize, 4u);
                EXPECT_EQ(std::memcmp(q, "\0\0\0\0", 4), 0);
                if (!b.tagOk) return false;
                std::memcpy(out, &b.tag, 4);
                returned = 4;
                return true;
            }
            EXPECT_EQ(code, kIoctlBatteryQueryInformation);
            EXPECT_EQ(inSize, 12u);
            uint32_t tag, level, rate;
            std::memcpy(&tag, q, 4);
            std::memcpy(&level, q + 4, 4);
            std::memcpy(&rate, q + 8, 4);
            EXPECT_EQ(tag, b.tag);
            EXPECT_EQ(rate, 0u);
            auto* o = static_cast<uint8_t*>(out);
            if (level == 5) {
                if (!b.dateOk) return false;
                EXPECT_EQ(outSize, 4u);
                std::memcpy(o, b.date, 4);
                returned = 4;
                return true;
            }
            if (level == 0) {
                if (!b.infoOk) return false;
                EXPECT_EQ(outSize, 36u);
                std::memcpy(o + 8, b.chemistry, 4);
                std::memcpy(o + 12, &b.design, 4);
                std::memcpy(o + 16, &b.full, 4);
                std::memcpy(o + 32, &b.cycles, 4);
                returned = 36;
                return true;
            }
            EXPECT_EQ(outSize, 510u);
            auto it = b.strings.find(level);
            if (it == b.strings.end()) return false;
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(it->second.size() * 2, outSize));
            std::memcpy(o, it->second.data(), n);
            returned = n;
            return true;
        };
        return p;
    }
};

const Table& BatteryTable(const Snapshot& s) {
    const Table* t = FindTable(s, "battery");
    EXPECT_NE(t, nullptr);
    return *t;
}

constexpr const char* kNoBattery = "No battery present (desktop or battery not reported by ACPI).";

TEST(Battery, OneLaptopBattery) {
    FakePort port;
    port.batteries = {FakeBattery{}};
    Snapshot s;
    CollectBatteryFrom(s, Listed(port.Port(), true));
    const Table& t = BatteryTable(s);
    EXPECT_EQ(t.tab, "display");
    EXPECT_EQ(t.sens, 12u);
    EXPECT_EQ(t.note, "Laptop batteries expose a unique ID that Windows uses to recognise the same physical pack.");
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"DELL 7FHHV", "SMP", "1234", "SMP7FHHV1234", "2021-03-05",
                                                         "LION", "97000 / 91234 mWh", "123"}));
    ASSERT_EQ(s.signals.size(), 1u);
    EXPECT_EQ(s.signals[0].key, "battery.unique_id");
    EXPECT_EQ(s.signals[0].name, "Battery unique ID (DELL 7FHHV)");
    EXPECT_EQ(s.signals[0].value, "SMP7FHHV1234");
    EXPECT_EQ(s.signals[0].scope, 0);
    EXPECT_TRUE(Sensitive(s.signals[0]));
    EXPECT_EQ(GetFact(s, "battery.count"), "1");
    EXPECT_EQ(port.opened, port.closed);
}

TEST(Battery, NoBatteries) {
    struct Case {
        const char* what;
        bool listed;
        std::vector<FakeBattery> batteries;
    };
    FakeBattery tagZero;
    tagZero.tag = 0;
    FakeBattery tagFails;
    tagFails.tagOk = false;
    FakeBattery cannotOpen;
    cannotOpen.open = BatteryOpen::Skip;
    const Case cases[] = {
        {"device list not opened", false, {FakeBattery{}}},
        {"no interfaces", true, {}},
        {"tag 0, a failed tag query and an interface that cannot be opened", true, {tagZero, tagFails, cannotOpen}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePort port;
        port.batteries = c.batteries;
        Snapshot s;
        CollectBatteryFrom(s, Listed(port.Port(), c.listed));
        EXPECT_EQ(BatteryTable(s).note, kNoBattery);
        EXPECT_TRUE(BatteryTable(s).rows.empty());
        EXPECT_TRUE(s.signals.empty());
        EXPECT_EQ(GetFact(s, "battery.count", "absent"), "0");
        EXPECT_EQ(port.opened, port.closed);
    }
}

TEST(Battery, AtMostEightInterfaces) {
    FakePort port;
    port.batteries.resize(10);
    Snapshot s;
    CollectBatteryFrom(s, Listed(port.Port(), true));
    EXPECT_EQ(port.opens.size(), 8u);
    EXPECT_EQ(BatteryTable(s).rows.size(), 8u);
    EXPECT_EQ(GetFact(s, "battery.count"), "8");
}

TEST(Battery, CellsAndIdentifier) {
    struct Case {
        const char* what;
        std::function<void(FakeBattery&)> change;
        std::vector<std::string> row;
        const char* signal;  // empty: no signal
    };
    const Case cases[] = {
        {"no unique ID: the serial identifies",
         [](FakeBattery& b) { b.strings.erase(7); },
         {"DELL 7FHHV", "SMP", "1234", "", "2021-03-05", "LION", "97000 / 91234 mWh", "123"}, "1234"},
        {"neither unique ID nor serial: a row, no signal",
         [](FakeBattery& b) { b.strings = {{7, u"  "}}; },
         {"", "", "", "", "2021-03-05", "LION", "97000 / 91234 mWh", "123"}, ""},
        {"date and information queries fail",
         [](FakeBattery& b) { b.dateOk = b.infoOk = false; },
         {"DELL 7FHHV", "SMP", "1234", "SMP7FHHV1234", "", "", "", ""}, "SMP7FHHV1234"},
        {"a 0 byte ends the chemistry",
         [](FakeBattery& b) { std::memcpy(b.chemistry, "LI\0N", 4); },
         {"DELL 7FHHV", "SMP", "1234", "SMP7FHHV1234", "2021-03-05", "LI", "97000 / 91234 mWh", "123"}, "SMP7FHHV1234"},
        {"strings stop at a NUL unit and are trimmed",
         [](FakeBattery& b) { b.strings[4] = std::u16string(u" Pack\0rest", 10); },
         {"Pack", "SMP", "1234", "SMP7FHHV1234", "2021-03-05", "LION", "97000 / 91234 mWh", "123"}, "SMP7FHHV1234"},
        {"a string reply longer than the buffer keeps its last unit 0",
         [](FakeBattery& b) { b.strings[6] = std::u16string(300, u'M'); },
         {"DELL 7FHHV", std::string(255, 'M'), "1234", "SMP7FHHV1234", "2021-03-05", "LION", "97000 / 91234 mWh", "123"},
         "SMP7FHHV1234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePort port;
        port.batteries = {FakeBattery{}};
        c.change(port.batteries[0]);
        Snapshot s;
        CollectBatteryFrom(s, Listed(port.Port(), true));
        ASSERT_EQ(BatteryTable(s).rows.size(), 1u);
        EXPECT_EQ(BatteryTable(s).rows[0].cells, c.row);
        EXPECT_EQ(s.signals.size(), *c.signal ? 1u : 0u);
        if (*c.signal && !s.signals.empty()) {
            EXPECT_EQ(s.signals[0].value, c.signal);
        }
    }
}

TEST(Battery, StringUnitsLimitedByBytesReturned) {
    // The driver writes more than it reports: only the reported bytes count.
    BatterySource p;
    p.ioctl = [](uint32_t, const void*, uint32_t, void* out, uint32_t, uint32_t& returned) {
        std::memcpy(out, u"ABCDEF", 12);
        returned = 5;
        return true;
    };
    EXPECT_EQ(QueryBatteryString(p, 1, 4), "AB");
    uint8_t date[4] = {31, 12, 0x0F, 0x27};
    EXPECT_EQ(BatteryDateText(date), "9999-12-31");
}

}  // namespace
}  // namespace vorq
