#include "window/scan.h"

#include <exception>
#include <system_error>
#include <thread>

#include "window/protocol.h"

namespace vorq {

ScanController::ScanController(ScanServices services)
    : services_(std::make_shared<const ScanServices>(std::move(services))) {}

bool ScanController::StartScan() {
    if (running_.exchange(true)) return false;
    try {
        std::thread(&ScanController::ScanThread, this, services_).detach();
        return true;
    } catch (...) {
        // No thread will ever clear the flag: clear it here, or scanning
        // would stay disabled for the rest of the run.
        running_.exchange(false);
        return false;
    }
}

std::shared_ptr<const Snapshot> ScanController::LastSnapshot() const {
    std::lock_guard<std::mutex> lock(lastMutex_);
    return last_;
}

void ScanController::ScanThread(ScanController* self, std::shared_ptr<const ScanServices> services) {
    bool entered = false;
    try {
        if (services->enterThread) entered = services->enterThread();
        std::shared_ptr<Snapshot> snapshot = MakeSnapshot();
        services->collect(*snapshot, [&](const std::string& stage, int pct) {
            services->post(ProgressMessage(stage, pct));
        });
        std::string message = SnapshotMessage(services->report(*snapshot));
        {
            std::lock_guard<std::mutex> lock(self->lastMutex_);
            self->last_ = std::move(snapshot);
        }
        services->post(message);
    } catch (const std::exception& e) {
        // Nothing may unwind out of a thread body: that would end the process.
        try {
            services->post(ScanFailedMessage(std::string(kScanFailedText) + ": " + e.what()));
        } catch (...) {
        }
    } catch (...) {
        try {
            services->post(ScanFailedMessage(kScanFailedText));
        } catch (...) {
        }
    }
    // The controller may be gone once the flag is clear: only the services
    // this thread holds are used after it.
    self->running_.exchange(false);
    try {
        if (services->leaveThread) services->leaveThread(entered);
    } catch (...) {
    }
}

}  // namespace vorq
