// Cost of a privacy-safe report against a raw one of the same snapshot. The
// snapshot is shaped like a real PC's scan (drivers, SMBIOS, CPUID leaves,
// identifier tables, network profiles, the VM catalogue; about 1,700 rows and
// 150 signals, a third of them sensitive, and the names collectors give the
// masking rules), then the same thirty times over.
// Figures: milliseconds per report, best of several rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "core/report.h"

namespace {

using vorq::AddRow;
using vorq::MakeSignal;
using vorq::MakeTable;
using vorq::Role;
using vorq::SignalScope;
using vorq::Snapshot;
using vorq::Table;

std::string Hex(unsigned n, int width) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s(static_cast<size_t>(width), '0');
    for (int i = width - 1; i >= 0 && n; --i, n >>= 4) s[static_cast<size_t>(i)] = kDigits[n & 15];
    return s;
}

std::string Guid(unsigned n) {
    return "{" + Hex(n * 2654435761u, 8) + "-" + Hex(n, 4) + "-4" + Hex(n * 7, 3) + "-8" + Hex(n * 13, 3) + "-" +
           Hex(n * 40503u, 8) + Hex(n, 4) + "}";
}

// One real scan's worth of content; `copy` makes every identifier different.
void AddScan(Snapshot& s, unsigned copy) {
    const std::string tag = "-" + std::to_string(copy);
    // What the collectors name: the account and computer as whole words, the
    // domain in its every form, a profile folder and its short form, the
    // owner's and the organization's words, a text a person chose.
    s.named.push_back({vorq::ValueKind::Account, "jquellbrandt" + tag});
    s.named.push_back({vorq::ValueKind::Computer, "HOLLOW-PC" + tag});
    s.named.push_back({vorq::ValueKind::DnsDomain, "corp" + tag + ".hollowmere.example"});
    s.named.push_back({vorq::ValueKind::NetbiosDomain, "HOLLOWMERE" + tag});
    s.named.push_back({vorq::ValueKind::ProfileFolder, "C:\\Users\\J\xC3\xBCrgen Quellbrandt" + tag});
    s.named.push_back({vorq::ValueKind::ProfileFolder, "C:\\Users\\JRGENQ~" + std::to_string(copy + 1)});
    s.named.push_back({vorq::ValueKind::Owner, "J\xC3\xBCrgen Quellbrandt" + tag});
    s.named.push_back({vorq::ValueKind::Organization, "Hollowmere" + tag + " GmbH"});
    s.named.push_back({vorq::ValueKind::Organization, "hollowmere" + tag + ".onmicrosoft.com"});
    s.named.push_back({vorq::ValueKind::Chosen, "\xE7\x8E\x8B\xE5\xB0\x8F\xE6\x98\x8E" + tag});
    for (unsigned i = 0; i < 150; ++i) {
        const bool sens = i % 3 == 0;
        s.signals.push_back(MakeSignal("sig." + std::to_string(i) + tag, "OS", "Signal " + std::to_string(i),
                                       sens ? Guid(copy * 1000 + i) : "value " + std::to_string(i % 7),
                                       SignalScope::PerInstall, 3, "os", sens ? vorq::Role::Identifier : vorq::Role::Maker,
                                       "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", "", 1.0));
    }
    Table ids = MakeTable("windows", "windows.ids" + tag, "Windows installation identifiers",
                          vorq::IdColumns());
    for (unsigned i = 0; i < 40; ++i)
        AddRow(ids, {"Identifier " + std::to_string(i), Guid(copy * 5000 + i), "per-install", "HKLM\\...\\Key"},
               {Role::Undeclared, i % 2 ? Role::Identifier : Role::Maker});
    s.tables.push_back(ids);
    Table profiles = MakeTable("network", "net.profiles" + tag, "Known networks",
                               {{"Profile GUID", Role::Identifier}, {"Name", Role::Typed}, {"Kind", Role::Program}, {"Category", Role::Program}, {"Created", Role::Time}, {"Last connected", Role::Time}, {"DNS suffix", Role::Typed}, {"Gateway MAC", Role::Identifier}});
    for (unsigned i = 0; i < 20; ++i)
        AddRow(profiles, {Guid(copy * 7000 + i), "Office Wi-Fi " + std::to_string(i), "wireless", "private",
                          "2024-03-05 10:22:41", "2026-12-01 08:00:00", "corp" + std::to_string(i) + ".example",
                          "0A-3B-3A-C0-" + Hex(i, 2) + "-" + Hex(copy & 255, 2)});
    s.tables.push_back(profiles);
    Table drivers = MakeTable("drivers", "drivers" + tag, "Running kernel drivers",
                              {{"Driver", Role::Maker}, {"Description", Role::Maker}, {"Company", Role::Maker}, {"Version", Role::Maker}, {"Signature class", Role::Program}, {"Signer", Role::Maker}, {"Chain root", Role::Maker}, {"Via", Role::Program}, {"PnP devices", Role::Program}, {"Image path", Role::Maker}});
    for (unsigned i = 0; i < 220; ++i)
        AddRow(drivers, {"drv" + std::to_string(i), "Kernel driver number " + std::to_string(i),
                         "Microsoft Corporation", "10.0.22621." + std::to_string(i), "[ok] Inbox (Windows component)",
                         "Microsoft Windows", "Microsoft Root Certificate Authority 2010", "catalog",
                         std::to_string(i % 4),
                         "\\SystemRoot\\System32\\drivers\\drv" + std::to_string(i) + ".sys"});
    s.tables.push_back(drivers);
    Table smbios = MakeTable("firmware", "smbios" + tag, "SMBIOS structures", {{"Structure", Role::Program}, {"Field", Role::Program}, {"Value", Role::Field}});
    for (unsigned i = 0; i < 600; ++i)
        AddRow(smbios, {"Type " + std::to_string(i % 45), "Field " + std::to_string(i % 17),
                        i % 50 == 0 ? "SN" + Hex(copy * 100 + i, 10) : "To Be Filled By O.E.M. " + std::to_string(i)},
               {Role::Undeclared, Role::Undeclared, i % 50 == 0 ? Role::Identifier : Role::Maker});
    s.tables.push_back(smbios);
    Table leaves = MakeTable("cpu", "cpu.leaves" + tag, "CPUID leaves", {{"Leaf", Role::Program}, {"Sub", Role::Program}, {"EAX", Role::Maker}, {"EBX", Role::Maker}, {"ECX", Role::Maker}, {"EDX", Role::Maker}, {"Meaning", Role::Program}});
    for (unsigned i = 0; i < 80; ++i)
        AddRow(leaves, {"0x" + Hex(i, 8), "0", Hex(i * 2654435761u, 8), Hex(i * 40503u, 8), Hex(i * 977u, 8),
                        Hex(i * 31u, 8), "feature flags and topology"});
    s.tables.push_back(leaves);
    Table catalog = MakeTable("vm", "vm.catalog" + tag, "Detection methods",
                              {{"Catalog ID", Role::Program}, {"Category", Role::Program}, {"Test", Role::Program}, {"Method", Role::Program}, {"Implementation", Role::Program}, {"Status", Role::Program}, {"Weight", Role::Program}, {"Impact", Role::Program}, {"False-positive considerations", Role::Program}, {"Related checks", Role::Program}, {"Evidence", Role::Maker}, {"Reference", Role::Program}});
    for (unsigned i = 0; i < 110; ++i)
        AddRow(catalog, {Hex(i, 3), "os", "A detection method with a long name " + std::to_string(i),
                         "registry; WMI; CPUID", "implemented locally", "not detected", "0", "0",
                         "physical machines can show the same artefact for benign reasons", "os.registry",
                         "no artefact present", "https://learn.microsoft.com/windows/win32/api/"});
    s.tables.push_back(catalog);
    Table devices = MakeTable("devices", "devices" + tag, "Present PnP devices",
                              {{"Class", Role::Program}, {"Device", Role::Maker}, {"Manufacturer", Role::Maker}, {"Hardware ID", Role::Maker}, {"Instance ID", Role::Identifier}, {"Driver", Role::Maker}, {"Service", Role::Maker}, {"Container ID", Role::Identifier}, {"PCIe link", Role::Maker}});
    devices.safe = false;
    for (unsigned i = 0; i < 300; ++i)
        AddRow(devices, {"System", "PCI Express Root Port " + std::to_string(i), "(Standard system devices)",
                         "PCI\\VEN_8086&DEV_" + Hex(i, 4), "PCI\\VEN_8086&DEV_" + Hex(i, 4) + "\\3&11583659&0&" + Hex(i, 2),
                         "pci.inf", "pci", Guid(copy * 9000 + i), "Gen4 x4"});
    s.tables.push_back(devices);
    for (unsigned i = 0; i < 40; ++i)
        s.checks.push_back({"x.check" + std::to_string(i) + tag, "Consistency", "Check " + std::to_string(i),
                            "both paths return the same value", vorq::kPass});
    s.notes.push_back("ACPI: EnumSystemFirmwareTables('ACPI') failed: error 0");
}

