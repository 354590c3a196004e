#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collectors/processor/efi_siglist.h"
#include "tests/unit/efi_support.h"

namespace vorq {
namespace {

using test::Cert;
using test::Concat;
using test::Esl;
using test::kOtherType;
using test::kSha256Type;
using test::kX509Type;

std::vector<std::vector<uint8_t>> Hashes(int n) { return std::vector<std::vector<uint8_t>>(n, std::vector<uint8_t>(32, 0x11)); }

TEST(ParseSignatureList, Walk) {
    const auto pk = Cert("pk");
    const auto ca23 = Cert("ca2023");
    const auto ca11 = Cert("ca2011");
    ASSERT_FALSE(pk.empty());
    // Certificates of different sizes share a list only at the largest size; the
    // shorter ones then carry padding, as in the real databases.
    const uint32_t certEntry = static_cast<uint32_t>(16 + pk.size());
    const auto certs = Esl(kX509Type, certEntry, {pk});
    const auto threeCerts = Concat({Esl(kX509Type, static_cast<uint32_t>(16 + pk.size()), {pk}),
                                    Esl(kX509Type, static_cast<uint32_t>(16 + ca23.size()), {ca23}),
                                    Esl(kX509Type, static_cast<uint32_t>(16 + ca11.size()), {ca11})});
    const auto hundred = Esl(kSha256Type, 48, Hashes(100));
    auto oddTail = Esl(kSha256Type, 48, Hashes(2));
    test::PutLe32(oddTail, 16, static_cast<uint32_t>(oddTail.size() + 20));  // 20 bytes that hold no whole entry
    oddTail.resize(oddTail.size() + 20, 0);
    auto size15 = Esl(kSha256Type, 15, {});
    auto tooLong = Esl(kSha256Type, 48, Hashes(1));
    test::PutLe32(tooLong, 16, static_cast<uint32_t>(tooLong.size() + 1));
    auto wrapList = Esl(kSha256Type, 48, Hashes(1));
    test::PutLe32(wrapList, 16, 0xFFFFFFF0u);  // offset + size wraps in 32 bits
    auto wrapHeader = Esl(kSha256Type, 48, Hashes(1));
    test::PutLe32(wrapHeader, 20, 0xFFFFFFF0u);  // 28 + header wraps in 32 bits
    auto wrapEntry = Esl(kSha256Type, 48, Hashes(1));
    test::PutLe32(wrapEntry, 24, 0xFFFFFFF0u);  // start + entry size wraps in 32 bits
    auto listBelow28 = Esl(kSha256Type, 48, {});
    test::PutLe32(listBelow28, 16, 27);

    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        int lists, certs, hashes, others;
        size_t unparsed;
    };
    const Case cases[] = {
        {"empty", {}, 0, 0, 0, 0, 0},
        {"certificates and hashes", Concat({threeCerts, hundred}), 4, 3, 100, 0, 0},
        {"signature header skipped", Esl(kSha256Type, 48, Hashes(3), 8), 1, 0, 3, 0, 0},
        {"other type counted", Esl(kOtherType, 20, {{1, 2, 3, 4}, {5, 6, 7, 8}}), 1, 0, 0, 2, 0},
        {"odd entry size tail skipped", Concat({oddTail, certs}), 2, 1, 2, 0, 0},
        {"entry size 15", Concat({hundred, size15}), 1, 0, 100, 0, size15.size()},
        {"list past the data", Concat({certs, tooLong}), 1, 1, 0, 0, tooLong.size()},
        {"27 trailing bytes", Concat({certs, std::vector<uint8_t>(27, 0)}), 1, 1, 0, 0, 27},
        {"list size below 28", listBelow28, 0, 0, 0, 0, listBelow28.size()},
        {"list size wraps", Concat({certs, wrapList}), 1, 1, 0, 0, wrapList.size()},
        {"header size wraps", wrapHeader, 0, 0, 0, 0, wrapHeader.size()},
        {"entry size wraps", Concat({wrapEntry, certs}), 2, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SignatureListSummary s = ParseSignatureList(c.data.data(), c.data.size(), test::FixtureNamer());
        EXPECT_EQ(s.lists, c.lists) << c.what;
        EXPECT_EQ(static_cast<int>(s.certificates.size()), c.certs) << c.what;
        EXPECT_EQ(s.hashEntries, c.hashes) << c.what;
        EXPECT_EQ(s.otherEntries, c.others) << c.what;
        EXPECT_EQ(s.unparsedBytes, c.unparsed) << c.what;
    }
}

TEST(ParseSignatureList, CertificateRecords) {
    const auto pk = Cert("pk");
    const auto ca23 = Cert("ca2023");
    std::vector<uint8_t> garbage(40, 0x30);
    const auto data = Concat({Esl(kX509Type, static_cast<uint32_t>(16 + pk.size()), {pk}),
                              Esl(kX509Type, static_cast<uint32_t>(16 + ca23.size()), {ca23}),
                              Esl(kX509Type, 16 + 40, {garbage})});
    SignatureListSummary s = ParseSignatureList(data.data(), data.size(), test::FixtureNamer());
    ASSERT_EQ(s.certificates.size(), 3u);
    EXPECT_EQ(s.certificates[0].subject, "Example Platform Key");
    // sha256sum of the fixture file
    EXPECT_EQ(s.certificates[0].sha256, "2965816EDB999EC682BA910611CB3C5D79ED16D0EA2E62E05D67ABC1A4D5F1F4");
    EXPECT_EQ(s.certificates[1].subject, "windows uefi ca 2023");
    EXPECT_EQ(s.certificates[1].issuer, "Example Platform Key");
    EXPECT_EQ(s.certificates[2].subject, "(unparseable certificate)");
    EXPECT_EQ(s.certificates[2].issuer, "");
    EXPECT_EQ(s.certificates[2].sha256.size(), 64u);
}

}  // namespace
}  // namespace vorq
