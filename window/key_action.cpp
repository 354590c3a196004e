#include "window/key_action.h"

#include <exception>
#include <thread>

#include "window/protocol.h"

namespace vorq {

namespace {

void KeyActionThread(std::shared_ptr<const KeyActionServices> services, std::string operation) {
    bool entered = false;
    try {
        if (services->enterThread) entered = services->enterThread();
        services->post(services->run(operation));
    } catch (const std::exception& e) {
        // Nothing may unwind out of a thread body: that would end the process.
        try {
            services->post(StatusMessage(std::string(kKeyActionFailedText) + ": " + e.what(), "bad"));
        } catch (...) {
        }
    } catch (...) {
        try {
            services->post(StatusMessage(kKeyActionFailedText, "bad"));
        } catch (...) {
        }
    }
    try {
        if (services->leaveThread) services->leaveThread(entered);
        if ((operation == "create" || operation == "delete") && services->startScan) services->startScan();
    } catch (...) {
    }
}

}  // namespace

bool StartKeyAction(std::shared_ptr<const KeyActionServices> services, std::string operation) {
    try {
        std::thread(KeyActionThread, std::move(services), std::move(operation)).detach();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace vorq
