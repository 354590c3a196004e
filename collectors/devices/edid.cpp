#include "collectors/devices/edid.h"

#include <algorithm>

#include "collectors/devices/display.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

constexpr size_t kBlock = 128;

bool BlockSumsToZero(const uint8_t* p) {
    unsigned sum = 0;
    for (size_t i = 0; i < kBlock; ++i) sum += p[i];
    return (sum & 0xFF) == 0;
}

// The three 5-bit letters of the big-endian manufacturer id at bytes 8-9.
void ManufacturerLetters(const std::vector<uint8_t>& b, unsigned out[3]) {
    const unsigned id = static_cast<unsigned>(b[8]) << 8 | b[9];
    out[0] = (id >> 10) & 0x1F;
    out[1] = (id >> 5) & 0x1F;
    out[2] = id & 0x1F;
}

// The text of the display descriptors of one tag. Real monitors repeat a tag
// with an empty text (which must not erase the first), and some split a long
// name over two descriptors: a name that fills all 13 bytes, with neither a
// line feed nor blank padding, goes on in the next name descriptor. A serial
// of exactly 13 characters is common, so serials never continue.
struct DescriptorText {
    bool mayContinue = false;
    std::string text;
    bool continues = false;

    void Take(const uint8_t* d) {
        std::string t;
        bool terminated = false;
        for (size_t i = 5; i < 18 && !terminated; ++i) {
            if (d[i] == 0x0A)
                terminated = true;
            else
                t.push_back(d[i] >= 0x20 && d[i] <= 0x7E ? static_cast<char>(d[i]) : '.');
        }
        if (continues)
            text += t;
        else if (!Trim(t).empty())
            text = t;
        continues = mayContinue && !terminated && d[17] != ' ';
    }
};

}  // namespace

EdidBlockChecks ValidateEdidBlocks(const std::vector<uint8_t>& bytes) {
    EdidBlockChecks c;
    const size_t n = bytes.size();
    if (n < kBlock || n > kMaxEdidBytes) return c;
    c.sizeOk = true;
    c.advertisedBlocks = static_cast<uint64_t>(bytes[126]) + 1;
    c.availableBlocks = n / kBlock;
    static const uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    c.headerOk = std::equal(kHeader, kHeader + 8, bytes.begin());
    c.lengthConsistent = n % kBlock == 0 && c.availableBlocks == c.advertisedBlocks;
    c.baseChecksumOk = BlockSumsToZero(bytes.data());
    c.allChecksumsOk = true;
    for (size_t b = 0; b < c.availableBlocks; ++b)
        if (!BlockSumsToZero(bytes.data() + b * kBlock)) c.allChecksumsOk = false;
    unsigned letters[3];
    ManufacturerLetters(bytes, letters);
    c.manufacturerValid = (bytes[8] & 0x80) == 0;
    for (unsigned l : letters)
        if (l < 1 || l > 26) c.manufacturerValid = false;
    return c;
}

bool EdidChecksPassed(const EdidBlockChecks& c) {
    return c.sizeOk && c.headerOk && c.baseChecksumOk && c.manufacturerValid && c.allChecksumsOk && c.lengthConsistent;
}

EdidInfo ParseEdid(const std::vector<uint8_t>& bytes) {
    EdidInfo e;
    const EdidBlockChecks c = ValidateEdidBlocks(bytes);
    if (!c.sizeOk || !c.headerOk || !c.baseChecksumOk || !c.manufacturerValid) return e;
    e.valid = true;
    unsigned letters[3];
    ManufacturerLetters(bytes, letters);
    for (unsigned l : letters) e.manufacturer.push_back(static_cast<char>(l + 0x40));
    e.productCode = static_cast<uint16_t>(bytes[10] | bytes[11] << 8);
    e.serialNumber = static_cast<uint32_t>(bytes[12]) | static_cast<uint32_t>(bytes[13]) << 8 |
                     static_cast<uint32_t>(bytes[14]) << 16 | static_cast<uint32_t>(bytes[15]) << 24;
    const int year = bytes[17] + 1990;
    const int week = bytes[16];
    if (week == 0xFF)
        e.manufactured = Format("model year %d", year);
    else if (week != 0)
        e.manufactured = Format("week %d / %d", week, year);
    else
        e.manufactured = Format("%d", year);
    e.version = Format("%u.%u", bytes[18], bytes[19]);
    if (bytes[21] && bytes[22]) e.size = Format("%u x %u cm", bytes[21], bytes[22]);
    DescriptorText name, serial;
    name.mayContinue = true;
    for (size_t off : {54u, 72u, 90u, 108u}) {
        const uint8_t* d = bytes.data() + off;
        if (d[0] != 0 || d[1] != 0) continue;
        if (d[3] == 0xFC) name.Take(d);
        if (d[3] == 0xFF) serial.Take(d);
    }
    e.name = Trim(name.text);
    e.serialText = Trim(serial.text);
    return e;
}

