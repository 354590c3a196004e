#include "collectors/devices/network.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "core/placeholders.h"

namespace vorq {

namespace {

constexpr const char* kOrigin = "Network";
constexpr int64_t kUnixToY2k = 946684800;  // seconds from 1970-01-01 to 2000-01-01

bool LocallyAdministered(const uint8_t* mac) { return (mac[0] & 0x02) != 0; }

// A zero current address means the adapter has no address in use (not started,
// radio off); it is not an address that differs from the permanent one.
constexpr const char* kNoCurrent = "[info] no current address reported";

struct InterfaceTotals {
    int hidden = 0;
    int active = 0, software = 0, local = 0, duplicate = 0;
    int overridden = 0;
    std::vector<std::string> permMacs, curMacs;
    std::set<std::string> goodPerm;
};

void WalkInterfaces(Snapshot& s, Table& t, const NetworkSource& in, InterfaceTotals& tot) {
    std::set<std::string> seenActive, seenPerm;
    for (const NetIfRow& r : in.interfaces) {
        if (!r.filter && r.operStatus == 1) {
            ++tot.active;
            if (!r.hardware) ++tot.software;
            if (r.addressLength == 6 && !IsAllZero(r.current, 6)) {
                if (LocallyAdministered(r.current)) ++tot.local;
                if (!seenActive.insert(MacText(r.current, 6)).second) ++tot.duplicate;
            }
        }
        if (!r.hardware || r.filter || r.addressLength == 0) {
            ++tot.hidden;
            continue;
        }
        const size_t n = std::min<size_t>(r.addressLength, kMaxMacBytes);
        const std::string cur = MacText(r.current, n);
        const std::string perm = MacText(r.permanent, n);
        const bool curZero = IsAllZero(r.current, n);
        const bool permPresent = !IsAllZero(r.permanent, n);
        const bool permLocal = permPresent && LocallyAdministered(r.permanent);
        const MacState state = DecideMacState(r.current, r.permanent, n);
        if (state.overridden) ++tot.overridden;

        const std::string typeText = InterfaceTypeName(r.type);
        const std::string guid = FormatGuid(r.guid);
        std::string status = r.operStatus == 1 ? "up" : r.mediaConnectState == 2 ? "disconnected" : "down";
        std::string link;
        if (r.transmitLinkSpeed != 0 && r.transmitLinkSpeed != UINT64_MAX)
            link = FormatBytes(r.transmitLinkSpeed / 8) + "/s";
        AddRow(t, {r.description, typeText, PhysicalMediumName(r.medium), cur, perm, state.text, guid, std::move(status),
                   std::move(link)});

        if (!curZero) tot.curMacs.push_back(cur);
        const bool ethOrWifi = r.type == 6 || r.type == 71;
        if (permPresent && ethOrWifi && !permLocal) tot.goodPerm.insert(perm);
        if (permPresent && seenPerm.insert(perm).second) {
            tot.permMacs.push_back(perm);
            const int32_t w = permLocal ? 2 : ethOrWifi ? 15 : 6;
            s.signals.push_back(MakeSignal(sig::kNicPermanentMac, "Network",
                                           {"Permanent MAC - {t1} ({x2})",
                                            {{typeText, Role::Program}, {r.description, Role::Maker}}},
                                           perm,
                                           SignalScope::PerUnit, w, "network", Role::Identifier,
                                           "GetIfTable2 / MIB_IF_ROW2.PermanentPhysicalAddress",
                                           permLocal ? "locally administered - weak" : "", 1.0));
        }
        if (cur != perm && !curZero) {
            s.signals.push_back(MakeSignal(sig::kNicCurrentMac, "Network",
                                           {"Current MAC - {t1} ({x2})",
                                            {{typeText, Role::Program}, {r.description, Role::Maker}}},
                                           cur,
                                           SignalScope::PerBoot, 1, "", Role::Identifier,
                                           "GetIfTable2 / MIB_IF_ROW2.PhysicalAddress", "differs from permanent address",
                                           1.0));
        }
        s.signals.push_back(MakeSignal(sig::kNicGuid, "Network",
                                       {"Interface GUID - {x1}", {{r.description, Role::Maker}}}, guid,
                                       SignalScope::PerInstall, 2, "os", Role::Identifier, "MIB_IF_ROW2.InterfaceGuid", "", 1.0));
    }
}

void AddDuid(Snapshot& s, Table& ids, const NetworkSource& in) {
    if (!in.duidFound) return;
    const DuidInfo d = DecodeDuid(in.duid.data(), in.duid.size());
    if (!d.valid) return;
    const bool hasMac = !d.mac.empty();
    const std::string hex = HexEncode(in.duid);
    // Whatever its type, the DUID is this installation's identity in every
    // DHCPv6 server's log; its generation time dates the installation.
    AddRow(ids, {"DHCPv6 DUID", hex, "per-install", "HKLM\\...\\Tcpip6\\Parameters\\Dhcpv6DUID"},
           {Role::Undeclared, Role::Identifier});
    AddRow(ids, {"DHCPv6 DUID type", d.detail.empty() ? d.kind : d.kind + " (" + d.detail + ")", "state", "RFC 8415"},
           {Role::Undeclared, Role::Maker});
    if (!d.generated.empty())
        AddRow(ids, {"DHCPv6 DUID generated", d.generated, "per-install", "RFC 8415"},
               {Role::Undeclared, Role::Time});
    std::string note = d.kind + ": generated once at first boot";
    if (hasMac) note += "; embeds the MAC of the adapter present at that time";
    s.signals.push_back(MakeSignal(sig::kNetDuid, "Network", "DHCPv6 DUID", hex, SignalScope::PerInstall, 6, "os",
                                   Role::Identifier, "Tcpip6\\Parameters\\Dhcpv6DUID", std::move(note), 1.0));
    if (hasMac) SetFact(s, fact::kNetDuidMac, d.mac);
    SetFact(s, fact::kNetDuidKind, d.kind);
}

void AddProfiles(Snapshot& s, Table& profiles, Table& ids, const NetworkSource& in) {
    std::map<std::string, std::pair<std::string, std::string>> byGuid;
    for (const NetSignature& sig : in.signatures)
        byGuid[ToLower(sig.profileGuid)] = {sig.dnsSuffix, MacText(sig.gatewayMac.data(), sig.gatewayMac.size())};

    std::string earliest, latest;
    for (const NetProfile& p : in.profiles) {
        const std::string created = FormatRegSystemTime(p.created);
        const std::string last = FormatRegSystemTime(p.lastConnected);
        std::string dns, gateway;
        if (auto it = byGuid.find(ToLower(p.guid)); it != byGuid.end()) {
            dns = it->second.first;
            gateway = it->second.second;
        }
        AddRow(profiles,
               {p.guid, p.name, InterfaceTypeName(p.nameType), NetworkCategoryName(p.category), created, last,
                std::move(dns), std::move(gateway)},
               {Role::Undeclared, IsGenericProfileName(p.name) ? Role::Program : Role::Typed});
        if (!created.empty() && (earliest.empty() || created < earliest)) earliest = created;
        if (!last.empty() && last > latest) latest = last;
    }
    if (!in.profiles.empty()) {
        const int count = static_cast<int>(in.profiles.size());
        // Its times are the masked ones of the profiles; the count stays in
        // the profiles' rows.
        AddRow(ids, {"Known networks",
                     Format("%d (first joined %s, last connected %s)", count, earliest.c_str(), latest.c_str()), "state",
                     "NetworkList\\Profiles"},
               {Role::Undeclared, Role::Time});
        SetFact(s, fact::kNetProfiles, Format("%d", count));
    } else {
        profiles.note += in.elevated ? " No network profiles recorded." : " Needs administrator rights.";
    }
}

void AddRadios(Snapshot& s, Table& bt, const NetworkSource& in) {
    for (const BtRadio& r : in.radios) {
        const std::string address = BluetoothAddressText(r.address);
        const std::string maker = Format("0x%04X %s", static_cast<unsigned>(r.manufacturer),
                                         BluetoothVendorName(r.manufacturer).c_str());
        AddRow(bt, {r.name, address, maker, Format("0x%04X", static_cast<unsigned>(r.lmpSubversion)),
                    Format("0x%06X", static_cast<unsigned>(r.classOfDevice))});
        if (!r.name.empty()) s.named.push_back({ValueKind::Chosen, r.name});
        s.signals.push_back(MakeSignal(sig::kBtAddress, "Network", "Bluetooth radio address", address, SignalScope::PerUnit,
                                       10, "network", Role::Identifier, "BluetoothGetRadioInfo", "", 1.0));
        s.signals.push_back(MakeSignal(sig::kBtVendor, "Network", "Bluetooth radio manufacturer", maker,
                                       SignalScope::PerModel, 1, "network", Role::Maker, "BluetoothGetRadioInfo", "", 1.0));
    }
    if (in.radios.empty()) bt.note = "No Bluetooth radio present or the Bluetooth stack is off.";
}

int AddBtDevices(Snapshot& s, Table& devices, Table& ids, const NetworkSource& in) {
    if (in.radios.empty()) {
        devices.note += " No Bluetooth radio present.";
        return 0;
    }
    int paired = 0;
    for (const BtDevice& d : in.btDevices) {
        AddRow(devices, {d.name, BluetoothAddressText(d.address), Format("0x%06lX", static_cast<unsigned long>(d.classOfDevice)),
                         YesNo(d.authenticated), YesNo(d.connected), FormatSystemTime(d.lastSeen),
                         FormatSystemTime(d.lastUsed)});
        if (d.authenticated) ++paired;
        // Its owner named it: the name masks every text that holds it (an
        // audio endpoint, a headset's function).
        if (!d.name.empty()) s.named.push_back({ValueKind::Chosen, d.name});
    }
    AddRow(ids, {"Paired Bluetooth devices", Format("%d paired, %zu remembered", paired, devices.rows.size()), "state",
                 "BluetoothFindFirstDevice (cache only)"},
           {Role::Undeclared, Role::Program});
    return paired;
}

void AddModem(Snapshot& s, Table& wwan, const ModemInfo& m) {
    if (m.outcome == ModemOutcome::Raised) {
        wwan.note = "Mobile broadband query failed.";
        AddNote(s, kOrigin, "WWAN modem query raised an exception");
        return;
    }
    if (m.outcome == ModemOutcome::Failed) {
        wwan.note = "Mobile broadband API not available: " + m.failure;
        return;
    }
    const std::string model = Trim(m.manufacturer + " " + m.model);
    if (!m.manufacturer.empty() || !m.model.empty()) AddField(wwan, "Manufacturer / model", model, Role::Maker);
    if (!m.firmware.empty()) AddField(wwan, "Firmware", m.firmware, Role::Maker);
    // The device ID is made per installation, the IMEI identifies the unit like
    // a burned-in address: both masked in safe reports.
    if (!m.deviceId.empty()) AddField(wwan, "Device ID", m.deviceId, Role::Identifier);
    if (!m.imei.empty()) AddField(wwan, "Mobile equipment ID (IMEI)", m.imei, Role::Identifier);
    if (!m.imei.empty())
        s.signals.push_back(MakeSignal(sig::kWwanImei, "Network", "Mobile broadband modem IMEI", m.imei, SignalScope::PerUnit,
                                       15, "network", Role::Identifier,
                                       "WinRT MobileBroadbandDeviceInformation.MobileEquipmentId", "", 1.0));
    if (!m.deviceId.empty())
        s.signals.push_back(MakeSignal(sig::kWwanDeviceId, "Network", "Mobile broadband modem device ID", m.deviceId,
                                       SignalScope::PerInstall, 3, "os", Role::Identifier,
                                       "WinRT MobileBroadbandDeviceInformation.DeviceId", "", 1.0));
    if (!m.model.empty())
        s.signals.push_back(MakeSignal(sig::kWwanModel, "Network", "Mobile broadband modem model", model,
                                       SignalScope::PerModel, 1, "network", Role::Maker,
                                       "WinRT MobileBroadbandDeviceInformation", "", 1.0));
    if (wwan.rows.empty()) wwan.note = "No mobile broadband modem present.";
}

}  // namespace

uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

uint32_t ReadBe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           static_cast<uint32_t>(p[3]);
}

