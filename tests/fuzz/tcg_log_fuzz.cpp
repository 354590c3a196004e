// Any bytes as a measured-boot log: validation and parsing stay inside the
// bytes and within their limits, agree with each other, and the replay and
// tables built from the result are consistent.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "collectors/trust/tcg_log.h"
#include "collectors/trust/tpm_pcr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    const std::vector<uint8_t> bytes(data, data + size);
    const TcgLogStatus status = ValidateTcgLog(bytes.data(), bytes.size());
    TcgLog log;
    const bool parsed = ParseTcgLog(bytes, log);
    if (status == kTcgLogWellFormed && !parsed) abort();
    if (log.events.size() > kTcgLogMaxRecords) abort();
    for (const TcgEventRecord& e : log.events) {
        if (!e.sha256.empty() && e.sha256.size() != 32) abort();
        if (!e.sha1.empty() && e.sha1.size() != 20) abort();
    }
    const LogReading r = FetchTcgLog(size, [&](uint64_t) { return bytes; });
    if (r.parsed && r.validation != kTcgLogWellFormed) abort();
    PcrReading pcrs;
    for (auto& v : pcrs.live) v.assign(32, 0);
    PcrTallies t;
    const Table pcrTable = PcrTable(pcrs, ReplayTcgLog(r, pcrs.bank), t);
    if (pcrTable.rows.size() != kPcrCount || t.matched07 > t.compared07 || t.compared07 > 8) abort();
    if (LogTable(r).rows.size() > kLogTableRows) abort();
    MeasuredBootRowText(r, t);
    return 0;
}
