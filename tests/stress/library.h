// The library as a host loads it at run time, by dlopen, so that tests can
// unload it for real, against lumivex-sim on the real pipe of this
// process's runtime folder; and what can be watched of the process from
// outside: its threads, open files, window endpoints and mappings.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "lmvx.h"
#include "simulator.h"

namespace stress {

#define LMVX_STRESS_EXPORTS(X) X(GetContrast) X(GetLVXStatus) X(SetEventHandler) X(Start) X(Stop)

struct Library {
#define LMVX_EXPORT_POINTER(name) decltype(&::name) name = nullptr;
    LMVX_STRESS_EXPORTS(LMVX_EXPORT_POINTER)
#undef LMVX_EXPORT_POINTER
    void* handle = nullptr;

    // dlopen and the exports by name; false (with a test failure) when any
    // is missing.
    bool Load();
    // dlclose; the pointers are cleared.
    void Unload();
};

int ThreadCount();
int OpenFileCount();
// One per live notification thread.
int WindowEndpointCount();
// Whether the library is still loaded in this process.
bool LibraryLoaded();

// Writes this test's figure ("key value") to its report file.
void Report(const std::string& key, uint64_t value);

// Waits for `done`, giving up only after a bound that a hang alone reaches.
template <typename Predicate>
bool Eventually(Predicate done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done();
}

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.Start());
        ASSERT_TRUE(lib_.Load());
    }
    void TearDown() override {
        if (lib_.handle != nullptr) {
            lib_.SetEventHandler(nullptr);
            lib_.Stop(false);
            EXPECT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
        }
        sim_.Stop();
    }
    sim::Simulator& Sim() { return sim_; }
    const Library& Lib() const { return lib_; }

    sim::Simulator sim_;
    Library lib_;
};

}  // namespace stress
