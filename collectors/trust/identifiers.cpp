#include "collectors/trust/identifiers.h"

#include "core/report.h"

namespace vorq {

Table MakeIdentifierTable(std::string tab, std::string id, std::string title, std::string note) {
    return MakeTable(std::move(tab), std::move(id), std::move(title), IdColumns(), std::move(note));
}

void AddIdentifierRow(Snapshot& s, Table& t, const char* category, const char* key, const std::string& name,
                      const std::string& value, SignalScope scope, int32_t weight, const char* group, Role role,
                      const std::string& source, const std::string& note) {
    if (value.empty()) return;
    AddRow(t, {name, value, ScopeName(static_cast<int32_t>(scope)), source}, {Role::Undeclared, role});
    s.signals.push_back(MakeSignal(key, category, name, value, scope, weight, group, role, source, note, 1.0));
}

void AddStateRow(Table& t, const std::string& name, const std::string& value, const std::string& source, Role role) {
    if (value.empty()) return;
    AddRow(t, {name, value, "state", source}, {Role::Undeclared, role});
}

}  // namespace vorq
