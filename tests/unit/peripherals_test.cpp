#include <gtest/gtest.h>

#include "collectors/devices/display.h"
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
    EXPECT_TRUE(Sensitive(g));
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
    EXPECT_TRUE(Sensitive(g));
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

// An endpoint's name is masked where a person chose it: a name given in the
// Sound settings, or the Bluetooth device's name its adapter carries.
TEST(Peripherals, AudioNamesAPersonChose) {
    const struct {
        const char* name;
        const char* adapter;
        const char* endpoint;   // the chosen endpoint name, if any
        const char* bluetooth;  // the Bluetooth device's name, if any
    } cases[] = {
        {"Speakers (Realtek(R) Audio)", "Realtek(R) Audio", "", ""},
        {"Speakers (2- USB Audio Device)", "2- USB Audio Device", "", ""},
        {"2- Microphone Array (Intel\u00ae Smart Sound Technology for Digital Microphones)",
         "Intel\u00ae Smart Sound Technology for Digital Microphones", "", ""},
        {"headphones", "", "", ""},
        {"", "", "", ""},
        {"Headphones (Ana's AirPods Pro Stereo)", "Ana's AirPods Pro Stereo", "", "Ana's AirPods Pro"},
        {"Headset (Kowalczyk AirPods Pro Hands-Free)", "Kowalczyk AirPods Pro Hands-Free", "", "Kowalczyk AirPods Pro"},
        {"Headset (WH-1000XM4 Hands-Free AG Audio)", "WH-1000XM4 Hands-Free AG Audio", "", "WH-1000XM4"},
        {"Anas Lautsprecher (Realtek(R) Audio)", "Realtek(R) Audio", "Anas Lautsprecher", ""},
        {"\u738b\u5c0f\u660e\u7684\u8033\u673a (USB Audio Device)", "USB Audio Device",
         "\u738b\u5c0f\u660e\u7684\u8033\u673a", ""},
        {"DELL U2720Q (NVIDIA High Definition Audio)", "NVIDIA High Definition Audio", "DELL U2720Q", ""},
    };
    AudioScan scan;
    scan.available = true;
    std::vector<std::string> expectedNamed;
    for (const auto& c : cases) {
        AudioEndpoint e;
        e.state = 1;
        e.name = c.name;
        e.adapter = c.adapter;
        e.hasFormFactor = true;
        e.formFactor = 3;
        e.id = std::string("{0.0.0.00000000}.{") + std::to_string(scan.endpoints.size()) + "}";
        const AudioEndpointNames chosen = ChosenAudioNames(e);
        EXPECT_EQ(chosen.endpoint, c.endpoint) << c.name;
        EXPECT_EQ(chosen.bluetoothDevice, c.bluetooth) << c.name;
        if (*c.bluetooth) expectedNamed.push_back(c.bluetooth);
        scan.endpoints.push_back(e);
    }
    Snapshot s;
    AddAudioTable(s, scan);
    const Table& t = s.tables.at(0);
    ASSERT_EQ(t.rows.size(), std::size(cases));
    // A chosen endpoint name is a typed cell; the Bluetooth device's name it
    // carries is named besides, so that it masks every text holding it.
    std::vector<std::string> named;
    for (const NamedValue& n : s.named) {
        EXPECT_EQ(n.kind, ValueKind::Chosen);
        named.push_back(n.value);
    }
    EXPECT_EQ(named, expectedNamed);
    for (size_t i = 0; i < t.rows.size(); ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(CellRole(t, t.rows[i], 1) == Role::Typed, *c.endpoint || *c.bluetooth) << c.name;
        const uint32_t expected = (*c.endpoint ? 2u : 0u) | (*c.bluetooth ? 6u : 0u);
        EXPECT_EQ(t.rows[i].sens, expected) << c.name;
        // Its identifier's signal is named by its flow, not by the chosen name.
        const Signal& g = s.signals.at(i);
        if (expected != 0 || !*c.name) {
            EXPECT_EQ(g.name, "Audio endpoint ID - render") << c.name;
        } else {
            EXPECT_EQ(g.name, std::string("Audio endpoint ID - ") + c.name);
        }
    }
    const std::string safe = SafeReport(s);
    for (const char* text : {"Ana's AirPods Pro", "Kowalczyk", "Anas Lautsprecher", "\u738b\u5c0f\u660e"})
        EXPECT_EQ(safe.find(text), std::string::npos) << text;
    EXPECT_NE(safe.find("\"Speakers (Realtek(R) Audio)\""), std::string::npos);
}

