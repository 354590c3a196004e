#include "collectors/trust/windows_os.h"

#include <algorithm>

#include "collectors/trust/identifiers.h"
#include "core/masked_values.h"
#include "core/placeholders.h"
#include "core/text.h"
#include "core/wmi_value.h"

namespace vorq {

namespace {

constexpr char kCategory[] = "Windows";
constexpr char kSystemIdSource[] = "Windows.System.Profile.SystemIdentification";

struct IdContext {
    Snapshot& s;
    Table& ids;
    void Add(const char* key, const std::string& name, const std::string& value, SignalScope scope, int32_t weight,
             const char* group, Role role, const std::string& source, const std::string& note = std::string()) {
        AddIdentifierRow(s, ids, kCategory, key, name, value, scope, weight, group, role, source, note);
    }
};

Signal WindowsSignal(const char* key, Sentence name, std::string value, SignalScope scope, int32_t weight,
                     std::string group, Role role, std::string source, std::string note) {
    return MakeSignal(key, kCategory, std::move(name), std::move(value), scope, weight, std::move(group), role,
                      std::move(source), std::move(note), 1.0);
}

std::string BuildText(const std::string& number, const std::string& fallback) {
    return number.empty() ? fallback : number;
}

// Earlier installations, oldest first; returns the number of entries.
Table BuildLineage(IdContext& ctx, const std::vector<LineageSource>& sources) {
    Table t = MakeTable("windows", table::kWindowsLineage, "Installation lineage (Setup\\Source OS)",
                        {{"#", Role::Program}, {"Product", Role::Maker}, {"Version / build", Role::Maker}, {"Edition", Role::Maker}, {"Installation type", Role::Maker}, {"Installed", Role::Time}, {"Build GUID", Role::Identifier}, {"Product ID", Role::Identifier}, {"Entry", Role::Time}},
                        "Every earlier Windows version that was upgraded in place keeps a record under HKLM\\SYSTEM\\Setup; "
                        "the oldest entry dates the lineage, a clean install has none. Entry names, installation times, "
                        "build GUIDs and product IDs keep the mask of the current installation's values. No product key "
                        "field is read.");
    struct Entry {
        const LineageSource* src;
        std::string installed;
        int64_t sortKey;
    };
    std::vector<Entry> entries;
    for (const LineageSource& l : sources) {
        Entry e{&l, {}, 0};
        if (l.installTime && *l.installTime != 0) {
            e.installed = FormatFileTimeHighLow(static_cast<uint32_t>(*l.installTime >> 32),
                                                static_cast<uint32_t>(*l.installTime));
            e.sortKey = static_cast<int64_t>(*l.installTime);
        } else if (l.installDate && *l.installDate != 0) {
            e.installed = FormatUnixTimeUtc(*l.installDate);
            e.sortKey = (static_cast<int64_t>(*l.installDate) + 11644473600LL) * 10000000LL;
        }
        entries.push_back(std::move(e));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.sortKey < b.sortKey; });
    size_t n = 0;
    for (const Entry& e : entries) {
        const LineageSource& l = *e.src;
        AddRow(t, {std::to_string(++n), Trim(l.productName + " " + l.displayVersion),
                   Format("%s.%lu", BuildText(l.currentBuildNumber, l.currentBuild).c_str(),
                          static_cast<unsigned long>(l.ubr)),
                   l.editionId, l.installationType, e.installed, IsAllFGuidText(l.buildGuid) ? std::string() : l.buildGuid,
                   l.productId, l.entryName});
    }
    if (!entries.empty() && !entries.front().installed.empty()) {
        const std::string& first = entries.front().installed;
        ctx.Add(sig::kWinFirstInstall, "Original installation time (oldest Source OS entry)", first,
                SignalScope::PerInstall, 6, "os", Role::Identifier, "HKLM\\SYSTEM\\Setup\\Source OS (...)\\InstallTime",
                "survives in-place upgrades: dates the lineage of this installation");
        SetFact(ctx.s, fact::kWinFirstInstall, first);
    }
    SetFact(ctx.s, fact::kWinLineageCount, std::to_string(entries.size()));
    if (entries.empty()) t.note += " No earlier version recorded: a clean installation.";
    return t;
}

Table BuildProfiles(IdContext& ctx, const WindowsSource& in, int& users, int& services) {
    Table t = MakeTable("windows", table::kWindowsProfiles, "User profiles (ProfileList)",
                        {{"Account", Role::Program}, {"RID", Role::Maker}, {"Profile path", Role::Identifier}, {"Last loaded", Role::Time}, {"Last unloaded", Role::Time}, {"State", Role::Program}},
                        "Local, domain and Entra user profiles registered under HKLM\\...\\ProfileList (service and "
                        "system accounts are counted, not listed). The sequence of RIDs shows how many local accounts "
                        "were created on this installation; profile paths carry user names and keep their mask.");
    const std::string machineSid = GetFact(ctx.s, fact::kWinMachineSid);
    std::vector<std::string> rids;
    users = services = 0;
    for (const ProfileSource& p : in.profiles) {
        const ProfileClass c = ClassifyProfileSid(p.sid, machineSid, in.currentUserSid);
        if (c.kind == ProfileKind::Service) {
            ++services;
            continue;
        }
        ++users;
        const char* account = c.kind == ProfileKind::CurrentUser ? "current user"
                              : c.kind == ProfileKind::Entra     ? "Entra account"
                              : c.kind == ProfileKind::Local     ? "local account"
                                                                 : "domain account";
        // The folder is masked, and so are texts holding its short form. A
        // built-in account's, named after it in Windows' language, names
        // nobody; a renamed one's (Windows names the folder after the
        // account) is a person's.
        const std::string_view path = p.imagePath;
        const size_t end = path.find_last_not_of('\\');
        const size_t slash = end == std::string_view::npos ? end : path.find_last_of('\\', end);
        const std::string_view folder =
            end == std::string_view::npos ? std::string_view() : path.substr(slash + 1, end - slash);
        const bool builtIn = c.local && IsBuiltInRid(c.rid) && IsBuiltInAccountName(folder);
        if (!builtIn) {
            ctx.s.named.push_back({ValueKind::ProfileFolder, p.imagePath});
            if (!p.shortPath.empty()) ctx.s.named.push_back({ValueKind::ProfileFolder, p.shortPath});
        }
        AddRow(t, {account, c.local ? c.rid : std::string(), p.imagePath, FormatFileTimeHighLow(p.loadHigh, p.loadLow),
                   FormatFileTimeHighLow(p.unloadHigh, p.unloadLow),
                   Format("0x%lX", static_cast<unsigned long>(p.state))},
               {Role::Undeclared, Role::Undeclared, builtIn ? Role::Program : Role::Undeclared});
        if (c.local) rids.push_back(c.rid);
    }
    if (!rids.empty())
        ctx.s.signals.push_back(WindowsSignal(
            sig::kWinProfileRids, "Local account RIDs with a profile", Join(rids, ", "), SignalScope::PerInstall, 3,
            "os", Role::Maker, "HKLM\\...\\ProfileList",
            "account numbers created on this installation (1000 is the first account from OOBE); gaps mean deleted "
            "accounts"));
    return t;
}

std::string KeyText(const CertSource& c) {
    std::string alg = c.keyAlgorithmOid == "1.2.840.113549.1.1.1" ? "RSA"
                      : c.keyAlgorithmOid == "1.2.840.10045.2.1"  ? "ECC"
                      : c.keyAlgorithmOid.empty()                 ? "?"
                                                                  : c.keyAlgorithmOid;
    return Format("%s %lu", alg.c_str(), static_cast<unsigned long>(c.keyBits));
}

std::string DateOf(uint64_t fileTime) { return FormatFileTimeUtc(fileTime).substr(0, 10); }

Table BuildCertificates(IdContext& ctx, const WindowsSource& in) {
    Table t = MakeTable("windows", table::kWindowsCerts, "Machine certificates (Remote Desktop and personal store)",
                        {{"Store", Role::Program}, {"SHA-256 thumbprint", Role::Field}, {"Subject", Role::Field}, {"Issuer", Role::Field}, {"Valid from", Role::Field}, {"Valid to", Role::Field}, {"Key", Role::Program}, {"Kind", Role::Program}},
                        "Certificates in the machine's Remote Desktop and personal (My) stores. The self-signed Remote "
                        "Desktop certificate is generated per installation and presented to anyone who connects to the "
                        "RDP port. Every thumbprint here keeps its mask, and so do a certificate authority's "
                        "organization and the names and validity of certificates a CA issued to this machine or its "
                        "owner or that were made on this machine or by a person (self-signed ones). Shown are a tool's "
                        "default name such as localhost and a maker's own root certificate with its validity.");
    const std::string computer = in.computerName.value_or(std::string());
    // A built-in account's name, known by its RID and still the one Windows
    // gave it, names no one in a subject.
    const std::string user =
        IsUnrenamedBuiltInAccount(in.currentUserSid, in.machineSid, in.userName) ? std::string() : in.userName;
    int rdp = 0;
    for (const CertStoreSource& store : in.certStores) {
        if (!store.opened) {
            // Windows' error text.
            AddRow(t, {store.label, "[info] not readable: " + store.error, "", "", "", "", "", ""},
                   std::vector<Role>(8, Role::Program));
            continue;
        }
        for (const CertSource& c : store.certs) {
            const CertClass cls = ClassifyCertificate(c, !store.remoteDesktop, computer, user);
            for (const std::string& organization : cls.organizations)
                ctx.s.named.push_back({ValueKind::Organization, organization});
            // A certificate made here or issued to this machine dates the
            // installation (its setup, enrollment or join), so its validity is
            // written to the second, which no other text shares by chance, and
            // masked as the install time is. An organization's CA keeps its
            // days.
            const auto when = [&](uint64_t t) { return cls.datesHere ? FormatFileTimeUtc(t) : DateOf(t); };
            const std::string validTo = when(c.notAfter);
            const Role validity = cls.datesHere ? Role::Time : Role::Maker;
            AddRow(t, {store.label, c.thumbprint, c.subject, c.issuer, when(c.notBefore), validTo, KeyText(c), cls.kind},
                   {Role::Undeclared, Role::Identifier, cls.subject, cls.issuer, validity, validity});
            if (store.remoteDesktop && c.selfSigned) {
                ++rdp;
                ctx.s.signals.push_back(WindowsSignal(
                    sig::kWinRdpCert, {"Remote Desktop certificate (valid to {x1})", {{validTo, validity}}}, c.thumbprint,
                    SignalScope::PerInstall, 6, "os", Role::Identifier, "LocalMachine\\Remote Desktop certificate store",
                    "self-signed per installation; presented to anyone who connects to the RDP port"));
            }
        }
    }
    SetFact(ctx.s, fact::kWinRdpCerts, std::to_string(rdp));
    return t;
}

void AddSystemId(IdContext& ctx, const SystemIdResult& r) {
    if (!r.ok) {
        AddRow(ctx.ids, {"SystemIdForPublisher", "unavailable: " + r.error, "", kSystemIdSource},
               {Role::Undeclared, Role::Program});
        SetFact(ctx.s, fact::kWinSystemIdSource, "unavailable");
        return;
    }
    const std::string source = SystemIdSourceName(r.source);
    const bool hardware = r.source == 1 || r.source == 2;
    const std::string value = SystemIdValue(r.idHex);
    AddRow(ctx.ids,
           {"SystemIdForPublisher (source: " + source + ")", value, hardware ? "per-unit" : "per-install", kSystemIdSource},
           {Role::Undeclared, Role::Identifier});
    ctx.s.signals.push_back(WindowsSignal(
        sig::kWinSystemId, "SystemIdForPublisher (" + source + ")", value,
        hardware ? SignalScope::PerUnit : SignalScope::PerInstall, hardware ? 20 : 8, r.source == 1 ? "anchor" : "os",
        Role::Identifier, "WinRT SystemIdentification.GetSystemIdForPublisher",
        hardware ? "hardware-derived: survives OS reinstall" : "registry fallback: reset by reinstall"));
    SetFact(ctx.s, fact::kWinSystemIdSource, source);
}

Table BuildChid(Snapshot& s, const WindowsSource& in) {
    Table t = MakeTable("windows", table::kWindowsChid, "Computer hardware IDs (CHID)", {{"#", Role::Program}, {"CHID", Role::Maker}},
                        "Generated by Windows from SMBIOS manufacturer/family/product/SKU/BIOS fields; used for driver "
                        "targeting. Per-model, not per-unit.");
    for (size_t i = 0; i < in.chids.size(); ++i) AddRow(t, {std::to_string(i), in.chids[i]});
    if (!in.chid.empty())
        s.signals.push_back(WindowsSignal(sig::kWinChid, "Computer hardware ID (primary CHID)", in.chid,
                                          SignalScope::PerModel, 3, "firmware", Role::Maker,
                                          "SystemInformation\\ComputerHardwareId", ""));
    return t;
}

Table BuildOsTable(Snapshot& s, const WindowsSource& in, const std::string& product, const std::string& buildText,
                   size_t lineageCount, int users, int services) {
    Table t = MakeTable("windows", table::kWindowsOs, "Operating system", FieldColumns());
    auto row = [&](const char* name, const std::string& value, Role role = Role::Maker) {
        AddField(t, name, value, role);
    };
    // Texts Windows or the program gives: the same on every such installation.
    auto fixed = [&](const char* name, const std::string& value) { row(name, value, Role::Program); };
    fixed("Product", product);
    fixed("Edition", in.editionId);
    fixed("Version", in.displayVersion);
    fixed("Build", Format("%s.%lu", buildText.c_str(), static_cast<unsigned long>(in.ubr)));
    fixed("Build lab", in.buildLabEx);
    fixed("Installation type", in.installationType);
    fixed("Uptime", Format("%.1f hours", static_cast<double>(in.tickCount) / 3600000.0));
    fixed("Process elevation", in.elevated ? "[info] administrator (elevated)"
                                           : "[info] standard user - some identifiers need elevation");
    fixed("Locale / time zone", in.locale + " / " + in.timeZone);
    if (in.uiLanguages) fixed("Preferred UI languages", *in.uiLanguages);
    const std::vector<std::string>& layouts = in.preloadLayouts.empty() ? in.keyboardLayouts : in.preloadLayouts;
    if (!layouts.empty()) fixed("Keyboard layouts (KLID)", Join(layouts, ", "));
    if (!in.dnsDomain.empty()) {
        row("DNS domain", in.dnsDomain, Role::Identifier);
        s.named.push_back({ValueKind::DnsDomain, in.dnsDomain});
    }
    // The owner is a person's name and the organization's words name it: both
    // mask what restates them (core/masked_values.h).
    if (!in.registeredOwner.empty()) s.named.push_back({ValueKind::Owner, in.registeredOwner});
    if (!in.registeredOrganization.empty()) s.named.push_back({ValueKind::Organization, in.registeredOrganization});
    if (!in.registeredOwner.empty() || !in.registeredOrganization.empty())
        row("Registered owner / organization",
            !in.registeredOwner.empty() && !in.registeredOrganization.empty()
                ? in.registeredOwner + " / " + in.registeredOrganization
                : in.registeredOwner + in.registeredOrganization,
            Role::Typed);
    if (in.bootId) {
        fixed("Boot counter (BootId)", std::to_string(*in.bootId));
        SetFact(s, fact::kWinBootId, std::to_string(*in.bootId));
    }
    if (!in.geoName.empty() || !in.geoNation.empty())
        fixed("Region (Geo)", in.geoNation.empty() ? in.geoName : in.geoName + " (GEOID " + in.geoNation + ")");
    if (!in.httpsProgId.empty()) {
        // The suffix a browser adds per installation ("FirefoxURL-" and a
        // hash of its install path, Chromium's "." and one of the user's SID)
        // is masked; the handler's name stays readable.
        const auto [handler, suffix] = SplitHandlerSuffix(in.httpsProgId);
        row("Default browser (https handler)", std::string(handler));
        if (!suffix.empty()) row("Default browser handler suffix (per installation)", std::string(suffix), Role::Identifier);
    }
    if (!in.lastLoggedOnProvider.empty()) {
        const std::string name = CredentialProviderName(in.lastLoggedOnProvider);
        fixed("Last logon credential provider",
              name.empty() ? in.lastLoggedOnProvider : name + " - " + in.lastLoggedOnProvider);
    }
    if (!in.cloneTag.empty()) row("Setup clone tag (CloneTag)", in.cloneTag, Role::Identifier);
    if (in.generalizationState)
        fixed("Sysprep generalization state",
              std::to_string(*in.generalizationState) + (*in.generalizationState == 7 ? " (complete)" : ""));
    if (!in.imageState.empty()) fixed("Setup image state", in.imageState);
    if (in.upgrade) fixed("Upgrade flag (Setup\\Upgrade)", *in.upgrade != 0 ? "yes" : "no");
    fixed("Earlier Windows versions upgraded in place", std::to_string(lineageCount));
    fixed("User profiles", Format("%d user account(s), %d service account(s)", users, services));
    return t;
}

}  // namespace

