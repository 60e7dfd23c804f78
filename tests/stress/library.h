// The library as a host loads it at run time: every export resolved by name
// from one dlopen handle, so tests can also unload it for real. Helpers to
// watch the process from outside: its threads, its window endpoints, its
// open files.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
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

// Whether LMVX_LONG=1 asks for the long runs.
bool Long();
// Whether this build runs under a sanitizer (runs are shortened there).
bool Sanitized();

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

template <typename Predicate>
bool Eventually(Predicate done, int milliseconds = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace stress