bool IsAllZero(const uint8_t* p, size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

std::string MacText(const uint8_t* p, size_t n) { return HexEncodeSep(p, std::min(n, kMaxMacBytes), '-'); }

std::string InterfaceTypeName(uint32_t type) {
    switch (type) {
        case 6: return "Ethernet";
        case 23: return "PPP";
        case 24: return "Loopback";
        case 53: return "Virtual";
        case 71: return "Wi-Fi";
        case 131: return "Tunnel";
        case 144: return "1394";
        case 243:
        case 244: return "Mobile broadband";
        default: return "Other";
    }
}

std::string PhysicalMediumName(uint32_t medium) {
    switch (medium) {
        case 0: return "unspecified";
        case 1: return "Wireless LAN";
        case 8: return "Wireless WAN";
        case 9: return "802.11";
        case 10: return "Bluetooth";
        case 14: return "802.3";
        default: return "other";
    }
}

std::string NetworkCategoryName(uint32_t category) {
    switch (category) {
        case 0: return "public";
        case 1: return "private";
        case 2: return "domain";
        default: return "unknown";
    }
}

std::string FormatSystemTime(const SystemTimeFields& t) {
    if (t.year == 0) return {};
    return Format("%04u-%02u-%02u %02u:%02u", static_cast<unsigned>(t.year), static_cast<unsigned>(t.month),
                  static_cast<unsigned>(t.day), static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute));
}