int64_t ParseBuildNumber(std::string_view text) { return ParseWmiDecimal(text.data(), text.size()); }

std::string ApplyWindows11Rule(std::string productName, int64_t build) {
    static constexpr std::string_view kTen = "Windows 10";
    if (build < 22000 || productName.size() < kTen.size()) return productName;
    const size_t at = productName.find(kTen);
    if (at != std::string::npos) productName.replace(at, kTen.size(), "Windows 11");
    return productName;
}

bool IsAllFGuidText(std::string_view text) {
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c == 'F' || c == 'f' || c == '{' || c == '}' || c == '-'; });
}

std::string CredentialProviderName(std::string_view guid) {
    static constexpr struct {
        const char* guid;
        const char* name;
    } kProviders[] = {
        {"{60b78e88-ead8-445c-9cfd-0b87f74ea6cd}", "password"},
        {"{cb82ea12-9f71-446d-89e1-8d0924e1256e}", "PIN (Windows Hello)"},
        {"{8af662bf-65a0-4d0a-a540-a338a999d36f}", "face (Windows Hello)"},
        {"{bec09223-b018-416d-a0ac-523971b639f5}", "fingerprint (Windows Hello)"},
        {"{f8a1793b-7873-4046-b2a7-1f318747f427}", "FIDO security key"},
        {"{8fd7e19c-3bf7-489b-a72c-846ab3678c96}", "smart card"},
        {"{2135f72a-90b5-4ed3-a7f1-8bb705ac276a}", "picture password"},
    };
    if (guid.size() != 38) return {};
    const std::string lower = ToLower(std::string(guid));
    for (const auto& p : kProviders)
        if (lower == p.guid) return p.name;
    return {};
}

