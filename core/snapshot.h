// The Snapshot one scan fills, its record types, and the small operations
// every collector uses to write into it. Platform-free.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorq {

// Scope codes of a signal as stored in Signal::scope.
enum class SignalScope : int32_t { PerUnit = 0, PerModel = 1, PerInstall = 2, PerBoot = 3, State = 4 };

// Whether a signal's value identifies the machine or its user.
enum class Sens : bool { No = false, Yes = true };

// Bits of Signal::data. A value is machine data unless marked otherwise; a
// source or note only when marked.
enum SignalText : uint8_t { kDataValue = 2, kDataSrc = 4, kDataNote = 8 };

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
    bool sens = false;
    double q = 1.0;
    // The value names a maker (Table::makers); not written to the report.
    bool maker = false;
    // Which of the signal's texts hold machine data, which the privacy-safe
    // report compares with the values it masks (SignalText bits); the others
    // are the program's own, the same in every report, never compared. Not
    // written to the report.
    uint8_t data = kDataValue;
    // The part of the name read from the machine ("Ana's AirPods Pro" of
    // "Audio endpoint ID - Ana's AirPods Pro"): the safe report masks the name
    // where this part restates a masked value, and never compares the
    // program's words around it. Empty: the name is the program's own. Not
    // written to the report.
    std::string nameData;
};

struct TableRow {
    std::vector<std::string> cells;
    uint32_t sens = 0;
    // Bit i: cell i names a maker, as a column of Table::makers does, in a
    // table whose rows are fields. Not written to the report.
    uint32_t makers = 0;
    // Bit i: cell i is the program's own text or one Windows gives, as a
    // column of Table::labels is, in a table whose rows are fields ("Process
    // elevation", the product name). Not written to the report.
    uint32_t labels = 0;
};

struct Table {
    std::string tab;
    std::string id;
    std::string title;
    std::string note;
    std::vector<std::string> columns;
    uint32_t sens = 0;
    int32_t groupCol = -1;
    bool safe = true;
    // How a privacy-safe report reads texts that equal a value it masks; not
    // written to the report. Bit i of `labels`: column i holds the program's
    // own texts (row names such as "Registered owner", test and method names,
    // leaf labels, catalog texts, notes it writes), never compared with the
    // masked values: the same in every report, they would tell a name back.
    // Bit i of `makers`: column i names makers, signers or publishers, where a
    // masked plain name ("HP Inc.") is that maker's own name, not a restatement.
    uint32_t labels = 0;
    uint32_t makers = 0;
    std::vector<TableRow> rows;
};

// Status codes of checks and score items: 0 pass, 1 warn, 2 fail, else info.
enum CheckStatus : int32_t { kPass = 0, kWarn = 1, kFail = 2, kInfo = 3 };

struct Check {
    std::string id;
    std::string category;
    std::string title;
    std::string detail;
    int32_t status = kInfo;
    // The detail restates a sensitive value in a form the report cannot match
    // against the masked value (a part of it, a reformatted date), so a
    // privacy-safe report masks the detail. Not written to the report.
    bool sens = false;
    // The detail holds machine data (a firmware's version string, a vendor's
    // name), which a privacy-safe report compares with the values it masks;
    // otherwise it is the program's own text, never compared. Not written to
    // the report.
    bool data = false;
};

struct ScoreItem {
    std::string label;
    int32_t points = 0;
    int32_t max = 0;
    int32_t status = kInfo;
    std::string note;
};

struct Score {
    std::string id;
    std::string title;
    std::string verdict;
    std::string note;
    int32_t value = 0;
    std::vector<ScoreItem> items;
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
    // The title names the maker and model the firmware gives, or is the
    // program's own ("Windows PC", `deviceTitleOwn`); the subtitle joins the
    // processor's, the memory's and Windows' texts. A privacy-safe report
    // compares only a maker's title with the values it masks.
    std::string deviceTitle;
    std::string deviceSubtitle;
    bool deviceTitleOwn = false;
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

// The scope and the sensitive flag take their own types, so a swap with the
// neighbouring weight or a stray integer does not compile. For a signal with
// many texts, a designated initializer of Signal reads better.
Signal MakeSignal(std::string key, std::string cat, std::string name, std::string value, SignalScope scope, int32_t w,
                  std::string group, Sens sens, std::string src, std::string note, double q);
// Refuse plain integers and bools where the scope and the flag go.
template <typename Scope, typename Flag>
    requires(!std::is_same_v<Scope, SignalScope> || !std::is_same_v<Flag, Sens>)
Signal MakeSignal(std::string, std::string, std::string, std::string, Scope, int32_t, std::string, Flag, std::string,
                  std::string, double) = delete;

Table MakeTable(std::string tab, std::string id, std::string title, std::vector<std::string> columns,
                std::string note = std::string());
void AddRow(Table& t, std::vector<std::string> cells, uint32_t mask = 0);
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

}  // namespace vorq
