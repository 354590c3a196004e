// The Snapshot one scan fills, its record types, and the small operations
// every collector uses to write into it. Platform-free.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include <type_traits>
#include <utility>

namespace vorq {

// Scope codes of a signal as stored in Signal::scope.
enum class SignalScope : int32_t { PerUnit = 0, PerModel = 1, PerInstall = 2, PerBoot = 3, State = 4 };

// What a text of the report holds, declared once where its column, row or
// signal is made. The privacy-safe report masks and compares by it, and the
// sensitive masks it writes are derived from it.
enum class Role : uint8_t {
    // Nothing declared: masked as a typed text is; a test fails on it.
    Undeclared,
    // The program's or Windows' fixed text (row names, statuses, test names,
    // kinds): never masked, never compared.
    Program,
    // What a maker, driver or firmware gives, the same on every machine of the
    // model: readable, masked only where it restates a masked identifier, never
    // for a person's or organization's word.
    Maker,
    // Identifies the machine or its user: masked.
    Identifier,
    // Chosen by a person or a tool on this machine: masked unless it is a
    // default Windows or a maker writes; as a name it masks its restatements
    // in typed and free-text places.
    Typed,
    // An event on this installation: masked.
    Time,
    // A column of a table whose rows are fields: each row declares its cell.
    Field,
};

// Whether the privacy-safe report masks a text of this role (Typed unless a
// default).
constexpr bool MaskedRole(Role r) { return r != Role::Program && r != Role::Maker; }

// One piece of machine data in a sentence, with what it holds; undeclared
// counts as typed (masked).
struct Arg {
    std::string text;
    Role role = Role::Undeclared;
};

// A sentence that carries machine data: the program's pattern, in the forms
// the page translates ("GPU: {x1}", "Disk {n1} serial ({x1})"), and the
// arguments its marks ({x1}, {n1}, {t1}, {p1}) stand for, in the order the
// marks stand. The privacy-safe report never compares the pattern's words and
// writes each argument by its role, masked in place. A plain text converts to
// a sentence without arguments: the program's own.
struct Sentence {
    Sentence() = default;
    Sentence(std::string text) : pattern(std::move(text)) {}
    Sentence(const char* text) : pattern(text) {}
    Sentence(std::string pattern, std::vector<Arg> args) : pattern(std::move(pattern)), args(std::move(args)) {}
    std::string pattern;
    std::vector<Arg> args;
};

// The pattern with each mark replaced by its argument, `shown` giving the text
// of argument i; marks beyond the arguments stay. Without arguments the
// pattern is the text as it stands, braces and all.
template <typename Shown>
std::string FillWith(const Sentence& s, Shown&& shown);
inline std::string Fill(const Sentence& s) {
    return FillWith(s, [&](size_t i) -> const std::string& { return s.args[i].text; });
}

// Sets `text` to the sentence filled and keeps the sentence beside it for the
// privacy-safe report (only where it has arguments: a program's text needs
// none).
void Say(std::string& text, Sentence& kept, Sentence said);

struct Signal {
    std::string key;
    std::string cat;
    std::string name;
    std::string value;
    std::string group;
    std::string src;
    std::string note;
    int32_t scope = 1;
    int32_t w = 0;
    // What the value holds; the report's "sens" is derived from it.
    Role role = Role::Undeclared;
    double q = 1.0;
    // The name, source and note as sentences where they carry machine data
    // ("Audio endpoint ID - {x1}" with the endpoint's name); set by Say beside
    // the texts readers use. Not written.
    Sentence nameSaid{}, srcSaid{}, noteSaid{};
};

// A column's title and what its cells hold.
struct Column {
    Column(std::string title, Role role) : title(std::move(title)), role(role) {}
    std::string title;
    Role role;
};

struct TableRow {
    std::vector<std::string> cells;
    // Derived from the roles by AddRow: cells of this row masked beyond the
    // table's columns (typed texts, fields).
    uint32_t sens = 0;
    // The row's own role of cell i where it is not Undeclared: the cells of a
    // Field column, a typed text that is a default. Not written.
    std::vector<Role> roles;
};

struct Table {
    std::string tab;
    std::string id;
    std::string title;
    std::string note;
    std::vector<std::string> columns;
    // Derived by MakeTable from the roles: the identifier and time columns.
    uint32_t sens = 0;
    int32_t groupCol = -1;
    bool safe = true;
    // Each column's role, declared with its title; not written.
    std::vector<Role> roles;
    std::vector<TableRow> rows;
    // The note as a sentence where it carries machine data (Say); not written.
    Sentence noteSaid{};
};

// Status codes of checks and score items: 0 pass, 1 warn, 2 fail, else info.
enum CheckStatus : int32_t { kPass = 0, kWarn = 1, kFail = 2, kInfo = 3 };

struct Check {
    std::string id;
    std::string category;
    std::string title;
    std::string detail;
    int32_t status = kInfo;
    // The detail as a sentence where it carries machine data (a firmware's
    // version string, a vendor's name; a part of a masked value, which the
    // report cannot match, as an identifier or time). Not written.
    Sentence detailSaid{};
};

struct ScoreItem {
    std::string label;
    int32_t points = 0;
    int32_t max = 0;
    int32_t status = kInfo;
    std::string note;
    // The note as a sentence where it carries machine data (Say); not written.
    Sentence noteSaid{};
};

struct Score {
    std::string id;
    std::string title;
    std::string verdict;
    std::string note;
    int32_t value = 0;
    std::vector<ScoreItem> items;
    // The note as a sentence where it carries machine data (Say); not written.
    Sentence noteSaid{};
};

struct CollectorRun {
    std::string name;
    double ms = 0;
    std::string status;
    std::string error;
};

// How a source's read failed: an error, or a reply shorter than announced.
enum class Failure { Error, ShortRead };

struct SourceFailure {
    std::string source;  // the collector's name, as its notes begin
    Failure kind = Failure::Error;
};

// What a masked value names: it decides what else a privacy-safe report
// masks with it (core/masked_values.h). Plain: a value known by its shape only.
// Owner: the registered owner, a person's name. Chosen: a text a person on this
// machine typed (a print queue's name, a volume label, a device's name).
enum class ValueKind { Plain, Account, Computer, DnsDomain, NetbiosDomain, Organization, ProfileFolder, Owner, Chosen };

struct NamedValue {
    ValueKind kind = ValueKind::Plain;
    std::string value;
};

struct Snapshot {
    std::string created;
    bool elevated = false;
    double durationMs = 0;
    // The title names the maker and model the firmware gives (Maker) or is the
    // program's own ("Windows PC"); the subtitle joins the processor's, the
    // memory's and Windows' texts.
    std::string deviceTitle;
    std::string deviceSubtitle;
    Role deviceTitleRole = Role::Undeclared;
    std::vector<Signal> signals;
    std::vector<Check> checks;
    std::vector<Score> scores;
    std::vector<Table> tables;
    std::vector<CollectorRun> collectors;
    std::vector<std::string> notes;
    std::map<std::string, std::string> facts;
    // The values collectors name for the privacy-safe report (account,
    // computer, domains, organizations, profile folders and their short
    // forms): masked wherever restated, never written.
    std::vector<NamedValue> named;
    // The failures noted through AddFailureNote; not part of the report.
    std::vector<SourceFailure> failures;
};

std::shared_ptr<Snapshot> MakeSnapshot();

void SetFact(Snapshot& s, const std::string& key, const std::string& value);
std::string GetFact(const Snapshot& s, const std::string& key, const std::string& def = std::string());
bool HasFact(const Snapshot& s, const std::string& key);

// The scope and the value's role take their own types, so a swap with the
// neighbouring weight or a stray integer does not compile. For a signal with
// many texts, a designated initializer of Signal reads better.
Signal MakeSignal(std::string key, std::string cat, Sentence name, std::string value, SignalScope scope, int32_t w,
                  std::string group, Role role, Sentence src, Sentence note, double q);
// Refuse plain integers and bools where the scope and the role go.
template <typename Scope, typename Kind>
    requires(!std::is_same_v<Scope, SignalScope> || !std::is_same_v<Kind, Role>)
Signal MakeSignal(std::string, std::string, Sentence, std::string, Scope, int32_t, std::string, Kind, Sentence,
                  Sentence, double) = delete;

// Whether the report marks the signal sensitive: its role is masked.
inline bool Sensitive(const Signal& s) { return MaskedRole(s.role); }

Table MakeTable(std::string tab, std::string id, std::string title, std::vector<Column> columns,
                std::string note = std::string());
// The columns of a table whose rows are fields: "Property" (the program's
// names of the rows) and "Value" (each row declares its role: AddField).
std::vector<Column> FieldColumns();
// The columns of an identifier table: "Identifier", "Value" (by row), "Scope"
// and "Source" (the program's).
std::vector<Column> IdColumns();

// `roles`: the row's own role of its cells where not Undeclared (a Field
// column's, a typed default's).
void AddRow(Table& t, std::vector<std::string> cells, std::vector<Role> roles = {});
// Declares cell i of a row already added as `role` (a collector that learns
// later what the cell holds), its sensitive bit derived as AddRow derives it.
void SetCellRole(const Table& t, TableRow& row, size_t i, Role role);
// A row of a table whose rows are fields: the name, then the value's role.
void AddField(Table& t, std::string name, std::string value, Role role);
// The role of cell i: the row's own, else its column's (Undeclared beyond).
Role CellRole(const Table& t, const TableRow& row, size_t i);
void AddNote(Snapshot& s, std::string_view where, std::string_view text);
// A note that also records `where` as failed, so that readers learn of the
// failure by the source's name instead of by the note's words.
void AddFailureNote(Snapshot& s, std::string_view where, std::string_view text, Failure kind = Failure::Error);
// Whether `source` noted a failure of this kind.
bool SourceFailed(const Snapshot& s, std::string_view source, Failure kind = Failure::Error);

// Printable form of a fixed-width firmware/device text field: stops at the
// first NUL or after n bytes, replaces non-printable bytes with '.', trims.
std::string PrintableAscii(const void* bytes, size_t n);
std::string Sha256HexOf(const void* bytes, size_t n);

// The first table whose id equals `id` byte for byte, or null.
const Table* FindTable(const Snapshot& s, std::string_view id);
Table* FindTable(Snapshot& s, std::string_view id);

template <typename Shown>
std::string FillWith(const Sentence& s, Shown&& shown) {
    if (s.args.empty()) return s.pattern;
    const std::string& p = s.pattern;
    std::string out;
    out.reserve(p.size() + 32);
    size_t next = 0, from = 0;
    for (size_t at = p.find('{'); at != std::string::npos; at = p.find('{', at + 1)) {
        size_t end = at + 2;
        while (end < p.size() && p[end] >= '0' && p[end] <= '9') ++end;
        const bool mark = at + 1 < p.size() && std::string_view("ntxp").find(p[at + 1]) != std::string_view::npos &&
                          end > at + 2 && end < p.size() && p[end] == '}';
        if (!mark || next >= s.args.size()) continue;
        out.append(p, from, at - from);
        out += shown(next++);
        from = end + 1;
        at = end;
    }
    out.append(p, from, std::string::npos);
    return out;
}

}  // namespace vorq
