// lmvxctl run as a program against the simulator serving from this test
// process, in a private runtime folder: what it prints for each family, what
// its setters leave in the service, and how it refuses.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "simulator.h"

namespace {

using Args = std::vector<std::string>;
using Json = nlohmann::json;

struct Result {
    int status = -1;
    std::string out, err;
};

std::string PrivateRuntimeDir() {
    std::string dir = "/tmp/lmvxctl-test-XXXXXX";
    return mkdtemp(dir.data()) != nullptr && setenv("XDG_RUNTIME_DIR", dir.c_str(), 1) == 0 ? dir : "";
}

// lmvxctl through the shell: stdout is read as it comes, stderr goes to the
// file `err`.
struct Ctl {
    Ctl(const Args& args, std::string errFile) : err(std::move(errFile)) {
        std::string command = LMVXCTL_PATH;
        for (const std::string& arg : args) {
            command += " '";
            for (const char c : arg) command += c == '\'' ? std::string("'\\''") : std::string(1, c);
            command += "'";
        }
        out = popen((command + " 2>" + err).c_str(), "r");
    }
    std::string Line() {  // the next line of stdout, "" at its end
        char line[4096];
        return out != nullptr && fgets(line, sizeof line, out) != nullptr ? line : "";
    }
    Result End() {
        Result result;
        for (std::string line; !(line = Line()).empty();) result.out += line;
        const int status = pclose(out);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream file(err);
        result.err.assign(std::istreambuf_iterator<char>(file), {});
        return result;
    }
    std::string err;
    FILE* out = nullptr;
};

std::string Repeat(const std::string& text, int times) {
    std::string out;
    while (times-- > 0) out += text;
    return out;
}

size_t Lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(!dir_.empty() && sim_.Start()); }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    Result Run(const Args& args) { return Ctl(args, dir_ + "/err").End(); }
    std::string Control(const std::string& command) {  // words split at spaces
        Args words;
        std::istringstream in(command);
        for (std::string word; in >> word;) words.push_back(word);
        return sim_.Control(words);
    }
    const std::string dir_ = PrivateRuntimeDir();
    sim::Simulator sim_;
};

// One command after the simulator's setup: its exit status; its whole human
// output, or on failure part of its one stderr line; its JSON object; and
// part of a control query's answer afterwards (a refusal leaves it as it
// was). Bad arguments (status 2) send nothing.
struct CommandCase {
    const char* name;
    std::vector<std::string> setup;  // control commands; "stop" ends the simulator
    Args args;
    int status;
    const char* text;
    const char* json;
    const char* query;
    const char* answer;
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
    {"Check", {}, {"check"}, 0, "service: ready\n", R"({"ready":true})"},
    {"SetContrast", {}, {"set", "contrast", "0x64"}, 0, "contrast: 100\n", R"({"contrast":100})", "get 0x12", "0x12 100"},
    {"SetMode", {}, {"mode", "set", "3"}, 0, "mode: 3\n", R"({"mode":3})", "get 0xDC", "0xDC 2"},
    {"SetLayout", {}, {"partition", "set", "1", "7"}, 0, nullptr, R"({"screen":1,"layout":7})", "feature-state",
     "Screen 2:7"},
    {"SetTimes", {}, {"schedule", "times", "0x10", "20", "30", "4294967295"}, 0, nullptr,
     R"({"times":[16,20,30,4294967295]})", "feature-state", "times=16,20,30,4294967295"},
    {"PowerOn", {}, {"power", "on"}, 0, nullptr, R"({"power_savings":true})", "feature-state", "power=1"},
    {"AddLongestName", {}, {"autocolor", "add", Repeat("n", 99), "C:\\a.exe"}, 0, nullptr, nullptr, "feature-state",
     "nnn:Default"},
    {"AboveMaximum", {}, {"set", "contrast", "101"}, 1, "did not take contrast 101; it is 50", nullptr, "get 0x12",
     "0x12 50"},
    {"LargestNumberIsSent", {}, {"set", "contrast", "4294967295"}, 1, "did not take contrast 4294967295"},
    {"PowerStaysOn", {"power 1"}, {"power", "off"}, 1, "kept power savings on", nullptr, "feature-state", "power=1"},
    {"NoService", {"stop"}, {"get", "contrast"}, 1, "lmvxctl: not connected"},
    {"NeverConnected", {"status 0"}, {"--timeout-ms", "600", "get"}, 1, "did not start within 600 ms"},
    {"NoCommand", {}, {}, 2, "lmvxctl: missing command"},
    {"UnknownCommand", {}, {"--json", "frob"}, 2, "unknown command 'frob'"},
    {"UnknownControl", {}, {"get", "contrast", "luminance"}, 2, "unknown control 'luminance'"},
    {"ReadOnly", {}, {"set", "brightness", "5"}, 2, "brightness is read only"},
    {"AboveU32", {}, {"set", "contrast", "4294967296"}, 2, "not a number from 0 to 4294967295"},
    {"NotASwitch", {}, {"power", "maybe"}, 2, "neither on nor off"},
    {"BadTime", {}, {"schedule", "times", "1", "2", "3", "x"}, 2, "time 4 'x'"},
    {"NameTooLong", {}, {"autocolor", "add", Repeat("a", 100), "C:\\a.exe"}, 2, "at most 99"},
    {"NameTooLongInUnits", {}, {"autocolor", "delete", Repeat("\xF0\x9F\x98\x80", 50)}, 2, "at most 99"},
    {"NameNotUtf8", {}, {"autocolor", "add", "\xFF\xFE", "C:\\a.exe"}, 2, "not UTF-8"},
};

