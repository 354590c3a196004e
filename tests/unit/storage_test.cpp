#include <gtest/gtest.h>

#include <algorithm>

#include "collectors/devices/storage.h"
#include "core/placeholders.h"
#include "tests/unit/storage_fixtures.h"
#include "tests/unit/test_support.h"

namespace vorq {
namespace {

using test::Ascii;
using test::FakeDisk;
using test::HexBytes;

std::string ErrorText(uint32_t e) { return Format("error %u: text", e); }

const Bytes kNguid = HexBytes("002538B121B0123400000000000000AB");
const Bytes kDiskGuid = test::GuidBytes(0x8B2F0A31, 0x1C2D, 0x4E5F, 0x9A8B7C6D5E4F3021ull);
const Bytes kEspId = test::GuidBytes(0x11111111, 0x2222, 0x3333, 0x4444555555555555ull);

// A disk that answers the common queries; the bus-specific paths are added per test.
FakeDisk BaseDisk(uint32_t number, uint32_t bus, const std::string& serial, bool removable = false) {
    FakeDisk d;
    d.base.ioctl[kIoctlStorageGetDeviceNumber] = test::Ok(test::DeviceNumberReply(number));
    d.base.property[kStorageDeviceProperty] =
        test::Ok(test::DeviceDescriptorReply(bus == 17 ? "" : "ATA", bus == 17 ? "Samsung SSD 980 1TB" : "ST1000DM010",
                                             "FW01", serial, bus, removable));
    Bytes seek = HexBytes("0C000000 0C000000 00");
    d.base.property[kStorageDeviceSeekPenaltyProperty] = test::Ok(seek);
    d.base.ioctl[kIoctlDiskGetDriveGeometryEx] = test::Ok(test::GeometryReply(1000204886016ull));
    d.base.ioctl[kIoctlDiskGetDriveLayoutEx] =
        test::Ok(test::GptLayout(kDiskGuid, {{1, test::EspType(), kEspId}}, 1));
    return d;
}

FakeDisk NvmeDisk(uint32_t number, const std::string& sn, const Bytes& nguid, const Bytes& eui) {
    FakeDisk d = BaseDisk(number, 17, sn.empty() ? "" : "0025_38B1_21B0_1234.");
    d.base.property[kStorageAdapterProtocolSpecificProperty] =
        test::Ok(test::NvmeReply(test::NvmeControllerData(sn, "Samsung SSD 980 1TB", "3B4QFXO7")));
    d.base.property[kStorageDeviceProtocolSpecificProperty] = test::Ok(test::NvmeReply(test::NvmeNamespaceData(nguid, eui)));
    return d;
}

const Signal* FindSignal(const Snapshot& s, const std::string& key) {
    for (const Signal& sig : s.signals)
        if (sig.key == key) return &sig;
    return nullptr;
}

int CountSignals(const Snapshot& s, const std::string& key) {
    return static_cast<int>(std::count_if(s.signals.begin(), s.signals.end(), [&](const Signal& x) { return x.key == key; }));
}

// The "storage.ids" rows of one disk as "source|identifier|value|mask".
std::vector<std::string> IdRows(const Snapshot& s, const std::string& label) {
    std::vector<std::string> out;
    const Table* t = FindTable(s, "storage.ids");
    if (!t) return out;
    for (const TableRow& r : t->rows)
        if (r.cells[0] == label) out.push_back(r.cells[1] + "|" + r.cells[2] + "|" + r.cells[3] + "|" + std::to_string(r.sens));
    return out;
}

const TableRow* DiskRow(const Snapshot& s, const std::string& label) {
    const Table* t = FindTable(s, "storage.disks");
    if (!t) return nullptr;
    for (const TableRow& r : t->rows)
        if (r.cells[0] == label) return &r;
    return nullptr;
}

// Runs the collector's pure part over scripted disks.
Snapshot Scan(std::vector<FakeDisk*> disks, bool elevated, uint32_t systemDisk = 0) {
    StorageSource src;
    src.elevated = elevated;
    src.systemDisk = systemDisk;
    src.errorText = ErrorText;
    for (size_t i = 0; i < disks.size(); ++i) src.disks.push_back({static_cast<uint32_t>(i), disks[i]->Access()});
    Snapshot s;
    CollectStorageFrom(s, src);
    return s;
}

TEST(StorageCollect, NvmeWithRights) {
    FakeDisk d = NvmeDisk(0, "S4EWNX0R123456", kNguid, HexBytes("0025388B11223344"));
    Snapshot s = Scan({&d}, true, 0);

    ASSERT_EQ(s.tables.size(), 3u);
    EXPECT_EQ(s.tables[0].id, "storage.disks");
    EXPECT_EQ(s.tables[1].id, "storage.ids");
    EXPECT_EQ(s.tables[2].id, "storage.volumes");
    const TableRow* row = DiskRow(s, "Disk 0");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->cells, (std::vector<std::string>{"Disk 0", "Samsung SSD 980 1TB", "NVMe", "SSD", "932 GB",
                                                     "0025_38B1_21B0_1234.", "FW01", "GPT",
                                                     "8B2F0A31-1C2D-4E5F-9A8B-7C6D5E4F3021", "[ok] system disk"}));
    EXPECT_EQ(IdRows(s, "Disk 0"),
              (std::vector<std::string>{
                  "Storage descriptor|Serial number|0025_38B1_21B0_1234.|8",
                  "NVMe Identify Controller|SN|S4EWNX0R123456|8",
                  "NVMe Identify Controller|MN / FR|Samsung SSD 980 1TB / 3B4QFXO7|0",
                  "NVMe Identify Controller|PCI VID / SSVID|144D / 144D|0",
                  "NVMe Identify Controller|IEEE OUI|00-25-38|0",
                  "NVMe Identify Controller|NVMe version|1.4.0|0",
                  "NVMe Identify Namespace 1|NGUID|002538B121B0123400000000000000AB|8",
                  "NVMe Identify Namespace 1|EUI64|0025388B11223344|8",
                  "Partition table|EFI system partition GUID|11111111-2222-3333-4444-555555555555|8",
              }));
    EXPECT_EQ(GetFact(s, "nvme.sn:Disk 0"), "S4EWNX0R123456");
    EXPECT_EQ(GetFact(s, "nvme.desc:Disk 0"), "0025_38B1_21B0_1234.");
    EXPECT_EQ(GetFact(s, "nvme.nguid:Disk 0"), "002538B121B0123400000000000000AB");
    EXPECT_EQ(GetFact(s, "nvme.eui64:Disk 0"), "0025388B11223344");
    EXPECT_EQ(GetFact(s, "storage.nvme"), "1");
    EXPECT_EQ(GetFact(s, "storage.with_serial"), "1");
    EXPECT_EQ(GetFact(s, "storage.system_with_id"), "1");
    const Signal* sn = FindSignal(s, "disk.nvme_sn");
    ASSERT_NE(sn, nullptr);
    EXPECT_EQ(sn->w, 15);
    EXPECT_EQ(sn->name, "Disk 0 NVMe controller serial");
    EXPECT_EQ(sn->group, "storage");
    EXPECT_EQ(FindSignal(s, "disk.nvme_nguid")->w, 18);
    EXPECT_EQ(FindSignal(s, "disk.serial")->w, 20);
    EXPECT_EQ(FindSignal(s, "disk.serial")->note, "system disk");
    EXPECT_EQ(FindSignal(s, "disk.gpt_guid")->scope, 2);
    EXPECT_EQ(FindSignal(s, "disk.model")->note, "firmware FW01");
    EXPECT_EQ(d.rwOpenCount, 0);
    EXPECT_TRUE(s.notes.empty());
}

TEST(StorageCollect, NvmeWithoutRightsOnTwoDisks) {
    FakeDisk a = NvmeDisk(0, "S1", kNguid, {});
    FakeDisk b = NvmeDisk(1, "S2", kNguid, {});
    for (FakeDisk* d : {&a, &b}) {
        d->base.property[kStorageAdapterProtocolSpecificProperty] = test::Fail(kErrorAccessDenied);
        d->base.property[kStorageDeviceProtocolSpecificProperty] = test::Fail(kErrorAccessDenied);
        d->rwOpens = false;
    }
    Snapshot s = Scan({&a, &b}, false, 0);
    EXPECT_EQ(a.rwOpenCount, 1);
    std::vector<std::string> rows = IdRows(s, "Disk 0");
    EXPECT_NE(std::find(rows.begin(), rows.end(), "NVMe Identify Controller|status|not available: error 5: text|0"),
              rows.end());
    for (const auto& [k, v] : s.facts) EXPECT_NE(k.rfind("nvme.", 0), 0u) << k;
    EXPECT_EQ(GetFact(s, "storage.nvme"), "1");
    EXPECT_EQ(s.notes, (std::vector<std::string>{"Storage: NVMe Identify needs administrator rights on this system - run "
                                                 "elevated to read controller/namespace identifiers"}));
}

TEST(StorageCollect, NvmeReopenedWithReadWriteAccess) {
    FakeDisk d = NvmeDisk(2, "S4EWNX0R123456", kNguid, {});
    d.rw.property = d.base.property;
    d.base.property[kStorageAdapterProtocolSpecificProperty] = test::Fail(kErrorInvalidFunction);
    d.base.property[kStorageDeviceProtocolSpecificProperty] = test::Fail(kErrorInvalidFunction);
    Snapshot s = Scan({&d}, true, 0);
    EXPECT_EQ(d.rwOpenCount, 1);
    EXPECT_EQ(GetFact(s, "nvme.sn:Disk 2"), "S4EWNX0R123456");
    // The namespace query goes to the reopened handle too.
    EXPECT_EQ(GetFact(s, "nvme.nguid:Disk 2"), "002538B121B0123400000000000000AB");
    EXPECT_EQ(FindSignal(s, "disk.nvme_sn")->w, 10);
}

TEST(StorageCollect, NvmeIdentifiersWithoutValues) {
    // No serial anywhere, an all-zero EUI64: no empty identifier may become a signal.
    FakeDisk a = NvmeDisk(0, "", kNguid, Bytes(8, 0));
    FakeDisk b = NvmeDisk(1, "", kNguid, Bytes(8, 0));
    Snapshot s = Scan({&a, &b}, true, 0);
    EXPECT_EQ(CountSignals(s, "disk.nvme_sn"), 0);
    EXPECT_EQ(CountSignals(s, "disk.serial"), 0);
    EXPECT_EQ(CountSignals(s, "disk.nvme_eui64"), 0);
    EXPECT_EQ(CountSignals(s, "disk.nvme_nguid"), 2);
    EXPECT_TRUE(HasFact(s, "nvme.sn:Disk 1"));
    EXPECT_EQ(GetFact(s, "nvme.sn:Disk 1", "absent"), "");
    EXPECT_FALSE(HasFact(s, "nvme.eui64:Disk 0"));
    EXPECT_EQ(GetFact(s, "storage.with_serial"), "0");
    EXPECT_EQ(GetFact(s, "storage.system_with_id"), "0");
}

TEST(StorageCollect, SataPaths) {
    const Bytes identify = test::AtaIdentifyData("WD-WCC4E1234567", "82.00A82", "WDC WD10EZEX-08WN4A0",
                                                 {0x5002, 0x5380, 0x1234, 0x5678});
    struct Case {
        const char* name;
        bool elevated;
        bool rwOpens;
        test::Reply ata;
        std::vector<std::string> ataRows;
        bool note;
    } cases[] = {
        {"elevated", true, true, test::Ok(test::AtaReply(identify)),
         {"ATA IDENTIFY|Serial number|WD-WCC4E1234567|8", "ATA IDENTIFY|Model / firmware|WDC WD10EZEX-08WN4A0 / 82.00A82|0",
          "ATA IDENTIFY|WWN (NAA)|5002538012345678|8"},
         false},
        {"not elevated", false, true, test::Ok(test::AtaReply(identify)),
         {"ATA IDENTIFY|status|needs administrator rights|0"}, true},
        {"elevated, IDENTIFY fails", true, true, test::Fail(kErrorNotSupported),
         {"ATA IDENTIFY|status|not available: error 50: text|0"}, false},
        {"elevated, status ERR", true, true, test::Ok(test::AtaReply(identify, 0x51)),
         {"ATA IDENTIFY|status|not available: error 13: text|0"}, false},
        {"elevated, open fails", true, false, test::Ok(test::AtaReply(identify)),
         {"ATA IDENTIFY|status|not available: error 32: text|0"}, false},
    };
    for (const Case& c : cases) {
        FakeDisk d = BaseDisk(1, 11, "     WD-WCC4E1234567");
        d.rw.ioctl[kIoctlAtaPassThrough] = c.ata;
        d.rwOpens = c.rwOpens;
        d.rwOpenError = 32;
        Snapshot s = Scan({&d}, c.elevated, 0);
        std::vector<std::string> rows;
        for (const std::string& r : IdRows(s, "Disk 1"))
            if (r.rfind("ATA IDENTIFY", 0) == 0) rows.push_back(r);
        EXPECT_EQ(rows, c.ataRows) << c.name;
        EXPECT_EQ(s.notes.size(), c.note ? 1u : 0u) << c.name;
        EXPECT_EQ(d.rwOpenCount, c.elevated ? 1 : 0) << c.name;
        const bool ok = c.ataRows.size() == 3;
        EXPECT_EQ(GetFact(s, "ata.sn:Disk 1", "absent"), ok ? "WD-WCC4E1234567" : "absent") << c.name;
        EXPECT_EQ(GetFact(s, "ata.desc:Disk 1", "absent"), ok ? "WD-WCC4E1234567" : "absent") << c.name;
        EXPECT_EQ(CountSignals(s, "disk.ata_wwn"), ok ? 1 : 0) << c.name;
        if (ok) {
            EXPECT_EQ(FindSignal(s, "disk.ata_sn")->w, 10);
            EXPECT_EQ(FindSignal(s, "disk.ata_wwn")->w, 8);
        }
    }
}

TEST(StorageCollect, UsbStickIsAPeripheral) {
    FakeDisk d = BaseDisk(3, 7, "4C530001230914117203", true);
    d.base.ioctl[kIoctlDiskGetDriveLayoutEx] = test::Ok(test::MbrLayout(0x0A1B2C3D));
    d.base.property[kStorageAdapterSerialNumberProperty] = test::Ok(HexBytes("01000000 18010000 4200 5200 3100 0000"));
    Snapshot s = Scan({&d}, true, 0);
    const Signal* serial = FindSignal(s, "disk.serial");
    ASSERT_NE(serial, nullptr);
    EXPECT_EQ(serial->w, 3);
    EXPECT_EQ(serial->cat, "Peripherals");
    EXPECT_EQ(serial->group, "peripheral");
    EXPECT_EQ(serial->note, "removable / external");
    EXPECT_EQ(serial->name, "Disk 3 serial (ATA ST1000DM010)");
    EXPECT_EQ(FindSignal(s, "disk.adapter_sn")->w, 3);
    EXPECT_EQ(FindSignal(s, "disk.adapter_sn")->value, "BR1");
    const TableRow* row = DiskRow(s, "Disk 3");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->cells[2], "USB (removable)");
    EXPECT_EQ(row->cells[7], "MBR");
    EXPECT_EQ(row->cells[8], "signature 0A1B2C3D");
    EXPECT_EQ(row->cells[9], "");
    EXPECT_EQ(CountSignals(s, "disk.gpt_guid"), 0);
    EXPECT_EQ(d.rwOpenCount, 0);  // neither NVMe nor ATA
}

