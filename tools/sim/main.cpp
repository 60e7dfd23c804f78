// lumivex-sim: a stand-in for the display service, serving the pipe of this
// session until interrupted (or for --run-ms milliseconds).
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../common/utf8.h"
#include "link/service.h"
#include "simulator.h"

namespace {

std::atomic<bool> interrupted{false};

void OnSignal(int) { interrupted = true; }

void Usage(FILE* out) {
    std::fprintf(
        out,
        "usage: lumivex-sim [options]          serve until interrupted\n"
        "       lumivex-sim COMMAND [ARGS...]  send COMMAND to the running simulator\n"
        "Serves the display service's pipe of this session and shows the companion\n"
        "application's window, as the real service side does. The monitor starts with\n"
        "luminance 75, contrast 50, gains 50 (0 to 100), colour preset 0x05 of\n"
        "0x01,0x04,0x05,0x06,0x08,0x0B, input 0x0F of 0x0F,0x10,0x11,0x12, display\n"
        "application 0x00 of 0x00,0x02,0x03,0x04,0x05,0x0D, mode scheme 1, variant 0.\n"
        "options (numbers decimal or 0x-hexadecimal; repeatable ones in order):\n"
        "  --status N          answer N to status queries (default 1: connected)\n"
        "  --readiness N       answer N to service checks (default 2: ready)\n"
        "  --scheme N          the display-mode scheme (default 1; 2: the fixed scheme)\n"
        "  --variant N         the display-mode variant (default 0)\n"
        "  --value VCP=VALUE   a monitor value at start, e.g. --value 0x12=70 (repeatable)\n"
        "  --caps VCP=V1,V2,.. the values a listed code accepts (repeatable)\n"
        "  --control 'COMMAND' any control command below, applied before serving,\n"
        "                      e.g. --control 'hdr 1' (repeatable)\n"
        "  --log               print one line for each request served\n"
        "  --run-ms N          stop after N milliseconds\n"
        "  --quiet             print nothing but errors (and the --log lines)\n"
        "  --no-companion      do not show the companion application's window\n"
        "  -h, --help          this text\n"
        "control commands (to a running simulator: lumivex-sim COMMAND ARGS...;\n"
        "the answer is one line, \"ok\", a value, or \"error: ...\" with exit status 2):\n"
        "%s",
        sim::Simulator::ControlHelp());
}

bool ParseNumber(const char* text, uint32_t* value) {
    if (text[0] == 0 || text[0] == '-' || text[0] == '+') return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 0);
    if (errno != 0 || *end != 0 || parsed > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

const char* CommandName(uint32_t command) {
    static const char* const kNames[] = {
        "?",
        "status-query",
        "get-vcp",
        "set-vcp",
        "vcp-capabilities",
        "enable-desktop-partition",
        "desktop-partition-state",
        "get-desktop-partition",
        "set-desktop-partition",
        "open-layout-customizer",
        "enable-auto-color",
        "auto-color-state",
        "add-auto-color-app",
        "delete-auto-color-app",
        "set-auto-color-app-mode",
        "auto-color-table",
        "no-payload-16",
        "session-end",
        "screen-list",
        "name-list-19",
        "value-20",
        "color-mode-list",
        "enable-schedule",
        "schedule-state",
        "get-schedule-times",
        "set-schedule-times",
        "get-schedule-mode",
        "set-schedule-mode",
        "hdr-state",
        "feature-word",
        "power-savings",
        "mode-scheme",
        "register-window",
        "value-64",
        "data-refresh",
        "mode-variant",
        "service-check",
        "polling-category-2",
        "polling-category-1",
        "polling-category-4",
        "polling-category-3",
        "polling-category-5",
    };
    return command < std::size(kNames) ? kNames[command] : "unknown";
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%02llX", static_cast<unsigned long long>(value));
    return text;
}

// A string field of a record, as UTF-8 in double quotes; quotes and control
// characters are escaped.
std::string Text(const lmvx::ServiceRecord& record, uint32_t offset, uint32_t units) {
    char16_t buffer[300];
    const uint32_t n = record.ReadString(offset, units, buffer, 300);
    std::string out = "\"";
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t c = buffer[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && buffer[i + 1] >= 0xDC00 && buffer[i + 1] <= 0xDFFF)
            c = 0x10000 + ((c - 0xD800) << 10) + (buffer[++i] - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x20 || c == 0x7F || c == '"') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        } else {
            tools::AppendUtf8(out, c);
        }
    }
    return out + "\"";
}

