#include "collectors/devices/peripherals.h"

#include <algorithm>
#include <span>

#include "collectors/devices/display.h"
#include "core/text.h"

namespace vorq {

namespace {


// Endpoint names Windows and audio drivers give; a person can rename an
// endpoint in the Sound settings, and any other name is taken as typed.
constexpr std::string_view kGivenEndpointNames[] = {
    "Speakers",           "Speaker",          "Headphones",          "Headset",
    "Headset Earphone",   "Headset Microphone", "Earphone",          "Microphone",
    "Microphone Array",   "Internal Microphone", "External Microphone", "Front Mic",
    "Rear Mic",           "Line In",          "Line Out",            "Line",
    "Stereo Mix",         "Digital Output",   "Digital Audio (S/PDIF)", "S/PDIF",
    "SPDIF Out",          "Realtek Digital Output", "Realtek Digital Output(Optical)", "Speakers/Headphones",
    "Communications Headphones", "Output",    "Input",
};

// What a Bluetooth audio function appends to the remote device's name, which
// its owner chose ("Headphones (Ana's AirPods Pro Stereo)").
constexpr std::string_view kBluetoothProfileSuffixes[] = {" Hands-Free AG Audio", " Hands-Free HF Audio",
                                                          " Hands-Free AG", " Hands-Free", " Stereo"};

// Without the "2- " Windows puts before the second of two equal names.
std::string_view WithoutOrdinal(std::string_view name) {
    size_t digits = 0;
    while (digits < name.size() && IsAsciiDigit(name[digits])) ++digits;
    if (digits > 0 && name.substr(digits).starts_with("- ")) name.remove_prefix(digits + 2);
    return name;
}

bool InList(std::string_view text, std::span<const std::string_view> list) {
    return std::any_of(list.begin(), list.end(), [&](std::string_view g) { return EqualsNoCase(text, g); });
}

// The endpoint's own name: without the " (<adapter>)" Windows appends and the ordinal.
std::string_view EndpointDescription(std::string_view name, const std::string& adapter) {
    const std::string suffix = " (" + adapter + ")";
    if (!adapter.empty() && name.size() > suffix.size() && name.ends_with(suffix)) name.remove_suffix(suffix.size());
    return WithoutOrdinal(name);
}

}  // namespace

AudioEndpointNames ChosenAudioNames(const AudioEndpoint& e) {
    AudioEndpointNames out;
    const std::string_view description = EndpointDescription(e.name, e.adapter);
    if (!description.empty() && !InList(description, kGivenEndpointNames)) out.endpoint = std::string(description);
    const std::string_view adapter = WithoutOrdinal(e.adapter);
    for (std::string_view profile : kBluetoothProfileSuffixes)
        if (adapter.size() > profile.size() && adapter.ends_with(profile)) {
            out.bluetoothDevice = std::string(adapter.substr(0, adapter.size() - profile.size()));
            break;
        }
    return out;
}

std::string WideFieldToUtf8(const char16_t* field, size_t max) {
    size_t n = 0;
    while (n < max && field[n] != 0) ++n;
    return Trim(Utf16ToUtf8(field, n));
}

const BiometricFactor kBiometricFactors[3] = {{8, "fingerprint"}, {2, "face"}, {16, "iris"}};

void AddBiometricTable(Snapshot& s, const BiometricScan& scan) {
    Table t = MakeTable("devices", table::kDevicesBiometric, "Biometric sensors (Windows Biometric Framework)",
                        {{"Unit", Role::Maker},
                         {"Factor", Role::Program},
                         {"Description", Role::Maker},
                         {"Manufacturer", Role::Maker},
                         {"Model", Role::Maker},
                         {"Serial number", Role::Identifier},  // per unit
                         {"Firmware", Role::Maker},
                         {"Device instance", Role::Maker}},
                        "Fingerprint, face and iris sensors enumerated through WinBioEnumBiometricUnits. Sensor "
                        "serial numbers, when the vendor fills them in, are per unit.");
    std::string errors = scan.unavailable ? scan.error : std::string();
    for (const BiometricFactorResult& f : scan.factors) {
        if (f.failed) {
            if (!errors.empty()) errors += "; ";
            errors += std::string(f.factor) + ": " + f.error;
            continue;
        }
        for (const BiometricUnit& u : f.units) {
            AddRow(t, {std::to_string(u.unitId), f.factor, u.description, u.manufacturer, u.model, u.serial,
                       u.firmware, u.instance});
            if (!u.serial.empty())
                s.signals.push_back(MakeSignal(sig::kBiometricSerial, "Peripherals",
                                               "Biometric sensor serial (" + std::string(f.factor) + ")", u.serial,
                                               SignalScope::PerUnit, 4, "peripheral", Role::Identifier,
                                               "WinBioEnumBiometricUnits",
                                               "same physical serial may also appear as a USB serial", 1.0));
        }
    }
    if (t.rows.empty())
        t.note = errors.empty() ? "No biometric sensors registered." : "Biometric framework not available: " + errors;
    s.tables.push_back(std::move(t));
}

const char* FormFactorName(bool known, uint32_t formFactor) {
    static constexpr const char* kNames[] = {"remote network device", "speakers",   "line level",
                                             "headphones",            "microphone", "headset",
                                             "handset",               "digital passthrough", "S/PDIF",
                                             "HDMI / DisplayPort audio"};
    if (!known || formFactor >= sizeof kNames / sizeof kNames[0]) return "unknown";
    return kNames[formFactor];
}

const char* EndpointStateName(uint32_t state) {
    switch (state) {
        case 1: return "active";
        case 2: return "disabled";
        case 8: return "unplugged";
        default: return "not present";
    }
}

void AddAudioTable(Snapshot& s, const AudioScan& scan) {
    Table t = MakeTable("devices", table::kDevicesAudio, "Audio endpoints (MMDevice)",
                        {{"Flow", Role::Program},
                         {"Endpoint", Role::Maker},
                         {"Adapter", Role::Maker},
                         {"Form factor", Role::Program},
                         {"State", Role::Program},
                         // Made when the endpoint is first registered on this
                         // installation; web pages see a hash of it.
                         {"Endpoint ID", Role::Identifier}},
                        "Audio endpoints registered with the Windows audio engine (active, disabled and unplugged). "
                        "The endpoint ID is generated when the endpoint is first registered on this installation; "
                        "web pages see a hash of it as the media device ID.");
    if (!scan.available) {
        t.note = "MMDevice API not available: " + scan.error;
        s.tables.push_back(std::move(t));
        return;
    }
    int notPresent = 0;
    uint32_t active = 0;
    for (const AudioEndpoint& e : scan.endpoints) {
        if (e.state == kEndpointNotPresent) {
            ++notPresent;
            continue;
        }
        // A name a person gave the endpoint, or the Bluetooth device it plays
        // on, masks its cell and every text that holds it.
        const AudioEndpointNames chosen = ChosenAudioNames(e);
        std::vector<Role> roles(3, Role::Undeclared);
        if (!chosen.endpoint.empty()) roles[1] = Role::Typed;
        if (!chosen.bluetoothDevice.empty()) {
            roles[1] = roles[2] = Role::Typed;
            s.named.push_back({ValueKind::Chosen, chosen.bluetoothDevice});
        }
        const bool typed = roles[1] == Role::Typed;
        AddRow(t, {e.capture ? "capture" : "render", e.name, e.adapter, FormFactorName(e.hasFormFactor, e.formFactor),
                   EndpointStateName(e.state), e.id},
               std::move(roles));
        if (e.state == kEndpointActive && !e.id.empty()) {
            // An endpoint without a name, or with one a person chose, is named
            // by its flow, not by its ID or that name; a name it keeps is
            // machine data.
            const bool named = !e.name.empty() && !typed;
            // The name holds what its cell holds.
            const Arg label = named ? Arg{e.name, CellRole(t, t.rows.back(), 1)}
                                    : Arg{e.capture ? "capture" : "render", Role::Program};
            s.signals.push_back(MakeSignal(
                sig::kAudioEndpointId, "Peripherals", {"Audio endpoint ID - {x1}", {label}}, e.id,
                SignalScope::PerInstall, 2, "", Role::Identifier, "IMMDevice::GetId",
                "generated when the endpoint was first registered on this installation", 1.0));
            ++active;
        }
    }
    t.note += Format(" %d endpoint(s) of devices that are no longer present are not listed.", notPresent);
    SetFact(s, fact::kAudioActive, std::to_string(active));
    s.tables.push_back(std::move(t));
    ShowMonitorAudioNames(s);
}

void ShowMonitorAudioNames(Snapshot& s) {
    Table* audio = FindTable(s, table::kDevicesAudio);
    const Table* monitors = FindTable(s, table::kDisplayMonitors);
    if (!audio || !monitors) return;
    constexpr size_t kEndpoint = 1, kAdapter = 2;
    for (TableRow& row : audio->rows) {
        // A Bluetooth device's name (its adapter's cell typed too) is its owner's, whatever it equals.
        if (row.cells.size() <= kAdapter || CellRole(*audio, row, kEndpoint) != Role::Typed ||
            CellRole(*audio, row, kAdapter) == Role::Typed)
            continue;
        const std::string description = Trim(EndpointDescription(row.cells[kEndpoint], row.cells[kAdapter]));
        const bool monitor = std::any_of(monitors->rows.begin(), monitors->rows.end(), [&](const TableRow& m) {
            return m.cells.size() > col::display_monitors::kMonitor && !description.empty() &&
                   EqualsNoCase(Trim(m.cells[col::display_monitors::kMonitor]), description);
        });
        if (!monitor) continue;
        SetCellRole(*audio, row, kEndpoint, Role::Maker);
    }
}

std::string SmartCardVersionText(uint32_t result, uint32_t length, uint32_t value) {
    if (result != 0 || length != 4) return std::string();
    return Format("%u.%u.%u", value >> 24, (value >> 16) & 0xFFu, value & 0xFFFFu);
}

std::string SmartCardAttributeText(const uint8_t* bytes, size_t length) {
    size_t n = 0;
    while (n < length && bytes[n] != 0) ++n;
    return Trim(Latin1ToUtf8(bytes, n));
}

void AddSmartCardTable(Snapshot& s, const SmartCardScan& scan) {
    Table t = MakeTable("devices", table::kDevicesSmartcard, "Smart-card readers",
                        {{"Reader", Role::Maker},
                         {"Vendor", Role::Maker},
                         {"Type", Role::Maker},
                         {"Version", Role::Maker},
                         {"Serial number", Role::Identifier}},  // per unit
                        "Readers registered with the Smart Card Resource Manager, queried without a card. Vendor "
                        "serial numbers, when the reader reports one, are per unit.");
    if (scan.contextResult != 0) {
        t.note += scan.contextResult == kScardNoService
                      ? std::string(" The Smart Card service is not running.")
                      : Format(" Smart Card Resource Manager not available (0x%08X).", scan.contextResult);
    } else if (scan.listResult == kScardNoReadersAvailable) {
        t.note += " No smart-card readers present.";
    } else if (scan.listResult != 0) {
        t.note += Format(" Reader list not available (0x%08X).", scan.listResult);
    } else {
        for (const SmartCardReader& r : scan.readers) {
            AddRow(t, {r.name, r.vendor, r.type, r.version, r.serial});
            if (!r.serial.empty()) {
                // The reader's name its driver gives.
                s.signals.push_back(MakeSignal(sig::kSmartcardSerial, "Peripherals",
                                               {"Smart-card reader serial - {x1}", {{r.name, Role::Maker}}}, r.serial,
                                               SignalScope::PerUnit, 4, "peripheral", Role::Identifier,
                                               "SCardGetAttrib(SCARD_ATTR_VENDOR_IFD_SERIAL_NO)", "", 1.0));
            }
        }
    }
    s.tables.push_back(std::move(t));
}

namespace {

// Queues Windows and common applications install under a fixed name.
constexpr std::string_view kWindowsQueues[] = {
    "Microsoft Print to PDF", "Microsoft XPS Document Writer", "Fax", "OneNote (Desktop)", "OneNote for Windows 10",
    "OneNote", "Send To OneNote 2007", "Send To OneNote 2010", "Send To OneNote 2013", "Send To OneNote 2016",
    "Adobe PDF", "Root Print Queue"};

// What Windows appends to a second queue of one driver (" (Copy 2)", in the
// languages it is most often installed in) and to a client's queue in a
// Remote Desktop session (" (redirected 3)").
constexpr std::string_view kQueueSuffixes[] = {" (Copy ", " (Kopie ", " (Copie ", " (Copia ", " (redirected ",
                                               " (umgeleitet "};

std::string_view WithoutQueueSuffix(std::string_view name) {
    if (!name.ends_with(')')) return name;
    const std::string lower = ToLower(std::string(name));
    for (std::string_view tag : kQueueSuffixes) {
        const size_t at = lower.rfind(ToLower(std::string(tag)));
        if (at == std::string_view::npos) continue;
        const std::string_view number = name.substr(at + tag.size(), name.size() - 1 - at - tag.size());
        if (!number.empty() && std::all_of(number.begin(), number.end(), IsAsciiDigit)) return name.substr(0, at);
    }
    return name;
}

}  // namespace

bool IsGivenQueueName(std::string_view name, std::string_view driver) {
    const std::string_view base = WithoutQueueSuffix(name);
    if (base.empty()) return false;
    if (InList(base, kWindowsQueues)) return true;
    // The driver's name, or its first words: an installer names the queue
    // after the model ("HP LaserJet 400 M401" for "... M401 PCL 6").
    const std::string model = Trim(driver);
    return base.size() <= model.size() && EqualsNoCase(base, std::string_view(model).substr(0, base.size())) &&
           (base.size() == model.size() || model[base.size()] == ' ') && base.back() != ' ';
}

bool IsWindowsPortName(std::string_view port) {
    static constexpr std::string_view kFixed[] = {"FILE:", "PORTPROMPT:", "nul:", "XPSPort:", "SHRFAX:"};
    if (InList(port, kFixed)) return true;
    // A family and a number Windows counts up: "LPT1:", "COM3:", "USB001", "DOT4_001", "TS001", "Ne00:".
    static constexpr std::string_view kNumbered[] = {"LPT", "COM", "USB", "DOT4_", "TS", "Ne"};
    for (std::string_view family : kNumbered) {
        if (port.size() <= family.size() || !StartsWithNoCase(port, family)) continue;
        std::string_view number = port.substr(family.size());
        if (number.ends_with(':')) number.remove_suffix(1);
        if (!number.empty() && number.size() <= 3 && std::all_of(number.begin(), number.end(), IsAsciiDigit))
            return true;
    }
    return false;
}

PrinterKind ClassifyPrinter(const std::string& name, const std::string& driver, const std::string& port,
                            uint32_t attributes) {
    if ((attributes & kPrinterAttributeNetwork) != 0 || name.starts_with("\\\\") || port.starts_with("\\\\"))
        return {"network", Role::Typed, Role::Typed};
    // Installers name a port after the printer's host name, which carries its
    // MAC: such a port is masked like one with an address. A queue's name is
    // masked unless Windows or the maker gave it: whatever else it holds (an
    // owner's name, a room, a MAC's tail), a person or a tool on this machine
    // chose it.
    return {"local", IsGivenQueueName(name, driver) ? Role::Maker : Role::Typed,
            IsWindowsPortName(port) ? Role::Program : Role::Typed};
}

void AddPrinterTable(Snapshot& s, const PrinterScan& scan) {
    Table t = MakeTable("devices", table::kDevicesPrinters, "Printers",
                        {{"Printer", Role::Typed},
                         {"Driver", Role::Maker},
                         {"Port", Role::Typed},
                         {"Kind", Role::Program},
                         {"Default", Role::Program}},
                        "Installed print queues (EnumPrinters). Network queues and IP or WSD ports name servers and "
                        "devices on the user's network and keep their mask.");
    if (scan.ok) {
        for (const PrinterEntry& p : scan.printers) {
            const PrinterKind k = ClassifyPrinter(p.name, p.driver, p.port, p.attributes);
            const bool isDefault = !scan.defaultName.empty() && scan.defaultName == p.name;
            AddRow(t, {p.name, p.driver, p.port, k.kind, isDefault ? "yes" : ""}, {k.name, Role::Undeclared, k.port});
        }
        if (t.rows.empty()) t.note += " No print queues installed.";
    } else {
        // A stopped spooler is not the same as a machine without queues.
        t.note += " Print queues not available: " + scan.error;
    }
    SetFact(s, fact::kPrinters, std::to_string(t.rows.size()));
    s.tables.push_back(std::move(t));
}

}  // namespace vorq
