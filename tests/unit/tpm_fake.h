// TPM replies for the unit tests: recorded simulator exchanges replayed by
// command bytes, and replies built by hand.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "collectors/trust/tpm_transport.h"
#include "core/text.h"
#include "tests/unit/test_support.h"

namespace vorq::test {

// A reply: header with the tag, the right size and the code, then `params`.
inline TpmBytes TpmReply(uint32_t rc, const TpmBytes& params = {}, uint16_t tag = kTpmStNoSessions) {
    TpmBytes b;
    PutU16(b, tag);
    PutU32(b, 0);
    PutU32(b, rc);
    b.insert(b.end(), params.begin(), params.end());
    PatchCommandSize(b);
    return b;
}

// Answers each command with the replies recorded for exactly those bytes,
// in recorded order (the last one repeats). Unknown commands fail the test.
class TpmReplay {
public:
    TpmReplay() = default;
    // A file of "> command" / "< reply" lines below tests/fixtures.
    explicit TpmReplay(const std::string& fixture) {
        const std::vector<uint8_t> raw = ReadFixture(fixture);
        std::istringstream in(std::string(raw.begin(), raw.end()));
        std::string line;
        TpmBytes command;
        while (std::getline(in, line)) {
            if (line.rfind("> ", 0) == 0) command = HexBytes(line.substr(2));
            if (line.rfind("< ", 0) == 0) Add(command, HexBytes(line.substr(2)));
        }
        EXPECT_FALSE(replies.empty()) << fixture;
    }
    void Add(const TpmBytes& command, const TpmBytes& reply, uint32_t tbs = 0) {
        replies[HexEncode(command)].push_back({reply, tbs});
    }
    // Replaces every reply recorded for `command`.
    void Set(const TpmBytes& command, const TpmBytes& reply, uint32_t tbs = 0) {
        replies[HexEncode(command)] = {{reply, tbs}};
    }
    TpmTransport Transport() {
        return [this](const TpmBytes& command, uint8_t* reply, uint32_t& len) -> uint32_t {
            sent.push_back(command);
            auto it = replies.find(HexEncode(command));
            if (it == replies.end()) {
                ADD_FAILURE() << "unrecorded command " << HexEncode(command);
                return 0x80284001;
            }
            const Entry e = it->second.front();
            if (it->second.size() > 1) it->second.pop_front();
            const size_t n = std::min<size_t>(e.reply.size(), len);
            std::copy(e.reply.begin(), e.reply.begin() + static_cast<std::ptrdiff_t>(n), reply);
            len = static_cast<uint32_t>(e.reply.size());
            return e.tbs;
        };
    }
    // The first reply recorded in `fixture` for `command`.
    static TpmBytes ReplyTo(const std::string& fixture, const TpmBytes& command) {
        TpmReplay r(fixture);
        const auto it = r.replies.find(HexEncode(command));
        return it == r.replies.end() ? TpmBytes() : it->second.front().reply;
    }
    std::vector<TpmBytes> sent;

private:
    struct Entry {
        TpmBytes reply;
        uint32_t tbs;
    };
    std::map<std::string, std::deque<Entry>> replies;  // by the command's hex text
};

}  // namespace vorq::test
