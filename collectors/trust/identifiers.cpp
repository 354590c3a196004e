#include "collectors/trust/identifiers.h"

#include "core/report.h"

namespace vorq {

Table MakeIdentifierTable(std::string tab, std::string id, std::string title, std::string note) {
    Table t = MakeTable(std::move(tab), std::move(id), std::move(title), {"Identifier", "Value", "Scope", "Source"},
                        std::move(note));
    t.labels = 0xD;  // Identifier, Scope, Source
    return t;
}

void AddIdentifierRow(Snapshot& s, Table& t, const char* category, const char* key, const std::string& name,
                      const std::string& value, SignalScope scope, int32_t weight, const char* group, Sens sens,
                      const std::string& source, const std::string& note, ValueText text) {
    if (value.empty()) return;
    AddRow(t, {name, value, ScopeName(static_cast<int32_t>(scope)), source},
           sens == Sens::Yes ? kIdValueMask : 0);
    s.signals.push_back(MakeSignal(key, category, name, value, scope, weight, group, sens, source, note, 1.0));
    if (text == ValueText::Own) {
        t.rows.back().labels = kIdValueMask;
        s.signals.back().data = 0;
    }
}

void AddStateRow(Table& t, const std::string& name, const std::string& value, const std::string& source, Sens sens,
                 ValueText text) {
    if (value.empty()) return;
    AddRow(t, {name, value, "state", source}, sens == Sens::Yes ? kIdValueMask : 0);
    if (text == ValueText::Own) t.rows.back().labels = kIdValueMask;
}

}  // namespace vorq
