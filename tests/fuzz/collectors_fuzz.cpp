// Every collector's pure entry point with a source built from the input: the
// first byte picks the collector, the rest fills its source, and every
// callback of the source answers from the remaining bytes. Whatever the
// system answers, the collector finishes and the snapshot holds only UTF-8
// and tables whose rows fit their columns.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assessment/crosschecks.h"
#include "collectors/devices/display.h"
#include "collectors/devices/network.h"
#include "collectors/devices/pnp.h"
#include "collectors/devices/storage.h"
#include "collectors/processor/cpu_collect.h"
#include "collectors/trust/drivers.h"
#include "collectors/trust/microsoft.h"
#include "collectors/trust/platform.h"
#include "collectors/trust/tpm_collect.h"
#include "collectors/trust/windows.h"
#include "core/text.h"
#include "tests/fuzz/fuzz_checks.h"
#include "vm/vm_detection.h"

namespace {

using P = FuzzedDataProvider;
using vorq::Bytes;

// Short counts keep one input's work small; the values matter, not the volume.
size_t Count(P& p, size_t most = 6) { return p.ConsumeIntegralInRange<size_t>(0, most); }
// Texts reach the collectors already converted from UTF-16, so they are UTF-8.
std::string Text(P& p, size_t most = 64) {
    const std::string t = p.ConsumeRandomLengthString(most);
    if (vorq::fuzz::IsUtf8(t)) return t;
    return vorq::Latin1ToUtf8(reinterpret_cast<const uint8_t*>(t.data()), t.size());
}
Bytes Blob(P& p, size_t most = 256) { return p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<size_t>(0, most)); }
std::u16string Text16(P& p, size_t most = 32) {
    std::u16string out(p.ConsumeIntegralInRange<size_t>(0, most), u'\0');
    for (char16_t& c : out) c = p.ConsumeIntegral<char16_t>();
    return out;
}
template <typename T>
std::optional<T> Maybe(P& p) {
    if (!p.ConsumeBool()) return std::nullopt;
    return p.ConsumeIntegral<T>();
}
std::optional<std::string> MaybeText(P& p) {
    if (!p.ConsumeBool()) return std::nullopt;
    return Text(p);
}
std::vector<std::string> Texts(P& p) {
    std::vector<std::string> out(Count(p));
    for (std::string& t : out) t = Text(p);
    return out;
}
vorq::RegValue Value(P& p) {
    vorq::RegValue v;
    const std::u16string name = Text16(p, 16);
    v.name.assign(name.begin(), name.end());
    v.type = p.ConsumeIntegralInRange<uint32_t>(0, 12);
    v.data = Blob(p, 64);
    return v;
}
std::vector<vorq::RegValue> Values(P& p) {
    std::vector<vorq::RegValue> out(Count(p));
    for (vorq::RegValue& v : out) v = Value(p);
    return out;
}
std::function<std::string(uint32_t)> ErrorText(P& p) {
    return [&p](uint32_t) { return Text(p, 32); };
}

void Drivers(P& p, vorq::Snapshot& s) {
    vorq::DriversSource src;
    if (p.ConsumeBool()) src.failure = Text(p);
    src.rows.resize(Count(p, 8));
    for (vorq::DriverRow& r : src.rows) {
        r.name = Text(p), r.displayName = Text(p), r.imagePath = Text(p), r.company = Text(p);
        r.description = Text(p), r.version = Text(p), r.signatureClass = Text(p), r.signer = Text(p);
        r.chainRoot = Text(p), r.detail = Text(p);
        r.result = p.ConsumeIntegral<uint32_t>();
        r.viaCatalog = p.ConsumeBool(), r.imageFound = p.ConsumeBool();
    }
    vorq::CollectDriversFrom(s, std::move(src));
}

vorq::SystemTimeFields Time(P& p) {
    vorq::SystemTimeFields t;
    for (uint16_t* f : {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds})
        *f = p.ConsumeIntegral<uint16_t>();
    return t;
}

