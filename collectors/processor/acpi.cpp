#include "collectors/processor/acpi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "collectors/processor/acpi_scan.h"
#include "core/byte_view.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {
namespace {

const char* ProfileName(uint8_t v) {
    static const char* const kNames[] = {"Unspecified", "Desktop",     "Mobile",             "Workstation", "Enterprise Server",
                                         "SOHO Server", "Appliance PC", "Performance Server", "Tablet"};
    return v < std::size(kNames) ? kNames[v] : "?";
}

// Enabled local APIC (type 0) and x2APIC (type 9) entries of a MADT.
int CountMadtProcessors(const std::vector<uint8_t>& b) {
    const ByteView table(b);
    int count = 0;
    size_t off = 44;
    for (;;) {
        const std::optional<uint8_t> type = table.U8(off), len = table.U8(off + 1);
        if (!type || !len) break;
        const std::optional<ByteView> entry = table.Slice(off, *len);
        if (*len < 2 || !entry) break;
        const auto flagSet = [&entry](size_t at) { return (entry->U8(at).value_or(0) & 1) != 0; };
        if ((*type == 0 && *len >= 8 && flagSet(4)) || (*type == 9 && *len >= 16 && flagSet(8))) ++count;
        off += *len;
    }
    return count;
}

struct Walk {
    bool readIncomplete = false;
    bool amlIncomplete = false;
    bool amlScanned = false;
    bool tpm2 = false;
    bool iommu = false;
    bool dmaOptIn = false;
    bool wsmt = false;
    bool wpbt = false;
    bool msdm = false;
    int madtCpus = 0;
    uint32_t wsmtFlags = 0;
    std::string fadtOemId, fadtOemTableId, dsdtHash, tpm2Start;
    std::vector<std::string> fingerprintParts;
};

std::string DecodeDetails(Snapshot& s, Walk& w, const std::string& sig, const std::vector<uint8_t>& b,
                          const std::string& oemId, const std::string& oemTableId) {
    const ByteView v(b);
    const size_t n = v.size();
    const auto u8 = [&v](size_t at) { return v.U8(at); };
    const auto le32 = [&v](size_t at) { return v.Le32(at); };
    if (sig == "FACP" && le32(112)) {
        const char* name = ProfileName(*u8(45));
        const uint32_t flags = *le32(112);
        SetFact(s, fact::kAcpiPmProfile, name);
        if (w.fadtOemId.empty()) {
            w.fadtOemId = oemId;
            w.fadtOemTableId = oemTableId;
        }
        return Format("PM profile: %s; HW-reduced ACPI: %s; S0 low-power idle: %s", name, YesNo(flags >> 20 & 1),
                      YesNo(flags >> 21 & 1));
    }
    if (sig == "DSDT") {
        w.dsdtHash = Sha256Hex(v.data(), n).substr(0, 32);
        return Format("AML %u bytes", le32(4).value_or(0));
    }
    if (sig == "TPM2" && le32(48)) {
        const uint32_t code = *le32(48);
        w.tpm2 = true;
        w.tpm2Start = Format("%s (%u)", Tpm2StartMethodName(code), code);
        return "start method: " + w.tpm2Start;
    }
    if (sig == "WSMT" && le32(36)) {
        w.wsmt = true;
        w.wsmtFlags = *le32(36);
        std::vector<std::string> names;
        if (w.wsmtFlags & 1) names.push_back("FIXED_COMM_BUFFERS");
        if (w.wsmtFlags & 2) names.push_back("COMM_BUFFER_NESTED_PTR_PROTECTION");
        if (w.wsmtFlags & 4) names.push_back("SYSTEM_RESOURCE_PROTECTION");
        return names.empty() ? "no SMM protections declared" : Join(names, ", ");
    }
    if (sig == "DMAR" && u8(37)) {
        const uint8_t flags = *u8(37);
        w.iommu = true;
        w.dmaOptIn = flags & 4;
        return Format("host address width %u; interrupt remapping: %s; DMA protection opt-in: %s", *u8(36) + 1u,
                      YesNo(flags & 1), YesNo(flags & 4));
    }
    if (sig == "IVRS" && le32(36)) {
        const uint32_t ivinfo = *le32(36);
        w.iommu = true;
        if (ivinfo & 2) w.dmaOptIn = true;
        return Format("IVinfo 0x%08X (DMA remap opt-in: %s)", ivinfo, YesNo(ivinfo & 2));
    }
    if (sig == "APIC" && n >= 44) {
        w.madtCpus = CountMadtProcessors(b);
        return Format("%d enabled processor entries", w.madtCpus);
    }
    if (sig == "MCFG" && n >= 44) return Format("%zu PCIe segment(s)", (n - 44) / 16);
    if (sig == "WPBT" && v.Has(0, 52)) {
        w.wpbt = true;
        return Format("OEM platform binary registered (%u bytes) - Windows runs it at boot", *le32(36));
    }
    if (sig == "HPET" && le32(36)) return Format("event timer block ID 0x%08X", *le32(36));
    if (sig == "BGRT") return "boot logo pointer (changes between boots on some systems)";
    return std::string();
}

}  // namespace

