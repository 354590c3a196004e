// The privacy-safe report over a real scan of this Wine prefix: every
// collector's texts as the program writes them. Three properties:
// - every column, row and signal declares its role;
// - every word of the program's and the makers' texts, taken as any kind of
//   name, leaves each of those texts as it was (a masked fixed text would
//   tell the name back);
// - a name a person chose, in each script, planted in every typed,
//   identifier and time text, leaves no text holding it readable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "app/collectors.h"
#include "core/masked_values.h"
#include "core/report.h"

namespace vorq {
namespace {

// A JSON value: enough of a reader for the report this program writes.
struct Json {
    std::variant<std::nullptr_t, bool, double, std::string, std::vector<Json>, std::map<std::string, Json>> v;
    const Json& operator[](const std::string& key) const {
        static const Json kNone;
        const auto* o = std::get_if<std::map<std::string, Json>>(&v);
        if (!o) return kNone;
        const auto it = o->find(key);
        return it == o->end() ? kNone : it->second;
    }
    const std::vector<Json>& Items() const {
        static const std::vector<Json> kEmpty;
        const auto* a = std::get_if<std::vector<Json>>(&v);
        return a ? *a : kEmpty;
    }
    std::string Text() const {
        const auto* s = std::get_if<std::string>(&v);
        return s ? *s : std::string("<not a text>");
    }
};

class Reader {
public:
    explicit Reader(const std::string& text) : s_(text) {}
    Json Value() {
        Space();
        if (at_ >= s_.size()) throw std::runtime_error("end of text");
        const char c = s_[at_];
        if (c == '{') {
            ++at_;
            std::map<std::string, Json> o;
            Space();
            if (s_[at_] == '}') return ++at_, Json{o};
            for (;;) {
                Space();
                std::string key = String();
                Space();
                Expect(':');
                o[key] = Value();
                Space();
                if (s_[at_] == '}') return ++at_, Json{o};
                Expect(',');
            }
        }
        if (c == '[') {
            ++at_;
            std::vector<Json> a;
            Space();
            if (s_[at_] == ']') return ++at_, Json{a};
            for (;;) {
                a.push_back(Value());
                Space();
                if (s_[at_] == ']') return ++at_, Json{a};
                Expect(',');
            }
        }
        if (c == '"') return Json{String()};
        if (s_.compare(at_, 4, "null") == 0) return at_ += 4, Json{nullptr};
        if (s_.compare(at_, 4, "true") == 0) return at_ += 4, Json{true};
        if (s_.compare(at_, 5, "false") == 0) return at_ += 5, Json{false};
        size_t used = 0;
        const double d = std::stod(s_.substr(at_, 40), &used);
        at_ += used;
        return Json{d};
    }

private:
    void Space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) ++at_;
    }
    void Expect(char c) {
        if (at_ >= s_.size() || s_[at_] != c) throw std::runtime_error(std::string("expected ") + c);
        ++at_;
    }
    void Utf8(uint32_t cp, std::string& out) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    uint32_t Hex4() {
        const uint32_t v = static_cast<uint32_t>(std::stoul(s_.substr(at_, 4), nullptr, 16));
        at_ += 4;
        return v;
    }
    std::string String() {
        Expect('"');
        std::string out;
        while (at_ < s_.size() && s_[at_] != '"') {
            char c = s_[at_++];
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            c = s_[at_++];
            switch (c) {
                case 'n': out.push_back('\n'); break;
                case 'r': out.push_back('\r'); break;
                case 't': out.push_back('\t'); break;
                case 'b': out.push_back('\b'); break;
                case 'f': out.push_back('\f'); break;
                case 'u': {
                    uint32_t cp = Hex4();
                    if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(at_, 2, "\\u") == 0) {
                        at_ += 2;
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
                    }
                    Utf8(cp, out);
                    break;
                }
                default: out.push_back(c);
            }
        }
        Expect('"');
        return out;
    }
    const std::string& s_;
    size_t at_ = 0;
};

Json Parse(const std::string& text) {
    Reader r(text);
    return r.Value();
}

// One scan of this prefix, shared by the tests.
const Snapshot& Scan() {
    static const std::unique_ptr<Snapshot> s = [] {
        auto scan = std::make_unique<Snapshot>();
        RunCollectors(*scan, nullptr);
        return scan;
    }();
    return *s;
}