std::string Names(const lmvx::ServiceRecord& reply, uint32_t limit) {
    const uint32_t count = lmvx::ClampedListCount(reply, limit);
    std::string out = "count=" + std::to_string(count);
    for (uint32_t i = 0; i < count; ++i) out += " " + Text(reply, 16 + 200 * i, 100);
    return out;
}

// One line per served request: number, command code and name, the request's
// fields, then the result and the reply's fields.
std::string DescribeRequest(size_t number, const lmvx::ServiceRecord& request, const lmvx::ServiceRecord& reply,
                            sim::Fault fault) {
    const uint32_t command = request.command;
    std::string fields;
    std::string answer;
    const auto word = [](const lmvx::ServiceRecord& record, uint32_t offset) {
        return std::to_string(record.Word(offset));
    };
    switch (command) {
        case ORV::kQueryStatus: answer = "status=" + word(reply, 12); break;
        case ORV::kGetVcpValue:
            fields = "vcp=" + Hex(request.Word(16));
            answer = "value=" + word(reply, 20);
            break;
        case ORV::kSetVcpValue: fields = "vcp=" + Hex(request.Word(16)) + " value=" + word(request, 20); break;
        case ORV::kGetVcpCapabilities: {
            fields = "vcp=" + Hex(request.Word(16));
            const uint32_t count = std::min<uint32_t>(reply.Word(24), 26);
            answer = "supported=" + word(reply, 20) + " values=";
            for (uint32_t i = 0; i < count; ++i) answer += (i ? "," : "") + Hex(reply.Word(28 + 4 * i));
            if (count == 0) answer += "none";
            break;
        }
        case ORV::kEnableDesktopPartition:
        case ORV::kEnableAutoColor:
        case ORV::kEnableSchedule:
        case ORV::kPowerSavings: fields = "flag=" + word(request, 12); break;
        case ORV::kGetDesktopPartition:
            fields = "screen=" + word(request, 12);
            answer = "layout=" + word(reply, 16);
            break;
        case ORV::kSetDesktopPartition: fields = "screen=" + word(request, 12) + " layout=" + word(request, 16); break;
        case ORV::kAddAutoColorApp:
            fields = "name=" + Text(request, ORV::kAppNameOffset, 100) +
                     " path=" + Text(request, ORV::kAppPathOffset, ORV::kAppPathUnits);
            break;
        case ORV::kDeleteAutoColorApp: fields = "name=" + Text(request, ORV::kAppNameOffset, 100); break;
        case ORV::kSetAutoColorAppMode:
            fields = "name=" + Text(request, ORV::kAppNameOffset, 100) +
                     " mode=" + Text(request, ORV::kAppModeOffset, 100);
            break;
        case ORV::kGetAutoColorTable: answer = "count=" + std::to_string(lmvx::ClampedListCount(reply, 30)); break;
        case ORV::kGetScreenList:
        case ORV::kGetNameList19: answer = Names(reply, 8); break;
        case ORV::kGetColorModeList: answer = Names(reply, 30); break;
        case ORV::kSetScheduleTimes:
            fields = "times=" + word(request, 12) + "," + word(request, 16) + "," + word(request, 20) + "," +
                     word(request, 24);
            break;
        case ORV::kGetScheduleTimes:
            answer = "times=" + word(reply, 12) + "," + word(reply, 16) + "," + word(reply, 20) + "," + word(reply, 24);
            break;
        case ORV::kGetScheduleMode: answer = "mode=" + word(reply, 16); break;
        case ORV::kSetScheduleMode: fields = "mode=" + word(request, 16); break;
        case ORV::kSendValue20:
        case ORV::kPollingCategory1:
        case ORV::kPollingCategory2:
        case ORV::kPollingCategory3:
        case ORV::kPollingCategory4:
        case ORV::kPollingCategory5: fields = "value=" + word(request, 12); break;
        case ORV::kRegisterWindow:
        case ORV::kSendValue64: fields = "value=" + std::to_string(request.Word64(12)); break;
        case ORV::kRequestDataRefresh: fields = "type=" + Hex(request.Word(16)); break;
        default: break;
    }
    // Commands that answer a word at 12 and have no other answer above.
    switch (command) {
        case ORV::kDesktopPartitionState:
        case ORV::kAutoColorState:
        case ORV::kScheduleState:
        case ORV::kHdrState:
        case ORV::kPowerSavings:
        case ORV::kGetModeScheme:
        case ORV::kGetModeVariant: answer = "state=" + word(reply, 12); break;
        case ORV::kFeatureWord: answer = "features=" + Hex(reply.Word(12)); break;
        case ORV::kCheckService: answer = "readiness=" + word(reply, 12); break;
        default: break;
    }
    std::string line = "lumivex-sim: #" + std::to_string(number) + " " + std::to_string(command) + " " +
                       CommandName(command);
    if (!fields.empty()) line += " " + fields;
    switch (fault) {
        case sim::Fault::kNone:
            line += " -> result " + std::to_string(reply.result);
            if (reply.result == 1 && !answer.empty()) line += " " + answer;
            break;
        case sim::Fault::kSilent: line += " -> no reply (silent)"; break;
        default: line += " -> damaged reply"; break;
    }
    return line;
}

