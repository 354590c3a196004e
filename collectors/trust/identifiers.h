// Identifier tables of the Windows and Microsoft collectors: one row per
// identifier with the columns "Identifier", "Value", "Scope", "Source", and a
// signal beside each identifier row. Empty values add nothing.
#pragma once

#include <string>

#include "core/snapshot.h"

namespace vorq {

inline constexpr uint32_t kIdValueMask = 2;  // the Value column

// Whether a value is read from the machine or is a text Windows or the program
// gives ("not generated", "Microsoft Windows 10 Pro"), which a privacy-safe
// report never compares with the values it masks.
enum class ValueText { Data, Own };

Table MakeIdentifierTable(std::string tab, std::string id, std::string title, std::string note);

// A row (masked when sensitive) and the signal of category `category`.
void AddIdentifierRow(Snapshot& s, Table& t, const char* category, const char* key, const std::string& name,
                      const std::string& value, SignalScope scope, int32_t weight, const char* group, Sens sens,
                      const std::string& source, const std::string& note, ValueText text = ValueText::Data);

// A row with the scope word "state" and no signal.
void AddStateRow(Table& t, const std::string& name, const std::string& value, const std::string& source,
                 Sens sens = Sens::No, ValueText text = ValueText::Data);

}  // namespace vorq