void Network(P& p, vorq::Snapshot& s) {
    vorq::NetworkSource in;
    in.elevated = p.ConsumeBool(), in.ifTableOk = p.ConsumeBool();
    in.interfaces.resize(Count(p));
    for (vorq::NetIfRow& r : in.interfaces) {
        p.ConsumeData(&r.guid, sizeof r.guid);
        r.description = Text(p);
        r.type = p.ConsumeIntegral<uint32_t>(), r.medium = p.ConsumeIntegral<uint32_t>();
        r.hardware = p.ConsumeBool(), r.filter = p.ConsumeBool();
        r.operStatus = p.ConsumeIntegral<uint32_t>(), r.mediaConnectState = p.ConsumeIntegral<uint32_t>();
        r.transmitLinkSpeed = p.ConsumeIntegral<uint64_t>();
        r.addressLength = p.ConsumeIntegral<uint32_t>();
        p.ConsumeData(r.current, sizeof r.current);
        p.ConsumeData(r.permanent, sizeof r.permanent);
    }
    in.duidFound = p.ConsumeBool();
    in.duid = Blob(p, 40);
    in.signatures.resize(Count(p));
    for (vorq::NetSignature& g : in.signatures) g.profileGuid = Text(p), g.dnsSuffix = Text(p), g.gatewayMac = Blob(p, 12);
    in.profiles.resize(Count(p));
    for (vorq::NetProfile& f : in.profiles) {
        f.guid = Text(p), f.name = Text(p);
        f.category = p.ConsumeIntegral<uint32_t>(), f.nameType = p.ConsumeIntegral<uint32_t>();
        f.created = Blob(p, 20), f.lastConnected = Blob(p, 20);
    }
    in.radios.resize(Count(p, 3));
    for (vorq::BtRadio& r : in.radios) {
        r.name = Text(p);
        p.ConsumeData(r.address, sizeof r.address);
        r.manufacturer = p.ConsumeIntegral<uint16_t>(), r.lmpSubversion = p.ConsumeIntegral<uint16_t>();
        r.classOfDevice = p.ConsumeIntegral<uint32_t>();
    }
    in.btDevices.resize(Count(p));
    for (vorq::BtDevice& d : in.btDevices) {
        d.name = Text(p);
        p.ConsumeData(d.address, sizeof d.address);
        d.classOfDevice = p.ConsumeIntegral<uint32_t>();
        d.connected = p.ConsumeBool(), d.authenticated = p.ConsumeBool();
        d.lastSeen = Time(p), d.lastUsed = Time(p);
    }
    in.modem.outcome = static_cast<vorq::ModemOutcome>(p.ConsumeIntegralInRange<int>(0, 2));
    in.modem.failure = Text(p), in.modem.imei = Text(p), in.modem.deviceId = Text(p);
    in.modem.manufacturer = Text(p), in.modem.model = Text(p), in.modem.firmware = Text(p);
    vorq::CollectNetworkFrom(s, in);
}

void Display(P& p, vorq::Snapshot& s) {
    vorq::DisplayAdaptersSource src;
    src.pnp.resize(Count(p, 4));
    for (vorq::PnpAdapterRead& a : src.pnp) {
        a.name = Text(p), a.hardwareId = Text(p), a.provider = Text(p), a.version = Text(p);
        a.qwMemorySize = Blob(p, 12), a.memorySize = Blob(p, 12);
        a.bios = Text(p), a.chip = Text(p), a.containerId = Text(p), a.videoId = Text(p), a.pcieLink = Text(p);
    }
    src.dxgi.resize(Count(p, 4));
    for (vorq::DxgiAdapterRead& a : src.dxgi) {
        a.index = p.ConsumeIntegral<uint32_t>();
        a.description = Text(p);
        a.vendorId = p.ConsumeIntegral<uint32_t>(), a.deviceId = p.ConsumeIntegral<uint32_t>();
        a.subSysId = p.ConsumeIntegral<uint32_t>(), a.revision = p.ConsumeIntegral<uint32_t>();
        a.dedicatedVideoMemory = p.ConsumeIntegral<uint64_t>(), a.sharedSystemMemory = p.ConsumeIntegral<uint64_t>();
        a.luidHigh = p.ConsumeIntegral<uint32_t>(), a.luidLow = p.ConsumeIntegral<uint32_t>();
        a.flags = p.ConsumeIntegral<uint32_t>();
        a.desc3Hr = Maybe<int32_t>(p), a.desc3Flags = p.ConsumeIntegral<uint32_t>();
        a.kmtStatus = Maybe<int32_t>(p), a.kmtType = p.ConsumeIntegral<uint32_t>();
        a.segments.resize(Count(p, 3));
        for (vorq::MemorySegmentRead& m : a.segments) {
            m.local = p.ConsumeBool(), m.hr = p.ConsumeIntegral<int32_t>();
            m.budget = p.ConsumeIntegral<uint64_t>(), m.usage = p.ConsumeIntegral<uint64_t>();
            m.available = p.ConsumeIntegral<uint64_t>(), m.reserved = p.ConsumeIntegral<uint64_t>();
        }
        if (p.ConsumeBool()) {
            vorq::D3dCapsRead d;
            d.created = p.ConsumeBool(), d.hr = p.ConsumeIntegral<int32_t>();
            d.featureLevel = p.ConsumeIntegral<uint32_t>();
            if (p.ConsumeBool()) d.threading = std::array<bool, 2>{p.ConsumeBool(), p.ConsumeBool()};
            if (p.ConsumeBool()) d.doubles = p.ConsumeBool();
            if (p.ConsumeBool()) d.options = std::array<bool, 2>{p.ConsumeBool(), p.ConsumeBool()};
            a.d3d = d;
        }
        a.outputs.resize(Count(p, 3));
        for (vorq::OutputRead& o : a.outputs) {
            o.device = Text(p);
            if (p.ConsumeBool())
                o.mode = std::array<uint32_t, 4>{p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>(),
                                                 p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>()};
            o.dpi = Maybe<uint32_t>(p);
            o.left = p.ConsumeIntegral<int32_t>(), o.top = p.ConsumeIntegral<int32_t>();
            o.right = p.ConsumeIntegral<int32_t>(), o.bottom = p.ConsumeIntegral<int32_t>();
            o.rotation = p.ConsumeIntegral<uint32_t>(), o.attached = p.ConsumeBool();
        }
    }
    vorq::CollectDisplayAdaptersFrom(s, src);
}

