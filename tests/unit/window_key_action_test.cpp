#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "window/key_action.h"

namespace vorq {
namespace {

// Everything the key thread did, in order, and a wait for its last act.
struct Recorder {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::string> events;
    int finished = 0;

    void Add(const std::string& e, bool last = false) {
        std::lock_guard<std::mutex> lock(m);
        events.push_back(e);
        if (last) ++finished;
        cv.notify_all();
    }
    bool WaitFinished(int n) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(20), [&] { return finished >= n; });
    }
};

std::shared_ptr<const KeyActionServices> Services(Recorder& r, bool throwInRun = false) {
    auto s = std::make_shared<KeyActionServices>();
    s->run = [&r, throwInRun](const std::string& op) -> std::string {
        r.Add("run " + op);
        if (throwInRun) throw std::runtime_error("no memory");
        return "{\"type\":\"tpmkey\",\"op\":\"" + op + "\"}";
    };
    s->post = [&r](const std::string& json) { r.Add("post " + json); };
    s->startScan = [&r] { r.Add("scan"); };
    s->enterThread = [&r] {
        r.Add("enter");
        return true;
    };
    s->leaveThread = [&r](bool entered) { r.Add(entered ? "leave" : "leave without"); };
    return s;
}

TEST(WindowKeyAction, EachActionPostsItsResultAndOnlyCreateAndDeleteRescan) {
    struct Case {
        const char* op;
        std::vector<std::string> events;
    } cases[] = {
        {"create", {"enter", "run create", "post {\"type\":\"tpmkey\",\"op\":\"create\"}", "leave", "scan"}},
        {"delete", {"enter", "run delete", "post {\"type\":\"tpmkey\",\"op\":\"delete\"}", "leave", "scan"}},
        {"challenge", {"enter", "run challenge", "post {\"type\":\"tpmkey\",\"op\":\"challenge\"}", "leave"}},
        {"Create", {"enter", "run Create", "post {\"type\":\"tpmkey\",\"op\":\"Create\"}", "leave"}},
    };
    for (const Case& c : cases) {
        Recorder r;
        auto services = Services(r);
        // The thread's last act marks it finished.
        auto counting = std::make_shared<KeyActionServices>(*services);
        const bool rescans = c.events.back() == "scan";
        counting->startScan = [&r] { r.Add("scan", true); };
        counting->leaveThread = [&r, rescans](bool entered) { r.Add(entered ? "leave" : "leave without", !rescans); };
        ASSERT_TRUE(StartKeyAction(counting, c.op));
        ASSERT_TRUE(r.WaitFinished(1)) << c.op;
        std::lock_guard<std::mutex> lock(r.m);
        EXPECT_EQ(r.events, c.events) << c.op;
    }
}

TEST(WindowKeyAction, AFailingActionPostsAStatusAndStillLeaves) {
    Recorder r;
    auto services = std::make_shared<KeyActionServices>(*Services(r, true));
    services->leaveThread = [&r](bool) { r.Add("leave"); };
    services->startScan = [&r] { r.Add("scan", true); };
    ASSERT_TRUE(StartKeyAction(services, "create"));
    ASSERT_TRUE(r.WaitFinished(1));
    std::lock_guard<std::mutex> lock(r.m);
    EXPECT_EQ(r.events, (std::vector<std::string>{
                            "enter", "run create",
                            "post {\"type\":\"status\",\"level\":\"bad\",\"text\":\"The TPM key action failed: no memory\"}",
                            "leave", "scan"}));
}

}  // namespace
}  // namespace vorq
