#include "collectors/trust/drivers.h"

#include <algorithm>
#include <cctype>

#include "collectors/devices/devices.h"
#include "core/text.h"

namespace vorq {

namespace {

struct ClassInfo {
    const char* cls;
    const char* meaning;
};

// In the order of the summary table.
constexpr ClassInfo kClasses[] = {
    {"Unsigned", "no signature - loads only with test signing or a disabled code integrity policy"},
    {"Invalid signature", "signature does not verify"},
    {"Invalid (hash mismatch)", "file modified after signing"},
    {"Revoked", "signing certificate revoked"},
    {"Explicitly distrusted", "certificate explicitly distrusted by Windows"},
    {"Untrusted root (test / self-signed)", "chain ends in a test or private root"},
    {"Third-party Authenticode", "legacy cross-signed vendor signature, no Microsoft review"},
    {"Valid chain, expired certificate", "old vendor signature without timestamp"},
    {"Attestation-signed", "Microsoft-signed after attestation, not HLK-tested"},
    {"Microsoft hardware-signed", "Windows Hardware Compatibility Publisher"},
    {"WHQL", "HLK-tested, Windows Hardware Compatibility Program"},
    {"Microsoft-signed", "signed by another Microsoft production certificate"},
    {"Inbox (Windows component)", "part of Windows"},
    {"Image not found", "image path not resolvable from user mode"},
};

constexpr char kEkuAttestation[] = "1.3.6.1.4.1.311.10.3.5.1";
constexpr char kEkuWhql[] = "1.3.6.1.4.1.311.10.3.5";
constexpr uint32_t kExpandFirstTry = 520;

bool IsInbox(std::string_view cls) { return cls.substr(0, 5) == "Inbox"; }

bool HasEku(const SignerInfo& s, std::string_view oid) {
    return std::find(s.ekus.begin(), s.ekus.end(), oid) != s.ekus.end();
}


struct VendorEvidence {
    std::string name;
    uint32_t drivers = 0, certified = 0, attestation = 0, legacy = 0, bad = 0;
};

}  // namespace

std::u16string ExpandDriverPath(const std::u16string& path, const ExpandEnvFn& expand) {
    std::u16string buf(kExpandFirstTry, u'\0');
    uint32_t need = expand(path, buf.data(), kExpandFirstTry);
    // A need above the buffer means the buffer holds no expansion; the
    // environment may grow between calls, so try a few times.
    for (int attempt = 0; need > buf.size() && attempt < 3; ++attempt) {
        buf.assign(need, u'\0');
        need = expand(path, buf.data(), need);
    }
    if (need == 0 || need > buf.size()) return path;
    buf.resize(need);
    const size_t end = buf.find(u'\0');
    if (end != std::u16string::npos) buf.resize(end);
    return buf;
}

std::u16string ResolveDriverImagePath(std::u16string_view raw, std::u16string_view service,
                                      std::u16string_view windowsDir, const ExpandEnvFn& expand) {
    std::u16string win(windowsDir);
    if (raw.empty()) return win + u"\\System32\\drivers\\" + std::u16string(service) + u".sys";
    std::u16string path(raw);
    if (path.size() > 1 && path[0] == u'"') {
        const size_t close = path.find(u'"', 1);
        path = path.substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1);
    }
    if (WStartsWithNoCase(path, u"\\SystemRoot\\"))
        path = win + path.substr(11);
    else if (WStartsWithNoCase(path, u"\\??\\"))
        path = path.substr(4);
    else if (WStartsWithNoCase(path, u"System32\\") || WStartsWithNoCase(path, u"SysWOW64\\"))
        path = win + u"\\" + path;
    else if (WStartsWithNoCase(path, u"\\Windows\\"))
        path = win.substr(0, 2) + path;
    return ExpandDriverPath(path, expand);
}

std::string NormalizeCompanyName(std::string_view text) {
    std::string key;
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x80 && std::isalnum(u)) key.push_back(static_cast<char>(std::tolower(u)));
    }
    static constexpr std::string_view kSuffixes[] = {"incorporated", "corporation", "corp", "inc", "llc",
                                                     "ltd",          "limited",     "gmbh", "co"};
    for (std::string_view suffix : kSuffixes) {
        if (key.size() >= suffix.size() + 3 && key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0) {
            key.resize(key.size() - suffix.size());
            break;
        }
    }
    // A name without ASCII letters or digits would otherwise share the empty
    // key with every other such name, merging unrelated publishers.
    if (key.empty()) return std::string(text);
    return key;
}