void Devices(P& p, vorq::Snapshot& s) {
    vorq::DevicesSource src;
    src.listOpened = p.ConsumeBool();
    src.listError = Text(p);
    src.devices.resize(Count(p, 10));
    for (vorq::DeviceProps& d : src.devices) {
        d.cls = Text(p, 16), d.device = Text(p), d.manufacturer = Text(p);
        d.hardwareIds = Texts(p);
        d.instanceId = Text16(p, 48);
        d.provider = Text(p), d.version = Text(p), d.service = Text(p), d.containerId = Text(p), d.pcieLink = Text(p);
    }
    vorq::CollectDevicesFrom(s, src);
}

vorq::CertSource Cert(P& p) {
    vorq::CertSource c;
    c.subject = Text(p), c.issuer = Text(p);
    c.selfSigned = p.ConsumeBool();
    if (p.ConsumeBool()) c.basicConstraintsCa = p.ConsumeBool();
    if (p.ConsumeBool()) c.subjectTypeCa = p.ConsumeBool();
    c.keyAlgorithmOid = Text(p, 24);
    c.keyBits = p.ConsumeIntegral<uint32_t>();
    c.thumbprint = Text(p, 64);
    c.notBefore = p.ConsumeIntegral<uint64_t>(), c.notAfter = p.ConsumeIntegral<uint64_t>();
    return c;
}

void Windows(P& p, vorq::Snapshot& s) {
    vorq::WindowsSource in;
    for (std::string* t : {&in.productName, &in.editionId, &in.displayVersion, &in.currentBuildNumber,
                           &in.currentBuild, &in.buildLabEx, &in.installationType, &in.productId, &in.buildGuid,
                           &in.registeredOwner, &in.registeredOrganization, &in.machineGuid, &in.machineSid,
                           &in.susClientId, &in.sqmMachineId, &in.defenderSenseId, &in.entraJoinFirstSubkey})
        *t = Text(p);
    in.ubr = p.ConsumeIntegral<uint32_t>();
    in.installTime = Maybe<uint64_t>(p), in.installDate = Maybe<uint32_t>(p);
    in.hwProfileGuid = MaybeText(p), in.computerName = MaybeText(p);
    in.lineage.resize(Count(p, 4));
    for (vorq::LineageSource& l : in.lineage) {
        for (std::string* t : {&l.entryName, &l.productName, &l.displayVersion, &l.currentBuildNumber, &l.currentBuild,
                               &l.editionId, &l.installationType, &l.buildGuid, &l.productId})
            *t = Text(p);
        l.ubr = p.ConsumeIntegral<uint32_t>();
        l.installTime = Maybe<uint64_t>(p), l.installDate = Maybe<uint32_t>(p);
    }
    in.currentUserSid = Text(p), in.userName = Text(p);
    in.profiles.resize(Count(p, 4));
    for (vorq::ProfileSource& f : in.profiles) {
        f.sid = Text(p);
        for (uint32_t* v : {&f.loadHigh, &f.loadLow, &f.unloadHigh, &f.unloadLow, &f.state})
            *v = p.ConsumeIntegral<uint32_t>();
        f.imagePath = Text(p);
    }
    in.certStores.resize(Count(p, 3));
    for (vorq::CertStoreSource& st : in.certStores) {
        st.label = Text(p, 16), st.remoteDesktop = p.ConsumeBool(), st.opened = p.ConsumeBool(), st.error = Text(p);
        st.certs.resize(Count(p, 4));
        for (vorq::CertSource& c : st.certs) c = Cert(p);
    }
    in.systemId.ok = p.ConsumeBool(), in.systemId.idHex = Text(p), in.systemId.source = p.ConsumeIntegral<int32_t>();
    in.systemId.error = Text(p);
    in.chid = Text(p), in.chids = Texts(p);
    in.tickCount = p.ConsumeIntegral<uint64_t>(), in.elevated = p.ConsumeBool();
    in.locale = Text(p), in.timeZone = Text(p), in.uiLanguages = MaybeText(p);
    in.preloadLayouts = Texts(p), in.keyboardLayouts = Texts(p);
    in.dnsDomain = Text(p), in.bootId = Maybe<uint32_t>(p);
    for (std::string* t : {&in.geoName, &in.geoNation, &in.httpsProgId, &in.lastLoggedOnProvider, &in.cloneTag,
                           &in.imageState})
        *t = Text(p);
    in.generalizationState = Maybe<uint32_t>(p), in.upgrade = Maybe<uint32_t>(p);
    vorq::CollectWindowsFrom(s, in);
}

