#include "collectors/processor/smbios.h"

#include <algorithm>
#include <set>
#include <vector>

#include "collectors/processor/smbios_names.h"
#include "collectors/processor/smbios_walker.h"
#include "core/byte_order.h"
#include "core/hash.h"
#include "core/text.h"
#include "vm/signatures.h"

namespace vorq {

const char kSmbiosShortRead[] = "short read of the SMBIOS table";

namespace {

constexpr char kSrc[] = "GetSystemFirmwareTable('RSMB')";
constexpr char kPlaceholderNote[] = "placeholder / unset value - ignored for identity";

std::string Src(unsigned type) { return Format("%s type %u", kSrc, type); }

// Whether the table is a virtual machine's (vm/signatures.h), read before the
// structures are rendered, whatever their order.
bool DescribesVirtualMachine(const std::vector<SmbiosStructure>& records) {
    const SmbiosStructure* first[3] = {};
    for (const SmbiosStructure& r : records)
        if (r.type < 3 && !first[r.type]) first[r.type] = &r;
    auto text = [&](int type, size_t offset) { return first[type] ? first[type]->FieldString(offset) : std::string(); };
    const std::string bios[2] = {text(0, 0x04), text(0, 0x05)}, system[2] = {text(1, 0x04), text(1, 0x05)},
                      board[2] = {text(2, 0x04), text(2, 0x05)};
    const bool flag = first[0] && first[0]->HasField(0x13, 1) && (first[0]->FieldByte(0x13) & 0x10);
    return SmbiosDescribesVirtualMachine({bios[0], bios[1], system[0], system[1], board[0], board[1], flag});
}

// Values carried across the structures of one table.
struct Render {
    Render(Snapshot& snapshot, Table& t, bool littleEndianUuid, bool virtualMachine)
        : s(snapshot), table(t), uuidLittleEndian(littleEndianUuid), ownerNames(virtualMachine) {}

    Snapshot& s;
    Table& table;
    bool uuidLittleEndian = false;
    // A virtual machine's system, board and chassis strings are whatever its
    // owner set: typed texts, not a maker's.
    bool ownerNames = false;
    std::string systemManufacturer, systemProduct, boardManufacturer, boardProduct;
    uint64_t memoryTotalMiB = 0;
    int64_t moduleCount = 0;
    int64_t threadTotal = 0;
    int64_t coreTotal = 0;
    // The processor texts: from the last populated socket, else the last socket.
    bool cpuSeen = false, cpuPopulatedSeen = false;
    std::string cpuVersion, cpuManufacturer;
    std::set<std::string> oemStrings;

    const SmbiosStructure* rec = nullptr;
    std::string label;

    // What the firmware gives, the same on every machine of the model, unless
    // the row says otherwise.
    void Row(const char* field, std::string value, Role role = Role::Maker) {
        AddStructureRow(table, label, field, std::move(value), role);
    }
    void MakerRow(const char* field, std::string value) { Row(field, std::move(value)); }
    // The role of a system, board or chassis string: on a virtual machine the
    // owner's unless the hypervisor's default.
    Role Named(std::string_view value) const {
        return ownerNames && !IsHypervisorDefaultName(value) ? Role::Typed : Role::Maker;
    }
    void NamedRow(const char* field, std::string value) {
        const Role role = Named(value);
        Row(field, std::move(value), role);
    }
    // A value the program decodes from a code ("Notebook", "Single-bit ECC"): its own text.
    void DecodedRow(const char* field, std::string value) { Row(field, std::move(value), Role::Program); }
    Signal& Emit(const char* key, Sentence name, const std::string& value, SignalScope scope, int32_t w,
                 const char* group, Role role, const std::string& note = std::string(), double q = 1.0,
                 const char* cat = "Firmware") {
        return s.signals.emplace_back(
            MakeSignal(key, cat, std::move(name), value, scope, w, group, role, Src(rec->type), note, q));
    }
    void Serial(const char* key, const char* name, const std::string& value, int32_t w, const char* group) {
        AddSerialIdentifier(s, key, name, value, w, group, Src(rec->type));
    }
    static const char* Valid(const std::string& v) { return IsPlaceholderValue(v) ? "0" : "1"; }

