// Any firmware-variable reads and ESRT rows: variables of any content and
// reported size (also larger than the buffer, or too large for the first
// buffer), any ESRT values, any boot-configuration and guest-parameter texts.
// The collector stays inside its buffers and writes well-formed tables.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

#include "collectors/processor/uefi.h"
#include "tests/fuzz/fuzz_checks.h"

namespace {

// Texts as the registry readers hand them over: UTF-8 (here printable ASCII).
std::string Text(FuzzedDataProvider& in) {
    std::string t = in.ConsumeRandomLengthString(64);
    for (char& c : t)
        if (c < 0x20 || c > 0x7E) c = '?';
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    vorq::UefiSource src;
    src.esrt = [&] {
        std::vector<vorq::EsrtEntry> rows(in.ConsumeIntegralInRange<size_t>(0, 8));
        for (vorq::EsrtEntry& e : rows) {
            e.guid = Text(in);
            e.type = in.ConsumeIntegral<uint32_t>();
            e.version = in.ConsumeIntegral<uint32_t>();
            e.lowestSupported = in.ConsumeIntegral<uint32_t>();
            e.lastAttemptVersion = in.ConsumeIntegral<uint32_t>();
            e.lastAttemptStatus = in.ConsumeIntegral<uint32_t>();
        }
        return rows;
    };
    src.firmwareType = [&] { return in.ConsumeIntegralInRange<uint32_t>(0, 3); };
    src.systemEnvironmentPrivilege = [&](bool) { return in.ConsumeBool(); };
    src.getVariable = [&](const std::string&, const std::string&, void* buffer, uint32_t bufferSize, uint32_t* error) {
        if (in.ConsumeBool()) {
            static constexpr uint32_t kErrors[] = {122, 1314, 203, 1, 5};
            *error = in.PickValueInArray(kErrors);
            return uint32_t{0};
        }
        const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<uint32_t>(0, 4096));
        if (!bytes.empty()) std::memcpy(buffer, bytes.data(), bytes.size() < bufferSize ? bytes.size() : bufferSize);
        return in.ConsumeBool() ? static_cast<uint32_t>(bytes.size()) : in.ConsumeIntegral<uint32_t>();
    };
    src.certNamer = [&](const uint8_t*, size_t, std::string* subject, std::string* issuer) {
        *subject = Text(in);
        *issuer = Text(in);
        return in.ConsumeBool();
    };
    src.regString = [&](const std::string&, const std::string&, std::string* out) {
        *out = Text(in);
        return in.ConsumeBool();
    };
    src.regMultiSz = [&](const std::string&, const std::string&, std::vector<std::string>* out) {
        out->resize(in.ConsumeIntegralInRange<size_t>(0, 6));
        for (std::string& v : *out) v = Text(in);
        return in.ConsumeBool();
    };
    src.guestParameters = [&](int32_t* status) {
        std::vector<std::pair<std::string, std::string>> values(in.ConsumeIntegralInRange<size_t>(0, 6));
        for (auto& [name, text] : values) {
            name = Text(in);
            text = Text(in);
        }
        *status = in.ConsumeBool() ? 0 : in.ConsumeIntegral<int32_t>();
        return values;
    };
    src.generationId = [&] {
        vorq::GenerationIdRead g;
        g.opened = in.ConsumeBool();
        g.openError = in.ConsumeIntegral<uint32_t>();
        g.readOk = in.ConsumeBool();
        g.readError = in.ConsumeIntegral<uint32_t>();
        for (uint8_t& b : g.bytes) b = in.ConsumeIntegral<uint8_t>();
        return g;
    };
    src.errorText = [](uint32_t code) { return "error " + std::to_string(code); };

    vorq::Snapshot s;
    vorq::CollectUefiFrom(s, src);
    for (const vorq::Table& t : s.tables)
        if (vorq::fuzz::CheckTable(s, t.id) < 0) abort();
    return 0;
}