std::vector<vorq::EntraRecord> Entra(P& p) {
    std::vector<vorq::EntraRecord> out(Count(p, 3));
    for (vorq::EntraRecord& e : out)
        e.subkey = Text(p), e.deviceId = Text(p), e.tenantId = Text(p), e.idpDomain = Text(p), e.userEmail = Text(p);
    return out;
}

void Microsoft(P& p, vorq::Snapshot& s) {
    vorq::MicrosoftSource in;
    in.elevated = p.ConsumeBool();
    in.currentUserSid = Text(p), in.sqmMachineId = Text(p);
    for (std::optional<uint32_t>* v : {&in.telemetryPolicy, &in.telemetryMachine, &in.telemetryUser, &in.telemetryMdm,
                                       &in.telemetryMax, &in.ceipEnable, &in.advertisingEnabled, &in.oneDriveEverSignedIn})
        *v = Maybe<uint32_t>(p);
    in.advertisingId = Text(p);
    if (p.ConsumeBool()) in.susValidation = Blob(p, 64);
    in.xboxDeviceId = Text(p);
    in.msaDevices.resize(Count(p, 3));
    for (auto& [sid, id] : in.msaDevices) sid = Text(p), id = Text(p);
    in.clientMachineId = Text(p);
    in.rearmCount = p.ConsumeIntegral<int64_t>();
    in.productName = Text(p), in.keyChannel = Text(p);
    in.licenseStatus = p.ConsumeIntegral<int64_t>();
    in.userName = MaybeText(p);
    in.joinRead = p.ConsumeBool(), in.joinStatus = p.ConsumeIntegral<uint32_t>(), in.joinName = Text(p);
    in.entraJoined = Entra(p), in.entraRegistered = Entra(p);
    in.enrollments.resize(Count(p, 3));
    for (vorq::EnrollmentSource& e : in.enrollments) {
        e.subkey = Text(p), e.type = Maybe<uint32_t>(p);
        e.providerId = Text(p), e.upn = Text(p), e.entDmid = Text(p), e.discoveryUrl = Text(p);
    }
    in.omadmAccounts = Count(p, 4);
    for (std::string* t : {&in.autopilotTenantId, &in.autopilotTenantDomain, &in.storeOemId, &in.storeScmId,
                           &in.officeInstallId, &in.officeReleaseIds, &in.officeVersion, &in.officePlatform,
                           &in.officeChannel, &in.officeAudience, &in.officeMotherboardUuid, &in.oneDriveDeviceId,
                           &in.oneDriveOriginatorId, &in.oneDriveBoxId, &in.officeOriginatorId,
                           &in.oneDriveMachineGuids})
        *t = Text(p);
    for (vorq::EdgeUpdateSource* e : {&in.edgeWow, &in.edgeNative}) {
        e->uid = Text(p), e->oldUid = Text(p);
        e->createTime = Maybe<uint32_t>(p), e->rotations = Maybe<uint32_t>(p);
    }
    in.oneDriveAccounts = Texts(p);
    in.cdpSettings = Blob(p, 512);
    in.devDetailOk = p.ConsumeBool();
    in.devDetailError = Text(p), in.hardwareData = Text(p, 512), in.wlanMac = Text(p);
    in.hardwareBytes = Blob(p, 1024);
    vorq::CollectMicrosoftFrom(s, in);
}