// Where a text of the snapshot stands in the written report.
struct Place {
    enum Kind { Cell, SignalName, SignalValue, SignalSrc, SignalNote, CheckDetail, ScoreNote, ItemNote, Device } kind;
    // tables: index among the tables a safe report writes, row, column; the
    // signal's, check's or score's index, the item's
    size_t table, row, column;
    std::string text;
};

std::string Written(const Json& report, const Place& p) {
    if (p.kind == Place::Cell)
        return report["tables"].Items().at(p.table)["rows"].Items().at(p.row)["c"].Items().at(p.column).Text();
    if (p.kind == Place::CheckDetail) return report["checks"].Items().at(p.table)["detail"].Text();
    if (p.kind == Place::ScoreNote) return report["scores"].Items().at(p.table)["note"].Text();
    if (p.kind == Place::ItemNote) return report["scores"].Items().at(p.table)["items"].Items().at(p.row)["note"].Text();
    if (p.kind == Place::Device) return report["device"][p.row ? "subtitle" : "title"].Text();
    const Json& sig = report["signals"].Items().at(p.table);
    switch (p.kind) {
        case Place::SignalName: return sig["name"].Text();
        case Place::SignalValue: return sig["v"].Text();
        case Place::SignalSrc: return sig["src"].Text();
        default: return sig["note"].Text();
    }
}

// A sentence's text with its masked arguments left out: the pattern's words
// and its program's and makers' arguments.
std::string Unmasked(const std::string& text, const Sentence& said) {
    if (said.args.empty()) return text;
    return FillWith(said, [&](size_t i) { return MaskedRole(said.args[i].role) ? std::string() : said.args[i].text; });
}

// Where a role that is never masked for a name stands: program and maker
// cells, program and maker signal values, signal names, sources and notes and
// check details (a sentence's masked arguments are masked whatever a name is,
// and give no words), score and item notes, the device's subtitle and title.
std::vector<Place> ProgramAndMakerTexts(const Snapshot& s) {
    std::vector<Place> out;
    size_t written = 0;
    for (const Table& t : s.tables) {
        if (!t.safe) continue;
        for (size_t r = 0; r < t.rows.size(); ++r) {
            const TableRow& row = t.rows[r];
            for (size_t i = 0; i < row.cells.size() && i < 32; ++i)
                if (!MaskedRole(CellRole(t, row, i)) && !row.cells[i].empty())
                    out.push_back({Place::Cell, written, r, i, row.cells[i]});
        }
        ++written;
    }
    const auto said = [&](Place::Kind kind, size_t k, const std::string& text, const Sentence& sentence) {
        if (!text.empty()) out.push_back({kind, k, 0, 0, Unmasked(text, sentence)});
    };
    for (size_t k = 0; k < s.signals.size(); ++k) {
        const Signal& sig = s.signals[k];
        said(Place::SignalName, k, sig.name, sig.nameSaid);
        if (!MaskedRole(sig.role) && !sig.value.empty()) out.push_back({Place::SignalValue, k, 0, 0, sig.value});
        said(Place::SignalSrc, k, sig.src, sig.srcSaid);
        said(Place::SignalNote, k, sig.note, sig.noteSaid);
    }
    for (size_t k = 0; k < s.checks.size(); ++k)
        said(Place::CheckDetail, k, s.checks[k].detail, s.checks[k].detailSaid);
    for (size_t k = 0; k < s.scores.size(); ++k) {
        out.push_back({Place::ScoreNote, k, 0, 0, s.scores[k].note});
        for (size_t i = 0; i < s.scores[k].items.size(); ++i)
            out.push_back({Place::ItemNote, k, i, 0, s.scores[k].items[i].note});
    }
    out.push_back({Place::Device, 0, 1, 0, s.deviceSubtitle});
    out.push_back({Place::Device, 0, 0, 0, s.deviceTitle});
    return out;
}

const Bytes& Key() {
    static const Bytes key(32, 0x5A);
    return key;
}

