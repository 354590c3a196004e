// Measured-boot logs built record by record for the tests (and for the
// simulator recorder, which extends its PCRs with the same digests).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/hash.h"

namespace vorq::test {

class TcgLogBuilder {
public:
    using Bytes = std::vector<uint8_t>;

    // A crypto-agile log: its Spec ID header names `algs` (id, digest size).
    static TcgLogBuilder Agile(std::vector<std::pair<uint16_t, uint16_t>> algs = {{0x0004, 20}, {0x000B, 32}},
                               int vendorSizeError = 0) {
        TcgLogBuilder b;
        b.agile_ = true;
        b.algs_ = algs;
        Bytes data(16, 0);
        const char sig[] = "Spec ID Event03";
        std::copy(sig, sig + 15, data.begin());
        Put32(data, 0);  // platform class
        data.push_back(0);
        data.push_back(2);
        data.push_back(0);
        data.push_back(2);
        Put32(data, static_cast<uint32_t>(algs.size()));
        for (const auto& [id, size] : algs) {
            Put16(data, id);
            Put16(data, size);
        }
        data.push_back(static_cast<uint8_t>(vendorSizeError));
        b.Legacy(0, 3, data);
        return b;
    }
    static TcgLogBuilder Legacy() { return TcgLogBuilder(); }

    // A legacy-form record (the first record of every log).
    TcgLogBuilder& Legacy(uint32_t pcr, uint32_t type, const Bytes& data) {
        Put32(bytes, pcr);
        Put32(bytes, type);
        const Bytes sha1 = Sha1Bytes(data);
        bytes.insert(bytes.end(), sha1.begin(), sha1.end());
        Put32(bytes, static_cast<uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        return *this;
    }

    // A crypto-agile record carrying every header algorithm, the SHA-256
    // digest being `sha256` (by default the digest of the data).
    TcgLogBuilder& Event(uint32_t pcr, uint32_t type, const Bytes& data, Bytes sha256 = {}) {
        if (sha256.empty()) sha256 = Sha256(data.data(), data.size());
        Put32(bytes, pcr);
        Put32(bytes, type);
        Put32(bytes, static_cast<uint32_t>(algs_.size()));
        for (const auto& [id, size] : algs_) {
            Put16(bytes, id);
            Bytes d = id == 0x000B ? sha256 : Bytes(size, static_cast<uint8_t>(id));
            d.resize(size);
            bytes.insert(bytes.end(), d.begin(), d.end());
        }
        Put32(bytes, static_cast<uint32_t>(data.size()));
        bytes.insert(bytes.end(), data.begin(), data.end());
        digests.emplace_back(pcr, type == 3 ? Bytes() : sha256);
        return *this;
    }

    static Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
    static Bytes Utf16(const std::u16string& s, bool terminator = true) {
        Bytes b;
        for (char16_t c : s) Put16(b, c);
        if (terminator) Put16(b, 0);
        return b;
    }
    static void Put16(Bytes& b, uint16_t v) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(v >> 8));
    }
    static void Put32(Bytes& b, uint32_t v) {
        Put16(b, static_cast<uint16_t>(v));
        Put16(b, static_cast<uint16_t>(v >> 16));
    }
    static void Put64(Bytes& b, uint64_t v) {
        Put32(b, static_cast<uint32_t>(v));
        Put32(b, static_cast<uint32_t>(v >> 32));
    }

    Bytes bytes;
    // (PCR, SHA-256 digest) of every agile event, in order; empty for EV_NO_ACTION.
    std::vector<std::pair<uint32_t, Bytes>> digests;

private:
    static Bytes Sha1Bytes(const Bytes& data) {
        Bytes out;
        const std::string hex = Sha1(data.data(), data.size());
        for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        if (out.size() != 20) out.assign(20, 0);
        return out;
    }
    bool agile_ = false;
    std::vector<std::pair<uint16_t, uint16_t>> algs_;
};

// A small crypto-agile boot: CRTM version, firmware blob, Secure Boot
// variables, separators for PCR 0-7, a boot application with its path.
inline TcgLogBuilder SampleBootLog() {
    using B = TcgLogBuilder;
    using D = TcgLogBuilder::Bytes;
    TcgLogBuilder log = B::Agile();
    log.Event(0, 8, B::Utf16(u"1.0.0"));
    D blob;
    B::Put64(blob, 0xFFC00000);
    B::Put64(blob, 0x10000);
    log.Event(0, 0x80000008, blob);
    D var(16, 0x61);
    B::Put64(var, 10);
    B::Put64(var, 1);
    const D name = B::Utf16(u"SecureBoot", false);
    var.insert(var.end(), name.begin(), name.end());
    var.push_back(1);
    log.Event(7, 0x80000001, var);
    D image;
    B::Put64(image, 0x1000);
    B::Put64(image, 0x2000);
    B::Put64(image, 0);
    D path = {4, 4, 0, 0};
    const D file = B::Utf16(u"\\EFI\\BOOT\\BOOTX64.EFI");
    path[2] = static_cast<uint8_t>(4 + file.size());
    path.insert(path.end(), file.begin(), file.end());
    path.insert(path.end(), {0x7F, 0xFF, 4, 0});
    B::Put64(image, path.size());
    image.insert(image.end(), path.begin(), path.end());
    log.Event(4, 0x80000003, image);
    for (uint32_t pcr = 0; pcr <= 7; ++pcr) log.Event(pcr, 4, D{0, 0, 0, 0});
    log.Event(14, 0x0D, B::Text("MokList"));
    return log;
}

}  // namespace vorq::test
