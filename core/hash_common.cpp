#include "core/hash.h"
#include "core/text.h"

namespace vorq {

std::string Sha256Hex(const void* data, size_t n) { return HexEncode(Sha256(data, n)); }

}  // namespace vorq
