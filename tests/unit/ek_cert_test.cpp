#include <gtest/gtest.h>

#include "collectors/trust/ek_cert.h"
#include "collectors/trust/tpm.h"
#include "core/hash.h"
#include "core/text.h"
#include "tests/unit/test_support.h"
#include "tests/unit/tpm_fake.h"

namespace vorq {
namespace {

using test::HexBytes;
using test::ReadFixture;

TEST(EkCert, DecodesTheFixtureCertificates) {
    const struct {
        const char* file;
        bool parsed;
        const char* issuer;
        uint16_t type, curve, keyBits;
        size_t keyBytes;
    } cases[] = {
        {"tpm/ek-cert.der", true, "Test EK CA", kTpmAlgRsa, 0, 2048, 256},
        {"tpm/ecc-p256-cert.der", true, "Test ECC EK CA", kTpmAlgEcc, 3, 0, 64},
        {"tpm/ecc-p384-cert.der", true, "Test TPM Maker", kTpmAlgEcc, 4, 0, 96},
        {"tpm/garbage-cert.der", false, "", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        const std::vector<uint8_t> der = ReadFixture(c.file);
        ASSERT_FALSE(der.empty()) << c.file;
        const DecodedCert d = DecodeCertificate(der.data(), der.size());
        EXPECT_EQ(d.parsed, c.parsed) << c.file;
        EXPECT_EQ(d.issuer, c.issuer) << c.file;
        EXPECT_EQ(d.key.type, c.type) << c.file;
        EXPECT_EQ(d.key.curve, c.curve) << c.file;
        EXPECT_EQ(d.key.keyBits, c.keyBits) << c.file;
        EXPECT_EQ(d.key.keyBytes.size(), c.keyBytes) << c.file;
    }
    const std::vector<uint8_t> ek = ReadFixture("tpm/ek-cert.der");
    const DecodedCert d = DecodeCertificate(ek.data(), ek.size());
    EXPECT_EQ(d.validity, "2024-01-01 .. 2044-01-01");
    EXPECT_EQ(d.key.exponent, 65537u);
}

TEST(EkCert, DerObjectLength) {
    const struct {
        const char* hex;
        size_t length;
    } cases[] = {
        {"30 82 01 00 AA", 260}, {"30 84 00 00 01 00 AA", 0}, {"30 05", 7}, {"30 81 80", 131},
        {"30 82 01", 0},         {"31 03", 0},                {"30", 0},    {"30 80", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(DerObjectLength(HexBytes(c.hex)), c.length) << c.hex;
}

TEST(EkCert, RememberCertHash) {
    std::set<std::string> seen;
    const std::string hash = std::string(63, 'a') + "b";
    EXPECT_EQ(RememberCertHash(seen, hash), 0);
    EXPECT_EQ(RememberCertHash(seen, ToUpper(hash)), 1);
    EXPECT_EQ(RememberCertHash(seen, std::string(63, 'A')), 2);
    EXPECT_EQ(RememberCertHash(seen, std::string(63, 'A') + "G"), 2);
}

PublicKeyParams Rsa(uint16_t bits, uint32_t exponent, uint8_t fill) {
    PublicKeyParams p;
    p.type = kTpmAlgRsa;
    p.keyBits = bits;
    p.exponent = exponent;
    p.keyBytes.assign(bits / 8, fill);
    return p;
}

PublicKeyParams Ecc(uint16_t curve, size_t bytes, uint8_t fill) {
    PublicKeyParams p;
    p.type = kTpmAlgEcc;
    p.curve = curve;
    p.keyBytes.assign(bytes, fill);
    return p;
}

TEST(EkCert, ComparePublicKeys) {
    const struct {
        const char* what;
        PublicKeyParams cert, ek;
        int result;
    } cases[] = {
        {"exponent 65537 equals the stored default", Rsa(2048, 65537, 1), Rsa(2048, 0, 1), 1},
        {"different modulus", Rsa(2048, 65537, 1), Rsa(2048, 0, 2), 2},
        {"different exponent", Rsa(2048, 3, 1), Rsa(2048, 0, 1), 0},
        {"different size", Rsa(3072, 0, 1), Rsa(2048, 0, 1), 0},
        {"P-256 equal", Ecc(3, 64, 7), Ecc(3, 64, 7), 1},
        {"P-256 against P-384", Ecc(3, 64, 7), Ecc(4, 96, 7), 0},
        {"P-521 point", Ecc(5, 132, 7), Ecc(5, 132, 8), 2},
        {"unknown curve", Ecc(0x10, 64, 7), Ecc(0x10, 64, 7), 0},
        {"short point", Ecc(3, 63, 7), Ecc(3, 63, 7), 0},
        {"RSA against ECC", Rsa(2048, 0, 1), Ecc(3, 64, 1), 0},
        {"empty EK", Rsa(2048, 0, 1), PublicKeyParams{kTpmAlgRsa, 2048, 0, 0, {}}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ComparePublicKeys(c.cert, c.ek), c.result) << c.what;
}

// The EK of the recorded simulator, read through its recorded reply.
PublicAreaInfo RecordedEk() {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    TpmChannel ch;
    ch.transport = tpm.Transport();
    return ReadPublicKey(ch, 0x81010001);
}

TEST(EkCert, DescribeCountsAndDeduplicates) {
    const PublicAreaInfo rsaEk = RecordedEk();
    ASSERT_TRUE(rsaEk.present);
    PublicAreaInfo eccEk;
    eccEk.present = true;
    eccEk.params = Ecc(4, 96, 9);  // a P-384 EK
    PublicAreaInfo rsaEmpty;
    rsaEmpty.present = true;
    rsaEmpty.params.type = kTpmAlgRsa;
    struct Case {
        const char* what;
        const PublicAreaInfo* rsa;
        std::vector<const char*> files;
        std::vector<std::string> bindings;
        uint32_t certificates, bound, unbound, notComparable, parseErrors;
    } cases[] = {
        {"bound, seen twice", &rsaEk, {"tpm/ek-cert.der", "tpm/ek-cert.der"}, {"[ok] public key matches the TPM EK"}, 1, 1, 0, 0, 0},
        {"P-256 certificate against a P-384 EK", &rsaEk, {"tpm/ecc-p256-cert.der"},
         {"[info] Not compared: EK algorithm, size, curve or exponent is different or unsupported"}, 1, 0, 0, 1, 0},
        {"P-384 certificate of another key", &rsaEk, {"tpm/ecc-p384-cert.der"}, {"[warn] public key differs from the TPM EK"}, 1, 0, 1, 0, 0},
        {"EK without key bytes", &rsaEmpty, {"tpm/ek-cert.der"}, {"[info] not compared (matching EK not persisted)"}, 1, 0, 0, 0, 0},
        {"garbage", &rsaEk, {"tpm/garbage-cert.der"}, {"-"}, 1, 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        Snapshot s;
        Table t;
        EkCertContext ctx(s, t, *c.rsa, eccEk);
        for (const char* f : c.files) DescribeEkCertificate(ctx, "TPM NV", "slot", ReadFixture(f));
        std::vector<std::string> bindings;
        for (const TableRow& r : t.rows) bindings.push_back(r.cells[5]);
        EXPECT_EQ(bindings, c.bindings) << c.what;
        EXPECT_EQ(ctx.certificates, c.certificates) << c.what;
        EXPECT_EQ(ctx.bound, c.bound) << c.what;
        EXPECT_EQ(ctx.unbound, c.unbound) << c.what;
        EXPECT_EQ(ctx.notComparable, c.notComparable) << c.what;
        EXPECT_EQ(ctx.parseErrors, c.parseErrors) << c.what;
        EXPECT_EQ(s.signals.size(), 2 * c.certificates) << c.what;
        // Thumbprints are lower case, as Windows' provisioning record compares them.
        const std::vector<uint8_t> der = ReadFixture(c.files[0]);
        ASSERT_EQ(ctx.thumbprints.size(), 1u);
        EXPECT_EQ(ctx.thumbprints[0], ToLower(Sha1(der.data(), der.size()))) << c.what;
        EXPECT_EQ(ctx.thumbprints[0], ToLower(ctx.thumbprints[0]));
    }
}

TEST(EkCert, GarbageIsListedUnparsed) {
    Snapshot s;
    Table t;
    PublicAreaInfo none;
    EkCertContext ctx(s, t, none, none);
    const std::vector<uint8_t> der = ReadFixture("tpm/garbage-cert.der");
    DescribeEkCertificate(ctx, "Windows cache", "ECC (Windows cache)", der);
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"Windows cache", "ECC (Windows cache)", "5", "(unparsed)", "", "-",
                                                          Sha256Hex(der.data(), der.size()).substr(0, 32)}));
    ASSERT_EQ(s.signals.size(), 2u);
    EXPECT_EQ(s.signals[0].key, sig::kTpmEkCert);
    EXPECT_EQ(s.signals[0].name, "EK certificate - ECC (Windows cache)");
    EXPECT_EQ(s.signals[0].src, "Windows EK certificate cache");
    EXPECT_TRUE(Sensitive(s.signals[0]));
    EXPECT_EQ(s.signals[1].key, sig::kTpmEkIssuer);
    EXPECT_EQ(s.signals[1].value, "(unparsed)");
}

// The certificate sources over the recorded simulator, with `cache` as
// Windows' cache and, when given, other attributes for the RSA index.
Snapshot CollectWith(const std::vector<CachedEkCert>& cache, uint32_t attributes = 0) {
    test::TpmReplay tpm("tpm/swtpm-provisioned.txt");
    if (attributes) {
        TpmBytes reply = test::TpmReplay::ReplyTo("tpm/swtpm-provisioned.txt", NvReadPublicCommand(0x01C00002));
        // TPM2B_NV_PUBLIC: size, index, name algorithm, then the attributes.
        for (int i = 0; i < 4; ++i) reply[18 + i] = static_cast<uint8_t>(attributes >> (24 - 8 * i));
        tpm.Set(NvReadPublicCommand(0x01C00002), reply);
    }
    TpmChannel ch;
    ch.transport = tpm.Transport();
    const PublicAreaInfo ek = ReadPublicKey(ch, 0x81010001);
    Snapshot s;
    s.tables.push_back(CollectEkCertificates(s, ch, GetTpmProperties(ch), ek, PublicAreaInfo{}, cache));
    return s;
}

TEST(EkCert, SourcesAndFacts) {
    const std::vector<uint8_t> ek = ReadFixture("tpm/ek-cert.der");
    const Snapshot both = CollectWith({{"RSA (Windows cache)", ek}, {"ECC (Windows cache)", ReadFixture("tpm/ecc-p256-cert.der")}});
    const Table& t = both.tables[0];
    EXPECT_EQ(t.id, "tpm.ekcerts");
    EXPECT_EQ(t.sens, 0x40u);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].cells[0], "TPM NV");
    EXPECT_EQ(t.rows[0].cells[1], "0x01C00002 RSA 2048 (low range)");
    EXPECT_EQ(t.rows[0].cells[2], Format("%zu", ek.size()));
    EXPECT_EQ(t.rows[0].cells[4], "2024-01-01 .. 2044-01-01");
    EXPECT_EQ(t.rows[1].cells[1], "ECC (Windows cache)");
    EXPECT_EQ(t.rows[1].cells[5], "[info] not compared (matching EK not persisted)");
    const std::map<std::string, std::string> want = {
        {"tpm.ek_certs", "2"}, {"tpm.ek_bound", "1"}, {"tpm.ek_unbound", "0"}, {"tpm.ek_parse_errors", "0"},
        {"tpm.ek_not_comparable", "0"}, {"tpm.nv_skipped", "0"},
        {"tpm.ek_cert_sha1s", ToLower(Sha1(ek.data(), ek.size())) + "," +
                                  ToLower(Sha1(ReadFixture("tpm/ecc-p256-cert.der").data(), 446))}};
    EXPECT_EQ(both.facts, want);

    // An index that needs owner authorization is not read.
    const Snapshot owner = CollectWith({}, 0x02020002);  // OWNERWRITE, OWNERREAD, NO_DA
    ASSERT_EQ(owner.tables[0].rows.size(), 1u);
    EXPECT_EQ(owner.tables[0].rows[0].cells,
              (std::vector<std::string>{"TPM NV", "0x01C00002 RSA 2048 (low range)", Format("%zu", ek.size()),
                                        "Not read: safe empty index authorization is unavailable; hierarchy "
                                        "authorization is not attempted",
                                        "", "", ""}));
    EXPECT_EQ(GetFact(owner, fact::kTpmNvSkipped), "1");
    EXPECT_EQ(GetFact(owner, fact::kTpmEkCerts), "0");
    EXPECT_EQ(owner.tables[0].note.find("None found"), std::string::npos);
}

TEST(EkCert, NothingAnywhere) {
    test::TpmReplay tpm("tpm/swtpm-fresh.txt");
    TpmChannel ch;
    ch.transport = tpm.Transport();
    Snapshot s;
    const Table t = CollectEkCertificates(s, ch, {}, PublicAreaInfo{}, PublicAreaInfo{}, {});
    EXPECT_TRUE(t.rows.empty());
    const std::string tail = " None found in TPM NV or in the Windows cache.";
    EXPECT_EQ(t.note.substr(t.note.size() - tail.size()), tail);
    EXPECT_EQ(GetFact(s, fact::kTpmEkCerts), "0");
    EXPECT_EQ(GetFact(s, fact::kTpmEkCertSha1s), "");
    EXPECT_TRUE(s.signals.empty());
}

}  // namespace
}  // namespace vorq

