// A fixture for unit tests: the fake OS back at its load-time state and a
// simulator answering the fake pipe of session 1.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "fakes/fake_os.h"
#include "fakes/fake_session.h"
#include "simulator.h"

class SimulatedService : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Os().Reset();
        fake::Session().Reset();
        sim_ = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(sim_->Start());
    }
    void TearDown() override {
        sim_->Stop();
        fake::Os().Reset();
    }
    sim::Simulator& Sim() { return *sim_; }

private:
    std::unique_ptr<sim::Simulator> sim_;
};
