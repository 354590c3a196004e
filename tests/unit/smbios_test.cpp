#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "assessment/scoring.h"
#include "collectors/processor/smbios.h"
#include "core/report.h"
#include "tests/unit/smbios_builder.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::RsmbBuffer;
using test::SmbiosArea;
using test::SmbiosEnd;
using test::SmbiosRec;

// {field, value, row mask} of every row of one structure.
using Rows = std::vector<std::tuple<std::string, std::string, uint32_t>>;

Snapshot Render(const std::vector<uint8_t>& buffer) {
    Snapshot s;
    CollectSmbiosFrom(s, SmbiosSource{buffer.data(), buffer.size()});
    return s;
}

Snapshot RenderOne(const SmbiosRec& rec, uint8_t major = 3, uint8_t minor = 4) {
    return Render(RsmbBuffer(SmbiosArea({rec, SmbiosEnd()}), major, minor));
}

Rows RowsOf(const Snapshot& s, const std::string& label) {
    Rows out;
    const Table* t = FindTable(s, "smbios");
    if (!t) return out;
    for (const TableRow& r : t->rows)
        if (r.cells.at(0) == label) out.emplace_back(r.cells.at(1), r.cells.at(2), r.sens);
    return out;
}

std::vector<const Signal*> SignalsOf(const Snapshot& s, const std::string& key) {
    std::vector<const Signal*> out;
    for (const Signal& sig : s.signals)
        if (sig.key == key) out.push_back(&sig);
    return out;
}

const Signal& OneSignal(const Snapshot& s, const std::string& key) {
    auto all = SignalsOf(s, key);
    EXPECT_EQ(all.size(), 1u) << key;
    static const Signal none;
    return all.empty() ? none : *all[0];
}

TEST(SmbiosRender, WineTable) {
    // As Wine synthesises it from the host (UUID bytes replaced), SMBIOS 2.4, no strings.
    Snapshot s = Render(test::ReadFixture("smbios/wine-2.4.bin"));
    ASSERT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(s.tables[0].id, "smbios.summary");
    EXPECT_EQ(s.tables[1].id, "smbios");
    const Table& summary = s.tables[0];
    ASSERT_EQ(summary.rows.size(), 5u);
    EXPECT_EQ(summary.rows[0].cells, (std::vector<std::string>{"Version", "2.4 (DMI revision 0)"}));
    EXPECT_EQ(summary.rows[1].cells, (std::vector<std::string>{"Structures", "6"}));
    EXPECT_EQ(summary.rows[2].cells, (std::vector<std::string>{"Table length", "123 bytes"}));
    EXPECT_EQ(summary.rows[3].cells, (std::vector<std::string>{"Calling method", "table interface"}));
    EXPECT_EQ(summary.rows[4].cells[0], "Table SHA-256");
    EXPECT_EQ(summary.rows[4].sens, 2u);
    const Table& t = s.tables[1];
    EXPECT_EQ(t.note,
              "SMBIOS 2.4, DMI revision 0, 6 structures, 123 bytes. Values marked as identifiers are hidden until you "
              "choose to show them.");
    EXPECT_EQ(t.groupCol, 0);
    EXPECT_EQ(t.columns, (std::vector<std::string>{"Structure", "Field", "Value"}));

    for (auto [key, value] : std::vector<std::pair<std::string, std::string>>{
             {"vm.smbios.structure.status", "complete"},
             {"vm.smbios.structures", "6"},
             {"vm.smbios.duplicate_handles", "0"},
             {"vm.smbios.bad_references", "0"},
             {"vm.smbios.bad_string_indices", "0"},
             {"smbios.version", "2.4"},
             {"smbios.uuid", "10111213-1415-1617-1819-1A1B1C1D1E1F"},  // stored order before 2.6
             {"smbios.uuid_valid", "1"},
             {"smbios.system_serial_valid", "0"},
             {"smbios.board_serial", ""},
             {"smbios.chassis_type", "Other"},
             {"sys.manufacturer", ""},
             {"smbios.vm_flag", "0"},
         })
        EXPECT_EQ(GetFact(s, key, "(absent)"), value) << key;
    EXPECT_FALSE(HasFact(s, "smbios.mem_mb"));
    EXPECT_FALSE(HasFact(s, "smbios.cpu.threads"));

    EXPECT_EQ(RowsOf(s, "Type 1 - System Information (handle 0x0001)"),
              (Rows{{"Manufacturer", "", 0},
                    {"Product name", "", 0},
                    {"Version", "", 0},
                    {"Serial number", "", 4},
                    {"UUID", "10111213-1415-1617-1819-1A1B1C1D1E1F", 4},
                    {"SKU number", "", 0},
                    {"Family", "", 0},
                    {"Wake-up type", "Unknown", 0}}));
    EXPECT_EQ(RowsOf(s, "Type 32 - System Boot Information (handle 0x0004)"), (Rows{{"Length", "20", 0}}));
    EXPECT_EQ(RowsOf(s, "Type 127 - End-of-Table (handle 0x0005)"), (Rows{{"Length", "4", 0}}));

    const Signal& uuid = OneSignal(s, "smbios.system.uuid");
    EXPECT_TRUE(Sensitive(uuid));
    EXPECT_EQ(uuid.q, 1.0);
    EXPECT_EQ(uuid.scope, 0);
    EXPECT_EQ(uuid.w, 20);
    EXPECT_EQ(uuid.src, "GetSystemFirmwareTable('RSMB') type 1");
    const Signal& serial = OneSignal(s, "smbios.system.serial");
    EXPECT_EQ(serial.q, 0.0);
    EXPECT_EQ(serial.note, "placeholder / unset value - ignored for identity");
}

