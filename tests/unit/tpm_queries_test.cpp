#include <gtest/gtest.h>

#include <functional>

#include "collectors/trust/tpm_queries.h"
#include "core/hash.h"
#include "core/text.h"
#include "tests/unit/test_support.h"
#include "tests/unit/tpm_fake.h"

namespace vorq {
namespace {

using test::HexBytes;
using test::TpmReply;

uint32_t Be32(const TpmBytes& b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// A transport that answers through `answer` and keeps the commands.
struct FakeTpm {
    std::function<TpmBytes(const TpmBytes&)> answer;
    std::vector<TpmBytes> sent;
    TpmChannel Channel() {
        TpmChannel ch;
        ch.transport = [this](const TpmBytes& cmd, uint8_t* reply, uint32_t& len) -> uint32_t {
            sent.push_back(cmd);
            const TpmBytes r = answer(cmd);
            std::copy(r.begin(), r.end(), reply);
            len = static_cast<uint32_t>(r.size());
            return 0;
        };
        return ch;
    }
};

// A TPM_CAP_TPM_PROPERTIES reply listing `ids` (value = id) with moreData.
TpmBytes PropertiesReply(uint8_t more, const std::vector<uint32_t>& ids) {
    TpmBytes p;
    PutU8(p, more);
    PutU32(p, 6);
    PutU32(p, static_cast<uint32_t>(ids.size()));
    for (uint32_t id : ids) {
        PutU32(p, id);
        PutU32(p, id);
    }
    return TpmReply(0, p);
}

std::vector<uint32_t> Range(uint32_t first, uint32_t n) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < n; ++i) v.push_back(first + i);
    return v;
}

TEST(TpmQueries, PropertyPagingFollowsMoreDataWithinTheGroup) {
    struct Case {
        const char* what;
        std::function<TpmBytes(uint32_t start)> page;  // the reply for a request starting at `start`
        std::vector<uint32_t> starts;                  // requests expected
        size_t properties;
    } cases[] = {
        {"64 at a time up to the end of the group",
         [](uint32_t start) { return PropertiesReply(1, Range(start, std::min<uint32_t>(64, (start & 0xF00) + 0x100 - start))); },
         {0x100, 0x140, 0x180, 0x1C0, 0x200, 0x240, 0x280, 0x2C0}, 512},
        {"moreData with no properties ends the group",
         [](uint32_t) { return PropertiesReply(1, {}); }, {0x100, 0x200}, 0},
        {"no moreData ends the group", [](uint32_t start) { return PropertiesReply(0, Range(start, 3)); },
         {0x100, 0x200}, 6},
        {"at most 8 requests per group", [](uint32_t start) { return PropertiesReply(1, {start}); },
         {0x100, 0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107, 0x200, 0x201, 0x202, 0x203, 0x204, 0x205, 0x206,
          0x207},
         16},
        {"a failed page skips to the next group",
         [](uint32_t start) { return start < 0x200 ? TpmReply(0x101) : PropertiesReply(0, {0x200}); }, {0x100, 0x200}, 1},
    };
    for (const Case& c : cases) {
        FakeTpm tpm;
        tpm.answer = [&](const TpmBytes& cmd) { return c.page(Be32(cmd, 14)); };
        TpmChannel ch = tpm.Channel();
        const TpmPropertyMap map = GetTpmProperties(ch);
        std::vector<uint32_t> starts;
        for (const TpmBytes& cmd : tpm.sent) {
            starts.push_back(Be32(cmd, 14));
            EXPECT_EQ(Be32(cmd, 10), 6u) << c.what;
            EXPECT_EQ(Be32(cmd, 18), 64u) << c.what;
        }
        EXPECT_EQ(starts, c.starts) << c.what;
        EXPECT_EQ(map.size(), c.properties) << c.what;
        EXPECT_FALSE(ch.malformed) << c.what;
    }
}

TEST(TpmQueries, ShortPropertyPageKeepsWhatWasReadAndMarksTheChannel) {
    FakeTpm tpm;
    tpm.answer = [](const TpmBytes& cmd) {
        TpmBytes r = PropertiesReply(1, Range(Be32(cmd, 14), 3));
        r.resize(r.size() - 4);  // the last value is cut off
        PatchCommandSize(r);
        return r;
    };
    TpmChannel ch = tpm.Channel();
    const TpmPropertyMap map = GetTpmProperties(ch);
    EXPECT_TRUE(ch.malformed);
    EXPECT_EQ(map.size(), 4u);  // two of each group
    EXPECT_EQ(tpm.sent.size(), 2u);
}

TEST(TpmQueries, ActivePcrBanksHaveASelectedPcr) {
    struct Case {
        const char* params;
        std::vector<uint16_t> banks;
        bool malformed;
    } cases[] = {
        {"00 00000005 00000002 0004 03 000000 000B 03 FFFFFF", {kTpmAlgSha256}, false},
        {"00 00000005 00000002 0004 03 010000 000B 03 000080", {kTpmAlgSha1, kTpmAlgSha256}, false},
        {"00 00000005 00000002 000B 03 FFFFFF 0004 03 FF", {kTpmAlgSha256}, true},
        {"00 00000005", {}, true},
    };
    for (const Case& c : cases) {
        FakeTpm tpm;
        tpm.answer = [&](const TpmBytes&) { return TpmReply(0, HexBytes(c.params)); };
        TpmChannel ch = tpm.Channel();
        EXPECT_EQ(GetActivePcrBanks(ch), c.banks) << c.params;
        EXPECT_EQ(ch.malformed, c.malformed) << c.params;
        EXPECT_EQ(HexEncode(tpm.sent.at(0)), "8001000000160000017A000000050000000000000001");
    }
}

TEST(TpmQueries, HandlesOfOtherTypesAreDropped) {
    struct Case {
        uint32_t first;
        const char* params;
        std::vector<uint32_t> handles;
        bool malformed;
    } cases[] = {
        {0x81000000, "00 00000001 00000003 81000001 01C00002 81010001", {0x81000001, 0x81010001}, false},
        {0x01000000, "00 00000001 00000003 81000001 01C00002 81010001", {0x01C00002}, false},
        {0x81000000, "00 00000001 00000003 81000001 8101", {0x81000001}, true},
        {0x81000000, "00 00000001 0000", {}, true},
    };
    for (const Case& c : cases) {
        FakeTpm tpm;
        tpm.answer = [&](const TpmBytes&) { return TpmReply(0, HexBytes(c.params)); };
        TpmChannel ch = tpm.Channel();
        EXPECT_EQ(GetHandles(ch, c.first, 64), c.handles) << c.params;
        EXPECT_EQ(ch.malformed, c.malformed) << c.params;
    }
    FakeTpm failing;
    failing.answer = [](const TpmBytes&) { return TpmReply(0x9A2); };
    TpmChannel ch = failing.Channel();
    EXPECT_TRUE(GetHandles(ch, 0x81000000, 64).empty());
    EXPECT_EQ(ch.lastTpmRc, 0x9A2u);
}

TEST(TpmQueries, NvReadGate) {
    struct Case {
        uint32_t attributes;
        bool readable;
    } cases[] = {
        {0x22050002, true},               // AUTHREAD, NO_DA, WRITTEN, PPREAD, OWNERWRITE
        {0x22050002 | 0x10000000, false},  // READLOCKED
        {0x22050002 | 0x10, false},        // a counter index
        {0x20050002, false},               // without NO_DA a wrong password would count
        {0x22010002, false},               // without AUTHREAD
    };
    for (const Case& c : cases) EXPECT_EQ(NvAttributesReadable(c.attributes), c.readable) << std::hex << c.attributes;
}

TEST(TpmQueries, NvChunkSizeFromTheBufferProperty) {
    const struct {
        bool present;
        uint32_t value, chunk;
    } cases[] = {{true, 1024, 512}, {true, 0, 512}, {true, 768, 512}, {true, 256, 256}, {true, 1, 1}, {false, 0, 512}};
    for (const auto& c : cases) {
        TpmPropertyMap m;
        if (c.present) m[0x12C] = c.value;
        EXPECT_EQ(NvChunkSize(m), c.chunk) << c.value;
    }
}

// An NV_Read reply carrying `data` (parameter size, data, empty password session).
TpmBytes NvReadReply(const TpmBytes& data) {
    TpmBytes p;
    PutU32(p, static_cast<uint32_t>(data.size() + 2));
    PutU16(p, static_cast<uint16_t>(data.size()));
    p.insert(p.end(), data.begin(), data.end());
    PutU16(p, 0);
    PutU8(p, 1);
    PutU16(p, 0);
    return TpmReply(0, p, kTpmStSessions);
}

TEST(TpmQueries, NvReadInChunks) {
    NvPublicInfo info;
    info.present = true;
    info.attributes = 0x22050002;
    info.dataSize = 1000;
    struct Case {
        const char* what;
        uint32_t chunk;
        size_t shorten;  // the TPM gives this many bytes fewer than asked once
        size_t object;   // the stored object's length as its header tells, 0: not asked
        std::vector<std::pair<uint16_t, uint16_t>> requests;  // (size, offset)
        size_t read;
    } cases[] = {
        {"512 then the rest", 512, 0, 0, {{512, 0}, {488, 512}}, 1000},
        {"256 each", 256, 0, 0, {{256, 0}, {256, 256}, {256, 512}, {232, 768}}, 1000},
        {"a short chunk is accepted", 512, 12, 0, {{512, 0}, {500, 500}}, 1000},
        {"stops once the object is in", 256, 0, 300, {{256, 0}, {256, 256}}, 512},
    };
    for (const Case& c : cases) {
        FakeTpm tpm;
        size_t shorten = c.shorten;
        tpm.answer = [&](const TpmBytes& cmd) {
            const uint16_t size = static_cast<uint16_t>(cmd[cmd.size() - 4] << 8 | cmd[cmd.size() - 3]);
            const TpmBytes data(size - shorten, 0x5A);
            shorten = 0;
            return NvReadReply(data);
        };
        TpmChannel ch = tpm.Channel();
        TpmBytes bytes;
        CommandResult r;
        std::function<size_t(const TpmBytes&)> object;
        if (c.object != 0) object = [&](const TpmBytes&) { return c.object; };
        EXPECT_TRUE(NvRead(ch, 0x01C00002, info, c.chunk, bytes, r, object)) << c.what;
        EXPECT_EQ(bytes.size(), c.read) << c.what;
        std::vector<std::pair<uint16_t, uint16_t>> requests;
        for (const TpmBytes& cmd : tpm.sent) {
            const size_t n = cmd.size();
            requests.emplace_back(cmd[n - 4] << 8 | cmd[n - 3], cmd[n - 2] << 8 | cmd[n - 1]);
        }
        EXPECT_EQ(requests, c.requests) << c.what;
    }
    EXPECT_EQ(HexEncode(NvReadCommand(0x01C00002, 512, 0)),
              "8002000000230000014E01C0000201C000020000000940000009000000000002000000");
}

TEST(TpmQueries, NvReadRefusesBadChunksAndGatedIndices) {
    NvPublicInfo info;
    info.present = true;
    info.attributes = 0x22050002;
    info.dataSize = 100;
    const struct {
        const char* what;
        TpmBytes reply;
        bool malformed;
    } cases[] = {
        {"empty chunk", NvReadReply({}), true},
        {"chunk longer than asked", NvReadReply(TpmBytes(101, 1)), true},
        {"two bytes a reply, past the bound of commands", NvReadReply(TpmBytes(2, 1)), true},
        {"reply without the data", TpmReply(0, HexBytes("00000010"), kTpmStSessions), true},
        {"authorization refused", TpmReply(0x98E), false},
    };
    for (const auto& c : cases) {
        FakeTpm tpm;
        tpm.answer = [&](const TpmBytes&) { return c.reply; };
        TpmChannel ch = tpm.Channel();
        TpmBytes bytes;
        CommandResult r;
        EXPECT_FALSE(NvRead(ch, 0x01C00002, info, 512, bytes, r)) << c.what;
        EXPECT_TRUE(bytes.empty()) << c.what;
        EXPECT_EQ(ch.malformed, c.malformed) << c.what;
        EXPECT_LE(tpm.sent.size(), 1 + kNvReadSlackCommands) << c.what;
    }
    FakeTpm never;
    never.answer = [](const TpmBytes&) { return NvReadReply(TpmBytes(1, 0)); };
    TpmChannel ch = never.Channel();
    TpmBytes bytes;
    CommandResult r;
    NvPublicInfo gated = info;
    gated.attributes |= 0x10000000;
    EXPECT_FALSE(NvRead(ch, 1, gated, 512, bytes, r));
    NvPublicInfo empty = info;
    empty.dataSize = 0;
    EXPECT_FALSE(NvRead(ch, 1, empty, 512, bytes, r));
    EXPECT_FALSE(NvRead(ch, 1, info, 0, bytes, r));
    EXPECT_TRUE(never.sent.empty());
}

TEST(TpmQueries, NvReadPublicFromTheSimulator) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    TpmChannel ch;
    ch.transport = tpm.Transport();
    const NvPublicInfo info = NvReadPublic(ch, 0x01C00002);
    ASSERT_TRUE(info.present);
    EXPECT_EQ(info.dataSize, test::ReadFixture("tpm/ek-cert.der").size());
    EXPECT_TRUE(NvAttributesReadable(info.attributes));
    TpmBytes cert;
    CommandResult r;
    ASSERT_TRUE(NvRead(ch, 0x01C00002, info, 512, cert, r));
    EXPECT_EQ(cert, test::ReadFixture("tpm/ek-cert.der"));

