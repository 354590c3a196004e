// Any answers of the display-configuration and raw-input queries: sizes,
// error codes, counts that grow between calls, fewer or more entries than
// announced. The tables stay within their limits and show only entries the
// source delivered.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "collectors/devices/display_paths.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

long ErrorCode(FuzzedDataProvider& in) {
    static constexpr long kCodes[] = {0, 0, 0, vorq::display_rc::kNotSupported, vorq::display_rc::kInsufficientBuffer, 87, 5};
    return in.PickValueInArray(kCodes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    vorq::DisplayPathSource paths;
    size_t delivered = 0;
    paths.bufferSizes = [&](uint32_t& p, uint32_t& m) {
        p = in.ConsumeIntegralInRange<uint32_t>(0, 300);
        m = in.ConsumeIntegralInRange<uint32_t>(0, 1100);
        return ErrorCode(in);
    };
    paths.query = [&](uint32_t& p, uint32_t& m, std::vector<vorq::DisplayPathInfo>& out) {
        const long rc = ErrorCode(in);
        if (in.ConsumeBool()) p = in.ConsumeIntegral<uint32_t>();
        if (in.ConsumeBool()) m = in.ConsumeIntegral<uint32_t>();
        out.resize(in.ConsumeIntegralInRange<size_t>(0, 300));
        for (vorq::DisplayPathInfo& d : out) {
            d.source = in.ConsumeIntegral<uint32_t>();
            d.target = in.ConsumeIntegral<uint32_t>();
            d.technology = in.ConsumeIntegral<uint32_t>();
            d.flags = in.ConsumeIntegral<uint32_t>();
        }
        delivered = out.size();
        return rc;
    };
    paths.edidIdentity = [&](const vorq::DisplayPathInfo&) { return in.ConsumeBool() ? std::string("10AC:A0C5") : ""; };
    paths.remoteProtocol = [&](uint16_t& protocol) {
        protocol = in.ConsumeIntegral<uint16_t>();
        return in.ConsumeBool();
    };

    vorq::RawInputSource input;
    int64_t listed = 0;
    input.count = [&](uint32_t& n) {
        n = in.ConsumeIntegralInRange<uint32_t>(0, 600);
        return in.ConsumeBool();
    };
    input.list = [&](uint32_t capacity, uint32_t& error) -> int64_t {
        if (in.ConsumeBool()) {
            error = static_cast<uint32_t>(ErrorCode(in));
            return -1;
        }
        listed = in.ConsumeIntegralInRange<int64_t>(0, int64_t{capacity} + 2);
        return listed;
    };
    input.info = [&](uint32_t index, vorq::RawInputInfo& info) {
        if (index >= listed) abort();  // only entries of the last list read
        info.type = in.ConsumeIntegralInRange<uint32_t>(0, 3);
        info.vendorId = in.ConsumeIntegral<uint32_t>();
        info.productId = in.ConsumeIntegral<uint32_t>();
        info.usagePage = in.ConsumeIntegral<uint16_t>();
        info.usage = in.ConsumeIntegral<uint16_t>();
        return in.ConsumeBool();
    };

    vorq::Snapshot s;
    vorq::AddDisplayPathsFrom(s, paths);
    vorq::AddRawInputDevicesFrom(s, input);
    const long pathRows = vorq::fuzz::CheckTable(s, "display.paths");
    if (pathRows < 0 || pathRows > static_cast<long>(vorq::kMaxDisplayPaths) || static_cast<size_t>(pathRows) > delivered)
        abort();
    const long inputRows = vorq::fuzz::CheckTable(s, "display.input_devices");
    if (inputRows < 0 || inputRows > static_cast<long>(vorq::kMaxRawInputDevices)) abort();
    for (const char* key : {"display.probe.paths.status", "display.probe.hid.status"}) {
        const std::string status = vorq::GetFact(s, key);
        if (status != "ok" && status != "error" && status != "not_supported") abort();
    }
    return 0;
}
