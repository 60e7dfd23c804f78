// What lmvxctl prints for each family, human and JSON, and what its setters
// leave in the simulated monitor and services.
#include "ctl_fixture.h"

namespace ctltest {
namespace {

struct OutputCase {
    const char* name;
    std::vector<std::string> setup;  // control commands for the simulator first
    Args args;
    std::string human;  // the whole of stdout without --json
    const char* json;   // stdout with --json, parsed
};

const OutputCase kOutputCases[] = {
    {"EveryControl",
     {"set 0x10 44", "set 0x12 61", "set 0x14 0x08", "set 0x16 11", "set 0x18 22", "set 0x1A 33", "set 0x60 0x12"},
     {"get"},
     "brightness: 44\ncontrast: 61\nwhite-point: 0x08\nred-gain: 11\ngreen-gain: 22\nblue-gain: 33\n"
     "input-source: 0x12\n",
     R"({"brightness":44,"contrast":61,"white_point":8,"red_gain":11,"green_gain":22,"blue_gain":33,
         "input_source":18})"},
    {"NamedControlsInTheirOrder",
     {"set 0x1A 7"},
     {"get", "blue-gain", "contrast"},
     "blue-gain: 7\ncontrast: 50\n",
     R"({"blue_gain":7,"contrast":50})"},
    {"SupportedLists",
     {"caps 0x14 0x0B,0x01", "caps 0x60 0x11"},
     {"list"},
     "white-points: 0x0B 0x01\ninput-sources: 0x11\nmodes: 11 3 7 2 1 0\n",
     R"({"white_points":[11,1],"input_sources":[17],"modes":[11,3,7,2,1,0]})"},
    {"ListNotMarkedSupported",
     {"support 0x60 0"},
     {"list", "input-sources"},
     "input-sources: not supported (4 values listed)\n",
     R"({"input_sources":[]})"},
    // Scheme 2: the fixed identifiers; 0x4D and 0x0C (variant 0) are 22 and 26,
    // 0x05 has none and is left out.
    {"ModesOfTheFixedScheme",
     {"scheme 2", "caps 0xDC 0x0D,0x4D,0x05,0x0C"},
     {"list", "modes"},
     "modes: 20 22 26\n",
     R"({"modes":[20,22,26]})"},
    {"CurrentMode", {"scheme 2", "set 0xDC 0x02"}, {"mode", "get"}, "mode: none (the monitor's mode has no identifier)\n",
     R"({"mode":-1})"},
    {"Features", {"features 0x1234ABCD"}, {"features"}, "features: 0x1234ABCD\n", R"({"features":305441741})"},
    {"Hdr", {"hdr 1"}, {"hdr"}, "hdr: on\n", R"({"hdr":true})"},
    {"Power", {}, {"power"}, "power-savings: off\n", R"({"power_savings":false})"},
    {"AutoColor",
     {"autocolor 1", "app-add Paint,C:\\paint.exe,Photo", "app-add Mail,C:\\mail.exe"},
     {"autocolor", "status"},
     "auto-color: on\napps: 2\n  Paint: Photo\n  Mail: Default\n",
     R"({"auto_color":true,"apps":[{"name":"Paint","mode":"Photo"},{"name":"Mail","mode":"Default"}]})"},
    {"AutoColorModes", {"modes Warm,Cool Blue"}, {"autocolor", "modes"}, "modes: Warm, Cool Blue\n",
     R"({"modes":["Warm","Cool Blue"]})"},
    {"Partition",
     {"partition 1", "screens Left,Right,Top", "layout 2 9"},
     {"partition", "status"},
     "partition: on\nscreens: 3\n  0: Left (layout 0)\n  1: Right (layout 0)\n  2: Top (layout 9)\n",
     R"({"partition":true,"screens":[{"screen":0,"name":"Left","layout":0},{"screen":1,"name":"Right","layout":0},
         {"screen":2,"name":"Top","layout":9}]})"},
    {"Schedule",
     {"schedule 1", "times 1 2 3 4000000000", "schedule-mode 5"},
     {"schedule", "status"},
     "schedule: on\ntimes: 1 2 3 4000000000\nmode: 1\n",
     R"({"schedule":true,"times":[1,2,3,4000000000],"mode":1})"},
    {"Check", {}, {"check"}, "service: ready\n", R"({"ready":true})"},
};

void PrintTo(const OutputCase& c, std::ostream* os) { *os << c.name; }

class CtlOutputTest : public CtlTest, public ::testing::WithParamInterface<OutputCase> {};

