// The network collector's platform-free part: interface rows and counts, MAC
// states, the DHCPv6 DUID, NetworkList profiles, Bluetooth radios and remembered
// devices, and the mobile-broadband modem. The Windows side only gathers the
// raw values into NetworkSource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/snapshot.h"
#include "core/text.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kBtPaired[] = "bt.paired";
inline constexpr char kBtRadios[] = "bt.radios";
inline constexpr char kNetCurMacs[] = "net.cur_macs";
inline constexpr char kNetDuidKind[] = "net.duid_kind";
inline constexpr char kNetDuidMac[] = "net.duid_mac";
inline constexpr char kNetHw[] = "net.hw";
inline constexpr char kNetOverridden[] = "net.overridden";
inline constexpr char kNetPermMacs[] = "net.perm_macs";
inline constexpr char kNetPermanentGood[] = "net.permanent_good";
inline constexpr char kNetProfiles[] = "net.profiles";
inline constexpr char kVmNetActive[] = "vm.net.active";
inline constexpr char kVmNetDuplicateActive[] = "vm.net.duplicate_active";
inline constexpr char kVmNetLocalActive[] = "vm.net.local_active";
inline constexpr char kVmNetSoftwareActive[] = "vm.net.software_active";
inline constexpr char kVmNetStatus[] = "vm.net.status";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kBtAddress[] = "bt.address";
inline constexpr char kBtVendor[] = "bt.vendor";
inline constexpr char kNetDuid[] = "net.duid";
inline constexpr char kNicCurrentMac[] = "nic.current_mac";
inline constexpr char kNicGuid[] = "nic.guid";
inline constexpr char kNicPermanentMac[] = "nic.permanent_mac";
inline constexpr char kWwanDeviceId[] = "wwan.device_id";
inline constexpr char kWwanImei[] = "wwan.imei";
inline constexpr char kWwanModel[] = "wwan.model";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kNetBt[] = "net.bt";
inline constexpr char kNetBtdevices[] = "net.btdevices";
inline constexpr char kNetIds[] = "net.ids";
inline constexpr char kNetIfaces[] = "net.ifaces";
inline constexpr char kNetProfiles[] = "net.profiles";
inline constexpr char kNetWwan[] = "net.wwan";
}  // namespace vorq::table

namespace vorq::col::net_ifaces {
inline constexpr size_t kInterface = 0, kType = 1, kPhysicalMedium = 2, kCurrentMac = 3, kPermanentMac = 4,
                         kMacState = 5, kInterfaceGuid = 6, kStatus = 7, kLink = 8;
}  // namespace vorq::col::net_ifaces

namespace vorq {

// The longest hardware address an interface row can carry.
constexpr size_t kMaxMacBytes = 32;

// One row of the interface table, as the interface list reports it.
struct NetIfRow {
    Guid guid;
    std::string description;
    uint32_t type = 0;    // IFTYPE
    uint32_t medium = 0;  // NDIS physical medium
    bool hardware = false;
    bool filter = false;
    uint32_t operStatus = 0;         // 1 up
    uint32_t mediaConnectState = 0;  // 2 disconnected
    uint64_t transmitLinkSpeed = 0;  // bits per second
    uint32_t addressLength = 0;      // as reported; only the first 32 bytes exist
    uint8_t current[kMaxMacBytes] = {};
    uint8_t permanent[kMaxMacBytes] = {};
};

// The SYSTEMTIME fields, in their order.
struct SystemTimeFields {
    uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0, hour = 0, minute = 0, second = 0, milliseconds = 0;
};

struct NetSignature {
    std::string profileGuid;
    std::string dnsSuffix;
    Bytes gatewayMac;
};

struct NetProfile {
    std::string guid;  // the subkey name, as stored
    std::string name;
    uint32_t category = 0;
    uint32_t nameType = 0;
    Bytes created;
    Bytes lastConnected;
};

struct BtRadio {
    std::string name;
    uint8_t address[6] = {};  // least significant byte first
    uint16_t manufacturer = 0;
    uint16_t lmpSubversion = 0;
    uint32_t classOfDevice = 0;
};

struct BtDevice {
    std::string name;
    uint8_t address[6] = {};  // least significant byte first
    uint32_t classOfDevice = 0;
    bool connected = false;
    bool authenticated = false;
    SystemTimeFields lastSeen;
    SystemTimeFields lastUsed;
};

enum class ModemOutcome { Answered, Failed, Raised };

struct ModemInfo {
    ModemOutcome outcome = ModemOutcome::Failed;
    std::string failure;  // HRESULT text of the failed call
    std::string imei, deviceId, manufacturer, model, firmware;
};

struct NetworkSource {
    bool elevated = false;
    bool ifTableOk = false;
    std::vector<NetIfRow> interfaces;
    bool duidFound = false;
    Bytes duid;
    std::vector<NetSignature> signatures;  // enumeration order
    std::vector<NetProfile> profiles;      // enumeration order
    std::vector<BtRadio> radios;           // those that answered
    std::vector<BtDevice> btDevices;
    ModemInfo modem;
};

uint16_t ReadBe16(const uint8_t* p);
uint32_t ReadBe32(const uint8_t* p);
bool IsAllZero(const uint8_t* p, size_t n);
// Upper-case pairs joined by "-", at most 32 bytes.
std::string MacText(const uint8_t* p, size_t n);

std::string InterfaceTypeName(uint32_t type);
std::string PhysicalMediumName(uint32_t medium);
std::string NetworkCategoryName(uint32_t category);

// "%04u-%02u-%02u %02u:%02u", empty when the year is 0.
std::string FormatSystemTime(const SystemTimeFields& t);
// The first 16 bytes of a registry value as a SYSTEMTIME; empty when shorter.
std::string FormatRegSystemTime(const Bytes& value);

struct MacState {
    std::string text;
    bool overridden = false;
};
// The state of a listed row from its n current and permanent bytes.
MacState DecideMacState(const uint8_t* current, const uint8_t* permanent, size_t n);

struct DuidInfo {
    bool valid = false;  // at least 4 bytes
    std::string kind;
    std::string detail;
    std::string generated;  // DUID-LLT: when it was made, to the second
    std::string mac;        // embedded link-layer address, empty when none
};
DuidInfo DecodeDuid(const uint8_t* p, size_t n);

bool IsGenericProfileName(const std::string& name);

// Most significant byte first, joined by ":".
std::string BluetoothAddressText(const uint8_t address[6]);
std::string BluetoothVendorName(uint16_t company);

// Writes every table, signal, fact and note of the collector.
void CollectNetworkFrom(Snapshot& s, const NetworkSource& in);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectNetwork(Snapshot& s);

}  // namespace vorq