void ClassifySignature(DriverRow& row, uint32_t result, const SignerInfo& signer, std::string resultText) {
    row.result = result;
    row.signer = signer.signer;
    row.chainRoot = signer.chainRoot;
    if (result == 0) {
        const std::string& n = signer.signer;
        if (EqualsNoCase(n, "Microsoft Windows") || EqualsNoCase(n, "Microsoft Windows Publisher") ||
            StartsWithNoCase(n, "Microsoft Windows Early Launch"))
            row.signatureClass = "Inbox (Windows component)";
        else if (n == "Microsoft Windows Hardware Compatibility Publisher")
            row.signatureClass = HasEku(signer, kEkuAttestation) ? "Attestation-signed"
                                 : HasEku(signer, kEkuWhql)      ? "WHQL"
                                                                 : "Microsoft hardware-signed";
        else if (ContainsNoCase(n, "Microsoft"))
            row.signatureClass = "Microsoft-signed";
        else
            row.signatureClass = "Third-party Authenticode";
        row.detail.clear();
        return;
    }
    switch (result) {
        case 0x80096010u: row.signatureClass = "Invalid (hash mismatch)"; break;
        case 0x800B0001u:
        case 0x800B0003u:
        case 0x800B0100u: row.signatureClass = "Unsigned"; break;
        case 0x800B0101u: row.signatureClass = "Valid chain, expired certificate"; break;
        case 0x800B0109u:
        case 0x800B010Au:
        case 0x800B010Du: row.signatureClass = "Untrusted root (test / self-signed)"; break;
        case 0x800B010Cu: row.signatureClass = "Revoked"; break;
        case 0x800B0111u: row.signatureClass = "Explicitly distrusted"; break;
        default: row.signatureClass = kClassInvalidSignature; break;
    }
    row.detail = std::move(resultText);
}

void DecideSignature(DriverRow& row, const std::optional<SignatureVerdict>& catalog,
                     const std::function<SignatureVerdict()>& embedded,
                     const std::function<std::string(uint32_t)>& resultText) {
    if (catalog && catalog->result == 0) {
        row.viaCatalog = true;
        ClassifySignature(row, 0, catalog->signer, {});
        return;
    }
    const SignatureVerdict own = embedded();
    const SignatureVerdict& decides = own.result != 0 && catalog ? *catalog : own;
    row.viaCatalog = &decides != &own;
    ClassifySignature(row, decides.result, decides.signer, decides.result ? resultText(decides.result) : std::string());
}

int RankSignatureClass(std::string_view cls) {
    if (IsInbox(cls)) return 6;
    if (cls == "WHQL" || cls == "Microsoft-signed" || cls == "Microsoft hardware-signed") return 5;
    if (cls == "Attestation-signed") return 4;
    if (cls == "Third-party Authenticode") return 3;
    if (cls == kClassImageNotFound) return 2;
    return 0;
}

const char* SignatureClassTag(std::string_view cls) {
    if (IsInbox(cls) || cls == "WHQL" || cls == "Microsoft-signed" || cls == "Microsoft hardware-signed") return "[ok] ";
    if (cls == "Attestation-signed" || cls == "Third-party Authenticode" || cls == "Valid chain, expired certificate" ||
        cls == kClassImageNotFound)
        return "[info] ";
    return "[bad] ";
}

uint32_t CountForClass(const std::map<std::string, uint32_t>& counts, std::string_view cls) {
    const auto it = counts.find(std::string(cls));
    return it == counts.end() ? 0 : it->second;
}

void MarkVerificationFailure(DriverRow& row, uint32_t code, std::string detail) {
    row.result = code;
    row.signatureClass = kClassInvalidSignature;
    row.detail = std::move(detail);
    row.viaCatalog = false;
}

unsigned DriverPoolThreads(unsigned hardware) {
    if (hardware == 0) return 4;
    return std::min(hardware, 8u);
}