// `VCP=REST` split at '='; the code must be a number.
bool SplitAssignment(const char* text, std::string* code, std::string* rest) {
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr || equals == text || equals[1] == 0) return false;
    code->assign(text, equals);
    rest->assign(equals + 1);
    uint32_t number = 0;
    return ParseNumber(code->c_str(), &number);
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text + " ") {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return words;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    uint32_t runMs = 0;
    bool quiet = false;
    bool log = false;
    std::vector<std::vector<std::string>> setup;  // control commands applied before serving
    if (argc > 1 && argv[1][0] != '-') {
        std::string command;
        for (int i = 1; i < argc; ++i) command += (i > 1 ? " " : "") + std::string(argv[i]);
        std::string reply;
        if (!sim::SendControl(sim::SessionPipeName(), command, &reply)) {
            std::fprintf(stderr, "lumivex-sim: no simulator is running in this session\n");
            return 1;
        }
        std::printf("%s\n", reply.c_str());
        return reply.rfind("error", 0) == 0 ? 2 : 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const char* value = hasValue ? argv[i + 1] : "";
        uint32_t number = 0;
        std::string code, rest;
        if (arg == "--help" || arg == "-h") {
            Usage(stdout);
            return 0;
        } else if (arg == "--status" && hasValue && ParseNumber(value, &options.status)) {
            ++i;
        } else if (arg == "--readiness" && hasValue && ParseNumber(value, &options.readiness)) {
            ++i;
        } else if ((arg == "--scheme" || arg == "--variant") && hasValue && ParseNumber(value, &number)) {
            setup.push_back({arg.substr(2), value});
            ++i;
        } else if (arg == "--value" && hasValue && SplitAssignment(value, &code, &rest) &&
                   ParseNumber(rest.c_str(), &number)) {
            setup.push_back({"set", code, rest});
            ++i;
        } else if (arg == "--caps" && hasValue && SplitAssignment(value, &code, &rest)) {
            setup.push_back({"caps", code, rest});
            ++i;
        } else if (arg == "--control" && hasValue && !SplitWords(value).empty()) {
            setup.push_back(SplitWords(value));
            ++i;
        } else if (arg == "--run-ms" && hasValue && ParseNumber(value, &runMs)) {
            ++i;
        } else if (arg == "--no-companion") {
            options.companion = false;
        } else if (arg == "--quiet") {
            quiet = true;
        } else if (arg == "--log") {
            log = true;
        } else {
            std::fprintf(stderr, "lumivex-sim: unknown or incomplete option '%s' (see lumivex-sim --help)\n",
                         arg.c_str());
            return 2;
        }
    }

    std::mutex logMutex;
    std::atomic<size_t> served{0};
    if (log)
        options.served = [&](const lmvx::ServiceRecord& request, const lmvx::ServiceRecord& reply, sim::Fault fault) {
            const std::string line = DescribeRequest(++served, request, reply, fault);
            std::lock_guard<std::mutex> lock(logMutex);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };

    sim::Simulator simulator(options);
    for (const auto& command : setup) {
        const std::string answer = simulator.Control(command);
        if (answer.rfind("error", 0) == 0) {
            std::fprintf(stderr, "lumivex-sim: %s: %s\n", command[0].c_str(), answer.c_str());
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    if (!simulator.Start()) {
        std::fprintf(stderr, "lumivex-sim: cannot serve the service pipe\n");
        return 1;
    }
    if (!quiet) {
        std::printf("lumivex-sim: serving (status %u, readiness %u)\n", options.status, options.readiness);
        std::fflush(stdout);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(runMs);
    while (!interrupted && (runMs == 0 || std::chrono::steady_clock::now() < deadline))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    simulator.Stop();
    if (!quiet) std::printf("lumivex-sim: served %zu requests\n", simulator.RequestCount());
    return 0;
}