std::string FormatRegSystemTime(const Bytes& value) {
    if (value.size() < 16) return {};
    uint16_t f[8];
    for (size_t i = 0; i < 8; ++i) f[i] = static_cast<uint16_t>(value[2 * i] | value[2 * i + 1] << 8);
    SystemTimeFields t;
    t.year = f[0];
    t.month = f[1];
    t.dayOfWeek = f[2];
    t.day = f[3];
    t.hour = f[4];
    t.minute = f[5];
    t.second = f[6];
    t.milliseconds = f[7];
    return FormatSystemTime(t);
}

MacState DecideMacState(const uint8_t* current, const uint8_t* permanent, size_t n) {
    n = std::min(n, kMaxMacBytes);
    MacState st;
    if (IsAllZero(permanent, n)) {
        st.text = "[warn] no permanent address reported";
        return st;
    }
    if (IsAllZero(current, n)) {
        st.text = kNoCurrent;
    } else if (std::equal(current, current + n, permanent)) {
        st.text = "[ok] matches permanent";
    } else {
        st.overridden = true;
        st.text = LocallyAdministered(current) ? "[info] current address randomized / overridden"
                                               : "[warn] current address overridden";
    }
    if (LocallyAdministered(permanent)) st.text += " (permanent address is locally administered)";
    return st;
}

