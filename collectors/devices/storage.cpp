// The Storage collector's per-disk and per-volume logic over the IoControl
// seam: which queries run in which order, and the rows, signals and facts
// their answers become.
#include <cctype>
#include <map>

#include "collectors/devices/storage.h"
#include "core/hash.h"
#include "core/placeholders.h"

namespace vorq {

std::string DecodeSwappedHexSerial(std::string_view text) {
    if (text.size() < 16 || text.size() % 4 != 0) return {};
    for (char c : text)
        if (HexDigitValue(c) < 0) return {};
    std::string out;
    out.reserve(text.size() / 2);
    auto byteAt = [&](size_t i) { return static_cast<char>(HexDigitValue(text[i]) << 4 | HexDigitValue(text[i + 1])); };
    for (size_t i = 0; i < text.size(); i += 4) {
        out.push_back(byteAt(i + 2));
        out.push_back(byteAt(i));
    }
    return out;
}

namespace {

// Collector-wide state of one storage scan.
struct StorageScan {
    bool elevated = false;
    uint32_t systemDisk = 0xFFFFFFFF;
    std::function<std::string(uint32_t)> errorText;
    Table disks, ids, volumes;
    int withSerial = 0;
    int systemWithId = 0;
    bool nvmeSeen = false;
    bool nvmeAccessDenied = false;
    bool ataNotElevated = false;
    // Each disk's model by its number, for the labels of its volumes.
    std::map<uint32_t, std::string> models;
};

const char* AssociationName(uint32_t a) { return a == 0 ? "device" : a == 1 ? "port" : "target"; }

bool IsPeripheralBus(uint32_t bus) { return bus == 4 || bus == 7 || bus == 12 || bus == 13; }

// The parts of one disk that its signals and rows share.
struct DiskContext {
    Snapshot& s;
    StorageScan& scan;
    std::string label;
    bool system = false;
    bool peripheral = false;
    std::string group;
    std::string cat;