    test::TpmReplay fresh("tpm/swtpm-fresh.txt");
    TpmChannel ch2;
    ch2.transport = fresh.Transport();
    const NvPublicInfo none = NvReadPublic(ch2, 0x01C00002);
    EXPECT_FALSE(none.present);
    EXPECT_EQ(none.result.tpmRc, 0x18Bu);
    EXPECT_FALSE(ch2.malformed);
}

// A TPMT_PUBLIC for ECC with the given curve and name algorithm.
TpmBytes EccArea(uint16_t curve, uint16_t nameAlg) {
    TpmBytes a;
    PutU16(a, kTpmAlgEcc);
    PutU16(a, nameAlg);
    PutU32(a, 0x000300B2);
    PutU16(a, 0);           // no policy
    PutU16(a, 0x0006);      // AES-128-CFB
    PutU16(a, 128);
    PutU16(a, 0x0043);
    PutU16(a, kTpmAlgNull);  // scheme
    PutU16(a, curve);
    PutU16(a, kTpmAlgNull);  // kdf
    PutU16(a, 2);
    PutU16(a, 0x1111);
    PutU16(a, 2);
    PutU16(a, 0x2222);
    return a;
}

TpmBytes Shortened(TpmBytes b, size_t by) {
    b.resize(b.size() - by);
    return b;
}

