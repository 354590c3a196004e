// Storage identity: the device I/O controls behind the Storage collector and
// the per-disk logic that turns their replies into rows, signals and facts.
// Everything here is platform-free: the controls go through an IoControl seam,
// and every reply is parsed by byte offsets checked against its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/snapshot.h"
#include "core/text.h"

// The names of what this collector writes, for its readers.
namespace vorq::fact {
inline constexpr char kAtaDescPrefix[] = "ata.desc:";
inline constexpr char kAtaSnPrefix[] = "ata.sn:";
inline constexpr char kNvmeDescPrefix[] = "nvme.desc:";
inline constexpr char kNvmeEui64Prefix[] = "nvme.eui64:";
inline constexpr char kNvmeNguidPrefix[] = "nvme.nguid:";
inline constexpr char kNvmeSnPrefix[] = "nvme.sn:";
inline constexpr char kStorageNvme[] = "storage.nvme";
inline constexpr char kStorageSystemWithId[] = "storage.system_with_id";
inline constexpr char kStorageWithSerial[] = "storage.with_serial";
}  // namespace vorq::fact

namespace vorq::sig {
inline constexpr char kDiskModel[] = "disk.model";
inline constexpr char kVolumeObjectId[] = "volume.object_id";
inline constexpr char kVolumeSerial[] = "volume.serial";
}  // namespace vorq::sig

namespace vorq::table {
inline constexpr char kStorageDisks[] = "storage.disks";
inline constexpr char kStorageIds[] = "storage.ids";
inline constexpr char kStorageVolumes[] = "storage.volumes";
}  // namespace vorq::table

namespace vorq::col::storage_disks {
inline constexpr size_t kDisk = 0, kModel = 1, kBus = 2, kMedia = 3, kSize = 4, kSerial = 5, kFirmware = 6,
                         kPartitionStyle = 7, kDiskId = 8, kSystem = 9;
// The System cell of the disk Windows booted from (empty for the others).
inline constexpr char kSystemDisk[] = "[ok] system disk";
}  // namespace vorq::col::storage_disks

