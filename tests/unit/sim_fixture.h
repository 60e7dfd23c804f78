// The unit tests' fixtures: the fake seam at its load-time state and the
// simulator answering the fake pipe of session 1; for the exports, with the
// connection state Connected.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "exports/api.h"
#include "fakes/fake_os.h"
#include "eventually.h"
#include "fakes/fake_session.h"
#include "requests.h"
#include "session/connection.h"
#include "simulator.h"


class SimulatedService : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Os().Reset();
        fake::Platform().Reset();
        fake::Session().Reset();
        EnableEvent(LVX_EVENT_ALL), DisableEvent(LVX_EVENT_SERVICE_105);  // the subscriptions at load
        ASSERT_TRUE(sim_.Start());  // on the pipe of session 1
    }
    // No session, thread or handler is left for the next test in this process.
    void TearDown() override {
        Stop(false);
        EXPECT_TRUE(ThreadsEnded());
        SetEventHandler(nullptr);
        sim_.Stop();
        fake::Os().Reset();
    }
    sim::Simulator& Sim() { return sim_; }
    // Every notification thread a fake started has ended (bounded wait).
    static bool ThreadsEnded() {
        return Eventually([] { return fake::Session().threadsRunning == 0; });
    }
    // The requests of `command` the service received since its log was cleared.
    std::vector<ServiceRecord> Sent(uint32_t command) {
        std::vector<ServiceRecord> sent;
        for (const ServiceRecord& record : sim_.Requests())
            if (record.command == command) sent.push_back(record);
        return sent;
    }
    sim::Simulator sim_;  // made after the previous test's TearDown put the seam back
};

class ConnectedService : public SimulatedService {
protected:
    void SetUp() override { SimulatedService::SetUp(), lmvx::ConnectionState = lmvx::kConnected; }
    void TearDown() override { lmvx::ConnectionState = lmvx::kStopped, SimulatedService::TearDown(); }
};
