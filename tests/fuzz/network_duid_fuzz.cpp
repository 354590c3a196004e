// Any bytes as the registry's DHCPv6 DUID value: decoding stays inside the
// data and the embedded address never exceeds the longest hardware address.
#include <cstdint>
#include <cstdlib>

#include "collectors/devices/network.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vorq::DuidInfo d = vorq::DecodeDuid(data, size);
    if (d.valid != (size >= 4)) abort();
    if (!d.valid && (!d.kind.empty() || !d.mac.empty())) abort();
    if (d.valid && d.kind.empty()) abort();
    if (d.mac.size() > vorq::kMaxMacBytes * 3 - 1) abort();
    if (!d.mac.empty() && d.kind != "DUID-LLT" && d.kind != "DUID-LL") abort();

    vorq::NetworkSource in;
    in.duidFound = true;
    in.duid.assign(data, data + size);
    vorq::Snapshot s;
    vorq::CollectNetworkFrom(s, in);
    if (vorq::HasFact(s, "net.duid_kind") != d.valid) abort();
    return 0;
}
