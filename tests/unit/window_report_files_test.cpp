#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/protocol.h"
#include "window/report_files.h"

namespace vorq {
namespace {

// Dialogs, files and the page as plain data; every call is logged.
struct Rig {
    std::shared_ptr<const Snapshot> last = std::make_shared<Snapshot>();
    std::optional<std::string> chosen = "C:\\Reports\\report.json";
    std::map<std::string, std::string> files;
    std::string writeError;  // non-empty: the write fails with this text
    std::vector<std::string> log;
    ReportFileServices services;

    Rig() {
        services.lastSnapshot = [this] { return last; };
        services.report = [](const Snapshot&, bool raw) { return std::string(raw ? "{\"mode\":\"raw\"}" : "{\"mode\":\"safe\"}"); };
        services.localTime = [] { return LocalTime{2026, 3, 3, 9, 5}; };
        services.saveDialog = [this](const std::u16string& title, const std::string& name) {
            log.push_back("save " + std::string(title.begin(), title.end()) + " [" + name + "]");
            return chosen;
        };
        services.openDialog = [this](const std::u16string& title) {
            log.push_back("open " + std::string(title.begin(), title.end()));
            return chosen;
        };
        services.writeFile = [this](const std::string& path, std::string_view bytes) {
            if (!writeError.empty()) return FileWriteResult{false, writeError};
            files[path] = std::string(bytes);
            return FileWriteResult{true, ""};
        };
        services.readFile = [this](const std::string& path, uint64_t max) -> std::optional<std::string> {
            log.push_back("read limit " + std::to_string(max));
            auto it = files.find(path);
            if (it == files.end() || it->second.empty() || it->second.size() > max) return std::nullopt;
            return it->second;
        };
        services.post = [this](const std::string& json) { log.push_back("post " + json); };
    }
};

TEST(ReportFiles, DefaultNamesAndFileNames) {
    EXPECT_EQ(DefaultExportName(false, {2026, 3, 3, 9, 5}), "vorq-report-20260303-0905.json");
    EXPECT_EQ(DefaultExportName(true, {2026, 12, 31, 23, 59}), "vorq-raw-20261231-2359.json");
    for (auto [path, name] : std::vector<std::pair<std::string, std::string>>{
             {"C:\\Reports\\report.json", "report.json"}, {"report.json", "report.json"}, {"\\\\srv\\share\\a b.json", "a b.json"},
             {"C:/x/y.json", "y.json"}, {"C:\\dir\\", ""}})
        EXPECT_EQ(FileNameOfPath(path), name) << path;
}

TEST(ReportFiles, FileMessageEscapesTheText) {
    EXPECT_EQ(FileMessage("DA", "r\"1\".json", "{\"a\":\"\xC3\xA9\"}\n"),
              R"({"type":"file","slot":"DA","name":"r\"1\".json","text":"{\"a\":\"é\"}\n"})");
}

TEST(ReportFiles, Export) {
    {
        Rig rig;
        ExportReportFile(rig.services, false, u"Export privacy-safe report");
        EXPECT_EQ(rig.files["C:\\Reports\\report.json"], "{\"mode\":\"safe\"}");
        EXPECT_EQ(rig.log, (std::vector<std::string>{"save Export privacy-safe report [vorq-report-20260303-0905.json]",
                                                     R"(post {"type":"status","level":"ok","text":"Saved C:\\Reports\\report.json"})"}));
    }
    {
        Rig rig;  // no scan yet: no dialog, no message
        rig.last = nullptr;
        ExportReportFile(rig.services, true, u"t");
        EXPECT_TRUE(rig.log.empty());
    }
    {
        Rig rig;  // cancelled
        rig.chosen = std::nullopt;
        ExportReportFile(rig.services, true, u"t");
        EXPECT_EQ(rig.log, (std::vector<std::string>{"save t [vorq-raw-20260303-0905.json]"}));
        EXPECT_TRUE(rig.files.empty());
    }
    {
        Rig rig;  // a failed write keeps the old file and says why
        rig.files["C:\\Reports\\report.json"] = "old";
        rig.writeError = "error 112: There is not enough space on the disk.";
        ExportReportFile(rig.services, true, u"t");
        EXPECT_EQ(rig.files["C:\\Reports\\report.json"], "old");
        EXPECT_EQ(rig.log.back(), "post {\"type\":\"status\",\"level\":\"bad\",\"text\":\"Could not write C:\\\\Reports\\\\report.json: "
                                  "error 112: There is not enough space on the disk.\"}");
    }
}

TEST(ReportFiles, Open) {
    struct Case {
        const char* name;
        std::optional<std::string> content;  // nothing: no such file
        bool cancel;
        std::string expect;                  // the last log line
    };
    const std::string path = "C:\\Reports\\report.json";
    const std::string cantRead = R"(post {"type":"status","level":"bad","text":"Could not read C:\\Reports\\report.json)";
    const Case cases[] = {
        {"a report", std::string("{\"schema\":\"vorq.snapshot/1\"}"), false,
         R"(post {"type":"file","slot":"DB","name":"report.json","text":"{\"schema\":\"vorq.snapshot/1\"}"})"},
        {"cancelled", std::string("x"), true, "open Open report file"},
        {"missing", std::nullopt, false, cantRead + "\"}"},
        {"empty", std::string(), false, cantRead + "\"}"},
        {"Latin-1 bytes", std::string("{\"name\":\"M\xFCller\"}"), false, cantRead + ": not UTF-8 text\"}"},
        {"an encoded surrogate", std::string("\xED\xA0\x80"), false, cantRead + ": not UTF-8 text\"}"},
        {"a cut sequence at the end", std::string("ok \xE2\x82"), false, cantRead + ": not UTF-8 text\"}"},
    };
    for (const Case& c : cases) {
        Rig rig;
        if (c.content) rig.files[path] = *c.content;
        if (c.cancel) rig.chosen = std::nullopt;
        OpenReportFileForPage(rig.services, "DB", u"Open report file");
        EXPECT_EQ(rig.log.size(), c.cancel ? 1u : 3u) << c.name;
        if (!c.cancel) {
            EXPECT_EQ(rig.log[1], "read limit 67108864") << c.name;
        }
        EXPECT_EQ(rig.log.back(), c.expect) << c.name;
    }
}


