#include "collectors/trust/tpm_provisioning.h"

#include <cstring>

#include "collectors/trust/tpm.h"
#include "collectors/trust/tpm_queries.h"
#include "core/hash.h"
#include "core/text.h"

namespace vorq {

namespace {

const RegValue* Find(const std::vector<RegValue>& values, const wchar_t* name) {
    for (const RegValue& v : values) {
        if (v.name.size() != std::wcslen(name)) continue;
        bool same = true;
        for (size_t i = 0; same && i < v.name.size(); ++i) {
            const auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
            same = fold(v.name[i]) == fold(name[i]);
        }
        if (same) return &v;
    }
    return nullptr;
}

const RegValue* Dword(const std::vector<RegValue>& values, const wchar_t* name, uint32_t& out) {
    const RegValue* v = Find(values, name);
    if (!v || v->type != kRegDword || v->data.size() != 4) return nullptr;
    out = static_cast<uint32_t>(v->data[0] | v->data[1] << 8 | v->data[2] << 16) | static_cast<uint32_t>(v->data[3]) << 24;
    return v;
}

bool Qword(const std::vector<RegValue>& values, const wchar_t* name, uint64_t& out) {
    const RegValue* v = Find(values, name);
    if (!v || v->type != kRegQword || v->data.size() != 8) return false;
    out = 0;
    for (int i = 7; i >= 0; --i) out = out << 8 | v->data[static_cast<size_t>(i)];
    return true;
}

bool String(const std::vector<RegValue>& values, const wchar_t* name, std::string& out) {
    const RegValue* v = Find(values, name);
    if (!v || (v->type != kRegSz && v->type != kRegExpandSz)) return false;
    const std::u16string text = FirstUtf16String(v->data.data(), v->data.size());
    out = Utf16ToUtf8(text.data(), text.size());
    return true;
}

using Formatter = std::function<std::string(uint32_t)>;

struct Rows {
    Table& table;
    void Dword(const std::vector<RegValue>& values, const wchar_t* name, const char* label, const Formatter& f) {
        uint32_t v = 0;
        if (vorq::Dword(values, name, v)) AddRow(table, {label, f(v)});
    }
};

std::string YesNoText(uint32_t v) { return YesNo(v != 0); }
std::string Decimal(uint32_t v) { return Format("%u", v); }
std::string HexText(uint32_t v) { return Format("0x%lX", static_cast<unsigned long>(v)); }

}  // namespace

uint32_t PcrRecordBootNumber(const std::u16string& name) {
    uint64_t n = 0;
    for (char16_t c : name) {
        if (c < u'0' || c > u'9') break;
        n = n * 10 + static_cast<uint64_t>(c - u'0');
        if (n > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(n);
}

int LatestPcrRecord(const std::vector<std::u16string>& names) {
    int best = -1;
    for (size_t i = 0; i < names.size(); ++i) {
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const uint32_t a = PcrRecordBootNumber(names[i]), b = PcrRecordBootNumber(names[static_cast<size_t>(best)]);
        if (a > b || (a == b && names[i] > names[static_cast<size_t>(best)])) best = static_cast<int>(i);
    }
    return best;
}

std::string ResultCodeText(uint32_t code, const Formatter& hresultText) {
    if (code == 0) return "0 (success)";
    return Format("0x%08lX ", static_cast<unsigned long>(code)) + (hresultText ? hresultText(code) : std::string());
}

std::string ErrorCodeText(uint32_t code, const Formatter& hresultText) {
    if (code == 0) return "0 (none)";
    return ResultCodeText(code, hresultText);
}

std::string BindingStateText(uint32_t v) {
    const char* what = v == 0 ? " - binding not possible" : v == 1 ? " - binding possible" : v == 2 ? " - bound" : "";
    return Format("%u%s", v, what);
}

std::string FourCcCodeText(uint32_t v) {
    return FourCcText(v) + Format(" (0x%08lX)", static_cast<unsigned long>(v));
}

Table ProvisioningTable(Snapshot& s, const ProvisioningInputs& in, uint16_t bank,
                        const std::array<std::vector<uint8_t>, 24>& live) {
    Table table = MakeTable(
        "tpm", table::kTpmWindows, "Windows TPM provisioning record (TPM\\WMI)", {{"Property", Role::Program}, {"Value", Role::Maker}},
        "Values the Windows TPM provisioning task keeps under HKLM\\SYSTEM\\CurrentControlSet\\Services\\TPM\\WMI: the "
        "attestation identity key hash, provisioning history, readiness flags and the PCR read of the last recorded boot. "
        "The Admin subkey (owner authorization) is never read. The EK public key and the EK certificate thumbprint "
        "restate the endorsement key and keep its mask.");
    const ProvisioningRecord& r = in.record;
    const Formatter result = [&](uint32_t v) { return ResultCodeText(v, in.hresultText); };
    const Formatter error = [&](uint32_t v) { return ErrorCodeText(v, in.hresultText); };
    Rows rows{table};
    std::string text;

    if (const RegValue* aik = Find(r.wmi, L"WindowsAIKHash"); aik && !aik->data.empty()) {
        const std::string hex = HexEncode(aik->data);
        // The key was made in this TPM for this installation: the hash names the device like the EK does.
        AddRow(table, {"Windows AIK hash (WindowsAIKHash)", hex}, {Role::Undeclared, Role::Identifier});
        s.signals.push_back(MakeSignal(sig::kTpmAikHash, "TPM", "Windows AIK hash (WindowsAIKHash)", hex,
                                       SignalScope::PerInstall, 8, "anchor", Role::Identifier,
                                       "HKLM\\...\\TPM\\WMI\\WindowsAIKHash",
                                       "hash of the attestation identity key Windows created in this TPM; re-created "
                                       "when the TPM is cleared",
                                       1.0));
    }
    rows.Dword(r.wmi, L"TpmBackedDeviceID", "TPM-backed device ID (TpmBackedDeviceID)", YesNoText);
    rows.Dword(r.wmi, L"TaskReadyForAttestation", "Ready for attestation", YesNoText);
    rows.Dword(r.wmi, L"TaskReadyForStorage", "Ready for storage", YesNoText);
    rows.Dword(r.wmi, L"TaskManufacturerId", "Manufacturer ID seen by the task", FourCcCodeText);
    if (String(r.wmi, L"TaskFirmwareVersion", text)) AddRow(table, {"Firmware version seen by the task", text});
    if (String(r.wmi, L"FirmwareVersionAtLastProvision", text)) AddRow(table, {"Firmware version at last provisioning", text});
    if (String(r.wmi, L"TaskOsBuildNumber", text)) AddRow(table, {"OS build of the last task run", text});
    rows.Dword(r.wmi, L"AIKCertAcquiredExpired", "AIK certificate acquisition state", Decimal);
    rows.Dword(r.wmi, L"AIKEnrollmentErrorCode", "AIK enrollment error code", error);

    rows.Dword(r.provisionInfo, L"TotalTPMProvisioningCount", "Provisioning count", Decimal);
    uint64_t when = 0;
    // A time to the second dates this installation as its install date does.
    if (Qword(r.provisionInfo, L"LastTPMProvisionedTime", when))
        AddRow(table, {"Last provisioned", when == 0 ? "never (value 0)" : FormatFileTimeUtc(when)},
               {Role::Undeclared, when == 0 ? Role::Program : Role::Time});
    rows.Dword(r.provisionInfo, L"LastTPMProvisionedBootId", "Last provisioned at boot", Decimal);
    if (String(r.provisionInfo, L"ClearReason", text) && !text.empty()) AddRow(table, {"Last clear reason", text});
    if (const RegValue* ek = Find(r.provisionInfo, L"LastEkPub"); ek && !ek->data.empty())
        AddRow(table,
               {"Last EK public key (LastEkPub)",
                Format("%zu bytes, SHA-256 %s", ek->data.size(), Sha256Hex(ek->data.data(), ek->data.size()).c_str())},
               {Role::Undeclared, Role::Identifier});
    if (String(r.provisionInfo, L"LastRsaEkCertThumbprint", text) && !text.empty()) {
        AddRow(table, {"Last RSA EK certificate thumbprint (SHA-1)", text}, {Role::Undeclared, Role::Identifier});
        SetFact(s, fact::kTpmWinEkThumb, ToLower(text));
    }
    rows.Dword(r.provisionInfo, L"LastRsaEKCertStoreCount", "RSA EK certificates in the Windows cache", Decimal);
    rows.Dword(r.provisionInfo, L"LastEccEKCertStoreCount", "ECC EK certificates in the Windows cache", Decimal);

    rows.Dword(r.taskStates, L"EkCertificatePresent", "EK certificate present (EkCertificatePresent)", Decimal);
    rows.Dword(r.taskStates, L"EccEkCertificatePresent", "ECC EK certificate present (EccEkCertificatePresent)", Decimal);
    rows.Dword(r.taskStates, L"PCR7BindingState", "PCR7 binding state (PCR7BindingState)", BindingStateText);
    rows.Dword(r.taskStates, L"TcgSecureBootValue", "Secure Boot seen by the task", YesNoText);
    rows.Dword(r.taskStates, L"TcgDrtmEnabled", "DRTM enabled", YesNoText);
    rows.Dword(r.taskStates, L"TcgSmmIsolationLevel", "SMM isolation level", Decimal);
    uint64_t hvci = 0;
    if (Qword(r.taskStates, L"TcgHvciStatus", hvci))
        AddRow(table, {"HVCI status seen by the task", Format("%llu", static_cast<unsigned long long>(hvci))});
    rows.Dword(r.taskStates, L"FasrCapable", "Firmware attack surface reduction capable", YesNoText);
    rows.Dword(r.taskStates, L"TpmProvisionFailedSteps", "Provisioning failed steps", HexText);
    rows.Dword(r.taskStates, L"TpmProvisionHresult", "Provisioning result", result);
    rows.Dword(r.taskStates, L"MaintenanceTaskComplete", "Maintenance task complete", YesNoText);

    const int latest = LatestPcrRecord(r.pcrSubkeys);
    if (latest >= 0) {
        const std::u16string& name = r.pcrSubkeys[static_cast<size_t>(latest)];
        const uint32_t boot = PcrRecordBootNumber(name);
        AddRow(table, {"PCR read records (PcrInfo)", Format("%zu", r.pcrSubkeys.size())});
        AddRow(table, {"Last recorded boot", Format("%u", boot)});
        const std::vector<RegValue> record = in.readPcrRecord ? in.readPcrRecord(name) : std::vector<RegValue>{};
        rows.Dword(record, L"PcrsMatched", "PCRs matched the log at that boot (PcrsMatched)", YesNoText);
        const RegValue* read = Find(record, L"PhysicalPcrRead");
        int compared = 0, equal = 0;
        if (read && read->data.size() >= 256 && bank == kTpmAlgSha256) {
            for (size_t i = 0; i < 8; ++i) {
                if (live[i].size() != 32) continue;
                ++compared;
                if (std::memcmp(live[i].data(), read->data.data() + 32 * i, 32) == 0) ++equal;
            }
        }
        if (compared > 0) {
            AddRow(table, {"PCR 0-7 recorded vs live",
                           equal == compared ? Format("[ok] equal (boot %u)", boot)
                                             : Format("[warn] %d of %d differ (recorded at boot %u)", compared - equal,
                                                      compared, boot)});
            SetFact(s, fact::kTpmWinPcr, equal == compared ? "match" : "mismatch");
            SetFact(s, fact::kTpmWinPcrBoot, Format("%u", boot));
        }
    }
    if (table.rows.empty()) table.note += " No provisioning record found.";
    return table;
}

}  // namespace vorq
