// lmvxctl run as a program against the simulator serving from this test
// process, in a private runtime folder: what it prints for each family, what
// its setters leave in the service, and how it refuses.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator.h"

namespace {

using Args = std::vector<std::string>;

// lmvxctl through the shell (no argument holds a quote); its output, stdout
// and stderr together, read as it comes.
struct Ctl {
    explicit Ctl(const Args& args, const std::string& option = "") {
        std::string command = LMVXCTL_PATH " 2>&1 " + option;
        for (const std::string& arg : args) command += " '" + arg + "'";
        out = popen(command.c_str(), "r");
    }
    std::string Line() {  // the next line, "" at the end
        char line[4096];
        return out != nullptr && fgets(line, sizeof line, out) != nullptr ? line : "";
    }
    std::string End() {  // the rest of the output, once the program has ended
        std::string rest;
        for (std::string line; !(line = Line()).empty();) rest += line;
        const int code = pclose(out);
        status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
        return rest;
    }
    FILE* out = nullptr;
    int status = -1;
};

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(private_ && sim_.Start()); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Control(const std::string& command) {  // words split at spaces
        std::istringstream in(command);
        return sim_.Control(Args(std::istream_iterator<std::string>(in), {}));
    }
    std::string dir_ = "/tmp/lmvxctl-test-XXXXXX";
    const bool private_ = mkdtemp(dir_.data()) != nullptr && setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1) == 0;
    sim::Simulator sim_;
};

// One command after the simulator's setup: its exit status; its whole human
// output, or on failure part of its one line; its JSON line; and part of a
// control query's answer afterwards (a refusal leaves it as it was). Bad
// arguments (status 2) send nothing.
struct CommandCase {
    const char* name;
    std::vector<std::string> setup;  // control commands; "stop" ends the simulator
    Args args;
    int status;
    const char *text, *json, *query, *answer;
};

const CommandCase kCommands[] = {
    {"EveryControl", {"set 0x10 44", "set 0x14 0x08", "set 0x1A 33", "set 0x60 0x12"}, {"get"}, 0,
     "brightness: 44\ncontrast: 50\nwhite-point: 0x08\nred-gain: 50\ngreen-gain: 50\nblue-gain: 33\n"
     "input-source: 0x12\n",
     R"({"brightness":44,"contrast":50,"white_point":8,"red_gain":50,"green_gain":50,"blue_gain":33,"input_source":18})"},
    {"Lists", {"caps 0x14 0x0B,0x01", "support 0x60 0"}, {"list"}, 0,
     "white-points: 0x0B 0x01\ninput-sources: not supported (4 values listed)\nmodes: 11 3 7 2 1 0\n",
     R"({"white_points":[11,1],"input_sources":[],"modes":[11,3,7,2,1,0]})"},
    {"Features", {"features 0x1234ABCD"}, {"features"}, 0, "features: 0x1234ABCD\n", R"({"features":305441741})"},
    {"Hdr", {"hdr 1"}, {"hdr"}, 0, "hdr: on\n", R"({"hdr":true})"},
    {"AutoColor", {"autocolor 1", "app-add Paint,C:\\paint.exe,Photo", "app-add Mail,C:\\mail.exe"},
     {"autocolor", "status"}, 0, "auto-color: on\napps: 2\n  Paint: Photo\n  Mail: Default\n",
     R"({"auto_color":true,"apps":[{"name":"Paint","mode":"Photo"},{"name":"Mail","mode":"Default"}]})"},
    {"Partition", {"partition 1", "screens Left,Right", "layout 1 9"}, {"partition", "status"}, 0,
     "partition: on\nscreens: 2\n  0: Left (layout 0)\n  1: Right (layout 9)\n",
     R"({"partition":true,"screens":[{"screen":0,"name":"Left","layout":0},{"screen":1,"name":"Right","layout":9}]})"},
    {"Schedule", {"schedule 1", "times 1 2 3 4000000000", "schedule-mode 5"}, {"schedule", "status"}, 0,
     "schedule: on\ntimes: 1 2 3 4000000000\nmode: 1\n", R"({"schedule":true,"times":[1,2,3,4000000000],"mode":1})"},
    {"SetContrast", {}, {"set", "contrast", "0x64"}, 0, "contrast: 100\n", R"({"contrast":100})", "get 0x12", "0x12 100"},
    {"SetMode", {}, {"mode", "set", "3"}, 0, "mode: 3\n", R"({"mode":3})", "get 0xDC", "0xDC 2"},
    {"SetLayout", {}, {"partition", "set", "1", "7"}, 0, nullptr, R"({"screen":1,"layout":7})", "feature-state",
     "Screen 2:7"},
    {"SetTimes", {}, {"schedule", "times", "0x10", "20", "30", "4294967295"}, 0, nullptr,
     R"({"times":[16,20,30,4294967295]})", "feature-state", "times=16,20,30,4294967295"},
    {"PowerOn", {}, {"power", "on"}, 0, nullptr, R"({"power_savings":true})", "feature-state", "power=1"},
    {"AddLongestName", {}, {"autocolor", "add", std::string(99, 'n'), "C:\\a.exe"}, 0, nullptr, nullptr, "feature-state",
     "nnn:Default"},
    {"AboveMaximum", {}, {"set", "contrast", "101"}, 1, "did not take contrast 101; it is 50", nullptr, "get 0x12",
     "0x12 50"},
    {"PowerStaysOn", {"power 1"}, {"power", "off"}, 1, "kept power savings on", nullptr, "feature-state", "power=1"},
    {"NoService", {"stop"}, {"get", "contrast"}, 1, "lmvxctl: not connected"},
    {"NeverConnected", {"status 0"}, {"--timeout-ms", "600", "get"}, 1, "did not start within 600 ms"},
    {"UnknownCommand", {}, {"--json", "frob"}, 2, "unknown command 'frob'"},
    {"UnknownControl", {}, {"get", "contrast", "luminance"}, 2, "unknown control 'luminance'"},
    {"ReadOnly", {}, {"set", "brightness", "5"}, 2, "brightness is read only"},
    {"AboveU32", {}, {"set", "contrast", "4294967296"}, 2, "not a number from 0 to 4294967295"},
    {"NotASwitch", {}, {"power", "maybe"}, 2, "neither on nor off"},
    {"BadTime", {}, {"schedule", "times", "1", "2", "3", "x"}, 2, "time 4 'x'"},
    {"NameTooLongInUnits", {}, {"autocolor", "delete", std::string(98, 'x') + "\xF0\x9F\x98\x80"}, 2, "at most 99"},
    {"NameNotUtf8", {}, {"autocolor", "add", "\xFF\xFE", "C:\\a.exe"}, 2, "not UTF-8"},
};

