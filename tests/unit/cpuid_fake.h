// A recorded CPUID table standing in for the processor.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "collectors/processor/cpuid.h"
#include "test_support.h"

namespace vorq::test {

struct FakeCpu {
    std::map<std::pair<uint32_t, uint32_t>, CpuidRegisters> regs;
    // Leaves the table does not list answer with this leaf's values, as Intel
    // parts answer out-of-range leaves with the highest basic leaf. 0: zeros.
    uint32_t fallbackLeaf = 0;
    bool useFallback = false;
    std::set<std::pair<uint32_t, uint32_t>> asked;

    void Set(uint32_t leaf, uint32_t sub, CpuidRegisters r) { regs[{leaf, sub}] = r; }

    CpuidRegisters Query(uint32_t leaf, uint32_t sub) {
        asked.insert({leaf, sub});
        auto it = regs.find({leaf, sub});
        if (it != regs.end()) return it->second;
        if (useFallback && !regs.count({leaf, 0})) {
            auto fb = regs.find({fallbackLeaf, sub});
            if (fb != regs.end()) return fb->second;
        }
        return {};
    }

    // Lines "LEAF SUB EAX EBX ECX EDX"; leaf and registers hex, sub-leaf decimal; '#' starts a comment.
    static FakeCpu Parse(const std::string& text) {
        FakeCpu cpu;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream l(line);
            uint32_t leaf, sub, a, b, c, d;
            l >> std::hex >> leaf >> std::dec >> sub >> std::hex >> a >> b >> c >> d;
            if (l) cpu.Set(leaf, sub, {a, b, c, d});
        }
        return cpu;
    }
};

// A table recorded from a real processor, below tests/fixtures/cpuid.
inline std::shared_ptr<FakeCpu> LoadCpu(const std::string& name) {
    const std::vector<uint8_t> bytes = ReadFixture("cpuid/" + name);
    return std::make_shared<FakeCpu>(FakeCpu::Parse(std::string(bytes.begin(), bytes.end())));
}

// A CpuidFn over a shared table, so the test can still change and inspect it.
inline CpuidFn Fn(const std::shared_ptr<FakeCpu>& cpu) {
    return [cpu](uint32_t leaf, uint32_t sub) { return cpu->Query(leaf, sub); };
}

// The four register bytes of a text of up to 4 characters, lowest first.
inline uint32_t Reg(const char* text) {
    uint32_t v = 0;
    for (int i = 0; i < 4 && text[i]; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(text[i])) << (8 * i);
    return v;
}

}  // namespace vorq::test
