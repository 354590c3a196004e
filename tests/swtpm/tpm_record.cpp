// Records the TPM exchanges of the collector's queries from the simulator
// into the fixture files the unit tests replay:
//   scripts/with-swtpm build/host/tpm_record tests/fixtures/tpm
// "swtpm-fresh.txt" is a just-manufactured simulator; "swtpm-provisioned.txt"
// the same after this recorder persisted an endorsement key at 0x81010001
// and wrote a certificate for that key (issued by a throwaway test CA, kept
// as "ek-cert.der") into NV index 0x01C00002, and extended the
// SHA-256 PCRs with the digests of the sample boot log it writes as
// "boot-agile.log".
#include <cstdio>
#include <fstream>
#include <iterator>

#include "collectors/trust/tpm.h"
#include "tests/swtpm/ek_cert_maker.h"
#include "tests/swtpm/swtpm_client.h"
#include "tests/unit/tcg_log_builder.h"

namespace {

using namespace vorq;
using Exchanges = std::vector<std::pair<TpmBytes, TpmBytes>>;

// The collector's commands, then the NV reads of the certificate index.
Exchanges Record(swtpm::Connection& c) {
    Exchanges record;
    TpmSource src;
    src.deviceResult = 0;
    src.device.tpmVersion = 2;
    src.openContext = [] { return 0u; };
    src.transport = c.Transport(&record);
    Snapshot s;
    CollectTpmFrom(s, src);
    TpmChannel ch;
    ch.transport = c.Transport(&record);
    const TpmPropertyMap props = GetTpmProperties(ch);
    const NvPublicInfo info = NvReadPublic(ch, swtpm::kEkCertIndex);
    TpmBytes bytes;
    CommandResult result;
    NvRead(ch, swtpm::kEkCertIndex, info, NvChunkSize(props), bytes, result);
    return record;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || swtpm::PortFromEnvironment() == 0) {
        std::fprintf(stderr, "usage: scripts/with-swtpm tpm_record <fixture folder>\n");
        return 2;
    }
    const std::string dir = argv[1];
    swtpm::Connection c(swtpm::PortFromEnvironment());
    if (!c.ok()) {
        std::fprintf(stderr, "no simulator on the port\n");
        return 1;
    }
    swtpm::WriteExchanges(dir + "/swtpm-fresh.txt", "swtpm 0.7.1 (libtpms), just manufactured", Record(c));

    const uint32_t ek = swtpm::ProvisionEndorsementKey(c);
    TpmChannel ch;
    ch.transport = c.Transport();
    const PublicAreaInfo ekPublic = ReadPublicKey(ch, swtpm::kEkHandle);
    const TpmBytes cert = swtpm::MakeRsaEkCertificate(ekPublic.params.keyBytes, ekPublic.params.exponent);
    const uint32_t nv = cert.empty() ? 1 : swtpm::ProvisionEkCertificate(c, cert);
    std::ofstream(dir + "/ek-cert.der", std::ios::binary)
        .write(reinterpret_cast<const char*>(cert.data()), static_cast<std::streamsize>(cert.size()));
    const test::TcgLogBuilder log = test::SampleBootLog();
    uint32_t pcr = 0;
    for (const auto& [index, digest] : log.digests)
        if (!digest.empty() && pcr == 0) pcr = swtpm::ExtendPcr(c, index, digest);
    if (ek != 0 || nv != 0 || pcr != 0) {
        std::fprintf(stderr, "provisioning failed: EK 0x%X, certificate 0x%X, PCR extend 0x%X\n", ek, nv, pcr);
        return 1;
    }
    std::ofstream(dir + "/boot-agile.log", std::ios::binary)
        .write(reinterpret_cast<const char*>(log.bytes.data()), static_cast<std::streamsize>(log.bytes.size()));
    swtpm::WriteExchanges(dir + "/swtpm-provisioned.txt",
                          "swtpm 0.7.1 (libtpms), EK persisted at 0x81010001, ek-cert.der in NV 0x01C00002, "
                          "SHA-256 PCRs extended with boot-agile.log",
                          Record(c));
    return 0;
}
