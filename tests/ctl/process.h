// Child processes for the lmvxctl tests: run to the end with the output
// collected, or keep running in the background and read as it comes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace ctltest {

struct Result {
    int status = -1;  // the exit status; -1 when killed or not started
    std::string out;
    std::string err;
};

class Process {
public:
    // Starts `argv[0]` (a path) with `argv`; stdout and stderr are pipes, or
    // stdout goes to `stdoutFile` when one is given.
    explicit Process(const std::vector<std::string>& argv, const std::string& stdoutFile = "");
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pid_ > 0; }
    // Reads stdout until it holds `text` or the time is up; true when seen.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit);
    void Signal(int signal);
    // Waits for the end (killing the process after `limit`) and returns
    // everything it printed.
    Result Wait(std::chrono::milliseconds limit);

private:
    void Pump(int timeoutMs);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    Result result_;
};

// Runs a program to its end.
Result Run(const std::vector<std::string>& argv, std::chrono::milliseconds limit = std::chrono::seconds(20));

}  // namespace ctltest
