#include <gtest/gtest.h>

#include "collectors/devices/storage.h"
#include "tests/unit/storage_fixtures.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::Ascii;
using test::FakeHandle;
using test::HexBytes;
using test::Put16;
using test::Put32;

IoControl Io(FakeHandle& h) {
    return [&h](uint32_t c, const Bytes& i, size_t n, Bytes& o, uint32_t& e) { return h(c, i, n, o, e); };
}

TEST(StorageProperty, FollowsAnnouncedSizeOnceAndBelowOneMiB) {
    struct Case {
        uint32_t announced;
        size_t replyBytes;
        std::vector<size_t> offered;
        size_t kept;
    } cases[] = {
        {6000, 6000, {4096, 6000}, 6000},        // larger descriptor: second query with its size
        {0x200000, 0x200000, {4096}, 4096},      // 2 MiB announced: read once into 4096 bytes
        {100, 100, {4096}, 100},                 // fits: exactly the bytes returned
        {4096, 4096, {4096}, 4096},              // equal to the buffer: no retry
    };
    for (const Case& c : cases) {
        FakeHandle h;
        Bytes reply(c.replyBytes, 0x41);
        Put32(reply, 4, c.announced);
        h.property[0] = test::Ok(reply);
        Bytes out;
        ASSERT_TRUE(QueryStorageProperty(Io(h), kStorageDeviceProperty, out)) << c.announced;
        EXPECT_EQ(h.offered, c.offered) << c.announced;
        EXPECT_EQ(out.size(), c.kept) << c.announced;
    }
}

TEST(StorageProperty, FailsOnErrorAndOnEmptyReply) {
    FakeHandle h;
    h.property[0] = test::Fail(kErrorNotSupported);
    h.property[7] = test::Ok({});
    Bytes out;
    EXPECT_FALSE(QueryStorageProperty(Io(h), kStorageDeviceProperty, out));
    EXPECT_FALSE(QueryStorageProperty(Io(h), kStorageDeviceSeekPenaltyProperty, out));
    // The 12-byte query: property id, standard query, no parameters.
    EXPECT_EQ(BuildPropertyQuery(57), HexBytes("39000000 00000000 00000000"));
}

TEST(StorageDescriptor, StringsByOffset) {
    Bytes b = Ascii("ABCDEFGH");
    b.resize(16, 0);
    test::PutBytes(b, 16, Ascii("  Samsung SSD   "));
    struct Case {
        uint32_t offset;
        std::string want;
    } cases[] = {
        {0, ""},                    // offset 0 means absent, even over printable bytes
        {2, "CDEFGH"},              // up to the first NUL
        {16, "Samsung SSD"},        // trimmed, ends with the reply
        {32, ""},                   // at the end
        {0xFFFFFFF0, ""},           // far past it
    };
    for (const Case& c : cases) EXPECT_EQ(ReadDescriptorString(b, c.offset), c.want) << c.offset;
}

TEST(StorageDescriptor, ShortRepliesLeaveFieldsUnreadable) {
    const Bytes full = test::DeviceDescriptorReply("ATA", "ST1000", "CC43", "Z1D2", 11, true);
    struct Case {
        size_t keep;
        bool busKnown, removable;
        std::string vendor, serial;
    } cases[] = {
        {full.size(), true, true, "ATA", "Z1D2"},
        {31, false, true, "", ""},  // offsets reach past the reply: strings empty, bus unknown
        {11, false, true, "", ""},
        {10, false, false, "", ""},
        {0, false, false, "", ""},
    };
    for (const Case& c : cases) {
        Bytes b(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.keep));
        DeviceDescriptor d = ParseDeviceDescriptor(b);
        EXPECT_EQ(d.busKnown, c.busKnown) << c.keep;
        EXPECT_EQ(d.removable, c.removable) << c.keep;
        EXPECT_EQ(d.vendor, c.vendor) << c.keep;
        EXPECT_EQ(d.serial, c.serial) << c.keep;
        if (c.busKnown) {
            EXPECT_EQ(d.busType, 11u);
        }
    }
}

