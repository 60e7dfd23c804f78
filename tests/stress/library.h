// The library as a host loads it at run time, by dlopen, so that tests can
// unload it for real, against lumivex-sim on the real pipe of this
// process's own runtime folder (so that test processes run in parallel);
// and what can be watched of the process from outside: its threads, open
// files and window endpoints.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>

#include "eventually.h"
#include "lmvx.h"
#include "simulator.h"

namespace stress {

inline const std::string kRuntimeDir = [] {
    static char dir[] = "/tmp/lmvx-stress-XXXXXX";
    if (mkdtemp(dir) == nullptr || setenv("XDG_RUNTIME_DIR", dir, 1) != 0) std::abort();
    std::atexit([] { std::filesystem::remove_all(dir); });
    return std::string(dir);
}();

#define LMVX_STRESS_EXPORTS(X) X(GetContrast) X(GetLVXStatus) X(SetEventHandler) X(Start) X(Stop)

struct Library {
#define LMVX_EXPORT_POINTER(name) decltype(&::name) name = nullptr;
    LMVX_STRESS_EXPORTS(LMVX_EXPORT_POINTER)
    void* handle = nullptr;

    bool Load() {  // dlopen and the exports by name; false when any is missing
        bool complete = (handle = dlopen(LMVX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL)) != nullptr;
#define LMVX_RESOLVE(name) complete = complete && (name = reinterpret_cast<decltype(name)>(dlsym(handle, #name)));
        LMVX_STRESS_EXPORTS(LMVX_RESOLVE)
        return complete;
    }
    void Unload() { dlclose(std::exchange(*this, Library{}).handle); }  // after a Load that succeeded
};

inline int CountEntries(const std::string& dir, const std::string& prefix = "") {
    return std::count_if(std::filesystem::directory_iterator(dir), {}, [&](const auto& entry) {
        return entry.path().filename().string().rfind(prefix, 0) == 0;
    });
}
inline int ThreadCount() { return CountEntries("/proc/self/task"); }
inline int OpenFileCount() { return CountEntries("/proc/self/fd"); }
inline int WindowEndpointCount() { return CountEntries(kRuntimeDir, "LMVX_Window_"); }  // one per notification thread
inline bool LibraryLoaded(void* probe = dlopen(LMVX_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD)) {  // in this process
    return probe != nullptr && dlclose(probe) == 0;
}

// Writes this test's figure ("calls N") to its report file.
inline void Report(uint64_t calls) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::create_directories(LMVX_STRESS_REPORT_DIR);
    std::ofstream(std::string(LMVX_STRESS_REPORT_DIR) + "/" + test->test_suite_name() + "." + test->name() + ".txt")
        << "calls " << calls << '\n';
}

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.Start() && (!load_ || lib_.Load())); }
    void TearDown() override {
        if (lib_.handle != nullptr) {
            lib_.SetEventHandler(nullptr), lib_.Stop(false);
            EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
            lib_.Unload();  // the next test in this process starts with the library unloaded
        }
        sim_.Stop();
    }
    bool load_ = true;  // whether the fixture loads the library
    sim::Simulator sim_;
    Library lib_;
};

}  // namespace stress