void CollectDriversFrom(Snapshot& s, DriversSource source) {
    if (!source.failure.empty()) {
        AddFailureNote(s, kDriversOrigin, source.failure);
        return;
    }
    std::vector<DriverRow>& rows = source.rows;
    std::stable_sort(rows.begin(), rows.end(), [](const DriverRow& a, const DriverRow& b) {
        const int ra = RankSignatureClass(a.signatureClass), rb = RankSignatureClass(b.signatureClass);
        return ra != rb ? ra < rb : a.name < b.name;
    });

    Table drivers = MakeTable(
        "drivers", table::kDrivers, "Running kernel drivers",
        {{"Driver", Role::Maker}, {"Description", Role::Maker}, {"Company", Role::Maker}, {"Version", Role::Maker}, {"Signature class", Role::Program}, {"Signer", Role::Maker}, {"Chain root", Role::Maker}, {"Via", Role::Program}, {"PnP devices", Role::Program}, {"Image path", Role::Maker}},
        "Classification from the signer certificate: Inbox = Windows component; WHQL = HLK-tested Windows Hardware "
        "Compatibility signature; Attestation = Microsoft-signed without HLK testing; Third-party Authenticode = legacy "
        "cross-signed. Signed is not the same as safe - Microsoft maintains a blocklist of vulnerable signed drivers.");
    std::map<std::string, uint32_t> counts;
    std::map<std::string, VendorEvidence> vendors;
    for (const DriverRow& r : rows) {
        ++counts[r.signatureClass];
        const std::string tag = SignatureClassTag(r.signatureClass);
        const std::string& publisher = !r.company.empty() ? r.company : !r.signer.empty() ? r.signer : "(unknown)";
        VendorEvidence& v = vendors[NormalizeCompanyName(publisher)];
        if (v.name.empty()) v.name = publisher;
        ++v.drivers;
        if (tag == "[ok] ")
            ++v.certified;
        else if (r.signatureClass == "Attestation-signed")
            ++v.attestation;
        else if (r.signatureClass == "Third-party Authenticode" || r.signatureClass == "Valid chain, expired certificate")
            ++v.legacy;
        else if (tag == "[bad] ")
            ++v.bad;
        std::string cls = tag + r.signatureClass;
        if (!r.detail.empty() && tag != "[ok] ") cls += " - " + r.detail;
        AddRow(drivers, {r.name, r.description.empty() ? r.displayName : r.description, r.company, r.version,
                         std::move(cls), r.signer, r.chainRoot,
                         r.viaCatalog ? "catalog" : r.imageFound ? "embedded" : "-",
                         GetFact(s, std::string(fact::kSvcDevPrefix) + ToLower(r.name)), r.imagePath});
    }

    Table summary = MakeTable("drivers", table::kDriversSummary, "Driver trust summary",
                              {{"Signature class", Role::Program}, {"Drivers", Role::Program}, {"Meaning", Role::Program}});
    for (const ClassInfo& c : kClasses) {
        const uint32_t n = CountForClass(counts, c.cls);
        if (n == 0) continue;
        AddRow(summary, {std::string(SignatureClassTag(c.cls)) + c.cls, std::to_string(n), c.meaning});
    }

    Table vendorTable = MakeTable(
        "drivers", table::kDriversVendors, "Per-publisher evidence",
        {{"Publisher", Role::Maker}, {"Running drivers", Role::Program}, {"Inbox / WHQL", Role::Program}, {"Attestation-signed", Role::Program}, {"Legacy Authenticode", Role::Program}, {"Unsigned / invalid", Role::Program}, {"Certified share", Role::Program}},
        "Evidence per publisher computed from the drivers actually loaded on this machine - not a global reputation "
        "score.");
    std::vector<const VendorEvidence*> ordered;
    for (const auto& [key, v] : vendors) ordered.push_back(&v);
    std::stable_sort(ordered.begin(), ordered.end(), [](const VendorEvidence* a, const VendorEvidence* b) {
        return a->drivers != b->drivers ? a->drivers > b->drivers : a->name < b->name;
    });
    for (const VendorEvidence* v : ordered) {
        const uint32_t share = v->certified * 100 / (v->drivers < 2 ? 1 : v->drivers);
        const char* prefix = v->bad > 0 ? "[bad] " : share == 100 ? "[ok] " : "[info] ";
        AddRow(vendorTable, {v->name, std::to_string(v->drivers), std::to_string(v->certified),
                             std::to_string(v->attestation), std::to_string(v->legacy), std::to_string(v->bad),
                             prefix + Format("%d%%", static_cast<int>(share))});
    }

    s.tables.push_back(std::move(summary));
    s.tables.push_back(std::move(vendorTable));
    s.tables.push_back(std::move(drivers));

    auto sum = [&](std::initializer_list<const char*> classes) {
        uint32_t n = 0;
        for (const char* c : classes) n += CountForClass(counts, c);
        return std::to_string(n);
    };
    uint32_t inbox = 0;
    for (const auto& [cls, n] : counts)
        if (IsInbox(cls)) inbox += n;
    SetFact(s, fact::kDrvTotal, std::to_string(rows.size()));
    SetFact(s, fact::kDrvInbox, std::to_string(inbox));
    SetFact(s, fact::kDrvWhql, sum({"Microsoft hardware-signed", "Microsoft-signed", "WHQL"}));
    SetFact(s, fact::kDrvAttest, sum({"Attestation-signed"}));
    SetFact(s, fact::kDrvAuthenticode, sum({"Valid chain, expired certificate", "Third-party Authenticode"}));
    SetFact(s, fact::kDrvUntrusted, sum({"Untrusted root (test / self-signed)"}));
    SetFact(s, fact::kDrvUnsigned,
            sum({"Explicitly distrusted", "Revoked", "Invalid (hash mismatch)", "Invalid signature", "Unsigned"}));
    SetFact(s, fact::kDrvNotFound, sum({kClassImageNotFound}));
}

}  // namespace vorq
