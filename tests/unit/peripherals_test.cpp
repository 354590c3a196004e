#include <gtest/gtest.h>

#include "collectors/devices/peripherals.h"
#include "core/report.h"
#include "core/text.h"

namespace vorq {
namespace {

const std::string kAudioNote =
    "Audio endpoints registered with the Windows audio engine (active, disabled and unplugged). The endpoint ID is "
    "generated when the endpoint is first registered on this installation; web pages see a hash of it as the media "
    "device ID.";
const std::string kSmartCardNote =
    "Readers registered with the Smart Card Resource Manager, queried without a card. Vendor serial numbers, when the "
    "reader reports one, are per unit.";
const std::string kPrinterNote =
    "Installed print queues (EnumPrinters). Network queues and IP or WSD ports name servers and devices on the user's "
    "network and keep their mask.";

// The privacy-safe report of `s` (fixed key).
std::string SafeReport(const Snapshot& s) {
    std::string out;
    WriteSnapshotJsonWithKey(out, s, kReportSafe, Bytes(32, 7));
    return out;
}

TEST(Peripherals, WideFieldToUtf8StopsAtNulOrMaximum) {
    const char16_t withNul[] = u"  Synaptics FP \0garbage";
    EXPECT_EQ(WideFieldToUtf8(withNul, sizeof withNul / 2), "Synaptics FP");
    const char16_t full[4] = {u'A', u'B', u'C', u'D'};  // no terminator inside the field
    EXPECT_EQ(WideFieldToUtf8(full, 4), "ABCD");
    EXPECT_EQ(WideFieldToUtf8(full, 2), "AB");
    const char16_t empty[1] = {0};
    EXPECT_EQ(WideFieldToUtf8(empty, 1), "");
}

TEST(Peripherals, BiometricNotes) {
    auto factors = [](bool failAll) {
        std::vector<BiometricFactorResult> out;
        for (const BiometricFactor& f : kBiometricFactors) {
            BiometricFactorResult r;
            r.factor = f.name;
            r.failed = failAll;
            if (failAll) r.error = "HRESULT 0x80098008";
            out.push_back(r);
        }
        return out;
    };
    struct Case {
        BiometricScan scan;
        const char* note;
    } cases[] = {
        {{false, "", factors(false)}, "No biometric sensors registered."},
        {{false, "", factors(true)},
         "Biometric framework not available: fingerprint: HRESULT 0x80098008; face: HRESULT 0x80098008; iris: "
         "HRESULT 0x80098008"},
        {{true, "error 126: The specified module could not be found.", {}},
         "Biometric framework not available: error 126: The specified module could not be found."},
    };
    for (const Case& c : cases) {
        Snapshot s;
        AddBiometricTable(s, c.scan);
        ASSERT_EQ(s.tables.size(), 1u);
        EXPECT_EQ(s.tables[0].id, "devices.biometric");
        EXPECT_EQ(s.tables[0].note, c.note);
        EXPECT_TRUE(s.tables[0].rows.empty());
        EXPECT_TRUE(s.signals.empty());
    }
}

TEST(Peripherals, BiometricUnitsAndMaskedSerial) {
    BiometricScan scan;
    BiometricFactorResult fp{"fingerprint", false, "", {}};
    fp.units.push_back({65537, "Fingerprint sensor", "Synaptics", "Prometheus", "SN-4711", "1.2",
                        "USB\\VID_06CB&PID_00BD\\1"});
    fp.units.push_back({65538, "Second", "", "", "", "0.0", ""});
    BiometricFactorResult face{"face", true, "HRESULT 0x80070005", {}};
    scan.factors = {fp, face, {"iris", false, "", {}}};
    Snapshot s;
    AddBiometricTable(s, scan);
    const Table& t = s.tables.at(0);
    // Rows were found, so a failed factor does not replace the note.
    EXPECT_EQ(t.note,
              "Fingerprint, face and iris sensors enumerated through WinBioEnumBiometricUnits. Sensor serial numbers, "
              "when the vendor fills them in, are per unit.");
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"65537", "fingerprint", "Fingerprint sensor", "Synaptics",
                                                         "Prometheus", "SN-4711", "1.2", "USB\\VID_06CB&PID_00BD\\1"}));
    ASSERT_EQ(s.signals.size(), 1u);  // the unit without a serial adds none
    const Signal& g = s.signals[0];
    EXPECT_EQ(g.key, "biometric.serial");
    EXPECT_EQ(g.name, "Biometric sensor serial (fingerprint)");
    EXPECT_EQ(g.value, "SN-4711");
    EXPECT_EQ(g.scope, 0);
    EXPECT_EQ(g.w, 4);
    EXPECT_EQ(g.group, "peripheral");
    EXPECT_EQ(g.src, "WinBioEnumBiometricUnits");
    EXPECT_EQ(g.note, "same physical serial may also appear as a USB serial");
    // A per-unit serial stays out of a privacy-safe report, as signal and as cell.
    EXPECT_TRUE(g.sens);
    EXPECT_EQ(SafeReport(s).find("SN-4711"), std::string::npos);
    EXPECT_NE(SafeReport(s).find("Prometheus"), std::string::npos);
}

