// Any network source: interfaces with any address length, DUIDs, profile
// signatures and dates, Bluetooth radios and devices, modem answers. The
// collector stays inside its buffers and writes UTF-8.
#include <cstdlib>

#include "collectors/devices/network.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

vorq::SystemTimeFields Time(vorq::fuzz::Feed& f) {
    vorq::SystemTimeFields t;
    for (uint16_t* v : {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second, &t.milliseconds})
        *v = f.Int<uint16_t>();
    return t;
}

void Mac(vorq::fuzz::Feed& f, uint8_t* p, size_t n) {
    const vorq::Bytes b = f.in.ConsumeBytes<uint8_t>(n);
    for (size_t i = 0; i < b.size(); ++i) p[i] = b[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    vorq::fuzz::Feed f{provider};
    vorq::NetworkSource in;
    in.elevated = f.Bool();
    in.ifTableOk = f.Bool();
    in.interfaces.resize(f.Count(6));
    for (vorq::NetIfRow& r : in.interfaces) {
        r.guid.Data1 = f.Int<uint32_t>();
        r.description = f.Text();
        r.type = f.Word();
        r.medium = f.Word();
        r.hardware = f.Bool();
        r.filter = f.Bool();
        r.operStatus = f.Word();
        r.mediaConnectState = f.Word();
        r.transmitLinkSpeed = f.Int<uint64_t>();
        r.addressLength = f.Bool() ? f.in.ConsumeIntegralInRange<uint32_t>(0, 8) : f.Int<uint32_t>();
        Mac(f, r.current, vorq::kMaxMacBytes);
        Mac(f, r.permanent, vorq::kMaxMacBytes);
    }
    in.duidFound = f.Bool();
    in.duid = f.Blob(160);
    in.signatures.resize(f.Count(6));
    for (vorq::NetSignature& sig : in.signatures) {
        sig.profileGuid = f.Text();
        sig.dnsSuffix = f.Text();
        sig.gatewayMac = f.Blob(16);
    }
    in.profiles.resize(f.Count(6));
    for (vorq::NetProfile& p : in.profiles) {
        p.guid = f.Text();
        p.name = f.Text();
        p.category = f.Word();
        p.nameType = f.Word();
        p.created = f.Blob(24);
        p.lastConnected = f.Blob(24);
    }
    in.radios.resize(f.Count(3));
    for (vorq::BtRadio& r : in.radios) {
        r.name = f.Text();
        Mac(f, r.address, 6);
        r.manufacturer = f.Int<uint16_t>();
        r.lmpSubversion = f.Int<uint16_t>();
        r.classOfDevice = f.Int<uint32_t>();
    }
    in.btDevices.resize(f.Count(6));
    for (vorq::BtDevice& d : in.btDevices) {
        d.name = f.Text();
        Mac(f, d.address, 6);
        d.classOfDevice = f.Int<uint32_t>();
        d.connected = f.Bool();
        d.authenticated = f.Bool();
        d.lastSeen = Time(f);
        d.lastUsed = Time(f);
    }
    in.modem.outcome = static_cast<vorq::ModemOutcome>(f.in.ConsumeIntegralInRange<int>(0, 2));
    in.modem.failure = f.Text();
    for (std::string* t : {&in.modem.imei, &in.modem.deviceId, &in.modem.manufacturer, &in.modem.model,
                           &in.modem.firmware})
        *t = f.Text();
    vorq::Snapshot s;
    vorq::CollectNetworkFrom(s, in);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