    void Bios();
    void System();
    void Baseboard();
    void Chassis();
    void Processor();
    void Cache();
    void Slot();
    void StringList();
    void MemoryArray();
    void MemoryDevice();
    void Battery();
    void PowerSupply();
    void OnboardDevice();
    void Tpm();
    void Default();
};

void Render::Bios() {
    const SmbiosStructure& r = *rec;
    MakerRow("Vendor", r.FieldString(0x04));
    Row("Version", r.FieldString(0x05));
    Row("Release date", r.FieldString(0x08));
    if (r.HasField(0x15, 1)) Row("BIOS release", Format("%u.%u", unsigned{r.FieldByte(0x14)}, unsigned{r.FieldByte(0x15)}));
    if (r.HasField(0x17, 1) && r.FieldByte(0x16) != 0xFF)
        Row("Embedded controller firmware", Format("%u.%u", unsigned{r.FieldByte(0x16)}, unsigned{r.FieldByte(0x17)}));
    if (r.FieldByte(0x09) != 0xFF) Row("ROM size", FormatBytes((uint64_t{r.FieldByte(0x09)} + 1) * 65536));
    const bool hasExt2 = r.HasField(0x13, 1);
    const uint8_t ext2 = r.FieldByte(0x13);
    if (hasExt2) {
        DecodedRow("UEFI specification supported", YesNo(ext2 & 0x08));
        DecodedRow("Describes a virtual machine (spec flag)", YesNo(ext2 & 0x10));
        SetFact(s, fact::kSmbiosVmFlag, (ext2 & 0x10) ? "1" : "0");
    }
    SetFact(s, fact::kSmbiosBiosVersion, r.FieldString(0x05));
    Emit(sig::kSmbiosBiosVendor, "BIOS vendor", r.FieldString(0x04), SignalScope::PerModel, 1, "firmware", Role::Maker);
    Emit(sig::kSmbiosBiosVersion, "BIOS version", r.FieldString(0x05), SignalScope::PerModel, 3, "firmware", Role::Maker,
           "changes after a firmware update");
    Emit(sig::kSmbiosBiosDate, "BIOS release date", r.FieldString(0x08), SignalScope::PerModel, 1, "firmware", Role::Maker);
}

void Render::System() {
    const SmbiosStructure& r = *rec;
    systemManufacturer = r.FieldString(0x04);
    systemProduct = r.FieldString(0x05);
    const std::string serial = r.FieldString(0x07);
    NamedRow("Manufacturer", systemManufacturer);
    NamedRow("Product name", systemProduct);
    NamedRow("Version", r.FieldString(0x06));
    Row("Serial number", serial, Role::Identifier);
    if (r.HasField(0x08, 16)) {
        const bool placeholder = IsPlaceholderUuid(r.data + 0x08);
        const std::string uuid = FormatSmbiosUuid(r.data + 0x08, uuidLittleEndian);
        Row("UUID", placeholder ? uuid + "  [placeholder]" : uuid, Role::Identifier);
        Emit(sig::kSmbiosSystemUuid, "System UUID", uuid, SignalScope::PerUnit, 20, "mainboard", Role::Identifier,
               placeholder ? "placeholder UUID - ignored for identity" : "", placeholder ? 0.0 : 1.0);
        SetFact(s, fact::kSmbiosUuid, uuid);
        SetFact(s, fact::kSmbiosUuidValid, placeholder ? "0" : "1");
    }
    if (r.HasField(0x19, 1)) NamedRow("SKU number", r.FieldString(0x19));
    if (r.HasField(0x1A, 1)) NamedRow("Family", r.FieldString(0x1A));
    if (r.HasField(0x18, 1)) DecodedRow("Wake-up type", WakeUpTypeName(r.FieldByte(0x18)));
    Emit(sig::kSmbiosSystemManufacturer, "System manufacturer", systemManufacturer, SignalScope::PerModel, 1,
         "mainboard", Named(systemManufacturer));
    Emit(sig::kSmbiosSystemProduct, "System product", systemProduct, SignalScope::PerModel, 2, "mainboard",
         Named(systemProduct));
    if (r.HasField(0x19, 1) && !IsPlaceholderValue(r.FieldString(0x19)))
        Emit(sig::kSmbiosSystemSku, "System SKU", r.FieldString(0x19), SignalScope::PerModel, 1, "mainboard",
             Named(r.FieldString(0x19)));
    Serial(sig::kSmbiosSystemSerial, "System serial number", serial, 15, "mainboard");
    SetFact(s, fact::kSmbiosSystemSerialValid, Valid(serial));
}

void Render::Baseboard() {
    const SmbiosStructure& r = *rec;
    boardManufacturer = r.FieldString(0x04);
    boardProduct = r.FieldString(0x05);
    const std::string serial = r.FieldString(0x07);
    const std::string asset = r.FieldString(0x08);
    NamedRow("Manufacturer", boardManufacturer);
    NamedRow("Product", boardProduct);
    NamedRow("Version", r.FieldString(0x06));
    Row("Serial number", serial, Role::Identifier);
    Row("Asset tag", asset, Role::Typed);
    NamedRow("Location in chassis", r.FieldString(0x0A));
    Emit(sig::kSmbiosBoardProduct, "Baseboard product", boardManufacturer + " " + boardProduct, SignalScope::PerModel,
           2, "mainboard", Named(boardManufacturer) == Role::Typed ? Role::Typed : Named(boardProduct));
    Serial(sig::kSmbiosBoardSerial, "Baseboard serial number", serial, 15, "mainboard");
    if (!IsPlaceholderValue(asset)) Serial(sig::kSmbiosBoardAsset, "Baseboard asset tag", asset, 4, "mainboard");
    SetFact(s, fact::kSmbiosBoardSerial, serial);
    SetFact(s, fact::kSmbiosBoardSerialValid, Valid(serial));
}

void Render::Chassis() {
    const SmbiosStructure& r = *rec;
    const std::string serial = r.FieldString(0x07);
    const std::string asset = r.FieldString(0x08);
    const char* type = ChassisTypeName(r.FieldByte(0x05));
    NamedRow("Manufacturer", r.FieldString(0x04));
    DecodedRow("Type", type);
    NamedRow("Version", r.FieldString(0x06));
    Row("Serial number", serial, Role::Identifier);
    Row("Asset tag", asset, Role::Typed);
    // The SKU follows the contained-element records; both factors come from
    // the table, so the offset is computed in int and checked before use.
    const int skuOffset = 0x15 + int{r.FieldByte(0x13)} * int{r.FieldByte(0x14)};
    if (int{r.length} >= skuOffset + 1) NamedRow("SKU number", r.FieldString(static_cast<size_t>(skuOffset)));
    Emit(sig::kSmbiosChassisType, "Chassis type", type, SignalScope::PerModel, 0, "", Role::Program);  // decoded
    Serial(sig::kSmbiosChassisSerial, "Chassis serial number", serial, 10, "mainboard");
    if (!IsPlaceholderValue(asset)) Serial(sig::kSmbiosChassisAsset, "Chassis asset tag", asset, 3, "mainboard");
    SetFact(s, fact::kSmbiosChassisSerialValid, Valid(serial));
    SetFact(s, fact::kSmbiosChassisType, type);
}

void Render::Processor() {
    const SmbiosStructure& r = *rec;
    Row("Socket", r.FieldString(0x04));
    Row("Manufacturer", r.FieldString(0x07));
    Row("Processor ID", Format("%016llX", static_cast<unsigned long long>(r.FieldQword(0x08))));
    Row("Version", r.FieldString(0x10));
    Row("Max / current speed", Format("%u / %u MHz", unsigned{r.FieldWord(0x14)}, unsigned{r.FieldWord(0x16)}));
    if (r.HasField(0x22, 1)) {
        Row("Serial number", r.FieldString(0x20), Role::Identifier);
        Row("Asset tag", r.FieldString(0x21), Role::Typed);
        Row("Part number", r.FieldString(0x22));
    }
    int cores = r.FieldByte(0x23);
    if (cores == 0xFF && r.HasField(0x2A, 2)) cores = r.FieldWord(0x2A);
    int threads = r.FieldByte(0x25);
    if (threads == 0xFF && r.HasField(0x2E, 2)) threads = r.FieldWord(0x2E);
    if (r.HasField(0x25, 1)) Row("Cores / threads", Format("%d / %d", cores, threads));
    if (r.HasField(0x30, 2) && r.FieldWord(0x30) != 0) {
        threads = r.FieldWord(0x30);
        Row("Threads enabled", Format("%d", threads));
    }
    if (r.HasField(0x25, 1) && (r.FieldByte(0x18) & 0x40)) {
        threadTotal += threads;
        coreTotal += cores;
    }
    // A server's trailing empty socket must not hide the processor in use.
    const bool populated = r.HasField(0x18, 1) && (r.FieldByte(0x18) & 0x40);
    if (populated || !cpuPopulatedSeen) {
        cpuVersion = r.FieldString(0x10);
        cpuManufacturer = r.FieldString(0x07);
    }
    cpuSeen = true;
    cpuPopulatedSeen = cpuPopulatedSeen || populated;
    Emit(sig::kSmbiosCpuSocket, "CPU socket designation", r.FieldString(0x04), SignalScope::PerModel, 0, "", Role::Maker);
    if (r.HasField(0x20, 1) && !IsPlaceholderValue(r.FieldString(0x20)))
        Serial(sig::kSmbiosCpuSerial, "CPU serial (SMBIOS type 4)", r.FieldString(0x20), 5, "mainboard");
}

void Render::Cache() {
    const SmbiosStructure& r = *rec;
    Row("Socket designation", r.FieldString(0x04));
    const uint16_t size16 = r.FieldWord(0x09);
    uint64_t kib = (size16 & 0x7FFFu) * ((size16 & 0x8000u) ? 64u : 1u);
    const uint32_t size32 = r.FieldDword(0x17);
    if (r.HasField(0x17, 4) && size32 != 0) kib = uint64_t{size32 & 0x7FFFFFFFu} * ((size32 & 0x80000000u) ? 64u : 1u);
    Row("Installed size", FormatBytes(kib * 1024));
}

void Render::Slot() {
    const SmbiosStructure& r = *rec;
    Row("Designation", r.FieldString(0x04));
    DecodedRow("Current usage", SlotUsageName(r.FieldByte(0x07)));
    // The last field is the byte at 0x10, present from a length of 0x11.
    if (r.HasField(0x10, 1)) {
        const uint8_t devfn = r.FieldByte(0x10);
        Row("Segment / bus / device.function",
            Format("%04X:%02X:%02X.%u", unsigned{r.FieldWord(0x0D)}, unsigned{r.FieldByte(0x0F)}, unsigned{devfn} >> 3,
                   unsigned{devfn} & 7u));
    }
}

void Render::StringList() {
    const SmbiosStructure& r = *rec;
    if (r.strings.empty()) {
        DecodedRow("Strings", "(none)");
        return;
    }
    for (size_t i = 0; i < r.strings.size(); ++i) {
        std::string text = Trim(r.strings[i]);
        if (r.type == 11 && !text.empty() && oemStrings.insert(text).second && oemStrings.size() <= 16)
            Emit(sig::kSmbiosOemString, Format("OEM string %zu", i + 1), text, SignalScope::PerModel, 1, "firmware",
                   Role::Identifier, "vendor-defined; may contain service tags or SKU codes");
        AddStructureRow(table, label, Format("String %zu", i + 1), std::move(text), Role::Identifier);
    }
}

void Render::MemoryArray() {
    const SmbiosStructure& r = *rec;
    const uint32_t kib = r.FieldDword(0x07);
    uint64_t bytes = uint64_t{kib} * 1024;
    if (kib == 0x80000000u && r.HasField(0x0F, 8)) bytes = r.FieldQword(0x0F);
    Row("Maximum capacity", FormatBytes(bytes));
    Row("Slots", Format("%u", unsigned{r.FieldWord(0x0D)}));
    DecodedRow("Error correction", ErrorCorrectionName(r.FieldByte(0x06)));
}

void Render::MemoryDevice() {
    const SmbiosStructure& r = *rec;
    const uint16_t word = r.FieldWord(0x0C);
    uint64_t mib = 0;
    if (word == 0 || word == 0xFFFF)
        mib = 0;
    else if (word == 0x7FFF && r.HasField(0x1C, 4))
        mib = r.FieldDword(0x1C) & 0x7FFFFFFFu;
    else if (word & 0x8000)
        mib = (word & 0x7FFFu) >> 10;  // counted in KiB
    else
        mib = word;
    const std::string locator = r.FieldString(0x10);
    const std::string bank = r.FieldString(0x11);
    Row("Locator", bank.empty() ? locator : locator + " / " + bank);
    if (mib == 0) {
        DecodedRow("State", "empty slot");
        return;
    }
    ++moduleCount;
    memoryTotalMiB += mib;
    const std::string module = locator.empty() ? Format("DIMM %lld", static_cast<long long>(moduleCount)) : locator;
    const std::string serial = r.FieldString(0x18);
    Row("Size", FormatBytes(mib * 1048576));
    DecodedRow("Type / form factor",
               std::string(MemoryTypeName(r.FieldByte(0x12))) + " " + MemoryFormFactorName(r.FieldByte(0x0E)));
    Row("Speed / configured", Format("%u / %u MT/s", unsigned{r.FieldWord(0x15)},
                                     r.HasField(0x20, 2) ? unsigned{r.FieldWord(0x20)} : 0u));
    Row("Manufacturer", r.FieldString(0x17));
    Row("Serial number", serial, Role::Identifier);
    Row("Asset tag", r.FieldString(0x19), Role::Typed);
    Row("Part number", r.FieldString(0x1A));
    if (r.HasField(0x1B, 1)) Row("Rank", Format("%u", r.FieldByte(0x1B) & 0x0Fu));
    const uint16_t jedec = r.FieldWord(0x2C);
    if (r.HasField(0x2C, 2) && jedec != 0)
        Row("Module manufacturer ID (JEDEC)", Format("bank %u, 0x%02X", (jedec & 0x7Fu) + 1, unsigned{jedec} >> 8));
    // The slot's locator the firmware gives.
    const Arg slot{module, Role::Maker};
    Emit(sig::kMemPart, {"Memory part number ({x1})", {slot}}, r.FieldString(0x17) + " " + r.FieldString(0x1A),
           SignalScope::PerModel, 1, "memory", Role::Maker, "", 1.0, "Memory");
    const bool placeholder = IsPlaceholderValue(serial);
    Emit(sig::kMemSerial, {"Memory module serial ({x1})", {slot}}, serial, SignalScope::PerUnit, 6, "memory", Role::Identifier,
           placeholder ? "placeholder / not provided by firmware" : "replaced when RAM is upgraded",
           placeholder ? 0.0 : 1.0, "Memory");
}

void Render::Battery() {
    const SmbiosStructure& r = *rec;
    const std::string serial = r.FieldString(0x07);
    Row("Location", r.FieldString(0x04));
    Row("Manufacturer", r.FieldString(0x05));
    Row("Manufacture date", r.FieldString(0x06));
    Row("Serial number", serial, Role::Identifier);
    Row("Device name", r.FieldString(0x08));
    const bool hasSbds = r.HasField(0x13, 1);
    if (hasSbds) Row("SBDS serial number", Format("%04X", unsigned{r.FieldWord(0x10)}), Role::Identifier);
    std::string id = serial;
    if (IsPlaceholderValue(serial))
        id = hasSbds && r.FieldWord(0x10) != 0 ? Format("%04X", unsigned{r.FieldWord(0x10)}) : std::string();
    if (!id.empty()) Serial(sig::kSmbiosBatterySerial, "Battery serial (SMBIOS type 22)", id, 4, "peripheral");
}

void Render::PowerSupply() {
    const SmbiosStructure& r = *rec;
    const std::string serial = r.FieldString(0x08);
    Row("Location", r.FieldString(0x05));
    Row("Device name", r.FieldString(0x06));
    Row("Manufacturer", r.FieldString(0x07));
    Row("Serial number", serial, Role::Identifier);
    Row("Asset tag", r.FieldString(0x09), Role::Typed);
    Row("Model part number", r.FieldString(0x0A));
    Row("Revision", r.FieldString(0x0B));
    if (r.FieldWord(0x0C) != 0x8000) Row("Max power capacity", Format("%u W", unsigned{r.FieldWord(0x0C)}));
    if (!IsPlaceholderValue(serial))
        Serial(sig::kSmbiosPsuSerial, "Power supply serial (SMBIOS type 39)", serial, 5, "mainboard");
}

void Render::OnboardDevice() {
    const SmbiosStructure& r = *rec;
    const uint8_t kind = r.FieldByte(0x05);
    Row("Reference designation", r.FieldString(0x04));
    Row("Device type", Format("0x%02X%s", kind & 0x7Fu, (kind & 0x80) ? " (enabled)" : " (disabled)"));
    if (r.HasField(0x0A, 1)) {
        const uint8_t devfn = r.FieldByte(0x0A);
        Row("Segment / bus / device.function",
            Format("%04X:%02X:%02X.%u", unsigned{r.FieldWord(0x07)}, unsigned{r.FieldByte(0x09)}, unsigned{devfn} >> 3,
                   unsigned{devfn} & 7u));
    }
}

void Render::Tpm() {
    const SmbiosStructure& r = *rec;
    const std::string vendor = r.HasField(0x04, 4) ? VendorIdText(r.data + 0x04) : std::string();
    Row("Vendor ID", vendor);
    Row("Spec version", Format("%u.%u", unsigned{r.FieldByte(0x08)}, unsigned{r.FieldByte(0x09)}));
    Row("Firmware version", Format("%08X.%08X", r.FieldDword(0x0A), r.FieldDword(0x0E)));
    Row("Description", r.FieldString(0x12));
    SetFact(s, fact::kSmbiosTpmVendor, vendor);
    Emit(sig::kSmbiosTpmVendor, "TPM vendor (SMBIOS type 43)", vendor, SignalScope::PerModel, 0, "", Role::Maker);
}

void Render::Default() {
    const SmbiosStructure& r = *rec;
    Row("Length", Format("%u", unsigned{r.length}));
    const size_t n = std::min<size_t>(r.strings.size(), 8);
    for (size_t i = 0; i < n; ++i)
        AddStructureRow(table, label, Format("String %zu", i + 1), Trim(r.strings[i]),
                        r.type >= 128 ? Role::Identifier : Role::Maker);
}

}  // namespace

void AddSerialIdentifier(Snapshot& s, const std::string& key, const std::string& name, const std::string& value,
                         int32_t weight, const std::string& group, const std::string& src) {
    const bool placeholder = IsPlaceholderValue(value);
    s.signals.push_back(MakeSignal(key, "Firmware", name, value, SignalScope::PerUnit, weight, group, Role::Identifier, src,
                                   placeholder ? kPlaceholderNote : "", placeholder ? 0.0 : 1.0));
}

void AddStructureRow(Table& t, const std::string& label, const std::string& field, std::string value, Role role) {
    AddRow(t, {label, field, std::move(value)}, {Role::Undeclared, Role::Undeclared, role});
}

void CollectSmbiosFrom(Snapshot& s, const SmbiosSource& src) {
    const uint8_t* table = src.table;
    const size_t size = src.size;
    if (!table || size < kSmbiosHeaderSize) {
        AddFailureNote(s, "SMBIOS", kSmbiosShortRead, Failure::ShortRead);
        return;
    }
    const bool callingMethod = table[0] != 0;
    const unsigned major = table[1], minor = table[2], dmiRevision = table[3];
    const uint32_t stated = Le32(table + 4);
    const uint8_t* area = table + kSmbiosHeaderSize;
    const size_t walkLength = std::min<size_t>(size - kSmbiosHeaderSize, stated);

    // The integrity facts come first, so a failure while rendering cannot lose them.
    const SmbiosWalkResult walk = ParseSmbiosTable(area, walkLength);
    SetFact(s, fact::kVmSmbiosStructureStatus, SmbiosWalkStatus(walk, stated, size));
    SetFact(s, fact::kVmSmbiosStructures, std::to_string(walk.structures));
    SetFact(s, fact::kVmSmbiosDuplicateHandles, std::to_string(walk.duplicateHandles));
    SetFact(s, fact::kVmSmbiosBadReferences, std::to_string(walk.badReferences));
    SetFact(s, fact::kVmSmbiosBadStringIndices, std::to_string(walk.badStringIndices));

    const std::vector<SmbiosStructure> records = SplitSmbiosStructures(area, walkLength);
    Table structures = MakeTable("firmware", table::kSmbios, "SMBIOS structures", {{"Structure", Role::Program}, {"Field", Role::Program}, {"Value", Role::Field}},
                                 Format("SMBIOS %u.%u, DMI revision %u, %zu structures, %u bytes. Values marked as "
                                        "identifiers are hidden until you choose to show them.",
                                        major, minor, dmiRevision, records.size(), stated));
    structures.groupCol = 0;

    Render r(s, structures, major > 2 || (major == 2 && minor >= 6), DescribesVirtualMachine(records));
    for (const SmbiosStructure& rec : records) {
        r.rec = &rec;
        r.label = Format("Type %u - %s (handle 0x%04X)", unsigned{rec.type}, SmbiosStructureTypeName(rec.type),
                         unsigned{rec.handle});
        switch (rec.type) {
            case 0: r.Bios(); break;
            case 1: r.System(); break;
            case 2: r.Baseboard(); break;
            case 3: r.Chassis(); break;
            case 4: r.Processor(); break;
            case 7: r.Cache(); break;
            case 9: r.Slot(); break;
            case 11:
            case 12: r.StringList(); break;
            case 16: r.MemoryArray(); break;
            case 17: r.MemoryDevice(); break;
            case 22: r.Battery(); break;
            case 39: r.PowerSupply(); break;
            case 41: r.OnboardDevice(); break;
            case 43: r.Tpm(); break;
            default: r.Default(); break;
        }
    }

    if (!records.empty()) {
        if (r.memoryTotalMiB > 0) {
            SetFact(s, fact::kSmbiosMemMb, std::to_string(r.memoryTotalMiB));
            s.signals.push_back(MakeSignal(sig::kMemTotal, "Memory", "Installed memory (SMBIOS)",
                                           Format("%llu MB in %lld module(s)",
                                                  static_cast<unsigned long long>(r.memoryTotalMiB),
                                                  static_cast<long long>(r.moduleCount)),
                                           SignalScope::PerModel, 1, "memory", Role::Maker, Src(17), "", 1.0));
        }
        if (r.threadTotal != 0) SetFact(s, fact::kSmbiosCpuThreads, std::to_string(r.threadTotal));
        if (r.coreTotal != 0) SetFact(s, fact::kSmbiosCpuCores, std::to_string(r.coreTotal));
        if (r.cpuSeen) {
            SetFact(s, fact::kSmbiosCpuVersion, r.cpuVersion);
            SetFact(s, fact::kSmbiosCpuManufacturer, r.cpuManufacturer);
        }
    }
    SetFact(s, fact::kSmbiosVersion, Format("%u.%u", major, minor));
    SetFact(s, fact::kSysManufacturer,
            IsPlaceholderValue(r.systemManufacturer) ? r.boardManufacturer : r.systemManufacturer);
    SetFact(s, fact::kSysProduct, IsPlaceholderValue(r.systemProduct) ? r.boardProduct : r.systemProduct);
    const bool typedTitle = r.Named(GetFact(s, fact::kSysManufacturer)) == Role::Typed ||
                            r.Named(GetFact(s, fact::kSysProduct)) == Role::Typed;
    SetFact(s, fact::kSysNamesTyped, typedTitle ? "1" : "0");

    const std::string hash = Sha256Hex(area, walkLength).substr(0, 32);
    s.signals.push_back(MakeSignal(sig::kSmbiosTableHash, "Firmware", "SMBIOS table SHA-256", hash, SignalScope::PerUnit,
                                   4, "firmware", Role::Identifier, kSrc,
                                   "covers serial numbers; changes on BIOS updates and some configuration changes",
                                   1.0));

    Table summary = MakeTable("firmware", table::kSmbiosSummary, "SMBIOS entry", FieldColumns());
    AddField(summary, "Version", Format("%u.%u (DMI revision %u)", major, minor, dmiRevision), Role::Maker);
    AddField(summary, "Structures", std::to_string(records.size()), Role::Maker);
    AddField(summary, "Table length", Format("%u bytes", stated), Role::Maker);
    AddField(summary, "Calling method", callingMethod ? "SMBIOS 2.0 calling method" : "table interface", Role::Program);
    AddField(summary, "Table SHA-256", hash, Role::Identifier);
    s.tables.push_back(std::move(summary));
    s.tables.push_back(std::move(structures));
}

}  // namespace vorq