TEST(Peripherals, FormFactorAndStateNames) {
    const std::pair<uint32_t, const char*> forms[] = {
        {0, "remote network device"}, {1, "speakers"}, {2, "line level"},  {3, "headphones"},
        {4, "microphone"},            {5, "headset"},  {6, "handset"},     {7, "digital passthrough"},
        {8, "S/PDIF"},                {9, "HDMI / DisplayPort audio"},     {10, "unknown"},
        {0xFFFFFFFF, "unknown"}};
    for (const auto& [code, name] : forms) EXPECT_STREQ(FormFactorName(true, code), name) << code;
    EXPECT_STREQ(FormFactorName(false, 1), "unknown");
    const std::pair<uint32_t, const char*> states[] = {
        {1, "active"}, {2, "disabled"}, {8, "unplugged"}, {4, "not present"}, {0, "not present"}, {3, "not present"}};
    for (const auto& [code, name] : states) EXPECT_STREQ(EndpointStateName(code), name) << code;
}

TEST(Peripherals, AudioRowsSignalsAndNote) {
    AudioScan scan;
    scan.available = true;
    auto ep = [](uint32_t state, bool capture, std::string name, std::string id) {
        AudioEndpoint e;
        e.state = state;
        e.capture = capture;
        e.name = std::move(name);
        e.adapter = "Realtek(R) Audio";
        e.hasFormFactor = true;
        e.formFactor = capture ? 4 : 1;
        e.id = std::move(id);
        return e;
    };
    scan.endpoints = {ep(8, false, "Headphones", "{0.0.0.00000000}.{a}"), ep(4, false, "", ""),
                      ep(8, true, "Mic", "{0.0.1.00000000}.{b}"),         ep(4, true, "", ""),
                      ep(2, false, "Speakers", "{0.0.0.00000000}.{c}"),  ep(4, false, "", ""),
                      ep(1, false, "", "{0.0.0.00000000}.{d}"),          ep(1, true, "Array", "")};
    Snapshot s;
    AddAudioTable(s, scan);
    const Table& t = s.tables.at(0);
    EXPECT_EQ(t.note, kAudioNote + " 3 endpoint(s) of devices that are no longer present are not listed.");
    ASSERT_EQ(t.rows.size(), 5u);
    EXPECT_EQ(t.rows[1].cells, (std::vector<std::string>{"capture", "Mic", "Realtek(R) Audio", "microphone",
                                                         "unplugged", "{0.0.1.00000000}.{b}"}));
    EXPECT_EQ(t.rows[2].cells[4], "disabled");
    // Only the active endpoint with an id is an identifier; the one without an id is listed only.
    ASSERT_EQ(s.signals.size(), 1u);
    const Signal& g = s.signals[0];
    EXPECT_EQ(g.key, "audio.endpoint_id");
    EXPECT_EQ(g.name, "Audio endpoint ID - render");  // no name: the flow, never the ID
    EXPECT_EQ(g.value, "{0.0.0.00000000}.{d}");
    EXPECT_EQ(g.scope, 2);
    EXPECT_EQ(g.w, 2);
    EXPECT_EQ(g.group, "");
    EXPECT_TRUE(g.sens);
    EXPECT_EQ(g.src, "IMMDevice::GetId");
    EXPECT_EQ(GetFact(s, "audio.active"), "1");
}

