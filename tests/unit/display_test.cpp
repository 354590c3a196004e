#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "collectors/devices/display.h"
#include "core/text.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

TEST(DisplayProbe, StatusWord) {
    EXPECT_EQ(ProbeStatusWord(0, false), "not_supported");
    EXPECT_EQ(ProbeStatusWord(0, true), "error");
    EXPECT_EQ(ProbeStatusWord(1, true), "ok");
    EXPECT_EQ(ProbeStatusWord(3, false), "ok");
}

TEST(DisplayProbe, MarkProbeErrorCountsOnlyRealFailures) {
    struct Case {
        uint32_t hr;
        bool marked;
    };
    const Case cases[] = {
        {0x00000000, false},  // S_OK
        {0x00000001, false},  // S_FALSE
        {0x80004001, false},  // E_NOTIMPL
        {0x80004002, false},  // E_NOINTERFACE
        {0x887A0004, false},  // DXGI_ERROR_UNSUPPORTED
        {0x80004005, true},   // E_FAIL
        {0x887A0005, true},   // DXGI_ERROR_DEVICE_REMOVED
        {0x80070057, true},   // E_INVALIDARG
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hr);
        Snapshot s;
        MarkProbeError(s, fact::kDisplayProbeDxgiError, static_cast<int32_t>(c.hr));
        EXPECT_EQ(HasFact(s, "display.probe.dxgi.error"), c.marked);
        if (c.marked) {
            EXPECT_EQ(GetFact(s, "display.probe.dxgi.error"), "1");
        }
    }
    EXPECT_FALSE(IsCountedKmtFailure(0xC0000002));
    EXPECT_FALSE(IsCountedKmtFailure(0xC00000BB));
    EXPECT_TRUE(IsCountedKmtFailure(0xC000000D));
}