TpmBytes ReadPublicReply(const TpmBytes& area) {
    TpmBytes p;
    PutU16(p, static_cast<uint16_t>(area.size()));
    p.insert(p.end(), area.begin(), area.end());
    PutU16(p, 2);
    PutU16(p, 0x000B);  // name
    PutU16(p, 0);       // qualified name
    return TpmReply(0, p);
}

TEST(TpmQueries, PublicAreas) {
    struct Case {
        const char* what;
        TpmBytes reply;
        bool present;
        std::string description;
        size_t keyBytes;
    } cases[] = {
        {"ECC SM2", ReadPublicReply(EccArea(0x20, kTpmAlgSha256)), true, "ECC SM2 P-256, name alg SHA256", 4},
        {"ECC P-384", ReadPublicReply(EccArea(4, 0x000C)), true, "ECC NIST P-384, name alg SHA384", 4},
        {"unknown curve and hash", ReadPublicReply(EccArea(0x77, 0x99)), true, "ECC curve ?, name alg ?", 4},
        {"keyed hash", ReadPublicReply(HexBytes("0008 000B 00000000 0000 0010 0010")), true, "type 0x0008", 0},
        {"outPublic of 7 bytes", ReadPublicReply(HexBytes("0001 000B 000000")), false, "", 0},
        {"ECC cut before y", ReadPublicReply(Shortened(EccArea(3, kTpmAlgSha256), 3)), false,
         "ECC NIST P-256, name alg SHA256", 0},
    };
    for (const Case& c : cases) {
        FakeTpm tpm;
        tpm.answer = [&](const TpmBytes&) { return c.reply; };
        TpmChannel ch = tpm.Channel();
        const PublicAreaInfo info = ReadPublicKey(ch, 0x81010002);
        EXPECT_EQ(info.present, c.present) << c.what;
        EXPECT_EQ(info.result.wellFormed, c.present) << c.what;
        EXPECT_EQ(ch.malformed, !c.present) << c.what;
        EXPECT_EQ(info.description, c.description) << c.what;
        EXPECT_EQ(info.keyBytes.size(), c.keyBytes) << c.what;
        EXPECT_EQ(HexEncode(tpm.sent.at(0)), "80010000000E0000017381010002");
    }
}