MonitorStep BeginMonitorStep(bool listed) {
    MonitorStep m;
    m.monitors = MakeDisplayTable(table::kDisplayMonitors);
    m.checks = MakeDisplayTable(table::kDisplayEdidChecks);
    m.edidFailed = !listed;
    m.overrideFailed = !listed;
    return m;
}

void AddMonitor(Snapshot& s, MonitorStep& m, uint32_t index, const MonitorEdidRead& r,
                const std::function<std::string()>& friendlyName) {
    m.edidFailed |= r.edidError;
    m.overrideFailed |= r.overrideError;
    if (r.overrideProbed) ++m.overridesProbed;
    if (r.overridePresent) ++m.overridesPresent;
    if (!r.hasEdid) return;

    ++m.edidCount;
    const EdidBlockChecks c = ValidateEdidBlocks(r.bytes);
    if (!EdidChecksPassed(c) || r.tooLarge) ++m.edidContext;
    auto flag = [](bool b) { return std::string(b ? "1" : "0"); };
    AddRow(m.checks, {Format("Monitor %lu", static_cast<unsigned long>(index) + 1),
                      r.tooLarge ? std::string(">32768") : std::to_string(r.bytes.size()),
                      std::to_string(c.advertisedBlocks), std::to_string(c.availableBlocks), flag(c.headerOk),
                      flag(c.allChecksumsOk), flag(c.lengthConsistent), flag(r.overridePresent)});

    const EdidInfo e = ParseEdid(r.bytes);
    if (!e.valid) return;
    std::string name = e.name.empty() && friendlyName ? friendlyName() : e.name;
    const std::string model = Format("%s %04X", e.manufacturer.c_str(), e.productCode);
    const std::string dword = e.serialNumber ? Format("%08X", e.serialNumber) : std::string();
    AddRow(m.monitors, {name, model, dword, e.serialText, e.manufactured, e.version, e.size,
                        Sha256HexOf(r.bytes.data(), r.bytes.size()).substr(0, 16)});
    s.signals.push_back(MakeSignal(sig::kMonitorModel, "Display", {"Monitor: {x1}", {{name, Role::Maker}}}, model,
                                   SignalScope::PerModel, 1, "peripheral", Role::Maker, "EDID", "", 1.0));
    const std::string serial = e.serialText.empty() ? dword : e.serialText;
    if (serial.empty()) return;
    ++m.serials;
    s.signals.push_back(MakeSignal(sig::kMonitorSerial, "Display", {"Monitor serial: {x1}", {{name, Role::Maker}}},
                                   serial, SignalScope::PerUnit, 3, "peripheral", Role::Identifier,
                                   "EDID (registry, device key)", "external monitors are removable - low identity weight",
                                   1.0));
}

void FinishMonitorStep(Snapshot& s, const MonitorStep& m) {
    SetFact(s, fact::kMonitorSerials, std::to_string(m.serials));
    SetFact(s, fact::kDisplayProbeEdidStatus, ProbeStatusWord(static_cast<int>(m.edidCount), m.edidFailed));
    SetFact(s, fact::kDisplayProbeEdidContext, m.edidContext ? "1" : "0");
    SetFact(s, fact::kDisplayProbeOverrideStatus, ProbeStatusWord(static_cast<int>(m.overridesProbed), m.overrideFailed));
    SetFact(s, fact::kDisplayProbeOverrideContext, m.overridesPresent ? "1" : "0");
}

}  // namespace vorq