TEST(StorageDescriptor, SeekPenaltyAndAdapterSerialStayInsideTheReply) {
    EXPECT_EQ(ParseSeekPenalty(HexBytes("0C000000 0C000000 01")), 1);
    EXPECT_EQ(ParseSeekPenalty(HexBytes("0C000000 0C000000 00 000000")), 0);
    EXPECT_EQ(ParseSeekPenalty(HexBytes("0C000000 0C000000")), -1);

    // "AB1 " in UTF-16 with no NUL before the end of the reply, then an odd byte.
    EXPECT_EQ(ParseAdapterSerial(HexBytes("01000000 10010000 4100 4200 3100 2000 43")), "AB1");
    EXPECT_EQ(ParseAdapterSerial(HexBytes("01000000 10010000 5800 0000 5900")), "X");
    EXPECT_EQ(ParseAdapterSerial(HexBytes("01000000 10010000")), "");
    Bytes longSerial(8 + 2 * 300, 0);
    for (size_t i = 0; i < 300; ++i) longSerial[8 + 2 * i] = 'Q';
    EXPECT_EQ(ParseAdapterSerial(longSerial), std::string(128, 'Q'));
}

TEST(StorageDesignators, Walk) {
    const Bytes naa = HexBytes("6 00A0B8 0000 1234 5678 9ABC DEF0 1234 5");  // 16 bytes
    Bytes reply = test::DeviceIdReply({{1, 3, 0, naa}, {2, 1, 0, Ascii("ATA     WDC WD10  ")}, {1, 4, 1, HexBytes("0001")}});
    auto ds = WalkDesignators(reply, 32);
    ASSERT_EQ(ds.size(), 3u);
    EXPECT_EQ(ds[0].text, "600A0B80000123456789ABCDEF012345");
    EXPECT_EQ(ds[0].type, 3u);
    EXPECT_EQ(ds[1].text, "ATA     WDC WD10");
    EXPECT_EQ(ds[2].association, 1u);
    EXPECT_EQ(ds[2].text, "0001");
}

