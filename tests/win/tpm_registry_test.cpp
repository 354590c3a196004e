// The registry sources of the TPM collector over a scratch copy of the keys
// under HKCU: the EK certificate cache as a registry certificate store and
// the provisioning record with its PcrInfo subkeys.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_registry_win.h"
#include "core/win.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

constexpr wchar_t kScratch[] = L"Software\\VornixQuelmTest\\TPM\\WMI";

class TpmRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VornixQuelmTest"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\VornixQuelmTest"); }
    static void SetDword(const std::wstring& key, const wchar_t* name, DWORD v) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_DWORD, &v, sizeof v), ERROR_SUCCESS);
    }
    static void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& v) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, v.c_str(),
                                  static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    static void SetBinary(const std::wstring& key, const wchar_t* name, const std::vector<uint8_t>& v) {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_BINARY, v.data(), static_cast<DWORD>(v.size())),
                  ERROR_SUCCESS);
    }
    static void AddToStore(const std::wstring& key, const std::vector<uint8_t>& der) {
        UniqueHKey k;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, k.put(), nullptr),
                  ERROR_SUCCESS);
        HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, k.get());
        ASSERT_NE(store, nullptr);
        EXPECT_TRUE(CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                                     CERT_STORE_ADD_REPLACE_EXISTING, nullptr));
        CertCloseStore(store, 0);
    }
};

TEST_F(TpmRegistry, EkCertificateCache) {
    const std::wstring base = kScratch;
    EXPECT_TRUE(ReadEkCertCache(HKEY_CURRENT_USER, base).empty());  // no keys: nothing, no error
    const std::vector<uint8_t> rsa = test::ReadFixture("tpm/ek-cert.der"), ecc = test::ReadFixture("tpm/ecc-p256-cert.der");
    AddToStore(base + L"\\Endorsement\\EKCertStore", rsa);
    AddToStore(base + L"\\Endorsement\\EKCertStoreECC", ecc);
    const std::vector<CachedEkCert> certs = ReadEkCertCache(HKEY_CURRENT_USER, base);
    ASSERT_EQ(certs.size(), 2u);
    EXPECT_EQ(certs[0].slot, "RSA (Windows cache)");
    EXPECT_EQ(certs[0].der, rsa);
    EXPECT_EQ(certs[1].slot, "ECC (Windows cache)");
    EXPECT_EQ(certs[1].der, ecc);
}

TEST_F(TpmRegistry, ProvisioningRecordAndTheLatestPcrRecord) {
    const std::wstring base = kScratch;
    SetBinary(base, L"WindowsAIKHash", {0xAB, 0xCD});
    SetDword(base + L"\\ProvisionInfo", L"TotalTPMProvisioningCount", 3);
    SetString(base + L"\\ProvisionInfo", L"LastRsaEkCertThumbprint", L"ABCDEF");
    SetDword(base + L"\\TaskStates", L"PCR7BindingState", 2);
    std::vector<uint8_t> physical(24 * 32);
    for (size_t i = 0; i < physical.size(); ++i) physical[i] = static_cast<uint8_t>(i / 32);
    SetDword(base + L"\\PcrInfo\\9-1", L"PcrsMatched", 0);
    SetBinary(base + L"\\PcrInfo\\9-1", L"PhysicalPcrRead", std::vector<uint8_t>(768, 0xEE));
    SetDword(base + L"\\PcrInfo\\10-1", L"PcrsMatched", 1);
    SetBinary(base + L"\\PcrInfo\\10-1", L"PhysicalPcrRead", physical);

    const ProvisioningInputs in = ReadProvisioning(HKEY_CURRENT_USER, base);
    std::array<std::vector<uint8_t>, 24> live;
    for (size_t i = 0; i < 24; ++i) live[i].assign(32, static_cast<uint8_t>(i));
    Snapshot s;
    const Table t = ProvisioningTable(s, in, 0x000B, live);
    std::vector<std::vector<std::string>> rows;
    for (const TableRow& r : t.rows) rows.push_back(r.cells);
    EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                        {"Windows AIK hash (WindowsAIKHash)", "ABCD"},
                        {"Provisioning count", "3"},
                        {"Last RSA EK certificate thumbprint (SHA-1)", "ABCDEF"},
                        {"PCR7 binding state (PCR7BindingState)", "2 - bound"},
                        {"PCR read records (PcrInfo)", "2"},
                        {"Last recorded boot", "10"},
                        {"PCRs matched the log at that boot (PcrsMatched)", "yes"},
                        {"PCR 0-7 recorded vs live", "[ok] equal (boot 10)"},
                    }));
    EXPECT_EQ(GetFact(s, fact::kTpmWinEkThumb), "abcdef");
    EXPECT_EQ(GetFact(s, fact::kTpmWinPcr), "match");
    EXPECT_EQ(GetFact(s, fact::kTpmWinPcrBoot), "10");
}

}  // namespace
}  // namespace vorq
