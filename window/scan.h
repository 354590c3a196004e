// Scans asked for by the page: at most one at a time, each on a detached
// worker thread whose progress and report reach the page as posted messages.
// The services are injected so the thread logic runs in the host tests.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "core/driver.h"
#include "core/snapshot.h"

namespace vorq {

struct ScanServices {
    // Runs the collectors over the Snapshot, reporting progress.
    std::function<void(Snapshot&, const ProgressCallback&)> collect;
    // The report text of a finished Snapshot (the "ui" mode).
    std::function<std::string(const Snapshot&)> report;
    // Hands one JSON text to the page; callable from any thread.
    std::function<void(const std::string&)> post;
    // Thread set-up and tear-down (COM); leave gets enter's result and is the
    // thread's last act.
    std::function<bool()> enterThread;
    std::function<void(bool entered)> leaveThread;
};

inline constexpr char kScanFailedText[] = "The scan failed";

class ScanController {
public:
    explicit ScanController(ScanServices services);

    // Starts a scan unless one runs. False when the request was dropped or
    // the thread could not start.
    bool StartScan();
    bool Running() const { return running_.load(); }
    // The last finished scan's Snapshot; null before the first one.
    std::shared_ptr<const Snapshot> LastSnapshot() const;

private:
    static void ScanThread(ScanController* self, std::shared_ptr<const ScanServices> services);

    std::shared_ptr<const ScanServices> services_;
    std::atomic<bool> running_{false};
    mutable std::mutex lastMutex_;
    std::shared_ptr<const Snapshot> last_;
};

}  // namespace vorq
