// Any platform answers: firmware type, Secure Boot servicing values of any
// type, code-integrity and Device Guard readings, the runtime attestation
// call with any sizes and errors, and Security Center products. The posture
// table stays UTF-8 and no row is longer than its columns.
#include <cstdlib>
#include <cstring>

#include "collectors/trust/platform.h"
#include "tests/fuzz/fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    FuzzedDataProvider provider(data, size);
    fuzz::Feed f{provider};
    PlatformSource src;
    src.firmwareType = f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(0, 3) : f.Int<uint32_t>();
    src.secureBoot = f.Maybe<uint32_t>();
    src.servicing = f.Values();
    static const wchar_t* const kServicingNames[] = {L"UEFICA2023Status", L"UEFICA2023Error", L"AvailableUpdates",
                                                     L"WindowsUEFICA2023Capable"};
    for (RegValue& v : src.servicing)
        if (f.Bool()) v.name = kServicingNames[f.Count(3)];
    src.ciOptions = f.Maybe<uint32_t>();
    src.deviceGuard.vbsStatus = f.Int<int64_t>();
    for (std::vector<int64_t>* list : {&src.deviceGuard.servicesRunning, &src.deviceGuard.availableProperties}) {
        list->resize(f.Count(4));
        for (int64_t& v : *list) v = f.Bool() ? static_cast<int64_t>(f.Count(8)) : f.Int<int64_t>();
    }
    src.deviceGuardError = f.Text();
    src.blocklist = f.Maybe<uint32_t>();
    src.smartAppControl = f.Maybe<uint32_t>();
    if (f.Bool())
        src.attestation = [&f](const uint8_t*, uint16_t, uint64_t, void* buffer, uint32_t* n, uint32_t* lastError) {
            if (!n || !lastError) abort();
            if (buffer) {
                const Bytes b = f.in.ConsumeBytes<uint8_t>(f.Count(*n));
                if (!b.empty()) std::memcpy(buffer, b.data(), b.size());
            }
            *n = f.Bool() ? static_cast<uint32_t>(f.Count(4096)) : f.Int<uint32_t>();
            *lastError = f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(0, 122) : f.Int<uint32_t>();
            return f.Bool();
        };
    src.random = [&f](uint8_t* buffer, size_t n) {
        std::memset(buffer, 0, n);
        return f.Bool();
    };
    src.errorText = [&f](uint32_t code) { return "error " + std::to_string(code) + f.Text(8); };
    src.products.resize(f.Count(3));
    for (auto& [category, rows] : src.products) {
        category = f.Text(16);
        rows.resize(f.Count(3));
        for (SecurityProduct& p : rows) {
            p.displayName = f.Text();
            p.productState = f.Int<int64_t>();
            p.timestamp = f.Text(32);
        }
    }
    src.productQueryOk = f.Bool();
    Snapshot s;
    CollectPlatformFrom(s, src);
    fuzz::CheckSnapshot(s);
    return 0;
}