TEST(StorageCollect, UnreadableDeviceNumberAndShortDescriptor) {
    FakeDisk fine = BaseDisk(0, 11, "A");
    FakeDisk noNumber = BaseDisk(0, 11, "B");
    noNumber.base.ioctl[kIoctlStorageGetDeviceNumber] = test::Fail(kErrorInvalidFunction);
    FakeDisk negative = BaseDisk(0xFFFFFFFF, 11, "C");
    FakeDisk shortDesc = BaseDisk(5, 11, "D");
    Bytes desc = test::DeviceDescriptorReply("ATA", "X", "1", "D", 11, false);
    desc.resize(30);  // the offsets point past the reply and BusType is cut off
    shortDesc.base.property[kStorageDeviceProperty] = test::Ok(desc);
    shortDesc.base.property[kStorageDeviceSeekPenaltyProperty] = test::Ok(HexBytes("0C000000 0C000000"));
    FakeDisk fourth = BaseDisk(0, 11, "E");
    fourth.base.ioctl[kIoctlStorageGetDeviceNumber] = test::Ok(HexBytes("07000000 03"));

    Snapshot s = Scan({&fine, &noNumber, &negative, &fourth, &shortDesc}, false, 0);
    EXPECT_NE(DiskRow(s, "Disk ?1"), nullptr);
    EXPECT_NE(DiskRow(s, "Disk ?2"), nullptr);
    EXPECT_NE(DiskRow(s, "Disk ?3"), nullptr);
    EXPECT_EQ(DiskRow(s, "Disk ?1")->cells[9], "");  // no number: never the system disk
    EXPECT_EQ(IdRows(s, "Disk ?3").front(), "Storage descriptor|Serial number|E|8");

    const TableRow* row = DiskRow(s, "Disk 5");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->cells[1], "");
    EXPECT_EQ(row->cells[2], "?");
    EXPECT_EQ(row->cells[3], "unknown");
    EXPECT_EQ(row->cells[5], "");
    EXPECT_TRUE(IdRows(s, "Disk 5").size() == 1);  // only the ESP row: no ATA path without a bus type
    EXPECT_EQ(GetFact(s, "storage.with_serial"), "4");
}