TEST(TpmQueries, RsaEndorsementKeyOfTheSimulator) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    TpmChannel ch;
    ch.transport = tpm.Transport();
    const PublicAreaInfo ek = ReadPublicKey(ch, 0x81010001);
    ASSERT_TRUE(ek.present);
    EXPECT_EQ(ek.description, "RSA 2048, name alg SHA256");
    EXPECT_EQ(ek.params.keyBits, 2048);
    EXPECT_EQ(ek.params.exponent, 0u);
    EXPECT_EQ(ek.keyBytes.size(), 256u);
    EXPECT_EQ(ek.params.keyBytes, ek.keyBytes);
    EXPECT_EQ(ek.nameHex.size(), 68u);  // SHA-256 name: algorithm and digest
    EXPECT_EQ(ek.nameHex.substr(0, 4), "000B");
    // The key hash is over the TPMT_PUBLIC without its size field.
    const TpmBytes reply = test::TpmReplay::ReplyTo("tpm/swtpm-provisioned.txt", ReadPublicCommand(0x81010001));
    const size_t n = static_cast<size_t>(reply[10] << 8 | reply[11]);
    EXPECT_EQ(ek.keyHash, Sha256Hex(reply.data() + 12, n).substr(0, 32));
    EXPECT_EQ(ReadPublicKey(ch, 0x81000001).result.tpmRc, 0x18Bu);
}

