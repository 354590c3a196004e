// Identifier tables of the Windows and Microsoft collectors: one row per
// identifier with the columns "Identifier", "Value", "Scope", "Source", and a
// signal beside each identifier row. Empty values add nothing.
#pragma once

#include <string>

#include "core/snapshot.h"

namespace vorq {

Table MakeIdentifierTable(std::string tab, std::string id, std::string title, std::string note);

// A row whose value holds `role`, and the signal of category `category`.
void AddIdentifierRow(Snapshot& s, Table& t, const char* category, const char* key, const std::string& name,
                      const std::string& value, SignalScope scope, int32_t weight, const char* group, Role role,
                      const std::string& source, const std::string& note);

// A row with the scope word "state" and no signal.
void AddStateRow(Table& t, const std::string& name, const std::string& value, const std::string& source, Role role);

}  // namespace vorq
