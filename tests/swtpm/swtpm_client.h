// Test-only access to a TPM simulator on a local TCP port (raw TPM 2.0
// command bytes, as the simulator's socket interface takes them), the
// provisioning a test TPM needs (done here, never by the product), and the
// recorded-exchange file format the unit tests replay.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "collectors/trust/tpm_queries.h"
#include "collectors/trust/tpm_transport.h"
#include "core/text.h"

namespace vorq::swtpm {

// The simulator's command port from VORQ_SWTPM_PORT (set by scripts/with-swtpm), or 0.
inline int PortFromEnvironment() {
    const char* p = std::getenv("VORQ_SWTPM_PORT");
    return p ? std::atoi(p) : 0;
}

class Connection {
public:
    explicit Connection(int port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    bool ok() const { return fd_ >= 0; }

    // A reply, or empty when the connection failed.
    TpmBytes Exchange(const TpmBytes& command) {
        if (!SendAll(command.data(), command.size())) return {};
        TpmBytes reply(10);
        if (!ReadAll(reply.data(), 10)) return {};
        const uint32_t size = static_cast<uint32_t>(reply[2]) << 24 | reply[3] << 16 | reply[4] << 8 | reply[5];
        if (size < 10 || size > 65536) return {};
        reply.resize(size);
        if (!ReadAll(reply.data() + 10, size - 10)) return {};
        return reply;
    }

    // The channel's transport; a failed exchange is a TBS-style failure.
    TpmTransport Transport(std::vector<std::pair<TpmBytes, TpmBytes>>* record = nullptr) {
        return [this, record](const TpmBytes& command, uint8_t* reply, uint32_t& replyLen) -> uint32_t {
            const TpmBytes r = Exchange(command);
            if (record) record->emplace_back(command, r);
            if (r.empty() || r.size() > replyLen) return 0x80284001;  // internal error
            std::copy(r.begin(), r.end(), reply);
            replyLen = static_cast<uint32_t>(r.size());
            return 0;
        };
    }

private:
    bool SendAll(const uint8_t* p, size_t n) {
        while (n) {
            const ssize_t k = send(fd_, p, n, MSG_NOSIGNAL);
            if (k <= 0) return false;
            p += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    }
    bool ReadAll(uint8_t* p, size_t n) {
        while (n) {
            const ssize_t k = recv(fd_, p, n, 0);
            if (k <= 0) return false;
            p += k;
            n -= static_cast<size_t>(k);
        }
        return true;
    }
    int fd_ = -1;
};

inline uint32_t ResponseCode(const TpmBytes& r) {
    return r.size() < 10 ? 0xFFFFFFFF : static_cast<uint32_t>(r[6]) << 24 | r[7] << 16 | r[8] << 8 | r[9];
}

// The empty-password session of a command with an authorization area.
inline void PutPasswordSession(TpmBytes& b) {
    PutU32(b, 9);
    PutU32(b, 0x40000009);
    PutU16(b, 0);
    PutU8(b, 0);
    PutU16(b, 0);
}

inline void PutSized(TpmBytes& b, const TpmBytes& data) {
    PutU16(b, static_cast<uint16_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
}

constexpr uint32_t kRhOwner = 0x40000001, kRhEndorsement = 0x4000000B, kRhPlatform = 0x4000000C;
constexpr uint32_t kEkHandle = 0x81010001, kEkCertIndex = 0x01C00002;

// The RSA 2048 endorsement key of the TCG default template, created under
// the endorsement hierarchy and persisted at 0x81010001.
inline uint32_t ProvisionEndorsementKey(Connection& c) {
    TpmBytes pub;
    PutU16(pub, kTpmAlgRsa);
    PutU16(pub, kTpmAlgSha256);
    PutU32(pub, 0x000300B2);  // fixedTPM, fixedParent, sensitiveDataOrigin, adminWithPolicy, restricted, decrypt
    static const char kPolicy[] = "837197674484B3F81A90CC8D46A5D724FD52D76E06520B64F2A1DA1B331469AA";
    TpmBytes policy;
    for (size_t i = 0; i + 1 < sizeof kPolicy; i += 2)
        policy.push_back(static_cast<uint8_t>(HexDigitValue(kPolicy[i]) << 4 | HexDigitValue(kPolicy[i + 1])));
    PutSized(pub, policy);
    PutU16(pub, 0x0006);  // AES
    PutU16(pub, 128);
    PutU16(pub, 0x0043);  // CFB
    PutU16(pub, kTpmAlgNull);
    PutU16(pub, 2048);
    PutU32(pub, 0);
    PutSized(pub, TpmBytes(256, 0));

    TpmBytes create = BuildTpm2CommandHeader(kTpmStSessions, 0x131);
    PutU32(create, kRhEndorsement);
    PutPasswordSession(create);
    PutU16(create, 4);  // inSensitive: empty userAuth and data
    PutU16(create, 0);
    PutU16(create, 0);
    PutSized(create, pub);
    PutU16(create, 0);  // outsideInfo
    PutU32(create, 0);  // creationPCR
    PatchCommandSize(create);
    const TpmBytes created = c.Exchange(create);
    if (ResponseCode(created) != 0) return ResponseCode(created);
    const uint32_t transient = static_cast<uint32_t>(created[10]) << 24 | created[11] << 16 | created[12] << 8 | created[13];

    TpmBytes evict = BuildTpm2CommandHeader(kTpmStSessions, 0x120);
    PutU32(evict, kRhOwner);
    PutU32(evict, transient);
    PutPasswordSession(evict);
    PutU32(evict, kEkHandle);
    PatchCommandSize(evict);
    const uint32_t rc = ResponseCode(c.Exchange(evict));

    TpmBytes flush = BuildTpm2CommandHeader(kTpmStNoSessions, 0x165);
    PutU32(flush, transient);
    PatchCommandSize(flush);
    c.Exchange(flush);
    return rc;
}

// Defines the RSA EK certificate index 0x01C00002 under the platform
// hierarchy (as firmware does) and writes `cert` into it.
inline uint32_t ProvisionEkCertificate(Connection& c, const TpmBytes& cert) {
    // PPWRITE, PPREAD, OWNERREAD, AUTHREAD, NO_DA, PLATFORMCREATE
    constexpr uint32_t kAttributes = 0x00000001 | 0x00010000 | 0x00020000 | 0x00040000 | 0x02000000 | 0x40000000;
    TpmBytes define = BuildTpm2CommandHeader(kTpmStSessions, 0x12A);
    PutU32(define, kRhPlatform);
    PutPasswordSession(define);
    PutU16(define, 0);  // auth
    TpmBytes nvPublic;
    PutU32(nvPublic, kEkCertIndex);
    PutU16(nvPublic, kTpmAlgSha256);
    PutU32(nvPublic, kAttributes);
    PutU16(nvPublic, 0);
    PutU16(nvPublic, static_cast<uint16_t>(cert.size()));
    PutSized(define, nvPublic);
    PatchCommandSize(define);
    uint32_t rc = ResponseCode(c.Exchange(define));
    for (size_t offset = 0; rc == 0 && offset < cert.size(); offset += 512) {
        const size_t n = std::min<size_t>(512, cert.size() - offset);
        TpmBytes write = BuildTpm2CommandHeader(kTpmStSessions, 0x137);
        PutU32(write, kRhPlatform);
        PutU32(write, kEkCertIndex);
        PutPasswordSession(write);
        PutSized(write, TpmBytes(cert.begin() + static_cast<std::ptrdiff_t>(offset),
                                 cert.begin() + static_cast<std::ptrdiff_t>(offset + n)));
        PutU16(write, static_cast<uint16_t>(offset));
        PatchCommandSize(write);
        rc = ResponseCode(c.Exchange(write));
    }
    return rc;
}

// Extends PCR `pcr` of the SHA-256 bank with `digest`, as firmware does
// while it measures the boot.
inline uint32_t ExtendPcr(Connection& c, uint32_t pcr, const TpmBytes& digest) {
    TpmBytes extend = BuildTpm2CommandHeader(kTpmStSessions, 0x182);
    PutU32(extend, pcr);
    PutPasswordSession(extend);
    PutU32(extend, 1);
    PutU16(extend, kTpmAlgSha256);
    extend.insert(extend.end(), digest.begin(), digest.end());
    PatchCommandSize(extend);
    return ResponseCode(c.Exchange(extend));
}

// Recorded exchanges: "> command" and "< reply" lines in hexadecimal; lines
// starting with '#' are comments.
inline void WriteExchanges(const std::string& path, const std::string& comment,
                           const std::vector<std::pair<TpmBytes, TpmBytes>>& exchanges) {
    std::ofstream f(path);
    f << "# " << comment << "\n";
    for (const auto& [command, reply] : exchanges) f << "> " << HexEncode(command) << "\n< " << HexEncode(reply) << "\n";
}

}  // namespace vorq::swtpm
