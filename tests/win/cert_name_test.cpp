#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "collectors/processor/cert_name_win.h"
#include "tests/unit/efi_support.h"

namespace vorq {
namespace {

// The system's decoder names the fixture certificates as their makers wrote
// them: common name first, the organisation when there is none, nothing for
// an empty name.
TEST(CertName, FixtureCertificates) {
    for (const test::CertName& c : test::kFixtureCerts) {
        const std::vector<uint8_t> der = test::Cert(c.file);
        ASSERT_FALSE(der.empty()) << c.file;
        std::string subject = "x", issuer = "x";
        ASSERT_TRUE(NameDerCertificate(der.data(), der.size(), &subject, &issuer)) << c.file;
        EXPECT_EQ(subject, c.subject) << c.file;
        EXPECT_EQ(issuer, c.issuer) << c.file;
    }
}

TEST(CertName, NotACertificate) {
    std::vector<uint8_t> garbage(40, 0x30);
    std::vector<uint8_t> cut = test::Cert("pk");
    cut.resize(cut.size() / 2);
    std::string subject, issuer;
    EXPECT_FALSE(NameDerCertificate(garbage.data(), garbage.size(), &subject, &issuer));
    EXPECT_FALSE(NameDerCertificate(cut.data(), cut.size(), &subject, &issuer));
    EXPECT_FALSE(NameDerCertificate(nullptr, 0, &subject, &issuer));
    EXPECT_EQ(GetCertName(nullptr, false), "");
}

}  // namespace
}  // namespace vorq
