// Every fact key that a collector or stage reads is written by one: a
// misspelt or renamed key would otherwise read as empty without a word. The
// test reads the program's sources; the build names the fixtures folder, two
// levels below the source root.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vorq {
namespace {

namespace fs = std::filesystem;

// Written by collectors not built yet, so their readers still spell the keys.
// Whoever lands such a collector declares its keys in its header, switches the
// readers to the names and removes the entries here.
const std::set<std::string> kNotYetWritten = {};

// The functions that take a fact key as their second argument.
const char* const kWriters[] = {"SetFact"};
const char* const kReaders[] = {"GetFact", "HasFact", "Flag", "GetFactInt", "FactCount", "FactNumber", "ForEachDrive"};

struct Use {
    std::string file;
    std::string key;   // resolved text of the key (or of its prefix)
    bool literal = false;
    bool prefix = false;  // the argument continues with "+ ..."
};

fs::path SourceRoot() {
    const char* fixtures = std::getenv("VORQ_FIXTURES");
    return fs::path(fixtures ? fixtures : "tests/fixtures").parent_path().parent_path();
}

// The text with comments blanked out; string and character literals are kept.
std::string WithoutComments(const std::string& t) {
    std::string out = t;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '"' || t[i] == '\'') {
            const char q = t[i];
            for (++i; i < t.size() && t[i] != q; ++i)
                if (t[i] == '\\') ++i;
        } else if (t.compare(i, 2, "//") == 0) {
            for (; i < t.size() && t[i] != '\n'; ++i) out[i] = ' ';
        } else if (t.compare(i, 2, "/*") == 0) {
            const size_t end = t.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? t.size() : end + 2;
            for (; i < stop; ++i)
                if (out[i] != '\n') out[i] = ' ';
            --i;
        }
    }
    return out;
}

bool IsIdent(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

void SkipBlanks(const std::string& t, size_t& i) {
    while (i < t.size() && std::isspace(static_cast<unsigned char>(t[i]))) ++i;
}

// The constants of every `namespace vorq::fact { ... }` block: name -> key.
void CollectConstants(const std::string& t, const std::string& file, std::map<std::string, std::string>& names,
                      std::multimap<std::string, std::string>& declaredIn) {
    const std::string open = "namespace vorq::fact {";
    for (size_t at = t.find(open); at != std::string::npos; at = t.find(open, at + 1)) {
        const size_t end = t.find('}', at);
        std::istringstream block(t.substr(at, end - at));
        std::string line;
        while (std::getline(block, line)) {
            const size_t k = line.find("char k");
            const size_t q1 = line.find('"');
            const size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
            if (k == std::string::npos || q2 == std::string::npos) continue;
            const size_t nameEnd = line.find('[', k);
            const std::string name = line.substr(k + 5, nameEnd - (k + 5));
            const std::string key = line.substr(q1 + 1, q2 - q1 - 1);
            names[name] = key;
            declaredIn.emplace(key, file + " (" + name + ")");
        }
    }
}

// Each call of `fn` whose second argument starts with a string literal or a
// fact constant.
void CollectCalls(const std::string& t, const std::string& file, const char* fn,
                  const std::map<std::string, std::string>& names, std::vector<Use>& out, std::vector<std::string>& unknown) {
    const std::string call = std::string(fn) + "(";
    for (size_t at = t.find(call); at != std::string::npos; at = t.find(call, at + 1)) {
        if (at > 0 && (IsIdent(t[at - 1]) || t[at - 1] == '.' || t[at - 1] == ':' || t[at - 1] == '>')) continue;
        size_t i = at + call.size();
        int depth = 0;
        for (; i < t.size(); ++i) {  // past the first argument
            if (t[i] == '(') ++depth;
            if (t[i] == ')' && depth-- == 0) break;
            if (t[i] == ',' && depth == 0) break;
        }
        if (i >= t.size() || t[i] != ',') continue;  // a declaration or a one-argument form
        ++i;
        SkipBlanks(t, i);
        Use u;
        u.file = file;
        if (i < t.size() && t[i] == '"') {
            const size_t end = t.find('"', i + 1);
            u.key = t.substr(i + 1, end - i - 1);
            u.literal = true;
            i = end + 1;
        } else if (t.compare(i, 6, "fact::") == 0) {
            size_t e = i + 6;
            while (e < t.size() && IsIdent(t[e])) ++e;
            const std::string name = t.substr(i + 6, e - i - 6);
            auto it = names.find(name);
            if (it == names.end()) {
                unknown.push_back(file + ": fact::" + name);
                continue;
            }
            u.key = it->second;
            i = e;
        } else {
            continue;  // a variable: its value is checked where it is spelt
        }
        SkipBlanks(t, i);
        u.prefix = i < t.size() && t[i] == '+';
        out.push_back(u);
    }
}

struct SourceUses {
    std::vector<Use> writes, reads;
    std::vector<std::string> unknownNames;
    std::multimap<std::string, std::string> declaredIn;
    size_t files = 0;
};

SourceUses ScanSources() {
    SourceUses r;
    std::vector<std::pair<std::string, std::string>> texts;
    const fs::path root = SourceRoot();
    for (const char* dir : {"core", "collectors", "vm", "assessment", "window", "app"}) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root / dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& p = it->path();
            if (p.extension() != ".cpp" && p.extension() != ".h") continue;
            std::ifstream f(p, std::ios::binary);
            std::stringstream text;
            text << f.rdbuf();
            texts.emplace_back(fs::relative(p, root).generic_string(), WithoutComments(text.str()));
        }
    }
    r.files = texts.size();
    std::map<std::string, std::string> names;
    for (const auto& [file, text] : texts) CollectConstants(text, file, names, r.declaredIn);
    for (const auto& [file, text] : texts) {
        for (const char* fn : kWriters) CollectCalls(text, file, fn, names, r.writes, r.unknownNames);
        for (const char* fn : kReaders) CollectCalls(text, file, fn, names, r.reads, r.unknownNames);
    }
    return r;
}

