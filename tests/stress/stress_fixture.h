// A loaded library and a running simulator on the real pipe of this
// process's runtime folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "library.h"
#include "simulator.h"

namespace stress {

class LoadedLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        sim_ = std::make_unique<sim::Simulator>(Options());
        ASSERT_TRUE(sim_->Start());
        ASSERT_TRUE(lib_.Load());
    }
    void TearDown() override {
        if (lib_.handle != nullptr) {
            lib_.SetEventHandler(nullptr);
            lib_.Stop(false);
            // The notification thread ends on its own; the library stays
            // loaded until it has (its endpoint is its last visible trace).
            Eventually([] { return WindowEndpointCount() == 0; });
        }
        sim_->Stop();
    }
    virtual sim::Options Options() { return {}; }
    sim::Simulator& Sim() { return *sim_; }
    const Library& Lib() const { return lib_; }

    std::unique_ptr<sim::Simulator> sim_;
    Library lib_;
};

}  // namespace stress
