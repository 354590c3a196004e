#include <gtest/gtest.h>

#include "collectors/devices/display.h"
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

}  // namespace
}  // namespace vorq
