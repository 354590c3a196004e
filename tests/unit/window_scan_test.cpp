#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/report.h"
#include "window/scan.h"

namespace vorq {
namespace {

// What the scan thread posted, and a way to wait for the thread's end.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> posted;
    int threadsEnded = 0;
    bool release = true;  // a collector run waits while false

    void Post(const std::string& json) {
        std::lock_guard<std::mutex> lock(m);
        posted.push_back(json);
    }
    bool WaitEnded(int n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(20), [&] { return threadsEnded >= n; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(m);
        release = true;
        cv.notify_all();
    }
};

const char* const kStages[] = {"Windows", "CPU", "FPU"};

ScanServices Services(Recorder& r, bool throwInCollect = false) {
    ScanServices s;
    s.collect = [&r, throwInCollect](Snapshot& snap, const ProgressCallback& progress) {
        {
            std::unique_lock<std::mutex> lock(r.m);
            r.cv.wait(lock, [&] { return r.release; });
        }
        int pct = 0;
        for (const char* stage : kStages) {
            progress(stage, pct);
            pct += 30;
        }
        if (throwInCollect) throw std::runtime_error("collector table broken");
        snap.deviceTitle = "Test PC";
        progress("Done", 100);
    };
    s.report = [](const Snapshot& snap) {
        std::string out;
        WriteSnapshotJsonWithKey(out, snap, kReportUi, Bytes(32, 7));
        return out;
    };
    s.post = [&r](const std::string& json) { r.Post(json); };
    s.enterThread = [] { return true; };
    s.leaveThread = [&r](bool) {
        std::lock_guard<std::mutex> lock(r.m);
        ++r.threadsEnded;
        r.cv.notify_all();
    };
    return s;
}

TEST(ScanThread, PostsProgressInOrderThenOneSnapshot) {
    Recorder r;
    r.release = false;
    ScanController scans(Services(r));
    EXPECT_EQ(scans.LastSnapshot(), nullptr);
    EXPECT_TRUE(scans.StartScan());
    EXPECT_TRUE(scans.Running());
    EXPECT_FALSE(scans.StartScan());  // one runs: dropped
    r.Release();
    ASSERT_TRUE(r.WaitEnded(1));
    EXPECT_FALSE(scans.Running());

    ASSERT_EQ(r.posted.size(), 5u);
    EXPECT_EQ(r.posted[0], R"({"type":"progress","stage":"Windows","pct":0})");
    EXPECT_EQ(r.posted[1], R"({"type":"progress","stage":"CPU","pct":30})");
    EXPECT_EQ(r.posted[2], R"({"type":"progress","stage":"FPU","pct":60})");
    EXPECT_EQ(r.posted[3], R"({"type":"progress","stage":"Done","pct":100})");
    const std::string& snap = r.posted[4];
    EXPECT_EQ(snap.rfind(R"({"type":"snapshot","data":{"schema":"vorq.snapshot/1")", 0), 0u) << snap.substr(0, 80);
    EXPECT_EQ(snap.back(), '}');
    ASSERT_NE(scans.LastSnapshot(), nullptr);
    EXPECT_EQ(scans.LastSnapshot()->deviceTitle, "Test PC");

    // Idle again: the next request runs and replaces the last Snapshot.
    auto first = scans.LastSnapshot();
    EXPECT_TRUE(scans.StartScan());
    ASSERT_TRUE(r.WaitEnded(2));
    EXPECT_EQ(r.posted.size(), 10u);
    EXPECT_NE(scans.LastSnapshot(), first);
}

TEST(ScanThread, AThrowingRunPostsAStatusAndFreesTheFlag) {
    Recorder r;
    ScanController scans(Services(r, true));
    EXPECT_TRUE(scans.StartScan());
    ASSERT_TRUE(r.WaitEnded(1));
    EXPECT_FALSE(scans.Running());
    ASSERT_EQ(r.posted.size(), 4u);
    EXPECT_EQ(r.posted.back(), R"({"type":"status","level":"bad","text":"The scan failed: collector table broken","scan":"failed"})");
    EXPECT_EQ(scans.LastSnapshot(), nullptr);
    EXPECT_TRUE(scans.StartScan());  // scanning still possible
    ASSERT_TRUE(r.WaitEnded(2));
}

}  // namespace
}  // namespace vorq