std::string FormatFileTimeHighLow(uint32_t high, uint32_t low) {
    if (high == 0 && low == 0) return {};
    return FormatFileTimeUtc((static_cast<uint64_t>(high) << 32) | low);
}

const char* SystemIdSourceName(int32_t source) {
    switch (source) {
        case 1: return "TPM";
        case 2: return "UEFI";
        case 3: return "Registry";
        default: return "None";
    }
}

std::string SystemIdValue(std::string_view idHex) { return Sha256HexOf(idHex.data(), idHex.size()).substr(0, 32); }

ProfileClass ClassifyProfileSid(const std::string& sid, const std::string& machineSid,
                                const std::string& currentUserSid) {
    ProfileClass c;
    const bool entra = sid.starts_with("S-1-12-1-");
    if (!entra && !sid.starts_with("S-1-5-21-")) return c;
    const size_t dash = sid.rfind('-');
    c.rid = dash == std::string::npos ? sid : sid.substr(dash + 1);
    c.local = !machineSid.empty() && dash != std::string::npos && sid.compare(0, dash, machineSid) == 0 &&
              dash == machineSid.size();
    c.kind = sid == currentUserSid ? ProfileKind::CurrentUser
             : entra               ? ProfileKind::Entra
             : c.local             ? ProfileKind::Local
                                   : ProfileKind::Domain;
    return c;
}