namespace vorq {
namespace {

// An index larger than its certificate: the padding after the DER object is
// cut off before the certificate is described.
TEST(EkCert, PaddingAfterTheCertificateIsCut) {
    const std::vector<uint8_t> cert = ReadFixture("tpm/ek-cert.der");
    std::vector<uint8_t> stored = cert;
    stored.resize(cert.size() + 13, 0xFF);
    TpmChannel ch;
    ch.transport = [&](const TpmBytes& cmd, uint8_t* reply, uint32_t& len) -> uint32_t {
        TpmBytes r;
        if (cmd == NvReadPublicCommand(0x01C00002)) {
            TpmBytes p;
            PutU16(p, 14);
            PutU32(p, 0x01C00002);
            PutU16(p, kTpmAlgSha256);
            PutU32(p, 0x42070001);  // PPWRITE, PPREAD, OWNERREAD, AUTHREAD, NO_DA, PLATFORMCREATE
            PutU16(p, 0);
            PutU16(p, static_cast<uint16_t>(stored.size()));
            r = test::TpmReply(0, p);
        } else if (cmd.size() == 35 && cmd[9] == 0x4E) {  // NV_Read: size and offset end the command
            const size_t size = cmd[31] << 8 | cmd[32], offset = cmd[33] << 8 | cmd[34];
            TpmBytes p;
            PutU32(p, static_cast<uint32_t>(size + 2));
            PutU16(p, static_cast<uint16_t>(size));
            p.insert(p.end(), stored.begin() + static_cast<std::ptrdiff_t>(offset),
                     stored.begin() + static_cast<std::ptrdiff_t>(offset + size));
            p.insert(p.end(), {0, 0, 1, 0, 0});
            r = test::TpmReply(0, p, kTpmStSessions);
        } else {
            r = test::TpmReply(0x18B);
        }
        std::copy(r.begin(), r.end(), reply);
        len = static_cast<uint32_t>(r.size());
        return 0;
    };
    Snapshot s;
    const Table t = CollectEkCertificates(s, ch, {}, PublicAreaInfo{}, PublicAreaInfo{}, {});
    ASSERT_EQ(t.rows.size(), 1u);
    EXPECT_EQ(t.rows[0].cells[2], Format("%zu", cert.size()));
    EXPECT_EQ(t.rows[0].cells[3], "Test EK CA");
    EXPECT_EQ(GetFact(s, fact::kTpmEkCertSha1s), ToLower(Sha1(cert.data(), cert.size())));
}

}  // namespace
}  // namespace vorq
