#include "core/report.h"

#include <unordered_set>
#include <utility>
#include <vector>

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

// The values a privacy-safe report masks, and whether another of its texts
// restates one. Texts are compared without letter case and without the
// separators identifiers are written with, so "AA-BB-..." and "aabb..." or
// "{GUID}" and "guid" are one value.
//
// Not every masked value can be looked for everywhere: sensitive columns also
// hold counts, flags and placeholders, and short values are ordinary words
// ("root", "admin", a two-letter host name) that other texts use in their
// ordinary sense. So:
// - a value of fewer than 3 characters, or of one repeated character ("0",
//   "00000000", "FFFF"), identifies nothing and masks nothing else;
// - a value of 3 to 7 characters masks a text that equals it;
// - a value of 8 characters or more with at least 4 different characters
//   also masks every text it appears in: a run that long and that varied is
//   in another text only because that text restates it (a DUID carrying the
//   system UUID, a path under a masked profile folder). Long values with
//   fewer different characters ("43000000") are also numbers and register
//   contents that hex texts hold by chance, so they mask equal texts only.
class MaskedValues {
public:
    void Add(std::string_view value) {
        std::string n;
        Normalize(value, n);
        if (n.size() < kMinWhole || DistinctBytes(n) < 2) return;
        if (n.size() >= kMinInside && DistinctBytes(n) >= kMinInsideDistinct)
            AddInside(n);
        else
            whole_.insert(std::move(n));
    }

    // Links the automaton of the values to look for inside texts; call once,
    // after the last Add.
    void Finish() {
        std::vector<int> queue;
        for (const auto& edge : nodes_[0].next) queue.push_back(edge.second);
        for (size_t at = 0; at < queue.size(); ++at) {
            const int node = queue[at];
            for (const auto& [c, child] : nodes_[node].next) {
                int f = nodes_[node].fail;
                while (f != 0 && Next(f, c) < 0) f = nodes_[f].fail;
                const int target = Next(f, c);
                nodes_[child].fail = target < 0 ? 0 : target;
                nodes_[child].end = nodes_[child].end || nodes_[nodes_[child].fail].end;
                queue.push_back(child);
            }
        }
    }

    bool Restated(std::string_view text) const {
        if (text.empty() || (whole_.empty() && nodes_.size() == 1)) return false;
        Normalize(text, scratch_);
        if (whole_.count(scratch_) != 0) return true;
        int state = 0;
        for (char c : scratch_) {
            int next;
            while ((next = Next(state, c)) < 0 && state != 0) state = nodes_[state].fail;
            state = next < 0 ? 0 : next;
            if (nodes_[state].end) return true;
        }
        return false;
    }

private:
    static constexpr size_t kMinWhole = 3;
    static constexpr size_t kMinInside = 8;
    static constexpr size_t kMinInsideDistinct = 4;

    // A trie of the values with failure links (Aho-Corasick), so one pass over
    // a text finds any of them however many there are.
    struct Node {
        std::vector<std::pair<char, int>> next;
        int fail = 0;
        bool end = false;
    };

    static void Normalize(std::string_view text, std::string& out) {
        out.clear();
        for (char c : text) {
            switch (c) {
                case '-': case ':': case '{': case '}': case ' ': case '.': case '_': case '\\': case '/':
                case '\t': case '\r': case '\n':
                    continue;
                default:
                    out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
            }
        }
    }

    static size_t DistinctBytes(const std::string& s) {
        bool seen[256] = {};
        size_t n = 0;
        for (unsigned char c : s)
            if (!seen[c]) seen[c] = true, ++n;
        return n;
    }

    int Next(int node, char c) const {
        for (const auto& [k, child] : nodes_[static_cast<size_t>(node)].next)
            if (k == c) return child;
        return -1;
    }

    void AddInside(const std::string& n) {
        int node = 0;
        for (char c : n) {
            int child = Next(node, c);
            if (child < 0) {
                child = static_cast<int>(nodes_.size());
                nodes_[static_cast<size_t>(node)].next.emplace_back(c, child);
                nodes_.emplace_back();
            }
            node = child;
        }
        nodes_[static_cast<size_t>(node)].end = true;
    }

    std::unordered_set<std::string> whole_;
    std::vector<Node> nodes_ = std::vector<Node>(1);
    mutable std::string scratch_;
};

bool CellSensitive(const Table& t, const TableRow& row, size_t i) {
    return i < 32 && ((row.sens | t.sens) >> i & 1u);
}

std::string CellContext(const Table& t, size_t i) {
    std::string context = t.id;
    context.push_back('/');
    context += i < t.columns.size() ? t.columns[i] : std::to_string(i);
    return context;
}