CertClass ClassifyCertificate(const CertSource& c, bool personal, const std::string& computerName,
                              const std::string& userName) {
    bool authority = false;
    if (c.basicConstraintsCa) {
        authority = *c.basicConstraintsCa;
    } else if (c.subjectTypeCa) {
        authority = *c.subjectTypeCa;
    } else if (c.selfSigned) {
        // "CA" as a word: the letters alone are in "localhost" and in host names.
        const std::vector<std::string_view> words = AsciiWords(c.subject);
        authority = std::any_of(words.begin(), words.end(), [](std::string_view w) { return EqualsNoCase(w, "CA"); }) ||
                    ContainsNoCase(c.subject, "Root") || ContainsNoCase(c.subject, "Authority");
    }
    const bool namesThisMachine = (!computerName.empty() && ContainsNoCase(c.subject, computerName)) ||
                                  (!userName.empty() && !IsBuiltInAccount(userName) && ContainsNoCase(c.subject, userName));
    // Every certificate in these stores is this machine's own, so every
    // thumbprint is masked, a CA's too ("localhost" with CA:TRUE, as openssl
    // makes it by default). A self-signed one was made here or by a person,
    // unless a maker's CA names itself ("Microsoft Root Certificate Authority
    // 2011"); an address names its owner, never a maker.
    const auto address = [](const std::string& name) {
        const size_t at = name.find('@');
        return at != std::string::npos && at > 0 && name.find(' ') == std::string::npos &&
               name.find('.', at) != std::string::npos;
    };
    const bool makers =
        c.selfSigned && !address(c.subject) && IsMakerName(CaOrganizationName(c.subject));
    CertClass r;
    if (authority) {
        // The organization's own CA, or one made here: its names follow the
        // organization rule; a self-signed one's are typed even where no
        // organization is left ("Test Authority").
        r.kind = c.selfSigned ? "root CA" : "intermediate CA";
        for (const std::string* name : {&c.subject, &c.issuer}) {
            if (name == &c.issuer && c.selfSigned) continue;
            Role& role = name == &c.subject ? r.subject : r.issuer;
            if (address(*name)) {
                role = Role::Typed;
                continue;
            }
            std::string organization = CaOrganizationName(*name);
            if (makers || IsMakerName(organization)) continue;
            if (c.selfSigned) role = Role::Typed;
            if (organization.empty()) continue;
            role = Role::Typed;
            r.organizations.push_back(std::move(organization));
        }
        if (c.selfSigned) r.issuer = r.subject;
    } else if (c.selfSigned) {
        // Its key pair was generated here, so its thumbprint identifies the
        // installation; a personal one's names were typed here ("localhost"
        // is a tool's default), the Remote Desktop one names this computer.
        r.kind = "self-signed";
        r.subject = r.issuer = !personal ? Role::Identifier : makers ? Role::Maker : Role::Typed;
    } else {
        // Issued to this machine or its user: the subject names them, the
        // issuer their organization's CA.
        r.kind = "end entity";
        r.subject = r.issuer = Role::Identifier;
        r.datesHere = true;
    }
    // A subject that names this computer or its user stays masked whatever the
    // kind, and so do its issuer and thumbprint.
    if (namesThisMachine) r.subject = r.issuer = Role::Identifier;
    // A certificate made here or for this machine by a person (self-signed and
    // no maker's) was made at setup, a renewal or by a developer, whatever it
    // calls itself.
    if (c.selfSigned && !makers) r.datesHere = true;
    return r;
}