void Platform(P& p, vorq::Snapshot& s) {
    vorq::PlatformSource src;
    src.firmwareType = p.ConsumeIntegral<uint32_t>();
    src.secureBoot = Maybe<uint32_t>(p);
    src.servicing = Values(p);
    src.ciOptions = Maybe<uint32_t>(p);
    src.deviceGuard.vbsStatus = p.ConsumeIntegral<int64_t>();
    for (std::vector<int64_t>* v : {&src.deviceGuard.servicesRunning, &src.deviceGuard.availableProperties}) {
        v->resize(Count(p));
        for (int64_t& x : *v) x = p.ConsumeIntegral<int64_t>();
    }
    src.deviceGuardError = Text(p);
    src.blocklist = Maybe<uint32_t>(p), src.smartAppControl = Maybe<uint32_t>(p);
    if (p.ConsumeBool())
        src.attestation = [&p](const uint8_t*, uint16_t, uint64_t, void* buffer, uint32_t* size, uint32_t* lastError) {
            if (buffer) {
                const Bytes b = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<uint32_t>(0, *size));
                if (!b.empty()) std::memcpy(buffer, b.data(), b.size());
            }
            *size = p.ConsumeIntegral<uint32_t>();
            *lastError = p.ConsumeIntegral<uint32_t>();
            return p.ConsumeBool();
        };
    src.random = [&p](uint8_t* buffer, size_t n) {
        const Bytes b = p.ConsumeBytes<uint8_t>(n);
        std::memcpy(buffer, b.data(), b.size());
        std::memset(buffer + b.size(), 0, n - b.size());
        return p.ConsumeBool();
    };
    src.errorText = ErrorText(p);
    src.products.resize(Count(p, 3));
    for (auto& [category, rows] : src.products) {
        category = Text(p, 16);
        rows.resize(Count(p, 3));
        for (vorq::SecurityProduct& r : rows)
            r.displayName = Text(p), r.productState = p.ConsumeIntegral<int64_t>(), r.timestamp = Text(p);
    }
    src.productQueryOk = p.ConsumeBool();
    vorq::CollectPlatformFrom(s, src);
}

void Tpm(P& p, vorq::Snapshot& s) {
    vorq::TpmSource src;
    src.deviceResult = p.ConsumeBool() ? 0 : p.ConsumeIntegral<uint32_t>();
    src.device.tpmVersion = p.ConsumeIntegralInRange<uint32_t>(0, 3);
    src.device.interfaceType = p.ConsumeIntegral<uint32_t>();
    src.openContext = [&p] { return p.ConsumeBool() ? 0u : p.ConsumeIntegral<uint32_t>(); };
    src.transport = [&p](const vorq::TpmBytes&, uint8_t* reply, uint32_t& len) -> uint32_t {
        const Bytes b = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<uint32_t>(0, len));
        if (!b.empty()) std::memcpy(reply, b.data(), b.size());
        len = static_cast<uint32_t>(b.size());
        return p.ConsumeBool() ? 0u : p.ConsumeIntegral<uint32_t>();
    };
    src.ekCertCache = [&p] {
        std::vector<vorq::CachedEkCert> out(Count(p, 3));
        for (vorq::CachedEkCert& c : out) c.slot = Text(p, 24), c.der = Blob(p, 1024);
        return out;
    };
    src.readProvisioning = [&p] {
        vorq::ProvisioningInputs in;
        in.record.wmi = Values(p), in.record.provisionInfo = Values(p), in.record.taskStates = Values(p);
        in.record.pcrSubkeys.resize(Count(p, 4));
        for (std::u16string& k : in.record.pcrSubkeys) k = Text16(p, 8);
        in.readPcrRecord = [&p](const std::u16string&) { return Values(p); };
        in.hresultText = ErrorText(p);
        return in;
    };
    src.logSize = [&p] { return p.ConsumeBool() ? p.ConsumeIntegralInRange<uint64_t>(0, 4096) : p.ConsumeIntegral<uint64_t>(); };
    src.readLog = [&p](uint64_t size) { return p.ConsumeBytes<uint8_t>(std::min<uint64_t>(size, 4096)); };
    src.keyStatus = [&p] {
        vorq::TpmKeyResult k;
        k.providerOk = p.ConsumeBool(), k.exists = p.ConsumeBool(), k.challengeOk = p.ConsumeBool();
        k.exportable = p.ConsumeBool();
        k.message = Text(p), k.algorithm = Text(p), k.publicKeyHash = Text(p), k.nonce = Text(p), k.signature = Text(p);
        k.signMs = p.ConsumeFloatingPoint<double>();
        k.openStatus = p.ConsumeBool() ? 0u : p.ConsumeIntegral<uint32_t>();
        return k;
    };
    vorq::CollectTpmFrom(s, src);
}