// The page's commands reach the dialogs with their cleaned titles and slots.
TEST(ReportFiles, ThroughThePageCommands) {
    struct Sink : CommandSink {
        ReportFileServices* s = nullptr;
        void StartScan() override {}
        void ExportReport(bool raw, const std::u16string& title) override { ExportReportFile(*s, raw, title); }
        void OpenReportFile(const std::string& slot, const std::u16string& title) override { OpenReportFileForPage(*s, slot, title); }
        void StartTpmKeyAction(const std::string&) override {}
        void CopyText(const std::string&) override {}
        void OpenUrl(const std::string&) override {}
        void SetLanguage(const std::string&) override {}
        void Elevate() override {}
        void Rendered() override {}
        void Shown(const std::string&) override {}
    };
    Rig rig;
    Sink sink;
    sink.s = &rig.services;
    HandleWebMessage("export:raw|", sink);
    HandleWebMessage("export:safe|Bericht\tsichern", sink);
    HandleWebMessage("open:DA|Datei \xC3\xB6" "ffnen", sink);
    HandleWebMessage("open:ABCDE|x", sink);
    EXPECT_EQ(rig.log[0], "save Export raw diagnostic report (contains identifiers) [vorq-raw-20260303-0905.json]");
    EXPECT_EQ(rig.log[2], "save Bericht sichern [vorq-report-20260303-0905.json]");
    EXPECT_EQ(rig.log[4].substr(0, 11), "open Datei ");
    // The file the safe export just wrote.
    EXPECT_EQ(rig.log.back(), R"(post {"type":"file","slot":"DA","name":"report.json","text":"{\"mode\":\"safe\"}"})");
    EXPECT_EQ(rig.log.size(), 7u);
}

}  // namespace
}  // namespace vorq