// The vendor and manufacturers of the BIOS, system, board and chassis are
// makers' names, in their rows and signals; no other field or signal is.
TEST(SmbiosRender, MakersFields) {
    const Snapshot s = Render(test::ReadFixture("smbios/wine-2.4.bin"));
    std::vector<std::string> makers;
    const Table& t = *FindTable(s, "smbios");
    for (const TableRow& r : t.rows)
        if (CellRole(t, r, 2) == Role::Maker && r.cells.at(1).find("anufacturer") != std::string::npos)
            makers.push_back(r.cells.at(0).substr(0, r.cells.at(0).find(" - ")) + " " + r.cells.at(1));
    EXPECT_EQ(makers, (std::vector<std::string>{"Type 1 Manufacturer", "Type 3 Manufacturer", "Type 2 Manufacturer"}));
    for (const Signal& sig : s.signals) {
        if (sig.key == "smbios.bios.vendor" || sig.key == "smbios.system.manufacturer") {
            EXPECT_EQ(sig.role, Role::Maker) << sig.key;
        }
    }
}

// A table whose BIOS (0), system (1), board (2) and chassis (3) strings are
// given; the system's are what a virtual machine's owner may set.
std::vector<uint8_t> NamedTable(const char* biosVendor, const char* biosVersion, uint8_t biosFlags,
                                const char* manufacturer, const char* product) {
    return RsmbBuffer(SmbiosArea({
        SmbiosRec(0, 0x18, 0).Str(0x04, biosVendor).Str(0x05, biosVersion).B(0x13, biosFlags),
        SmbiosRec(1, 0x1B, 1)
            .Str(0x04, manufacturer)
            .Str(0x05, product)
            .Str(0x06, "rev Lindqvist")
            .Str(0x19, "sku-lindqvist")
            .Str(0x1A, "family-lindqvist"),
        SmbiosRec(2, 0x0F, 2).Str(0x04, manufacturer).Str(0x05, "board-lindqvist").Str(0x06, "v-lindqvist"),
        SmbiosRec(3, 0x16, 3).Str(0x04, manufacturer).B(0x05, 3).Str(0x06, "case-lindqvist"),
        SmbiosEnd(),
    }));
}

// A virtual machine's system, board and chassis strings are typed by its
// owner (QEMU's -smbios type=1,manufacturer=...): the table is one when the
// firmware flags it or names a hypervisor by its BIOS, system or board. A
// physical machine's are its maker's, and so are the names a hypervisor writes
// when the owner sets none.
TEST(SmbiosRender, VirtualMachinesNamesAreTyped) {
    constexpr Role T = Role::Typed, M = Role::Maker;
    struct Case {
        const char* biosVendor;
        const char* biosVersion;
        uint8_t flags;
        const char* manufacturer;
        const char* product;
        Role manufacturerRole, productRole;
        Role others;  // the table's other names: the owner's on every virtual machine
    } cases[] = {
        {"SeaBIOS", "rel-1.16.3-0-ga6ed6b701f0a-prebuilt.qemu.org", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"EFI Development Kit II / OVMF", "0.0.0", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"EDK II", "edk2-stable202302", 0x10, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"innotek GmbH", "VirtualBox", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"Microsoft Corporation", "Hyper-V UEFI Release v4.1", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"Xen", "4.17.2", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"Parallels Software International Inc.", "19.1.0", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        {"The Bochs Project", "Bochs", 0, "Ana Lindqvist", "Lindqvist build box", T, T, T},
        // The hypervisor's own names when the owner sets none, and an owner
        // who renamed only the product.
        {"Phoenix Technologies LTD", "6.00", 0, "VMware, Inc.", "VMware Virtual Platform", M, M, T},
        {"American Megatrends Inc.", "1.2", 0, "QEMU", "Standard PC (Q35 + ICH9, 2009)", M, M, T},
        {"SeaBIOS", "1.16.3", 0, "QEMU", "Lindqvist build box", M, T, T},
        // Physical: a maker's names, an EDK II build without the flag, a
        // Surface's firmware.
        {"Dell Inc.", "1.10.0", 0, "Dell Inc.", "OptiPlex 7090", M, M, M},
        {"EDK II", "1.0", 0, "Ana Lindqvist", "Lindqvist build box", M, M, M},
        {"Microsoft Corporation", "19.100.140", 0, "Microsoft Corporation", "Surface Laptop 5", M, M, M},
    };
    const char* const otherRows[] = {"Version", "SKU number", "Family", "Product", "Location in chassis"};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.biosVendor) + " / " + c.manufacturer + " / " + c.product);
        const Snapshot s = Render(NamedTable(c.biosVendor, c.biosVersion, c.flags, c.manufacturer, c.product));
        const Table& t = *FindTable(s, "smbios");
        for (const TableRow& r : t.rows) {
            const std::string type = r.cells.at(0).substr(0, 7);
            if (type != "Type 1 " && type != "Type 2 " && type != "Type 3 ") continue;
            const std::string& field = r.cells.at(1);
            const bool other = std::find(std::begin(otherRows), std::end(otherRows), field) != std::end(otherRows);
            if (field != "Manufacturer" && field != "Product name" && !other) continue;
            const Role want = field == "Manufacturer" ? c.manufacturerRole : field == "Product name" ? c.productRole : c.others;
            EXPECT_EQ(CellRole(t, r, 2), want) << r.cells.at(0) << " " << field;
        }
        EXPECT_EQ(OneSignal(s, "smbios.system.manufacturer").role, c.manufacturerRole);
        EXPECT_EQ(OneSignal(s, "smbios.system.product").role, c.productRole);
        for (const char* key : {"smbios.system.sku", "smbios.board.product"}) EXPECT_EQ(OneSignal(s, key).role, c.others) << key;
        EXPECT_EQ(OneSignal(s, "smbios.bios.vendor").role, Role::Maker);
        EXPECT_EQ(GetFact(s, "sys.names_typed"), c.manufacturerRole == T || c.productRole == T ? "1" : "0");
    }
}