    void AddSignal(const char* key, const std::string& signalCat, Sentence name, std::string value, SignalScope scope,
                int32_t w, const char* src, std::string note) {
        s.signals.push_back(MakeSignal(key, signalCat, std::move(name), std::move(value), scope, w, group, Role::Identifier,
                                       src, std::move(note), 1.0));
    }
    void IdRow(const char* source, std::string identifier, std::string value, Role role = Role::Identifier) {
        AddRow(scan.ids, {label, source, std::move(identifier), std::move(value)},
               {Role::Undeclared, Role::Undeclared, Role::Undeclared, role});
    }
};

void NvmePath(DiskContext& d, const DiskSource& disk, const std::string& descriptorSerial) {
    Bytes data;
    uint32_t error = 0;
    IoControl reopened;
    const IoControl* handle = &disk.io;
    bool ok = QueryNvmeIdentify(disk.io, true, 0, data, error);
    if (!ok && (error == kErrorInvalidFunction || error == kErrorAccessDenied || error == kErrorNotSupported)) {
        uint32_t openError = 0;
        if (disk.openReadWrite) reopened = disk.openReadWrite(openError);
        if (reopened) {
            handle = &reopened;
            ok = QueryNvmeIdentify(reopened, true, 0, data, error);
        } else if (disk.openReadWrite) {
            error = openError;
        }
    }
    if (!ok) {
        d.IdRow("NVMe Identify Controller", "status", "not available: " + d.scan.errorText(error), Role::Program);
        if (error == kErrorAccessDenied) d.scan.nvmeAccessDenied = true;
    } else {
        const NvmeController c = ParseNvmeController(data);
        const char* src = "NVMe Identify Controller";
        d.IdRow(src, "SN", c.serial);
        d.IdRow(src, "MN / FR", c.model + " / " + c.firmware, Role::Maker);
        d.IdRow(src, "PCI VID / SSVID", c.vid + " / " + c.ssvid, Role::Maker);
        d.IdRow(src, "IEEE OUI", c.oui, Role::Maker);
        d.IdRow(src, "NVMe version", c.version, Role::Maker);
        if (!c.fruGuid.empty()) {
            d.IdRow(src, "FRU GUID", c.fruGuid);
            d.AddSignal("disk.nvme_fguid", "Storage", d.label + " NVMe FRU GUID", c.fruGuid, SignalScope::PerUnit, 10,
                     src, "");
        }
        if (!c.subnqn.empty()) d.IdRow(src, "SUBNQN", c.subnqn);
        // Two drives without serials must not match each other through an empty value.
        if (!c.serial.empty())
            d.AddSignal("disk.nvme_sn", "Storage", d.label + " NVMe controller serial", c.serial, SignalScope::PerUnit,
                     d.system ? 15 : 10, "NVMe Identify Controller (StorageAdapterProtocolSpecificProperty)",
                     "independent read path for cross-checking");
        SetFact(d.s, fact::kNvmeSnPrefix + d.label, c.serial);
        SetFact(d.s, fact::kNvmeDescPrefix + d.label, descriptorSerial);
    }

    Bytes ns;
    uint32_t nsError = 0;
    if (QueryNvmeIdentify(*handle, false, 1, ns, nsError)) {
        const NvmeNamespace n = ParseNvmeNamespace(ns);
        if (!n.nguid.empty()) SetFact(d.s, fact::kNvmeNguidPrefix + d.label, n.nguid);
        if (!n.eui64.empty()) SetFact(d.s, fact::kNvmeEui64Prefix + d.label, n.eui64);
        const char* src = "NVMe Identify Namespace 1";
        if (!n.nguid.empty()) {
            d.IdRow(src, "NGUID", n.nguid);
            d.AddSignal("disk.nvme_nguid", "Storage", d.label + " NVMe namespace NGUID", n.nguid, SignalScope::PerUnit,
                     d.system ? 18 : 10, "NVMe Identify Namespace", "");
        }
        if (!n.eui64.empty()) {
            d.IdRow(src, "EUI64", n.eui64);
            d.AddSignal("disk.nvme_eui64", "Storage", d.label + " NVMe namespace EUI-64", n.eui64, SignalScope::PerUnit,
                     d.system ? 18 : 10, "NVMe Identify Namespace", "");
        }
    }
    // `reopened` owns the read/write handle, which closes here.
}

void AtaPath(DiskContext& d, const DiskSource& disk, const std::string& descriptorSerial) {
    Bytes data;
    uint32_t error = kErrorAccessDenied;
    bool ok = false;
    if (d.scan.elevated) {
        IoControl rw;
        if (disk.openReadWrite) rw = disk.openReadWrite(error);
        if (rw) ok = AtaIdentifyDevice(rw, data, error);
    } else {
        d.scan.ataNotElevated = true;
    }
    const char* src = "ATA IDENTIFY";
    if (!ok) {
        d.IdRow(src, "status",
                d.scan.elevated ? "not available: " + d.scan.errorText(error) : std::string("needs administrator rights"),
                Role::Program);
        return;
    }
    const AtaIdentity a = ParseAtaIdentity(data);
    if (!a.serial.empty()) d.IdRow(src, "Serial number", a.serial);
    d.IdRow(src, "Model / firmware", a.model + " / " + a.firmware, Role::Maker);
    if (!a.wwn.empty()) d.IdRow(src, "WWN (NAA)", a.wwn);
    if (!a.serial.empty()) {
        d.AddSignal("disk.ata_sn", d.cat, d.label + " ATA serial", a.serial, SignalScope::PerUnit, d.system ? 15 : 10,
                 "IOCTL_ATA_PASS_THROUGH / IDENTIFY DEVICE", "independent read path for cross-checking");
        SetFact(d.s, fact::kAtaSnPrefix + d.label, a.serial);
        SetFact(d.s, fact::kAtaDescPrefix + d.label, descriptorSerial);
    }
    if (!a.wwn.empty())
        d.AddSignal("disk.ata_wwn", d.cat, d.label + " ATA World Wide Name", a.wwn, SignalScope::PerUnit,
                 d.system ? 12 : 8, "IOCTL_ATA_PASS_THROUGH / IDENTIFY DEVICE words 108-111", "");
}

StorageScan BeginStorageScan(bool elevated, uint32_t systemDisk, std::function<std::string(uint32_t)> errorText) {
    StorageScan scan;
    scan.elevated = elevated;
    scan.systemDisk = systemDisk;
    scan.errorText = errorText ? std::move(errorText) : [](uint32_t e) { return Format("error %u", e); };
    scan.disks = MakeTable("storage", table::kStorageDisks, "Physical disks",
                           {{"Disk", Role::Program},
                            {"Model", Role::Maker},
                            {"Bus", Role::Program},
                            {"Media", Role::Program},
                            {"Size", Role::Program},
                            {"Serial (descriptor)", Role::Identifier},
                            {"Firmware", Role::Maker},
                            {"Partition style", Role::Program},
                            {"Disk GUID / signature", Role::Identifier},
                            {"System", Role::Program}});
    scan.ids = MakeTable("storage", table::kStorageIds, "Storage identifiers (independent paths)",
                         {{"Disk", Role::Program},
                          {"Source", Role::Program},
                          {"Identifier", Role::Program},
                          {"Value", Role::Field}},
                         "The same drive read through the storage descriptor, SCSI VPD page 0x83, NVMe Identify, ATA "
                         "IDENTIFY and the Windows DUID, plus the serial of the storage adapter when the port driver "
                         "reports one. Disagreement between paths is reported in the cross-checks.");
    scan.ids.groupCol = 0;
    scan.volumes = MakeTable("storage", table::kStorageVolumes, "Volumes",
                             {{"Root", Role::Maker},
                              {"Label", Role::Typed},
                              {"File system", Role::Program},
                              {"Volume serial", Role::Identifier},
                              {"Volume GUID path", Role::Identifier},
                              {"NTFS object ID", Role::Identifier}},
                             "The NTFS object ID of the root directory is set by the link-tracking service when the "
                             "volume is first used; it survives drive-letter changes.");
    return scan;
}

void ScanDisk(Snapshot& s, StorageScan& scan, uint32_t interfaceIndex, const DiskSource& disk) {
    DiskContext d{s, scan, {}, false, false, {}, {}};
    Bytes reply;
    uint32_t error = 0;

    int32_t number = -1;
    bool haveNumber = disk.io(kIoctlStorageGetDeviceNumber, {}, 12, reply, error) && ParseDeviceNumber(reply, number) &&
                      number >= 0;
    d.label = haveNumber ? Format("Disk %d", number) : Format("Disk ?%u", interfaceIndex);
    d.system = haveNumber && static_cast<uint32_t>(number) == scan.systemDisk;

    DeviceDescriptor desc;
    if (QueryStorageProperty(disk.io, kStorageDeviceProperty, reply)) desc = ParseDeviceDescriptor(reply);
    const uint32_t bus = desc.busKnown ? desc.busType : 0;
    d.peripheral = IsPeripheralBus(bus) || desc.removable;
    d.group = d.peripheral ? "peripheral" : "storage";
    d.cat = d.peripheral ? "Peripherals" : "Storage";
    const std::string model = Trim(desc.vendor.empty() ? desc.product : desc.vendor + " " + desc.product);
    if (haveNumber) scan.models[static_cast<uint32_t>(number)] = model;

    std::string media = "unknown";
    if (QueryStorageProperty(disk.io, kStorageDeviceSeekPenaltyProperty, reply)) {
        int penalty = ParseSeekPenalty(reply);
        if (penalty >= 0) media = penalty ? "HDD" : "SSD";
    }

    std::string size;
    uint64_t bytes = 0;
    if (disk.io(kIoctlDiskGetDriveGeometryEx, {}, kGeometryReplySize, reply, error) && ParseDiskSize(reply, bytes))
        size = FormatBytes(bytes);

    DriveLayout layout;
    layout.style = "?";
    if (disk.io(kIoctlDiskGetDriveLayoutEx, {}, kLayoutReplySize, reply, error)) layout = ParseDriveLayout(reply);

    if (!desc.serial.empty()) {
        ++scan.withSerial;
        if (d.system) ++scan.systemWithId;
        d.IdRow("Storage descriptor", "Serial number", desc.serial);
        d.AddSignal("disk.serial", d.cat, {"{x1} serial ({x2})", {{d.label, Role::Program}, {model, Role::Maker}}},
                    desc.serial, SignalScope::PerUnit, d.peripheral ? 3 : d.system ? 20 : 12,
                    "IOCTL_STORAGE_QUERY_PROPERTY / StorageDeviceProperty",
                    d.system ? "system disk" : d.peripheral ? "removable / external" : "");
    }
    if (!model.empty()) {
        s.signals.push_back(MakeSignal(sig::kDiskModel, d.cat, d.label + " model", model, SignalScope::PerModel, 2, d.group,
                                       Role::Maker, "StorageDeviceProperty",
                                       desc.revision.empty() ? Sentence()
                                                             : Sentence("firmware {x1}", {{desc.revision, Role::Maker}}),
                                       1.0));
    }

    if (QueryStorageProperty(disk.io, kStorageDeviceIdProperty, reply)) {
        bool truncated = false;
        for (const ScsiDesignator& des : WalkDesignators(reply, kMaxDesignatorRows, &truncated)) {
            const char* typeName = GetScsiDesignatorTypeName(des.type);
            d.IdRow("SCSI VPD 0x83", std::string(typeName) + " (" + AssociationName(des.association) + ")",
                    des.text);
            bool qualifies = des.association == 0 && !des.text.empty() &&
                             (des.type == 1 || des.type == 2 || des.type == 3 || des.type == 8);
            if (!qualifies) continue;
            if (d.system) ++scan.systemWithId;
            d.AddSignal("disk.vpd83", d.cat, d.label + " VPD 0x83 " + typeName, des.text, SignalScope::PerUnit,
                     d.peripheral ? 2 : 10, "StorageDeviceIdProperty (SCSI VPD page 0x83)", "");
        }
        if (truncated)
            d.IdRow("SCSI VPD 0x83", "status",
                    Format("only the first %u designators are listed", static_cast<unsigned>(kMaxDesignatorRows)), Role::Program);
    }

    if (QueryStorageProperty(disk.io, kStorageDeviceUniqueIdProperty, reply)) {
        std::string duid = Sha256Hex(reply.data(), reply.size()).substr(0, 32);
        d.IdRow("Windows DUID", "SHA-256 of STORAGE_DEVICE_UNIQUE_IDENTIFIER", duid);
        d.AddSignal("disk.duid", d.cat, d.label + " storage DUID (hash)", duid, SignalScope::PerUnit, d.peripheral ? 2 : 8,
                 "StorageDeviceUniqueIdProperty", "includes the drive layout signature - changes after repartitioning");
    }

    if (bus == 17) {
        scan.nvmeSeen = true;
        NvmePath(d, disk, desc.serial);
    } else if (bus == 3 || bus == 11) {
        AtaPath(d, disk, desc.serial);
    }

    if (QueryStorageProperty(disk.io, kStorageAdapterSerialNumberProperty, reply)) {
        std::string adapter = ParseAdapterSerial(reply);
        if (!adapter.empty()) {
            d.IdRow("Storage adapter", "Adapter serial number", adapter);
            d.AddSignal("disk.adapter_sn", d.cat, d.label + " storage adapter serial", adapter, SignalScope::PerUnit,
                     d.peripheral ? 3 : 4, "StorageAdapterSerialNumberProperty",
                     "serial of the controller or USB bridge behind the disk, not of the disk itself");
        }
    }

    if (layout.style == "GPT" && !layout.identity.empty())
        d.AddSignal("disk.gpt_guid", d.cat, d.label + " GPT disk GUID", layout.identity, SignalScope::PerInstall,
                 d.peripheral ? 1 : 4, "IOCTL_DISK_GET_DRIVE_LAYOUT_EX", "regenerated when the disk is re-initialised");
    if (!layout.espGuid.empty()) d.IdRow("Partition table", "EFI system partition GUID", layout.espGuid);

    std::string busText = desc.busKnown ? GetBusTypeName(desc.busType) : "?";
    if (desc.removable) busText += " (removable)";
    AddRow(scan.disks, {d.label, model, busText, media, size, desc.serial, desc.revision, layout.style,
                        layout.identity, d.system ? col::storage_disks::kSystemDisk : ""});
}

void AddVolume(Snapshot& s, StorageScan& scan, const VolumeInfo& v, char systemDrive) {
    const std::string serial = Format("%04X-%04X", v.serial >> 16, v.serial & 0xFFFF);
    const bool system = !v.root.empty() && std::toupper(static_cast<unsigned char>(v.root[0])) ==
                                               std::toupper(static_cast<unsigned char>(systemDrive));
    // A label a person typed is masked, and masks every text that holds it;
    // setup's on the partitions it makes and a maker's restating the drive's
    // model are shown.
    const auto model = scan.models.find(v.disk);
    const Role label = IsDefaultVolumeLabel(v.label) || IsSetupPartitionType(v.partitionType) ? Role::Program
                       : model != scan.models.end() && IsModelLabel(v.label, model->second) ? Role::Maker
                                                                                             : Role::Typed;
    AddRow(scan.volumes, {v.root, v.label, v.fileSystem, serial, v.guidPath, v.objectId}, {Role::Undeclared, label});
    // A drive letter's root is Windows'; a folder a volume is mounted on was
    // made by a person.
    const bool letter = (v.root.size() == 2 || (v.root.size() == 3 && v.root[2] == '\\')) &&
                        std::isalpha(static_cast<unsigned char>(v.root[0])) && v.root[1] == ':';
    const Arg root{v.root, letter ? Role::Program : Role::Typed};
    s.signals.push_back(MakeSignal(sig::kVolumeSerial, "Storage", {"Volume serial {x1}", {root}}, serial,
                                   SignalScope::PerInstall, 3, "os", Role::Identifier, "GetVolumeInformationW",
                                   "changes when the volume is formatted", 1.0));
    if (!v.objectId.empty()) {
        s.signals.push_back(MakeSignal(sig::kVolumeObjectId, "Storage", {"NTFS object ID {x1}", {root}}, v.objectId,
                                       SignalScope::PerInstall, system ? 4 : 2, "os", Role::Identifier,
                                       "FSCTL_GET_OBJECT_ID on the volume root",
                                       "assigned when the volume is first used; survives drive-letter changes; a "
                                       "version-1 UUID that can embed a NIC address",
                                       1.0));
    }
}

void FinishStorageScan(Snapshot& s, StorageScan& scan) {
    SetFact(s, fact::kStorageWithSerial, std::to_string(scan.withSerial));
    SetFact(s, fact::kStorageSystemWithId, std::to_string(scan.systemWithId));
    if (scan.nvmeSeen) SetFact(s, fact::kStorageNvme, "1");
    if (scan.nvmeAccessDenied)
        AddNote(s, "Storage",
                "NVMe Identify needs administrator rights on this system - run elevated to read controller/namespace "
                "identifiers");
    if (scan.ataNotElevated)
        AddNote(s, "Storage",
                "ATA IDENTIFY needs administrator rights - run elevated to read SATA serials and World Wide Names "
                "through the pass-through path");
    s.tables.push_back(std::move(scan.disks));
    s.tables.push_back(std::move(scan.ids));
    s.tables.push_back(std::move(scan.volumes));
}

}  // namespace

void CollectStorageFrom(Snapshot& s, const StorageSource& src) {
    if (!src.listOpened) {
        AddFailureNote(s, "Storage", "SetupDiGetClassDevs(disk interface) failed: " + src.listError);
        return;
    }
    StorageScan scan = BeginStorageScan(src.elevated, src.systemDisk, src.errorText);
    for (const StorageDisk& disk : src.disks) ScanDisk(s, scan, disk.interfaceIndex, disk.source);
    for (const VolumeInfo& v : src.volumes) AddVolume(s, scan, v, src.systemDrive);
    FinishStorageScan(s, scan);
}

}  // namespace vorq
