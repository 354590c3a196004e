// Words for raw CPUID values: register bytes as text, microarchitecture
// names, the instruction-set extension list and the meaning of a dump row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collectors/processor/cpuid.h"

namespace vorq {

// The four bytes of a register, lowest first, as Latin-1 text that stops at
// the first NUL; control bytes become ".".
std::string RegisterText(uint32_t value);

void AddFlagName(std::vector<std::string>& list, bool bit, const char* name);

// vendor is the 12-character leaf-0 text; family and model the display values.
// Empty when nothing matches.
std::string GetMicroarchitectureName(std::string_view vendor, uint32_t family, uint32_t model);

// Names of the advertised extensions, joined by one space, in a fixed order.
std::string BuildFeatureList(const CpuidFn& cpuid, uint32_t maxBasic, uint32_t maxExtended);

// The "Meaning" cell of one dump row; empty for leaves without a description.
std::string DescribeCpuidLeaf(uint32_t leaf, uint32_t subleaf, const CpuidRegisters& r);

}  // namespace vorq