void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }

class Command : public CtlTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(Command, PrintsAndLeavesTheService) {
    const CommandCase& c = GetParam();
    for (const std::string& command : c.setup) {
        if (command == "stop") sim_.Stop();
        ASSERT_NE(command == "stop" ? "" : Control(command).substr(0, 5), "error") << command;
    }
    const size_t requests = sim_.RequestCount();
    const Result human = Run(c.args);
    EXPECT_EQ(human.status, c.status) << human.err;
    EXPECT_EQ(human.out, c.status != 0 ? "" : c.text != nullptr ? c.text : human.out);
    EXPECT_EQ(Lines(human.err), c.status == 0 ? 0u : 1u) << human.err;
    EXPECT_NE(human.err.find(c.status == 0 ? "" : c.text), std::string::npos) << human.err;
    EXPECT_EQ(c.status == 2 ? sim_.RequestCount() : requests, requests);
    if (c.json != nullptr) {
        Args args = {"--json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result json = Run(args);
        ASSERT_EQ(Lines(json.out), 1u) << json.out << json.err;
        EXPECT_EQ(Json::parse(json.out), Json::parse(c.json));
    }
    const std::string answer = c.query != nullptr ? Control(c.query) : "";
    EXPECT_NE(answer.find(c.query != nullptr ? c.answer : ""), std::string::npos) << answer;
}

INSTANTIATE_TEST_SUITE_P(Families, Command, ::testing::ValuesIn(kCommands),
                         [](const auto& info) { return std::string(info.param.name); });

// watch prints each event with the value read back; with --json one object
// per event and nothing before. Each ends by itself: lmvxctl catches an
// interrupt only once its session has started.
TEST_F(CtlTest, WatchPrintsEachEvent) {
    Ctl watch({"watch", "--for-ms", "3000"}, dir_ + "/err");
    ASSERT_EQ(watch.Line(), "watching events for 3000 ms\n");
    for (const char* change : {"set 0x16 9", "set 0x14 0x0B", "hdr 1", "notify 0x102 0"}) Control(change);
    const Result ended = watch.End();
    EXPECT_EQ(ended.status, 0) << ended.err;
    EXPECT_EQ(ended.out, "red-gain (0x16): 9\nwhite-point (0x14): 0x0B\nservice-103 (0x103)\n"
                         "status-changed (0x102): connected\nwatch ended: 4 events\n");
    EXPECT_EQ(sim_.SessionEnds(), 1u);

    const uint64_t first = sim_.RegisteredWindow();
    Ctl json({"--json", "watch", "--for-ms", "3000"}, dir_ + "/err");
    while (sim_.RegisteredWindow() == first) std::this_thread::yield();
    Control("hdr 0");
    EXPECT_EQ(Json::parse(json.Line()), Json::parse(R"({"event":"service-104","type":260})"));
    EXPECT_EQ(json.End().status, 0);
}

}  // namespace