TEST(StorageCollect, DesignatorsAndDuid) {
    FakeDisk d = BaseDisk(0, 1, "SER");
    std::vector<test::DesignatorSpec> ds = {
        {1, 3, 0, HexBytes("600A0B800001234567")},   // NAA device: a signal
        {2, 1, 0, Ascii("ATA     ST1000  ")},          // T10 device: a signal
        {1, 2, 1, HexBytes("0011223344556677")},       // EUI-64 of the port: row only
        {1, 0, 0, HexBytes("AA")},                     // vendor-specific: row only
        {2, 8, 0, Ascii("   ")},                       // empty after trimming: row only
    };
    d.base.property[kStorageDeviceIdProperty] = test::Ok(test::DeviceIdReply(ds));
    d.base.property[kStorageDeviceUniqueIdProperty] = test::Ok(Ascii("unique-id-bytes"));
    Snapshot s = Scan({&d}, true, 0);
    std::vector<std::string> rows = IdRows(s, "Disk 0");
    ASSERT_GE(rows.size(), 7u);
    EXPECT_EQ(rows[1], "SCSI VPD 0x83|NAA (device)|600A0B800001234567|8");
    EXPECT_EQ(rows[2], "SCSI VPD 0x83|T10 vendor ID (device)|ATA     ST1000|8");
    EXPECT_EQ(rows[3], "SCSI VPD 0x83|EUI-64 (port)|0011223344556677|8");
    EXPECT_EQ(rows[4], "SCSI VPD 0x83|vendor-specific (device)|AA|8");
    EXPECT_EQ(rows[5], "SCSI VPD 0x83|SCSI name string (device)||8");
    EXPECT_EQ(rows[6].substr(0, 57), "Windows DUID|SHA-256 of STORAGE_DEVICE_UNIQUE_IDENTIFIER|");
    EXPECT_EQ(rows[6].size(), 57u + 32 + 2);
    EXPECT_EQ(CountSignals(s, "disk.vpd83"), 2);
    EXPECT_EQ(FindSignal(s, "disk.vpd83")->name, "Disk 0 VPD 0x83 NAA");
    EXPECT_EQ(FindSignal(s, "disk.duid")->w, 8);
    EXPECT_EQ(GetFact(s, "storage.system_with_id"), "3");  // serial + two designators
}