// The leak: a QEMU guest's owner-set names were shown in the privacy-safe
// report, in the SMBIOS table, its signals and the device's title.
TEST(SmbiosRender, SafeReportMasksAVirtualMachinesOwnerNames) {
    Snapshot s = Render(NamedTable("SeaBIOS", "1.16.3-debian-1.16.3-2", 0, "Ana Lindqvist", "Lindqvist build box"));
    ScoreSnapshot(s);
    EXPECT_EQ(s.deviceTitleRole, Role::Typed);
    std::string out;
    WriteSnapshotJsonWithKey(out, s, kReportSafe, Bytes(32, 7));
    EXPECT_EQ(out.find("indqvist"), std::string::npos) << out;
    EXPECT_NE(out.find("SeaBIOS"), std::string::npos);
}

TEST(SmbiosRender, ShortBufferLeavesOnlyANote) {
    const uint8_t seven[7] = {0, 3, 4, 0, 0, 0, 0};
    Snapshot s;
    CollectSmbiosFrom(s, SmbiosSource{seven, sizeof seven});
    EXPECT_EQ(s.notes, (std::vector<std::string>{"SMBIOS: short read of the SMBIOS table"}));
    EXPECT_TRUE(SourceFailed(s, "SMBIOS", Failure::ShortRead));
    EXPECT_FALSE(SourceFailed(s, "SMBIOS"));
    EXPECT_TRUE(s.facts.empty() && s.tables.empty() && s.signals.empty());
}

TEST(SmbiosRender, EmptyAreaIsMalformed) {
    Snapshot s = Render(RsmbBuffer({}, 3, 0));
    EXPECT_EQ(GetFact(s, "vm.smbios.structure.status"), "malformed");
    EXPECT_EQ(GetFact(s, "vm.smbios.structures"), "0");
    EXPECT_EQ(s.tables.size(), 2u);
    EXPECT_EQ(FindTable(s, "smbios")->rows.size(), 0u);
}

TEST(SmbiosRender, StatedLengthBeyondTheBuffer) {
    auto buffer = RsmbBuffer(SmbiosArea({SmbiosRec(8, 4, 1), SmbiosEnd()}), 3, 0, 100);
    Snapshot s = Render(buffer);
    EXPECT_EQ(GetFact(s, "vm.smbios.structure.status"), "malformed");
    EXPECT_EQ(GetFact(s, "vm.smbios.structures"), "2");
    EXPECT_EQ(FindTable(s, "smbios.summary")->rows[2].cells[1], "100 bytes");
}

TEST(SmbiosRender, Bios) {
    Snapshot s = RenderOne(SmbiosRec(0, 0x18, 0)
                               .Str(0x04, "Acme")
                               .Str(0x05, " 1.2.3 ")
                               .Str(0x08, "01/02/2024")
                               .B(0x09, 0xFF - 0xF0)  // 16 x 64 KiB... (byte + 1) x 64 KiB
                               .B(0x13, 0x18)
                               .Bytes(0x14, {5, 17, 0xFF, 0}));
    EXPECT_EQ(RowsOf(s, "Type 0 - BIOS Information (handle 0x0000)"),
              (Rows{{"Vendor", "Acme", 0},
                    {"Version", "1.2.3", 0},
                    {"Release date", "01/02/2024", 0},
                    {"BIOS release", "5.17", 0},
                    {"ROM size", "1.00 MB", 0},
                    {"UEFI specification supported", "yes", 0},
                    {"Describes a virtual machine (spec flag)", "yes", 0}}));
    EXPECT_EQ(GetFact(s, "smbios.vm_flag"), "1");
    EXPECT_EQ(GetFact(s, "smbios.bios_version"), "1.2.3");
    EXPECT_EQ(OneSignal(s, "smbios.bios.version").note, "changes after a firmware update");
    EXPECT_EQ(OneSignal(s, "smbios.bios.vendor").value, "Acme");

    // An old, short structure: no extension bytes, so no flag fact.
    Snapshot old = RenderOne(SmbiosRec(0, 0x12, 0).B(0x09, 0xFF).Bytes(0x0A, {0}), 2, 3);
    EXPECT_EQ(RowsOf(old, "Type 0 - BIOS Information (handle 0x0000)").size(), 3u);
    EXPECT_FALSE(HasFact(old, "smbios.vm_flag"));
    Snapshot ec = RenderOne(SmbiosRec(0, 0x18, 0).Bytes(0x14, {1, 2, 3, 4}));
    EXPECT_EQ(std::get<1>(RowsOf(ec, "Type 0 - BIOS Information (handle 0x0000)").at(4)), "3.4");
}