// The endpoint ID is made on this installation: masked in the table and the
// signal, named or not; the endpoint's name, adapter and state stay readable.
TEST(Peripherals, AudioEndpointIdsAreMasked) {
    const struct {
        const char* name;
        bool capture;
        const char* id;
    } cases[] = {
        {"Speakers", false, "{0.0.0.00000000}.{5e1c0a3b-7d2f-4a91-b8c6-2f0e9d4a7b13}"},
        {"", true, "{0.0.1.00000000}.{9a4f3c21-6b8e-4d07-a1c5-e37b2d90f6a8}"},
    };
    for (const auto& c : cases) {
        AudioScan scan;
        scan.available = true;
        AudioEndpoint e;
        e.state = 1;
        e.capture = c.capture;
        e.name = c.name;
        e.adapter = "Realtek(R) Audio";
        e.id = c.id;
        scan.endpoints = {e};
        Snapshot s;
        AddAudioTable(s, scan);
        const std::string safe = SafeReport(s);
        const std::string id = c.id;
        const std::string guid = id.substr(id.rfind('{') + 1, 36);
        EXPECT_EQ(safe.find(guid), std::string::npos) << c.id;
        EXPECT_NE(safe.find("Realtek(R) Audio"), std::string::npos) << c.id;
        EXPECT_NE(safe.find("\"active\""), std::string::npos) << c.id;
    }
}

TEST(Peripherals, AudioWithoutEndpointsOrApi) {
    Snapshot none;
    AudioScan empty;
    empty.available = true;
    AddAudioTable(none, empty);
    EXPECT_EQ(none.tables.at(0).note, kAudioNote + " 0 endpoint(s) of devices that are no longer present are not listed.");
    EXPECT_EQ(GetFact(none, "audio.active"), "0");

    Snapshot failed;
    AudioScan noApi;
    noApi.error = "HRESULT 0x800401F0";
    AddAudioTable(failed, noApi);
    EXPECT_EQ(failed.tables.at(0).note, "MMDevice API not available: HRESULT 0x800401F0");
    EXPECT_FALSE(HasFact(failed, "audio.active"));
}

TEST(Peripherals, SmartCardVersionAndAttributeText) {
    struct Version {
        uint32_t result, length, value;
        const char* want;
    } versions[] = {{0, 4, 0x01020003, "1.2.3"},
                    {0, 4, 0xFFFFFFFF, "255.255.65535"},
                    {0, 2, 0x01020003, ""},  // two bytes returned
                    {0x80100016, 4, 0x01020003, ""}};
    for (const Version& v : versions) EXPECT_EQ(SmartCardVersionText(v.result, v.length, v.value), v.want);

    const uint8_t vendor[] = {' ', 'A', 'l', 'c', 'o', 'r', 0xE9, ' ', 0, 'X', 'Y'};
    EXPECT_EQ(SmartCardAttributeText(vendor, sizeof vendor), "Alcor\xC3\xA9");
    EXPECT_EQ(SmartCardAttributeText(vendor, 3), "Al");
    EXPECT_EQ(SmartCardAttributeText(vendor, 0), "");
}

TEST(Peripherals, SmartCardNotes) {
    struct Case {
        uint32_t context, list;
        const char* suffix;
    } cases[] = {
        {0x8010001D, 0, " The Smart Card service is not running."},
        {0x8010001E, 0, " Smart Card Resource Manager not available (0x8010001E)."},
        {0, 0x8010002E, " No smart-card readers present."},
        {0, 0x80100065, " Reader list not available (0x80100065)."},
        {0, 0, ""},
    };
    for (const Case& c : cases) {
        Snapshot s;
        SmartCardScan scan;
        scan.contextResult = c.context;
        scan.listResult = c.list;
        AddSmartCardTable(s, scan);
        EXPECT_EQ(s.tables.at(0).id, "devices.smartcard");
        EXPECT_EQ(s.tables.at(0).note, kSmartCardNote + c.suffix);
    }
}