void Cpu(P& p, vorq::Snapshot& s) {
    vorq::CpuSource src;
    src.cpuid = [&p](uint32_t, uint32_t) {
        return vorq::CpuidRegisters{p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>(),
                                    p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>()};
    };
    src.probeArchitecture = [&p](vorq::Snapshot&) { return p.ConsumeBool(); };
    src.probeCpuSets = [](vorq::Snapshot&) {};
    src.probeXState = [](vorq::Snapshot&) {};
    src.readTopology = [&p] {
        vorq::ProcessorTopology t;
        t.ok = p.ConsumeBool();
        t.cores = p.ConsumeIntegral<int32_t>(), t.packages = p.ConsumeIntegral<int32_t>();
        t.numaNodes = p.ConsumeIntegral<int32_t>(), t.threads = p.ConsumeIntegral<int32_t>();
        for (size_t n = Count(p, 3); n--;) t.efficiencyClasses[p.ConsumeIntegral<int32_t>()] = p.ConsumeIntegral<int32_t>();
        t.caches.resize(Count(p, 4));
        for (vorq::CacheEntry& c : t.caches) {
            c.level = p.ConsumeIntegral<int32_t>(), c.type = Text(p, 12), c.size = p.ConsumeIntegral<uint32_t>();
            c.associativity = p.ConsumeIntegral<int32_t>(), c.lineSize = p.ConsumeIntegral<int32_t>();
            c.sharedBy = p.ConsumeIntegral<int32_t>();
        }
        t.l3Domains.resize(Count(p, 2));
        for (vorq::L3Domain& d : t.l3Domains) d.group = p.ConsumeIntegral<uint16_t>(), d.mask = p.ConsumeIntegral<uint64_t>();
        for (size_t n = Count(p, 4); n--;) {
            vorq::LogicalProcessorInfo lp;
            lp.group = p.ConsumeIntegralInRange<uint16_t>(0, 1), lp.number = p.ConsumeIntegralInRange<uint8_t>(0, 7);
            lp.initialApic = p.ConsumeIntegral<uint32_t>(), lp.x2Apic = p.ConsumeIntegral<uint32_t>();
            lp.coreType = p.ConsumeIntegral<uint32_t>(), lp.amdCoreId = p.ConsumeIntegral<uint32_t>();
            t.lps[vorq::LpKey{lp.group, lp.number}] = lp;
        }
        return t;
    };
    src.activeProcessorCount = [&p] { return p.ConsumeIntegralInRange<uint32_t>(0, 16); };
    src.readMicrocode = [&p](std::vector<uint8_t>& out) {
        out = Blob(p, 16);
        return p.ConsumeBool();
    };
    src.affinity.save = [&p] { return p.ConsumeBool(); };
    src.affinity.pinTo = [&p](uint16_t, uint8_t) { return p.ConsumeBool(); };
    src.affinity.restore = [] {};
    vorq::CollectCpuFrom(s, src);
}

vorq::IoControl Io(P& p) {
    return [&p](uint32_t, const Bytes&, size_t outSize, Bytes& out, uint32_t& error) {
        if (!p.ConsumeBool()) {
            error = p.ConsumeIntegral<uint32_t>();
            return false;
        }
        out = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<size_t>(0, std::min<size_t>(outSize, 4096)));
        return true;
    };
}