TEST(SmbiosRender, UuidFormsAndPlaceholders) {
    const std::initializer_list<uint8_t> bytes = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                                  0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    struct Case {
        uint8_t major, minor;
        const char* uuid;
    } cases[] = {
        {2, 5, "00112233-4455-6677-8899-AABBCCDDEEFF"},
        {2, 6, "33221100-5544-7766-8899-AABBCCDDEEFF"},
        {3, 0, "33221100-5544-7766-8899-AABBCCDDEEFF"},
    };
    for (const Case& c : cases) {
        Snapshot s = RenderOne(SmbiosRec(1, 0x19, 1).Bytes(0x08, bytes), c.major, c.minor);
        EXPECT_EQ(GetFact(s, "smbios.uuid"), c.uuid);
        EXPECT_EQ(OneSignal(s, "smbios.system.uuid").value, c.uuid);
    }

    SmbiosRec ff(1, 0x19, 1);
    for (int i = 0; i < 16; ++i) ff.B(0x08 + i, 0xFF);
    Snapshot s = RenderOne(ff);
    const auto rows = RowsOf(s, "Type 1 - System Information (handle 0x0001)");
    EXPECT_EQ(rows.at(4), std::make_tuple(std::string("UUID"),
                                          std::string("FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF  [placeholder]"), 4u));
    EXPECT_EQ(GetFact(s, "smbios.uuid"), "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF");
    EXPECT_EQ(GetFact(s, "smbios.uuid_valid"), "0");
    const Signal& sig = OneSignal(s, "smbios.system.uuid");
    EXPECT_EQ(sig.q, 0.0);
    EXPECT_EQ(sig.note, "placeholder UUID - ignored for identity");

    // Too short for a UUID: no row, no signal, no fact.
    Snapshot shortSystem = RenderOne(SmbiosRec(1, 0x17, 1));
    EXPECT_FALSE(HasFact(shortSystem, "smbios.uuid"));
    EXPECT_TRUE(SignalsOf(shortSystem, "smbios.system.uuid").empty());
}