bool IsWritten(const std::vector<Use>& writes, const Use& read) {
    for (const Use& w : writes) {
        if (w.key == read.key && w.prefix == read.prefix) return true;
        if (w.prefix && !read.prefix && read.key.compare(0, w.key.size(), w.key) == 0) return true;
    }
    return false;
}

TEST(FactKeys, EveryReadKeyIsWrittenAndNamed) {
    const SourceUses u = ScanSources();
    ASSERT_GT(u.files, 50u) << "sources not found below " << SourceRoot().string();
    ASSERT_FALSE(u.writes.empty());
    ASSERT_FALSE(u.reads.empty());
    for (const std::string& n : u.unknownNames) ADD_FAILURE() << "no fact constant of that name: " << n;

    for (const Use& r : u.reads) {
        const std::string what = r.file + " reads \"" + r.key + (r.prefix ? "...\"" : "\"");
        if (kNotYetWritten.count(r.key)) continue;
        EXPECT_TRUE(IsWritten(u.writes, r)) << what << ", which nothing writes";
        EXPECT_FALSE(r.literal) << what << " by its text: use the name its producer's header declares";
    }
    for (const std::string& key : kNotYetWritten) {
        Use probe;
        probe.key = key;
        EXPECT_FALSE(IsWritten(u.writes, probe)) << "\"" << key << "\" is written now: remove it from kNotYetWritten";
    }
}

TEST(FactKeys, EachKeyIsDeclaredOnce) {
    const SourceUses u = ScanSources();
    for (auto it = u.declaredIn.begin(); it != u.declaredIn.end();) {
        const auto range = u.declaredIn.equal_range(it->first);
        if (std::distance(range.first, range.second) > 1) {
            std::string where;
            for (auto d = range.first; d != range.second; ++d) where += " " + d->second;
            ADD_FAILURE() << "\"" << it->first << "\" is declared more than once:" << where;
        }
        it = range.second;
    }
}

}  // namespace
}  // namespace vorq
