#include "collectors/devices/peripherals.h"

#include <algorithm>
#include <span>

#include "core/text.h"

namespace vorq {

namespace {

// Serial columns are per-unit identifiers: masked in privacy-safe reports.
constexpr uint32_t kBiometricSerialColumn = 1u << 5;
constexpr uint32_t kSmartCardSerialColumn = 1u << 4;
// Made when the endpoint is first registered on this installation, and the
// source of the media device ID web pages see: a per-install identifier.
constexpr uint32_t kAudioEndpointIdColumn = 1u << 5;
constexpr uint32_t kAudioEndpointColumn = 1u << 1;
constexpr uint32_t kAudioAdapterColumn = 1u << 2;

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

}  // namespace

AudioEndpointNames ChosenAudioNames(const AudioEndpoint& e) {
    AudioEndpointNames out;
    std::string_view name = e.name;
    const std::string suffix = " (" + e.adapter + ")";
    if (!e.adapter.empty() && name.size() > suffix.size() && name.ends_with(suffix))
        name.remove_suffix(suffix.size());
    const std::string_view description = WithoutOrdinal(name);
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
                        {"Unit", "Factor", "Description", "Manufacturer", "Model", "Serial number", "Firmware",
                         "Device instance"},
                        "Fingerprint, face and iris sensors enumerated through WinBioEnumBiometricUnits. Sensor "
                        "serial numbers, when the vendor fills them in, are per unit.");
    t.labels = 2;  // Factor
    t.makers = 8;  // Manufacturer
    t.sens = kBiometricSerialColumn;
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
                                               SignalScope::PerUnit, 4, "peripheral", Sens::Yes,
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
                        {"Flow", "Endpoint", "Adapter", "Form factor", "State", "Endpoint ID"},
                        "Audio endpoints registered with the Windows audio engine (active, disabled and unplugged). "
                        "The endpoint ID is generated when the endpoint is first registered on this installation; "
                        "web pages see a hash of it as the media device ID.");
    t.labels = 0x19;  // Flow, Form factor, State
    t.sens = kAudioEndpointIdColumn;
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
        uint32_t mask = 0;
        if (!chosen.endpoint.empty()) {
            mask |= kAudioEndpointColumn;
            s.named.push_back({ValueKind::Chosen, chosen.endpoint});
        }
        if (!chosen.bluetoothDevice.empty()) {
            mask |= kAudioEndpointColumn | kAudioAdapterColumn;
            s.named.push_back({ValueKind::Chosen, chosen.bluetoothDevice});
        }
        AddRow(t, {e.capture ? "capture" : "render", e.name, e.adapter, FormFactorName(e.hasFormFactor, e.formFactor),
                   EndpointStateName(e.state), e.id},
               mask);
        if (e.state == kEndpointActive && !e.id.empty()) {
            // An endpoint without a name, or with one a person chose, is named
            // by its flow, not by its ID or that name; a name it keeps is
            // machine data.
            const bool named = !e.name.empty() && mask == 0;
            const std::string label = named ? e.name : e.capture ? "capture" : "render";
            s.signals.push_back(MakeSignal(
                sig::kAudioEndpointId, "Peripherals", "Audio endpoint ID - " + label, e.id,
                SignalScope::PerInstall, 2, "", Sens::Yes, "IMMDevice::GetId",
                "generated when the endpoint was first registered on this installation", 1.0));
            if (named) s.signals.back().nameData = e.name;
            ++active;
        }
    }
    t.note += Format(" %d endpoint(s) of devices that are no longer present are not listed.", notPresent);
    SetFact(s, fact::kAudioActive, std::to_string(active));
    s.tables.push_back(std::move(t));
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
                        {"Reader", "Vendor", "Type", "Version", "Serial number"},
                        "Readers registered with the Smart Card Resource Manager, queried without a card. Vendor "
                        "serial numbers, when the reader reports one, are per unit.");
    t.labels = 4;  // Type
    t.makers = 2;  // Vendor
    t.sens = kSmartCardSerialColumn;
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
                s.signals.push_back(MakeSignal(sig::kSmartcardSerial, "Peripherals",
                                               "Smart-card reader serial - " + r.name, r.serial, SignalScope::PerUnit,
                                               4, "peripheral", Sens::Yes,
                                               "SCardGetAttrib(SCARD_ATTR_VENDOR_IFD_SERIAL_NO)", "", 1.0));
                s.signals.back().nameData = r.name;
            }
        }
    }
    s.tables.push_back(std::move(t));
}

namespace {

bool IsAsciiHex(char c) { return HexDigitValue(c) >= 0; }

bool IsHostWord(std::string_view word) {
    for (const size_t hex : {size_t{12}, size_t{6}}) {
        if (word.size() < hex + 2) continue;
        const std::string_view tail = word.substr(word.size() - hex);
        std::string_view prefix = word.substr(0, word.size() - hex);
        if (prefix.back() == '-' || prefix.back() == '_') prefix.remove_suffix(1);
        // A MAC's bytes are hex; a word of hex letters alone ("FACADE") is not one.
        if (std::all_of(tail.begin(), tail.end(), IsAsciiHex) && std::any_of(tail.begin(), tail.end(), IsAsciiDigit) &&
            prefix.size() >= 2 && prefix.size() <= 6 && std::all_of(prefix.begin(), prefix.end(), IsAsciiLetter))
            return true;
    }
    return false;
}

}  // namespace

bool NamesPrinterHost(std::string_view text) {
    const std::vector<std::string_view> words = AsciiWords(text, "-_");
    return std::any_of(words.begin(), words.end(), IsHostWord);
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

PrinterKind ClassifyPrinter(const std::string& name, const std::string& driver, const std::string& port,
                            uint32_t attributes) {
    if ((attributes & kPrinterAttributeNetwork) != 0 || name.starts_with("\\\\") || port.starts_with("\\\\"))
        return {"network", 5};
    // Installers name a port after the printer's host name, which carries its
    // MAC: such a port is masked like one with an address. A queue's name is
    // masked unless Windows or the maker gave it: whatever else it holds (an
    // owner's name, a room, a MAC's tail), a person or a tool on this machine
    // chose it.
    const bool addressPort = port.find('.') != std::string::npos || StartsWithNoCase(port, "IP_") ||
                             StartsWithNoCase(port, "WSD") || NamesPrinterHost(port);
    return {"local", (addressPort ? 4u : 0u) | (IsGivenQueueName(name, driver) ? 0u : 1u)};
}

void AddPrinterTable(Snapshot& s, const PrinterScan& scan) {
    Table t = MakeTable("devices", table::kDevicesPrinters, "Printers", {"Printer", "Driver", "Port", "Kind", "Default"},
                        "Installed print queues (EnumPrinters). Network queues and IP or WSD ports name servers and "
                        "devices on the user's network and keep their mask.");
    t.labels = 0x18;  // Kind, Default
    if (scan.ok) {
        for (const PrinterEntry& p : scan.printers) {
            const PrinterKind k = ClassifyPrinter(p.name, p.driver, p.port, p.attributes);
            const bool isDefault = !scan.defaultName.empty() && scan.defaultName == p.name;
            AddRow(t, {p.name, p.driver, p.port, k.kind, isDefault ? "yes" : ""}, k.mask);
            if ((k.mask & 1u) != 0 && !p.name.empty()) s.named.push_back({ValueKind::Chosen, p.name});
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