std::pair<std::string_view, std::string_view> SplitHandlerSuffix(std::string_view progId) {
    const size_t at = progId.find_last_of("-.");
    if (at == std::string_view::npos || at == 0) return {progId, {}};
    const std::string_view suffix = progId.substr(at + 1);
    const bool perInstall = suffix.size() >= 8 && std::all_of(suffix.begin(), suffix.end(), [](char c) {
                                return IsAsciiDigit(c) || IsAsciiLetter(c);
                            });
    if (!perInstall) return {progId, {}};
    return {progId.substr(0, at), suffix};
}

std::string CaOrganizationName(std::string_view name) {
    // The words every CA's name is made of, not its owner's.
    static constexpr std::string_view kCaWords[] = {
        "root",      "ca",      "issuing",       "intermediate", "authority", "certificate", "certification",
        "certs",     "policy",  "sub",           "subordinate",  "server",    "client",      "trust",
        "primary",   "secure",  "class",         "enterprise",   "services",  "public",      "private",
        "localhost", "local",   "localdomain",   "test",         "dev",       "cert",        "signing"};
    std::vector<std::string> kept;
    size_t from = 0;
    while (from < name.size()) {
        const size_t space = std::min(name.find(' ', from), name.size());
        const std::string_view word = name.substr(from, space - from);
        from = space + 1;
        if (word.empty() || word == "-") continue;
        const std::string lower = ToLower(std::string(word));
        const bool generic = std::find(std::begin(kCaWords), std::end(kCaWords), lower) != std::end(kCaWords);
        if (!generic && std::none_of(word.begin(), word.end(), IsAsciiDigit)) kept.emplace_back(word);
    }
    return Join(kept, " ");
}