// Every column, row, signal and sentence argument declares what it holds: one
// without a role would be masked, and must fail here rather than for a user.
TEST(SafeReport, EveryTextDeclaresItsRole) {
    const Snapshot& s = Scan();
    ASSERT_GT(s.tables.size(), 20u);
    for (const Table& t : s.tables) {
        ASSERT_EQ(t.roles.size(), t.columns.size()) << t.id;
        for (size_t i = 0; i < t.roles.size(); ++i)
            EXPECT_NE(t.roles[i], Role::Undeclared) << t.id << " / " << t.columns[i];
        for (const TableRow& row : t.rows)
            for (size_t i = 0; i < row.cells.size(); ++i) {
                const Role r = CellRole(t, row, i);
                EXPECT_TRUE(r != Role::Undeclared && r != Role::Field)
                    << t.id << " / " << (i < t.columns.size() ? t.columns[i] : std::to_string(i)) << ": "
                    << row.cells[i];
            }
    }
    const auto declared = [](const Sentence& said, const std::string& where) {
        for (size_t i = 0; i < said.args.size(); ++i)
            EXPECT_TRUE(said.args[i].role != Role::Undeclared && said.args[i].role != Role::Field)
                << where << ": argument " << i + 1 << " of \"" << said.pattern << "\": " << said.args[i].text;
    };
    for (const Signal& sig : s.signals) {
        EXPECT_NE(sig.role, Role::Undeclared) << sig.key;
        declared(sig.nameSaid, sig.key + " name");
        declared(sig.srcSaid, sig.key + " source");
        declared(sig.noteSaid, sig.key + " note");
    }
    for (const Check& c : s.checks) declared(c.detailSaid, c.id);
    for (const Score& sc : s.scores) {
        declared(sc.noteSaid, sc.id);
        for (const ScoreItem& it : sc.items) declared(it.noteSaid, sc.id + " / " + it.label);
    }
    for (const Table& t : s.tables) declared(t.noteSaid, t.id + " note");
    EXPECT_NE(s.deviceTitleRole, Role::Undeclared);
}

// Every word of the program's and the makers' texts (sentences' patterns and
// their program's and makers' arguments among them), taken as the account,
// the computer, the owner, the organization and a typed name at once, leaves
// each of those texts as it was: which of them a name masked would tell the
// name back.
TEST(SafeReport, NoNameMasksAProgramOrMakerText) {
    Snapshot s = Scan();
    const std::vector<Place> texts = ProgramAndMakerTexts(s);
    std::set<std::string> words;
    for (const Place& p : texts) {
        const std::string w = MaskedValues::Words(p.text);
        for (size_t from = 1; from < w.size();) {
            const size_t end = w.find(' ', from);
            if (end - from >= 3) words.insert(w.substr(from, end - from));
            from = end + 1;
        }
    }
    ASSERT_GT(words.size(), 200u);
    std::string base;
    WriteSnapshotJsonWithKey(base, s, kReportSafe, Key());
    const Json before = Parse(base);
    const std::vector<NamedValue> named = s.named;
    // Words in batches: a batch that masks something is named by its texts.
    const std::vector<std::string> all(words.begin(), words.end());
    for (size_t from = 0; from < all.size(); from += 25) {
        s.named = named;
        std::string batch;
        for (size_t i = from; i < all.size() && i < from + 25; ++i) {
            for (ValueKind kind : {ValueKind::Account, ValueKind::Computer, ValueKind::Owner, ValueKind::Organization,
                                   ValueKind::Chosen})
                s.named.push_back({kind, all[i]});
            batch += all[i] + " ";
        }
        std::string out;
        WriteSnapshotJsonWithKey(out, s, kReportSafe, Key());
        const Json report = Parse(out);
        for (const Place& p : texts)
            if (Written(report, p) != Written(before, p))
                ADD_FAILURE() << "one of \"" << batch << "\" masks \"" << p.text << "\"";
    }
}

