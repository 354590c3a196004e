// Any display adapter answers: registry memory sizes and BIOS texts of any
// type and length, DXGI descriptions, adapter flags, WDDM types, memory
// segments, Direct3D capabilities and outputs. The tables stay UTF-8 and no
// row is longer than its columns.
#include <cstdlib>

#include "collectors/devices/display.h"
#include "tests/fuzz/fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::DisplayAdaptersSource src;
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
    vorq::Snapshot s;
    const vorq::DisplayAdapterTables t = vorq::CollectDisplayAdaptersFrom(s, src);
    for (const vorq::Table* table : {&t.gpus, &t.dxgi, &t.outputs, &t.flags, &t.caps, &t.budgets})
        s.tables.push_back(*table);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
