#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "collectors/devices/network.h"
#include "core/report.h"
#include "test_support.h"

namespace vorq {
namespace {

using test::HexBytes;

NetIfRow Iface(const std::string& description, uint32_t type, const std::string& current, const std::string& permanent,
               bool up = true, bool hardware = true) {
    NetIfRow r;
    r.description = description;
    r.type = type;
    r.hardware = hardware;
    r.operStatus = up ? 1 : 2;
    const Bytes cur = HexBytes(current), perm = HexBytes(permanent);
    r.addressLength = static_cast<uint32_t>(cur.size());
    std::copy(cur.begin(), cur.end(), r.current);
    std::copy(perm.begin(), perm.end(), r.permanent);
    r.guid.Data1 = 0x11223344;
    return r;
}

std::vector<const Signal*> SignalsOf(const Snapshot& s, const std::string& key) {
    std::vector<const Signal*> out;
    for (const Signal& sig : s.signals)
        if (sig.key == key) out.push_back(&sig);
    return out;
}

Snapshot Collect(const NetworkSource& in) {
    Snapshot s;
    CollectNetworkFrom(s, in);
    return s;
}

Bytes RegTime(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute) {
    const uint16_t f[8] = {year, month, 0, day, hour, minute, 59, 999};
    Bytes b;
    for (uint16_t v : f) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
    return b;
}

TEST(NetworkDuid, KindsLengthsAndTimes) {
    struct Case {
        const char* hex;
        bool valid;
        const char* kind;
        const char* detail;
        const char* generated;
        const char* mac;
    };
    const Case cases[] = {
        {"0001 0001 00000000 001A2B3C4D5E", true, "DUID-LLT", "hardware type 1", "2000-01-01 00:00:00 UTC",
         "00-1A-2B-3C-4D-5E"},
        // The 32-bit time field plus the shift to 1970 needs 64 bits.
        {"0001 0001 FFFFFFFF 001A2B3C4D5E", true, "DUID-LLT", "hardware type 1", "2136-02-07 06:28:15 UTC",
         "00-1A-2B-3C-4D-5E"},
        {"0001 0001 2A3B4C5D 001A2B3C", true, "type 1", "", "", ""},  // 12 bytes: too short for an address
        {"0003 0001 001A2B3C4D5E", true, "DUID-LL", "hardware type 1", "", "00-1A-2B-3C-4D-5E"},
        {"0003 0001 001A2B3C4D", true, "type 3", "", "", ""},
        {"0002 00000137 0102", true, "DUID-EN", "enterprise number 311", "", ""},
        {"0002 0000", true, "DUID-EN", "", "", ""},
        {"0004 00112233445566778899AABBCCDDEEFF", true, "DUID-UUID", "", "", ""},
        {"1234 5678", true, "type 4660", "", "", ""},
        {"0001 00", false, "", "", "", ""},
        {"", false, "", "", "", ""},
    };
    for (const Case& c : cases) {
        const Bytes b = HexBytes(c.hex);
        const DuidInfo d = DecodeDuid(b.data(), b.size());
        EXPECT_EQ(d.valid, c.valid) << c.hex;
        EXPECT_EQ(d.kind, c.kind) << c.hex;
        EXPECT_EQ(d.detail, c.detail) << c.hex;
        EXPECT_EQ(d.generated, c.generated) << c.hex;
        EXPECT_EQ(d.mac, c.mac) << c.hex;
    }
    // A long link-layer field is shown up to the longest hardware address.
    Bytes longDuid = HexBytes("0003 0001");
    longDuid.resize(4 + 100, 0xAB);
    EXPECT_EQ(DecodeDuid(longDuid.data(), longDuid.size()).mac.size(), 32u * 3 - 1);
}

TEST(NetworkDuid, RowsSignalAndFacts) {
    NetworkSource in;
    in.duidFound = true;
    in.duid = HexBytes("0001 0001 2A3B4C5D 001A2B3C4D5E");
    Snapshot s = Collect(in);
    const Table* ids = FindTable(s, "net.ids");
    ASSERT_NE(ids, nullptr);
    ASSERT_GE(ids->rows.size(), 2u);
    EXPECT_EQ(ids->rows[0].cells, (std::vector<std::string>{"DHCPv6 DUID", "000100012A3B4C5D001A2B3C4D5E", "per-install",
                                                             "HKLM\\...\\Tcpip6\\Parameters\\Dhcpv6DUID"}));
    EXPECT_EQ(ids->rows[0].sens, 0x2u);
    EXPECT_EQ(ids->rows[1].cells[1], "DUID-LLT (hardware type 1)");
    auto sig = SignalsOf(s, "net.duid");
    ASSERT_EQ(sig.size(), 1u);
    EXPECT_TRUE(Sensitive(*sig[0]));
    EXPECT_EQ(sig[0]->note, "DUID-LLT: generated once at first boot; embeds the MAC of the adapter present at that time");
    EXPECT_EQ(GetFact(s, "net.duid_mac"), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(GetFact(s, "net.duid_kind"), "DUID-LLT");

    // Without an address there is no MAC fact.
    in.duid = HexBytes("0004 00112233445566778899AABBCCDDEEFF");
    s = Collect(in);
    EXPECT_FALSE(HasFact(s, "net.duid_mac"));

    // A short value writes nothing.
    in.duid = HexBytes("000100");
    s = Collect(in);
    EXPECT_TRUE(FindTable(s, "net.ids")->rows.empty());
    EXPECT_TRUE(SignalsOf(s, "net.duid").empty());
    EXPECT_FALSE(HasFact(s, "net.duid_kind"));
}

// The DUID is the installation's identity whatever its type, and a DUID-LLT's
// time dates the installation; the type itself is a state.
TEST(NetworkDuid, ValueAndTimeAreMaskedTheTypeStaysReadable) {
    const struct {
        const char* hex;
        const char* type;
        const char* generated;
    } cases[] = {
        {"0001 0001 2A3B4C5D 001A2B3C4D5E", "DUID-LLT (hardware type 1)", "2022-06-14 13:40:45 UTC"},
        {"0003 0001 001A2B3C4D5E", "DUID-LL (hardware type 1)", ""},
        {"0002 00000137 5A17C0FFEE01", "DUID-EN (enterprise number 311)", ""},
        {"0004 7C0A55E1D2B34F6A8899AABBCCDDEEFF", "DUID-UUID", ""},
        {"00FF 1234 5678", "type 255", ""},
    };
    const Bytes key(32, 0x42);
    for (const auto& c : cases) {
        NetworkSource in;
        in.duidFound = true;
        in.duid = HexBytes(c.hex);
        const Snapshot s = Collect(in);
        const Table* ids = FindTable(s, "net.ids");
        ASSERT_NE(ids, nullptr);
        std::vector<std::pair<std::vector<std::string>, uint32_t>> rows;
        for (const TableRow& r : ids->rows) rows.push_back({r.cells, r.sens});
        std::vector<std::pair<std::vector<std::string>, uint32_t>> expected = {
            {{"DHCPv6 DUID", HexEncode(in.duid), "per-install", "HKLM\\...\\Tcpip6\\Parameters\\Dhcpv6DUID"}, 2u},
            {{"DHCPv6 DUID type", c.type, "state", "RFC 8415"}, 0u}};
        if (*c.generated) expected.push_back({{"DHCPv6 DUID generated", c.generated, "per-install", "RFC 8415"}, 2u});
        EXPECT_EQ(rows, expected) << c.hex;
        const auto sig = SignalsOf(s, "net.duid");
        ASSERT_EQ(sig.size(), 1u);
        EXPECT_TRUE(Sensitive(*sig[0])) << c.hex;

        std::string safe;
        WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
        EXPECT_EQ(ToLower(safe).find(ToLower(HexEncode(in.duid))), std::string::npos) << c.hex;
        if (*c.generated) {
            EXPECT_EQ(safe.find(std::string(c.generated).substr(0, 19)), std::string::npos) << c.hex;
        }
        EXPECT_NE(safe.find(std::string("\"") + c.type + "\""), std::string::npos) << c.hex;
    }
}

TEST(NetworkMac, States) {
    struct Case {
        const char* current;
        const char* permanent;
        const char* state;
        bool overridden;
    };
    const Case cases[] = {
        {"001A2B3C4D5E", "001A2B3C4D5E", "[ok] matches permanent", false},
        {"001A2B3C4D5F", "001A2B3C4D5E", "[warn] current address overridden", true},
        {"021A2B3C4D5F", "001A2B3C4D5E", "[info] current address randomized / overridden", true},
        {"001A2B3C4D5E", "000000000000", "[warn] no permanent address reported", false},
        {"000000000000", "000000000000", "[warn] no permanent address reported", false},
        // No address in use is not an override.
        {"000000000000", "001A2B3C4D5E", "[info] no current address reported", false},
        {"020000000001", "020000000001", "[ok] matches permanent (permanent address is locally administered)", false},
        {"000000000000", "020000000001", "[info] no current address reported (permanent address is locally administered)",
         false},
        {"001A2B3C4D5E", "020000000001", "[warn] current address overridden (permanent address is locally administered)",
         true},
    };
    for (const Case& c : cases) {
        const Bytes cur = HexBytes(c.current), perm = HexBytes(c.permanent);
        const MacState st = DecideMacState(cur.data(), perm.data(), cur.size());
        EXPECT_EQ(st.text, c.state) << c.current << " " << c.permanent;
        EXPECT_EQ(st.overridden, c.overridden) << c.current << " " << c.permanent;
    }
}

TEST(NetworkInterfaces, RowsSignalsAndCounts) {
    NetworkSource in;
    in.ifTableOk = true;
    NetIfRow eth = Iface("Intel Ethernet", 6, "001A2B3C4D5E", "001A2B3C4D5E");
    eth.transmitLinkSpeed = 1000000000;
    eth.medium = 14;
    in.interfaces.push_back(eth);
    // The same adapter seen twice (same permanent address, same current one).
    in.interfaces.push_back(Iface("Intel Ethernet #2", 6, "001A2B3C4D5E", "001A2B3C4D5E"));
    NetIfRow wifi = Iface("Wi-Fi adapter", 71, "DA1A2B3C4D5F", "A0B1C2D3E4F5", false);
    wifi.mediaConnectState = 2;
    wifi.transmitLinkSpeed = UINT64_MAX;
    in.interfaces.push_back(wifi);
    in.interfaces.push_back(Iface("Card without permanent address", 71, "00AABBCCDDEE", "000000000000"));
    in.interfaces.push_back(Iface("Adapter not started", 6, "000000000000", "00CCDDEEFF00", false));
    in.interfaces.push_back(Iface("Hyper-V switch", 6, "02155D000001", "000000000000", true, false));
    NetIfRow filter = Iface("Filter", 6, "001A2B3C4D5E", "001A2B3C4D5E");
    filter.filter = true;
    in.interfaces.push_back(filter);
    in.interfaces.push_back(Iface("Loopback", 24, "", "", true, false));
    in.interfaces.push_back(Iface("Tunnel", 131, "", "", true, true));

    const Snapshot s = Collect(in);
    const Table* t = FindTable(s, "net.ifaces");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->sens, 0x58u);
    ASSERT_EQ(t->rows.size(), 5u);
    EXPECT_EQ(t->rows[0].cells,
              (std::vector<std::string>{"Intel Ethernet", "Ethernet", "802.3", "00-1A-2B-3C-4D-5E", "00-1A-2B-3C-4D-5E",
                                        "[ok] matches permanent", "11223344-0000-0000-0000-000000000000", "up",
                                        "119 MB/s"}));
    EXPECT_EQ(t->rows[2].cells[7], "disconnected");
    EXPECT_EQ(t->rows[2].cells[8], "");
    EXPECT_EQ(t->rows[4].cells[7], "down");
    EXPECT_TRUE(t->note.ends_with(" 4 software/filter interfaces not shown.")) << t->note;

    auto perm = SignalsOf(s, "nic.permanent_mac");
    ASSERT_EQ(perm.size(), 3u);
    EXPECT_EQ(perm[0]->name, "Permanent MAC - Ethernet (Intel Ethernet)");
    EXPECT_EQ(perm[0]->w, 15);
    EXPECT_EQ(perm[0]->scope, 0);
    EXPECT_EQ(perm[1]->value, "A0-B1-C2-D3-E4-F5");
    EXPECT_EQ(perm[2]->value, "00-CC-DD-EE-FF-00");
    auto cur = SignalsOf(s, "nic.current_mac");
    ASSERT_EQ(cur.size(), 2u);  // the randomized Wi-Fi and the card without a permanent address
    EXPECT_EQ(cur[0]->value, "DA-1A-2B-3C-4D-5F");
    EXPECT_EQ(cur[0]->scope, 3);
    EXPECT_EQ(cur[1]->value, "00-AA-BB-CC-DD-EE");
    EXPECT_EQ(SignalsOf(s, "nic.guid").size(), 5u);

    EXPECT_EQ(GetFact(s, "net.hw"), "5");
    EXPECT_EQ(GetFact(s, "net.permanent_good"), "3");
    EXPECT_EQ(GetFact(s, "net.overridden"), "1");
    EXPECT_EQ(GetFact(s, "net.perm_macs"), "00-1A-2B-3C-4D-5E,A0-B1-C2-D3-E4-F5,00-CC-DD-EE-FF-00");
    EXPECT_EQ(GetFact(s, "net.cur_macs"), "00-1A-2B-3C-4D-5E,00-1A-2B-3C-4D-5E,DA-1A-2B-3C-4D-5F,00-AA-BB-CC-DD-EE");

    // Up and not filters: both Ethernet rows, the card, the switch, loopback, tunnel.
    EXPECT_EQ(GetFact(s, "vm.net.status"), "complete");
    EXPECT_EQ(GetFact(s, "vm.net.active"), "6");
    EXPECT_EQ(GetFact(s, "vm.net.software_active"), "2");
    EXPECT_EQ(GetFact(s, "vm.net.local_active"), "1");
    EXPECT_EQ(GetFact(s, "vm.net.duplicate_active"), "1");
}

TEST(NetworkInterfaces, LocallyAdministeredPermanentAddressIsWeak) {
    NetworkSource in;
    in.ifTableOk = true;
    in.interfaces.push_back(Iface("Virtual NIC", 6, "02AABBCCDDEE", "02AABBCCDDEE"));
    in.interfaces.push_back(Iface("Modem", 243, "00AABBCCDD01", "00AABBCCDD01"));
    const Snapshot s = Collect(in);
    auto perm = SignalsOf(s, "nic.permanent_mac");
    ASSERT_EQ(perm.size(), 2u);
    EXPECT_EQ(perm[0]->w, 2);
    EXPECT_EQ(perm[0]->note, "locally administered - weak");
    EXPECT_EQ(perm[1]->w, 6);
    EXPECT_EQ(GetFact(s, "net.permanent_good"), "0");
}

TEST(NetworkInterfaces, TableFailure) {
    const Snapshot s = Collect(NetworkSource{});
    EXPECT_EQ(GetFact(s, "vm.net.status"), "error");
    for (const char* key : {"vm.net.active", "vm.net.software_active", "vm.net.local_active", "vm.net.duplicate_active",
                            "net.hw", "net.permanent_good", "net.overridden", "bt.radios", "bt.paired"})
        EXPECT_EQ(GetFact(s, key, "absent"), "0") << key;
    EXPECT_EQ(GetFact(s, "net.perm_macs", "absent"), "");
    EXPECT_EQ(GetFact(s, "net.cur_macs", "absent"), "");
    EXPECT_EQ(s.notes, (std::vector<std::string>{"Network: GetIfTable2 failed"}));
    EXPECT_TRUE(SourceFailed(s, "Network"));
    EXPECT_TRUE(FindTable(s, "net.ifaces")->note.ends_with("overridden. 0 software/filter interfaces not shown."));
    std::vector<std::string> order;
    for (const Table& t : s.tables) order.push_back(t.id);
    EXPECT_EQ(order, (std::vector<std::string>{"net.ifaces", "net.ids", "net.profiles", "net.wwan", "net.bt", "net.btdevices"}));
}

TEST(NetworkProfiles, GenericNames) {
    const std::pair<const char*, bool> cases[] = {
        {"Network", true},       {"network", true},      {"Ethernet", true},    {"WI-FI", true},
        {"Unidentified network", true}, {"Network 3", true}, {"Network ", true}, {"ethernet 12", true},
        {"Network 3b", false},   {"Home", false},        {"Network  3", false}, {"Wi-Fi 2", false},
        {"Networks", false},     {"", false},
    };
    for (const auto& [name, generic] : cases) EXPECT_EQ(IsGenericProfileName(name), generic) << name;
}

TEST(NetworkProfiles, TimeTexts) {
    EXPECT_EQ(FormatRegSystemTime(RegTime(2021, 3, 5, 7, 9)), "2021-03-05 07:09");
    EXPECT_EQ(FormatRegSystemTime(RegTime(0, 3, 5, 7, 9)), "");
    Bytes shortValue = RegTime(2021, 3, 5, 7, 9);
    shortValue.pop_back();
    EXPECT_EQ(FormatRegSystemTime(shortValue), "");
    EXPECT_EQ(FormatRegSystemTime(Bytes{}), "");
}

TEST(NetworkProfiles, RowsJoinSignaturesAndSummarize) {
    NetworkSource in;
    in.signatures.push_back({"{ABCDEF00-0000-0000-0000-000000000001}", "old.example", HexBytes("001122334455")});
    in.signatures.push_back({"{abcdef00-0000-0000-0000-000000000001}", "corp.example", HexBytes("A0B0C0D0E0F0")});
    NetProfile home{"{AbCdEf00-0000-0000-0000-000000000001}", "Home", 1, 71, RegTime(2020, 5, 1, 10, 0),
                    RegTime(2024, 1, 2, 3, 4)};
    NetProfile generic{"{00000000-0000-0000-0000-000000000002}", "Network 3", 7, 6, RegTime(2019, 12, 31, 23, 59),
                       RegTime(2023, 1, 1, 0, 0)};
    NetProfile bare{"{00000000-0000-0000-0000-000000000003}", "", 0, 0, {}, {}};
    in.profiles = {home, generic, bare};
    const Snapshot s = Collect(in);
    const Table* t = FindTable(s, "net.profiles");
    ASSERT_EQ(t->rows.size(), 3u);
    // The profile GUID, the times of this installation's use and the gateway
    // MAC; the name and the DNS suffix were typed, masked row by row.
    EXPECT_EQ(t->sens, 0xB1u);
    EXPECT_EQ(t->rows[0].cells,
              (std::vector<std::string>{"{AbCdEf00-0000-0000-0000-000000000001}", "Home", "Wi-Fi", "private",
                                        "2020-05-01 10:00", "2024-01-02 03:04", "corp.example", "A0-B0-C0-D0-E0-F0"}));
    EXPECT_EQ(t->rows[0].sens, 0x42u);
    EXPECT_EQ(t->rows[1].sens, 0x40u);  // a generic name; the DNS suffix, empty, keeps its place masked
    EXPECT_EQ(t->rows[1].cells[3], "unknown");
    EXPECT_EQ(t->rows[2].cells, (std::vector<std::string>{"{00000000-0000-0000-0000-000000000003}", "", "Other", "public",
                                                           "", "", "", ""}));
    const Table* ids = FindTable(s, "net.ids");
    ASSERT_EQ(ids->rows.size(), 1u);
    EXPECT_EQ(ids->rows[0].cells[1], "3 (first joined 2019-12-31 23:59, last connected 2024-01-02 03:04)");
    EXPECT_EQ(ids->rows[0].sens, 0x2u);  // it holds the masked times
    EXPECT_EQ(GetFact(s, "net.profiles"), "3");
}

TEST(NetworkProfiles, NoneRecorded) {
    NetworkSource in;
    for (bool elevated : {true, false}) {
        in.elevated = elevated;
        const Snapshot s = Collect(in);
        EXPECT_TRUE(FindTable(s, "net.profiles")
                        ->note.ends_with(elevated ? " No network profiles recorded." : " Needs administrator rights."));
        EXPECT_FALSE(HasFact(s, "net.profiles"));
    }
}

TEST(NetworkBluetooth, AddressTextAndVendors) {
    const uint8_t addr[6] = {0x5E, 0x4D, 0x3C, 0x2B, 0x1A, 0x00};
    EXPECT_EQ(BluetoothAddressText(addr), "00:1A:2B:3C:4D:5E");
    EXPECT_EQ(BluetoothVendorName(15), "Broadcom");
    EXPECT_EQ(BluetoothVendorName(10), "Qualcomm (CSR)");
    EXPECT_EQ(BluetoothVendorName(305), "Cypress");
    EXPECT_EQ(BluetoothVendorName(0xFFFF), "");
}

TEST(NetworkBluetooth, RadiosDevicesAndCounts) {
    NetworkSource in;
    BtRadio builtIn{"LAPTOP", {0x5E, 0x4D, 0x3C, 0x2B, 0x1A, 0x00}, 0x000F, 0x1234, 0x7A010C};
    BtRadio dongle{"dongle", {1, 2, 3, 4, 5, 6}, 0x0BAD, 1, 0};
    in.radios = {builtIn, dongle};
    BtDevice headset;
    headset.name = "Headset";
    headset.address[0] = 0xAA;
    headset.classOfDevice = 0x240404;
    headset.authenticated = true;
    headset.connected = true;
    headset.lastSeen = {2024, 2, 0, 3, 4, 5, 6, 7};
    BtDevice remembered;
    remembered.name = "Speaker";
    in.btDevices = {headset, remembered};
    const Snapshot s = Collect(in);

    const Table* bt = FindTable(s, "net.bt");
    ASSERT_EQ(bt->rows.size(), 2u);
    EXPECT_EQ(bt->sens, 0x2u);  // the address; the name (the computer's, or one a person gave) by row
    EXPECT_EQ(bt->note, "");
    EXPECT_EQ(bt->rows[0].cells,
              (std::vector<std::string>{"LAPTOP", "00:1A:2B:3C:4D:5E", "0x000F Broadcom", "0x1234", "0x7A010C"}));
    EXPECT_EQ(bt->rows[1].cells[2], "0x0BAD ");
    EXPECT_EQ(SignalsOf(s, "bt.address").size(), 2u);
    auto vendor = SignalsOf(s, "bt.vendor");
    ASSERT_EQ(vendor.size(), 2u);
    EXPECT_FALSE(Sensitive(*vendor[0]));
    EXPECT_TRUE(Sensitive(*SignalsOf(s, "bt.address")[0]));

    const Table* dev = FindTable(s, "net.btdevices");
    EXPECT_EQ(dev->sens, 0x62u);  // address, and the times this installation saw and used it; the name by row
    ASSERT_EQ(dev->rows.size(), 2u);
    EXPECT_EQ(dev->rows[0].cells, (std::vector<std::string>{"Headset", "00:00:00:00:00:AA", "0x240404", "yes", "yes",
                                                             "2024-02-03 04:05", ""}));
    EXPECT_EQ(dev->rows[1].cells[3], "no");
    const Table* ids = FindTable(s, "net.ids");
    ASSERT_EQ(ids->rows.size(), 1u);
    EXPECT_EQ(ids->rows[0].cells,
              (std::vector<std::string>{"Paired Bluetooth devices", "1 paired, 2 remembered", "state",
                                        "BluetoothFindFirstDevice (cache only)"}));
    EXPECT_EQ(GetFact(s, "bt.radios"), "2");
    EXPECT_EQ(GetFact(s, "bt.paired"), "1");
    // Every radio's and device's name masks the texts that hold it.
    std::vector<std::string> chosen;
    for (const NamedValue& n : s.named)
        if (n.kind == ValueKind::Chosen) chosen.push_back(n.value);
    EXPECT_EQ(chosen, (std::vector<std::string>{"LAPTOP", "dongle", "Headset", "Speaker"}));
}

TEST(NetworkBluetooth, NoRadio) {
    const Snapshot s = Collect(NetworkSource{});
    EXPECT_EQ(FindTable(s, "net.bt")->note, "No Bluetooth radio present or the Bluetooth stack is off.");
    EXPECT_TRUE(FindTable(s, "net.btdevices")->note.ends_with("keep their mask. No Bluetooth radio present."));
    EXPECT_TRUE(FindTable(s, "net.ids")->rows.empty());
}

struct ModemCase {
    const char* what;
    ModemInfo modem;
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> signalKeys;
    std::string note;  // empty: the initial note stays
};

TEST(NetworkModem, RowDecisions) {
    ModemInfo failed;
    failed.failure = "HRESULT 0x80040154: Class not registered";
    ModemInfo none;
    none.outcome = ModemOutcome::Answered;
    ModemInfo makerOnly = none;
    makerOnly.manufacturer = "Quectel ";
    ModemInfo full = none;
    full.manufacturer = "Sierra";
    full.model = "EM7455";
    full.firmware = "SWI9X30C";
    full.deviceId = "{DEV-ID}";
    full.imei = "356938035643809";
    ModemInfo raised;
    raised.outcome = ModemOutcome::Raised;
    const ModemCase cases[] = {
        {"failed", failed, {}, {}, "Mobile broadband API not available: HRESULT 0x80040154: Class not registered"},
        {"no modem", none, {}, {}, "No mobile broadband modem present."},
        {"maker only", makerOnly, {{"Manufacturer / model", "Quectel"}}, {}, ""},
        {"full",
         full,
         {{"Manufacturer / model", "Sierra EM7455"},
          {"Firmware", "SWI9X30C"},
          {"Device ID", "{DEV-ID}"},
          {"Mobile equipment ID (IMEI)", "356938035643809"}},
         {"wwan.imei", "wwan.device_id", "wwan.model"},
         ""},
        {"raised", raised, {}, {}, "Mobile broadband query failed."},
    };
    for (const ModemCase& c : cases) {
        NetworkSource in;
        in.modem = c.modem;
        const Snapshot s = Collect(in);
        const Table* t = FindTable(s, "net.wwan");
        std::vector<std::vector<std::string>> rows;
        for (const TableRow& r : t->rows) rows.push_back(r.cells);
        EXPECT_EQ(rows, c.rows) << c.what;
        std::vector<std::string> keys;
        for (const Signal& sig : s.signals)
            if (sig.key.starts_with("wwan.")) keys.push_back(sig.key);
        EXPECT_EQ(keys, c.signalKeys) << c.what;
        if (c.note.empty())
            EXPECT_TRUE(t->note.starts_with("Cellular modem identity")) << c.what;
        else
            EXPECT_EQ(t->note, c.note) << c.what;
        const bool raisedNote = std::find(s.notes.begin(), s.notes.end(), "Network: WWAN modem query raised an exception") !=
                                s.notes.end();
        EXPECT_EQ(raisedNote, c.modem.outcome == ModemOutcome::Raised) << c.what;
    }
}

// Of a modem's rows and signals exactly its identifiers are masked: the device
// ID Windows makes per installation and the IMEI; maker, model and firmware
// stay readable.
TEST(NetworkModem, OnlyTheDeviceIdAndImeiAreMasked) {
    NetworkSource in;
    in.modem.outcome = ModemOutcome::Answered;
    in.modem.manufacturer = "Sierra";
    in.modem.model = "EM7455";
    in.modem.firmware = "SWI9X30C";
    in.modem.deviceId = "{4D36E96D-E325-11CE-BFC1-08002BE10318}\\0007";
    in.modem.imei = "356938035643809";
    const Snapshot s = Collect(in);
    const std::set<std::string> identifiers = {"Device ID", "Mobile equipment ID (IMEI)"};
    for (const TableRow& r : FindTable(s, "net.wwan")->rows)
        EXPECT_EQ(r.sens, identifiers.count(r.cells[0]) ? 2u : 0u) << r.cells[0];
    for (const Signal& sig : s.signals) {
        if (sig.key.starts_with("wwan.")) {
            EXPECT_EQ(Sensitive(sig), sig.key != "wwan.model") << sig.key;
        }
    }
    std::string safe;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, Bytes(32, 0x42));
    for (const char* hidden : {"4d36e96d", "356938035643809"}) EXPECT_EQ(ToLower(safe).find(hidden), std::string::npos);
    for (const char* shown : {"Sierra EM7455", "SWI9X30C"}) EXPECT_NE(safe.find(shown), std::string::npos);
}

// The IMEI is a per-unit identifier: a privacy-safe report must not carry it.
TEST(NetworkModem, ImeiIsMaskedInSafeReports) {
    NetworkSource in;
    in.modem.outcome = ModemOutcome::Answered;
    in.modem.model = "EM7455";
    in.modem.imei = "356938035643809";
    const Snapshot s = Collect(in);
    const auto imei = SignalsOf(s, "wwan.imei");
    ASSERT_EQ(imei.size(), 1u);
    EXPECT_TRUE(Sensitive(*imei[0]));
    EXPECT_EQ(imei[0]->w, 15);
    const Bytes key(32, 0x42);
    std::string safe, raw;
    WriteSnapshotJsonWithKey(safe, s, kReportSafe, key);
    WriteSnapshotJsonWithKey(raw, s, kReportRaw, key);
    EXPECT_EQ(safe.find("356938035643809"), std::string::npos);
    EXPECT_NE(safe.find("EM7455"), std::string::npos);
    EXPECT_NE(raw.find("356938035643809"), std::string::npos);
}

}  // namespace
}  // namespace vorq