namespace vorq {

// Control codes and the storage property ids used here.
inline constexpr uint32_t kIoctlStorageGetDeviceNumber = 0x2D1080;
inline constexpr uint32_t kIoctlStorageQueryProperty = 0x2D1400;
inline constexpr uint32_t kIoctlDiskGetDriveGeometryEx = 0x700A0;
inline constexpr uint32_t kIoctlDiskGetDriveLayoutEx = 0x70050;
inline constexpr uint32_t kIoctlAtaPassThrough = 0x4D02C;
inline constexpr uint32_t kIoctlVolumeGetVolumeDiskExtents = 0x560000;
inline constexpr uint32_t kIoctlDiskGetPartitionInfoEx = 0x70048;
inline constexpr uint32_t kFsctlGetObjectId = 0x9009C;

inline constexpr uint32_t kStorageDeviceProperty = 0;
inline constexpr uint32_t kStorageDeviceIdProperty = 2;
inline constexpr uint32_t kStorageDeviceUniqueIdProperty = 3;
inline constexpr uint32_t kStorageDeviceSeekPenaltyProperty = 7;
inline constexpr uint32_t kStorageAdapterProtocolSpecificProperty = 49;
inline constexpr uint32_t kStorageDeviceProtocolSpecificProperty = 50;
inline constexpr uint32_t kStorageAdapterSerialNumberProperty = 57;

inline constexpr size_t kGeometryReplySize = 296;
inline constexpr size_t kLayoutReplySize = 18624;
inline constexpr size_t kNvmeQuerySize = 4144;
inline constexpr size_t kNvmeIdentifySize = 4096;
// ProtocolDataOffset and ProtocolDataLength sit at the same bytes of the query
// (after PropertyId and QueryType) and of the reply (after Version and Size);
// the offset's value counts from byte 8, where the protocol fields begin.
inline constexpr size_t kNvmeDataOffsetField = 24;
inline constexpr size_t kNvmeDataLengthField = 28;
inline constexpr size_t kNvmeProtocolFields = 8;
inline constexpr size_t kAtaPassThroughSize = 560;
inline constexpr size_t kAtaIdentifySize = 512;

inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorNotSupported = 50;

// One device I/O control on an open handle: sends `in`, offers an output
// buffer of `outSize` bytes. On success `out` holds exactly the bytes
// returned; on failure `error` holds the Win32 error code.
using IoControl = std::function<bool(uint32_t code, const Bytes& in, size_t outSize, Bytes& out, uint32_t& error)>;

// Little-endian reads that fail (false) when the field is not inside `b`.
bool ReadLe16(const Bytes& b, size_t off, uint16_t& v);
bool ReadLe32(const Bytes& b, size_t off, uint32_t& v);
bool ReadLe64(const Bytes& b, size_t off, uint64_t& v);

// ---- Queries (each over the seam) ----

// The 12-byte STORAGE_PROPERTY_QUERY for a standard query of `propertyId`.
Bytes BuildPropertyQuery(uint32_t propertyId);
// True when the query succeeded with at least one byte; `out` then holds
// exactly the returned bytes. Follows a larger announced size once (below 1 MiB).
bool QueryStorageProperty(const IoControl& io, uint32_t propertyId, Bytes& out);
// The descriptor string at `offset` (0 or past the end: empty), up to the
// first NUL or the end of the reply.
std::string ReadDescriptorString(const Bytes& reply, uint32_t offset);
const char* GetScsiDesignatorTypeName(uint32_t type);
const char* GetBusTypeName(uint32_t busType);

// The 4144-byte protocol-specific query for NVMe Identify.
Bytes BuildNvmeIdentifyQuery(bool controller, uint32_t namespaceId);
// The 4096 Identify bytes of a protocol-specific reply, or error 13 when the
// reply is malformed.
bool ParseNvmeIdentifyReply(const Bytes& reply, Bytes& identify, uint32_t& error);
bool QueryNvmeIdentify(const IoControl& io, bool controller, uint32_t namespaceId, Bytes& out, uint32_t& error);

// The 560-byte ATA_PASS_THROUGH_EX buffer carrying IDENTIFY DEVICE.
Bytes BuildAtaIdentifyRequest();
bool ParseAtaIdentifyReply(const Bytes& reply, Bytes& identify, uint32_t& error);
bool AtaIdentifyDevice(const IoControl& io, Bytes& out, uint32_t& error);

// ---- Reply fields ----

struct DeviceDescriptor {
    std::string vendor, product, revision, serial;
    bool removable = false;
    bool busKnown = false;  // false when the reply does not reach BusType
    uint32_t busType = 0;
};
DeviceDescriptor ParseDeviceDescriptor(const Bytes& reply);

// IncursSeekPenalty: -1 when the reply is too short to hold it.
int ParseSeekPenalty(const Bytes& reply);
// The adapter serial: UTF-16 from offset 8, at most 128 characters, ended by a
// NUL or by the end of the reply; trimmed UTF-8.
std::string ParseAdapterSerial(const Bytes& reply);

struct ScsiDesignator {
    uint32_t codeSet = 0;
    uint32_t type = 0;
    uint32_t association = 0;
    std::string text;
};
// The designators of a StorageDeviceIdProperty reply in order, at most
// `maxCount`; `truncated` tells whether a further one was left out.
std::vector<ScsiDesignator> WalkDesignators(const Bytes& reply, size_t maxCount, bool* truncated = nullptr);

struct NvmeController {
    std::string vid, ssvid, serial, model, firmware, oui, version, fruGuid, subnqn;
};
struct NvmeNamespace {
    std::string nguid, eui64;  // empty when all zero
};
NvmeController ParseNvmeController(const Bytes& identify);
NvmeNamespace ParseNvmeNamespace(const Bytes& identify);

std::string AtaIdString(const uint8_t* words, size_t wordCount);
bool AtaWwnSupported(uint16_t word);
struct AtaIdentity {
    std::string serial, firmware, model, wwn;
};
AtaIdentity ParseAtaIdentity(const Bytes& identify);

// Signed DeviceNumber of STORAGE_DEVICE_NUMBER; false when not in the reply.
bool ParseDeviceNumber(const Bytes& reply, int32_t& number);
// DiskSize of DISK_GEOMETRY_EX; false when not in the reply.
bool ParseDiskSize(const Bytes& reply, uint64_t& size);

struct DriveLayout {
    std::string style;     // "GPT", "MBR", "RAW", or "?" when unreadable
    std::string identity;  // GPT disk GUID or "signature %08X"
    std::string espGuid;   // GPT: the last EFI system partition among the first 128
};
DriveLayout ParseDriveLayout(const Bytes& reply);

// The first extent's DiskNumber of VOLUME_DISK_EXTENTS, 0xFFFFFFFF when none.
uint32_t ParseFirstExtentDisk(const Bytes& reply);

// The partition type of PARTITION_INFORMATION_EX: a GPT type GUID, an MBR
// type byte as "0x27"; empty when unreadable or of neither style.
std::string ParsePartitionType(const Bytes& reply);

// ---- The collector's pure part ----

// Designator rows listed per disk; a device reporting more gets one status row.
inline constexpr size_t kMaxDesignatorRows = 32;

// One opened disk: controls on the handle opened without access rights, and a
// second open with read/write access (an empty IoControl and the error when
// that open fails; the handle lives as long as the returned function object).
struct DiskSource {
    IoControl io;
    std::function<IoControl(uint32_t& error)> openReadWrite;
};

struct VolumeInfo {
    std::string root, label, fileSystem;
    uint32_t serial = 0;
    std::string guidPath, objectId;
    // Its partition's type (ParsePartitionType) and the disk of its first
    // extent: setup labels its own partitions, a maker its drive after the model.
    std::string partitionType;
    uint32_t disk = 0xFFFFFFFF;
};

// One disk of the disk-interface walk; `interfaceIndex` labels it when its
// device number cannot be read.
struct StorageDisk {
    uint32_t interfaceIndex = 0;
    DiskSource source;
};

// What the platform side read for one storage scan. The disks' controls run
// while the pure part scans them.
struct StorageSource {
    bool listOpened = true;  // false: the disk interfaces could not be listed
    std::string listError;   // then the reason, as text
    bool elevated = false;
    uint32_t systemDisk = 0xFFFFFFFF;
    std::function<std::string(uint32_t)> errorText;  // Win32 error code to its text
    std::vector<StorageDisk> disks;                  // interface order
    char systemDrive = '\0';                         // first character of the system folder
    std::vector<VolumeInfo> volumes;                 // the fixed volumes, drive order
};

// Each disk's queries, rows, signals and facts, then the volumes, the
// counters' facts, the notes and the three tables in order.
void CollectStorageFrom(Snapshot& s, const StorageSource& src);
// Windows build: fills the source from the live system and calls the above;
// the collector table runs it.
void CollectStorage(Snapshot& s);

// Some drivers report an ATA serial in the storage descriptor as the
// hexadecimal form of its byte-swapped string: 16 or more digits, a multiple
// of four. The decoded text, or empty when the text is not of that form.
std::string DecodeSwappedHexSerial(std::string_view text);

}  // namespace vorq