TEST(StorageCollect, DesignatorRowsAreCappedPerDisk) {
    FakeDisk d = BaseDisk(0, 1, "");
    std::vector<test::DesignatorSpec> many(5000, {1, 3, 0, HexBytes("5000C500A1B2C3D4")});
    d.base.property[kStorageDeviceIdProperty] = test::Ok(test::DeviceIdReply(many));
    Snapshot s = Scan({&d}, true, 1);
    std::vector<std::string> rows = IdRows(s, "Disk 0");
    size_t vpd = std::count_if(rows.begin(), rows.end(), [](const std::string& r) { return r.rfind("SCSI VPD", 0) == 0; });
    EXPECT_EQ(vpd, kMaxDesignatorRows + 1);
    EXPECT_EQ(rows[kMaxDesignatorRows], "SCSI VPD 0x83|status|only the first 32 designators are listed|0");
    EXPECT_EQ(CountSignals(s, "disk.vpd83"), static_cast<int>(kMaxDesignatorRows));
}

TEST(StorageCollect, UnlistableDisksLeaveOnlyTheNote) {
    StorageSource src;
    src.listOpened = false;
    src.listError = "Access is denied.";
    src.volumes = {{"C:\\", "", "NTFS", 1, "", "", "", 0xFFFFFFFF}};
    Snapshot s;
    CollectStorageFrom(s, src);
    EXPECT_EQ(s.notes, (std::vector<std::string>{"Storage: SetupDiGetClassDevs(disk interface) failed: Access is denied."}));
    EXPECT_TRUE(SourceFailed(s, "Storage"));
    EXPECT_TRUE(s.tables.empty());
    EXPECT_TRUE(s.signals.empty());
    EXPECT_TRUE(s.facts.empty());
}

