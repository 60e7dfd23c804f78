// The unit tests' service: the simulator on the fake pipe, the fake seam and
// probes at their load-time state, and the connection state Connected.
#pragma once

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "exports/api.h"
#include "fakes/fake_platform.h"
#include "session/connection.h"
#include "sim_fixture.h"

using lmvx::ServiceRecord;
using Words = std::vector<std::pair<uint32_t, uint32_t>>;

class ConnectedService : public SimulatedService {
protected:
    void SetUp() override {
        SimulatedService::SetUp();
        fake::Platform().Reset();
        lmvx::ConnectionState = lmvx::kConnected;
    }
    void TearDown() override {
        lmvx::ConnectionState = lmvx::kStopped;
        SimulatedService::TearDown();
    }
    // The requests of `command` the service received since its log was cleared.
    std::vector<ServiceRecord> Sent(uint32_t command) {
        std::vector<ServiceRecord> sent;
        for (const ServiceRecord& record : Sim().Requests())
            if (record.command == command) sent.push_back(record);
        return sent;
    }
};

inline const lmvx::ConnectionStateValue kNotConnected[] = {lmvx::kDisconnected, lmvx::kStopped, lmvx::kStartFailed};

// A request: size, command and `words`; every other byte zero.
inline ServiceRecord Request(uint32_t command, const Words& words = {}) {
    ServiceRecord record = ServiceRecord::Request(command);
    for (const auto& [offset, value] : words) record.SetWord(offset, value);
    return record;
}

inline bool Same(const ServiceRecord& a, const ServiceRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