TEST(Peripherals, SmartCardReadersAndMaskedSerial) {
    SmartCardScan scan;
    scan.readers = {{"Alcor Micro USB Smart Card Reader 0", "Alcor Micro", "AU9540", "1.2.3", "AU-55501"},
                    {"Virtual Reader 1", "", "", "", ""}};
    Snapshot s;
    AddSmartCardTable(s, scan);
    const Table& t = s.tables.at(0);
    EXPECT_EQ(t.note, kSmartCardNote);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1].cells, (std::vector<std::string>{"Virtual Reader 1", "", "", "", ""}));
    ASSERT_EQ(s.signals.size(), 1u);
    const Signal& g = s.signals[0];
    EXPECT_EQ(g.key, "smartcard.serial");
    EXPECT_EQ(g.name, "Smart-card reader serial - Alcor Micro USB Smart Card Reader 0");
    EXPECT_EQ(g.value, "AU-55501");
    EXPECT_EQ(g.w, 4);
    EXPECT_EQ(g.src, "SCardGetAttrib(SCARD_ATTR_VENDOR_IFD_SERIAL_NO)");
    EXPECT_TRUE(g.sens);
    EXPECT_EQ(SafeReport(s).find("AU-55501"), std::string::npos);
    EXPECT_NE(SafeReport(s).find("AU9540"), std::string::npos);
}

TEST(Peripherals, PrinterKindAndMask) {
    struct Case {
        const char* name;
        const char* port;
        uint32_t attributes;
        const char* kind;
        uint32_t mask;
    } cases[] = {
        {"\\\\server\\Laser", "USB001", 0, "network", 5},  // shared queue without the network bit
        {"Office", "\\\\server\\Laser", 0, "network", 5},
        {"Office", "USB001", 0x10, "network", 5},
        {"HP", "IP_10.0.0.5", 0, "local", 4},
        {"HP", "ip_printer", 0, "local", 4},
        {"HP", "WSD-1c2b3a", 0, "local", 4},
        {"HP", "wsd-1c2b3a", 0, "local", 4},
        {"HP", "printer.local", 0, "local", 4},
        {"HP", "LPT1:", 0, "local", 0},
        {"Microsoft Print to PDF", "PORTPROMPT:", 0x40, "local", 0},
        {"\\single", "IP", 0, "local", 0},
    };
    for (const Case& c : cases) {
        const PrinterKind k = ClassifyPrinter(c.name, c.port, c.attributes);
        EXPECT_STREQ(k.kind, c.kind) << c.name << " " << c.port;
        EXPECT_EQ(k.mask, c.mask) << c.name << " " << c.port;
    }
}