TEST(StorageCollect, Volumes) {
    StorageSource src;
    src.elevated = true;
    src.errorText = ErrorText;
    src.systemDrive = 'c';
    src.volumes = {{"C:\\", "System", "NTFS", 0x1A2B3C4D, "\\\\?\\Volume{0E1F}\\", "00112233445566778899AABBCCDDEEFF", "",
                    0xFFFFFFFF},
                   {"D:\\", "", "FAT32", 0x000F0001, "", "", "", 0xFFFFFFFF}};
    Snapshot s;
    CollectStorageFrom(s, src);
    const Table* t = FindTable(s, "storage.volumes");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rows.size(), 2u);
    EXPECT_EQ(t->rows[0].cells[3], "1A2B-3C4D");
    EXPECT_EQ(t->rows[1].cells[3], "000F-0001");
    EXPECT_EQ(t->sens, 0x38u);
    EXPECT_EQ(CountSignals(s, "volume.serial"), 2);
    EXPECT_EQ(CountSignals(s, "volume.object_id"), 1);
    EXPECT_EQ(FindSignal(s, "volume.object_id")->w, 4);
    EXPECT_EQ(FindSignal(s, "volume.serial")->group, "os");
    EXPECT_EQ(FindSignal(s, "volume.serial")->name, "Volume serial C:\\");
    // Without disks the counts still exist and the tables keep their order.
    EXPECT_EQ(GetFact(s, "storage.with_serial"), "0");
    EXPECT_FALSE(HasFact(s, "storage.nvme"));
    EXPECT_EQ(FindTable(s, "storage.disks")->sens, 0x120u);
    EXPECT_EQ(FindTable(s, "storage.ids")->groupCol, 0);
}