TEST(DisplayProbe, AdapterTypeBits) {
    struct Case {
        uint32_t type;
        bool softOrIndirect, isVirtual;
        const char* text;
    };
    const Case cases[] = {
        {0x3, false, false, ""},  // render and display supported only
        {0x4, true, true, "SOFTWARE "},
        {0x40, true, true, "INDIRECT "},
        {0x80, false, true, "PARAVIRTUALIZED"},
        {0xC7, true, true, "SOFTWARE INDIRECT PARAVIRTUALIZED"},
        {0x38, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(IsSoftwareOrIndirectKmtType(c.type), c.softOrIndirect);
        EXPECT_EQ(IsVirtualKmtType(c.type), c.isVirtual);
        EXPECT_EQ(KmtAdapterTypeText(c.type), c.text);
    }
    EXPECT_TRUE(IsDxgiSoftwareAdapter(2));
    EXPECT_TRUE(IsDxgiSoftwareAdapter(3));
    EXPECT_FALSE(IsDxgiSoftwareAdapter(1));
}

TEST(DisplayRegistry, RegDataToUtf8) {
    using test::HexBytes;
    struct Case {
        const char* what;
        std::vector<uint8_t> data;
        uint32_t type;
        const char* text;
    };
    const Case cases[] = {
        {"REG_SZ with NUL and blanks", HexBytes("20 00 41 00 42 00 20 00 00 00 43 00"), 1, "AB"},
        {"REG_EXPAND_SZ is not expanded", HexBytes("25 00 58 00 25 00 00 00"), 2, "%X%"},
        {"UTF-16 stored as binary", HexBytes("56 00 42 00 49 00 4F 00 53 00"), 3, "VBIOS"},
        {"binary of 3 bytes", HexBytes("41 00 42"), 3, ""},
        {"binary that is not UTF-16", HexBytes("41 42 43 44"), 3, ""},
        {"odd length drops the last byte", HexBytes("41 00 42 00 43"), 1, "AB"},
        {"no NUL up to the end", HexBytes("E9 00 74 00 E9 00"), 1, "\xC3\xA9t\xC3\xA9"},
        {"REG_DWORD", HexBytes("41 00 00 00"), 4, ""},
        {"empty REG_SZ", {}, 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(RegDataToUtf8(c.data, c.type), c.text);
    }
}

TEST(DisplayRegistry, AdapterCells) {
    using test::HexBytes;
    EXPECT_EQ(VideoMemoryText(HexBytes("00 00 00 00 02 00 00 00"), HexBytes("00 00 00 10")), "8.00 GB");
    EXPECT_EQ(VideoMemoryText(HexBytes("00 00 00 00 02 00 00"), HexBytes("00 00 00 10 FF")), "256 MB");
    EXPECT_EQ(VideoMemoryText({}, HexBytes("00 00 10")), "");
    EXPECT_EQ(VbiosChipText("Version 1", "GA102"), "Version 1 / GA102");
    EXPECT_EQ(VbiosChipText("", "GA102"), "GA102");
    EXPECT_EQ(VbiosChipText("Version 1", ""), "Version 1");
}

TEST(DisplayOutputs, RotationAndDpi) {
    EXPECT_EQ(RotationText(0), "0");
    EXPECT_EQ(RotationText(1), "0");
    EXPECT_EQ(RotationText(2), "90");
    EXPECT_EQ(RotationText(3), "180");
    EXPECT_EQ(RotationText(4), "270");
    EXPECT_EQ(RotationText(5), "0");
    EXPECT_EQ(DpiText(96), "96 (100%)");
    EXPECT_EQ(DpiText(120), "120 (125%)");
    EXPECT_EQ(DpiText(144), "144 (150%)");
}

TEST(DisplayPaths, IndirectTechnologyAndHidFamily) {
    for (uint32_t t : {14u, 15u, 16u, 17u, 18u, 0x80000000u}) EXPECT_EQ(IsIndirectOutputTechnology(t), t >= 15 && t <= 17) << t;
    struct Case {
        uint32_t vid, pid;
        const char* family;
    };
    const Case cases[] = {
        {0x80EE, 0x20, "VirtualBox"}, {0x80EE, 0x21, "VirtualBox"}, {0x80EE, 0x23, "VirtualBox"},
        {0x80EE, 0x24, ""},           {0x80EE, 0x1F, ""},           {0x80EF, 0x21, ""},
        {0x180EE, 0x21, ""},          {0x80EE, 0x10021, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MatchHidFamily(c.vid, c.pid), c.family) << std::hex << c.vid << ":" << c.pid;
    EXPECT_EQ(RawInputTypeText(0), "MOUSE");
    EXPECT_EQ(RawInputTypeText(1), "KEYBOARD");
    EXPECT_EQ(RawInputTypeText(2), "HID");
    EXPECT_EQ(RawInputTypeText(3), "UNKNOWN");
}

TEST(DisplayFacts, DxgiAdapterCounts) {
    struct Adapter {
        const char* vd;
        const char* description;
        uint32_t flags;
        bool kmtSoftwareOrIndirect;
    };
    struct Case {
        const char* what;
        PnpAdapterIds pnp;
        std::vector<Adapter> adapters;
        uint32_t hw, matched, pciHw, pciMatched;
    };
    const Case cases[] = {
        {"two identical GPUs both match", {{"10DE:2684", "10DE:2684"}, {}},
         {{"10DE:2684", "GPU", 0, false}, {"10DE:2684", "GPU", 0, false}}, 2, 2, 2, 2},
        {"only the basic render driver", {{}, {}}, {{"1414:008C", "Microsoft Basic Render Driver", 2, false}}, 0, 0, 0, 0},
        {"named like a non-PCI adapter, in another letter case",
         {{"8086:46A6"}, {"Virtual Display Adapter"}},
         {{"8086:46A6", "Intel Iris Xe", 0, false}, {"1234:5678", "VIRTUAL display ADAPTER", 0, false}}, 2, 1, 1, 1},
        {"software or indirect by its WDDM type", {{"1AF4:1050"}, {}}, {{"1AF4:1050", "Virtio GPU", 0, true}}, 1, 1, 0, 0},
        {"ids compare exactly", {{"10de:2684"}, {}}, {{"10DE:2684", "GPU", 0, false}}, 1, 0, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DxgiCounters n;
        for (const Adapter& a : c.adapters) CountDxgiAdapter(n, c.pnp, a.vd, a.description, a.flags, a.kmtSoftwareOrIndirect);
        EXPECT_EQ(n.hw, c.hw);
        EXPECT_EQ(n.matched, c.matched);
        EXPECT_EQ(n.pciHw, c.pciHw);
        EXPECT_EQ(n.pciMatched, c.pciMatched);
    }
}

TEST(DisplayFacts, StaleProbeFactsGoAndCountsAreWritten) {
    Snapshot s;
    SetFact(s, "display.probe.paths.status", "error");
    SetFact(s, "display.probe.", "x");
    SetFact(s, "display.outputs", "7");
    SetFact(s, "display.probf", "kept");
    RemoveProbeFacts(s);
    EXPECT_FALSE(HasFact(s, "display.probe.paths.status"));
    EXPECT_FALSE(HasFact(s, "display.probe."));
    EXPECT_TRUE(HasFact(s, "display.probf"));

    // One DESC3 read among failures is "ok"; an error fact alone is "error";
    // nothing at all is "not_supported".
    SetFact(s, "display.probe.dxgi.error", "1");
    SetFact(s, "display.probe.d3d.error", "1");
    DxgiCounters c;
    c.hw = 2;
    c.matched = 1;
    c.pciHw = 1;
    c.desc3Ok = 1;
    c.desc3Software = 1;
    c.kmtVirtual = 0;
    WriteDxgiFacts(s, c, 3, 1);
    EXPECT_EQ(GetFact(s, "dxgi.hw"), "2");
    EXPECT_EQ(GetFact(s, "dxgi.matched"), "1");
    EXPECT_EQ(GetFact(s, "dxgi.pci_hw"), "1");
    EXPECT_EQ(GetFact(s, "dxgi.pci_matched"), "0");
    EXPECT_EQ(GetFact(s, "pnp.gpus"), "3");
    EXPECT_EQ(GetFact(s, "pnp.gpus_nonpci"), "1");
    EXPECT_EQ(GetFact(s, "display.outputs"), "0");
    EXPECT_EQ(GetFact(s, "display.probe.dxgi.status"), "ok");
    EXPECT_EQ(GetFact(s, "display.probe.dxgi.context"), "1");
    EXPECT_EQ(GetFact(s, "display.probe.wddm.status"), "not_supported");
    EXPECT_EQ(GetFact(s, "display.probe.wddm.context"), "0");
    EXPECT_EQ(GetFact(s, "display.probe.d3d.status"), "error");
    EXPECT_EQ(GetFact(s, "display.probe.memory.status"), "not_supported");
}

std::vector<std::string> Rows(const DisplayAdapterTables& t, const Table DisplayAdapterTables::*table) {
    std::vector<std::string> out;
    for (const TableRow& r : (t.*table).rows) out.push_back(Join(r.cells, "|"));
    return out;
}

// A PCI adapter with everything its driver key can hold, an adapter without a
// PCI id; DXGI: that PCI adapter with every probe answering (one memory
// segment failing) and Microsoft's software renderer whose DESC3 fails.
DisplayAdaptersSource TwoAdapters() {
    DisplayAdaptersSource src;
    PnpAdapterRead gpu;
    gpu.name = "Radeon RX 6600";
    gpu.hardwareId = "PCI\\VEN_1002&DEV_73FF&SUBSYS_E4511DA2&REV_C7";
    gpu.provider = "Advanced Micro Devices, Inc.";
    gpu.version = "31.0.21001.45002";
    gpu.qwMemorySize = {0, 0, 0, 0, 2, 0, 0, 0};  // 8 GiB
    gpu.bios = "113-D4120100-100";
    gpu.chip = "AMD Radeon Graphics Processor (0x73FF)";
    gpu.containerId = "{00000000-0000-0000-FFFF-FFFFFFFFFFFF}";
    gpu.videoId = "{5B45201D-F2F2-4F3B-85BB-30FF1F953599}";
    gpu.pcieLink = "Gen 4 x8";
    PnpAdapterRead remote;
    remote.name = "Remote Display Adapter";
    remote.hardwareId = "ROOT\\BasicRender";
    src.pnp = {gpu, remote};

    DxgiAdapterRead hw;
    hw.description = "AMD Radeon RX 6600";
    hw.vendorId = 0x1002;
    hw.deviceId = 0x73FF;
    hw.subSysId = 0xE4511DA2;
    hw.revision = 0xC7;
    hw.dedicatedVideoMemory = 8573157376ull;
    hw.sharedSystemMemory = 17129537536ull;
    hw.luidHigh = 0;
    hw.luidLow = 0x0000F1A3;
    hw.desc3Hr = 0;
    hw.kmtStatus = 0;
    hw.kmtType = 0x1;
    hw.segments = {{true, 0, 7516192768ull, 268435456ull, 3758096384ull, 0}, {false, static_cast<int32_t>(0x80004005u)}};
    D3dCapsRead caps;
    caps.created = true;
    caps.featureLevel = 0xC100;
    caps.threading = std::array<bool, 2>{true, false};
    caps.doubles = true;
    hw.d3d = caps;
    OutputRead out;
    out.device = "\\\\.\\DISPLAY1";
    out.mode = std::array<uint32_t, 4>{2560, 1440, 144, 32};
    out.dpi = 120;
    out.right = 2560;
    out.bottom = 1440;
    out.attached = true;
    hw.outputs = {out};

    DxgiAdapterRead basic;
    basic.index = 2;  // adapter 1 did not describe itself
    basic.description = "Microsoft Basic Render Driver";
    basic.vendorId = 0x1414;
    basic.deviceId = 0x008C;
    basic.flags = 2;
    basic.desc3Hr = static_cast<int32_t>(0x80004005u);
    src.dxgi = {hw, basic};
    return src;
}

TEST(DisplayAdapters, RowsSignalsAndFacts) {
    Snapshot s;
    const DisplayAdapterTables t = CollectDisplayAdaptersFrom(s, TwoAdapters());
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::gpus),
              (std::vector<std::string>{
                  "Radeon RX 6600|1002:73FF subsys E4511DA2 rev C7|Advanced Micro Devices, Inc. 31.0.21001.45002|8.00 GB|"
                  "113-D4120100-100 / AMD Radeon Graphics Processor (0x73FF)|Gen 4 x8|{00000000-0000-0000-FFFF-FFFFFFFFFFFF}|"
                  "{5B45201D-F2F2-4F3B-85BB-30FF1F953599}",
                  "Remote Display Adapter|ROOT\\BasicRender||||||"}));
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::dxgi),
              (std::vector<std::string>{"AMD Radeon RX 6600|1002:73FF|E4511DA2 / C7|7.98 GB|16.0 GB|00000000:0000F1A3|hardware",
                                        "Microsoft Basic Render Driver|1414:008C|00000000 / 00|0 B|0 B|00000000:00000000|software"}));
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::flags),
              (std::vector<std::string>{"Adapter 1|DXGI_ADAPTER_DESC3|0x00000000|HARDWARE", "Adapter 1|D3DKMT_ADAPTERTYPE|0x00000001|"}));
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::caps),
              (std::vector<std::string>{"Adapter 1|D3D11_FEATURE_LEVEL|0xC100",
                                        "Adapter 1|D3D11_FEATURE_THREADING|concurrent=1 command-lists=0",
                                        "Adapter 1|D3D11_FEATURE_DOUBLES|1"}));
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::budgets),
              (std::vector<std::string>{"Adapter 1|LOCAL|7.00 GB|256 MB|3.50 GB|0 B"}));
    EXPECT_EQ(Rows(t, &DisplayAdapterTables::outputs),
              (std::vector<std::string>{"\\\\.\\DISPLAY1|AMD Radeon RX 6600|2560 x 1440 @ 144 Hz, 32 bpp|0,0 - 2560,1440|0|120 (125%)|yes"}));

    ASSERT_EQ(s.signals.size(), 4u);  // model of both, VBIOS and video ID of the first
    EXPECT_EQ(s.signals[0].key, sig::kGpuModel);
    EXPECT_EQ(s.signals[2].value, "{5B45201D-F2F2-4F3B-85BB-30FF1F953599}");
    EXPECT_TRUE(Sensitive(s.signals[2]));

    const std::map<std::string, std::string> want = {
        {fact::kDxgiHw, "1"}, {fact::kDxgiMatched, "1"}, {fact::kDxgiPciHw, "1"}, {fact::kDxgiPciMatched, "1"},
        {fact::kPnpGpus, "1"}, {fact::kPnpGpusNonpci, "1"}, {fact::kDisplayOutputs, "1"},
        // A failure does not outweigh a success of the same probe.
        {fact::kDisplayProbeDxgiStatus, "ok"}, {fact::kDisplayProbeMemoryStatus, "ok"},
        {fact::kDisplayProbeDxgiError, "1"}, {fact::kDisplayProbeMemoryError, "1"},
        {fact::kDisplayProbeWddmStatus, "ok"}, {fact::kDisplayProbeD3dStatus, "ok"}};
    for (const auto& [key, value] : want) EXPECT_EQ(GetFact(s, key), value) << key;
}

