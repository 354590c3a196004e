// The biometric, audio, smart-card and printer inventories as rules over
// results the platform side gathered: rows, signals, facts and the notes that
// tell why a table is empty. Platform-free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kAudioActive[] = "audio.active";
inline constexpr char kPrinters[] = "printers";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kAudioEndpointId[] = "audio.endpoint_id";
inline constexpr char kBiometricSerial[] = "biometric.serial";
inline constexpr char kSmartcardSerial[] = "smartcard.serial";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kDevicesAudio[] = "devices.audio";
inline constexpr char kDevicesBiometric[] = "devices.biometric";
inline constexpr char kDevicesPrinters[] = "devices.printers";
inline constexpr char kDevicesSmartcard[] = "devices.smartcard";
}  // namespace vorq::table

namespace vorq {

// A fixed wide-character field: up to its first NUL or `max` units, UTF-8, trimmed.
std::string WideFieldToUtf8(const char16_t* field, size_t max);

// ---- Biometric units ----
struct BiometricFactor {
    uint32_t code;
    const char* name;
};
// The factors asked for, in order: fingerprint, face, iris.
extern const BiometricFactor kBiometricFactors[3];

struct BiometricUnit {
    uint32_t unitId = 0;
    std::string description;
    std::string manufacturer;
    std::string model;
    std::string serial;
    std::string firmware;
    std::string instance;
};
struct BiometricFactorResult {
    const char* factor = "";  // its name
    bool failed = false;
    std::string error;  // the HRESULT text when failed
    std::vector<BiometricUnit> units;
};
struct BiometricScan {
    // Set when the framework itself could not be loaded (the error text).
    bool unavailable = false;
    std::string error;
    std::vector<BiometricFactorResult> factors;
};
void AddBiometricTable(Snapshot& s, const BiometricScan& scan);

// ---- Audio endpoints ----
constexpr uint32_t kEndpointActive = 1;
constexpr uint32_t kEndpointNotPresent = 4;
// Form factor and state texts; unknown values get "unknown" / "not present".
const char* FormFactorName(bool known, uint32_t formFactor);
const char* EndpointStateName(uint32_t state);

struct AudioEndpoint {
    uint32_t state = 0;
    bool capture = false;
    std::string name;
    std::string adapter;
    bool hasFormFactor = false;
    uint32_t formFactor = 0;
    std::string id;
};
struct AudioScan {
    bool available = false;
    std::string error;  // why the enumerator could not be created
    std::vector<AudioEndpoint> endpoints;
};
// The parts of an endpoint's name a person chose: the endpoint's own name
// when it is not one Windows or a driver gives ("Speakers", "Line In", ...),
// and the name of the Bluetooth device it plays on (the adapter's name before
// " Stereo" or " Hands-Free"). Empty when given.
struct AudioEndpointNames {
    std::string endpoint;
    std::string bluetoothDevice;
};
AudioEndpointNames ChosenAudioNames(const AudioEndpoint& e);
// Masks the endpoint's name where a person chose it, and names that choice
// (Snapshot::named) so that every text holding it is masked.
void AddAudioTable(Snapshot& s, const AudioScan& scan);
// Shows an endpoint named after a connected monitor: Windows names a
// monitor's HDMI or DisplayPort audio after the EDID's name, so it is the
// maker's. The audio and the display collector both call it once their table
// is written; whichever runs second finds both.
void ShowMonitorAudioNames(Snapshot& s);

// ---- Smart-card readers ----
constexpr uint32_t kScardNoService = 0x8010001D;
constexpr uint32_t kScardNoReadersAvailable = 0x8010002E;
// "major.minor.build" of the 4-byte version attribute; empty unless the call
// returned 0 with exactly 4 bytes.
std::string SmartCardVersionText(uint32_t result, uint32_t length, uint32_t value);
// A text attribute: Latin-1 up to its first NUL or `length` bytes, UTF-8, trimmed.
std::string SmartCardAttributeText(const uint8_t* bytes, size_t length);

struct SmartCardReader {
    std::string name;
    std::string vendor;
    std::string type;
    std::string version;
    std::string serial;
};
struct SmartCardScan {
    uint32_t contextResult = 0;
    uint32_t listResult = 0;
    std::vector<SmartCardReader> readers;
};
void AddSmartCardTable(Snapshot& s, const SmartCardScan& scan);

// ---- Print queues ----
constexpr uint32_t kPrinterAttributeNetwork = 0x10;
struct PrinterKind {
    const char* kind;  // "network" or "local"
    Role name;         // Typed unless Windows or the maker gave it
    Role port;         // Typed unless one of Windows' own ports
};
PrinterKind ClassifyPrinter(const std::string& name, const std::string& driver, const std::string& port,
                            uint32_t attributes);
// Whether a queue's name is one Windows or the printer's maker gave it: its
// driver's name or that name's first words ("HP LaserJet 400 M401" of
// "HP LaserJet 400 M401 PCL 6"), or one of Windows' own queues ("Microsoft
// Print to PDF", "Fax", ...), either optionally followed by the " (Copy 2)"
// or " (redirected 3)" Windows appends. Any other name a person typed.
bool IsGivenQueueName(std::string_view name, std::string_view driver);
// Whether a port is one Windows makes under a fixed name ("LPT1:", "USB001",
// "PORTPROMPT:", "nul:", ...). Any other port a person or a port monitor
// named after an address, a host or a room.
bool IsWindowsPortName(std::string_view port);

struct PrinterEntry {
    std::string name;
    std::string driver;
    std::string port;
    uint32_t attributes = 0;
};
struct PrinterScan {
    bool ok = false;    // the enumeration succeeded (possibly with no queues)
    std::string error;  // its error text otherwise
    std::string defaultName;
    std::vector<PrinterEntry> printers;
};
void AddPrinterTable(Snapshot& s, const PrinterScan& scan);

// The platform side (Windows build): each gathers its results and appends its
// table; COM must already be initialised on the calling thread.
void AddBiometricUnits(Snapshot& s);
void AddAudioEndpoints(Snapshot& s);
void AddSmartCardReaders(Snapshot& s);
void AddPrinters(Snapshot& s);

}  // namespace vorq
