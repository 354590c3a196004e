#include <gtest/gtest.h>

#include "collectors/trust/tpm_key.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {
namespace {

constexpr uint32_t kLockout = 0x80280921;  // a TPM in dictionary-attack lockout
constexpr char kCreated[] = "Application key created with Microsoft Platform Crypto Provider (ECDSA P-256).";
constexpr char kVerified[] =
    "The local signing self-test verified the signature with the public key; TPM residency and platform identity "
    "were not attested.";
constexpr char kNoRandom[] =
    "Challenge failed: the system random number generator failed, so no challenge was signed.";

// A provider whose every step answers as configured, recording what it was asked.
struct FakeKeyProvider final : TpmKeyProvider {
    uint32_t provider = 0, open = 0, create = 0, remove = 0, exportStatus = 0, sign = 0;
    std::vector<uint8_t> blob = std::vector<uint8_t>(72, 0x42);
    bool verifies = true;
    std::u16string openedName, createdName;
    std::vector<uint8_t> signedDigest;
    int deletes = 0;
    bool randomWorks = true;

    uint32_t OpenProvider() override { return provider; }
    uint32_t OpenKey(const std::u16string& name) override {
        openedName = name;
        return open;
    }
    uint32_t CreateKey(const std::u16string& name) override {
        createdName = name;
        return create;
    }
    uint32_t DeleteKey() override {
        ++deletes;
        return remove;
    }
    uint32_t ExportPublicBlob(std::vector<uint8_t>& b) override {
        if (exportStatus == 0) b = blob;
        return exportStatus;
    }
    std::string AlgorithmName() override { return "ECDSA_P256"; }
    bool ExportPolicy(uint32_t& policy) override {
        policy = 0;
        return true;
    }
    uint32_t SignHash(const std::vector<uint8_t>& digest, std::vector<uint8_t>& signature) override {
        signedDigest = digest;
        if (sign == 0) signature.assign(64, 0xA5);
        return sign;
    }
    bool Verify(const std::vector<uint8_t>& b, const std::vector<uint8_t>& digest, const std::vector<uint8_t>& s) override {
        return verifies && b == blob && digest == signedDigest && s.size() == 64;
    }
    bool Random(void* buf, size_t n) override {
        if (!randomWorks) return false;
        for (size_t i = 0; i < n; ++i) static_cast<uint8_t*>(buf)[i] = static_cast<uint8_t>(i);
        return true;
    }
    std::string StatusText(uint32_t status) override { return Format("HRESULT 0x%08X", status); }
};

TEST(TpmKey, ActionOutcomes) {
    struct Case {
        const char* what;
        const char* action;
        void (*setup)(FakeKeyProvider&);
        bool providerOk, exists, challengeOk;
        std::string message;
        bool unreadable;
    } cases[] = {
        {"provider missing", "status", [](FakeKeyProvider& p) { p.provider = 0x80090030; }, false, false, false,
         "Microsoft Platform Crypto Provider unavailable: HRESULT 0x80090030", false},
        {"status without a key", "status", [](FakeKeyProvider& p) { p.open = kNteBadKeyset; }, true, false, false,
         "No TPM-bound key has been created on this account.", false},
        {"challenge without a key", "challenge", [](FakeKeyProvider& p) { p.open = kNteBadKeyset; }, true, false, false,
         "No TPM-bound key has been created on this account.", false},
        {"delete without a key", "delete", [](FakeKeyProvider& p) { p.open = kNteBadKeyset; }, true, false, false,
         "There is no TPM-bound key to delete.", false},
        {"delete", "delete", [](FakeKeyProvider&) {}, true, false, false, "The TPM-bound key was deleted.", false},
        {"delete refused", "delete", [](FakeKeyProvider& p) { p.remove = 0x80090010; }, true, false, false,
         "Delete failed: HRESULT 0x80090010", false},
        {"create", "create", [](FakeKeyProvider& p) { p.open = kNteBadKeyset; }, true, true, true, kCreated, false},
        {"create with a key already there", "create", [](FakeKeyProvider&) {}, true, true, true, kVerified, false},
        {"create refused", "create",
         [](FakeKeyProvider& p) {
             p.open = kNteBadKeyset;
             p.create = 0x80090009;
         },
         true, false, false, "Key creation failed: HRESULT 0x80090009", false},
        {"create, then signing fails", "create",
         [](FakeKeyProvider& p) {
             p.open = kNteBadKeyset;
             p.sign = 0x80280400;
         },
         true, true, false, std::string(kCreated) + " Signing failed: HRESULT 0x80280400", false},
        {"challenge", "challenge", [](FakeKeyProvider&) {}, true, true, true, kVerified, false},
        {"signature does not verify", "status", [](FakeKeyProvider& p) { p.verifies = false; }, true, true, false,
         "Signature did not verify.", false},
        // Only "no such key" means there is none.
        {"lockout on status", "status", [](FakeKeyProvider& p) { p.open = kLockout; }, true, false, false,
         "The TPM-bound key's state could not be read: HRESULT 0x80280921", true},
        {"access denied on create", "create", [](FakeKeyProvider& p) { p.open = 0x80090010; }, true, false, false,
         "The TPM-bound key's state could not be read: HRESULT 0x80090010", true},
        {"not ready on delete", "delete", [](FakeKeyProvider& p) { p.open = 0x80290200; }, true, false, false,
         "The TPM-bound key's state could not be read: HRESULT 0x80290200", true},
        // The export's own failure is reported, not a signing failure.
        {"export fails, signing works", "status", [](FakeKeyProvider& p) { p.exportStatus = 0x80090029; }, true, true,
         false, "Public key export failed: HRESULT 0x80090029", false},
        {"export and signing fail", "status",
         [](FakeKeyProvider& p) {
             p.exportStatus = 0x80090029;
             p.sign = 0x80280400;
         },
         true, true, false, "Public key export failed: HRESULT 0x80090029 Signing failed: HRESULT 0x80280400", false},
        {"export gives no bytes", "status", [](FakeKeyProvider& p) { p.blob.clear(); }, true, true, false,
         "Public key export failed: the exported key is empty", false},
        // No challenge of a predictable nonce is signed.
        {"random source fails", "challenge", [](FakeKeyProvider& p) { p.randomWorks = false; }, true, true, false,
         kNoRandom, false},
        {"create, then the random source fails", "create",
         [](FakeKeyProvider& p) {
             p.open = kNteBadKeyset;
             p.randomWorks = false;
         },
         true, true, false, std::string(kCreated) + " " + kNoRandom, false},
    };
    for (const Case& c : cases) {
        FakeKeyProvider p;
        c.setup(p);
        const TpmKeyResult r = RunTpmKeyActionWith(p, c.action, u"");
        EXPECT_EQ(r.providerOk, c.providerOk) << c.what;
        EXPECT_EQ(r.exists, c.exists) << c.what;
        EXPECT_EQ(r.challengeOk, c.challengeOk) << c.what;
        EXPECT_EQ(r.message, c.message) << c.what;
        EXPECT_EQ(KeyStateUnreadable(r), c.unreadable) << c.what;
        EXPECT_EQ(r.nonce.empty(), r.signature.empty()) << c.what;
        if (!c.exists) {
            EXPECT_TRUE(r.nonce.empty()) << c.what;
        }
        if (c.providerOk) {
            EXPECT_EQ(p.openedName, u"VornixQuelm-DeviceKey") << c.what;
        }
        if (std::string(c.what).find("random") != std::string::npos) {
            EXPECT_TRUE(p.signedDigest.empty()) << c.what;
        }
        EXPECT_EQ(p.deletes, std::string(c.what) == "delete" || std::string(c.what) == "delete refused" ? 1 : 0) << c.what;
    }
}

TEST(TpmKey, ChallengeIsTheDigestOfTheFreshNonce) {
    FakeKeyProvider p;
    p.open = kNteBadKeyset;
    const TpmKeyResult r = RunTpmKeyActionWith(p, "create", kSelfTestKeyName);
    EXPECT_EQ(p.createdName, u"VornixQuelm-SelfTest");
    std::string challenge = "VornixQuelm/challenge/v1:";
    for (int i = 0; i < 32; ++i) challenge.push_back(static_cast<char>(i));
    EXPECT_EQ(p.signedDigest, Sha256(challenge.data(), challenge.size()));
    EXPECT_EQ(r.nonce, "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
    EXPECT_EQ(r.signature, HexEncode(std::vector<uint8_t>(64, 0xA5)));
    EXPECT_EQ(r.publicKeyHash, Sha256Hex(p.blob.data(), p.blob.size()).substr(0, 32));
    EXPECT_EQ(r.algorithm, "ECDSA_P256");
    EXPECT_FALSE(r.exportable);
    EXPECT_GE(r.signMs, 0.0);
}

TEST(TpmKey, Json) {
    EXPECT_EQ(TpmKeyResultToJson(TpmKeyResult{}),
              "{\"type\":\"tpmkey\",\"providerOk\":false,\"exists\":false,\"challengeOk\":false,\"exportable\":false,"
              "\"message\":\"\",\"algorithm\":\"\",\"publicKeyHash\":\"\",\"nonce\":\"\",\"signature\":\"\",\"signMs\":0}");
    TpmKeyResult r;
    r.providerOk = r.exists = r.challengeOk = true;
    r.message = "say \"hi\"\n";
    r.algorithm = "ECDSA_P256";
    r.publicKeyHash = "AB";
    r.nonce = "01";
    r.signature = "02";
    r.signMs = 12.5;
    EXPECT_EQ(TpmKeyResultToJson(r),
              "{\"type\":\"tpmkey\",\"providerOk\":true,\"exists\":true,\"challengeOk\":true,\"exportable\":false,"
              "\"message\":\"say \\\"hi\\\"\\n\",\"algorithm\":\"ECDSA_P256\",\"publicKeyHash\":\"AB\",\"nonce\":\"01\","
              "\"signature\":\"02\",\"signMs\":12.5}");
}

TEST(TpmKey, SelfTestExitCodeAndLines) {
    const char* kSame = "yes (public key hash stable across opens)";
    const char* kOther = "NO (public key hash stable across opens)";
    const char* kFresh = "fresh per challenge";
    struct Case {
        const char* what;
        bool created, verified, stillThere, unreadableAfter, sameHash;
        int code;
        const char* after;
        const char* sameKey;
        const char* nonce;
    } cases[] = {
        {"round trip", true, true, false, false, true, 0, "removed", kSame, kFresh},
        {"the key changed between opens", true, true, false, false, false, 0, "removed", kOther, kFresh},
        // Without a key or a signed challenge there is nothing to compare.
        {"creation failed", false, false, false, false, false, 1, "removed", "skipped", "skipped"},
        {"the challenge was not signed", true, false, false, false, true, 1, "removed", "skipped", "skipped"},
        {"delete left the key", true, true, true, false, true, 1, "STILL PRESENT", kSame, kFresh},
        {"state unreadable afterwards", true, true, false, true, true, 1, "could not be read", kSame, kFresh},
    };
    for (const Case& c : cases) {
        std::vector<std::string> actions;
        int challenges = 0;
        auto run = [&](const std::string& action, const std::u16string& name) {
            EXPECT_EQ(name, u"VornixQuelm-SelfTest");
            actions.push_back(action);
            TpmKeyResult r;
            r.providerOk = true;
            if (action == "create") {
                r.exists = c.created;
                r.message = c.created ? kCreated : "Key creation failed: HRESULT 0x80090009";
            } else if (action == "challenge") {
                // As the action answers: no key, or a failed signature, gives no hash and no nonce.
                r.exists = c.created;
                r.challengeOk = c.verified;
                r.signMs = 3.4;
                r.message = "m";
                if (c.verified) {
                    r.publicKeyHash = c.sameHash || challenges == 0 ? "HASH" : "OTHER";
                    r.nonce = challenges++ == 0 ? "N1" : "N2";
                }
            } else if (action == "delete") {
                r.message = "The TPM-bound key was deleted.";
            } else {
                r.exists = c.stillThere;
                r.openStatus = c.unreadableAfter ? 0x80280921 : c.stillThere ? 0 : kNteBadKeyset;
            }
            return r;
        };
        std::string out;
        const int code = RunSelfTestWith(run, [&](const std::string& line) { out += line; });
        EXPECT_EQ(code, c.code) << c.what;
        EXPECT_EQ(actions, (std::vector<std::string>{"create", "challenge", "challenge", "delete", "status"})) << c.what;
        EXPECT_NE(out.find(std::string("  create    : ") + (c.created ? "ok | " + std::string(kCreated)
                                                                          : std::string("FAILED | Key creation failed")) ),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find(std::string("  challenge : ") + (c.verified ? "verified" : "FAILED") + " | 3 ms | m\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(out.find(std::string("  same key  : ") + c.sameKey + "\n"), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("  nonce     : ") + c.nonce + "\n"), std::string::npos) << out;
        EXPECT_NE(out.find("  delete    : The TPM-bound key was deleted.\n"), std::string::npos) << out;
        EXPECT_TRUE(out.size() > 2 && out.substr(out.size() - 2) == "\n\n") << out;
        EXPECT_NE(out.find(std::string("  after     : ") + c.after + "\n\n"), std::string::npos) << out;
        EXPECT_EQ(out.rfind("\nVornixQuelm 1.4.0 self-test: TPM-bound key (Microsoft Platform Crypto Provider)\n", 0), 0u);
    }
}

}  // namespace
}  // namespace vorq