// A volume label is masked unless setup, a maker or Windows' format gave it;
// a masked label is named, so that it masks every text holding it.
TEST(StorageCollect, VolumeLabelsAPersonTyped) {
    const struct {
        const char* label;
        bool given;
    } cases[] = {
        {"", true},
        {"  ", true},
        {"Windows", true},
        {"WINDOWS", true},
        {"System Reserved", true},
        {"Recovery", true},
        {"OS", true},
        {"New Volume", true},
        {"Anas Daten", false},
        {"Ana\u2019s Daten", false},
        {"\u738b\u5c0f\u660e\u7684\u8d44\u6599", false},
        {"Hollowmere", false},
        {"Windows Ana", false},
        {"Data", false},
    };
    StorageSource src;
    src.errorText = ErrorText;
    for (const auto& c : cases) {
        EXPECT_EQ(IsDefaultVolumeLabel(c.label), c.given) << c.label;
        src.volumes.push_back({"E:\\", c.label, "NTFS", 0x1234ABCD, "", "", "", 0xFFFFFFFF});
    }
    Snapshot s;
    CollectStorageFrom(s, src);
    const Table* t = FindTable(s, "storage.volumes");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rows.size(), std::size(cases));
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(t->rows[i].sens, cases[i].given ? 0u : 2u) << cases[i].label;
        if (!cases[i].given) expected.push_back(cases[i].label);
    }
    // Each typed label is a name the safe report masks wherever it is restated.
    std::vector<std::string> typed;
    for (const TableRow& r : t->rows)
        if (CellRole(*t, r, 1) == Role::Typed) typed.push_back(r.cells[1]);
    EXPECT_EQ(typed, expected);
}

