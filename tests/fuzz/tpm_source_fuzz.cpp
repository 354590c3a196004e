// Any TPM answers with the Windows records around them: command replies of
// any bytes and length, the EK certificate cache, the provisioning record
// with its PCR subkeys, the measured-boot log and the key status. The
// collector stays inside its buffers and writes UTF-8 rows no longer than
// their columns.
#include <cstdlib>
#include <cstring>

#include "collectors/trust/tpm.h"
#include "tests/fuzz/fuzz_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorq;
    FuzzedDataProvider provider(data, size);
    fuzz::Feed f{provider};
    TpmSource src;
    src.deviceResult = f.Bool() ? 0 : f.Int<uint32_t>();
    src.device.tpmVersion = f.Bool() ? 2 : f.Word();
    src.device.interfaceType = f.Word();
    src.openContext = [&f] { return f.Bool() ? 0u : f.Int<uint32_t>(); };
    src.transport = [&f](const TpmBytes&, uint8_t* reply, uint32_t& len) -> uint32_t {
        if (!f.Bool()) return f.Int<uint32_t>();
        const Bytes answer = f.in.ConsumeBytes<uint8_t>(f.Count(len));
        if (!answer.empty()) std::memcpy(reply, answer.data(), answer.size());
        // The reported length need not match what was written.
        len = f.Bool() ? static_cast<uint32_t>(answer.size()) : f.Int<uint32_t>();
        return 0;
    };
    src.ekCertCache = [&f] {
        std::vector<CachedEkCert> certs(f.Count(3));
        for (CachedEkCert& c : certs) {
            c.slot = f.Bool() ? "RSA (Windows cache)" : "ECC (Windows cache)";
            c.der = f.Blob(2048);
        }
        return certs;
    };
    src.readProvisioning = [&f] {
        ProvisioningInputs p;
        p.record.wmi = f.Values();
        p.record.provisionInfo = f.Values();
        p.record.taskStates = f.Values();
        p.record.pcrSubkeys.resize(f.Count(4));
        for (std::u16string& k : p.record.pcrSubkeys) k = f.Wide(16);
        p.readPcrRecord = [&f](const std::u16string&) { return f.Values(); };
        p.hresultText = [&f](uint32_t code) { return "HRESULT " + std::to_string(code) + f.Text(8); };
        return p;
    };
    src.logSize = [&f] { return f.Bool() ? f.Count(4096) : f.Int<uint64_t>(); };
    src.readLog = [&f](uint64_t n) { return f.in.ConsumeBytes<uint8_t>(f.Count(n < 65536 ? n : 65536)); };
    src.keyStatus = [&f] {
        TpmKeyResult k;
        k.providerOk = f.Bool();
        k.exists = f.Bool();
        k.challengeOk = f.Bool();
        k.exportable = f.Bool();
        for (std::string* t : {&k.message, &k.algorithm, &k.publicKeyHash, &k.nonce, &k.signature}) *t = f.Text(64);
        k.signMs = f.in.ConsumeFloatingPoint<double>();
        k.openStatus = f.Bool() ? 0 : f.Int<uint32_t>();
        return k;
    };
    Snapshot s;
    CollectTpmFrom(s, src);
    fuzz::CheckSnapshot(s);
    return 0;
}
