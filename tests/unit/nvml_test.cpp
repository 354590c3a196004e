#include <gtest/gtest.h>

#include <cstring>

#include "collectors/devices/nvml.h"

namespace vorq {
namespace {

// A scripted library behind the entry-point table.
struct FakeGpu {
    int handleRc = 0;
    std::string name = "GPU A";
    std::string uuid = "GPU-1111";
    int serialRc = 0;
    std::string serial = "1320";
    int modeRc = 0;
    unsigned mode = 0;
    int sensorRc = 0;
    int utilRc = 0;
};

struct FakeNvml {
    int initRc = 0;
    int countRc = 0;
    unsigned count = 1;
    std::vector<FakeGpu> gpus{FakeGpu{}};
    int shutdowns = 0;
    unsigned handlesAsked = 0;
};

FakeNvml* g = nullptr;

FakeGpu& Gpu(NvmlDevice d) { return *static_cast<FakeGpu*>(d); }
int CopyText(const std::string& t, char* buf, unsigned len) {
    std::strncpy(buf, t.c_str(), len);
    return 0;
}

int Init() { return g->initRc; }
int Shutdown() { return ++g->shutdowns, 0; }
int Count(unsigned* c) { return *c = g->count, g->countRc; }
int Handle(unsigned i, NvmlDevice* d) {
    ++g->handlesAsked;
    FakeGpu& gpu = g->gpus[i % g->gpus.size()];
    *d = &gpu;
    return gpu.handleRc;
}
int Name(NvmlDevice d, char* b, unsigned n) { return CopyText(Gpu(d).name, b, n); }
int Uuid(NvmlDevice d, char* b, unsigned n) { return CopyText(Gpu(d).uuid, b, n); }
int Serial(NvmlDevice d, char* b, unsigned n) { return Gpu(d).serialRc ? Gpu(d).serialRc : CopyText(Gpu(d).serial, b, n); }
int Part(NvmlDevice, char* b, unsigned n) { return CopyText("  900-1G133  ", b, n); }
int Vbios(NvmlDevice, char* b, unsigned n) { return CopyText("94.02.42.00.01", b, n); }
int Mode(NvmlDevice d, unsigned* m) { return *m = Gpu(d).mode, Gpu(d).modeRc; }
int Sensor(NvmlDevice d, int type, unsigned* v) { return *v = 40u + static_cast<unsigned>(type), Gpu(d).sensorRc; }
int Util(NvmlDevice d, NvmlUtilization* u) { return *u = {7, 9}, Gpu(d).utilRc; }

NvmlApi FullApi() {
    NvmlApi a;
    a.init = Init;
    a.shutdown = Shutdown;
    a.getCount = Count;
    a.getHandleByIndex = Handle;
    a.getName = Name;
    a.getUuid = Uuid;
    a.getSerial = Serial;
    a.getBoardPartNumber = Part;
    a.getVbiosVersion = Vbios;
    a.getVirtualizationMode = Mode;
    a.getTemperature = Sensor;
    a.getClockInfo = Sensor;
    a.getUtilizationRates = Util;
    return a;
}

struct StepRun {
    Snapshot s;
    NvmlTables t;
};

StepRun RunWith(FakeNvml& fake, const NvmlApi& api, bool loaded = true) {
    g = &fake;
    StepRun r;
    r.t = RunNvmlStep(r.s, api, loaded);
    g = nullptr;
    return r;
}

std::string Facts(const Snapshot& s) {
    return GetFact(s, "gpu.uuid_count") + " " + GetFact(s, "display.probe.nvml.status") + " " +
           GetFact(s, "display.probe.nvml.guest") + GetFact(s, "display.probe.nvml.host") + " " +
           GetFact(s, "display.probe.telemetry.status");
}

TEST(Nvml, OneGpuFully) {
    FakeNvml fake;
    StepRun r = RunWith(fake, FullApi());
    ASSERT_EQ(r.t.gpus.rows.size(), 1u);
    EXPECT_EQ(r.t.gpus.rows[0].cells,
              (std::vector<std::string>{"GPU A", "GPU-1111", "1320", "900-1G133", "94.02.42.00.01"}));
    EXPECT_EQ(r.t.gpus.rows[0].sens, 4u);
    EXPECT_EQ(r.t.gpus.sens, 2u);
    EXPECT_EQ(r.t.modes.rows[0].cells, (std::vector<std::string>{"Adapter 1", "NONE", "0"}));
    ASSERT_EQ(r.t.telemetry.rows.size(), 5u);
    EXPECT_EQ(r.t.telemetry.rows[0].cells, (std::vector<std::string>{"Adapter 1", "TEMPERATURE_C", "40", "0"}));
    EXPECT_EQ(r.t.telemetry.rows[2].cells, (std::vector<std::string>{"Adapter 1", "MEMORY_CLOCK_MHZ", "42", "0"}));
    EXPECT_EQ(r.t.telemetry.rows[4].cells,
              (std::vector<std::string>{"Adapter 1", "MEMORY_UTILIZATION_PERCENT", "9", "0"}));
    ASSERT_EQ(r.s.signals.size(), 2u);
    EXPECT_EQ(r.s.signals[0].key, "gpu.uuid");
    EXPECT_EQ(r.s.signals[0].name, "GPU UUID: GPU A");
    EXPECT_EQ(r.s.signals[0].w, 20);
    EXPECT_EQ(r.s.signals[1].key, "gpu.serial");
    EXPECT_EQ(r.s.signals[1].value, "1320");
    EXPECT_EQ(Facts(r.s), "1 ok 00 ok");
    EXPECT_EQ(fake.shutdowns, 1);
    EXPECT_TRUE(r.t.gpus.note.rfind("GPU UUID is a per-unit", 0) == 0);
}

TEST(Nvml, LibraryAbsentOrNotStarted) {
    struct Case {
        const char* what;
        bool loaded;
        int initRc;
        const char* facts;
    };
    const Case cases[] = {
        {"not in the system folder", false, 0, "0 not_supported 00 not_supported"},
        {"init not supported", true, 3, "0 not_supported 00 not_supported"},
        {"init failed", true, 9, "0 error 00 error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeNvml fake;
        fake.initRc = c.initRc;
        StepRun r = RunWith(fake, FullApi(), c.loaded);
        EXPECT_EQ(r.t.gpus.note, "NVML not available (no NVIDIA driver) - AMD/Intel vendor SDKs are not queried.");
        EXPECT_TRUE(r.t.gpus.rows.empty() && r.t.modes.rows.empty() && r.t.telemetry.rows.empty());
        EXPECT_EQ(Facts(r.s), c.facts);
        EXPECT_EQ(fake.shutdowns, 0);
    }
}

TEST(Nvml, RequiredExports) {
    NvmlApi a = FullApi();
    EXPECT_TRUE(HasRequiredNvmlExports(a));
    a.getName = nullptr;
    a.getSerial = nullptr;
    EXPECT_TRUE(HasRequiredNvmlExports(a));
    a.getUuid = nullptr;
    EXPECT_FALSE(HasRequiredNvmlExports(a));
    EXPECT_FALSE(HasRequiredNvmlExports(NvmlApi{}));
}

TEST(Nvml, CountFailsAfterInit) {
    FakeNvml fake;
    fake.countRc = 2;
    StepRun r = RunWith(fake, FullApi());
    EXPECT_EQ(Facts(r.s), "0 error 00 error");
    EXPECT_EQ(fake.shutdowns, 1);
}

TEST(Nvml, AtMostSixteenGpus) {
    FakeNvml fake;
    fake.count = 20;
    StepRun r = RunWith(fake, FullApi());
    EXPECT_EQ(fake.handlesAsked, 16u);
    EXPECT_EQ(r.t.gpus.rows.size(), 16u);
    EXPECT_EQ(r.t.modes.rows.back().cells[0], "Adapter 16");
    EXPECT_EQ(GetFact(r.s, "gpu.uuid_count"), "16");
}

TEST(Nvml, VirtualizationModes) {
    struct Case {
        unsigned mode;
        int rc;
        const char* name;
        const char* facts;
    };
    const Case cases[] = {
        {0, 0, "NONE", "1 ok 00 ok"},          {1, 0, "PASSTHROUGH", "1 ok 10 ok"}, {2, 0, "VGPU", "1 ok 10 ok"},
        {3, 0, "HOST_VGPU", "1 ok 01 ok"},     {4, 0, "HOST_VSGA", "1 ok 01 ok"},   {7, 0, "UNKNOWN", "1 error 00 ok"},
        {1, 3, "", "1 not_supported 00 ok"}, {1, 999, "", "1 error 00 ok"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode * 1000 + static_cast<unsigned>(c.rc));
        FakeNvml fake;
        fake.gpus[0].mode = c.mode;
        fake.gpus[0].modeRc = c.rc;
        StepRun r = RunWith(fake, FullApi());
        EXPECT_EQ(r.t.modes.rows[0].cells[1], c.name);
        EXPECT_EQ(r.t.modes.rows[0].cells[2], std::to_string(c.rc));
        EXPECT_EQ(Facts(r.s), c.facts);
    }
}

TEST(Nvml, MissingOptionalExports) {
    FakeNvml fake;
    NvmlApi a = FullApi();
    a.getName = nullptr;
    a.getSerial = nullptr;
    a.getVirtualizationMode = nullptr;
    a.getTemperature = nullptr;
    a.getUtilizationRates = nullptr;
    StepRun r = RunWith(fake, a);
    // Listed, but no mode was read: the NVML status stays "not_supported".
    ASSERT_EQ(r.t.gpus.rows.size(), 1u);
    EXPECT_EQ(r.t.gpus.rows[0].cells[0], "");
    EXPECT_EQ(r.t.gpus.rows[0].cells[2], "not supported");
    EXPECT_EQ(r.t.gpus.rows[0].sens, 0u);
    EXPECT_TRUE(r.t.modes.rows.empty());
    ASSERT_EQ(r.t.telemetry.rows.size(), 2u);
    EXPECT_EQ(r.t.telemetry.rows[0].cells[1], "GRAPHICS_CLOCK_MHZ");
    EXPECT_EQ(Facts(r.s), "1 not_supported 00 ok");
    ASSERT_EQ(r.s.signals.size(), 1u);
    EXPECT_EQ(r.s.signals[0].name, "GPU UUID: ");
}

TEST(Nvml, PerGpuFailures) {
    // Serial not supported: "not supported", row mask 0, no serial signal.
    FakeNvml fake;
    fake.gpus[0].serialRc = 3;
    fake.gpus[0].sensorRc = 3;
    fake.gpus[0].utilRc = 3;
    StepRun r = RunWith(fake, FullApi());
    EXPECT_EQ(r.t.gpus.rows[0].cells[2], "not supported");
    EXPECT_EQ(r.t.gpus.rows[0].sens, 0u);
    EXPECT_EQ(r.s.signals.size(), 1u);
    EXPECT_EQ(r.t.telemetry.rows[0].cells, (std::vector<std::string>{"Adapter 1", "TEMPERATURE_C", "", "3"}));
    EXPECT_EQ(Facts(r.s), "1 ok 00 not_supported");

    // A handle failure for one GPU of two: "ok" when the other answered...
    FakeNvml two;
    two.count = 2;
    two.gpus = {FakeGpu{}, FakeGpu{}};
    two.gpus[0].handleRc = 3;
    r = RunWith(two, FullApi());
    EXPECT_EQ(r.t.gpus.rows.size(), 1u);
    EXPECT_EQ(r.t.modes.rows[0].cells[0], "Adapter 2");
    EXPECT_EQ(Facts(r.s), "1 ok 00 ok");

    // ...and "error" when it did not.
    two.gpus[1].modeRc = 3;
    two.gpus[1].sensorRc = 3;
    two.gpus[1].utilRc = 3;
    r = RunWith(two, FullApi());
    EXPECT_EQ(Facts(r.s), "1 error 00 error");
}

TEST(Nvml, StringQueries) {
    int status = 0;
    EXPECT_EQ(NvmlString(nullptr, nullptr, status), "");
    EXPECT_EQ(status, -1);
    // A reply that fills the whole buffer without a terminator stays inside it.
    auto full = [](NvmlDevice, char* b, unsigned n) { return std::memset(b, 'x', n), 0; };
    EXPECT_EQ(NvmlString(full, nullptr, status), std::string(256, 'x'));
    auto failing = [](NvmlDevice, char* b, unsigned) { return std::strcpy(b, "junk"), 15; };
    EXPECT_EQ(NvmlString(failing, nullptr, status), "");
    EXPECT_EQ(status, 15);
    EXPECT_EQ(NvmlModeName(5), "UNKNOWN");
}

}  // namespace
}  // namespace vorq
