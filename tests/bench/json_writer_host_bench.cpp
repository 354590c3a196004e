// Speed of the JSON writer against RapidJSON's writer (with UTF-8 checking, as
// ours always checks) on a report-shaped document: tens of thousands of table
// rows of driver paths, versions, GUIDs, device names and log messages, some
// of them non-ASCII. Both writers walk the same rows; figures in MB/s of output.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "core/json.h"

namespace {

struct Table {
    std::string id;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

std::vector<Table> MakeReport() {
    static const char* const kNames[] = {"acpi", "storport", "nvme", "e1dexpress", "intelppm", "usbxhci", "HidUsb", "Ger\xC3\xA4t"};
    static const char* const kMessages[] = {
        "The driver loaded successfully.",
        "Der Dienst \"Windows Update\" wurde erfolgreich gestartet.",
        "\xE3\x83\x87\xE3\x83\x90\xE3\x82\xA4\xE3\x82\xB9\xE3\x81\x8C\xE6\x8E\xA5\xE7\xB6\x9A\xE3\x81\x95\xE3\x82\x8C\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F",
        "Boot configuration: {9dea862c-5cdd-4e70-acc1-f32b344d4795} resumed from hibernation in 1234 ms",
    };
    std::vector<Table> tables;
    Table drivers{"drivers", {"Name", "Path", "Version", "Signer", "Class", "Status"}, {}};
    for (int i = 0; i < 20000; ++i) {
        const std::string name = std::string(kNames[i % 8]) + std::to_string(i);
        drivers.rows.push_back({name, "\\SystemRoot\\System32\\drivers\\" + name + ".sys", "10.0.22621." + std::to_string(i % 4000),
                                "Microsoft Windows", "{4D36E97D-E325-11CE-BFC1-08002BE10318}", "[ok] signed (catalog)"});
    }
    tables.push_back(std::move(drivers));
    Table events{"events", {"Time", "Source", "Id", "Message"}, {}};
    for (int i = 0; i < 30000; ++i)
        events.rows.push_back({"2026-12-10T14:" + std::to_string(10 + i % 50) + ":00Z", "Service Control Manager",
                               std::to_string(7036 + i % 5), kMessages[i % 4]});
    tables.push_back(std::move(events));
    return tables;
}

std::string WriteOurs(const std::vector<Table>& report) {
    vorq::JsonWriter w;
    w.BeginObject();
    w.WriteKey("tables");
    w.BeginArray();
    for (const Table& t : report) {
        w.BeginObject();
        w.WriteString("id", t.id);
        w.WriteKey("columns");
        w.BeginArray();
        for (const std::string& c : t.columns) w.WriteStringValue(c);
        w.EndArray();
        w.WriteKey("rows");
        w.BeginArray();
        for (const auto& row : t.rows) {
            w.BeginObject();
            w.WriteKey("c");
            w.BeginArray();
            for (const std::string& cell : row) w.WriteStringValue(cell);
            w.EndArray();
            w.WriteInt("s", static_cast<int64_t>(row.size()));
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return w.Take();
}

std::string WriteRapid(const std::vector<Table>& report) {
    using Writer = rapidjson::Writer<rapidjson::StringBuffer, rapidjson::UTF8<>, rapidjson::UTF8<>, rapidjson::CrtAllocator,
                                     rapidjson::kWriteValidateEncodingFlag>;
    rapidjson::StringBuffer buffer;
    Writer w(buffer);
    auto str = [&](const std::string& s) { w.String(s.data(), static_cast<rapidjson::SizeType>(s.size())); };
    w.StartObject();
    w.Key("tables");
    w.StartArray();
    for (const Table& t : report) {
        w.StartObject();
        w.Key("id");
        str(t.id);
        w.Key("columns");
        w.StartArray();
        for (const std::string& c : t.columns) str(c);
        w.EndArray();
        w.Key("rows");
        w.StartArray();
        for (const auto& row : t.rows) {
            w.StartObject();
            w.Key("c");
            w.StartArray();
            for (const std::string& cell : row) str(cell);
            w.EndArray();
            w.Key("s");
            w.Int64(static_cast<int64_t>(row.size()));
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

// The best of several rounds, in MB/s of output.
template <typename F>
double Speed(F write, std::string& out) {
    double best = 0;
    for (int round = 0; round < 15; ++round) {
        const auto start = std::chrono::steady_clock::now();
        out = write();
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, out.size() / s / 1e6);
    }
    return best;
}

}  // namespace

int main() {
    const std::vector<Table> report = MakeReport();
    std::string ours, rapid;
    const double oursSpeed = Speed([&] { return WriteOurs(report); }, ours);
    const double rapidSpeed = Speed([&] { return WriteRapid(report); }, rapid);
    std::printf("report-shaped document, %.1f MB of JSON (same text from both: %s)\n", ours.size() / 1e6,
                ours == rapid ? "yes" : "no");
    std::printf("  JsonWriter:                      %7.0f MB/s\n", oursSpeed);
    std::printf("  RapidJSON Writer (UTF-8 checked): %7.0f MB/s\n", rapidSpeed);
    std::printf("  ratio JsonWriter / RapidJSON:     %7.2f\n", oursSpeed / rapidSpeed);
    return ours == rapid ? 0 : 1;
}
