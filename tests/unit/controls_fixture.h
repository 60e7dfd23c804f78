// Shared by the controls and platform unit tests: the simulated service on
// the fake pipe, the fake platform probes at their load-time state, and the
// connection state set to Connected (tests that need another state set it).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "fakes/fake_platform.h"
#include "session/connection.h"
#include "sim_fixture.h"

class ConnectedService : public SimulatedService {
protected:
    void SetUp() override {
        SimulatedService::SetUp();
        fake::Platform().Reset();
        lmvx::ConnectionState = lmvx::kConnected;
    }
    void TearDown() override {
        lmvx::ConnectionState = lmvx::kStopped;
        fake::Platform().Reset();
        SimulatedService::TearDown();
    }

    size_t CountOf(uint32_t command) {
        const std::vector<uint32_t> commands = Sim().Commands();
        return static_cast<size_t>(std::count(commands.begin(), commands.end(), command));
    }

    // A command-4 reply: `supported` at 20, `count` at 24, values from 28.
    static sim::Script Capabilities(uint32_t supported, int32_t count, const std::vector<uint32_t>& values) {
        sim::Script script;
        script.words = {{20, supported}, {24, static_cast<uint32_t>(count)}};
        for (size_t i = 0; i < values.size(); ++i)
            script.words.emplace_back(static_cast<uint32_t>(28 + 4 * i), values[i]);
        return script;
    }

    // The service's answer to command 31 (mode scheme) from now on.
    void AnswerScheme(uint32_t scheme) { Sim().Always(31, {.words = {{12, scheme}}}); }
    void AnswerVariant(uint32_t variant) { Sim().Always(35, {.words = {{12, variant}}}); }
};

inline const lmvx::ConnectionStateValue kNotConnectedStates[] = {lmvx::kDisconnected, lmvx::kStopped,
                                                                 lmvx::kStartFailed};