TEST(StorageDesignators, StopsAtTheBoundsOfTheReply) {
    const Bytes two = test::DeviceIdReply({{2, 1, 0, Ascii("VENDOR01")}, {2, 8, 0, Ascii("naa.5000")}});
    struct Case {
        const char* name;
        Bytes reply;
        size_t want;
    } cases[] = {
        {"both", two, 2},
        {"second runs past the end", Bytes(two.begin(), two.end() - 1), 1},
        {"second header cut", Bytes(two.begin(), two.begin() + 12 + 24 + 10), 1},
        {"reply under 16 bytes", Bytes(two.begin(), two.begin() + 15), 0},
        {"none announced", [&] { Bytes b = two; Put32(b, 8, 0); return b; }(), 0},
        {"count of one", [&] { Bytes b = two; Put32(b, 8, 1); return b; }(), 1},
        {"next offset 0", [&] { Bytes b = two; Put16(b, 12 + 10, 0); return b; }(), 1},
        {"size field past end", [&] { Bytes b = two; Put16(b, 12 + 8, 0xFFFF); return b; }(), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(WalkDesignators(c.reply, 32).size(), c.want) << c.name;
}

TEST(StorageDesignators, CapsTheNumberListed) {
    std::vector<test::DesignatorSpec> many(40, {1, 3, 0, HexBytes("50014EE2B1234567")});
    bool truncated = false;
    EXPECT_EQ(WalkDesignators(test::DeviceIdReply(many), 32, &truncated).size(), 32u);
    EXPECT_TRUE(truncated);
    many.resize(32);
    EXPECT_EQ(WalkDesignators(test::DeviceIdReply(many), 32, &truncated).size(), 32u);
    EXPECT_FALSE(truncated);
}

TEST(StorageNvme, QueryLayout) {
    Bytes q = BuildNvmeIdentifyQuery(false, 1);
    ASSERT_EQ(q.size(), 4144u);
    Bytes head(q.begin(), q.begin() + 48);
    EXPECT_EQ(head, HexBytes("32000000 00000000 03000000 01000000 00000000 01000000 28000000 00100000"
                             "00000000 00000000 00000000 00000000"));
    Bytes c = BuildNvmeIdentifyQuery(true, 7);
    EXPECT_EQ(Bytes(c.begin(), c.begin() + 24), HexBytes("31000000 00000000 03000000 01000000 01000000 00000000"));
}

TEST(StorageNvme, ReplyChecks) {
    const Bytes data = test::NvmeControllerData("S4EWNX0R123456", "Samsung SSD 980", "3B4QFXO7");
    const Bytes good = test::NvmeReply(data);
    auto with = [&](size_t off, uint32_t v) {
        Bytes b = good;
        Put32(b, off, v);
        return b;
    };
    struct Case {
        const char* name;
        Bytes reply;
        bool ok;
    } cases[] = {
        {"good", good, true},
        {"data offset 48", with(24, 48), false},
        {"version 47", with(0, 47), false},
        {"size 4144", with(4, 4144), false},
        {"data length 4095", with(28, 4095), false},
        {"offset 39", with(24, 39), false},
        {"huge offset", with(24, 0xFFFFFFF0), false},
        {"reply cut short", Bytes(good.begin(), good.end() - 1), false},
        {"header only", Bytes(good.begin(), good.begin() + 30), false},
    };
    for (const Case& c : cases) {
        Bytes id;
        uint32_t error = 0;
        EXPECT_EQ(ParseNvmeIdentifyReply(c.reply, id, error), c.ok) << c.name;
        EXPECT_EQ(error, c.ok ? 0u : kErrorInvalidData) << c.name;
        if (c.ok) {
            EXPECT_EQ(id, data);
        }
    }
}

TEST(StorageNvme, ControllerAndNamespaceFields) {
    Bytes d = test::NvmeControllerData("  S4EWNX0R123456  ", "Samsung SSD 980 1TB", "3B4QFXO7");
    test::PutBytes(d, 112, HexBytes("00112233445566778899AABBCCDDEEFF"));
    test::PutBytes(d, 768, Ascii("nqn.1994-11.com.samsung:nvme:980M.2:S4EWNX0R123456"));
    NvmeController c = ParseNvmeController(d);
    EXPECT_EQ(c.vid, "144D");
    EXPECT_EQ(c.ssvid, "144D");
    EXPECT_EQ(c.serial, "S4EWNX0R123456");
    EXPECT_EQ(c.model, "Samsung SSD 980 1TB");
    EXPECT_EQ(c.firmware, "3B4QFXO7");
    EXPECT_EQ(c.oui, "00-25-38");
    EXPECT_EQ(c.version, "1.4.0");
    EXPECT_EQ(c.fruGuid, "00112233445566778899AABBCCDDEEFF");
    EXPECT_EQ(c.subnqn, "nqn.1994-11.com.samsung:nvme:980M.2:S4EWNX0R123456");
    EXPECT_EQ(ParseNvmeController(test::NvmeControllerData("", "", "")).fruGuid, "");

    NvmeNamespace n = ParseNvmeNamespace(test::NvmeNamespaceData(HexBytes("002538B1 21B01234 00000000 00000001"),
                                                                 Bytes(8, 0)));
    EXPECT_EQ(n.nguid, "002538B121B012340000000000000001");
    EXPECT_EQ(n.eui64, "");
    EXPECT_EQ(ParseNvmeNamespace(test::NvmeNamespaceData(Bytes(16, 0), HexBytes("0025388B11223344"))).eui64,
              "0025388B11223344");
}

TEST(StorageAta, RequestLayout) {
    Bytes r = BuildAtaIdentifyRequest();
    ASSERT_EQ(r.size(), 560u);
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 48), HexBytes("3000 0300 00000000 00020000 05000000 00000000 00000000"
                                                          "3000000000000000 0000000000000000 000000000000EC00"));
}

