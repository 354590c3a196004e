#include "core/report.h"

#include "core/hash.h"
#include "core/json.h"

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

void WriteScore(JsonWriter& w, const Score& sc) {
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

void WriteCheck(JsonWriter& w, const Check& c) {
    w.BeginObject();
    w.WriteString("id", c.id);
    w.WriteString("category", c.category);
    w.WriteString("title", c.title);
    w.WriteString("status", StatusWord(c.status));
    w.WriteString("detail", c.detail);
    w.EndObject();
}

void WriteSignal(JsonWriter& w, const Signal& sig, int mode, const Bytes& key) {
    w.BeginObject();
    w.WriteString("key", sig.key);
    w.WriteString("cat", sig.cat);
    w.WriteString("name", sig.name);
    if (!(mode == kReportSafe && sig.sens)) w.WriteString("v", sig.value);
    if (sig.sens && !sig.value.empty()) w.WriteString("h", HmacId(key, sig.key, sig.value));
    w.WriteString("group", sig.group);
    w.WriteString("scope", ScopeName(sig.scope));
    w.WriteInt("w", sig.w);
    w.WriteBool("sens", sig.sens);
    w.WriteNumber("q", sig.q);
    w.WriteString("src", sig.src);
    if (!sig.note.empty()) w.WriteString("note", sig.note);
    w.EndObject();
}

void WriteTable(JsonWriter& w, const Table& t, int mode, const Bytes& key) {
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
        const uint32_t mask = row.sens | t.sens;
        w.BeginObject();
        w.WriteKey("c");
        w.BeginArray();
        for (size_t i = 0; i < row.cells.size(); ++i) {
            const std::string& cell = row.cells[i];
            const bool sensitive = i < 32 && (mask >> i & 1u);
            if (mode != kReportSafe || !sensitive || cell.empty()) {
                w.WriteStringValue(cell);
                continue;
            }
            std::string context = t.id;
            context.push_back('/');
            context += i < t.columns.size() ? t.columns[i] : std::to_string(i);
            w.WriteStringValue("hmac:" + HmacId(key, context, cell));
        }
        w.EndArray();
        if (row.sens) w.WriteInt("s", static_cast<int64_t>(row.sens));
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
    w.WriteString("title", s.deviceTitle);
    w.WriteString("subtitle", s.deviceSubtitle);
    w.EndObject();

    w.WriteKey("scores");
    w.BeginArray();
    for (const Score& sc : s.scores) WriteScore(w, sc);
    w.EndArray();

    w.WriteKey("checks");
    w.BeginArray();
    for (const Check& c : s.checks) WriteCheck(w, c);
    w.EndArray();

    w.WriteKey("signals");
    w.BeginArray();
    for (const Signal& sig : s.signals) WriteSignal(w, sig, mode, key);
    w.EndArray();

    w.WriteKey("tables");
    w.BeginArray();
    for (const Table& t : s.tables)
        if (mode != kReportSafe || t.safe) WriteTable(w, t, mode, key);
    w.EndArray();

    w.WriteKey("collectors");
    w.BeginArray();
    for (const CollectorRun& run : s.collectors) {
        w.BeginObject();
        w.WriteString("name", run.name);
        w.WriteNumber("ms", run.ms);
        w.WriteString("status", run.status);
        if (!run.error.empty()) w.WriteString("error", run.error);
        w.EndObject();
    }
    w.EndArray();

    w.WriteKey("notes");
    w.BeginArray();
    for (const std::string& n : s.notes) w.WriteStringValue(n);
    if (!keyNote.empty()) w.WriteStringValue(keyNote);
    w.EndArray();
    w.EndObject();
    out = w.Take();
}

}  // namespace vorq