TEST(DisplayAdapters, FailedProbesAndNothingListed) {
    Snapshot none;
    const DisplayAdapterTables empty = CollectDisplayAdaptersFrom(none, {});
    EXPECT_TRUE(empty.gpus.rows.empty() && empty.dxgi.rows.empty() && empty.outputs.rows.empty());
    EXPECT_EQ(GetFact(none, fact::kDisplayProbeDxgiStatus), "not_supported");
    EXPECT_EQ(GetFact(none, fact::kDxgiHw), "0");

    DisplayAdaptersSource src;
    DxgiAdapterRead a;
    a.description = "GPU";
    a.kmtStatus = static_cast<int32_t>(0xC0000002u);  // not implemented: not an error
    D3dCapsRead d3d;
    d3d.hr = static_cast<int32_t>(0x887A0005u);
    a.d3d = d3d;
    src.dxgi = {a};
    Snapshot s;
    const DisplayAdapterTables t = CollectDisplayAdaptersFrom(s, src);
    EXPECT_TRUE(t.caps.rows.empty() && t.flags.rows.empty());
    EXPECT_EQ(GetFact(s, fact::kDisplayProbeWddmStatus), "not_supported");
    EXPECT_EQ(GetFact(s, fact::kDisplayProbeD3dStatus), "error");
    a.kmtStatus = static_cast<int32_t>(0xC000000Du);  // invalid parameter: counted
    src.dxgi = {a};
    Snapshot counted;
    CollectDisplayAdaptersFrom(counted, src);
    EXPECT_EQ(GetFact(counted, fact::kDisplayProbeWddmStatus), "error");
}

