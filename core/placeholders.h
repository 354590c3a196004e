// Texts firmware writes where the manufacturer left a field unset. The SMBIOS
// collector ignores them for identity, and a privacy-safe report never takes
// them for values to mask elsewhere. Platform-free.
#pragma once

#include <string_view>

namespace vorq {

// A text the manufacturer left unset ("To Be Filled By O.E.M.", "0000", ...).
bool IsPlaceholderValue(std::string_view text);

}  // namespace vorq
