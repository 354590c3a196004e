// Any Microsoft account and service answers: telemetry and advertising
// values, Entra join and registration records, MDM enrollments, Office,
// OneDrive and Edge identifiers, the connected-devices settings blob and the
// hardware hash. The collector writes UTF-8 rows no longer than their columns.
#include <cstdlib>

#include "collectors/trust/microsoft.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

std::vector<vorq::EntraRecord> Entra(vorq::fuzz::Feed& f) {
    std::vector<vorq::EntraRecord> out(f.Count(3));
    for (vorq::EntraRecord& e : out)
        for (std::string* t : {&e.subkey, &e.deviceId, &e.tenantId, &e.idpDomain, &e.userEmail}) *t = f.Text();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::MicrosoftSource in;
    in.elevated = f.Bool();
    in.currentUserSid = f.Text();
    in.sqmMachineId = f.Text();
    for (std::optional<uint32_t>* v : {&in.telemetryPolicy, &in.telemetryMachine, &in.telemetryUser,
                                       &in.telemetryMdm, &in.telemetryMax, &in.ceipEnable, &in.advertisingEnabled,
                                       &in.oneDriveEverSignedIn})
        *v = f.Bool() ? std::optional<uint32_t>(f.Word()) : std::nullopt;
    in.advertisingId = f.Text();
    if (f.Bool()) in.susValidation = f.Blob(64);
    in.xboxDeviceId = f.Text();
    in.msaDevices.resize(f.Count(3));
    for (auto& [sid, id] : in.msaDevices) {
        sid = f.Text();
        id = f.Text();
    }
    in.clientMachineId = f.Text();
    in.rearmCount = f.Int<int64_t>();
    in.productName = f.Text();
    in.keyChannel = f.Text();
    in.licenseStatus = f.Int<int64_t>();
    in.userName = f.MaybeText();
    in.joinRead = f.Bool();
    in.joinStatus = f.Word();
    in.joinName = f.Text();
    in.entraJoined = Entra(f);
    in.entraRegistered = Entra(f);
    in.enrollments.resize(f.Count(3));
    for (vorq::EnrollmentSource& e : in.enrollments) {
        e.subkey = f.Text();
        e.type = f.Maybe<uint32_t>();
        for (std::string* t : {&e.providerId, &e.upn, &e.entDmid, &e.discoveryUrl}) *t = f.Text();
    }
    in.omadmAccounts = f.Count(4);
    for (std::string* t : {&in.autopilotTenantId, &in.autopilotTenantDomain, &in.storeOemId, &in.storeScmId,
                           &in.officeInstallId, &in.officeReleaseIds, &in.officeVersion, &in.officePlatform,
                           &in.officeChannel, &in.officeAudience, &in.officeMotherboardUuid, &in.oneDriveDeviceId,
                           &in.oneDriveOriginatorId, &in.oneDriveBoxId, &in.officeOriginatorId,
                           &in.oneDriveMachineGuids})
        *t = f.Text();
    for (vorq::EdgeUpdateSource* e : {&in.edgeWow, &in.edgeNative}) {
        e->uid = f.Text();
        e->oldUid = f.Text();
        e->createTime = f.Maybe<uint32_t>();
        e->rotations = f.Maybe<uint32_t>();
    }
    in.oneDriveAccounts = f.Texts();
    in.cdpSettings = f.Blob(512);
    in.devDetailOk = f.Bool();
    in.devDetailError = f.Text();
    in.hardwareData = f.Text(512);
    in.wlanMac = f.Text();
    in.hardwareBytes = f.Blob(1024);
    vorq::Snapshot s;
    vorq::CollectMicrosoftFrom(s, in);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