// Windows names a monitor's HDMI or DisplayPort audio after its EDID name: the
// maker's, shown whichever of the audio and display collectors runs first.
TEST(Peripherals, AudioNamedAfterAConnectedMonitor) {
    const struct {
        const char* name;
        const char* adapter;
        bool maker;
    } cases[] = {
        {"DELL U2720Q (NVIDIA High Definition Audio)", "NVIDIA High Definition Audio", true},
        {"2- dell u2720q (Intel(R) Display Audio)", "Intel(R) Display Audio", true},
        {"DELL U2720Q Ana (NVIDIA High Definition Audio)", "NVIDIA High Definition Audio", false},
        {"Anas Lautsprecher (Realtek(R) Audio)", "Realtek(R) Audio", false},
        {"LG ULTRAGEAR (NVIDIA High Definition Audio)", "NVIDIA High Definition Audio", false},  // not connected
        // A Bluetooth device's name is its owner's, whatever it equals.
        {"Headphones (DELL U2720Q Stereo)", "DELL U2720Q Stereo", false},
    };
    AudioScan scan;
    scan.available = true;
    for (const auto& c : cases) {
        AudioEndpoint e;
        e.state = 8;
        e.name = c.name;
        e.adapter = c.adapter;
        scan.endpoints.push_back(e);
    }
    auto monitors = [] {
        Table t = MakeTable("display", table::kDisplayMonitors, "Monitors (EDID)",
                            {{"Monitor", Role::Maker}, {"PnP ID / product", Role::Maker}});
        AddRow(t, {"DELL U2720Q", "DEL A0F3"});
        AddRow(t, {"", "BOE 0A1B"});
        return t;
    };
    Snapshot audioFirst, displayFirst;
    AddAudioTable(audioFirst, scan);
    audioFirst.tables.push_back(monitors());
    ShowMonitorAudioNames(audioFirst);  // as the display collector does once its tables are written
    displayFirst.tables.push_back(monitors());
    AddAudioTable(displayFirst, scan);
    for (const Snapshot* s : {&audioFirst, &displayFirst}) {
        const Table* t = FindTable(*s, table::kDevicesAudio);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->rows.size(), std::size(cases));
        const std::string safe = SafeReport(*s);
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& c = cases[i];
            EXPECT_EQ(CellRole(*t, t->rows[i], 1), c.maker ? Role::Maker : Role::Typed) << c.name;
            EXPECT_EQ(t->rows[i].sens & 2u, c.maker ? 0u : 2u) << c.name;
            EXPECT_EQ(safe.find(std::string("\"") + c.name + "\"") != std::string::npos, c.maker) << c.name;
        }
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
    EXPECT_TRUE(Sensitive(g));
    EXPECT_EQ(SafeReport(s).find("AU-55501"), std::string::npos);
    EXPECT_NE(SafeReport(s).find("AU9540"), std::string::npos);
}

