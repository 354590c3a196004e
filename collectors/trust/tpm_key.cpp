#include "collectors/trust/tpm_key.h"

#include <chrono>
#include <cmath>

#include "core/hash.h"
#include "core/json.h"
#include "core/report.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr char kChallengePrefix[] = "VornixQuelm/challenge/v1:";

void Append(std::string& message, const std::string& text) {
    if (!message.empty()) message += ' ';
    message += text;
}

}  // namespace

TpmKeyResult RunTpmKeyActionWith(TpmKeyProvider& p, const std::string& action, const std::u16string& name) {
    TpmKeyResult r;
    const uint32_t providerStatus = p.OpenProvider();
    if (providerStatus != 0) {
        r.message = "Microsoft Platform Crypto Provider unavailable: " + p.StatusText(providerStatus);
        return r;
    }
    r.providerOk = true;
    r.openStatus = p.OpenKey(name.empty() ? std::u16string(kDeviceKeyName) : name);
    // Only "no such key" means there is none; lockout, not ready or access
    // denied leave the key's state unknown and say so.
    if (r.openStatus != 0 && r.openStatus != kNteBadKeyset) {
        r.message = "The TPM-bound key's state could not be read: " + p.StatusText(r.openStatus);
        return r;
    }
    const bool opened = r.openStatus == 0;
    if (action == "delete") {
        if (!opened) {
            r.message = "There is no TPM-bound key to delete.";
        } else {
            const uint32_t st = p.DeleteKey();
            r.message = st == 0 ? "The TPM-bound key was deleted." : "Delete failed: " + p.StatusText(st);
        }
        return r;
    }
    if (!opened) {
        if (action != "create") {
            r.message = "No TPM-bound key has been created on this account.";
            return r;
        }
        const uint32_t st = p.CreateKey(name.empty() ? std::u16string(kDeviceKeyName) : name);
        if (st != 0) {
            r.message = "Key creation failed: " + p.StatusText(st);
            return r;
        }
        r.message = "Application key created with Microsoft Platform Crypto Provider (ECDSA P-256).";
    }
    r.exists = true;

    std::vector<uint8_t> blob;
    const uint32_t exportStatus = p.ExportPublicBlob(blob);
    if (exportStatus != 0) blob.clear();
    if (!blob.empty()) r.publicKeyHash = Sha256Hex(blob.data(), blob.size()).substr(0, 32);
    r.algorithm = p.AlgorithmName();
    uint32_t policy = 0;
    r.exportable = p.ExportPolicy(policy) && policy != 0;

    std::vector<uint8_t> nonce(32);
    if (!p.Random(nonce.data(), nonce.size())) {
        // A predictable nonce would make the signature replayable: send nothing.
        Append(r.message, "Challenge failed: the system random number generator failed, so no challenge was signed.");
        return r;
    }
    std::string challenge = kChallengePrefix;
    challenge.append(reinterpret_cast<const char*>(nonce.data()), nonce.size());
    const std::vector<uint8_t> digest = Sha256(challenge.data(), challenge.size());

    std::vector<uint8_t> signature;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t signStatus = p.SignHash(digest, signature);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start);
    r.signMs = static_cast<double>(ns.count()) / 1e6;

    if (blob.empty() || signStatus != 0) {
        // Name the step that failed with its own status.
        if (blob.empty())
            Append(r.message, "Public key export failed: " +
                                  (exportStatus != 0 ? p.StatusText(exportStatus) : std::string("the exported key is empty")));
        if (signStatus != 0) Append(r.message, "Signing failed: " + p.StatusText(signStatus));
        return r;
    }
    r.challengeOk = p.Verify(blob, digest, signature);
    r.nonce = HexEncode(nonce);
    r.signature = HexEncode(signature);
    if (r.message.empty())
        r.message = r.challengeOk ? "The local signing self-test verified the signature with the public key; TPM "
                                    "residency and platform identity were not attested."
                                  : "Signature did not verify.";
    return r;
}

std::string TpmKeyResultToJson(const TpmKeyResult& r) {
    JsonWriter w;
    w.BeginObject();
    w.WriteString("type", "tpmkey");
    w.WriteBool("providerOk", r.providerOk);
    w.WriteBool("exists", r.exists);
    w.WriteBool("challengeOk", r.challengeOk);
    w.WriteBool("exportable", r.exportable);
    w.WriteString("message", r.message);
    w.WriteString("algorithm", r.algorithm);
    w.WriteString("publicKeyHash", r.publicKeyHash);
    w.WriteString("nonce", r.nonce);
    w.WriteString("signature", r.signature);
    w.WriteNumber("signMs", r.signMs);
    w.EndObject();
    return w.Take();
}

int RunSelfTestWith(const TpmKeyActionFn& run, const std::function<void(const std::string&)>& print) {
    const std::u16string name = kSelfTestKeyName;
    print(Format("\nVornixQuelm %s self-test: TPM-bound key (Microsoft Platform Crypto Provider)\n", kToolVersion));
    const TpmKeyResult r1 = run("create", name);
    print(Format("  create    : %s | %s | exportable=%s\n", r1.exists ? "ok" : "FAILED", r1.message.c_str(),
                 YesNo(r1.exportable)));
    const TpmKeyResult r2 = run("challenge", name);
    print(Format("  challenge : %s | %.0f ms | %s\n", r2.challengeOk ? "verified" : "FAILED", r2.signMs,
                 r2.message.c_str()));
    const TpmKeyResult r3 = run("challenge", name);
    // Two signed challenges are needed to compare keys and nonces; without
    // them (no key was created, a challenge was not signed) there is nothing to judge.
    const bool keysRead = !r2.publicKeyHash.empty() && !r3.publicKeyHash.empty();
    const bool noncesRead = !r2.nonce.empty() && !r3.nonce.empty();
    print(Format("  same key  : %s%s\n", !keysRead ? "skipped" : r2.publicKeyHash == r3.publicKeyHash ? "yes" : "NO",
                 keysRead ? " (public key hash stable across opens)" : ""));
    print(Format("  nonce     : %s\n", !noncesRead ? "skipped" : r2.nonce == r3.nonce ? "REUSED" : "fresh per challenge"));
    const TpmKeyResult r4 = run("delete", name);
    print(Format("  delete    : %s\n", r4.message.c_str()));
    const TpmKeyResult r5 = run("status", name);
    // A key whose state cannot be read is not reported as removed.
    const bool unknown = KeyStateUnreadable(r5);
    print(Format("  after     : %s\n\n", r5.exists ? "STILL PRESENT" : unknown ? "could not be read" : "removed"));
    return !r1.exists || !r2.challengeOk || r5.exists || unknown ? 1 : 0;
}

}  // namespace vorq