TEST(SmbiosRender, SystemSerialsAndSku) {
    struct Case {
        const char* serial;
        double q;
        const char* valid;
    } cases[] = {
        {"  To Be Filled By O.E.M.  ", 0.0, "0"},
        {"0000000", 0.0, "0"},
        {"xxxx", 0.0, "0"},
        {"0", 1.0, "1"},
        {"A1B2", 1.0, "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.serial);
        Snapshot s = RenderOne(SmbiosRec(1, 0x1B, 1).Str(0x07, c.serial).Str(0x19, "SKU-9"));
        const Signal& sig = OneSignal(s, "smbios.system.serial");
        EXPECT_EQ(sig.q, c.q);
        EXPECT_EQ(sig.note, c.q == 0.0 ? "placeholder / unset value - ignored for identity" : "");
        EXPECT_TRUE(Sensitive(sig));
        EXPECT_EQ(sig.w, 15);
        EXPECT_EQ(GetFact(s, "smbios.system_serial_valid"), c.valid);
        EXPECT_EQ(OneSignal(s, "smbios.system.sku").value, "SKU-9");
    }
    Snapshot skuPlaceholder = RenderOne(SmbiosRec(1, 0x1B, 1).Str(0x19, "Default String"));
    EXPECT_TRUE(SignalsOf(skuPlaceholder, "smbios.system.sku").empty());
}

TEST(SmbiosRender, BaseboardAndChassis) {
    Snapshot s = Render(RsmbBuffer(SmbiosArea({
        SmbiosRec(2, 0x0F, 2)
            .Str(0x04, "BoardCo")
            .Str(0x05, "B-1")
            .Str(0x07, "BSN-1")
            .Str(0x08, "Default String")
            .W(0x0B, 3),
        // Two contained elements of 3 bytes: the SKU string number sits at 0x15 + 6.
        SmbiosRec(3, 0x1C, 3).Str(0x04, "CaseCo").B(0x05, 0x80 | 9).Str(0x07, "CSN").Str(0x08, "Tag-7").B(0x13, 2).B(
            0x14, 3).Str(0x1B, "CSKU"),
        SmbiosEnd(),
    })));
    EXPECT_EQ(RowsOf(s, "Type 2 - Baseboard (handle 0x0002)"),
              (Rows{{"Manufacturer", "BoardCo", 0},
                    {"Product", "B-1", 0},
                    {"Version", "", 0},
                    {"Serial number", "BSN-1", 4},
                    {"Asset tag", "Default String", 4},
                    {"Location in chassis", "", 0}}));
    EXPECT_TRUE(SignalsOf(s, "smbios.board.asset").empty());
    EXPECT_EQ(OneSignal(s, "smbios.board.product").value, "BoardCo B-1");
    EXPECT_EQ(OneSignal(s, "smbios.board.serial").q, 1.0);
    EXPECT_EQ(GetFact(s, "smbios.board_serial"), "BSN-1");
    EXPECT_EQ(GetFact(s, "smbios.board_serial_valid"), "1");
    EXPECT_EQ(RowsOf(s, "Type 3 - System Enclosure / Chassis (handle 0x0003)"),
              (Rows{{"Manufacturer", "CaseCo", 0},
                    {"Type", "Laptop", 0},
                    {"Version", "", 0},
                    {"Serial number", "CSN", 4},
                    {"Asset tag", "Tag-7", 4},
                    {"SKU number", "CSKU", 0}}));
    EXPECT_EQ(OneSignal(s, "smbios.chassis.asset").value, "Tag-7");
    EXPECT_EQ(OneSignal(s, "smbios.chassis.type").value, "Laptop");
    EXPECT_EQ(GetFact(s, "smbios.chassis_type"), "Laptop");
    EXPECT_EQ(GetFact(s, "smbios.chassis_serial_valid"), "1");
    // No system structure: the board's names stand in.
    EXPECT_EQ(GetFact(s, "sys.manufacturer"), "BoardCo");
    EXPECT_EQ(GetFact(s, "sys.product"), "B-1");

    // Element counts whose product points far past the structure: no SKU row.
    Snapshot huge = RenderOne(SmbiosRec(3, 0x16, 3).B(0x13, 0xFF).B(0x14, 0xFF).B(0x15, 1));
    EXPECT_EQ(RowsOf(huge, "Type 3 - System Enclosure / Chassis (handle 0x0003)").size(), 5u);
}

TEST(SmbiosRender, SystemNamesWinOverTheBoard) {
    Snapshot s = Render(RsmbBuffer(SmbiosArea({
        SmbiosRec(1, 0x1B, 1).Str(0x04, "SysCo").Str(0x05, "System Product Name"),
        SmbiosRec(2, 0x0F, 2).Str(0x04, "BoardCo").Str(0x05, "B-1"),
    })));
    EXPECT_EQ(GetFact(s, "sys.manufacturer"), "SysCo");
    EXPECT_EQ(GetFact(s, "sys.product"), "B-1");
    Snapshot none = Render(RsmbBuffer(SmbiosArea({SmbiosRec(8, 4, 1)})));
    EXPECT_EQ(GetFact(none, "sys.manufacturer", "(absent)"), "");
    EXPECT_EQ(GetFact(none, "sys.product", "(absent)"), "");
}

SmbiosRec Cpu(uint16_t handle, uint8_t len, uint8_t status, uint8_t cores, uint8_t threads) {
    SmbiosRec r(4, len, handle);
    r.Str(0x04, "CPU0").Str(0x07, "ChipCo").Q(0x08, 0x0000A0F100000001ull).Str(0x10, "Chip 9").W(0x14, 5000).W(0x16,
                                                                                                          3600);
    r.B(0x18, status).B(0x23, cores).B(0x25, threads);
    return r;
}

TEST(SmbiosRender, ProcessorCoresAndThreads) {
    SmbiosRec big = Cpu(4, 0x32, 0x41, 0xFF, 0xFF);
    big.W(0x2A, 64).W(0x2E, 128).Str(0x20, "CPU-SN");
    Snapshot s = Render(RsmbBuffer(SmbiosArea({big, Cpu(5, 0x30, 0x41, 8, 16), SmbiosEnd()})));
    auto rows = RowsOf(s, "Type 4 - Processor (handle 0x0004)");
    EXPECT_EQ(rows.at(2), std::make_tuple(std::string("Processor ID"), std::string("0000A0F100000001"), 0u));
    EXPECT_EQ(rows.at(4), std::make_tuple(std::string("Max / current speed"), std::string("5000 / 3600 MHz"), 0u));
    EXPECT_EQ(rows.at(5), std::make_tuple(std::string("Serial number"), std::string("CPU-SN"), 4u));
    EXPECT_EQ(rows.at(8), std::make_tuple(std::string("Cores / threads"), std::string("64 / 128"), 0u));
    EXPECT_EQ(rows.size(), 9u);
    EXPECT_EQ(GetFact(s, "smbios.cpu.threads"), "144");
    EXPECT_EQ(GetFact(s, "smbios.cpu.cores"), "72");
    EXPECT_EQ(GetFact(s, "smbios.cpu.version"), "Chip 9");
    EXPECT_EQ(OneSignal(s, "smbios.cpu.serial").value, "CPU-SN");
    EXPECT_EQ(SignalsOf(s, "smbios.cpu.socket").size(), 2u);

    // Threads enabled replaces the count from then on.
    SmbiosRec enabled = Cpu(4, 0x32, 0x41, 4, 8);
    enabled.W(0x30, 6);
    Snapshot e = RenderOne(enabled);
    rows = RowsOf(e, "Type 4 - Processor (handle 0x0004)");
    EXPECT_EQ(rows.back(), std::make_tuple(std::string("Threads enabled"), std::string("6"), 0u));
    EXPECT_EQ(GetFact(e, "smbios.cpu.threads"), "6");

    // An unpopulated socket adds nothing; a short structure has no counts.
    Snapshot empty = Render(RsmbBuffer(SmbiosArea({Cpu(4, 0x30, 0x00, 8, 16), SmbiosRec(4, 0x1A, 5), SmbiosEnd()})));
    EXPECT_FALSE(HasFact(empty, "smbios.cpu.threads"));
    EXPECT_FALSE(HasFact(empty, "smbios.cpu.cores"));
    EXPECT_EQ(RowsOf(empty, "Type 4 - Processor (handle 0x0005)").size(), 5u);
    EXPECT_TRUE(SignalsOf(empty, "smbios.cpu.serial").empty());
}

// A processor structure with its version and manufacturer; status 0x41 is a
// populated, enabled socket, 0x00 an empty one (strings often left empty too).
SmbiosRec Socket(uint16_t handle, uint8_t status, const std::string& version, const std::string& maker) {
    SmbiosRec r(4, 0x30, handle);
    if (!maker.empty()) r.Str(0x07, maker);
    if (!version.empty()) r.Str(0x10, version);
    return r.B(0x18, status);
}

TEST(SmbiosRender, ProcessorFactsFromTheLastPopulatedSocket) {
    struct Case {
        const char* what;
        std::vector<SmbiosRec> sockets;
        const char *version, *maker;
    } cases[] = {
        {"a two-socket board with the second socket empty",
         {Socket(4, 0x41, "Xeon Gold 6338", "Intel(R) Corporation"), Socket(5, 0x00, "", "")},
         "Xeon Gold 6338",
         "Intel(R) Corporation"},
        {"both populated: the last", {Socket(4, 0x41, "A", "ChipCo"), Socket(5, 0x41, "B", "ChipCo")}, "B", "ChipCo"},
        {"none populated: the last", {Socket(4, 0x00, "A", "X"), Socket(5, 0x00, "B", "Y")}, "B", "Y"},
        {"an empty socket before the populated one",
         {Socket(4, 0x00, "", ""), Socket(5, 0x41, "EPYC 7763", "Advanced Micro Devices, Inc.")},
         "EPYC 7763",
         "Advanced Micro Devices, Inc."},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> area;
        for (const SmbiosRec& r : c.sockets) r.AppendTo(area);
        SmbiosEnd().AppendTo(area);
        Snapshot s = Render(RsmbBuffer(area));
        EXPECT_EQ(GetFact(s, "smbios.cpu.version", "(absent)"), c.version) << c.what;
        EXPECT_EQ(GetFact(s, "smbios.cpu.manufacturer", "(absent)"), c.maker) << c.what;
    }
    Snapshot none = Render(RsmbBuffer(SmbiosArea({SmbiosEnd()})));
    EXPECT_FALSE(HasFact(none, "smbios.cpu.version"));
}

TEST(SmbiosRender, CacheSlotOnboardDevice) {
    struct Case {
        SmbiosRec rec;
        Rows rows;
    } cases[] = {
        {SmbiosRec(7, 0x13, 1).Str(0x04, "L1").W(0x09, 0x0040), {{"Socket designation", "L1", 0}, {"Installed size", "64.0 KB", 0}}},
        {SmbiosRec(7, 0x13, 1).W(0x09, 0x8000 | 512), {{"Socket designation", "", 0}, {"Installed size", "32.0 MB", 0}}},
        {SmbiosRec(7, 0x1B, 1).W(0x09, 0xFFFF).D(0x17, 0x80000000u | 4096),
         {{"Socket designation", "", 0}, {"Installed size", "256 MB", 0}}},
        {SmbiosRec(7, 0x1B, 1).W(0x09, 0x0100).D(0x17, 0), {{"Socket designation", "", 0}, {"Installed size", "256 KB", 0}}},
        // A slot of SMBIOS 2.6 to 3.1 is 0x11 bytes long and still has its address.
        {SmbiosRec(9, 0x11, 1).Str(0x04, "PCIE1").B(0x07, 4).W(0x0D, 1).B(0x0F, 0x3A).B(0x10, 0x0B),
         {{"Designation", "PCIE1", 0}, {"Current usage", "in use", 0}, {"Segment / bus / device.function", "0001:3A:01.3", 0}}},
        {SmbiosRec(9, 0x10, 1).B(0x07, 3), {{"Designation", "", 0}, {"Current usage", "available", 0}}},
        {SmbiosRec(9, 0x0D, 1).B(0x07, 1), {{"Designation", "", 0}, {"Current usage", "other/unknown", 0}}},
        {SmbiosRec(41, 0x0B, 1).Str(0x04, "NIC").B(0x05, 0x85).W(0x07, 0).B(0x09, 2).B(0x0A, 0xF9),
         {{"Reference designation", "NIC", 0}, {"Device type", "0x05 (enabled)", 0},
          {"Segment / bus / device.function", "0000:02:1F.1", 0}}},
        {SmbiosRec(41, 0x0A, 1).B(0x05, 0x03), {{"Reference designation", "", 0}, {"Device type", "0x03 (disabled)", 0}}},
    };
    for (const Case& c : cases) {
        Snapshot s = RenderOne(c.rec);
        const Table* t = FindTable(s, "smbios");
        ASSERT_TRUE(t && !t->rows.empty());
        EXPECT_EQ(RowsOf(s, t->rows[0].cells[0]), c.rows) << t->rows[0].cells[0];
    }
}

TEST(SmbiosRender, OemStringsAndDefaultRendering) {
    SmbiosRec many(11, 5, 0x0B);
    many.B(0x04, 17);
    for (int i = 1; i <= 17; ++i) many.Strings({"oem-" + std::to_string(i)});
    Snapshot s = Render(RsmbBuffer(SmbiosArea({
        many,
        SmbiosRec(11, 5, 0x0C).Strings({"  oem-1 ", " "}),  // repeats a value; a blank gives no signal
        SmbiosRec(11, 5, 0x0D),
        SmbiosRec(12, 5, 0x0E).Strings({"cfg"}),
        SmbiosRec(200, 6, 0x0F).Strings({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}),
        SmbiosRec(8, 9, 0x10).Strings({"J1"}),
        SmbiosEnd(),
    })));
    auto oem = SignalsOf(s, "smbios.oem_string");
    ASSERT_EQ(oem.size(), 16u);
    EXPECT_EQ(oem[0]->name, "OEM string 1");
    EXPECT_EQ(oem[15]->value, "oem-16");
    EXPECT_TRUE(Sensitive(*oem[0]));
    EXPECT_EQ(oem[0]->note, "vendor-defined; may contain service tags or SKU codes");
    EXPECT_EQ(RowsOf(s, "Type 11 - OEM Strings (handle 0x000B)").size(), 17u);
    EXPECT_EQ(RowsOf(s, "Type 11 - OEM Strings (handle 0x000C)"), (Rows{{"String 1", "oem-1", 4}, {"String 2", "", 4}}));
    EXPECT_EQ(RowsOf(s, "Type 11 - OEM Strings (handle 0x000D)"), (Rows{{"Strings", "(none)", 0}}));
    EXPECT_EQ(RowsOf(s, "Type 12 - System Configuration Options (handle 0x000E)"), (Rows{{"String 1", "cfg", 4}}));
    Rows oemSpecific = RowsOf(s, "Type 200 - OEM-specific (handle 0x000F)");
    ASSERT_EQ(oemSpecific.size(), 9u);
    EXPECT_EQ(oemSpecific[0], std::make_tuple(std::string("Length"), std::string("6"), 0u));
    EXPECT_EQ(oemSpecific[8], std::make_tuple(std::string("String 8"), std::string("h"), 4u));
    EXPECT_EQ(RowsOf(s, "Type 8 - Port Connector (handle 0x0010)"),
              (Rows{{"Length", "9", 0}, {"String 1", "J1", 0}}));

    // A distinct value is signalled once, also when only a later structure has it.
    Snapshot twice = Render(RsmbBuffer(SmbiosArea({SmbiosRec(11, 5, 1).Strings({"x-1"}), SmbiosRec(11, 5, 2).Strings({"x-1", "x-2"})})));
    auto two = SignalsOf(twice, "smbios.oem_string");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1]->name, "OEM string 2");
}

