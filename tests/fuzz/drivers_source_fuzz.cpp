// Any kernel-driver answers: service names and image paths, version texts,
// catalog and embedded signature results with any signer chains and EKUs,
// verification failures. Classification and the drivers table stay UTF-8 and
// every row gets a class.
#include <cstdlib>

#include "collectors/trust/drivers.h"
#include "tests/fuzz/fuzz_source.h"

namespace {

using vorq::fuzz::Feed;

// Trust results: mostly the codes the classification knows, sometimes any.
uint32_t Result(Feed& f) {
    static const uint32_t kResults[] = {0, 0x800B0100, 0x800B0101, 0x800B0109, 0x800B010C, 0x80096010,
                                        0x800B0111, 0x800B0004, 0x80092026, 0x8009200D, 0x800B010A, 0x80004005};
    return f.Bool() ? kResults[f.Count(std::size(kResults) - 1)] : f.Int<uint32_t>();
}

vorq::SignatureVerdict Verdict(Feed& f) {
    vorq::SignatureVerdict v;
    v.result = Result(f);
    v.signer.hasLeaf = f.Bool();
    v.signer.signer = f.Text();
    v.signer.chainRoot = f.Text();
    static const char* const kEkus[] = {"1.3.6.1.4.1.311.10.3.5", "1.3.6.1.4.1.311.10.3.5.1", "1.3.6.1.4.1.311.10.3.6",
                                        "1.3.6.1.4.1.311.61.4.1", "1.3.6.1.5.5.7.3.3"};
    v.signer.ekus.resize(f.Count(4));
    for (std::string& e : v.signer.ekus) e = f.Bool() ? kEkus[f.Count(std::size(kEkus) - 1)] : f.Text(24);
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    Feed f{provider};
    vorq::DriversSource src;
    src.failure = f.Bool() ? "" : f.Text();
    src.rows.resize(f.Count(8));
    for (vorq::DriverRow& row : src.rows) {
        row.name = f.Text(24);
        row.displayName = f.Text();
        row.imagePath = f.Text(64);
        row.company = vorq::NormalizeCompanyName(f.Text());
        row.description = f.Text();
        row.version = f.Text(24);
        switch (f.Count(3)) {
            case 0: {
                std::optional<vorq::SignatureVerdict> catalog;
                if (f.Bool()) catalog = Verdict(f);
                vorq::DecideSignature(row, catalog, [&f] { return Verdict(f); },
                                      [&f](uint32_t r) { return "0x" + std::to_string(r) + f.Text(8); });
                if (row.signatureClass.empty()) abort();
                break;
            }
            case 1:
                vorq::MarkVerificationFailure(row, f.Int<uint32_t>(), f.Text());
                break;
            case 2:
                row.imageFound = false;
                row.signatureClass = vorq::kClassImageNotFound;
                break;
            default:
                break;  // not verified
        }
    }
    vorq::Snapshot s;
    vorq::CollectDriversFrom(s, src);
    vorq::fuzz::CheckSnapshot(s);
    return 0;
}