TEST_P(CtlOutputTest, HumanAndJson) {
    const OutputCase& c = GetParam();
    StartSim();
    for (const std::string& command : c.setup) Control(command);

    const Result human = Ctl(c.args);
    EXPECT_EQ(human.status, 0) << human.err;
    EXPECT_EQ(human.out, c.human);
    EXPECT_EQ(human.err, "");

    Args jsonArgs = {"--json"};
    jsonArgs.insert(jsonArgs.end(), c.args.begin(), c.args.end());
    const Result json = Ctl(jsonArgs);
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(Lines(json.out), 1u) << json.out;
    EXPECT_EQ(Json::parse(json.out), Json::parse(c.json)) << json.out;
}

INSTANTIATE_TEST_SUITE_P(Families, CtlOutputTest, ::testing::ValuesIn(kOutputCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A setter's value reaches the service, and the tool reports what it read
// back.
struct SetCase {
    const char* name;
    Args args;
    const char* simQuery;     // control command whose answer shows the effect
    const char* simAnswer;    // ... and that answer
    const char* json;         // the --json output of the same command
};

const SetCase kSetCases[] = {
    {"Contrast", {"set", "contrast", "70"}, "get 0x12", "0x12 70", R"({"contrast":70})"},
    {"ContrastHexAtMaximum", {"set", "contrast", "0x64"}, "get 0x12", "0x12 100", R"({"contrast":100})"},
    {"ContrastZero", {"set", "contrast", "0"}, "get 0x12", "0x12 0", R"({"contrast":0})"},
    {"WhitePoint", {"set", "white-point", "0x0B"}, "get 0x14", "0x14 11", R"({"white_point":11})"},
    {"RedGain", {"set", "red-gain", "1"}, "get 0x16", "0x16 1", R"({"red_gain":1})"},
    {"GreenGain", {"set", "green-gain", "2"}, "get 0x18", "0x18 2", R"({"green_gain":2})"},
    {"BlueGain", {"set", "blue-gain", "3"}, "get 0x1A", "0x1A 3", R"({"blue_gain":3})"},
    {"InputSource", {"set", "input-source", "0x11"}, "get 0x60", "0x60 17", R"({"input_source":17})"},
    // Table scheme without adapters: identifier 3 is service value 2.
    {"DisplayMode", {"mode", "set", "3"}, "get 0xDC", "0xDC 2", R"({"mode":3})"},
    {"Layout", {"partition", "set", "1", "7"}, "feature-state", nullptr, R"({"screen":1,"layout":7})"},
    {"Times", {"schedule", "times", "0x10", "20", "30", "4294967295"}, "feature-state", nullptr,
     R"({"times":[16,20,30,4294967295]})"},
    {"ScheduleMode", {"schedule", "mode", "7"}, "feature-state", nullptr, R"({"mode":7})"},
    {"PowerOn", {"power", "on"}, "feature-state", nullptr, R"({"power_savings":true})"},
    {"AutoColorOn", {"autocolor", "on"}, "feature-state", nullptr, R"({"auto_color":true})"},
    {"PartitionOn", {"partition", "on"}, "feature-state", nullptr, R"({"partition":true})"},
    {"ScheduleOn", {"schedule", "on"}, "feature-state", nullptr, R"({"schedule":true})"},
    {"AddLongestName", {"autocolor", "add", std::string(99, 'n'), "C:\\a.exe"}, "feature-state", nullptr,
     nullptr},
};

void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class CtlSetTest : public CtlTest, public ::testing::WithParamInterface<SetCase> {};

TEST_P(CtlSetTest, ReachesTheServiceAndReadsBack) {
    const SetCase& c = GetParam();
    StartSim();
    const std::string before = Control(c.simQuery);
    Args args = {"--json"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result set = Ctl(args);
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.err, "");
    if (c.json != nullptr) {
        EXPECT_EQ(Json::parse(set.out), Json::parse(c.json));
    }
    const std::string after = Control(c.simQuery);
    if (c.simAnswer != nullptr) {
        EXPECT_EQ(after, c.simAnswer);
    }
    EXPECT_NE(after, before) << "the service's state did not change";
}

INSTANTIATE_TEST_SUITE_P(Setters, CtlSetTest, ::testing::ValuesIn(kSetCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CtlTest, SetThenGetShowsTheNewValueToTheNextSession) {
    StartSim();
    ASSERT_EQ(Ctl({"set", "green-gain", "64"}).out, "green-gain: 64\n");
    EXPECT_EQ(Ctl({"get", "green-gain"}).out, "green-gain: 64\n");
    ASSERT_EQ(Ctl({"autocolor", "add", "Größe.exe", "C:\\Programme\\Größe.exe"}).status, 0);
    ASSERT_EQ(Ctl({"autocolor", "set-mode", "Größe.exe", "Gaming"}).status, 0);
    EXPECT_EQ(Ctl({"--json", "autocolor", "status"}).out,
              "{\"auto_color\":false,\"apps\":[{\"name\":\"Größe.exe\",\"mode\":\"Gaming\"}]}\n");
    ASSERT_EQ(Ctl({"autocolor", "delete", "Größe.exe"}).status, 0);
    EXPECT_EQ(Ctl({"autocolor", "status"}).out, "auto-color: off\napps: 0\n");
}

TEST_F(CtlTest, StatusShowsTheConnectedSessionAndThePlatform) {
    StartSim();
    // The platform decision is this machine's own; status must agree with
    // the platform command.
    const Json platform = Json::parse(Ctl({"--json", "platform"}).out);
    const bool supported = platform.at("supported").get<bool>();
    const Result status = Ctl({"status"});
    EXPECT_EQ(status.status, 0) << status.err;
    EXPECT_EQ(status.out, std::string("service: ready\nstate: connected (1)\nplatform: ") +
                              (supported ? "supported" : "not supported") + "\n");
    EXPECT_EQ(Json::parse(Ctl({"--json", "status"}).out),
              Json({{"service_ready", true}, {"state", "connected"}, {"state_code", 1},
                    {"platform_supported", supported}}));
}

TEST_F(CtlTest, ResetIsRequestedWhereverThePlatformAllowsIt) {
    // Whether the library sends the reset is this machine's decision; the
    // command succeeds either way and says which platform it saw.
    StartSim();
    const Result reset = Ctl({"--json", "reset"});
    EXPECT_EQ(reset.status, 0) << reset.err;
    EXPECT_EQ(Json::parse(reset.out), Json({{"factory_reset", "requested"}}));
}

// Values the monitor or the service does not take: exit status 1, one line
// on stderr, and the state as it was.
struct RefusedCase {
    const char* name;
    std::vector<std::string> setup;
    Args args;
    const char* simQuery;
    const char* message;  // part of the stderr line
};

const RefusedCase kRefusedCases[] = {
    {"ContrastAboveMaximum", {}, {"set", "contrast", "101"}, "get 0x12", "did not take contrast 101; it is 50"},
    {"WhitePointNotListed", {}, {"set", "white-point", "0x02"}, "get 0x14", "white-point 0x02; it is 0x05"},
    {"InputNotListed", {}, {"set", "input-source", "0x13"}, "get 0x60", "input-source 0x13; it is 0x0F"},
    // Identifier 5 is service value 8, which the monitor does not list.
    {"ModeNotListed", {}, {"mode", "set", "5"}, "get 0xDC", "display mode 5; it is in 11"},
    {"UnknownMode", {}, {"mode", "set", "999"}, "get 0xDC", "display mode 999"},
    {"LayoutOfUnknownScreen", {}, {"partition", "set", "5", "1"}, "feature-state", "screen 5"},
    {"NoLayout", {}, {"partition", "get", "2"}, "feature-state", "no layout for screen 2"},
    // The service cannot be asked to switch power savings off.
    {"PowerOff", {"power 1"}, {"power", "off"}, "feature-state", "kept power savings on"},
    {"DeleteUnknownApp", {}, {"autocolor", "delete", "ghost"}, "feature-state", "no application 'ghost'"},
    {"ModeNotOffered", {"app-add A,B"}, {"autocolor", "set-mode", "A", "Sepia"}, "feature-state", "kept mode 'Default'"},
    {"TableFull", {}, {"autocolor", "add", "31st", "p"}, "feature-state", "did not add '31st'"},
};

void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class CtlRefusedTest : public CtlTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CtlRefusedTest, ExitsOneAndChangesNothing) {
    const RefusedCase& c = GetParam();
    StartSim();
    if (std::string(c.name) == "TableFull")
        for (int i = 0; i < 30; ++i) Control("app-add app" + std::to_string(i) + ",p");
    for (const std::string& command : c.setup) Control(command);
    const std::string prepared = Control(c.simQuery);
    const Result refused = Ctl(c.args);
    EXPECT_EQ(refused.status, 1) << refused.out << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Lines(refused.err), 1u) << refused.err;
    EXPECT_EQ(refused.err.rfind("lmvxctl: ", 0), 0u) << refused.err;
    EXPECT_NE(refused.err.find(c.message), std::string::npos) << refused.err;
    EXPECT_EQ(Control(c.simQuery), prepared);
}

INSTANTIATE_TEST_SUITE_P(Refusals, CtlRefusedTest, ::testing::ValuesIn(kRefusedCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace ctltest
