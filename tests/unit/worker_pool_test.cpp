#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <thread>

#include "collectors/trust/drivers.h"
#include "collectors/trust/worker_pool.h"

namespace vorq {
namespace {

// A fake verifier over 1,000 rows: each row written by the worker that drew it.
TEST(WorkerPool, EveryRowExactlyOnce) {
    constexpr size_t kRows = 1000;
    std::vector<DriverRow> rows(kRows);
    std::unique_ptr<std::atomic<int>[]> visits(new std::atomic<int>[kRows]);
    for (size_t i = 0; i < kRows; ++i) visits[i] = 0;
    std::atomic<int> failures{0};
    RunWorkerPool(
        kRows, DriverPoolThreads(std::thread::hardware_concurrency()),
        [&](size_t i) {
            visits[i].fetch_add(1);
            rows[i].signatureClass = i % 7 ? "WHQL" : "Unsigned";
            rows[i].result = static_cast<uint32_t>(i);
        },
        [&](size_t, const std::string&) { failures.fetch_add(1); });
    EXPECT_EQ(failures.load(), 0);
    for (size_t i = 0; i < kRows; ++i) {
        ASSERT_EQ(visits[i].load(), 1) << i;
        EXPECT_EQ(rows[i].result, i);
    }
}

TEST(WorkerPool, ThrowingItemBecomesThatRowsFailure) {
    constexpr size_t kRows = 200;
    std::vector<DriverRow> rows(kRows);
    RunWorkerPool(
        kRows, 4,
        [&](size_t i) {
            if (i % 50 == 3) throw std::runtime_error("verifier broke");
            ClassifySignature(rows[i], 0, SignerInfo{true, "Microsoft Windows", "Root", {}}, "");
        },
        [&](size_t i, const std::string& what) { MarkVerificationFailure(rows[i], 0x8000FFFF, "verification failed: " + what); });
    for (size_t i = 0; i < kRows; ++i) {
        if (i % 50 == 3) {
            EXPECT_EQ(rows[i].signatureClass, "Invalid signature") << i;
            EXPECT_EQ(rows[i].detail, "verification failed: verifier broke");
        } else {
            EXPECT_EQ(rows[i].signatureClass, "Inbox (Windows component)") << i;
        }
    }
}

TEST(WorkerPool, MoreThreadsThanRowsAndNoRows) {
    std::atomic<int> n{0};
    RunWorkerPool(3, 8, [&](size_t) { n.fetch_add(1); }, [](size_t, const std::string&) {});
    EXPECT_EQ(n.load(), 3);
    RunWorkerPool(0, 8, [&](size_t) { n.fetch_add(1); }, [](size_t, const std::string&) {});
    EXPECT_EQ(n.load(), 3);
}

}  // namespace
}  // namespace vorq
