#include "collectors/trust/ek_cert.h"

#include "collectors/trust/tpm.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

size_t DerObjectLength(const std::vector<uint8_t>& b) {
    if (b.size() < 2 || b[0] != 0x30) return 0;
    if (b[1] < 0x80) return b[1] + 2u;
    const size_t count = b[1] & 0x7F;
    if (count < 1 || count > 3 || b.size() < 2 + count) return 0;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) length = length << 8 | b[2 + i];
    return length + count + 2;
}

int RememberCertHash(std::set<std::string>& seen, std::string hex) {
    if (hex.size() != 64) return 2;
    for (char& c : hex) {
        if (HexDigitValue(c) < 0) return 2;
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
    return seen.insert(hex).second ? 0 : 1;
}

int ComparePublicKeys(const PublicKeyParams& a, const PublicKeyParams& b) {
    if (a.type != b.type || a.keyBytes.empty() || b.keyBytes.empty()) return 0;
    if (a.type == kTpmAlgRsa) {
        if (a.keyBits != b.keyBits || a.keyBits == 0 || a.keyBits % 8 != 0) return 0;
        if (a.keyBytes.size() != a.keyBits / 8u || b.keyBytes.size() != a.keyBits / 8u) return 0;
        const auto exponent = [](uint32_t e) { return e == 0 ? 65537u : e; };
        if (exponent(a.exponent) != exponent(b.exponent)) return 0;
    } else if (a.type == kTpmAlgEcc) {
        const size_t coordinate = a.curve == 3 || a.curve == 0x20 ? 32 : a.curve == 4 ? 48 : a.curve == 5 ? 66 : 0;
        if (a.curve != b.curve || coordinate == 0) return 0;
        if (a.keyBytes.size() != 2 * coordinate || b.keyBytes.size() != 2 * coordinate) return 0;
    } else {
        return 0;
    }
    return a.keyBytes == b.keyBytes ? 1 : 2;
}

void DescribeEkCertificate(EkCertContext& ctx, const std::string& source, const std::string& label,
                           const std::vector<uint8_t>& der) {
    const std::string hash = Sha256Hex(der.data(), der.size());
    const int seen = RememberCertHash(ctx.seen, hash);
    if (seen == 1) return;
    if (seen == 2) {
        ++ctx.parseErrors;
        return;
    }
    const DecodedCert cert = DecodeCertificate(der.data(), der.size());
    if (!cert.parsed) ++ctx.parseErrors;
    ctx.thumbprints.push_back(ToLower(Sha1(der.data(), der.size())));
    std::string issuer = "(unparsed)", validity, binding = "-";
    if (cert.parsed) {
        issuer = cert.issuer;
        validity = cert.validity;
        const PublicAreaInfo& ek = cert.key.type == kTpmAlgRsa ? ctx.rsaEk : ctx.eccEk;
        if (cert.key.type == 0) {
            binding = "[info] Certificate public-key algorithm is not supported";
            ++ctx.notComparable;
        } else if (cert.key.keyBytes.empty()) {
            binding = "[info] Certificate public key is malformed";
            ++ctx.parseErrors;
        } else if (!ek.present || ek.params.keyBytes.empty()) {
            binding = "[info] not compared (matching EK not persisted)";
        } else {
            switch (ComparePublicKeys(cert.key, ek.params)) {
                case 1:
                    binding = "[ok] public key matches the TPM EK";
                    ++ctx.bound;
                    break;
                case 2:
                    binding = "[warn] public key differs from the TPM EK";
                    ++ctx.unbound;
                    break;
                default:
                    binding = "[info] Not compared: EK algorithm, size, curve or exponent is different or unsupported";
                    ++ctx.notComparable;
            }
        }
    }
    ++ctx.certificates;
    const std::string shortHash = hash.substr(0, 32);
    AddRow(ctx.table, {source, label, Format("%zu", der.size()), issuer, validity, binding, shortHash});
    ctx.s.signals.push_back(MakeSignal(sig::kTpmEkCert, "TPM", "EK certificate - " + label, shortHash,
                                       SignalScope::PerUnit, 30, "anchor", Role::Identifier,
                                       source == "TPM NV" ? "TBS TPM2_NV_Read" : "Windows EK certificate cache", "",
                                       1.0));
    ctx.s.signals.push_back(MakeSignal(sig::kTpmEkIssuer, "TPM", "EK certificate issuer", issuer, SignalScope::PerModel, 2,
                                       "anchor", Role::Maker, "X.509 issuer of the EK certificate", "", 1.0));
}

Table CollectEkCertificates(Snapshot& s, TpmChannel& ch, const TpmPropertyMap& props, const PublicAreaInfo& rsaEk,
                            const PublicAreaInfo& eccEk, const std::vector<CachedEkCert>& cache) {
    Table table = MakeTable("tpm", table::kTpmEkCerts, "Endorsement key certificates",
                            {{"Source", Role::Program}, {"Slot", Role::Program}, {"Size", Role::Maker}, {"Issuer", Role::Maker}, {"Valid", Role::Maker}, {"Binds this TPM's EK", Role::Program}, {"SHA-256", Role::Identifier}},
                            "Issued by the TPM manufacturer. Firmware TPMs often keep them online; Windows downloads "
                            "them into its EK certificate cache. \"Binds\" compares the certificate's public key with "
                            "the EK public area read from this TPM. Chain validation against the TCG vendor roots "
                            "belongs on the verifying backend.");
    EkCertContext ctx(s, table, rsaEk, eccEk);
    static const struct {
        uint32_t index;
        const char* name;
    } kSlots[] = {{0x01C00002, "RSA 2048 (low range)"}, {0x01C0000A, "ECC P-256 (low range)"},
                  {0x01C00012, "RSA 2048 (H-1)"},       {0x01C00014, "ECC P-256 (H-2)"},
                  {0x01C00016, "ECC P-384 (H-3)"},      {0x01C00018, "ECC P-521 (H-4)"},
                  {0x01C0001A, "SM2 P-256 (H-5)"},      {0x01C0001C, "RSA 3072 (H-6)"},
                  {0x01C0001E, "RSA 4096 (H-7)"}};
    const uint32_t chunk = NvChunkSize(props);
    uint32_t skipped = 0;
    for (const auto& slot : kSlots) {
        const NvPublicInfo info = NvReadPublic(ch, slot.index);
        if (!info.present) continue;
        const std::string label = Format("0x%08X %s", slot.index, slot.name);
        const std::string size = Format("%u", static_cast<unsigned>(info.dataSize));
        if (!NvAttributesReadable(info.attributes)) {
            ++skipped;
            AddRow(table, {"TPM NV", label, size,
                           "Not read: safe empty index authorization is unavailable; hierarchy authorization is not "
                           "attempted",
                           "", "", ""});
            continue;
        }
        TpmBytes bytes;
        CommandResult result;
        if (!NvRead(ch, slot.index, info, chunk, bytes, result, DerObjectLength)) {
            AddRow(table, {"TPM NV", label, size, CommandStatusText(result), "", "", ""});
            continue;
        }
        const size_t der = DerObjectLength(bytes);
        if (der != 0 && der <= bytes.size()) bytes.resize(der);  // index padding after the certificate
        DescribeEkCertificate(ctx, "TPM NV", label, bytes);
    }
    for (const CachedEkCert& c : cache) DescribeEkCertificate(ctx, "Windows cache", c.slot, c.der);
    if (ctx.certificates == 0 && table.rows.empty()) table.note += " None found in TPM NV or in the Windows cache.";
    SetFact(s, fact::kTpmEkCerts, Format("%u", ctx.certificates));
    SetFact(s, fact::kTpmEkBound, Format("%u", ctx.bound));
    SetFact(s, fact::kTpmEkUnbound, Format("%u", ctx.unbound));
    SetFact(s, fact::kTpmEkParseErrors, Format("%u", ctx.parseErrors));
    SetFact(s, fact::kTpmEkNotComparable, Format("%u", ctx.notComparable));
    SetFact(s, fact::kTpmNvSkipped, Format("%u", skipped));
    SetFact(s, fact::kTpmEkCertSha1s, Join(ctx.thumbprints, ","));
    return table;
}

}  // namespace vorq
