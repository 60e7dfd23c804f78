// lumivex-sim's service: answers protected requests the way the display
// service does, keeps a log of every verified request, and can be scripted
// per command to misbehave. Transport-independent: Serve() turns request
// bytes into response bytes, and Start() puts it on the real pipe.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "companion.h"
#include "feature_model.h"
#include "link/record.h"
#include "monitor_model.h"
#include "pipe_server.h"

namespace sim {

using lmvx::ServiceRecord;

enum class Fault {
    kNone,
    kBadChecksum,  // a whole block whose checksum byte is off by one
    kShort,        // only the first `faultLength` bytes of the block
    kEmpty,        // a zero-length reply message
    kOversize,     // `faultLength` bytes (beyond the block): the block, then zeros
    kGarbage,      // `faultLength` random bytes
    kSilent,       // close the connection without any reply
};

struct Script {
    bool setResult = false;
    uint32_t result = 1;
    std::vector<std::pair<uint32_t, uint32_t>> words;  // (offset, value) written into the reply
    std::function<void(ServiceRecord&)> edit;          // any further change to the reply
    Fault fault = Fault::kNone;
    uint32_t faultLength = 0;
    uint32_t delayMs = 0;
};

struct Options {
    std::u16string pipeName;  // empty: the pipe of this process's session
    uint32_t status = 1;      // answer to the status query (command 1)
    uint32_t readiness = 2;   // answer to the service check (command 36)
    int workers = 16;         // connections served at once
    bool companion = true;    // show the companion application's window
    // Called once per verified request, after its reply has been made (on the
    // serving thread; calls may overlap): the request, the reply as sent
    // unless `fault` says otherwise.
    std::function<void(const ServiceRecord& request, const ServiceRecord& reply, Fault fault)> served;
};

class Simulator {
public:
    explicit Simulator(Options options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    bool Start();
    void Stop();
    const std::u16string& PipeName() const { return options_.pipeName; }

    // Turns one received request into the response to send.
    Response Serve(const uint8_t* request, size_t size);

    // Scripts apply to requests of `command`: Once() scripts are used up one
    // per request, in order; the Always() script applies when none is left.
    void Once(uint32_t command, Script script);
    void Always(uint32_t command, Script script);
    void ClearScripts();

    void SetStatus(uint32_t status) { status_ = status; }
    void SetReadiness(uint32_t readiness) { readiness_ = readiness; }

    // Posts notification (code, value) to the window registered with
    // command 32. False when none is registered or the post fails.
    bool Notify(uint64_t code, uint64_t value);
    uint64_t RegisteredWindow() const { return window_; }
    // The last interval set for polling category 1..5 (0 when never set).
    uint32_t PollingInterval(int category) const;
    size_t SessionEnds() const { return sessionEnds_; }

    // One command of the control interface, as words ("notify 0x12 70",
    // "status 0", ...). Returns a one-line answer; "error: ..." when the
    // command is unknown or malformed.
    std::string Control(const std::vector<std::string>& args);
    // The help text of every control command: the simulator's own, the
    // monitor's and the feature services'.
    static const char* ControlHelp();

    // Every verified request, in arrival order.
    std::vector<ServiceRecord> Requests() const;
    std::vector<uint32_t> Commands() const;
    size_t RequestCount() const;
    size_t RejectedCount() const { return rejected_; }
    void ClearLog();

private:
    bool TakeScript(uint32_t command, Script* script);
    void Answer(const ServiceRecord& request, ServiceRecord* reply);

    Options options_;
    std::atomic<uint32_t> status_;
    std::atomic<uint32_t> readiness_;
    std::atomic<size_t> rejected_{0};
    mutable std::mutex mutex_;
    std::vector<ServiceRecord> log_;
    std::map<uint32_t, std::deque<Script>> once_;
    std::map<uint32_t, Script> always_;
    std::atomic<uint64_t> window_{0};
    std::atomic<uint32_t> polling_[6] = {};
    std::atomic<size_t> sessionEnds_{0};
    std::unique_ptr<CompanionWindow> companion_;
    std::unique_ptr<PipeServer> control_;
    MonitorModel monitor_;
    FeatureModel features_;
    std::unique_ptr<PipeServer> server_;
};

// The service pipe name of this process's session.
std::u16string SessionPipeName();

// The pipe of the simulator's control interface for a service pipe name.
std::u16string ControlPipeName(const std::u16string& servicePipe);

// Sends one control command to a running simulator; false when none answers.
bool SendControl(const std::u16string& servicePipe, const std::string& command, std::string* reply);

}  // namespace sim