void CollectWindowsFrom(Snapshot& s, const WindowsSource& in) {
    const std::string buildText = BuildText(in.currentBuildNumber, in.currentBuild);
    const int64_t build = ParseBuildNumber(buildText);
    const std::string product = ApplyWindows11Rule(in.productName, build);
    const std::string osText = Format("%s %s (build %s.%lu)", product.c_str(), in.displayVersion.c_str(),
                                      buildText.c_str(), static_cast<unsigned long>(in.ubr));
    SetFact(s, fact::kOsBuild, std::to_string(build));
    SetFact(s, fact::kOsText, osText);

    Table ids = MakeIdentifierTable("windows", table::kWindowsIds, "Windows installation identifiers",
                                    "Secrets are intentionally not read: product keys (DigitalProductId, OEM MSDM key), "
                                    "BitLocker material, Windows Hello containers.");
    IdContext ctx{s, ids};
    ctx.Add("win.os", "Operating system", osText, SignalScope::State, 0, "", Role::Program,
            "HKLM\\...\\Windows NT\\CurrentVersion", "");
    ctx.Add("win.edition", "Edition ID", in.editionId, SignalScope::State, 0, "", Role::Program,
            "CurrentVersion\\EditionID", "");
    ctx.Add(sig::kWinMachineGuid, "MachineGuid", in.machineGuid, SignalScope::PerInstall, 30, "os", Role::Identifier,
            "HKLM\\SOFTWARE\\Microsoft\\Cryptography", "per installation; trivially editable by an administrator");
    ctx.Add(sig::kWinMachineSid, "Machine SID (account domain)", in.machineSid, SignalScope::PerInstall, 20, "os",
            Role::Identifier, "LsaQueryInformationPolicy", "cloned images share it unless generalized with sysprep");
    SetFact(s, fact::kWinMachineSid, in.machineSid);
    if (in.hwProfileGuid)
        ctx.Add("win.hw_profile", "Hardware profile GUID", *in.hwProfileGuid, SignalScope::PerInstall, 12, "os",
                Role::Identifier, "GetCurrentHwProfileW");
    ctx.Add("win.product_id", "Product ID", in.productId, SignalScope::PerInstall, 10, "os", Role::Identifier,
            "CurrentVersion\\ProductId", "not the product key");
    const std::string installed = in.installTime ? FormatFileTimeUtc(*in.installTime)
                                  : in.installDate ? FormatUnixTimeUtc(*in.installDate)
                                                   : std::string();
    ctx.Add("win.install_date", "Installation time", installed, SignalScope::PerInstall, 10, "os", Role::Identifier,
            "CurrentVersion\\InstallTime", "reset by a clean install or feature update");
    ctx.Add("win.sus_client_id", "Windows Update client ID (SusClientId)", in.susClientId, SignalScope::PerInstall, 12,
            "os", Role::Identifier, "HKLM\\...\\WindowsUpdate");
    SetFact(s, fact::kWinSus, in.susClientId.empty() ? "0" : "1");
    ctx.Add("win.sqm_machine_id", "Device ID (Settings > About; SQM MachineId)", in.sqmMachineId,
            SignalScope::PerInstall, 10, "os", Role::Identifier, "HKLM\\SOFTWARE\\Microsoft\\SQMClient\\MachineId",
            "the \"Device ID\" shown in Settings > System > About; also the diagnostic-data device ID");
    if (!IsAllFGuidText(in.buildGuid))
        ctx.Add("win.build_guid", "Build GUID", in.buildGuid, SignalScope::PerInstall, 4, "os", Role::Identifier,
                "CurrentVersion\\BuildGUID");
    if (in.computerName) s.named.push_back({ValueKind::Computer, *in.computerName});
    if (in.computerName)
        ctx.Add("win.computer_name", "Computer name", *in.computerName, SignalScope::PerInstall, 4, "os", Role::Identifier,
                "GetComputerNameExW");
    ctx.Add("win.defender_sense_id", "Defender for Endpoint sense ID", in.defenderSenseId, SignalScope::PerInstall, 10,
            "os", Role::Identifier, "HKLM\\...\\Windows Advanced Threat Protection",
            "present only when onboarded to Microsoft Defender for Endpoint");
    ctx.Add("win.entra_join", "Microsoft Entra join (device certificate thumbprint)", in.entraJoinFirstSubkey,
            SignalScope::PerInstall, 10, "os", Role::Identifier, "CloudDomainJoin\\JoinInfo");

    Table lineage = BuildLineage(ctx, in.lineage);
    int users = 0, services = 0;
    Table profiles = BuildProfiles(ctx, in, users, services);
    Table certs = BuildCertificates(ctx, in);
    AddSystemId(ctx, in.systemId);
    Table chid = BuildChid(s, in);
    Table os = BuildOsTable(s, in, product, buildText, lineage.rows.size(), users, services);

    s.deviceTitle.clear();
    s.tables.push_back(std::move(os));
    s.tables.push_back(std::move(ids));
    s.tables.push_back(std::move(lineage));
    s.tables.push_back(std::move(profiles));
    s.tables.push_back(std::move(certs));
    s.tables.push_back(std::move(chid));
}

}  // namespace vorq
