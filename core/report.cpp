#include "core/report.h"

#include <optional>
#include <utility>
#include <vector>

#include "core/hash.h"
#include "core/json.h"
#include "core/masked_values.h"

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

// Bit i of a 32-column mask; columns from 32 on are never marked.
bool ColumnBit(uint32_t mask, size_t i) { return i < 32 && (mask >> i & 1u); }

bool CellSensitive(const Table& t, const TableRow& row, size_t i) { return ColumnBit(row.sens | t.sens, i); }

// A sensitive value the safe report masks: not one that names nobody
// (IdentifiesNobody: a placeholder, "<none>", "root", "login.windows.net").
bool Hidden(bool sensitive, std::string_view value) { return sensitive && !value.empty() && !IdentifiesNobody(value); }

std::string CellContext(const Table& t, size_t i) {
    std::string context = t.id;
    context.push_back('/');
    context += i < t.columns.size() ? t.columns[i] : std::to_string(i);
    return context;
}

// Every value the report masks: the values collectors name, the values of
// sensitive signals and the sensitive cells of the tables it writes (those
// that name nobody mask nothing: MaskedValues leaves them out).
MaskedValues CollectMasked(const Snapshot& s) {
    std::vector<MaskedValues::Value> values;
    for (const NamedValue& n : s.named)
        if (!n.value.empty()) values.push_back({n.value, n.kind});
    for (const Signal& sig : s.signals)
        if (sig.sens && !sig.value.empty()) values.push_back({sig.value});
    for (const Table& t : s.tables) {
        if (!t.safe) continue;
        for (const TableRow& row : t.rows)
            for (size_t i = 0; i < row.cells.size() && i < 32; ++i)
                if (CellSensitive(t, row, i) && !row.cells[i].empty()) values.push_back({row.cells[i]});
    }
    return MaskedValues(values);
}

MaskedValues::Place PlaceOf(bool maker) { return maker ? MaskedValues::Place::Maker : MaskedValues::Place::Text; }

// How texts are written: in "safe" mode a text that restates a masked value
// becomes a pseudonym under a context naming where it stands, so two safe
// reports of one installation still agree on it. The program's own texts
// (titles, column titles, table notes, score verdicts, notes, item labels
// and notes, the scan's notes, the device's subtitle, a table's label
// columns and cells, signal names but for their machine-data part, signal
// values, sources and notes and check details unless marked as machine data)
// are written as they are and never compared: an owner called "user" must
// not mask the column "User", and a masked fixed text would tell the name
// back.
struct Writer {
    JsonWriter& w;
    int mode;
    const Bytes& key;
    const MaskedValues* masked;  // "safe" mode only

    // A text that names nobody restates nothing, whatever names it holds.
    bool Restated(std::string_view text, MaskedValues::Place place = MaskedValues::Place::Text) const {
        return masked && masked->Restated(text, place) && !IdentifiesNobody(text);
    }

    // `derived`: the producer marked the text as taken from a masked value.
    std::string Shown(std::string_view text, std::string_view context, bool derived = false,
                      MaskedValues::Place place = MaskedValues::Place::Text) const {
        const bool mask = !text.empty() && ((derived && mode == kReportSafe) || Restated(text, place));
        return mask ? "hmac:" + HmacId(key, context, text) : std::string(text);
    }
    void Text(std::string_view name, std::string_view text, std::string_view owner, std::string_view field,
              bool derived = false, MaskedValues::Place place = MaskedValues::Place::Text) const {
        std::string context(owner);
        context.push_back('/');
        context.append(field);
        w.WriteString(name, Shown(text, context, derived, place));
    }
};

void WriteScore(const Writer& o, const Score& sc) {
    JsonWriter& w = o.w;
    w.BeginObject();
    w.WriteString("id", sc.id);
    w.WriteString("title", sc.title);
    w.WriteInt("value", sc.value);
    w.WriteString("verdict", sc.verdict);
    w.WriteString("note", sc.note);
    w.WriteKey("items");
    w.BeginArray();
    for (const ScoreItem& it : sc.items) {
        w.BeginObject();
        w.WriteString("label", it.label);
        w.WriteInt("points", it.points);
        w.WriteInt("max", it.max);
        w.WriteString("status", StatusWord(it.status));
        w.WriteString("note", it.note);
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
    if (c.data || c.sens)
        o.Text("detail", c.detail, c.id, "detail", c.sens);
    else
        w.WriteString("detail", c.detail);
    w.EndObject();
}

void WriteSignal(const Writer& o, const Signal& sig) {
    JsonWriter& w = o.w;
    const bool safe = o.mode == kReportSafe;
    // A value that restates a masked one is masked as a sensitive value is;
    // a sensitive value that names nobody is shown (an empty one stays
    // without "v").
    const bool restated =
        safe && (sig.data & kDataValue) && !sig.value.empty() && o.Restated(sig.value, PlaceOf(sig.maker));
    const bool sens = sig.sens || restated;
    const bool hidden = safe && (restated || (sig.sens && (sig.value.empty() || !IdentifiesNobody(sig.value))));
    w.BeginObject();
    w.WriteString("key", sig.key);
    w.WriteString("cat", sig.cat);
    if (safe && !sig.nameData.empty() && o.Restated(sig.nameData))
        w.WriteString("name", "hmac:" + HmacId(o.key, sig.key + "/name", sig.name));
    else
        w.WriteString("name", sig.name);
    if (!hidden) w.WriteString("v", sig.value);
    if (sens && !sig.value.empty()) w.WriteString("h", HmacId(o.key, sig.key, sig.value));
    w.WriteString("group", sig.group);
    w.WriteString("scope", ScopeName(sig.scope));
    w.WriteInt("w", sig.w);
    w.WriteBool("sens", sens);
    w.WriteNumber("q", sig.q);
    if (sig.data & kDataSrc)
        o.Text("src", sig.src, sig.key, "src");
    else
        w.WriteString("src", sig.src);
    if (!sig.note.empty()) {
        if (sig.data & kDataNote)
            o.Text("note", sig.note, sig.key, "note");
        else
            w.WriteString("note", sig.note);
    }
    w.EndObject();
}

void WriteTable(const Writer& o, const Table& t) {
    JsonWriter& w = o.w;
    const bool safe = o.mode == kReportSafe;
    w.BeginObject();
    w.WriteString("tab", t.tab);
    w.WriteString("id", t.id);
    w.WriteString("title", t.title);
    if (!t.note.empty()) w.WriteString("note", t.note);
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
            bool masked = Hidden(CellSensitive(t, row, i), cell);
            const auto place = PlaceOf(ColumnBit(t.makers | row.makers, i));
            if (!masked && !ColumnBit(t.labels | row.labels, i) && o.Restated(cell, place)) {
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
    std::optional<MaskedValues> masked;
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
    if (s.deviceTitleOwn)
        w.WriteString("title", s.deviceTitle);
    else
        o.Text("title", s.deviceTitle, "device", "title", false, MaskedValues::Place::Maker);
    w.WriteString("subtitle", s.deviceSubtitle);
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