// A name a person chose, planted in every typed, identifier and time cell and
// value and in every sentence argument but the program's (a maker's argument
// planted as typed, or every other one as of no role): each planted text is
// masked, in place, and no form of the name is left in the report.
TEST(SafeReport, ChosenNamesInEveryScriptAreNeverReadable) {
    struct Name {
        const char* name;
        std::vector<std::string> planted;  // the forms planted into texts
    };
    const Name names[] = {
        {"Jürgen", {"Jürgen’s Drucker", "JUERGEN-PC", "Drucker (jürgen)"}},
        {"Светлана", {"Принтер СВЕТЛАНА", "Светлана’s Laptop"}},
        {"Νίκος", {"ΝΊΚΟΣ-PC", "«Νίκος» Laser"}},
        {"王小明", {"王小明的打印机", "资料（王小明）"}},
        {"さくら", {"さくらのプリンタ", "さくらＰＣ"}},
        {"สมชาย", {"เครื่องพิมพ์ของสมชาย", "สมชาย-PC"}},
        {"דניאל", {"המדפסת של דניאל", "דניאל-PC"}},
        {"김민준", {"김민준의 프린터", "김민준-PC"}},
    };
    const Snapshot& scan = Scan();
    for (const Name& n : names) {
        Snapshot s = scan;
        s.named.push_back({ValueKind::Chosen, n.name});
        std::vector<Place> planted;
        size_t written = 0, form = 0;
        const auto next = [&] { return n.planted[form++ % n.planted.size()]; };
        for (Table& t : s.tables) {
            if (!t.safe) continue;
            // Every column a row can hold, whatever this prefix filled in.
            TableRow extra;
            extra.cells.assign(t.columns.size(), "x");
            t.rows.push_back(extra);
            for (size_t r = 0; r < t.rows.size(); ++r) {
                TableRow& row = t.rows[r];
                if (row.roles.size() < row.cells.size()) row.roles.resize(row.cells.size(), Role::Undeclared);
                for (size_t i = 0; i < row.cells.size() && i < 32; ++i) {
                    Role role = CellRole(t, row, i);
                    if (role == Role::Field) role = row.roles[i] = Role::Typed;
                    if (!MaskedRole(role)) continue;
                    row.cells[i] = next();
                    planted.push_back({Place::Cell, written, r, i, row.cells[i]});
                }
            }
            ++written;
        }
        // Each argument but the program's takes a form of the name; a maker's
        // is declared typed or, every other time, not at all.
        size_t undeclared = 0;
        const auto plant = [&](Place::Kind kind, size_t k, std::string& text, Sentence& said) {
            bool any = false;
            for (Arg& a : said.args) {
                if (a.role == Role::Program) continue;
                if (a.role == Role::Maker) a.role = undeclared++ % 2 ? Role::Undeclared : Role::Typed;
                a.text = next();
                any = true;
            }
            if (!any) return;
            Say(text, said, said);
            planted.push_back({kind, k, 0, 0, text});
        };
        for (size_t k = 0; k < s.checks.size(); ++k)
            plant(Place::CheckDetail, k, s.checks[k].detail, s.checks[k].detailSaid);
        for (size_t k = 0; k < s.signals.size(); ++k) {
            Signal& sig = s.signals[k];
            plant(Place::SignalName, k, sig.name, sig.nameSaid);
            plant(Place::SignalSrc, k, sig.src, sig.srcSaid);
            plant(Place::SignalNote, k, sig.note, sig.noteSaid);
            if (!MaskedRole(sig.role)) continue;
            sig.value = next();
            planted.push_back({Place::SignalValue, k, 0, 0, sig.value});
        }
        ASSERT_GT(planted.size(), 50u) << n.name;
        ASSERT_GT(undeclared, 5u) << "makers' arguments planted";
        std::string out;
        WriteSnapshotJsonWithKey(out, s, kReportSafe, Key());
        const Json report = Parse(out);
        for (const Place& p : planted) {
            const std::string w = Written(report, p);
            if (p.kind == Place::SignalValue)
                EXPECT_EQ(w, "<not a text>") << n.name << ": " << p.text;
            else if (p.kind == Place::Cell)
                EXPECT_EQ(w.substr(0, 5), "hmac:") << n.name << ": " << p.text;
            else
                EXPECT_NE(w.find("hmac:"), std::string::npos) << n.name << ": " << p.text;
        }
        for (const std::string& f : n.planted) EXPECT_EQ(out.find(f), std::string::npos) << f;
        EXPECT_EQ(out.find(n.name), std::string::npos) << n.name;
    }
}

}  // namespace
}  // namespace vorq