DuidInfo DecodeDuid(const uint8_t* p, size_t n) {
    DuidInfo d;
    if (n < 4) return d;
    d.valid = true;
    const unsigned type = ReadBe16(p);
    if (type == 1 && n >= 14) {
        d.kind = "DUID-LLT";
        // 64-bit sum: the 32-bit field plus the epoch shift passes 2^32 in 2106.
        const int64_t seconds = static_cast<int64_t>(ReadBe32(p + 4)) + kUnixToY2k;
        d.detail = Format("hardware type %u", static_cast<unsigned>(ReadBe16(p + 2)));
        d.generated = FormatUnixTimeUtc(seconds);
        d.mac = MacText(p + 8, n - 8);
    } else if (type == 3 && n >= 10) {
        d.kind = "DUID-LL";
        d.detail = Format("hardware type %u", static_cast<unsigned>(ReadBe16(p + 2)));
        d.mac = MacText(p + 4, n - 4);
    } else if (type == 2) {
        d.kind = "DUID-EN";
        if (n >= 6) d.detail = Format("enterprise number %u", static_cast<unsigned>(ReadBe32(p + 2)));
    } else if (type == 4) {
        d.kind = "DUID-UUID";
    } else {
        d.kind = Format("type %u", type);
    }
    return d;
}