// Queue and port names made from a printer's host name carry its MAC; model
// names and Windows' own queues do not. Each name is tried as a local queue's
// name and as its port.
TEST(Peripherals, PrinterNamesMadeFromAHostName) {
    const struct {
        const char* text;
        bool host;
    } cases[] = {
        {"BRW3C2AF41B2C9E", true},
        {"NPI8C2A1F", true},
        {"HP1A2B3C", true},
        {"hp1a2b3c", true},
        {"EPSON3C2A1F (ET-2750 Series)", true},
        {"NPI8C2A1F (HP LaserJet 400 M401dne)", true},
        {"Brother MFC-L2710DW series (BRN-3C2AF41B2C9E)", true},
        {"KM_9C934E", true},
        {"XRX9C934E1A2B3C", true},
        {"HPAB12CD", true},  // the hex part begins with hex letters
        {"Microsoft Print to PDF", false},
        {"Microsoft XPS Document Writer", false},
        {"HP LaserJet 400 M401", false},
        {"HP LaserJet Pro MFP M428fdw", false},
        {"Brother HL-L2350DW series", false},
        {"Canon TS3100 series", false},
        {"Canon MF642C/643C/644C", false},
        {"EPSON XP-4100 Series", false},
        {"Send To OneNote 2016", false},
        {"ZDesigner ZD420-203dpi ZPL", false},
        {"Fax", false},
        {"USB001", false},
        {"PORTPROMPT:", false},
        {"nul:", false},
        {"FACADE", false},
        {"HPDEFACE", false},            // no digit: a word, not an address
        {"1A2B3C", false},              // no maker's prefix
        {"X1A2B3C", false},             // a one-letter prefix is a model's
        {"ABCDEFG1A2B3C", false},       // a prefix longer than a maker's
        {"HP1A2B3C4", false},           // 7 hex digits
        {"HP12-1A2B3C", false},         // digits before the separator
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NamesPrinterHost(c.text), c.host) << c.text;
        EXPECT_EQ(ClassifyPrinter(c.text, "USB001", 0).mask, c.host ? 1u : 0u) << c.text;
        EXPECT_EQ(ClassifyPrinter("Office", c.text, 0).mask, c.host ? 4u : 0u) << c.text;
        EXPECT_STREQ(ClassifyPrinter(c.text, c.text, 0).kind, "local") << c.text;
    }

    PrinterScan scan;
    scan.ok = true;
    scan.printers = {{"Brother MFC-L2710DW series (BRW3C2AF41B2C9E)", "Brother MFC-L2710DW series", "BRW3C2AF41B2C9E", 0},
                     {"Microsoft Print to PDF", "Microsoft Print To PDF", "PORTPROMPT:", 0}};
    Snapshot s;
    AddPrinterTable(s, scan);
    const std::string safe = SafeReport(s);
    EXPECT_EQ(ToLower(safe).find("3c2af41b2c9e"), std::string::npos);
    EXPECT_NE(safe.find("\"Brother MFC-L2710DW series\""), std::string::npos);  // the driver
    EXPECT_NE(safe.find("\"Microsoft Print to PDF\""), std::string::npos);
    EXPECT_NE(safe.find("\"PORTPROMPT:\""), std::string::npos);
}

TEST(Peripherals, PrinterRowsDefaultAndNotes) {
    PrinterScan scan;
    scan.ok = true;
    scan.defaultName = "HP";
    scan.printers = {{"HP", "HP Universal", "IP_10.0.0.5", 0}, {"\\\\srv\\Q", "Xerox", "USB001", 0},
                     {"HPX", "PDF", "LPT1:", 0}};
    Snapshot s;
    AddPrinterTable(s, scan);
    const Table& t = s.tables.at(0);
    EXPECT_EQ(t.note, kPrinterNote);
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[0].cells, (std::vector<std::string>{"HP", "HP Universal", "IP_10.0.0.5", "local", "yes"}));
    EXPECT_EQ(t.rows[0].sens, 4u);
    EXPECT_EQ(t.rows[1].cells[4], "");
    EXPECT_EQ(t.rows[1].sens, 5u);
    EXPECT_EQ(t.rows[2].cells[4], "");  // a longer name is not the default
    EXPECT_EQ(GetFact(s, "printers"), "3");

    struct Case {
        bool ok;
        const char* error;
        const char* suffix;
    } cases[] = {
        {true, "", " No print queues installed."},
        // A stopped spooler is told as such, not as a machine without queues.
        {false, "error 1722: The RPC server is unavailable.",
         " Print queues not available: error 1722: The RPC server is unavailable."},
    };
    for (const Case& c : cases) {
        Snapshot e;
        PrinterScan empty;
        empty.ok = c.ok;
        empty.error = c.error;
        AddPrinterTable(e, empty);
        EXPECT_EQ(e.tables.at(0).note, kPrinterNote + c.suffix);
        EXPECT_EQ(GetFact(e, "printers"), "0");
    }
}

}  // namespace
}  // namespace vorq
