#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/driver.h"
#include "core/fault_guard_win.h"
#include "core/win.h"

namespace vorq {
namespace {

// A stack overflow ends the process unless the guard both lands on a stack
// with room and re-arms the thread's guard page, so the overflows run in a
// child process (this test program again). The child writes "done" to the
// file named in VORQ_OVERFLOW_CHILD when every check ran: under Wine a process
// ended by an overflow can still report exit code 0.

volatile bool KeepRecursing = true;

__attribute__((noinline)) int Recurse(volatile char* previous) {
    volatile char frame[512];
    frame[0] = previous ? previous[0] : 1;
    if (!KeepRecursing) return frame[0];
    return Recurse(frame) + frame[1];
}

void Overflow(Snapshot&) { Recurse(nullptr); }
void Note(Snapshot& s) { s.notes.push_back("ran"); }
void Nothing(Snapshot&) {}

TEST(StackOverflowChild, CollectorsOverflowTwiceInOneScanAndTheScanGoesOn) {
    wchar_t done[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VORQ_OVERFLOW_CHILD", done, MAX_PATH) == 0) GTEST_SKIP() << "run by StackOverflow";
    const CollectorEntry table[] = {
        {"First", &Overflow, 1}, {"Between", &Note, 1}, {"Second", &Overflow, 1}, {"After", &Note, 1}};
    Snapshot s;
    RunCollectorTable(table, &Nothing, s, nullptr);
    ASSERT_EQ(s.collectors.size(), 4u);
    for (const CollectorRun& r : s.collectors) {
        const bool overflows = r.name == "First" || r.name == "Second";
        EXPECT_EQ(r.status, overflows ? "error" : "ok") << r.name;
        EXPECT_EQ(r.error, overflows ? kUnexpectedException : "") << r.name;
    }
    EXPECT_EQ(s.notes, (std::vector<std::string>{"ran", "ran"}));
    // And once more straight under the guard, with the code.
    const FaultResult r = RunFaultGuarded([] { Recurse(nullptr); });
    EXPECT_TRUE(r.faulted);
    EXPECT_EQ(r.code, static_cast<DWORD>(EXCEPTION_STACK_OVERFLOW));
    if (!HasFailure()) {
        UniqueFile f(CreateFileW(done, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        DWORD written = 0;
        WriteFile(f.get(), "done", 4, &written, nullptr);
    }
}

std::string ReadSmallFile(const std::wstring& path) {
    UniqueFile f(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    char buf[16] = {};
    DWORD got = 0;
    if (!f || !ReadFile(f.get(), buf, sizeof buf, &got, nullptr)) return std::string();
    return std::string(buf, got);
}

TEST(StackOverflow, EveryOverflowBecomesAnErrorRun) {
    wchar_t exe[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
    std::wstring command = std::wstring(L"\"") + exe +
                           L"\" --gtest_filter=StackOverflowChild.* --gtest_brief=1";
    wchar_t tmp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring done = std::wstring(tmp) + L"vorq-overflow-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    ASSERT_TRUE(SetEnvironmentVariableW(L"VORQ_OVERFLOW_CHILD", done.c_str()));
    // The fault used to end the process in about one run of four: several runs.
    for (int run = 0; run < 6; ++run) {
        DeleteFileW(done.c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::wstring line = command;
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        UniqueHandle process(pi.hProcess), thread(pi.hThread);
        ASSERT_EQ(WaitForSingleObject(process.get(), 60000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(process.get(), &code);
        EXPECT_EQ(code, 0u) << "run " << run;
        EXPECT_EQ(ReadSmallFile(done), "done") << "run " << run << " did not finish its checks";
    }
    DeleteFileW(done.c_str());
    SetEnvironmentVariableW(L"VORQ_OVERFLOW_CHILD", nullptr);
}

}  // namespace
}  // namespace vorq