void Storage(P& p, vorq::Snapshot& s) {
    vorq::StorageSource src;
    src.listOpened = p.ConsumeBool(), src.listError = Text(p);
    src.elevated = p.ConsumeBool();
    src.systemDisk = p.ConsumeBool() ? p.ConsumeIntegralInRange<uint32_t>(0, 3) : p.ConsumeIntegral<uint32_t>();
    src.errorText = ErrorText(p);
    src.disks.resize(Count(p, 3));
    for (vorq::StorageDisk& d : src.disks) {
        d.interfaceIndex = p.ConsumeIntegralInRange<uint32_t>(0, 3);
        d.source.io = Io(p);
        d.source.openReadWrite = [&p](uint32_t& error) -> vorq::IoControl {
            if (p.ConsumeBool()) return Io(p);
            error = p.ConsumeIntegral<uint32_t>();
            return nullptr;
        };
    }
    src.systemDrive = p.ConsumeIntegral<char>();
    src.volumes.resize(Count(p, 3));
    for (vorq::VolumeInfo& v : src.volumes) {
        v.root = Text(p, 8), v.label = Text(p), v.fileSystem = Text(p, 8);
        v.serial = p.ConsumeIntegral<uint32_t>(), v.guidPath = Text(p), v.objectId = Text(p);
    }
    vorq::CollectStorageFrom(s, src);
}

void Vm(P& p, vorq::Snapshot& s) {
    vorq::VmSource env;
    env.cpuid = [&p](uint32_t) {
        return vorq::CpuidLeafRegs{p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>(),
                                   p.ConsumeIntegral<uint32_t>(), p.ConsumeIntegral<uint32_t>(), p.ConsumeBool()};
    };
    env.scanServiceKeys = [&p](const vorq::ServiceKey*, size_t) {
        vorq::ServiceKeyScan scan;
        for (std::string& f : Texts(p)) scan.families.insert(std::move(f));
        scan.incomplete = p.ConsumeBool();
        return scan;
    };
    vorq::VmSystemAccess& sys = env.system;
    sys.tickMs = [&p, t = uint64_t{0}]() mutable { return t += p.ConsumeIntegralInRange<uint64_t>(0, 500); };
    auto err = [&p] { return p.ConsumeBool() ? 0u : p.ConsumeIntegral<uint32_t>(); };
    sys.regOpenKey = [err](const std::string&, vorq::RegView) { return err(); };
    sys.regReadValue = [&p, err](const std::string&, const std::string&, bool, size_t bufferBytes) {
        vorq::RegValueRead r;
        r.error = err();
        r.type = p.ConsumeIntegralInRange<uint32_t>(0, 12);
        r.data = p.ConsumeBytes<uint8_t>(p.ConsumeIntegralInRange<size_t>(0, bufferBytes));
        return r;
    };
    sys.regEnumSubkeys = [&p, err](const std::string&, const std::function<bool(uint32_t, const std::string&)>& visit) {
        const uint32_t open = err();
        if (open) return open;
        for (size_t n = Count(p, 8); n--;)
            if (!visit(err(), Text(p, 32))) break;
        return 0u;
    };
    sys.queryServices = [&p, err](const std::vector<std::string>& names, std::vector<vorq::ServiceStateQuery>& out) {
        const uint32_t open = err();
        if (open) return open;
        out.resize(p.ConsumeBool() ? names.size() : Count(p, names.size() + 1));
        for (vorq::ServiceStateQuery& q : out)
            q.openError = err(), q.queryError = err(), q.state = p.ConsumeIntegralInRange<uint32_t>(0, 8);
        return 0u;
    };
    sys.windowsDirectory = [&p](std::string& dir) {
        dir = Text(p, 32);
        return p.ConsumeBool() ? static_cast<uint32_t>(dir.size()) : p.ConsumeIntegral<uint32_t>();
    };
    sys.fileAttributes = [&p, err](const std::string&) {
        return vorq::FileAttributesRead{p.ConsumeBool(), p.ConsumeIntegral<uint32_t>(), err()};
    };
    sys.knownFolder = [&p](vorq::KnownFolder) { return vorq::KnownFolderRead{p.ConsumeIntegral<int32_t>(), Text(p, 32)}; };
    sys.driveType = [&p](const std::string&) { return p.ConsumeIntegralInRange<uint32_t>(0, 7); };
    sys.walkProcesses = [&p](const std::function<bool(const std::string&)>& visit) {
        vorq::ProcessWalkEnd end{};
        for (size_t n = Count(p, 12); n--;)
            if (!visit(Text(p, 24))) break;
        p.ConsumeData(&end, sizeof end);
        return end;
    };
    sys.findWindowClass = [&p](const std::string&) { return p.ConsumeBool(); };
    sys.queryDosDevice = [err](const std::string&) { return err(); };
    sys.whpHypervisorPresent = [&p] {
        vorq::WhpPresenceRead w;
        w.loadError = p.ConsumeBool() ? 0u : p.ConsumeIntegral<uint32_t>();
        w.hasExport = p.ConsumeBool(), w.hr = p.ConsumeIntegral<int32_t>();
        w.written = p.ConsumeIntegral<uint32_t>(), w.value = p.ConsumeIntegral<uint32_t>();
        return w;
    };
    sys.debuggerApi = [&p] { return vorq::DebuggerApiRead{p.ConsumeBool(), p.ConsumeBool(), p.ConsumeBool()}; };
    sys.pebDebugger = [&p] {
        vorq::PebDebuggerRead r;
        r.available = p.ConsumeBool(), r.status = p.ConsumeIntegral<int32_t>(), r.peb = p.ConsumeIntegral<uint64_t>();
        r.readOk = p.ConsumeBool(), r.bytesRead = p.ConsumeIntegral<uint64_t>(), r.beingDebugged = p.ConsumeIntegral<uint8_t>();
        return r;
    };
    sys.nativeDebug = [&p] {
        vorq::NativeDebugRead r;
        r.available = p.ConsumeBool();
        r.portStatus = p.ConsumeIntegral<int32_t>(), r.port = p.ConsumeIntegral<uint64_t>();
        r.flagsStatus = p.ConsumeIntegral<int32_t>(), r.flags = p.ConsumeIntegral<uint32_t>();
        r.objectStatus = p.ConsumeIntegral<int32_t>(), r.object = p.ConsumeIntegral<uint64_t>();
        return r;
    };
    sys.moduleLoaded = [&p](const std::string&) { return p.ConsumeBool(); };
    sys.moduleExport = [&p](const std::string&, const std::string&) { return p.ConsumeIntegralInRange<int>(-1, 1); };
    sys.systemMetric = [&p](int) { return p.ConsumeIntegral<int>(); };
    if (p.ConsumeBool())
        env.readRouteTables = [&p] {
            vorq::RouteTablesRead r;
            r.routesOk = p.ConsumeBool(), r.routeCount = p.ConsumeIntegral<uint64_t>();
            r.routes.resize(Count(p, 8));
            for (vorq::RouteRow& row : r.routes)
                row.loopback = p.ConsumeBool(), row.prefixLength = p.ConsumeIntegral<uint8_t>(),
                row.validLifetime = p.ConsumeIntegral<uint32_t>();
            r.neighborsOk = p.ConsumeBool(), r.neighborCount = p.ConsumeIntegral<uint64_t>();
            return r;
        };
    if (p.ConsumeBool())
        env.queryWtsProtocol = [&p] { return vorq::WtsProtocolRead{p.ConsumeBool(), p.ConsumeIntegral<uint16_t>()}; };
    if (p.ConsumeBool())
        env.queryNativeVhdBoot = [&p] { return vorq::NativeVhdRead{p.ConsumeBool(), p.ConsumeBool(), p.ConsumeBool()}; };
    vorq::CollectVmFrom(s, env);
}

