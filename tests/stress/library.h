// The library as a host loads it at run time: every export resolved by name
// from one dlopen handle, so tests can also unload it for real. Helpers to
// watch the process from outside: its threads, its window endpoints, its
// open files, its mappings.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "lmvx.h"

#define LMVX_EXPORTS(X)                                                                                   \
    X(AddAutoColorApp) X(CheckService) X(DeleteAutoColorApp) X(DisableEvent) X(DisablePolling)            \
    X(EnableAutoColor) X(EnableDesktopPartition) X(EnableEvent) X(EnablePolling) X(EnableSchedule)         \
    X(FactoryReset) X(GetAutoColorTable) X(GetBlueGain) X(GetBrightness) X(GetContrast)                    \
    X(GetCurrentDisplayMode) X(GetDesktopPartition) X(GetDPSupportedScreens) X(GetFeatures)                \
    X(GetGreenGain) X(GetHDRStatus) X(GetInputSource) X(GetLVXStatus) X(GetPowerSavings) X(GetRedGain)     \
    X(GetSchedule) X(GetScheduleTime) X(GetShedulerMode) X(getSupportedAutoColorMode)                      \
    X(GetSupportedDisplayModes) X(GetSupportedInputSources) X(GetSupportedWhitePoints) X(GetWhitePoint)    \
    X(IsAutoColorEnabled) X(IsDesktopPartitionEnabled) X(IsPlatformSupported)                              \
    X(LuanchDesktopPartitionCustomizer) X(SetAutoColorAppMode) X(SetBlueGain) X(SetContrast)               \
    X(SetDesktopPartition) X(SetDisplayMode) X(SetEventHandler) X(SetGreenGain) X(SetInputSource)          \
    X(SetPowerSavings) X(SetRedGain) X(SetScheduleTime) X(SetShedulerMode) X(SetWhitePoint) X(Start)       \
    X(Stop) X(UpdateData)

namespace stress {

struct Library {
#define LMVX_EXPORT_POINTER(name) decltype(&::name) name = nullptr;
    LMVX_EXPORTS(LMVX_EXPORT_POINTER)
#undef LMVX_EXPORT_POINTER
    void* handle = nullptr;

    // Loads the library and resolves all 53 exports; false (with a test
    // failure) when any is missing.
    bool Load();
    // dlclose; the pointers are cleared.
    void Unload();
};

// Threads of this process, from /proc/self/task.
int ThreadCount();
// Open file descriptors of this process.
int OpenFileCount();
// Notification window endpoints in the runtime folder (one per live
// notification thread).
int WindowEndpointCount();
// Whether any mapping of this process comes from the library's file.
bool LibraryMapped();

// Appends "key value" lines to this test's report file.
void Report(const std::string& key, uint64_t value);

// Waits for `done`, giving up only after a bound that a hang alone reaches.
template <typename Predicate>
bool Eventually(Predicate done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A one-way signal between threads. Wait gives up only after the same bound.
class Signal {
public:
    void Raise() {
        std::lock_guard<std::mutex> hold(lock_);
        raised_ = true;
        changed_.notify_all();
    }
    bool Wait() {
        std::unique_lock<std::mutex> hold(lock_);
        return changed_.wait_for(hold, std::chrono::seconds(30), [this] { return raised_; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool raised_ = false;
};

}  // namespace stress
