#include <gtest/gtest.h>

#include "collectors/trust/tpm_transport.h"
#include "core/text.h"
#include "tests/unit/test_support.h"
#include "tests/unit/tpm_fake.h"

namespace vorq {
namespace {

using test::HexBytes;
using test::TpmReply;

TEST(TpmTransport, CommandHeaderAndSize) {
    TpmBytes b = BuildTpm2CommandHeader(0x8001, 0x17A);
    PutU8(b, 0xAB);
    PutU16(b, 0x1234);
    PutU32(b, 0xDEADBEEF);
    PatchCommandSize(b);
    EXPECT_EQ(HexEncode(b), "8001000000110000017AAB1234DEADBEEF");
}

TEST(TpmTransport, ValidateResponse) {
    struct Case {
        uint32_t tbs;
        const char* hex;
        size_t length;  // 0: the bytes' own length
        bool wellFormed;
        uint32_t rc;
    } cases[] = {
        {0, "8001 0000000A 00000000", 0, true, 0},
        {0, "8002 0000000E 0000018B 00000000", 0, true, 0x18B},
        {0, "8001 0000000C 00000000", 0, false, 0},           // size field 12, 10 bytes came
        {0, "8003 0000000A 00000000", 0, false, 0},           // no such tag
        {0, "00C4 0000000A 00000000", 0, false, 0},           // a TPM 1.2 tag
        {0, "8001 00000009 000000", 0, false, 0},             // shorter than a header
        {0x8028400F, "8001 0000000A 00000000", 0, false, 0},  // TBS failed: the bytes do not count
    };
    for (const Case& c : cases) {
        const TpmBytes b = HexBytes(c.hex);
        const CommandResult r = ValidateResponse(c.tbs, b.data(), c.length ? c.length : b.size());
        EXPECT_EQ(r.wellFormed, c.wellFormed) << c.hex;
        EXPECT_EQ(r.tpmRc, c.rc) << c.hex;
        EXPECT_EQ(r.tbsResult, c.tbs) << c.hex;
    }
    EXPECT_FALSE(ValidateResponse(0, nullptr, 10).wellFormed);
    // The 8,192-byte cap holds even when the size field agrees.
    TpmBytes big = TpmReply(0, TpmBytes(8183, 0));
    EXPECT_EQ(big.size(), 8193u);
    EXPECT_FALSE(ValidateResponse(0, big.data(), big.size()).wellFormed);
    big.pop_back();
    PatchCommandSize(big);
    EXPECT_TRUE(ValidateResponse(0, big.data(), big.size()).wellFormed);
}

TEST(TpmTransport, ChannelKeepsTheFirstTbsErrorAndTheLatestResponseCode) {
    test::TpmReplay tpm;
    const TpmBytes cmd = BuildTpm2CommandHeader(0x8001, 0x17A);
    tpm.Add(cmd, {}, 0x80284001);
    tpm.Add(cmd, {}, 0x8028400B);
    tpm.Add(cmd, TpmReply(0x18B));
    tpm.Add(cmd, TpmReply(0x184));
    tpm.Add(cmd, HexBytes("8001 0000000C 00000000"));
    tpm.Add(cmd, TpmReply(0, HexBytes("0102")));
    TpmChannel ch;
    ch.transport = tpm.Transport();
    TpmBytes reply;
    const uint32_t wantTbs[] = {0x80284001, 0x80284001, 0x80284001, 0x80284001, 0x80284001, 0x80284001};
    const uint32_t wantRc[] = {0, 0, 0x18B, 0x184, 0x184, 0x184};
    const bool wantMalformed[] = {false, false, false, false, true, true};
    for (int i = 0; i < 6; ++i) {
        const CommandResult r = SubmitCommand(ch, cmd, reply);
        EXPECT_EQ(ch.firstTbsError, wantTbs[i]) << i;
        EXPECT_EQ(ch.lastTpmRc, wantRc[i]) << i;
        EXPECT_EQ(ch.malformed, wantMalformed[i]) << i;
        EXPECT_EQ(ResponseOk(r), i == 5) << i;
        // Failures leave no bytes; a good reply is cut to its length.
        EXPECT_EQ(reply.size(), i < 2 || i == 4 ? 0u : i == 5 ? 12u : 10u) << i;
    }
    TpmChannel none;  // no transport: as if TBS had no TPM
    EXPECT_EQ(SubmitCommand(none, cmd, reply).tbsResult, kTbsTpmNotFound);
}

TEST(TpmTransport, ReaderStopsAtTheEndAndStaysFailed) {
    const TpmBytes b = HexBytes("0A0B0C");
    ResponseReader r(b, 0);
    EXPECT_EQ(GetU32(r), 0u);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.pos, 0u);
    EXPECT_EQ(GetU16(r), 0x0A0Bu);  // still read, but ok stays cleared
    EXPECT_FALSE(r.ok);

    const TpmBytes sized = HexBytes("0005 AABBCC");
    ResponseReader s(sized, 0);
    EXPECT_TRUE(ReadSizedBuffer(s).empty());
    EXPECT_FALSE(s.ok);
    ResponseReader t(sized, 0);
    EXPECT_TRUE(ReadBytes(t, 0).empty());
    EXPECT_TRUE(t.ok);
    EXPECT_EQ(t.pos, 0u);
    ResponseReader past(sized, 9);  // a start beyond the end
    EXPECT_EQ(GetU8(past), 0u);
    EXPECT_TRUE(ReadBytes(past, 1).empty());
    EXPECT_FALSE(past.ok);
}

TEST(TpmTransport, CommandStatusText) {
    struct Case {
        CommandResult r;
        const char* text;
    } cases[] = {
        {{0x80284001, 0x18B, false}, "TBS transport error 0x80284001"},
        {{0, 0, false}, "Malformed or unavailable TPM response"},
        {{0, 0, true}, "TPM command completed"},
        {{0, 0x18B, true}, "TPM response code 0x0000018B"},
    };
    for (const Case& c : cases) EXPECT_EQ(CommandStatusText(c.r), c.text);
}

}  // namespace
}  // namespace vorq