SmbiosRec Dimm(uint16_t handle, uint8_t len, uint16_t size) {
    return SmbiosRec(17, len, handle).W(0x0C, size);
}

TEST(SmbiosRender, MemoryDevicesAndTotals) {
    SmbiosRec first = Dimm(0x20, 0x2E, 8192);
    first.B(0x0E, 9).Str(0x10, "DIMM_A1").Str(0x11, "BANK 0").B(0x12, 26).W(0x15, 3200).Str(0x17, "MemCo").Str(
        0x18, "1234ABCD").Str(0x19, "AT-1").Str(0x1A, "M-8G ").B(0x1B, 0xF2).W(0x20, 2933).W(0x2C, 0x9E80);
    SmbiosRec second = Dimm(0x21, 0x1C, 8192);
    second.Str(0x18, "00000000");
    Snapshot s = Render(RsmbBuffer(SmbiosArea({first, Dimm(0x22, 0x1C, 0).Str(0x10, "DIMM_B1"), second, SmbiosEnd()})));
    EXPECT_EQ(RowsOf(s, "Type 17 - Memory Device (handle 0x0020)"),
              (Rows{{"Locator", "DIMM_A1 / BANK 0", 0},
                    {"Size", "8.00 GB", 0},
                    {"Type / form factor", "DDR4 DIMM", 0},
                    {"Speed / configured", "3200 / 2933 MT/s", 0},
                    {"Manufacturer", "MemCo", 0},
                    {"Serial number", "1234ABCD", 4},
                    {"Asset tag", "AT-1", 4},
                    {"Part number", "M-8G", 0},
                    {"Rank", "2", 0},
                    {"Module manufacturer ID (JEDEC)", "bank 1, 0x9E", 0}}));
    EXPECT_EQ(RowsOf(s, "Type 17 - Memory Device (handle 0x0022)"),
              (Rows{{"Locator", "DIMM_B1", 0}, {"State", "empty slot", 0}}));
    EXPECT_EQ(GetFact(s, "smbios.mem_mb"), "16384");
    const Signal& total = OneSignal(s, "mem.total");
    EXPECT_EQ(total.value, "16384 MB in 2 module(s)");
    EXPECT_EQ(total.cat, "Memory");
    auto parts = SignalsOf(s, "mem.part");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0]->name, "Memory part number (DIMM_A1)");
    EXPECT_EQ(parts[0]->value, "MemCo M-8G");
    EXPECT_EQ(parts[1]->name, "Memory part number (DIMM 2)");  // no locator: position among sized modules
    EXPECT_EQ(parts[1]->value, " ");
    auto serials = SignalsOf(s, "mem.serial");
    ASSERT_EQ(serials.size(), 2u);
    EXPECT_EQ(serials[0]->q, 1.0);
    EXPECT_EQ(serials[0]->note, "replaced when RAM is upgraded");
    EXPECT_EQ(serials[1]->q, 0.0);
    EXPECT_EQ(serials[1]->note, "placeholder / not provided by firmware");

    struct SizeCase {
        SmbiosRec rec;
        const char* mib;
    } sizes[] = {
        {Dimm(1, 0x22, 0x7FFF).D(0x1C, 0x80010000u), "65536"},  // extended size, bit 31 ignored
        {Dimm(1, 0x1C, 0x7FFF), "32767"},                        // no extended field
        {Dimm(1, 0x1C, 0x8400), "1"},                            // 1024 KiB
        {Dimm(1, 0x1C, 0x8200), ""},                             // below 1 MiB: an empty slot
        {Dimm(1, 0x1C, 0xFFFF), ""},
    };
    for (const SizeCase& c : sizes) {
        Snapshot one = RenderOne(c.rec);
        EXPECT_EQ(GetFact(one, "smbios.mem_mb"), c.mib);
    }
}

