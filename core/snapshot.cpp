#include "core/snapshot.h"

#include "core/hash.h"
#include "core/text.h"

namespace vorq {

std::shared_ptr<Snapshot> MakeSnapshot() { return std::make_shared<Snapshot>(); }

void SetFact(Snapshot& s, const std::string& key, const std::string& value) { s.facts[key] = value; }

std::string GetFact(const Snapshot& s, const std::string& key, const std::string& def) {
    auto it = s.facts.find(key);
    return it == s.facts.end() ? def : it->second;
}

bool HasFact(const Snapshot& s, const std::string& key) { return s.facts.count(key) != 0; }

Signal MakeSignal(std::string key, std::string cat, Sentence name, std::string value, SignalScope scope, int32_t w,
                  std::string group, Role role, Sentence src, Sentence note, double q) {
    Signal sig;
    sig.key = std::move(key);
    sig.cat = std::move(cat);
    Say(sig.name, sig.nameSaid, std::move(name));
    sig.value = std::move(value);
    sig.scope = static_cast<int32_t>(scope);
    sig.w = w;
    sig.group = std::move(group);
    sig.role = role;
    Say(sig.src, sig.srcSaid, std::move(src));
    Say(sig.note, sig.noteSaid, std::move(note));
    sig.q = q;
    return sig;
}

void Say(std::string& text, Sentence& kept, Sentence said) {
    if (said.args.empty()) {
        text = std::move(said.pattern);
        kept = Sentence();
        return;
    }
    text = Fill(said);
    kept = std::move(said);
}

namespace {

// Roles whose column is masked as a whole; a typed column is masked cell by
// cell, as its defaults are shown.
bool WholeColumn(Role r) { return r == Role::Identifier || r == Role::Time; }

}  // namespace

Table MakeTable(std::string tab, std::string id, std::string title, std::vector<Column> columns, std::string note) {
    Table t;
    t.tab = std::move(tab);
    t.id = std::move(id);
    t.title = std::move(title);
    t.columns.reserve(columns.size());
    t.roles.reserve(columns.size());
    for (Column& c : columns) {
        if (t.columns.size() < 32 && WholeColumn(c.role)) t.sens |= 1u << t.columns.size();
        t.columns.push_back(std::move(c.title));
        t.roles.push_back(c.role);
    }
    t.note = std::move(note);
    return t;
}

std::vector<Column> FieldColumns() { return {{"Property", Role::Program}, {"Value", Role::Field}}; }

std::vector<Column> IdColumns() {
    return {{"Identifier", Role::Program}, {"Value", Role::Field}, {"Scope", Role::Program}, {"Source", Role::Program}};
}

Role CellRole(const Table& t, const TableRow& row, size_t i) {
    if (i < row.roles.size() && row.roles[i] != Role::Undeclared) return row.roles[i];
    return i < t.roles.size() ? t.roles[i] : Role::Undeclared;
}

namespace {

// A cell's bit beyond the table's masked columns, from its role.
void DeriveCellBit(const Table& t, TableRow& row, size_t i) {
    if (i >= 32) return;
    const uint32_t bit = 1u << i;
    if (t.sens & bit) return;
    if (MaskedRole(CellRole(t, row, i)))
        row.sens |= bit;
    else
        row.sens &= ~bit;
}

}  // namespace

void AddRow(Table& t, std::vector<std::string> cells, std::vector<Role> roles) {
    TableRow row{std::move(cells), 0, std::move(roles)};
    for (size_t i = 0; i < row.cells.size(); ++i) DeriveCellBit(t, row, i);
    t.rows.push_back(std::move(row));
}

void SetCellRole(const Table& t, TableRow& row, size_t i, Role role) {
    if (row.roles.size() <= i) row.roles.resize(i + 1, Role::Undeclared);
    row.roles[i] = role;
    DeriveCellBit(t, row, i);
}

void AddField(Table& t, std::string name, std::string value, Role role) {
    AddRow(t, {std::move(name), std::move(value)}, {Role::Undeclared, role});
}

void AddNote(Snapshot& s, std::string_view where, std::string_view text) {
    std::string note;
    note.reserve(where.size() + 2 + text.size());
    note.append(where).append(": ").append(text);
    s.notes.push_back(std::move(note));
}

void AddFailureNote(Snapshot& s, std::string_view where, std::string_view text, Failure kind) {
    AddNote(s, where, text);
    s.failures.push_back(SourceFailure{std::string(where), kind});
}

bool SourceFailed(const Snapshot& s, std::string_view source, Failure kind) {
    for (const SourceFailure& f : s.failures)
        if (f.source == source && f.kind == kind) return true;
    return false;
}

std::string PrintableAscii(const void* bytes, size_t n) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    std::string out;
    if (!p) return out;
    for (size_t i = 0; i < n && p[i] != 0; ++i) out.push_back(p[i] >= 0x20 && p[i] <= 0x7E ? static_cast<char>(p[i]) : '.');
    return Trim(out);
}

std::string Sha256HexOf(const void* bytes, size_t n) { return Sha256Hex(bytes, n); }

const Table* FindTable(const Snapshot& s, std::string_view id) {
    for (const Table& t : s.tables)
        if (t.id == id) return &t;
    return nullptr;
}

Table* FindTable(Snapshot& s, std::string_view id) {
    return const_cast<Table*>(FindTable(static_cast<const Snapshot&>(s), id));
}

}  // namespace vorq
