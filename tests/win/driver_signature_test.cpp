#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "collectors/trust/driver_signature_win.h"
#include "collectors/trust/worker_pool.h"
#include "core/win.h"

namespace vorq {
namespace {

// The images made by scripts/make-signed-images (VORQ_SIGNED_IMAGES, a Unix
// path; Wine's drive Z: is the Unix root).
std::wstring Image(const char* name) {
    const char* dir = std::getenv("VORQ_SIGNED_IMAGES");
    std::string path = std::string("Z:") + (dir ? dir : "/missing") + "/" + name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return ToWide(path);
}

// Wine does not check the chain's root, so a self-signed signature verifies
// there and the signer's name and usages decide; Windows answers those with
// an untrusted root (0x800B0109), which the class table turns into
// "Untrusted root (test / self-signed)".
TEST(DriverSignature, ImagesUnderWine) {
    struct Case {
        const char* file;
        uint32_t result;
        const char* cls;
        const char* signer;
    } cases[] = {
        {"unsigned.sys", 0x800B0100, "Unsigned", ""},
        {"tampered.sys", 0x80096010, "Invalid (hash mismatch)", ""},  // Wine stops before reading the signer
        {"signed.sys", 0, "Third-party Authenticode", "Fabrikam Test Signer"},
        {"attest.sys", 0, "Attestation-signed", "Microsoft Windows Hardware Compatibility Publisher"},
        {"whql.sys", 0, "WHQL", "Microsoft Windows Hardware Compatibility Publisher"},
    };
    for (const Case& c : cases) {
        DriverRow row;
        VerifyDriverRow(row, Image(c.file));
        EXPECT_EQ(row.result, c.result) << c.file;
        EXPECT_EQ(row.signatureClass, c.cls) << c.file;
        EXPECT_EQ(row.signer, c.signer) << c.file;
        EXPECT_EQ(row.chainRoot, row.signer) << c.file;  // self-signed: a chain of one
        EXPECT_TRUE(row.imageFound);
        EXPECT_FALSE(row.viaCatalog) << c.file;  // no catalog holds these hashes
        EXPECT_EQ(row.detail.empty(), c.result == 0) << c.file << ": " << row.detail;
        // Version strings are read whatever the signature says.
        EXPECT_EQ(row.company, "Fabrikam Devices, Inc.") << c.file;
        EXPECT_EQ(row.description, "Fabrikam test image");
        EXPECT_EQ(row.version, "1.2.3.4");
    }
}

TEST(DriverSignature, MissingImage) {
    DriverRow row;
    VerifyDriverRow(row, Image("absent.sys"));
    EXPECT_FALSE(row.imageFound);
    EXPECT_EQ(row.signatureClass, "Image not found");
    EXPECT_EQ(row.detail, "path could not be resolved from user mode");
    EXPECT_EQ(row.company, "");
}

TEST(DriverSignature, NoCatalogForAnUnknownHash) {
    uint32_t result = 7;
    SignerInfo signer;
    std::wstring catalog;
    EXPECT_FALSE(VerifyCatalogSignature(Image("signed.sys"), L"SHA256", result, signer, catalog));
    EXPECT_FALSE(VerifyCatalogSignature(Image("absent.sys"), nullptr, result, signer, catalog));
    EXPECT_EQ(result, 7u);
}

// Row 3 of every ten faults, row 5 throws: both become their row's failure on
// the worker that drew them, and every other row is verified once.
void FaultyVerifier(DriverRow& row, const std::wstring& path) {
    const int n = std::stoi(WStringToUtf8(path));
    if (n % 10 == 3) *static_cast<volatile int*>(nullptr) = 1;
    if (n % 10 == 5) throw std::runtime_error("broken reply");
    row.signatureClass = "WHQL";
    row.result += 1;
}

TEST(DriverSignature, FaultsAndExceptionsInWorkersStayInTheirRow) {
    constexpr size_t kRows = 100;
    std::vector<DriverRow> rows(kRows);
    std::vector<std::wstring> paths;
    for (size_t i = 0; i < kRows; ++i) paths.push_back(std::to_wstring(i));
    std::atomic<uint64_t> index{0};
    RunOnThreads(4, [&] { VerifyDriverSignatures(index, rows, paths, &FaultyVerifier); });
    for (size_t i = 0; i < kRows; ++i) {
        if (i % 10 == 3) {
            EXPECT_EQ(rows[i].signatureClass, "Invalid signature");
            EXPECT_EQ(rows[i].result, 0xC0000005u);
            EXPECT_EQ(rows[i].detail, "verification ended by processor fault 0xC0000005");
        } else if (i % 10 == 5) {
            EXPECT_EQ(rows[i].result, 0x8000FFFFu);
            EXPECT_EQ(rows[i].detail, "verification failed: broken reply");
        } else {
            EXPECT_EQ(rows[i].signatureClass, "WHQL") << i;
            EXPECT_EQ(rows[i].result, 1u) << i;
        }
    }
}

}  // namespace
}  // namespace vorq
