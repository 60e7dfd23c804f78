#include <gtest/gtest.h>

#include "exports/api.h"
#include "session/connection.h"
#include "sim_fixture.h"

namespace {

using lmvx::ConnectionState;

class Status : public SimulatedService {};

TEST_F(Status, StoppedAtLoadAndNothingSent) {
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
}

TEST_F(Status, RefreshFollowsTheServiceAnswer) {
    ConnectionState = lmvx::kDisconnected;
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
    EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>{1});
    Sim().SetStatus(0);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
    // Any other answer leaves the state, whatever it was.
    Sim().SetStatus(2);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
    ConnectionState = lmvx::kStartFailed;
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_START_FAILED);
    Sim().SetStatus(1);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
}

TEST_F(Status, AServiceThatIsGoneDisconnects) {
    ConnectionState = lmvx::kConnected;
    Sim().Stop();
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
    EXPECT_EQ(fake::Os().pipeCalls, 3u);
    // A refused status query counts as 0 too.
    ConnectionState = lmvx::kConnected;
    ASSERT_TRUE(Sim().Start());
    Sim().Once(1, {.setResult = true, .result = 0, .words = {{12, 1}}});
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
}

TEST_F(Status, ARefreshNeverOverwritesAStopThatLandsDuringTheQuery) {
    ConnectionState = lmvx::kDisconnected;
    // The service "answers" connected, but the state is stopped while the
    // query is on its way.
    Sim().Once(1, {.edit = [](lmvx::ServiceRecord&) { ConnectionState = lmvx::kStopped; }});
    lmvx::RefreshConnectionState();
    EXPECT_EQ(ConnectionState.load(), lmvx::kStopped);
}

TEST_F(Status, CheckServiceNeedsReadinessTwoOrMore) {
    ASSERT_EQ(ConnectionState.load(), lmvx::kStopped);  // no gate: sent while stopped
    const std::pair<uint32_t, bool> cases[] = {{0, false}, {1, false}, {2, true}, {3, true}, {0x80000000u, true}};
    for (auto [readiness, ready] : cases) {
        Sim().SetReadiness(readiness);
        EXPECT_EQ(CheckService(), ready) << readiness;
    }
    EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>(5, 36));
    Sim().Stop();
    EXPECT_FALSE(CheckService());
}

}  // namespace
