// Texts firmware writes where the manufacturer left a field unset. The SMBIOS
// collector ignores them for identity, and a privacy-safe report never takes
// them for values to mask elsewhere. Platform-free.
#pragma once

#include <string_view>

namespace vorq {

// A text the manufacturer left unset ("To Be Filled By O.E.M.", "0000", ...).
bool IsPlaceholderValue(std::string_view text);

// Whether a volume label is one Windows setup, a maker or Windows' format
// gives (core/windows_defaults.tsv: "Windows", "System Reserved", "Recovery",
// "OS", "New Volume" and their translations, the media creation tool's
// "ESD-USB", none): any other label a person typed. The storage collector
// reads it for volumes, the device collector for drives shown as portable
// devices.
bool IsDefaultVolumeLabel(std::string_view label);

// Whether a network profile's name is one Windows gives: "Network",
// "Network 2", ... in the languages of core/windows_defaults.tsv ("Netzwerk
// 3", "Réseau 4").
bool IsDefaultNetworkName(std::string_view name);

// Whether a registered owner is one Windows or a maker writes ("Windows User").
bool IsDefaultOwnerName(std::string_view owner);
// A name Windows gives one of its built-in accounts (Administrator, Guest,
// DefaultAccount, WDAGUtilityAccount) in one of the page's languages. A
// built-in account known by its RID is shown only under such a name: renamed,
// it is a person's.
bool IsBuiltInAccountName(std::string_view name);

// The GPT type of an EFI system partition, as FormatGuid writes it.
inline constexpr char kEfiSystemPartitionType[] = "C12A7328-F81F-11D2-BA4B-00A0C93EC93B";

// Whether a partition type is one setup makes and labels itself: the GPT
// types of the EFI system, Microsoft reserved and Windows recovery partitions
// (a GUID with or without braces) and the MBR types of the EFI system (0xEF)
// and recovery (0x27) partitions ("0xEF"). Its volume's label is setup's.
bool IsSetupPartitionType(std::string_view type);

// Whether a volume label restates its disk's model, as makers label the
// drives they format ("My Passport" on "WD My Passport 25E2", "T7" on
// "Samsung PSSD T7"): each of its words is one of the model's.
bool IsModelLabel(std::string_view label, std::string_view model);

// A home router's or an internal network's default domain ("home", "lan",
// "fritz.box", "local", "localdomain", "home.arpa", "corp", "internal",
// "workgroup"): a DNS suffix nobody chose, and no organization's name.
bool IsInternalNetworkDefault(std::string_view domain);

// A text in a place where a person types that names nobody because a tool,
// a router or Windows wrote it: "localhost" (a developer tool's certificate),
// a router's or an internal network's default domain, a firmware placeholder, a name Windows gives a network, a volume or an owner
// (core/windows_defaults.tsv). A privacy-safe report shows it.
bool IsDefaultTypedText(std::string_view text);

}  // namespace vorq
