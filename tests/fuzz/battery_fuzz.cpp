// Any answers of battery devices: the tag, string, date and information
// replies come from the input, with any returned size. The collector stays
// inside its buffers, counts only the batteries it lists, and writes UTF-8.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "collectors/devices/battery.h"
#include "tests/fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    vorq::BatterySource port;
    bool open = false;
    port.open = [&](uint32_t) {
        if (open) abort();  // every opened device is closed before the next
        const auto o = static_cast<vorq::BatteryOpen>(in.ConsumeIntegralInRange<int>(0, 2));
        open = o == vorq::BatteryOpen::Opened;
        return o;
    };
    port.ioctl = [&](uint32_t code, const void* request, uint32_t inSize, void* out, uint32_t outSize,
                     uint32_t& returned) {
        if (!open || !request || !out) abort();
        if (code == vorq::kIoctlBatteryQueryTag ? inSize != 4 : inSize != 12) abort();
        if (!in.ConsumeBool()) return false;
        const std::vector<uint8_t> reply = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<uint32_t>(0, outSize));
        if (!reply.empty()) std::memcpy(out, reply.data(), reply.size());
        // A driver may report any size; only the buffer's bytes are real.
        returned = in.ConsumeBool() ? static_cast<uint32_t>(reply.size()) : in.ConsumeIntegral<uint32_t>();
        return true;
    };
    port.close = [&] {
        if (!open) abort();
        open = false;
    };
    vorq::Snapshot s;
    port.listed = in.ConsumeBool();
    vorq::CollectBatteryFrom(s, port);
    if (open) abort();
    const long rows = vorq::fuzz::CheckTable(s, "battery");
    if (rows < 0 || rows > static_cast<long>(vorq::kMaxBatteryInterfaces)) abort();
    if (vorq::GetFact(s, "battery.count") != std::to_string(rows)) abort();
    for (const vorq::Signal& sig : s.signals)
        if (!vorq::fuzz::IsUtf8(sig.value) || sig.value.empty()) abort();
    return 0;
}
