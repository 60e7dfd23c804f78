// lumivex-sim as a program: its start-up options, its request log and its
// help, seen through lmvxctl and the control interface.
#include "ctl_fixture.h"

namespace ctltest {
namespace {

struct StartCase {
    const char* name;
    Args options;
    Args ctl;
    const char* out;
};

const StartCase kStartCases[] = {
    {"Values", {"--value", "0x12=70", "--value", "0x16=0x20"}, {"get", "contrast", "red-gain"},
     "contrast: 70\nred-gain: 32\n"},
    {"LaterValueWins", {"--value", "0x12=70", "--value", "0x12=20"}, {"get", "contrast"}, "contrast: 20\n"},
    // Scheme 2 reads service value 12 as 24 when the variant is not 0.
    // Applied in order: the list first, then a value from it.
    {"SchemeAndVariant", {"--scheme", "2", "--variant", "5", "--caps", "0xDC=0x0C,0x0D", "--value", "0xDC=0x0C"},
     {"mode", "get"}, "mode: 24\n"},
    {"SchemeWithVariantZero", {"--scheme", "2", "--caps", "0xDC=0x0C", "--value", "0xDC=0x0C"}, {"mode", "get"},
     "mode: 26\n"},
    {"Caps", {"--caps", "0x60=0x11,0x0F"}, {"list", "input-sources"}, "input-sources: 0x11 0x0F\n"},
    {"Controls", {"--control", "hdr 1", "--control", "features 0x80"}, {"hdr"}, "hdr: on\n"},
    {"ControlWithNames", {"--control", "screens Main Screen,Side"}, {"partition", "status"},
     "partition: off\nscreens: 2\n  0: Main Screen (layout 0)\n  1: Side (layout 0)\n"},
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class SimStartTest : public CtlTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(SimStartTest, OptionsSetTheInitialState) {
    StartSim(GetParam().options);
    const Result result = Ctl(GetParam().ctl);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(Options, SimStartTest, ::testing::ValuesIn(kStartCases),
                         [](const auto& info) { return std::string(info.param.name); });

const std::vector<Args> kBadSimOptions = {
    {"--value", "0x12"},          {"--value", "0x12="},        {"--value", "=5"},
    {"--value", "0x12=abc"},      {"--value", "0x12=101"},     {"--value", "0x99=1"},
    {"--scheme", "-1"},           {"--scheme", "4294967296"},  {"--variant"},
    {"--caps", "0x14=1,x"},       {"--control", "frobnicate"}, {"--control", ""},
    {"--control", "notify 0x12 1"}, {"--status", "0x"},        {"--bogus"},
};

TEST_F(CtlTest, BadSimulatorOptionsExitTwoBeforeServing) {
    for (const Args& options : kBadSimOptions) {
        Args argv = options;
        argv.push_back("--run-ms");
        argv.push_back("3000");
        const Result result = SimCommand(argv);
        EXPECT_EQ(result.status, 2) << Joined(options);
        EXPECT_EQ(Lines(result.err), 1u) << Joined(options) << ": " << result.err;
        EXPECT_EQ(result.out, "") << Joined(options);
    }
}

// One line per request: number, code, name, the request's fields, the result
// and the reply's fields.
struct LogCase {
    const char* name;
    Args ctl;
    std::vector<std::string> lines;  // each must be in the log
};

const LogCase kLogCases[] = {
    {"Session", {"check"}, {"lumivex-sim: #1 36 service-check -> result 1 readiness=2"}},
    {"StartAndStop",
     {"hdr"},
     {" 1 status-query -> result 1 status=1", " 32 register-window value=", " 38 polling-category-1 value=5000",
      " 41 polling-category-5 value=30000", " 28 hdr-state -> result 1 state=0", " 17 session-end -> result 1"}},
    {"SetRefused", {"set", "contrast", "300"}, {" 3 set-vcp vcp=0x12 value=300 -> result 0"}},
    {"Capabilities", {"list", "white-points"},
     {" 4 vcp-capabilities vcp=0x14 -> result 1 supported=1 values=0x01,0x04,0x05,0x06,0x08,0x0B"}},
    {"Strings", {"autocolor", "add", "Größe \"1\"", "C:\\Apps\\g.exe"},
     {" 12 add-auto-color-app name=\"Größe \\u00221\\u0022\" path=\"C:\\Apps\\g.exe\" -> result 1",
      " 15 auto-color-table -> result 1 count=1"}},
    {"Times", {"schedule", "times", "1", "2", "3", "4"},
     {" 25 set-schedule-times times=1,2,3,4 -> result 1", " 24 get-schedule-times -> result 1 times=1,2,3,4"}},
};

void PrintTo(const LogCase& c, std::ostream* os) { *os << c.name; }

class SimLogTest : public CtlTest, public ::testing::WithParamInterface<LogCase> {};

TEST_P(SimLogTest, EveryRequestHasALine) {
    StartSim();
    Ctl(GetParam().ctl);
    const std::string log = Log();
    for (const std::string& line : GetParam().lines) EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    // Numbered from 1, one line per request the simulator counted.
    EXPECT_EQ(Lines(log), Requests());
    EXPECT_NE(log.find("lumivex-sim: #" + std::to_string(Requests()) + " "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Lines, SimLogTest, ::testing::ValuesIn(kLogCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CtlTest, SimulatorHelpListsEveryControlVerb) {
    const Result help = SimCommand({"--help"});
    ASSERT_EQ(help.status, 0);
    // Every verb that the control interface answers.
    const char* const kVerbs[] = {"notify",   "status",     "readiness",     "silent",    "result",    "requests",
                                  "set",      "get",        "caps",          "support",   "scheme",    "variant",
                                  "factory-reset", "monitor", "features",    "hdr",       "power",     "autocolor",
                                  "partition", "schedule",  "times",         "schedule-mode", "modes", "screens",
                                  "layout",   "app-add",    "app-delete",    "app-mode",  "apps-clear", "feature-state"};
    StartSim();
    for (const char* verb : kVerbs) {
        EXPECT_NE(help.out.find(std::string(verb)), std::string::npos) << verb;
        // ...and the interface knows it (a bare verb is a usage error at most).
        std::string reply;
        ASSERT_TRUE(sim::SendControl(sim::SessionPipeName(), verb, &reply));
        EXPECT_EQ(reply.find("unknown command"), std::string::npos) << verb << ": " << reply;
    }
    for (const char* option : {"--status", "--readiness", "--scheme", "--variant", "--value", "--caps", "--control",
                               "--log", "--run-ms", "--quiet", "--no-companion"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

}  // namespace
}  // namespace ctltest