TEST(StorageAta, ReplyChecks) {
    const Bytes id = test::AtaIdentifyData("WD-WCC4E1234567", "82.00A82", "WDC WD10EZEX-08WN4A0");
    Bytes packet = id;
    packet[1] = 0x85;  // word 0 = 0x85C0: ATAPI
    struct Case {
        const char* name;
        Bytes reply;
        bool ok;
    } cases[] = {
        {"good", test::AtaReply(id), true},
        {"ERR in status", test::AtaReply(id, 0x51), false},
        {"DRQ in status", test::AtaReply(id, 0x58), false},
        {"DF in status", test::AtaReply(id, 0x70), false},
        {"packet device", test::AtaReply(packet), false},
        {"all zero data", test::AtaReply(Bytes(512, 0)), false},
        {"short", Bytes(559, 0x40), false},
    };
    for (const Case& c : cases) {
        Bytes out;
        uint32_t error = 0;
        EXPECT_EQ(ParseAtaIdentifyReply(c.reply, out, error), c.ok) << c.name;
        if (!c.ok) {
            EXPECT_EQ(error, kErrorInvalidData) << c.name;
        }
    }
}

TEST(StorageAta, StringsAndWorldWideName) {
    const Bytes samsun = HexBytes("41 53 53 4D 4E 55");
    EXPECT_EQ(AtaIdString(samsun.data(), 3), "SAMSUN");

    AtaIdentity a = ParseAtaIdentity(test::AtaIdentifyData("  WD-WCC4E1234567", "82.00A82", "WDC WD10EZEX-08WN4A0",
                                                           {0x5002, 0x5380, 0x1234, 0x5678}));
    EXPECT_EQ(a.serial, "WD-WCC4E1234567");
    EXPECT_EQ(a.firmware, "82.00A82");
    EXPECT_EQ(a.model, "WDC WD10EZEX-08WN4A0");
    EXPECT_EQ(a.wwn, "5002538012345678");

    struct Case {
        uint16_t w84, w87;
        std::vector<uint16_t> words;
        std::string want;
    } cases[] = {
        {0, 0x4100, {0x5002, 0x5380, 0x1234, 0x5678}, "5002538012345678"},
        {0x4100, 0x0000, {0x5002, 0x5380, 0x1234, 0x5678}, "5002538012345678"},  // word 84 stands in
        {0x4000, 0xC100, {0x5002, 0x5380, 0x1234, 0x5678}, ""},                  // neither word valid
        {0, 0x4100, {0x3002, 0x5380, 0x1234, 0x5678}, ""},                       // NAA 3
        {0, 0x4100, {0, 0, 0, 0}, ""},
    };
    for (const Case& c : cases) {
        Bytes d = test::AtaIdentifyData("S", "F", "M");
        Put16(d, 2 * 84, c.w84);
        Put16(d, 2 * 87, c.w87);
        for (size_t i = 0; i < 4; ++i) Put16(d, 2 * (108 + i), c.words[i]);
        EXPECT_EQ(ParseAtaIdentity(d).wwn, c.want) << c.w84 << "/" << c.w87;
    }
}