class Command : public CtlTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Command, PrintsAndLeavesTheService) {
    const CommandCase& c = GetParam();
    for (const std::string& command : c.setup)  // "stop" ends the simulator
        ASSERT_NE(command == "stop" ? (sim_.Stop(), "") : Control(command).substr(0, 5), "error") << command;
    const size_t requests = sim_.RequestCount();
    Ctl human(c.args);
    const std::string out = human.End();
    EXPECT_EQ(human.status, c.status) << out;
    const bool shown = c.status == 0 ? c.text == nullptr || out == c.text
                                     : out.find(c.text) != std::string::npos && out.find('\n') + 1 == out.size();
    EXPECT_TRUE(shown) << out;
    EXPECT_EQ(c.status == 2 ? sim_.RequestCount() : requests, requests);
    EXPECT_EQ(c.json != nullptr ? Ctl(c.args, "--json").End() : "", c.json != nullptr ? c.json + std::string("\n") : "");
    const std::string answer = c.query != nullptr ? Control(c.query) : "";
    EXPECT_NE(answer.find(c.query != nullptr ? c.answer : ""), std::string::npos) << answer;
}

INSTANTIATE_TEST_SUITE_P(Families, Command, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// watch prints each event with the value read back; with --json one object
// per event and nothing before. Each ends by itself: lmvxctl catches an
// interrupt only once its session has started.
TEST_F(CtlTest, WatchPrintsEachEvent) {
    Ctl watch({"watch", "--for-ms", "3000"});
    ASSERT_EQ(watch.Line(), "watching events for 3000 ms\n");
    for (const char* change : {"set 0x16 9", "set 0x14 0x0B", "hdr 1", "notify 0x102 0"}) Control(change);
    EXPECT_EQ(watch.End(), "red-gain (0x16): 9\nwhite-point (0x14): 0x0B\nservice-103 (0x103)\n"
                         "status-changed (0x102): connected\nwatch ended: 4 events\n");
    EXPECT_EQ(watch.status, 0);
    EXPECT_EQ(sim_.SessionEnds(), 1u);

    const uint64_t first = sim_.RegisteredWindow();
    Ctl json({"watch", "--for-ms", "3000"}, "--json");
    while (sim_.RegisteredWindow() == first) std::this_thread::yield();
    Control("hdr 0");
    EXPECT_EQ(json.Line(), "{\"event\":\"service-104\",\"type\":260}\n");
    EXPECT_EQ(json.End(), "");
}

}  // namespace