TEST(TpmQueries, PcrReadOfTheSimulator) {
    test::TpmReplay tpm("tpm/swtpm-fresh.txt");
    TpmChannel ch;
    ch.transport = tpm.Transport();
    EXPECT_EQ(ReadPcr(ch, kTpmAlgSha256, 0), TpmBytes(32, 0));
    EXPECT_EQ(HexEncode(tpm.sent.at(0)), "8001000000140000017E00000001000B03010000");
    EXPECT_EQ(HexEncode(PcrReadCommand(kTpmAlgSha1, 23)), "8001000000140000017E00000001000403000080");
}

TEST(TpmQueries, Names) {
    EXPECT_EQ(TpmPropertyName(0x100), "FAMILY_INDICATOR");
    EXPECT_EQ(TpmPropertyName(0x114), "CONTEXT_GAP_MAX");
    EXPECT_EQ(TpmPropertyName(0x115), "");
    EXPECT_EQ(TpmPropertyName(0x116), "NV_COUNTERS_MAX");
    EXPECT_EQ(TpmPropertyName(0x12C), "NV_BUFFER_MAX");
    EXPECT_EQ(TpmPropertyName(0x12E), "MAX_CAP_BUFFER");
    EXPECT_EQ(TpmPropertyName(0x12F), "");
    EXPECT_EQ(TpmPropertyName(0x200), "PERMANENT");
    EXPECT_EQ(TpmPropertyName(0x212), "NV_WRITE_RECOVERY");
    EXPECT_EQ(TpmPropertyName(0x213), "");
    int named = 0;
    for (uint32_t id = 0; id < 0x400; ++id) named += !TpmPropertyName(id).empty();
    EXPECT_EQ(named, 65);
    EXPECT_EQ(AlgName(0x12), "SM3_256");
    EXPECT_EQ(AlgName(0x99), "?");
    EXPECT_EQ(FourCcText(0x49465800), "IFX");
    EXPECT_EQ(FourCcText(0x2049424D), "IBM");
    EXPECT_EQ(FourCcText(0x01024103), "A");
    EXPECT_EQ(FourCcText(0), "");
}

}  // namespace
}  // namespace vorq
