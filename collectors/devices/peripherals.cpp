#include "collectors/devices/peripherals.h"

#include <algorithm>

#include "core/text.h"

namespace vorq {

namespace {

// Serial columns are per-unit identifiers: masked in privacy-safe reports.
constexpr uint32_t kBiometricSerialColumn = 1u << 5;
constexpr uint32_t kSmartCardSerialColumn = 1u << 4;
// Made when the endpoint is first registered on this installation, and the
// source of the media device ID web pages see: a per-install identifier.
constexpr uint32_t kAudioEndpointIdColumn = 1u << 5;

}  // namespace

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
        AddRow(t, {e.capture ? "capture" : "render", e.name, e.adapter, FormFactorName(e.hasFormFactor, e.formFactor),
                   EndpointStateName(e.state), e.id});
        if (e.state == kEndpointActive && !e.id.empty()) {
            // The name is machine data, masked where it restates a masked value; an endpoint without a
            // name is named by its flow, not its ID.
            const std::string label = !e.name.empty() ? e.name : e.capture ? "capture" : "render";
            s.signals.push_back(MakeSignal(
                sig::kAudioEndpointId, "Peripherals", "Audio endpoint ID - " + label, e.id,
                SignalScope::PerInstall, 2, "", Sens::Yes, "IMMDevice::GetId",
                "generated when the endpoint was first registered on this installation", 1.0));
            s.signals.back().nameData = e.name;
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

PrinterKind ClassifyPrinter(const std::string& name, const std::string& port, uint32_t attributes) {
    if ((attributes & kPrinterAttributeNetwork) != 0 || name.starts_with("\\\\") || port.starts_with("\\\\"))
        return {"network", 5};
    // Installers name a queue or a port after the printer's host name, which
    // carries its MAC: such a name is masked like a port with an address.
    const bool addressPort = port.find('.') != std::string::npos || StartsWithNoCase(port, "IP_") ||
                             StartsWithNoCase(port, "WSD") || NamesPrinterHost(port);
    return {"local", (addressPort ? 4u : 0u) | (NamesPrinterHost(name) ? 1u : 0u)};
}

void AddPrinterTable(Snapshot& s, const PrinterScan& scan) {
    Table t = MakeTable("devices", table::kDevicesPrinters, "Printers", {"Printer", "Driver", "Port", "Kind", "Default"},
                        "Installed print queues (EnumPrinters). Network queues and IP or WSD ports name servers and "
                        "devices on the user's network and keep their mask.");
    t.labels = 0x18;  // Kind, Default
    if (scan.ok) {
        for (const PrinterEntry& p : scan.printers) {
            const PrinterKind k = ClassifyPrinter(p.name, p.port, p.attributes);
            const bool isDefault = !scan.defaultName.empty() && scan.defaultName == p.name;
            AddRow(t, {p.name, p.driver, p.port, k.kind, isDefault ? "yes" : ""}, k.mask);
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
