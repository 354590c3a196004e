// Texts firmware writes where the manufacturer left a field unset. The SMBIOS
// collector ignores them for identity, and a privacy-safe report never takes
// them for values to mask elsewhere. Platform-free.
#pragma once

#include <string_view>

namespace vorq {

// A text the manufacturer left unset ("To Be Filled By O.E.M.", "0000", ...).
bool IsPlaceholderValue(std::string_view text);

// Whether a volume label is one Windows setup, a maker or Windows' format
// gives ("Windows", "System Reserved", "Recovery", "OS", "New Volume", none):
// any other label a person typed. The storage collector reads it for volumes,
// the device collector for drives shown as portable devices.
bool IsDefaultVolumeLabel(std::string_view label);

// A text in a place where a person types that names nobody because a tool,
// a router or Windows wrote it: "localhost" (a developer tool's certificate),
// a router's default DNS suffix ("home", "lan", "fritz.box", "local"), a
// firmware placeholder. A privacy-safe report shows it.
bool IsDefaultTypedText(std::string_view text);

}  // namespace vorq