// The whole collector over one source: every step runs, in the order the
// page lists the tables, even when little answers; a monitor whose EDID has
// no name takes its friendly name, asked by its own index.
TEST(DisplayCollector, EveryStepRunsInOrder) {
    DisplaySource src = {};
    src.adapters = TwoAdapters();
    src.paths.bufferSizes = [](uint32_t&, uint32_t&) { return display_rc::kNotSupported; };
    src.paths.remoteProtocol = [](uint16_t&) { return false; };
    src.rawInput.count = [](uint32_t&) { return false; };
    src.monitorsListed = true;
    src.monitors.resize(2);  // the first without an EDID
    std::vector<uint8_t>& edid = src.monitors[1].bytes;
    edid = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x10, 0xAC, 0xC5, 0xA0, 0, 0, 0, 0, 12, 28, 1, 4};
    edid.resize(128);
    unsigned sum = 0;
    for (uint8_t b : edid) sum += b;
    edid[127] = static_cast<uint8_t>(256 - sum % 256);
    src.monitors[1].hasEdid = true;
    std::vector<uint32_t> asked;
    src.monitorName = [&](uint32_t index) {
        asked.push_back(index);
        return Format("Panel %u", index);
    };
    Snapshot s;
    CollectDisplayFrom(s, src);

    std::vector<std::string> ids;
    for (const Table& t : s.tables) ids.push_back(t.id);
    EXPECT_EQ(ids, (std::vector<std::string>{"display.paths", "display.input_devices", "display.gpus", "display.dxgi",
                                              "display.outputs", "display.nvml", "display.monitors", "display.adapter_flags",
                                              "display.d3d_caps", "display.memory_budgets", "display.nvml_modes",
                                              "display.nvml_telemetry", "display.edid_checks"}));
    EXPECT_EQ(asked, (std::vector<uint32_t>{1}));
    const Table& monitors = s.tables[6];
    ASSERT_EQ(monitors.rows.size(), 1u);
    EXPECT_EQ(monitors.rows[0].cells[0], "Panel 1");
    EXPECT_EQ(GetFact(s, fact::kDxgiHw), "1");
}

}  // namespace
}  // namespace vorq
