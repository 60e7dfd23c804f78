// lumivex-sim: a stand-in for the display service, serving the pipe of this
// session until interrupted (or for --run-ms milliseconds).
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "simulator.h"

namespace {

std::atomic<bool> interrupted{false};

void OnSignal(int) { interrupted = true; }

void Usage() {
    std::printf(
        "usage: lumivex-sim [options]          serve until interrupted\n"
        "       lumivex-sim COMMAND [ARGS...]  send COMMAND to the running simulator\n"
        "Serves the display service's pipe of this session and shows the companion\n"
        "application's window, as the real service side does.\n"
        "options:\n"
        "  --status N      answer N to status queries (default 1: connected)\n"
        "  --readiness N   answer N to service checks (default 2: ready)\n"
        "  --run-ms N      stop after N milliseconds\n"
        "  --quiet         print nothing but errors\n"
        "  --no-companion  do not show the companion application's window\n"
        "commands:\n"
        "%s",
        sim::Simulator::ControlHelp());
}

bool ParseNumber(const char* text, uint32_t* value) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text, &end, 0);
    if (end == text || *end != 0) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    sim::Options options;
    uint32_t runMs = 0;
    bool quiet = false;
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
        if (arg == "--help" || arg == "-h") {
            Usage();
            return 0;
        } else if (arg == "--status" && hasValue && ParseNumber(argv[i + 1], &options.status)) {
            ++i;
        } else if (arg == "--readiness" && hasValue && ParseNumber(argv[i + 1], &options.readiness)) {
            ++i;
        } else if (arg == "--run-ms" && hasValue && ParseNumber(argv[i + 1], &runMs)) {
            ++i;
        } else if (arg == "--no-companion") {
            options.companion = false;
        } else if (arg == "--quiet") {
            quiet = true;
        } else {
            std::fprintf(stderr, "lumivex-sim: unknown or incomplete option '%s'\n", arg.c_str());
            Usage();
            return 2;
        }
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);

    sim::Simulator simulator(options);
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