Snapshot MakeSnapshot(unsigned copies) {
    Snapshot s;
    s.deviceTitle = "Contoso Workstation 7";
    s.deviceSubtitle = "Intel Core i7  \xC2\xB7  32 GB RAM  \xC2\xB7  Microsoft Windows 11 Pro";
    for (unsigned c = 0; c < copies; ++c) AddScan(s, c);
    return s;
}

double BestMs(const Snapshot& s, int mode, const vorq::Bytes& key, size_t& bytes) {
    double best = 1e30;
    for (int round = 0; round < 15; ++round) {
        std::string out;
        const auto start = std::chrono::steady_clock::now();
        vorq::WriteSnapshotJsonWithKey(out, s, mode, key);
        best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        bytes = out.size();
    }
    return best;
}

}  // namespace

int main() {
    const vorq::Bytes key(32, 0x5A);
    std::printf("report writer, best of 15 rounds\n");
    for (unsigned copies : {1u, 30u}) {
        const Snapshot s = MakeSnapshot(copies);
        size_t rows = 0;
        for (const Table& t : s.tables) rows += t.rows.size();
        size_t rawBytes = 0, safeBytes = 0;
        const double raw = BestMs(s, vorq::kReportRaw, key, rawBytes);
        const double safe = BestMs(s, vorq::kReportSafe, key, safeBytes);
        std::printf("  %6zu rows, %5zu signals: raw %7.2f ms (%zu KB), safe %7.2f ms (%zu KB), safe / raw %.2f\n", rows,
                    s.signals.size(), raw, rawBytes / 1024, safe, safeBytes / 1024, safe / raw);
    }
    return 0;
}
