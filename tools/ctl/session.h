// The library session behind a command: checks that the display service
// answers, starts a session with a time limit and ends it again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ctl {

struct SessionOptions {
    uint32_t waitMs = 0;       // how long to wait for the service to answer
    uint32_t timeoutMs = 5000;  // how long Start() may take
};

// Fails (exit 1) unless CheckService() reports the service ready within
// waitMs. Calls nothing but CheckService().
void RequireService(const SessionOptions& options);

// A running session: RequireService(), then Start() within timeoutMs, or a
// Failure. The destructor ends the session with Stop(true).
class Session {
public:
    explicit Session(const SessionOptions& options);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

const char* StateName(int32_t state);

// The command-line arguments as UTF-8 (on Windows taken from the wide
// command line, whatever the code page), and a console that shows UTF-8.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Ctrl-C (SIGINT, SIGTERM; on Windows the console's break and close) from
// now on only sets a flag that WaitForInterrupt reads.
void CatchInterrupts();
// Waits until `ms` have passed (0: for ever) or the user interrupts (Ctrl-C).
// True when interrupted.
bool WaitForInterrupt(uint32_t ms);

}  // namespace ctl