TEST(SmbiosRender, MemoryArray) {
    Snapshot s = Render(RsmbBuffer(SmbiosArea({
        SmbiosRec(16, 0x17, 1).B(0x06, 6).D(0x07, 0x80000000u).W(0x0D, 8).Q(0x0F, 4398046511104ull),
        SmbiosRec(16, 0x0F, 2).B(0x06, 3).D(0x07, 0x80000000u).W(0x0D, 2),
    })));
    EXPECT_EQ(RowsOf(s, "Type 16 - Physical Memory Array (handle 0x0001)"),
              (Rows{{"Maximum capacity", "4.00 TB", 0}, {"Slots", "8", 0}, {"Error correction", "Multi-bit ECC", 0}}));
    EXPECT_EQ(RowsOf(s, "Type 16 - Physical Memory Array (handle 0x0002)"),
              (Rows{{"Maximum capacity", "2.00 TB", 0}, {"Slots", "2", 0}, {"Error correction", "None", 0}}));
}

TEST(SmbiosRender, BatteryPowerSupplyTpm) {
    Snapshot s = Render(RsmbBuffer(SmbiosArea({
        SmbiosRec(22, 0x1A, 1).Str(0x04, "Front").Str(0x05, "CellCo").Str(0x07, "Not Specified").W(0x10, 0x1A2B),
        SmbiosRec(22, 0x12, 2).Str(0x07, "Unknown").W(0x10, 0x1A2B),
        SmbiosRec(39, 0x16, 3).Str(0x08, "PSU-77").Str(0x09, "AT").W(0x0C, 650),
        SmbiosRec(39, 0x16, 4).Str(0x08, "N/A").W(0x0C, 0x8000),
        SmbiosRec(43, 0x1F, 5).Bytes(0x04, {0, 'X', 'F', 'I'}).Bytes(0x08, {2, 0}).D(0x0A, 0x00070055).D(0x0E, 1).Str(
            0x12, "TPM 2.0"),
    })));
    EXPECT_EQ(RowsOf(s, "Type 22 - Portable Battery (handle 0x0001)"),
              (Rows{{"Location", "Front", 0},
                    {"Manufacturer", "CellCo", 0},
                    {"Manufacture date", "", 0},
                    {"Serial number", "Not Specified", 4},
                    {"Device name", "", 0},
                    {"SBDS serial number", "1A2B", 4}}));
    EXPECT_EQ(RowsOf(s, "Type 22 - Portable Battery (handle 0x0002)").size(), 5u);
    const Signal& battery = OneSignal(s, "smbios.battery.serial");  // the SBDS number stands in
    EXPECT_EQ(battery.value, "1A2B");
    EXPECT_EQ(battery.q, 1.0);
    auto psu = RowsOf(s, "Type 39 - System Power Supply (handle 0x0003)");
    ASSERT_EQ(psu.size(), 8u);
    EXPECT_EQ(psu[7], std::make_tuple(std::string("Max power capacity"), std::string("650 W"), 0u));
    EXPECT_EQ(RowsOf(s, "Type 39 - System Power Supply (handle 0x0004)").size(), 7u);
    EXPECT_EQ(OneSignal(s, "smbios.psu.serial").value, "PSU-77");
    EXPECT_EQ(RowsOf(s, "Type 43 - TPM Device (handle 0x0005)"),
              (Rows{{"Vendor ID", "XFI", 0},
                    {"Spec version", "2.0", 0},
                    {"Firmware version", "00070055.00000001", 0},
                    {"Description", "TPM 2.0", 0}}));
    EXPECT_EQ(GetFact(s, "smbios.tpm.vendor"), "XFI");
    EXPECT_EQ(OneSignal(s, "smbios.tpm.vendor").value, "XFI");
}

TEST(SmbiosRender, TableHashCoversTheWalkedArea) {
    auto area = SmbiosArea({SmbiosRec(1, 0x1B, 1).Str(0x07, "SN-1"), SmbiosEnd()});
    auto buffer = RsmbBuffer(area);
    const Snapshot s = Render(buffer);
    const std::string h = OneSignal(s, "smbios.table_hash").value;
    EXPECT_EQ(h.size(), 32u);
    EXPECT_EQ(h.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    buffer.push_back(0x55);  // outside the stated length: not hashed
    EXPECT_EQ(OneSignal(Render(buffer), "smbios.table_hash").value, h);
    auto serial = buffer;
    serial[8 + 0x1B + 3] = '2';  // "SN-2"
    EXPECT_NE(OneSignal(Render(serial), "smbios.table_hash").value, h);
    const Signal& sig = OneSignal(s, "smbios.table_hash");
    EXPECT_TRUE(Sensitive(sig));
    EXPECT_EQ(sig.scope, 0);
    EXPECT_EQ(sig.src, "GetSystemFirmwareTable('RSMB')");
}

}  // namespace
}  // namespace vorq
