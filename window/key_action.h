// TPM-bound key actions asked for by the page: each runs on a detached thread
// of its own and reaches the page as one posted message. A finished "create"
// or "delete" asks for a fresh scan so the page shows the key's new state.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vorq {

struct KeyActionServices {
    // Runs the action and gives the page message of its result.
    std::function<std::string(const std::string& operation)> run;
    // Hands one JSON text to the page; callable from any thread.
    std::function<void(const std::string&)> post;
    // Starts a scan unless one runs.
    std::function<void()> startScan;
    // Thread set-up and tear-down (COM); leave gets enter's result.
    std::function<bool()> enterThread;
    std::function<void(bool entered)> leaveThread;
};

inline constexpr char kKeyActionFailedText[] = "The TPM key action failed";

// False when the thread could not start.
bool StartKeyAction(std::shared_ptr<const KeyActionServices> services, std::string operation);

}  // namespace vorq
