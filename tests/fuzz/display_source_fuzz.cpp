// The whole display collector over any answers: registry memory sizes and
// BIOS texts of any type and length, DXGI descriptions, adapter flags, WDDM
// types, memory segments, Direct3D capabilities and outputs; display paths and
// raw input devices that fail or answer anything; monitors with any EDID bytes
// and names. The tables stay UTF-8 and no row is longer than its columns.
#include <cstdlib>

#include "collectors/devices/display.h"
#include "tests/fuzz/fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::DisplaySource whole;
    vorq::DisplayAdaptersSource& src = whole.adapters;
    src.pnp.resize(f.Count(4));
    for (vorq::PnpAdapterRead& p : src.pnp) {
        p.name = f.Text();
        p.hardwareId = f.Text(64);
        p.provider = f.Text();
        p.version = f.Text(16);
        p.qwMemorySize = f.Blob(12);
        p.memorySize = f.Blob(12);
        // Registry values of any type, as the driver key holds them.
        const uint32_t type = f.in.ConsumeIntegralInRange<uint32_t>(0, 11);
        p.bios = vorq::RegDataToUtf8(f.Blob(96), type);
        p.chip = vorq::RegDataToUtf8(f.Blob(96), f.in.ConsumeIntegralInRange<uint32_t>(0, 11));
        p.containerId = f.Text(40);
        p.videoId = f.Text(40);
        p.pcieLink = f.Text(16);
    }
    src.dxgi.resize(f.Count(4));
    uint32_t index = 0;
    for (vorq::DxgiAdapterRead& a : src.dxgi) {
        a.index = f.Bool() ? index++ : f.Int<uint32_t>();
        a.description = f.Text();
        a.vendorId = f.Bool() ? 0x1414 : f.Int<uint32_t>();
        a.deviceId = f.Int<uint32_t>();
        a.subSysId = f.Int<uint32_t>();
        a.revision = f.Int<uint32_t>();
        a.dedicatedVideoMemory = f.Int<uint64_t>();
        a.sharedSystemMemory = f.Int<uint64_t>();
        a.luidHigh = f.Int<uint32_t>();
        a.luidLow = f.Int<uint32_t>();
        a.flags = f.Word();
        a.desc3Hr = f.Maybe<int32_t>();
        a.desc3Flags = f.Word();
        a.kmtStatus = f.Maybe<int32_t>();
        a.kmtType = f.Int<uint32_t>();
        a.segments.resize(f.Count(3));
        for (vorq::MemorySegmentRead& m : a.segments) {
            m.local = f.Bool();
            m.hr = f.Bool() ? 0 : f.Int<int32_t>();
            m.budget = f.Int<uint64_t>();
            m.usage = f.Int<uint64_t>();
            m.available = f.Int<uint64_t>();
            m.reserved = f.Int<uint64_t>();
        }
        if (f.Bool()) {
            vorq::D3dCapsRead d;
            d.created = f.Bool();
            d.hr = f.Bool() ? 0 : f.Int<int32_t>();
            d.featureLevel = f.Int<uint32_t>();
            if (f.Bool()) d.threading = std::array<bool, 2>{f.Bool(), f.Bool()};
            if (f.Bool()) d.doubles = f.Bool();
            if (f.Bool()) d.options = std::array<bool, 2>{f.Bool(), f.Bool()};
            a.d3d = d;
        }
        a.outputs.resize(f.Count(3));
        for (vorq::OutputRead& o : a.outputs) {
            o.device = f.Text(32);
            if (f.Bool())
                o.mode = std::array<uint32_t, 4>{f.Int<uint32_t>(), f.Int<uint32_t>(), f.Int<uint32_t>(), f.Word()};
            o.dpi = f.Maybe<uint32_t>();
            o.left = f.Int<int32_t>();
            o.top = f.Int<int32_t>();
            o.right = f.Int<int32_t>();
            o.bottom = f.Int<int32_t>();
            o.rotation = f.Word();
            o.attached = f.Bool();
        }
    }
    // The paths and raw input steps have a target of their own for their
    // limits; here they answer small lists or fail.
    whole.paths.bufferSizes = [&](uint32_t& p, uint32_t& m) {
        p = static_cast<uint32_t>(f.Count(4));
        m = static_cast<uint32_t>(f.Count(8));
        return f.Bool() ? 0L : vorq::display_rc::kNotSupported;
    };
    whole.paths.query = [&](uint32_t& p, uint32_t&, std::vector<vorq::DisplayPathInfo>& out) {
        out.resize(p);
        for (vorq::DisplayPathInfo& d : out) d = {f.Word(), f.Word(), f.Int<uint32_t>(), f.Word(), f.Int<uint64_t>()};
        return 0L;
    };
    whole.paths.edidIdentity = [&](const vorq::DisplayPathInfo&) { return f.Text(12); };
    whole.paths.remoteProtocol = [&](uint16_t& protocol) {
        protocol = f.Int<uint16_t>();
        return f.Bool();
    };
    uint32_t listed = 0;
    whole.rawInput.count = [&](uint32_t& n) {
        n = static_cast<uint32_t>(f.Count(4));
        return f.Bool();
    };
    whole.rawInput.list = [&](uint32_t capacity, uint32_t&) -> int64_t {
        listed = static_cast<uint32_t>(f.Count(capacity));
        return listed;
    };
    whole.rawInput.info = [&](uint32_t index, vorq::RawInputInfo& info) {
        if (index >= listed) abort();  // only entries of the last list read
        info = {f.Word(), f.Int<uint32_t>(), f.Int<uint32_t>(), f.Int<uint16_t>(), f.Int<uint16_t>()};
        return f.Bool();
    };
    whole.monitorsListed = f.Bool();
    whole.monitors.resize(f.Count(3));
    for (vorq::MonitorEdidRead& m : whole.monitors) {
        m.bytes = f.Blob(384);
        m.hasEdid = f.Bool();
        m.edidError = f.Bool();
        m.overrideProbed = f.Bool();
        m.overridePresent = f.Bool();
        m.tooLarge = f.Bool();
    }
    whole.monitorName = [&](uint32_t index) {
        if (index >= whole.monitors.size()) abort();
        return f.Text();
    };
    vorq::Snapshot s;
    vorq::CollectDisplayFrom(s, whole);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
