#include "core/report.h"

#include <optional>
#include <utility>
#include <vector>

#include "core/hash.h"
#include "core/json.h"
#include "core/masked_values.h"
#include "core/placeholders.h"

namespace vorq {

namespace {

const char* ModeName(int mode) {
    switch (mode) {
        case kReportUi: return "ui";
        case kReportSafe: return "safe";
        default: return "raw";
    }
}

const char* StatusWord(int32_t status) {
    switch (status) {
        case kPass: return "pass";
        case kWarn: return "warn";
        case kFail: return "fail";
        default: return "info";
    }
}

// A masked text that names nobody is shown (IdentifiesNobody: a placeholder,
// "<none>", "root", "login.windows.net"; a typed text Windows or a maker
// wrote).
bool Hidden(Role role, std::string_view value) {
    if (!MaskedRole(role) || value.empty() || IdentifiesNobody(value)) return false;
    return role == Role::Identifier || role == Role::Time || !IsDefaultTypedText(value);
}

std::string CellContext(const Table& t, size_t i) {
    std::string context = t.id;
    context.push_back('/');
    context += i < t.columns.size() ? t.columns[i] : std::to_string(i);
    return context;
}

// What a masked value of this role is to the rules of MaskedValues: a typed
// text is a name a person chose, anything else an identifier known by its
// shape.
ValueKind KindOf(Role r) { return r == Role::Identifier || r == Role::Time ? ValueKind::Plain : ValueKind::Chosen; }

// Names (the account, owner, organization, computer, typed texts) mask their
// words only where a person's text stands; identifiers (serials, MACs, GUIDs,
// SIDs, profile folders, domains) every place that restates them.
bool IsName(ValueKind k) {
    return k != ValueKind::Plain && k != ValueKind::ProfileFolder && k != ValueKind::DnsDomain;
}

// Every value the report masks, for the typed and free-text places, and its
// identifiers alone, for the makers' places: the values collectors name, the
// masked signals and the masked cells of the tables it writes (those that name
// nobody mask nothing: MaskedValues leaves them out).
struct Masked {
    MaskedValues text, maker;
};

Masked CollectMasked(const Snapshot& s) {
    std::vector<MaskedValues::Value> all, ids;
    auto add = [&](std::string_view v, ValueKind k) {
        all.push_back({v, k});
        // An address names its domain: an identifier wherever it is restated.
        if (!IsName(k))
            ids.push_back({v, k});
        else if (k == ValueKind::Owner && v.find('@') != std::string_view::npos)
            ids.push_back({v, ValueKind::Plain});
    };
    for (const NamedValue& n : s.named)
        if (!n.value.empty()) add(n.value, n.kind);
    for (const Signal& sig : s.signals)
        if (Hidden(sig.role, sig.value)) add(sig.value, KindOf(sig.role));
    for (const Table& t : s.tables) {
        if (!t.safe) continue;
        for (const TableRow& row : t.rows)
            for (size_t i = 0; i < row.cells.size() && i < 32; ++i) {
                const Role r = CellRole(t, row, i);
                if (Hidden(r, row.cells[i])) add(row.cells[i], KindOf(r));
            }
    }
    return Masked{MaskedValues(all), MaskedValues(ids)};
}

// How texts are written: in "safe" mode a text that restates a masked value
// becomes a pseudonym under a context naming where it stands, so two safe
// reports of one installation still agree on it. The program's own texts
// (titles, column titles, table notes, score verdicts, notes, item labels
// and notes, the scan's notes, program cells and values, and the patterns of
// sentences) are written as they are and never compared: an owner called
// "user" must not mask the column "User", and a masked fixed text would tell
// the name back. A sentence's arguments are written each by its role, masked
// in place. A maker's text is compared with the identifiers only.
struct Writer {
    JsonWriter& w;
    int mode;
    const Bytes& key;
    const Masked* masked;  // "safe" mode only

    // Whether a text of this role restates a masked value; a text that names
    // nobody restates nothing, whatever names it holds.
    bool Restated(std::string_view text, Role role = Role::Typed) const {
        if (!masked || role == Role::Program) return false;
        const bool found = role == Role::Maker ? masked->maker.Restated(text, MaskedValues::Place::Maker)
                                               : masked->text.Restated(text);
        return found && !IdentifiesNobody(text);
    }

    // `derived`: the producer marked the text as taken from a masked value.
    std::string Shown(std::string_view text, std::string_view context, bool derived = false,
                      Role role = Role::Typed) const {
        const bool mask = !text.empty() && ((derived && mode == kReportSafe) || Restated(text, role));
        return mask ? "hmac:" + HmacId(key, context, text) : std::string(text);
    }
    void Text(std::string_view name, std::string_view text, std::string_view owner, std::string_view field,
              bool derived = false, Role role = Role::Typed) const {
        std::string context(owner);
        context.push_back('/');
        context.append(field);
        w.WriteString(name, Shown(text, context, derived, role));
    }

