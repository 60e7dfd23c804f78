// Sessions: no service, a service that never reports a connection, and
// watch with events posted through the simulator's control interface.
#include <chrono>

#include "ctl_fixture.h"

namespace ctltest {
namespace {

using std::chrono::milliseconds;

const std::vector<Args> kNeedService = {
    {"get"},
    {"get", "contrast"},
    {"set", "contrast", "5"},
    {"list"},
    {"mode", "get"},
    {"features"},
    {"hdr"},
    {"power"},
    {"autocolor", "status"},
    {"partition", "status"},
    {"schedule", "status"},
    {"check"},
    {"watch", "--for-ms", "100"},
};

TEST_F(CtlTest, WithoutServiceEveryServiceCommandExitsOne) {
    for (const Args& args : kNeedService) {
        const Result result = Ctl(args);
        EXPECT_EQ(result.status, 1) << Joined(args);
        EXPECT_EQ(Lines(result.err), 1u) << Joined(args) << ": " << result.err;
        EXPECT_NE(result.err.find("lmvxctl: not connected"), std::string::npos) << result.err;
        if (args[0] != "check") {
            EXPECT_EQ(result.out, "") << Joined(args);
        }
    }
}

TEST_F(CtlTest, WithoutServiceStatusReportsAndExitsOne) {
    const Result status = Ctl({"--json", "status"});
    EXPECT_EQ(status.status, 1);
    const Json json = Json::parse(status.out);
    EXPECT_EQ(json.at("service_ready"), false);
    EXPECT_EQ(json.at("state"), "stopped");
    EXPECT_EQ(Lines(status.err), 1u);
}

TEST_F(CtlTest, PlatformNeedsNoService) {
    const Result platform = Ctl({"platform"});
    EXPECT_EQ(platform.status, 0) << platform.err;
    EXPECT_TRUE(platform.out == "platform: supported\n" || platform.out == "platform: not supported\n")
        << platform.out;
}

TEST_F(CtlTest, WaitsForAServiceThatStartsLate) {
    Process late({LMVXCTL_PATH, "--wait-ms", "10000", "get", "contrast"});
    usleep(500000);
    StartSim({"--value", "0x12=33"});
    const Result result = late.Wait(milliseconds(15000));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "contrast: 33\n");
}

TEST_F(CtlTest, ServiceThatNeverConnectsTimesOut) {
    StartSim({"--status", "0"});
    const auto start = std::chrono::steady_clock::now();
    const Result result = Ctl({"--timeout-ms", "600", "get", "contrast"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("did not start within 600 ms"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_LT(took, milliseconds(5000));
    // The value was never read.
    EXPECT_EQ(Log().find("get-vcp"), std::string::npos) << Log();
}

TEST_F(CtlTest, ServiceNotReadyIsNotConnected) {
    StartSim({"--readiness", "1"});
    const Result result = Ctl({"get", "contrast"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("not connected"), std::string::npos);
    EXPECT_EQ(Log().find("get-vcp"), std::string::npos) << Log();
}

TEST_F(CtlTest, SessionIsEndedWithTheService) {
    StartSim();
    ASSERT_EQ(Ctl({"get", "contrast"}).status, 0);
    const std::string log = Log();
    // Start's requests, the read, and the end of the session, in order.
    const size_t registered = log.find("register-window");
    const size_t read = log.find("get-vcp vcp=0x12 -> result 1 value=50");
    const size_t ended = log.find("session-end");
    ASSERT_NE(registered, std::string::npos) << log;
    ASSERT_NE(read, std::string::npos) << log;
    ASSERT_NE(ended, std::string::npos) << log;
    EXPECT_LT(registered, read);
    EXPECT_LT(read, ended);
}

// watch with the events of a change through the control interface; the
// values shown are those read back through the getters, not those posted.
struct WatchCase {
    const char* name;
    std::vector<Args> changes;  // lumivex-sim commands, run as programs
    std::vector<std::string> lines;
    bool json;
};

const WatchCase kWatchCases[] = {
    {"MonitorChange", {{"set", "0x12", "70"}}, {"contrast (0x12): 70"}, false},
    {"NotifiedValueIsReadBack", {{"notify", "0x10", "5"}}, {"brightness (0x10): 75"}, false},
    {"SeveralInOrder",
     {{"set", "0x16", "9"}, {"set", "0x14", "0x0B"}, {"set", "0xDC", "0x02"}},
     {"red-gain (0x16): 9", "white-point (0x14): 0x0B", "display-mode (0xDC): 3"},
     false},
    {"ServiceEvents",
     {{"hdr", "1"}, {"hdr", "0"}, {"power", "1"}, {"notify", "0x102", "0"}},
     {"service-103 (0x103)", "service-104 (0x104)", "service-105 (0x105)", "status-changed (0x102): connected"},
     false},
    {"Json",
     {{"set", "0x60", "0x10"}, {"notify", "0x102", "1"}},
     {R"({"event":"input-source","type":96,"value":16})",
      R"({"event":"status-changed","type":258,"value":1,"state":"connected"})"},
     true},
};

void PrintTo(const WatchCase& c, std::ostream* os) { *os << c.name; }

class CtlWatchTest : public CtlTest, public ::testing::WithParamInterface<WatchCase> {};

TEST_P(CtlWatchTest, PrintsEachEventUntilInterrupted) {
    const WatchCase& c = GetParam();
    StartSim();
    Args argv = {LMVXCTL_PATH};
    if (c.json) argv.push_back("--json");
    argv.push_back("watch");
    Process watch(argv);
    if (c.json) {
        // JSON mode prints nothing before the first event: wait for the
        // session's last start request instead.
        for (int i = 0; i < 300 && Log().find("polling-category-5") == std::string::npos; ++i) usleep(10000);
        ASSERT_NE(Log().find("polling-category-5"), std::string::npos);
    } else {
        ASSERT_TRUE(watch.WaitForOutput("watching events until Ctrl-C\n", milliseconds(5000)));
    }
    for (const Args& change : c.changes) {
        const Result changed = SimCommand(change);
        ASSERT_EQ(changed.status, 0) << Joined(change) << ": " << changed.out;
    }
    ASSERT_TRUE(watch.WaitForOutput(c.lines.back() + "\n", milliseconds(5000)));
    watch.Signal(SIGINT);
    const Result ended = watch.Wait(milliseconds(5000));
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.err, "");
    std::string expected = c.json ? "" : "watching events until Ctrl-C\n";
    for (const std::string& line : c.lines) expected += line + "\n";
    if (!c.json) expected += "watch ended: " + std::to_string(c.lines.size()) + " events\n";
    EXPECT_EQ(ended.out, expected);
    EXPECT_NE(Log().find("session-end"), std::string::npos) << "Stop(true) was not called";
}

INSTANTIATE_TEST_SUITE_P(Events, CtlWatchTest, ::testing::ValuesIn(kWatchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CtlTest, WatchForMsEndsByItself) {
    StartSim();
    const auto start = std::chrono::steady_clock::now();
    const Result result = Ctl({"watch", "--for-ms", "300"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "watching events for 300 ms\nwatch ended: 0 events\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
}

}  // namespace
}  // namespace ctltest
