// Any device list and peripheral answers: device properties with any instance
// ids and hardware ids, biometric units from fixed-size wide fields, audio
// endpoints, smart-card reader attributes and printers. The collector writes
// UTF-8 rows no longer than their columns.
#include <cstdlib>

#include "collectors/devices/devices.h"
#include "collectors/devices/peripherals.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

using vorq::fuzz::Feed;

vorq::BiometricScan Biometrics(Feed& f) {
    vorq::BiometricScan scan;
    scan.unavailable = f.Bool();
    scan.error = f.Text();
    scan.factors.resize(f.Count(3));
    for (vorq::BiometricFactorResult& r : scan.factors) {
        r.factor = vorq::kBiometricFactors[f.Count(2)].name;
        r.failed = f.Bool();
        r.error = f.Text();
        r.units.resize(f.Count(3));
        for (vorq::BiometricUnit& u : r.units) {
            u.unitId = f.Word();
            // Fixed-size wide fields, not necessarily terminated.
            for (std::string* t : {&u.description, &u.manufacturer, &u.model, &u.serial, &u.firmware, &u.instance}) {
                const std::u16string w = f.Wide(24);
                *t = vorq::WideFieldToUtf8(w.data(), f.Count(w.size()));
            }
        }
    }
    return scan;
}

vorq::AudioScan Audio(Feed& f) {
    vorq::AudioScan scan;
    scan.available = f.Bool();
    scan.error = f.Text();
    scan.endpoints.resize(f.Count(6));
    for (vorq::AudioEndpoint& e : scan.endpoints) {
        e.state = f.Word();
        e.capture = f.Bool();
        e.name = f.Text();
        e.adapter = f.Text();
        e.hasFormFactor = f.Bool();
        e.formFactor = f.Word();
        e.id = f.Text();
    }
    return scan;
}

vorq::SmartCardScan SmartCards(Feed& f) {
    vorq::SmartCardScan scan;
    scan.contextResult = f.Bool() ? 0 : f.Int<uint32_t>();
    scan.listResult = f.Bool() ? 0 : f.Int<uint32_t>();
    scan.readers.resize(f.Count(4));
    for (vorq::SmartCardReader& r : scan.readers) {
        r.name = f.Text();
        const vorq::Bytes vendor = f.Blob(40), type = f.Blob(40), serial = f.Blob(40);
        r.vendor = vorq::SmartCardAttributeText(vendor.data(), vendor.size());
        r.type = vorq::SmartCardAttributeText(type.data(), type.size());
        r.serial = vorq::SmartCardAttributeText(serial.data(), serial.size());
        r.version = vorq::SmartCardVersionText(f.Bool() ? 0 : f.Int<uint32_t>(), f.Word(), f.Int<uint32_t>());
    }
    return scan;
}

vorq::PrinterScan Printers(Feed& f) {
    vorq::PrinterScan scan;
    scan.ok = f.Bool();
    scan.error = f.Text();
    scan.defaultName = f.Text();
    scan.printers.resize(f.Count(5));
    for (vorq::PrinterEntry& p : scan.printers) {
        p.name = f.Bool() ? scan.defaultName : f.Text();
        p.driver = f.Text();
        p.port = f.Text();
        p.attributes = f.Int<uint32_t>();
    }
    return scan;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    Feed f{provider};
    vorq::DevicesSource src;
    src.listOpened = f.Bool();
    src.listError = f.Text();
    src.devices.resize(f.Count(12));
    for (vorq::DeviceProps& d : src.devices) {
        d.cls = f.Text(16);
        d.device = f.Text();
        d.manufacturer = f.Text();
        d.hardwareIds = f.Texts(4, 64);
        d.instanceId = f.Wide(64);
        d.provider = f.Text();
        d.version = f.Text(16);
        d.service = f.Text(16);
        d.containerId = f.Text(40);
        d.pcieLink = f.Text(16);
    }
    src.subInventories = [&](vorq::Snapshot& s) {
        vorq::AddBiometricTable(s, Biometrics(f));
        vorq::AddAudioTable(s, Audio(f));
        vorq::AddSmartCardTable(s, SmartCards(f));
        vorq::AddPrinterTable(s, Printers(f));
    };
    vorq::Snapshot s;
    vorq::CollectDevicesFrom(s, src);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
