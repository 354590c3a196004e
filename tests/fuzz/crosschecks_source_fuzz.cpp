// Any cross-check inputs: the WMI UUID, board serial and memory size against
// facts other collectors left with any values. The checks stay
// UTF-8.
#include <cstdlib>

#include "assessment/crosschecks.h"
#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/acpi.h"
#include "collectors/processor/cpu.h"
#include "collectors/processor/fpu.h"
#include "collectors/processor/fpu_list.h"
#include "collectors/processor/hypervisor.h"
#include "collectors/processor/smbios.h"
#include "collectors/processor/uefi.h"
#include "collectors/trust/microsoft.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm.h"
#include "collectors/trust/windows_os.h"
#include "tests/fuzz/fuzz_source.h"
#include "vm/vm.h"

namespace {

namespace fact = vorq::fact;

// The facts the checks compare.
const std::string kFacts[] = {
    fact::kAcpiMadtCpus,
    fact::kAcpiTpm2,
    fact::kAtaDescPrefix,
    fact::kAtaSnPrefix,
    fact::kCpuBrand,
    fact::kCpuLogical,
    fact::kCpuVendor,
    fact::kDxgiPciHw,
    fact::kDxgiPciMatched,
    fact::kFpuDefaultNan,
    fact::kFpuIntIndefinite,
    fact::kFpuStatus,
    fact::kMsRearm,
    fact::kMsSusValidation,
    fact::kMsWlanMac,
    fact::kNetCurMacs,
    fact::kNetDuidMac,
    fact::kNetHw,
    fact::kNetOverridden,
    fact::kNetPermMacs,
    fact::kNvmeDescPrefix,
    fact::kNvmeEui64Prefix,
    fact::kNvmeNguidPrefix,
    fact::kNvmeSnPrefix,
    fact::kOsMemMb,
    fact::kPlatSecureBoot,
    fact::kSmbiosBiosVersion,
    fact::kSmbiosBoardSerial,
    fact::kSmbiosCpuManufacturer,
    fact::kSmbiosCpuThreads,
    fact::kSmbiosCpuVersion,
    fact::kSmbiosMemMb,
    fact::kSmbiosTpmVendor,
    fact::kSmbiosUuid,
    fact::kTpmEkBound,
    fact::kTpmEkCertSha1s,
    fact::kTpmEkCerts,
    fact::kTpmEkUnbound,
    fact::kTpmLog,
    fact::kTpmLogMatch,
    fact::kTpmManufacturer,
    fact::kTpmPresent,
    fact::kTpmStatus,
    fact::kTpmVersion,
    fact::kTpmWinEkThumb,
    fact::kTpmWinPcr,
    fact::kTpmWinPcrBoot,
    fact::kUefiDbCa2011,
    fact::kUefiDbCa2023,
    fact::kUefiDbRead,
    fact::kUefiEsrtSysver,
    fact::kUefiSecurebootVar,
    fact::kVmClassification,
    fact::kVmGuest,
    fact::kWinFirstInstall,
    fact::kWinLineageCount,
    fact::kWinSus,
    fact::kWinSystemIdSource};

// Values that agree across collectors are more likely than random ones.
std::string Value(vorq::fuzz::Feed& f, const std::string& last) {
    switch (f.Count(3)) {
        case 0: return last;
        case 1: return std::to_string(f.Count(64));
        default: return f.Text();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::Snapshot s;
    std::string last;
    for (size_t n = f.Count(24); n > 0; --n) {
        std::string key = kFacts[f.Count(std::size(kFacts) - 1)];
        if (f.Bool()) key += std::to_string(f.Count(2));
        // The installation time is a date the Windows collector formats.
        if (key == fact::kWinFirstInstall)
            last = std::to_string(1990 + f.Count(60)) + "-0" + std::to_string(f.Count(9)) + "-01 00:00:00";
        else
            last = Value(f, last);
        vorq::SetFact(s, key, last);
    }
    vorq::CrossChecksSource in;
    in.wmiUuid = f.Text(40);
    in.wmiBoardSerial = f.Text(32);
    in.totalPhysicalBytes = f.Int<uint64_t>();
    vorq::CollectCrossChecksFrom(s, in);
    vorq::fuzz::CheckSnapshot(s);
    for (const vorq::Check& c : s.checks)
        if (!vorq::fuzz::IsUtf8(c.detail) || !vorq::fuzz::IsUtf8(c.title)) abort();
    return 0;
}
