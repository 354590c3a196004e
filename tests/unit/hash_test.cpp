#include <gtest/gtest.h>

#include <string>

#include "core/hash.h"
#include "core/text.h"

namespace vorq {
namespace {

std::string Hex(const std::vector<uint8_t>& d) { return HexEncode(d); }

TEST(Hash, PublishedVectors) {
    EXPECT_EQ(Sha256Hex("", 0), "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855");
    EXPECT_EQ(Sha256Hex("abc", 3), "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_EQ(Sha1("abc", 3), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha256Hex(two.data(), two.size()), "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1");
}

TEST(Hash, HmacRfc4231AndEmptyKey) {
    std::vector<uint8_t> key(20, 0x0B);
    EXPECT_EQ(Hex(HmacSha256(key, "Hi There", 8)), "B0344C61D8DB38535CA8AFCEAF0BF12B881DC200C9833DA726E9376C2E32CFF7");
    std::vector<uint8_t> jefe{'J', 'e', 'f', 'e'};
    const std::string msg = "what do ya want for nothing?";
    EXPECT_EQ(Hex(HmacSha256(jefe, msg.data(), msg.size())), "5BDCC146BF60754E6A042426089575C75A003F089D2739839DEC58B964EC3843");
    EXPECT_EQ(Hex(HmacSha256({}, "", 0)), "B613679A0814D9EC772F95D778C35FC5FF1697C493715653C6C712144292C5AD");
}

TEST(Hash, IncrementalEqualsOneShot) {
    Sha256Stream a;
    a.Update("ab", 2);
    a.Update("", 0);
    a.Update("c", 1);
    EXPECT_EQ(Hex(a.Finish()), Sha256Hex("abc", 3));
}

TEST(Hash, NullHandleGivesZeroDigest) {
    Sha256Hash none;
    Sha256Update(none, "x", 1);
    EXPECT_EQ(Sha256Finish(none), std::vector<uint8_t>(32, 0));
    DestroyHash(none);
}

TEST(Hash, RandomBytesFillsBuffer) {
    uint8_t a[32] = {}, b[32] = {};
    ASSERT_TRUE(RandomBytes(a, sizeof a));
    ASSERT_TRUE(RandomBytes(b, sizeof b));
    EXPECT_NE(HexEncode(a, 32), HexEncode(b, 32));
}

}  // namespace
}  // namespace vorq