void CrossChecks(P& p, vorq::Snapshot& s) {
    // The checks compare what other collectors wrote: a few of those facts first.
    for (size_t n = Count(p, 8); n--;) {
        std::string key = Text(p, 32);
        s.facts[std::move(key)] = Text(p, 48);
    }
    vorq::CrossChecksSource in;
    in.wmiUuid = Text(p), in.wmiBoardSerial = Text(p), in.totalPhysicalBytes = p.ConsumeIntegral<uint64_t>();
    vorq::CollectCrossChecksFrom(s, in);
}

using Collector = void (*)(P&, vorq::Snapshot&);
// The order is the seeds' first byte: append, never reorder.
constexpr Collector kCollectors[] = {Drivers, Network, Display, Devices, Windows, Microsoft,
                                     Platform, Tpm, Cpu, Storage, Vm, CrossChecks};

void CheckSnapshot(const vorq::Snapshot& s) {
    using vorq::fuzz::IsUtf8;
    for (const vorq::Signal& sig : s.signals)
        if (!IsUtf8(sig.key) || !IsUtf8(sig.name) || !IsUtf8(sig.value) || !IsUtf8(sig.note)) abort();
    for (const vorq::Table& t : s.tables)
        if (vorq::fuzz::CheckTable(s, t.id) < 0 || !IsUtf8(t.note)) abort();
    for (const auto& [key, value] : s.facts)
        if (!IsUtf8(value)) abort();
    for (const std::string& n : s.notes)
        if (!IsUtf8(n)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FuzzedDataProvider p(data + 1, size - 1);
    vorq::Snapshot s;
    kCollectors[data[0] % std::size(kCollectors)](p, s);
    CheckSnapshot(s);
    return 0;
}