bool IsGenericProfileName(const std::string& name) {
    // "Network 2" and its translations; an adapter's name where Windows names the network after it.
    if (IsDefaultNetworkName(name)) return true;
    for (const char* g : {"Ethernet", "Wi-Fi", "Unidentified network"})
        if (EqualsNoCase(name, g)) return true;
    if (!StartsWithNoCase(name, "Ethernet ")) return false;
    const std::string_view rest = std::string_view(name).substr(name.find(' ') + 1);
    return !rest.empty() && std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string BluetoothAddressText(const uint8_t a[6]) {
    return Format("%02X:%02X:%02X:%02X:%02X:%02X", static_cast<unsigned>(a[5]), static_cast<unsigned>(a[4]),
                  static_cast<unsigned>(a[3]), static_cast<unsigned>(a[2]), static_cast<unsigned>(a[1]),
                  static_cast<unsigned>(a[0]));
}

std::string BluetoothVendorName(uint16_t company) {
    switch (company) {
        case 2: return "Intel";
        case 6: return "Microsoft";
        case 10: return "Qualcomm (CSR)";
        case 15: return "Broadcom";
        case 29: return "Qualcomm";
        case 70: return "MediaTek";
        case 93: return "Realtek";
        case 117: return "Samsung";
        case 305: return "Cypress";
        default: return {};
    }
}

void CollectNetworkFrom(Snapshot& s, const NetworkSource& in) {
    // 1. Interfaces.
    Table ifaces = MakeTable("network", table::kNetIfaces, "Hardware network interfaces",
                             {{"Interface", Role::Maker},
                              {"Type", Role::Program},
                              {"Physical medium", Role::Program},
                              {"Current MAC", Role::Identifier},
                              {"Permanent MAC", Role::Identifier},
                              {"MAC state", Role::Program},
                              {"Interface GUID", Role::Identifier},
                              {"Status", Role::Program},
                              {"Link", Role::Program}},
                             "Permanent = address burned into the adapter (NDIS permanent address). Current = what the OS "
                             "uses now; it differs when Windows randomizes Wi-Fi addresses or the address was overridden.");
    SetFact(s, fact::kVmNetStatus, "error");
    InterfaceTotals tot;
    if (!in.ifTableOk) {
        AddFailureNote(s, kOrigin, "GetIfTable2 failed");
    } else {
        SetFact(s, fact::kVmNetStatus, "complete");
        WalkInterfaces(s, ifaces, in, tot);
    }
    ifaces.note += Format(" %d software/filter interfaces not shown.", tot.hidden);

    // 2. Activity counts for the virtual-machine detection.
    SetFact(s, fact::kVmNetActive, Format("%d", tot.active));
    SetFact(s, fact::kVmNetSoftwareActive, Format("%d", tot.software));
    SetFact(s, fact::kVmNetLocalActive, Format("%d", tot.local));
    SetFact(s, fact::kVmNetDuplicateActive, Format("%d", tot.duplicate));

    // 3. DHCPv6 DUID.
    Table ids = MakeTable("network", table::kNetIds, "Network stack identifiers", IdColumns(),
                          "Identifiers Windows generates for this installation's network stack. The DHCPv6 DUID embeds "
                          "the MAC of the adapter present at first boot and a time stamp, so it keeps the MAC mask; its "
                          "type and generation time are shown in clear.");
    AddDuid(s, ids, in);

    // 4. NetworkList profiles.
    Table profiles = MakeTable("network", table::kNetProfiles, "Known networks (NetworkList profiles)",
                               {{"Profile GUID", Role::Identifier},
                                {"Name", Role::Typed},
                                {"Kind", Role::Program},
                                {"Category", Role::Program},
                                // Created and last connected date this
                                // installation's use (the first profile is made
                                // within minutes of setup).
                                {"Created", Role::Time},
                                {"Last connected", Role::Time},
                                {"DNS suffix", Role::Typed},
                                {"Gateway MAC", Role::Identifier}},
                               "Every network this installation has connected to (HKLM\\...\\NetworkList). Names, DNS "
                               "suffixes and gateway addresses identify places and keep their mask; the count and the "
                               "dates describe how long and how widely the installation has been used.");
    AddProfiles(s, profiles, ids, in);

    // 5. Bluetooth radios.
    Table bt = MakeTable("network", table::kNetBt, "Bluetooth radios",
                         // The radio's name is the computer's unless a person renamed it.
                         {{"Name", Role::Typed},
                          {"Address", Role::Identifier},
                          {"Manufacturer", Role::Maker},
                          {"LMP subversion", Role::Maker},
                          {"Class of device", Role::Maker}});
    AddRadios(s, bt, in);

    // 6. Remembered Bluetooth devices.
    Table btDevices = MakeTable("network", table::kNetBtdevices, "Paired Bluetooth devices",
                                // Names were chosen by the devices' owners; last seen
                                // and last used are events of this installation.
                                {{"Name", Role::Typed},
                                 {"Address", Role::Identifier},
                                 {"Class of device", Role::Maker},
                                 {"Paired", Role::Program},
                                 {"Connected", Role::Program},
                                 {"Last seen", Role::Time},
                                 {"Last used", Role::Time}},
                                "Devices remembered by the Bluetooth stack, read from its cache without an inquiry. Names "
                                "and addresses identify the user's other devices and keep their mask.");
    const int paired = AddBtDevices(s, btDevices, ids, in);

    // 7. Mobile broadband.
    Table wwan = MakeTable("network", table::kNetWwan, "Mobile broadband modem (WWAN)", FieldColumns(),
                           "Cellular modem identity through WinRT MobileBroadbandModem. The IMEI is a per-unit identifier "
                           "of the modem; SIM and subscriber identifiers are not read.");
    AddModem(s, wwan, in.modem);

    // 8. Summary facts.
    SetFact(s, fact::kNetHw, Format("%zu", ifaces.rows.size()));
    SetFact(s, fact::kNetPermanentGood, Format("%zu", tot.goodPerm.size()));
    SetFact(s, fact::kNetOverridden, Format("%d", tot.overridden));
    SetFact(s, fact::kNetPermMacs, Join(tot.permMacs, ","));
    SetFact(s, fact::kNetCurMacs, Join(tot.curMacs, ","));
    SetFact(s, fact::kBtRadios, Format("%zu", in.radios.size()));
    SetFact(s, fact::kBtPaired, Format("%d", paired));

    // 9. Tables.
    for (Table* t : {&ifaces, &ids, &profiles, &wwan, &bt, &btDevices}) s.tables.push_back(std::move(*t));
}

}  // namespace vorq