    // An argument as a safe report writes it: a program's as it is, a maker's
    // masked where it restates an identifier, an identifier or time always, a
    // typed one (and one of no role) unless a default or where it restates
    // anything masked.
    std::string Argument(const Arg& a, const std::string& context) const {
        const Role role = a.role == Role::Program || a.role == Role::Maker || a.role == Role::Identifier ||
                                  a.role == Role::Time
                              ? a.role
                              : Role::Typed;
        if (a.text.empty() || !(Hidden(role, a.text) || Restated(a.text, role))) return a.text;
        return "hmac:" + HmacId(key, context, a.text);
    }

    // A text that may be a sentence: its pattern as it is, its arguments by
    // their roles under "<owner>/<field>/<n>". A text that no longer is what
    // its sentence fills counts as one typed argument.
    void Said(std::string_view name, const std::string& text, const Sentence& said, std::string_view owner,
              std::string_view field) const {
        if (mode != kReportSafe || said.args.empty()) return w.WriteString(name, text);
        std::string context(owner);
        context.push_back('/');
        context.append(field);
        if (Fill(said) != text) return w.WriteString(name, Argument({text, Role::Typed}, context));
        context.push_back('/');
        const size_t base = context.size();
        w.WriteString(name, FillWith(said, [&](size_t i) {
                          context.resize(base);
                          context += std::to_string(i + 1);
                          return Argument(said.args[i], context);
                      }));
    }
};

void WriteScore(const Writer& o, const Score& sc) {
    JsonWriter& w = o.w;
    w.BeginObject();
    w.WriteString("id", sc.id);
    w.WriteString("title", sc.title);
    w.WriteInt("value", sc.value);
    w.WriteString("verdict", sc.verdict);
    o.Said("note", sc.note, sc.noteSaid, sc.id, "note");
    w.WriteKey("items");
    w.BeginArray();
    for (size_t i = 0; i < sc.items.size(); ++i) {
        const ScoreItem& it = sc.items[i];
        w.BeginObject();
        w.WriteString("label", it.label);
        w.WriteInt("points", it.points);
        w.WriteInt("max", it.max);
        w.WriteString("status", StatusWord(it.status));
        const std::string owner = it.noteSaid.args.empty() ? std::string() : sc.id + "/items/" + std::to_string(i);
        o.Said("note", it.note, it.noteSaid, owner, "note");
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

void WriteCheck(const Writer& o, const Check& c) {
    JsonWriter& w = o.w;
    w.BeginObject();
    w.WriteString("id", c.id);
    w.WriteString("category", c.category);
    w.WriteString("title", c.title);
    w.WriteString("status", StatusWord(c.status));
    o.Said("detail", c.detail, c.detailSaid, c.id, "detail");
    w.EndObject();
}

void WriteSignal(const Writer& o, const Signal& sig) {
    JsonWriter& w = o.w;
    const bool safe = o.mode == kReportSafe;
    // A value that restates a masked one is masked as a sensitive value is;
    // a sensitive value that names nobody is shown (an empty one stays
    // without "v").
    const bool masks = MaskedRole(sig.role);
    const bool restated = safe && !masks && !sig.value.empty() && o.Restated(sig.value, sig.role);
    const bool sens = masks || restated;
    const bool hidden = safe && (restated || (masks && (sig.value.empty() || Hidden(sig.role, sig.value))));
    w.BeginObject();
    w.WriteString("key", sig.key);
    w.WriteString("cat", sig.cat);
    o.Said("name", sig.name, sig.nameSaid, sig.key, "name");
    if (!hidden) w.WriteString("v", sig.value);
    if (sens && !sig.value.empty()) w.WriteString("h", HmacId(o.key, sig.key, sig.value));
    w.WriteString("group", sig.group);
    w.WriteString("scope", ScopeName(sig.scope));
    w.WriteInt("w", sig.w);
    w.WriteBool("sens", sens);
    w.WriteNumber("q", sig.q);
    o.Said("src", sig.src, sig.srcSaid, sig.key, "src");
    if (!sig.note.empty()) o.Said("note", sig.note, sig.noteSaid, sig.key, "note");
    w.EndObject();
}

void WriteTable(const Writer& o, const Table& t) {
    JsonWriter& w = o.w;
    const bool safe = o.mode == kReportSafe;
    w.BeginObject();
    w.WriteString("tab", t.tab);
    w.WriteString("id", t.id);
    w.WriteString("title", t.title);
    if (!t.note.empty()) o.Said("note", t.note, t.noteSaid, t.id, "note");
    w.WriteKey("columns");
    w.BeginArray();
    for (const std::string& c : t.columns) w.WriteStringValue(c);
    w.EndArray();
    w.WriteInt("sens", static_cast<int64_t>(t.sens));
    w.WriteInt("groupCol", t.groupCol);
    w.WriteKey("rows");
    w.BeginArray();
    for (const TableRow& row : t.rows) {
        uint32_t written = row.sens;
        w.BeginObject();
        w.WriteKey("c");
        w.BeginArray();
        for (size_t i = 0; i < row.cells.size(); ++i) {
            const std::string& cell = row.cells[i];
            if (!safe || cell.empty()) {
                w.WriteStringValue(cell);
                continue;
            }
            // Cells from position 32 on are never replaced.
            const Role role = i < 32 ? CellRole(t, row, i) : Role::Program;
            bool masked = Hidden(role, cell);
            if (!masked && o.Restated(cell, role)) {
                masked = true;
                if (i < 32) written |= 1u << i;
            }
            if (!masked) {
                w.WriteStringValue(cell);
                continue;
            }
            w.WriteStringValue("hmac:" + HmacId(o.key, CellContext(t, i), cell));
        }
        w.EndArray();
        if (written) w.WriteInt("s", static_cast<int64_t>(written));
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
}

}  // namespace

std::string ScopeName(int32_t scope) {
    switch (scope) {
        case 0: return "per-unit";
        case 1: return "per-model";
        case 2: return "per-install";
        case 3: return "per-boot";
        default: return "state";
    }
}

std::string HmacId(const Bytes& key, std::string_view context, std::string_view value) {
    std::string data;
    data.reserve(context.size() + 1 + value.size());
    data.append(context).push_back('\x1F');
    data.append(value);
    Bytes mac = HmacSha256(key, data.data(), data.size());
    return HexEncode(mac.data(), mac.size() < 12 ? mac.size() : 12);
}

std::string HmacKeyId(const Bytes& key) { return Sha256Hex(key.data(), key.size()).substr(0, 8); }

void WriteSnapshotJsonWithKey(std::string& out, const Snapshot& s, int mode, const Bytes& key,
                              std::string_view keyNote) {
    JsonWriter w;
    w.out = std::move(out);
    std::optional<Masked> masked;
    if (mode == kReportSafe) masked.emplace(CollectMasked(s));
    const Writer o{w, mode, key, masked ? &*masked : nullptr};
    w.BeginObject();
    w.WriteString("schema", "vorq.snapshot/1");
    w.WriteString("tool", kToolName);
    w.WriteString("version", kToolVersion);
    w.WriteString("mode", ModeName(mode));
    w.WriteString("created", s.created);
    w.WriteString("hmacKeyId", HmacKeyId(key));
    w.WriteBool("elevated", s.elevated);
    w.WriteNumber("durationMs", s.durationMs);
    w.WriteKey("device");
    w.BeginObject();
    o.Text("title", s.deviceTitle, "device", "title", MaskedRole(s.deviceTitleRole), s.deviceTitleRole);
    // The processor's, the memory's and Windows' texts.
    o.Text("subtitle", s.deviceSubtitle, "device", "subtitle", false, Role::Maker);
    w.EndObject();

    w.WriteKey("scores");
    w.BeginArray();
    for (const Score& sc : s.scores) WriteScore(o, sc);
    w.EndArray();

    w.WriteKey("checks");
    w.BeginArray();
    for (const Check& c : s.checks) WriteCheck(o, c);
    w.EndArray();

    w.WriteKey("signals");
    w.BeginArray();
    for (const Signal& sig : s.signals) WriteSignal(o, sig);
    w.EndArray();

    w.WriteKey("tables");
    w.BeginArray();
    for (const Table& t : s.tables)
        if (mode != kReportSafe || t.safe) WriteTable(o, t);
    w.EndArray();

    w.WriteKey("collectors");
    w.BeginArray();
    for (const CollectorRun& run : s.collectors) {
        w.BeginObject();
        w.WriteString("name", run.name);
        w.WriteNumber("ms", run.ms);
        w.WriteString("status", run.status);
        if (!run.error.empty()) o.Text("error", run.error, run.name, "error");
        w.EndObject();
    }
    w.EndArray();

    w.WriteKey("notes");
    w.BeginArray();
    // The program's notes of what failed, with Windows' error texts.
    for (const std::string& n : s.notes) w.WriteStringValue(n);
    if (!keyNote.empty()) w.WriteStringValue(keyNote);
    w.EndArray();
    w.EndObject();
    out = w.Take();
}

}  // namespace vorq