// Setup labels the partitions it makes (known by their type) and a maker the
// drives it formats after the model: both shown. Any other label is typed.
TEST(StorageCollect, VolumeLabelsSetupAndMakersGave) {
    FakeDisk system = BaseDisk(0, 11, "");  // "ATA ST1000DM010"
    FakeDisk usb = BaseDisk(1, 7, "");
    usb.base.property[kStorageDeviceProperty] =
        test::Ok(test::DeviceDescriptorReply("WD", "My Passport 25E2", "1019", "", 7, false));
    const char* const kEsp = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";
    const char* const kBasicData = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
    const struct {
        const char* label;
        const char* type;
        uint32_t disk;
        Role role;
    } cases[] = {
        {"My Passport", kBasicData, 1, Role::Maker},
        {"MY PASSPORT", "0x07", 1, Role::Maker},
        {"My Passport Ana", kBasicData, 1, Role::Typed},
        {"Passport", kBasicData, 0, Role::Typed},  // another disk's model
        {"Passport", kBasicData, 0xFFFFFFFF, Role::Typed},
        {"ST1000DM010", kBasicData, 0, Role::Maker},
        {"Ana", kEsp, 0, Role::Program},
        {"Ana", "E3C9E316-0B5C-4DB8-817D-F92DF00215AE", 0, Role::Program},
        {"Ana", "DE94BBA4-06D1-4D40-A16A-BFD50179D6AC", 0, Role::Program},
        {"Ana", "0x27", 0, Role::Program},
        {"Ana", kBasicData, 0, Role::Typed},
        {"Ana", "", 0, Role::Typed},
        {"Nouveau nom", kBasicData, 0, Role::Program},
    };
    StorageSource src;
    src.errorText = ErrorText;
    src.disks = {{0, system.Access()}, {1, usb.Access()}};
    for (const auto& c : cases) {
        src.volumes.push_back({"E:\\", c.label, "NTFS", 0x1234ABCD, "", "", c.type, c.disk});
    }
    Snapshot s;
    CollectStorageFrom(s, src);
    const Table* t = FindTable(s, "storage.volumes");
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(t->rows.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(CellRole(*t, t->rows[i], 1), cases[i].role) << i << " " << cases[i].label;
        EXPECT_EQ(t->rows[i].sens, cases[i].role == Role::Typed ? 2u : 0u) << i << " " << cases[i].label;
    }
}

TEST(StorageQuery, PartitionTypeOfEitherStyle) {
    Bytes gpt(144, 0);
    test::PutBytes(gpt, 32, test::EspType());
    test::Put32(gpt, 0, 1);
    EXPECT_EQ(ParsePartitionType(gpt), "C12A7328-F81F-11D2-BA4B-00A0C93EC93B");
    Bytes mbr(144, 0);
    mbr[32] = 0x27;
    EXPECT_EQ(ParsePartitionType(mbr), "0x27");
    Bytes raw(144, 0);
    test::Put32(raw, 0, 2);
    EXPECT_EQ(ParsePartitionType(raw), "");
    EXPECT_EQ(ParsePartitionType(Bytes(40, 0)), "");  // shorter than the union
    EXPECT_EQ(ParsePartitionType(Bytes()), "");
}

}  // namespace
}  // namespace vorq
