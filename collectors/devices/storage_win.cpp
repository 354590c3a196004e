// The Storage collector's platform side: disk interfaces, device handles,
// volumes. Every reply goes to the platform-free part in storage.cpp.
#include <windows.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstddef>
#include <memory>

#include "collectors/devices/storage.h"
#include "core/devprop_win.h"
#include "core/win.h"

namespace vorq {

// The byte positions the platform-free NVMe query and reply code uses, checked
// against the system's own structures.
static_assert(offsetof(STORAGE_PROPERTY_QUERY, AdditionalParameters) == kNvmeProtocolFields);
static_assert(offsetof(STORAGE_PROTOCOL_DATA_DESCRIPTOR, ProtocolSpecificData) == kNvmeProtocolFields);
static_assert(kNvmeProtocolFields + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataOffset) == kNvmeDataOffsetField);
static_assert(kNvmeProtocolFields + offsetof(STORAGE_PROTOCOL_SPECIFIC_DATA, ProtocolDataLength) == kNvmeDataLengthField);
static_assert(kNvmeProtocolFields + sizeof(STORAGE_PROTOCOL_SPECIFIC_DATA) + kNvmeIdentifySize == kNvmeQuerySize);

namespace {

// GUID_DEVINTERFACE_DISK {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}.
const GUID kDiskInterface = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

IoControl HandleIo(HANDLE h) {
    return [h](uint32_t code, const Bytes& in, size_t outSize, Bytes& out, uint32_t& error) {
        out.assign(outSize, 0);
        DWORD returned = 0;
        BOOL ok = DeviceIoControl(h, code, in.empty() ? nullptr : const_cast<uint8_t*>(in.data()),
                                  static_cast<DWORD>(in.size()), out.empty() ? nullptr : out.data(),
                                  static_cast<DWORD>(outSize), &returned, nullptr);
        if (!ok) {
            error = GetLastError();
            out.clear();
            return false;
        }
        out.resize(returned < outSize ? returned : outSize);
        return true;
    };
}

HANDLE OpenDevice(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Controls on an open handle that lives as long as the returned function.
IoControl OwningIo(std::shared_ptr<UniqueFile> file) {
    IoControl io = HandleIo(file->get());
    return [file = std::move(file), io](uint32_t code, const Bytes& in, size_t outSize, Bytes& out, uint32_t& err) {
        return io(code, in, outSize, out, err);
    };
}

// The disk again with read/write access.
std::function<IoControl(uint32_t&)> ReadWriteOpener(const std::wstring& path) {
    return [path](uint32_t& error) -> IoControl {
        auto file = std::make_shared<UniqueFile>(OpenDevice(path, GENERIC_READ | GENERIC_WRITE));
        if (!*file) {
            error = GetLastError();
            return IoControl();
        }
        return OwningIo(std::move(file));
    };
}

uint32_t GetSystemDiskNumber() {
    wchar_t dir[260] = {};
    UINT n = GetSystemDirectoryW(dir, 260);
    if (n == 0 || n >= 260) return 0xFFFFFFFF;
    std::wstring path = L"\\\\.\\";
    path += dir[0];
    path += L':';
    UniqueFile volume(OpenDevice(path, 0));
    if (!volume) return 0xFFFFFFFF;
    Bytes reply;
    uint32_t error = 0;
    if (!HandleIo(volume.get())(kIoctlVolumeGetVolumeDiskExtents, {}, 224, reply, error)) return 0xFFFFFFFF;
    return ParseFirstExtentDisk(reply);
}

std::string ReadVolumeObjectId(const std::wstring& root) {
    UniqueFile h(CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return std::string();
    Bytes reply;
    uint32_t error = 0;
    if (!HandleIo(h.get())(kFsctlGetObjectId, {}, 64, reply, error) || reply.size() < 16) return std::string();
    return HexEncode(reply.data(), 16);
}

std::wstring InterfacePath(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& iface) {
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(list, &iface, nullptr, 0, &needed, nullptr);
    if (needed == 0) return std::wstring();
    // Room for the fixed part and a terminating NUL even if the size asked for is odd.
    size_t bytes = needed + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + sizeof(wchar_t);
    std::unique_ptr<uint64_t[]> buf(new uint64_t[bytes / 8 + 1]());
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buf.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);  // 8 on x64
    SP_DEVINFO_DATA info = {};
    info.cbSize = sizeof(info);
    if (!SetupDiGetDeviceInterfaceDetailW(list, &iface, detail, needed, nullptr, &info)) return std::wstring();
    return std::wstring(detail->DevicePath);
}

// The partition type and disk of the volume at `root` ("C:\\"), opened
// without access rights as the system disk's is.
void ReadVolumePartition(const wchar_t* root, VolumeInfo& v) {
    std::wstring path = L"\\\\.\\";
    path.append(root, wcsnlen(root, 2));
    UniqueFile volume(OpenDevice(path, 0));
    if (!volume) return;
    Bytes reply;
    uint32_t error = 0;
    if (HandleIo(volume.get())(kIoctlDiskGetPartitionInfoEx, {}, 144, reply, error))
        v.partitionType = ParsePartitionType(reply);
    if (HandleIo(volume.get())(kIoctlVolumeGetVolumeDiskExtents, {}, 224, reply, error))
        v.disk = ParseFirstExtentDisk(reply);
}

void ReadFixedVolumes(StorageSource& src) {
    wchar_t sysDir[260] = {};
    GetSystemDirectoryW(sysDir, 260);
    src.systemDrive = sysDir[0] < 0x80 ? static_cast<char>(sysDir[0]) : '\0';
    wchar_t roots[512] = {};
    DWORD n = GetLogicalDriveStringsW(511, roots);
    if (n == 0 || n > 511) return;
    for (const wchar_t* root = roots; *root; root += wcslen(root) + 1) {
        if (GetDriveTypeW(root) != DRIVE_FIXED) continue;
        wchar_t label[260] = {}, fs[260] = {};
        DWORD serial = 0, maxComponent = 0, flags = 0;
        if (!GetVolumeInformationW(root, label, 260, &serial, &maxComponent, &flags, fs, 260)) continue;
        wchar_t guidPath[260] = {};
        VolumeInfo v;
        if (GetVolumeNameForVolumeMountPointW(root, guidPath, 260)) v.guidPath = ToUtf8Ptr(guidPath);
        v.root = ToUtf8Ptr(root);
        v.label = ToUtf8Ptr(label);
        v.fileSystem = ToUtf8Ptr(fs);
        v.serial = serial;
        v.objectId = ReadVolumeObjectId(root);
        ReadVolumePartition(root, v);
        src.volumes.push_back(std::move(v));
    }
}

}  // namespace

void CollectStorage(Snapshot& s) {
    StorageSource src;
    src.systemDisk = GetSystemDiskNumber();
    DeviceInfoList list(SetupDiGetClassDevsW(&kDiskInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!list) {
        src.listOpened = false;
        src.listError = Win32ErrorText(GetLastError());
        CollectStorageFrom(s, src);
        return;
    }
    src.elevated = s.elevated;
    src.errorText = [](uint32_t e) { return Win32ErrorText(e); };
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA iface = {};
        iface.cbSize = sizeof(iface);
        if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &kDiskInterface, index, &iface)) break;
        const std::wstring path = InterfacePath(list.get(), iface);
        if (path.empty()) continue;
        auto disk = std::make_shared<UniqueFile>(OpenDevice(path, 0));
        if (!*disk) continue;
        src.disks.push_back({index, DiskSource{OwningIo(std::move(disk)), ReadWriteOpener(path)}});
    }
    ReadFixedVolumes(src);
    CollectStorageFrom(s, src);
}

}  // namespace vorq
