#include "collectors/trust/tpm_pcr.h"

#include <algorithm>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_queries.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

uint16_t ChoosePcrBank(const std::vector<uint16_t>& activeBanks) {
    if (activeBanks.empty() || std::find(activeBanks.begin(), activeBanks.end(), kTpmAlgSha256) != activeBanks.end())
        return kTpmAlgSha256;
    return activeBanks.front();
}

LogReading FetchTcgLog(uint64_t size, const std::function<std::vector<uint8_t>(uint64_t)>& read) {
    LogReading r;
    if (size > kTcgLogMaxBytes) {
        r.tooLarge = true;
        return r;
    }
    if (size != 0 && read) {
        r.bytes = read(size);
        if (r.bytes.size() > size) r.bytes.resize(size);
    }
    if (!r.bytes.empty()) {
        r.validation = ValidateTcgLog(r.bytes.data(), r.bytes.size());
        if (r.validation == kTcgLogWellFormed) r.parsed = ParseTcgLog(r.bytes, r.log);
    }
    return r;
}

std::string LogParseStatus(const LogReading& r) {
    if (r.tooLarge || r.validation == kTcgLogLimited) return "limited";
    if (r.parsed) return "complete";
    if (r.bytes.empty()) return "unavailable";
    return "malformed";
}

PcrReplay ReplayTcgLog(const LogReading& r, uint16_t bank) {
    PcrReplay p;
    for (auto& v : p.values) v.assign(32, 0);
    if (!r.parsed || !r.log.cryptoAgile || bank != kTpmAlgSha256) return p;
    p.ran = true;
    p.values[0][31] = r.log.startupLocality;
    for (size_t i = 1; i < r.log.events.size(); ++i) {
        const TcgEventRecord& e = r.log.events[i];
        if (e.pcr >= kPcrCount || e.type == 3 || e.sha256.size() != 32) continue;
        std::vector<uint8_t> chain = p.values[e.pcr];
        chain.insert(chain.end(), e.sha256.begin(), e.sha256.end());
        p.values[e.pcr] = Sha256(chain.data(), chain.size());
        ++p.counts[e.pcr];
    }
    return p;
}

namespace {

bool PcrNamesInstallation(uint32_t index) {
    // PCR1 hashes the boot variables (which name the ESP's partition GUID),
    // PCR5 the GPT with the disk's and partitions' GUIDs: stable per
    // installation, unlike PCR0 (per firmware build) and PCR7 (per policy).
    return index == 1 || index == 5;
}

}  // namespace

Table PcrTable(const PcrReading& pcrs, const PcrReplay& replay, PcrTallies& t) {
    Table table = MakeTable("tpm", table::kTpmPcrs, "PCR values (" + AlgName(pcrs.bank) + " bank)",
                            {{"PCR", Role::Program}, {"Value", Role::Field}, {"Measures", Role::Program}, {"Log events", Role::Program}, {"Log replay", Role::Program}},
                            "Replay recomputes each PCR from the measured-boot log (SHA-256 extend chain) and compares "
                            "it with the live TPM value. This is a local consistency check, not a remote attestation.");
    for (uint32_t i = 0; i < kPcrCount; ++i) {
        const std::vector<uint8_t>& live = pcrs.live[i];
        if (live.empty()) continue;
        const uint32_t count = replay.counts[i];
        std::string text;
        if (count == 0) {
            text = "-";
        } else if (replay.ran && i <= 15) {
            const bool same = replay.values[i] == live;
            text = same ? "[ok] matches log" : "[warn] differs from log";
            ++(same ? t.matched : t.mismatched);
            if (i <= 7) {
                ++t.compared07;
                if (same) ++t.matched07;
            }
        }
        AddRow(table, {Format("%u", i), HexEncode(live), PcrMeaning(i), Format("%u", count), text},
               {Role::Undeclared, PcrNamesInstallation(i) ? Role::Identifier : Role::Maker});
    }
    return table;
}

std::string LogVerdict(const LogReading& r, const PcrTallies& t) {
    if (!r.parsed || !r.log.cryptoAgile || t.compared07 == 0) return "unavailable";
    return t.matched07 == t.compared07 ? "match" : "mismatch";
}

std::string LogMatchText(const PcrTallies& t) { return Format("%d/%d", t.matched, t.matched + t.mismatched); }

std::string MeasuredBootRowText(const LogReading& r, const PcrTallies& t) {
    if (!r.parsed) return "[info] not available";
    const std::string verdict = LogVerdict(r, t);
    const bool match = verdict == "match", mismatch = verdict == "mismatch";
    return Format("%s%zu events, %s format, %s", match ? "[ok] " : mismatch ? "[warn] " : "[info] ", r.log.events.size(),
                  r.log.cryptoAgile ? "crypto-agile" : "SHA-1 legacy",
                  match ? "replay matches PCR 0-7" : mismatch ? "replay differs for PCR 0-7" : "not compared");
}

Table LogTable(const LogReading& r) {
    Table table = MakeTable("tpm", table::kTpmLog, "Measured boot log (TCG event log, current boot)",
                            {{"#", Role::Program}, {"PCR", Role::Program}, {"Event", Role::Program}, {"SHA-256 digest", Role::Maker}, {"Details", Role::Maker}},
                            "Windows Tbsi_Get_TCG_Log_Ex(SRTM_CURRENT). Firmware, option ROMs, Secure Boot variables "
                            "and boot applications measured into the TPM.");
    table.safe = false;
    if (!r.parsed) return table;
    const size_t n = std::min(r.log.events.size(), kLogTableRows);
    for (size_t i = 0; i < n; ++i) {
        const TcgEventRecord& e = r.log.events[i];
        std::string name = EventTypeName(e.type);
        if (name.empty()) name = Format("0x%08X", e.type);
        AddRow(table, {Format("%zu", i), Format("%u", e.pcr), name,
                       e.sha256.empty() ? std::string() : HexEncode(e.sha256.data(), std::min<size_t>(16, e.sha256.size())),
                       e.details});
    }
    return table;
}

void AddPcrSignals(Snapshot& s, const PcrReading& pcrs) {
    if (!pcrs.live[0].empty())
        s.signals.push_back(MakeSignal(sig::kTpmPcr0, "TPM", "PCR0 (firmware measurement)", HexEncode(pcrs.live[0]),
                                       SignalScope::PerModel, 4, "firmware", Role::Maker, "TPM2_PCR_Read",
                                       "identical for the same firmware build; changes with BIOS updates", 1.0));
    if (!pcrs.live[7].empty())
        s.signals.push_back(MakeSignal(sig::kTpmPcr7, "TPM", "PCR7 (Secure Boot policy)", HexEncode(pcrs.live[7]),
                                       SignalScope::State, 2, "firmware", Role::Maker, "TPM2_PCR_Read",
                                       "changes when Secure Boot state or its databases change", 1.0));
}

}  // namespace vorq