// The cells a classification masks, as bits: 1 the queue's name, 4 the port.
uint32_t MaskOf(const PrinterKind& k) { return (MaskedRole(k.name) ? 1u : 0u) | (MaskedRole(k.port) ? 4u : 0u); }

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
        {"HP Universal", "IP_10.0.0.5", 0, "local", 4},
        {"HP Universal", "ip_printer", 0, "local", 4},
        {"HP Universal", "WSD-1c2b3a", 0, "local", 4},
        {"HP Universal", "wsd-1c2b3a", 0, "local", 4},
        {"HP Universal", "printer.local", 0, "local", 4},
        {"HP Universal", "LPT1:", 0, "local", 0},
        {"Microsoft Print to PDF", "PORTPROMPT:", 0x40, "local", 0},
        {"Office", "LPT1:", 0, "local", 1},  // a name someone typed
        {"\\single", "IP", 0, "local", 5},  // a port someone typed
    };
    for (const Case& c : cases) {
        const PrinterKind k = ClassifyPrinter(c.name, "HP Universal", c.port, c.attributes);
        EXPECT_STREQ(k.kind, c.kind) << c.name << " " << c.port;
        EXPECT_EQ(MaskOf(k), c.mask) << c.name << " " << c.port;
    }
}

// A queue's name is masked unless Windows or the maker gave it: its driver's
// name or one of Windows' own queues, with or without Windows' "(Copy n)" and
// "(redirected n)". Whatever else a person typed needs no guess at names.
TEST(Peripherals, QueueNamesAreMaskedUnlessGiven) {
    const struct {
        const char* name;
        const char* driver;
        bool given;
    } cases[] = {
        {"Microsoft Print to PDF", "Microsoft Print To PDF", true},
        {"Microsoft Print to PDF (Copy 2)", "Microsoft Print To PDF", true},
        {"Microsoft XPS Document Writer", "Microsoft XPS Document Writer v4", true},
        {"Fax", "Microsoft Shared Fax Driver", true},
        {"OneNote (Desktop)", "Send to Microsoft OneNote 16 Driver", true},
        {"Send To OneNote 2016", "Send to Microsoft OneNote 16 Driver", true},
        {"HP LaserJet Pro MFP M428fdw", "HP LaserJet Pro MFP M428fdw", true},
        {"hp laserjet pro mfp m428fdw (Copy 1)", "HP LaserJet Pro MFP M428fdw ", true},
        {"HP LaserJet Pro MFP M428fdw (redirected 3)", "HP LaserJet Pro MFP M428fdw", true},
        {"Brother HL-L2350DW series (Kopie 1)", "Brother HL-L2350DW series", true},
        {"HP LaserJet 400 M401", "HP LaserJet 400 M401 PCL 6", true},  // the model, the driver's first words
        {"HP LaserJet 400 M40", "HP LaserJet 400 M401 PCL 6", false},
        {"Anas Drucker", "HP LaserJet Pro MFP M428fdw", false},
        {"Ana\u2019s Drucker", "HP LaserJet Pro MFP M428fdw", false},
        {"Kowalczyk Laser", "HP LaserJet Pro MFP M428fdw", false},
        {"\u738b\u5c0f\u660e\u7684\u6253\u5370\u673a", "Canon TS3100 series", false},
        {"Hollowmere 3.OG Farbe", "Kyocera TASKalfa 3253ci KX", false},
        {"WEISS ELEKTRO B\u00dcRO", "Brother HL-L2350DW series", false},
        {"HP OfficeJet Pro 8020 series [4C7E21]", "HP OfficeJet Pro 8020 series PCL-3", false},
        {"BRW3C2AF41B2C9E", "Brother MFC-L2710DW series", false},
        {"HP LaserJet Pro MFP M428fdw (Copy)", "HP LaserJet Pro MFP M428fdw", false},
        {"HP LaserJet Pro MFP M428fdw (Copy 2a)", "HP LaserJet Pro MFP M428fdw", false},
        {"HP LaserJet Pro MFP M428fdw Ana", "HP LaserJet Pro MFP M428fdw", false},
        {"Fax (Ana)", "Microsoft Shared Fax Driver", false},
        {"Office", "", false},
        {"", "", false},
    };
    PrinterScan scan;
    scan.ok = true;
    for (const auto& c : cases) {
        EXPECT_EQ(IsGivenQueueName(c.name, c.driver), c.given) << c.name;
        EXPECT_EQ(MaskOf(ClassifyPrinter(c.name, c.driver, "USB001", 0)), c.given ? 0u : 1u) << c.name;
        scan.printers.push_back({c.name, c.driver, "USB001", 0});
    }
    // Each masked name is typed, so that it masks every text holding it.
    Snapshot s;
    AddPrinterTable(s, scan);
    std::vector<std::string> named, expected;
    const Table& t = s.tables.at(0);
    for (const TableRow& r : t.rows)
        if (CellRole(t, r, 0) == Role::Typed && !r.cells[0].empty()) named.push_back(r.cells[0]);
    for (const auto& c : cases)
        if (!c.given && *c.name) expected.push_back(c.name);
    EXPECT_EQ(named, expected);

    // In a safe report the chosen names are gone and the given ones stay.
    PrinterScan home;
    home.ok = true;
    home.printers = {{"Microsoft Print to PDF", "Microsoft Print To PDF", "PORTPROMPT:", 0},
                     {"HP LaserJet 400 M401 (Copy 1)", "HP LaserJet 400 M401 PCL 6", "USB001", 0},
                     {"Anas Drucker", "HP LaserJet 400 M401 PCL 6", "USB002", 0},
                     {"Kowalczyk Laser", "HP LaserJet 400 M401 PCL 6", "USB003", 0},
                     {"Hollowmere 3.OG Farbe", "Kyocera TASKalfa 3253ci KX", "USB004", 0}};
    Snapshot h;
    AddPrinterTable(h, home);
    const std::string safe = SafeReport(h);
    for (const char* gone : {"Anas", "Kowalczyk", "Hollowmere"}) EXPECT_EQ(safe.find(gone), std::string::npos) << gone;
    for (const char* kept : {"\"Microsoft Print to PDF\"", "\"HP LaserJet 400 M401 (Copy 1)\"",
                             "\"Kyocera TASKalfa 3253ci KX\""})
        EXPECT_NE(safe.find(kept), std::string::npos) << kept;
}