void CollectAcpiFrom(Snapshot& s, const AcpiSource& src) {
    SetFact(s, fact::kAcpiVmTablesStatus, "error");
    SetFact(s, fact::kAcpiVmAmlStatus, "error");
    SetFact(s, fact::kAcpiVmAmlQemu, "0");
    SetFact(s, fact::kAcpiVmAmlVmgenid, "0");
    SetFact(s, fact::kAcpiVmAmlVmclock, "0");
    SetFact(s, fact::kAcpiVmWaet, "0");

    const uint32_t n = src.enumerate(nullptr, 0);
    if (n == 0) {
        AddFailureNote(s, "ACPI", "EnumSystemFirmwareTables('ACPI') failed: " + src.lastError());
        return;
    }
    std::vector<uint32_t> ids((static_cast<size_t>(n) + 3) / 4, 0);
    const uint32_t got = src.enumerate(ids.data(), n);
    Walk w;
    if (got != n || n % 4 != 0) w.readIncomplete = true;
    if (got == 0 || got > n) return;
    ids.resize(got / 4);

    Table acpi = MakeTable("firmware", table::kAcpi, "ACPI tables",
                           {{"Signature", Role::Maker}, {"Description", Role::Program}, {"Length", Role::Maker}, {"Rev", Role::Maker}, {"OEM ID", Role::Maker}, {"OEM table ID", Role::Maker}, {"OEM rev", Role::Maker}, {"Creator", Role::Maker}, {"SHA-256", Role::Maker}, {"Details", Role::Program}},
                           "Every ACPI header carries OEM ID / table ID / revisions. When several tables share a "
                           "signature (e.g. SSDT), the Windows API returns only the first one; the number of extra "
                           "instances is shown in Details.");
    std::vector<std::string> all;
    std::map<std::string, int> instances;
    std::map<std::string, size_t> rowOf;  // only signatures that got a row

    for (const uint32_t id : ids) {
        uint8_t idBytes[4];
        std::memcpy(idBytes, &id, 4);  // first character in the lowest byte
        const std::string sig = PrintableAscii(idBytes, 4);
        int& count = instances[sig];
        const int before = count++;
        all.push_back(sig);
        if (before != 0) continue;

        const bool aml = sig == "DSDT" || sig == "SSDT";
        const std::string& desc = DescribeAcpiSignature(sig);
        const uint32_t size = src.read(id, nullptr, 0);
        if (size == 0) {
            w.readIncomplete = true;
            if (aml) w.amlIncomplete = true;
            rowOf[sig] = acpi.rows.size();
            AddRow(acpi, {sig, desc, "?", "", "", "", "", "", "", col::acpi::kReadFailed + src.lastError()});
            continue;
        }
        std::vector<uint8_t> b;
        bool complete = false;
        try {
            b.assign(size, 0);
            complete = src.read(id, b.data(), size) == size;
        } catch (const std::bad_alloc&) {
            complete = false;
        }
        if (!complete) {
            // Not read in full: no row, so no place for an extra-instance text either.
            w.readIncomplete = true;
            if (aml) w.amlIncomplete = true;
            continue;
        }

        const AcpiScanResult r = ScanAcpiTable(b.data(), b.size());
        if (!r.headerOk || b.size() < 4 || std::memcmp(b.data(), idBytes, 4) != 0) {
            w.readIncomplete = true;
            if (aml) w.amlIncomplete = true;
        } else {
            if (r.isAml) w.amlScanned = true;
            if (r.qemuDevice) SetFact(s, fact::kAcpiVmAmlQemu, "1");
            if (r.vmGenId) SetFact(s, fact::kAcpiVmAmlVmgenid, "1");
            if (r.vmClock) SetFact(s, fact::kAcpiVmAmlVmclock, "1");
            if (r.waetValid) SetFact(s, fact::kAcpiVmWaet, "1");
            if (sig == "WAET" && !r.waetValid) w.readIncomplete = true;
        }

        const std::optional<ByteView> header = ByteView(b).Slice(0, kAcpiHeaderSize);
        if (!header) {
            rowOf[sig] = acpi.rows.size();
            AddRow(acpi, {sig, desc, std::to_string(b.size()), "", "", "", "", "", "", "no standard header"});
            continue;
        }
        const uint8_t* p = header->data();
        const uint32_t length = *header->Le32(4);
        const std::string oemId = PrintableAscii(p + 10, 6);
        const std::string oemTableId = PrintableAscii(p + 16, 8);
        const uint32_t oemRev = *header->Le32(24);
        const std::string creator = PrintableAscii(p + 28, 4);
        const uint32_t creatorRev = *header->Le32(32);
        const bool licensing = sig == "MSDM" || sig == "SLIC";

        std::string details, shaCell;
        if (licensing) {
            // Licensing data is shown by header only: never hashed or fingerprinted.
            shaCell = "(withheld)";
            details = "OEM licensing data - contents intentionally not read";
            if (sig == "MSDM") w.msdm = true;
        } else {
            const std::string hash = Sha256Hex(b.data(), b.size());
            shaCell = hash.substr(0, 16);
            details = DecodeDetails(s, w, sig, b, oemId, oemTableId);
            if (sig != "FPDT" && sig != "BGRT") w.fingerprintParts.push_back(sig + ":" + hash);
        }
        rowOf[sig] = acpi.rows.size();
        AddRow(acpi, {sig, desc, std::to_string(length), std::to_string(*header->U8(8)), oemId, oemTableId,
                      Format("0x%08X", oemRev), Format("%s 0x%08X", creator.c_str(), creatorRev), shaCell, details});
    }

    SetFact(s, fact::kAcpiVmTablesStatus, w.readIncomplete ? "partial" : "complete");
    SetFact(s, fact::kAcpiVmAmlStatus, w.amlIncomplete ? "partial" : w.amlScanned ? "complete" : "not_supported");

    for (const auto& [sig, count] : instances) {
        auto row = rowOf.find(sig);
        if (count <= 1 || row == rowOf.end()) continue;
        std::string& cell = acpi.rows[row->second].cells[9];
        if (!cell.empty()) cell += "; ";
        cell += Format("%d more %s table(s) present - Windows returns only the first one", count - 1, sig.c_str());
    }

    std::sort(w.fingerprintParts.begin(), w.fingerprintParts.end());
    const std::string joined = Join(w.fingerprintParts, "\n");
    const std::string fingerprint = Sha256HexOf(joined.data(), joined.size()).substr(0, 32);

    std::vector<std::string> distinct = all;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());

    SetFact(s, fact::kAcpiTpm2, w.tpm2 ? "1" : "0");
    SetFact(s, fact::kAcpiIommu, w.iommu ? "1" : "0");
    SetFact(s, fact::kAcpiDmaOptIn, w.dmaOptIn ? "1" : "0");
    SetFact(s, fact::kAcpiWpbt, w.wpbt ? "1" : "0");
    SetFact(s, fact::kAcpiMadtCpus, std::to_string(w.madtCpus));
    if (w.wsmt) SetFact(s, fact::kAcpiWsmt, std::to_string(w.wsmtFlags));
    if (!w.tpm2Start.empty()) SetFact(s, fact::kAcpiTpm2Start, w.tpm2Start);

    const std::string oem = w.fadtOemId + " / " + w.fadtOemTableId;
    Table summary = MakeTable("firmware", table::kAcpiSummary, "ACPI summary", {{"Property", Role::Program}, {"Value", Role::Maker}});
    AddRow(summary, {"Tables", Format("%zu (%zu distinct signatures)", all.size(), distinct.size())});
    AddRow(summary, {"OEM ID / table ID (FADT)", oem});
    AddRow(summary, {"Firmware build fingerprint", fingerprint});
    if (!w.dsdtHash.empty()) AddRow(summary, {"DSDT SHA-256", w.dsdtHash});
    AddRow(summary, {"TPM2 table", w.tpm2 ? "present, " + w.tpm2Start : "absent"});
    AddRow(summary, {"IOMMU (DMAR / IVRS)",
                     !w.iommu ? "absent" : w.dmaOptIn ? "present, DMA-protection opt-in set" : "present"});
    AddRow(summary, {"WSMT (SMM mitigations)", w.wsmt ? Format("present, flags 0x%X", w.wsmtFlags) : "absent"});
    AddRow(summary, {"WPBT (OEM boot binary)", w.wpbt ? "present" : "absent"});
    AddRow(summary, {"MSDM (OEM activation)", w.msdm ? "present - contents withheld" : "absent"});
    s.tables.push_back(std::move(summary));
    s.tables.push_back(std::move(acpi));

    const char* src_text = "EnumSystemFirmwareTables('ACPI')";
    auto firmwareSignal = [&](const char* key, const char* name, std::string value, int32_t weight, const char* note) {
        s.signals.push_back(MakeSignal(key, "Firmware", name, std::move(value), SignalScope::PerModel, weight, "firmware",
                                       Role::Maker, src_text, note, 1.0));
    };
    if (!w.fadtOemId.empty()) firmwareSignal(sig::kAcpiOem, "ACPI OEM ID / table ID", oem, 2, "");
    firmwareSignal(sig::kAcpiFingerprint, "ACPI firmware build fingerprint", fingerprint, 8,
                   "hash over all readable tables (MSDM/SLIC/FPDT/BGRT excluded); changes on BIOS update");
    if (!w.dsdtHash.empty()) firmwareSignal(sig::kAcpiDsdt, "DSDT SHA-256", w.dsdtHash, 4, "");
    firmwareSignal(sig::kAcpiTables, "ACPI table set", Join(distinct, " "), 1, "");
}

}  // namespace vorq
