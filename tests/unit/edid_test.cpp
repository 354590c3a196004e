#include <gtest/gtest.h>

#include <cstring>

#include "collectors/devices/edid.h"

namespace vorq {
namespace {

using Bytes = std::vector<uint8_t>;

void FixChecksum(Bytes& b, size_t block) {
    unsigned sum = 0;
    for (size_t i = 0; i < 127; ++i) sum += b[block * 128 + i];
    b[block * 128 + 127] = static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

// A display descriptor with tag and text (line feed and blank padding as monitors write them).
void PutDescriptor(Bytes& b, size_t off, uint8_t tag, const std::string& text) {
    std::memset(&b[off], 0, 18);
    b[off + 3] = tag;
    for (size_t i = 0; i < 13; ++i) b[off + 5 + i] = i < text.size() ? text[i] : (i == text.size() ? 0x0A : 0x20);
}

// A base block of a "DEL" monitor, product 0xA0C5, serial 0x4C4A3130,
// week 12 of 2018, EDID 1.4, 53 x 30 cm, with name and serial descriptors.
Bytes BaseEdid(size_t blocks = 1) {
    Bytes b(128 * blocks, 0);
    const uint8_t head[] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x10, 0xAC, 0xC5, 0xA0,
                            0x30, 0x31, 0x4A, 0x4C, 12,   28,   1,    4,    0x80, 53,   30};
    std::memcpy(b.data(), head, sizeof head);
    b[54] = 0x01;  // a detailed timing descriptor: not a display descriptor
    b[55] = 0x1D;
    PutDescriptor(b, 72, 0xFF, "ABC123");
    PutDescriptor(b, 90, 0xFC, "DELL P2419H");
    PutDescriptor(b, 108, 0xFD, "range");
    b[126] = static_cast<uint8_t>(blocks - 1);
    for (size_t i = 0; i < blocks; ++i) FixChecksum(b, i);
    return b;
}

TEST(EdidBlocks, Structure) {
    struct Case {
        const char* what;
        Bytes bytes;
        bool size, header, base, all, length, manufacturer;
        uint64_t advertised, available;
    };
    Bytes badHeader = BaseEdid();
    badHeader[7] = 0xFF;
    FixChecksum(badHeader, 0);
    Bytes badBase = BaseEdid();
    badBase[20] ^= 1;
    Bytes badExt = BaseEdid(2);
    badExt[200] ^= 1;
    Bytes wrongCount = BaseEdid(2);
    wrongCount[126] = 0;
    FixChecksum(wrongCount, 0);
    Bytes partial = BaseEdid();
    partial.resize(200, 0x55);
    Bytes highBit = BaseEdid();
    highBit[8] |= 0x80;
    FixChecksum(highBit, 0);
    Bytes letterZero = BaseEdid();
    letterZero[8] = 0x00;  // first letter 0
    letterZero[9] = 0x21;
    FixChecksum(letterZero, 0);
    Bytes letter27 = BaseEdid();
    letter27[8] = 0x6C;  // first letter 27
    FixChecksum(letter27, 0);
    Bytes short127 = BaseEdid();
    short127.resize(127);
    Bytes full = BaseEdid(256);
    Bytes tooBig = BaseEdid(256);
    tooBig.push_back(0);
    const Case cases[] = {
        {"one good block", BaseEdid(), true, true, true, true, true, true, 1, 1},
        {"two good blocks", BaseEdid(2), true, true, true, true, true, true, 2, 2},
        {"256 blocks, the most that can be advertised", full, true, true, true, true, true, true, 256, 256},
        {"header wrong", badHeader, true, false, true, true, true, true, 1, 1},
        {"base checksum wrong", badBase, true, true, false, false, true, true, 1, 1},
        {"extension checksum wrong", badExt, true, true, true, false, true, true, 2, 2},
        {"fewer blocks advertised than stored", wrongCount, true, true, true, true, false, true, 1, 2},
        {"trailing partial block", partial, true, true, true, true, false, true, 1, 1},
        {"manufacturer bit 15 set", highBit, true, true, true, true, true, false, 1, 1},
        {"manufacturer letter 0", letterZero, true, true, true, true, true, false, 1, 1},
        {"manufacturer letter 27", letter27, true, true, true, true, true, false, 1, 1},
        {"127 bytes", short127, false, false, false, false, false, false, 0, 0},
        {"empty", Bytes(), false, false, false, false, false, false, 0, 0},
        {"above 32768 bytes", tooBig, false, false, false, false, false, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EdidBlockChecks r = ValidateEdidBlocks(c.bytes);
        EXPECT_EQ(r.sizeOk, c.size);
        EXPECT_EQ(r.headerOk, c.header);
        EXPECT_EQ(r.baseChecksumOk, c.base);
        EXPECT_EQ(r.allChecksumsOk, c.all);
        EXPECT_EQ(r.lengthConsistent, c.length);
        EXPECT_EQ(r.manufacturerValid, c.manufacturer);
        EXPECT_EQ(r.advertisedBlocks, c.advertised);
        EXPECT_EQ(r.availableBlocks, c.available);
        EXPECT_EQ(EdidChecksPassed(r), c.size && c.header && c.base && c.all && c.length && c.manufacturer);
    }
}

TEST(EdidParse, IdentityFields) {
    EdidInfo e = ParseEdid(BaseEdid());
    ASSERT_TRUE(e.valid);
    EXPECT_EQ(e.manufacturer, "DEL");
    EXPECT_EQ(e.productCode, 0xA0C5);
    EXPECT_EQ(e.serialNumber, 0x4C4A3130u);
    EXPECT_EQ(e.manufactured, "week 12 / 2018");
    EXPECT_EQ(e.version, "1.4");
    EXPECT_EQ(e.size, "53 x 30 cm");
    EXPECT_EQ(e.name, "DELL P2419H");
    EXPECT_EQ(e.serialText, "ABC123");
}

TEST(EdidParse, FieldVariants) {
    struct Case {
        const char* what;
        std::function<void(Bytes&)> change;
        std::function<void(const EdidInfo&)> expect;
        bool fixChecksum = true;
    };
    const Case cases[] = {
        {"SAM", [](Bytes& b) { b[8] = 0x4C, b[9] = 0x2D; }, [](const EdidInfo& e) { EXPECT_EQ(e.manufacturer, "SAM"); }},
        {"model year", [](Bytes& b) { b[16] = 0xFF, b[17] = 30; },
         [](const EdidInfo& e) { EXPECT_EQ(e.manufactured, "model year 2020"); }},
        {"year only", [](Bytes& b) { b[16] = 0, b[17] = 25; }, [](const EdidInfo& e) { EXPECT_EQ(e.manufactured, "2015"); }},
        {"no size when one side is 0", [](Bytes& b) { b[22] = 0; }, [](const EdidInfo& e) { EXPECT_EQ(e.size, ""); }},
        {"descriptor byte 0x7F and control bytes become dots", [](Bytes& b) { b[90 + 6] = 0x7F, b[90 + 7] = 0x00; },
         [](const EdidInfo& e) { EXPECT_EQ(e.name, "D..L P2419H"); }},
        {"text without line feed uses all 13 bytes",
         [](Bytes& b) { std::memcpy(&b[90 + 5], "ABCDEFGHIJKLM", 13); },
         [](const EdidInfo& e) { EXPECT_EQ(e.name, "ABCDEFGHIJKLM"); }},
        {"a later descriptor of the same tag replaces the earlier", [](Bytes& b) { PutDescriptor(b, 108, 0xFF, "LATER"); },
         [](const EdidInfo& e) { EXPECT_EQ(e.serialText, "LATER"); }},
        {"a later empty name or serial keeps the earlier",
         [](Bytes& b) {
             PutDescriptor(b, 54, 0xFF, "ABC123");
             PutDescriptor(b, 72, 0xFC, "DELL P2419H");
             PutDescriptor(b, 90, 0xFF, "");
             PutDescriptor(b, 108, 0xFC, "  ");
         },
         [](const EdidInfo& e) { EXPECT_EQ(e.name + "|" + e.serialText, "DELL P2419H|ABC123"); }},
        {"a name filling all 13 bytes goes on in the next name descriptor",
         [](Bytes& b) {
             PutDescriptor(b, 72, 0xFC, "FLATRON L1510");
             PutDescriptor(b, 90, 0xFF, "ABC123");
             PutDescriptor(b, 108, 0xFC, "S");
         },
         [](const EdidInfo& e) { EXPECT_EQ(e.name + "|" + e.serialText, "FLATRON L1510S|ABC123"); }},
        {"a serial filling all 13 bytes stands alone",
         [](Bytes& b) {
             PutDescriptor(b, 72, 0xFF, "ABCDEFGHIJKLM");
             PutDescriptor(b, 108, 0xFF, "NOPQ");
         },
         [](const EdidInfo& e) { EXPECT_EQ(e.serialText, "NOPQ"); }},
        {"a name padded with blanks has ended",
         [](Bytes& b) {
             std::memcpy(&b[90 + 5], "DELL P2419H  ", 13);
             PutDescriptor(b, 108, 0xFC, "OTHER");
         },
         [](const EdidInfo& e) { EXPECT_EQ(e.name, "OTHER"); }},
        {"a descriptor with byte 1 set is a timing, not text", [](Bytes& b) { b[72 + 1] = 1; },
         [](const EdidInfo& e) { EXPECT_EQ(e.serialText, ""); }},
        {"serial 0", [](Bytes& b) { std::memset(&b[12], 0, 4); }, [](const EdidInfo& e) { EXPECT_EQ(e.serialNumber, 0u); }},
        {"a bad extension checksum still decodes",
         [](Bytes& b) {
             b.resize(256, 0);
             b[126] = 1;
             b[128] = 0x02;
         },
         [](const EdidInfo& e) { EXPECT_TRUE(e.valid); }},
        {"a bad base checksum does not", [](Bytes& b) { b[127] ^= 1; }, [](const EdidInfo& e) { EXPECT_FALSE(e.valid); }, false},
        {"an invalid manufacturer does not", [](Bytes& b) { b[8] |= 0x80; }, [](const EdidInfo& e) { EXPECT_FALSE(e.valid); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes b = BaseEdid();
        c.change(b);
        if (c.fixChecksum) FixChecksum(b, 0);
        c.expect(ParseEdid(b));
    }
}

MonitorEdidRead WithEdid(Bytes b) {
    MonitorEdidRead r;
    r.hasEdid = true;
    r.overrideProbed = true;
    r.bytes = std::move(b);
    return r;
}

TEST(EdidMonitorStep, RowsSignalsAndFacts) {
    Snapshot s;
    MonitorStep m = BeginMonitorStep(true);

    // 0: a good EDID with a name and a serial descriptor.
    AddMonitor(s, m, 0, WithEdid(BaseEdid()), [] { return std::string("unused"); });
    // 1: no name, no serial at all, an override key: the device's name is used.
    Bytes anon = BaseEdid();
    PutDescriptor(anon, 72, 0x10, "");
    PutDescriptor(anon, 90, 0x10, "");
    std::memset(&anon[12], 0, 4);
    FixChecksum(anon, 0);
    MonitorEdidRead r1 = WithEdid(anon);
    r1.overridePresent = true;
    AddMonitor(s, m, 1, r1, [] { return std::string("Generic PnP Monitor"); });
    // 2: a 256-byte EDID that advertises one block: checked, decoded, context raised.
    Bytes two = BaseEdid(2);
    two[126] = 0;
    FixChecksum(two, 0);
    AddMonitor(s, m, 2, WithEdid(two), nullptr);
    // 3: a value too large to read.
    MonitorEdidRead big;
    big.hasEdid = true;
    big.tooLarge = true;
    big.overrideProbed = true;
    AddMonitor(s, m, 3, big, nullptr);
    // 4: no EDID value: skipped.
    MonitorEdidRead none;
    none.overrideProbed = true;
    AddMonitor(s, m, 4, none, nullptr);
    FinishMonitorStep(s, m);

    ASSERT_EQ(m.checks.rows.size(), 4u);
    EXPECT_EQ(m.checks.rows[0].cells, (std::vector<std::string>{"Monitor 1", "128", "1", "1", "1", "1", "1", "0"}));
    EXPECT_EQ(m.checks.rows[1].cells[7], "1");
    EXPECT_EQ(m.checks.rows[2].cells, (std::vector<std::string>{"Monitor 3", "256", "1", "2", "1", "1", "0", "0"}));
    EXPECT_EQ(m.checks.rows[3].cells, (std::vector<std::string>{"Monitor 4", ">32768", "0", "0", "0", "0", "0", "0"}));

    ASSERT_EQ(m.monitors.rows.size(), 3u);
    const auto& row0 = m.monitors.rows[0].cells;
    EXPECT_EQ(row0[0], "DELL P2419H");
    EXPECT_EQ(row0[1], "DEL A0C5");
    EXPECT_EQ(row0[2], "4C4A3130");
    EXPECT_EQ(row0[3], "ABC123");
    EXPECT_EQ(row0[4], "week 12 / 2018");
    EXPECT_EQ(row0[7].size(), 16u);
    EXPECT_EQ(m.monitors.rows[1].cells[0], "Generic PnP Monitor");
    EXPECT_EQ(m.monitors.rows[1].cells[2], "");

    // Signals: model for every decoded monitor, serial only where one exists
    // (the descriptor text wins over the dword).
    std::vector<std::string> keys;
    for (const Signal& sig : s.signals) keys.push_back(sig.key + "=" + sig.value);
    EXPECT_EQ(keys, (std::vector<std::string>{"monitor.model=DEL A0C5", "monitor.serial=ABC123", "monitor.model=DEL A0C5",
                                              "monitor.model=DEL A0C5", "monitor.serial=ABC123"}));
    EXPECT_TRUE(Sensitive(s.signals[1]));
    EXPECT_EQ(s.signals[1].name, "Monitor serial: DELL P2419H");

    EXPECT_EQ(GetFact(s, "monitor.serials"), "2");
    EXPECT_EQ(GetFact(s, "display.probe.edid.status"), "ok");
    EXPECT_EQ(GetFact(s, "display.probe.edid.context"), "1");
    EXPECT_EQ(GetFact(s, "display.probe.override.status"), "ok");
    EXPECT_EQ(GetFact(s, "display.probe.override.context"), "1");
}

TEST(EdidMonitorStep, StatusWords) {
    struct Case {
        const char* what;
        bool listed;
        std::vector<MonitorEdidRead> reads;
        const char* edid;
        const char* override_;
        const char* context;
    };
    MonitorEdidRead keyFailed;
    keyFailed.edidError = keyFailed.overrideError = true;
    MonitorEdidRead noEdid;
    noEdid.overrideProbed = true;
    const Case cases[] = {
        {"monitor class not listed", false, {}, "error", "error", "0"},
        {"no monitors", true, {}, "not_supported", "not_supported", "0"},
        {"only monitors without EDID", true, {noEdid}, "not_supported", "ok", "0"},
        {"a key that cannot be opened", true, {keyFailed}, "error", "error", "0"},
        {"one success outweighs a failure", true, {keyFailed, WithEdid(BaseEdid())}, "ok", "ok", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Snapshot s;
        MonitorStep m = BeginMonitorStep(c.listed);
        for (uint32_t i = 0; i < c.reads.size(); ++i) AddMonitor(s, m, i, c.reads[i], nullptr);
        FinishMonitorStep(s, m);
        EXPECT_EQ(GetFact(s, "display.probe.edid.status"), c.edid);
        EXPECT_EQ(GetFact(s, "display.probe.override.status"), c.override_);
        EXPECT_EQ(GetFact(s, "display.probe.edid.context"), c.context);
        EXPECT_EQ(GetFact(s, "display.probe.override.context"), "0");
        EXPECT_EQ(GetFact(s, "monitor.serials"), c.reads.size() == 2 ? "1" : "0");
    }
}

}  // namespace
}  // namespace vorq
