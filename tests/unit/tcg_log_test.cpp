#include <gtest/gtest.h>

#include "collectors/trust/tcg_log.h"
#include "core/text.h"
#include "tests/unit/tcg_log_builder.h"

namespace vorq {
namespace {

using test::TcgLogBuilder;
using Bytes = std::vector<uint8_t>;

TcgLogStatus Validate(const Bytes& b) { return ValidateTcgLog(b.data(), b.size()); }

TEST(TcgLog, SampleBootParses) {
    const TcgLogBuilder b = test::SampleBootLog();
    ASSERT_EQ(Validate(b.bytes), kTcgLogWellFormed);
    TcgLog log;
    ASSERT_TRUE(ParseTcgLog(b.bytes, log));
    EXPECT_TRUE(log.cryptoAgile);
    EXPECT_EQ(log.startupLocality, 0);
    ASSERT_EQ(log.events.size(), 14u);
    std::vector<std::string> details;
    for (const TcgEventRecord& e : log.events) details.push_back(e.details);
    EXPECT_EQ(details, (std::vector<std::string>{"TCG crypto-agile log header (Spec ID Event03)", "1.0.0", "firmware blob",
                                                  "variable SecureBoot", "\\EFI\\BOOT\\BOOTX64.EFI", "separator 00000000",
                                                  "separator 00000000", "separator 00000000", "separator 00000000",
                                                  "separator 00000000", "separator 00000000", "separator 00000000",
                                                  "separator 00000000", "MokList"}));
    EXPECT_EQ(log.events[1].sha256, b.digests[0].second);
    EXPECT_EQ(log.events[1].sha1.size(), 20u);
    EXPECT_TRUE(log.events[0].sha256.empty());
}

TEST(TcgLog, LegacyLog) {
    TcgLogBuilder b = TcgLogBuilder::Legacy();
    b.Legacy(0, 8, {});  // a 32-byte log of one record without data
    ASSERT_EQ(b.bytes.size(), 32u);
    EXPECT_EQ(Validate(b.bytes), kTcgLogWellFormed);
    TcgLog log;
    ASSERT_TRUE(ParseTcgLog(b.bytes, log));
    EXPECT_FALSE(log.cryptoAgile);
    ASSERT_EQ(log.events.size(), 1u);
    b.Legacy(4, 4, {0, 0, 0, 0}).Legacy(7, 0x80000001, {});
    EXPECT_EQ(Validate(b.bytes), kTcgLogWellFormed);
    ASSERT_TRUE(ParseTcgLog(b.bytes, log));
    ASSERT_EQ(log.events.size(), 3u);
    EXPECT_EQ(log.events[1].sha1.size(), 20u);
    EXPECT_TRUE(log.events[1].sha256.empty());
    EXPECT_EQ(log.events[1].details, "separator 00000000");
    EXPECT_EQ(log.events[2].details, "");  // a variable event too short for its record
}

// The header of an agile log with its fields changed by `edit` (offsets into
// the Spec ID data, which starts at byte 32).
Bytes EditedHeader(const std::function<void(Bytes&)>& edit) {
    TcgLogBuilder b = TcgLogBuilder::Agile();
    b.Event(0, 4, {0, 0, 0, 0});
    edit(b.bytes);
    return b.bytes;
}

TEST(TcgLog, HeaderAndRecordViolationsAreMalformed) {
    struct Case {
        const char* what;
        Bytes log;
        TcgLogStatus status;
        size_t parsedEvents;  // 0: the parse fails
    } cases[] = {
        {"no algorithms", EditedHeader([](Bytes& b) { b[32 + 24] = 0; }), kTcgLogMalformed, 1},
        {"65 algorithms", EditedHeader([](Bytes& b) { b[32 + 24] = 65; }), kTcgLogMalformed, 2},  // the parser reads the entries that fit
        {"SHA-256 of 20 bytes", EditedHeader([](Bytes& b) { b[32 + 34] = 20; }), kTcgLogMalformed, 1},
        {"an algorithm named twice", EditedHeader([](Bytes& b) { b[32 + 32] = 0x04; }), kTcgLogMalformed, 1},
        {"vendor size one short", TcgLogBuilder::Agile({{0x0004, 20}, {0x000B, 32}}, 1).bytes, kTcgLogMalformed, 1},
        {"first record longer than the log", EditedHeader([](Bytes& b) { b[28] = 0xFF; }), kTcgLogMalformed, 0},
        {"shorter than a header", Bytes(31, 0), kTcgLogMalformed, 0},
        {"record cut in its data", EditedHeader([](Bytes& b) { b.pop_back(); }), kTcgLogMalformed, 1},
        {"record cut in its index", EditedHeader([](Bytes& b) { b.resize(b.size() - 60); }), kTcgLogMalformed, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Validate(c.log), c.status) << c.what;
        TcgLog log;
        EXPECT_EQ(ParseTcgLog(c.log, log), c.parsedEvents != 0) << c.what;
        EXPECT_EQ(log.events.size(), c.parsedEvents) << c.what;
    }
    EXPECT_EQ(ValidateTcgLog(nullptr, 64), kTcgLogMalformed);
    EXPECT_EQ(ValidateTcgLog(nullptr, kTcgLogMaxBytes + 1), kTcgLogLimited);
}

TEST(TcgLog, RecordWithAnAlgorithmOutsideTheHeader) {
    TcgLogBuilder b = TcgLogBuilder::Agile({{0x0004, 20}, {0x000B, 32}});
    b.Event(0, 4, {0, 0, 0, 0});
    const size_t second = b.bytes.size();
    b.Event(1, 4, {0, 0, 0, 0});
    b.bytes[second + 12] = 0x0C;  // its first digest claims SHA-384
    EXPECT_EQ(Validate(b.bytes), kTcgLogMalformed);
    TcgLog log;
    ASSERT_TRUE(ParseTcgLog(b.bytes, log));
    EXPECT_EQ(log.events.size(), 2u);  // the parse stops before that record
}

TEST(TcgLog, RecordCountLimit) {
    TcgLogBuilder b = TcgLogBuilder::Agile();
    for (int i = 0; i < 19999; ++i) b.Event(1, 4, {0, 0, 0, 0}, Bytes(32, 1));
    EXPECT_EQ(Validate(b.bytes), kTcgLogWellFormed);
    b.Event(1, 4, {0, 0, 0, 0}, Bytes(32, 1));
    EXPECT_EQ(Validate(b.bytes), kTcgLogLimited);
    TcgLog log;
    ASSERT_TRUE(ParseTcgLog(b.bytes, log));
    EXPECT_EQ(log.events.size(), 20000u);
}

TEST(TcgLog, StartupLocality) {
    const struct {
        uint32_t pcr;
        uint8_t locality;  // only an event of PCR 0 sets it
    } cases[] = {{0, 3}, {1, 0}};
    for (const auto& c : cases) {
        TcgLogBuilder b = TcgLogBuilder::Agile();
        Bytes data = TcgLogBuilder::Text("StartupLocality");
        data.push_back(0);
        data.push_back(3);
        b.Event(c.pcr, 3, data);
        TcgLog log;
        ASSERT_EQ(Validate(b.bytes), kTcgLogWellFormed);
        ASSERT_TRUE(ParseTcgLog(b.bytes, log));
        EXPECT_EQ(log.startupLocality, c.locality) << c.pcr;
        EXPECT_EQ(log.events[1].details, "startup locality 3") << c.pcr;
    }
}

TEST(TcgLog, EventDescriptions) {
    using B = TcgLogBuilder;
    Bytes twoNodes;
    for (const char16_t* part : {u"\\EFI\\", u"grubx64.efi"}) {
        const Bytes text = B::Utf16(part);
        twoNodes.insert(twoNodes.end(), {4, 4, static_cast<uint8_t>(4 + text.size()), 0});
        twoNodes.insert(twoNodes.end(), text.begin(), text.end());
    }
    twoNodes.insert(twoNodes.end(), {0x7F, 0xFF, 4, 0});
    Bytes image(24, 0);
    B::Put64(image, twoNodes.size());
    image.insert(image.end(), twoNodes.begin(), twoNodes.end());
    Bytes longPath = image;
    longPath[24] = 0xFF;  // a path longer than the data
    Bytes blob2 = {5, 'P', 'O', 'S', 'T', '1', 0xAA};
    struct Case {
        uint32_t type;
        Bytes data;
        std::string details;
    } cases[] = {
        {0x80000003, image, "\\EFI\\grubx64.efi"},
        {0x80000003, longPath, "UEFI image"},
        {0x80000004, {}, "UEFI image"},
        {0x8000000A, blob2, "firmware blob: POST1"},
        {0x8000000A, {9, 'x'}, "firmware blob"},
        {0x80000008, blob2, "firmware blob"},
        {4, {0xFF, 0xFF}, "separator FFFF"},
        {3, B::Text("some vendor text that is longer than 24"), "some vendor text that is"},
        {8, B::Text("v1.2"), "v1.2"},
        {6, {}, "Windows boot configuration log (SIPA events)"},
        {0x80000006, {}, "GPT partition table"},
        {0x8000000B, {}, "UEFI handoff tables"},
        {0xDEAD, {0, ' ', 'a', 0x01, 'b', ' '}, "a.b"},
    };
    for (const Case& c : cases) EXPECT_EQ(DescribeEventData(c.type, c.data.data(), c.data.size()), c.details) << c.type;
    EXPECT_EQ(PrintableExcerpt(Bytes(300, 'x').data(), 300), std::string(120, 'x'));
}

TEST(TcgLog, Names) {
    EXPECT_EQ(EventTypeName(0), "EV_PREBOOT_CERT");
    EXPECT_EQ(EventTypeName(2), "");
    EXPECT_EQ(EventTypeName(19), "EV_POST_CODE2");
    EXPECT_EQ(EventTypeName(20), "");
    EXPECT_EQ(EventTypeName(0x800000E0), "EV_EFI_VARIABLE_AUTHORITY");
    EXPECT_EQ(EventTypeName(0x8000000D), "");
    EXPECT_EQ(PcrMeaning(7), "Secure Boot policy");
    EXPECT_EQ(PcrMeaning(10), "");
    EXPECT_EQ(PcrMeaning(17), "DRTM");
    EXPECT_EQ(PcrMeaning(22), "DRTM");
    EXPECT_EQ(PcrMeaning(24), "");
}

}  // namespace
}  // namespace vorq