// Every value the report masks: the values of sensitive signals and the
// sensitive cells of the tables it writes.
MaskedValues CollectMasked(const Snapshot& s) {
    MaskedValues m;
    for (const Signal& sig : s.signals)
        if (sig.sens && !sig.value.empty()) m.Add(sig.value);
    for (const Table& t : s.tables) {
        if (!t.safe) continue;
        for (const TableRow& row : t.rows)
            for (size_t i = 0; i < row.cells.size() && i < 32; ++i)
                if (CellSensitive(t, row, i) && !row.cells[i].empty()) m.Add(row.cells[i]);
    }
    m.Finish();
    return m;
}

// How texts are written: in "safe" mode a text that restates a masked value
// becomes a pseudonym under a context naming where it stands, so two safe
// reports of one installation still agree on it.
struct Writer {
    JsonWriter& w;
    int mode;
    const Bytes& key;
    const MaskedValues* masked;  // "safe" mode only

    bool Restated(std::string_view text) const { return masked && masked->Restated(text); }

    // `derived`: the producer marked the text as taken from a masked value.
    std::string Shown(std::string_view text, std::string_view context, bool derived = false) const {
        const bool mask = !text.empty() && ((derived && mode == kReportSafe) || Restated(text));
        return mask ? "hmac:" + HmacId(key, context, text) : std::string(text);
    }
    void Text(std::string_view name, std::string_view text, std::string_view owner, std::string_view field,
              bool derived = false) const {
        std::string context(owner);
        context.push_back('/');
        context.append(field);
        w.WriteString(name, Shown(text, context, derived));
    }
};

void WriteScore(const Writer& o, const Score& sc) {
    JsonWriter& w = o.w;
    w.BeginObject();
    w.WriteString("id", sc.id);
    o.Text("title", sc.title, sc.id, "title");
    w.WriteInt("value", sc.value);
    o.Text("verdict", sc.verdict, sc.id, "verdict");
    o.Text("note", sc.note, sc.id, "note");
    w.WriteKey("items");
    w.BeginArray();
    for (const ScoreItem& it : sc.items) {
        const std::string owner = sc.id + "/" + it.label;
        w.BeginObject();
        o.Text("label", it.label, owner, "label");
        w.WriteInt("points", it.points);
        w.WriteInt("max", it.max);
        w.WriteString("status", StatusWord(it.status));
        o.Text("note", it.note, owner, "note");
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
    o.Text("title", c.title, c.id, "title");
    w.WriteString("status", StatusWord(c.status));
    o.Text("detail", c.detail, c.id, "detail", c.sens);
    w.EndObject();
}

void WriteSignal(const Writer& o, const Signal& sig) {
    JsonWriter& w = o.w;
    // A value that restates a masked one is masked as a sensitive value is.
    const bool sens = sig.sens || (o.mode == kReportSafe && !sig.value.empty() && o.Restated(sig.value));
    w.BeginObject();
    w.WriteString("key", sig.key);
    w.WriteString("cat", sig.cat);
    o.Text("name", sig.name, sig.key, "name");
    if (!(o.mode == kReportSafe && sens)) w.WriteString("v", sig.value);
    if (sens && !sig.value.empty()) w.WriteString("h", HmacId(o.key, sig.key, sig.value));
    w.WriteString("group", sig.group);
    w.WriteString("scope", ScopeName(sig.scope));
    w.WriteInt("w", sig.w);
    w.WriteBool("sens", sens);
    w.WriteNumber("q", sig.q);
    o.Text("src", sig.src, sig.key, "src");
    if (!sig.note.empty()) o.Text("note", sig.note, sig.key, "note");
    w.EndObject();
}

void WriteTable(const Writer& o, const Table& t) {
    JsonWriter& w = o.w;
    const bool safe = o.mode == kReportSafe;
    w.BeginObject();
    w.WriteString("tab", t.tab);
    w.WriteString("id", t.id);
    o.Text("title", t.title, t.id, "title");
    if (!t.note.empty()) o.Text("note", t.note, t.id, "note");
    w.WriteKey("columns");
    w.BeginArray();
    for (const std::string& c : t.columns) w.WriteStringValue(o.Shown(c, t.id + "/columns"));
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
            bool masked = CellSensitive(t, row, i);
            if (safe && !masked && o.Restated(cell)) {
                masked = true;
                if (i < 32) written |= 1u << i;
            }
            if (!safe || !masked || cell.empty()) {
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
    MaskedValues masked;
    if (mode == kReportSafe) masked = CollectMasked(s);
    const Writer o{w, mode, key, mode == kReportSafe ? &masked : nullptr};
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
    o.Text("title", s.deviceTitle, "device", "title");
    o.Text("subtitle", s.deviceSubtitle, "device", "subtitle");
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
    for (const std::string& n : s.notes) w.WriteStringValue(o.Shown(n, "notes"));
    if (!keyNote.empty()) w.WriteStringValue(keyNote);
    w.EndArray();
    w.EndObject();
    out = w.Take();
}

}  // namespace vorq