// A port is typed unless Windows made it under a fixed name: a person names
// one after a room or a printer, a port monitor after its address or its
// host name, which carries the MAC.
TEST(Peripherals, PortsAreTypedUnlessWindowsMadeThem) {
    const struct {
        const char* text;
        bool windows;
    } cases[] = {
        {"USB001", true},          {"usb002", true},
        {"LPT1:", true},           {"COM3:", true},
        {"PORTPROMPT:", true},     {"nul:", true},
        {"FILE:", true},           {"XPSPort:", true},
        {"SHRFAX:", true},         {"DOT4_001", true},
        {"TS001", true},           {"Ne00:", true},
        {"BRW3C2AF41B2C9E", false}, {"NPI8C2A1F (HP LaserJet 400 M401dne)", false},
        {"IP_10.0.0.5", false},    {"WSD-1c2b3a4d-0000-1111-2222-333344445555", false},
        {"printer.local", false},  {"Ana's room", false},
        {"Kowalczyk-Brother", false}, {"USB0011", false},
        {"LPT:", false},           {"COMx:", false},
        {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsWindowsPortName(c.text), c.windows) << c.text;
        EXPECT_EQ(MaskOf(ClassifyPrinter("Fax", "Fax driver", c.text, 0)), c.windows ? 0u : 4u) << c.text;
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
    scan.defaultName = "HP Universal";
    scan.printers = {{"HP Universal", "HP Universal", "IP_10.0.0.5", 0}, {"\\\\srv\\Q", "Xerox", "USB001", 0},
                     {"HP Universal (Copy 1)", "HP Universal", "LPT1:", 0}};
    Snapshot s;
    AddPrinterTable(s, scan);
    const Table& t = s.tables.at(0);
    EXPECT_EQ(t.note, kPrinterNote);
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[0].cells,
              (std::vector<std::string>{"HP Universal", "HP Universal", "IP_10.0.0.5", "local", "yes"}));
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
