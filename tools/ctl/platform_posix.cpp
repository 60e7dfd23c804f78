#include <csignal>
#include <chrono>
#include <thread>

#include "session.h"

namespace ctl {
namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnSignal(int) { interrupted = 1; }

}  // namespace

std::vector<std::string> CommandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

void CatchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool WaitForInterrupt(uint32_t ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!interrupted && (ms == 0 || std::chrono::steady_clock::now() < deadline))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return interrupted != 0;
}

}  // namespace ctl