TEST(StorageLayout, Styles) {
    const Bytes diskGuid = test::GuidBytes(0x8B2F0A31, 0x1C2D, 0x4E5F, 0x9A8B7C6D5E4F3021ull);
    const Bytes other = test::GuidBytes(0xEBD0A0A2, 0xB9E5, 0x4433, 0x87C068B6B72699C7ull);
    const Bytes esp1 = test::GuidBytes(0x11111111, 0x2222, 0x3333, 0x4444555555555555ull);
    const Bytes esp2 = test::GuidBytes(0x66666666, 0x7777, 0x8888, 0x9999AAAAAAAAAAAAull);
    const Bytes twoEsp = test::GptLayout(diskGuid, {{1, test::EspType(), esp1}, {1, other, other}, {1, test::EspType(), esp2}}, 3);
    struct Case {
        const char* name;
        Bytes reply;
        std::string style, identity, esp;
    } cases[] = {
        {"two ESPs: the later wins", twoEsp, "GPT", "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021",
         "66666666-7777-8888-9999-AAAAAAAAAAAA"},
        {"count stops before the second", test::GptLayout(diskGuid, {{1, test::EspType(), esp1}, {1, other, other},
                                                                     {1, test::EspType(), esp2}}, 2),
         "GPT", "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021", "11111111-2222-3333-4444-555555555555"},
        {"entry of MBR style skipped", test::GptLayout(diskGuid, {{0, test::EspType(), esp1}}, 1), "GPT",
         "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021", ""},
        {"entries past the reply", Bytes(twoEsp.begin(), twoEsp.begin() + 48 + 144 + 63), "GPT",
         "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021", "11111111-2222-3333-4444-555555555555"},
        {"count far beyond entries", test::GptLayout(diskGuid, {{1, test::EspType(), esp1}}, 0xFFFFFFFF), "GPT",
         "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021", "11111111-2222-3333-4444-555555555555"},
        {"GPT header cut", Bytes(twoEsp.begin(), twoEsp.begin() + 20), "GPT", "", ""},
        {"MBR", test::MbrLayout(0x0A1B2C3D), "MBR", "signature 0A1B2C3D", ""},
        {"RAW", HexBytes("02000000 00000000"), "RAW", "", ""},
        {"unreadable", HexBytes("01"), "?", "", ""},
    };
    for (const Case& c : cases) {
        DriveLayout l = ParseDriveLayout(c.reply);
        EXPECT_EQ(l.style, c.style) << c.name;
        EXPECT_EQ(l.identity, c.identity) << c.name;
        EXPECT_EQ(l.espGuid, c.esp) << c.name;
    }
}

TEST(StorageSmallReplies, NumberSizeAndExtents) {
    int32_t n = 0;
    EXPECT_TRUE(ParseDeviceNumber(test::DeviceNumberReply(2), n));
    EXPECT_EQ(n, 2);
    EXPECT_TRUE(ParseDeviceNumber(test::DeviceNumberReply(0xFFFFFFFF), n));
    EXPECT_EQ(n, -1);
    EXPECT_FALSE(ParseDeviceNumber(HexBytes("07000000 0200"), n));

    uint64_t size = 0;
    EXPECT_TRUE(ParseDiskSize(test::GeometryReply(0x1D1C1115E00ull), size));
    EXPECT_EQ(size, 0x1D1C1115E00ull);
    EXPECT_FALSE(ParseDiskSize(Bytes(31, 0), size));

    EXPECT_EQ(ParseFirstExtentDisk(HexBytes("01000000 00000000 03000000 00000000")), 3u);
    EXPECT_EQ(ParseFirstExtentDisk(HexBytes("00000000 00000000 03000000")), 0xFFFFFFFFu);
    EXPECT_EQ(ParseFirstExtentDisk(HexBytes("01000000 00000000 0300")), 0xFFFFFFFFu);
}

TEST(StorageNames, BusAndDesignatorTypes) {
    EXPECT_STREQ(GetBusTypeName(0), "Unknown");
    EXPECT_STREQ(GetBusTypeName(7), "USB");
    EXPECT_STREQ(GetBusTypeName(17), "NVMe");
    EXPECT_STREQ(GetBusTypeName(19), "UFS");
    EXPECT_STREQ(GetBusTypeName(20), "Unknown");
    EXPECT_STREQ(GetScsiDesignatorTypeName(8), "SCSI name string");
    EXPECT_STREQ(GetScsiDesignatorTypeName(9), "other");
}

}  // namespace
}  // namespace vorq
