#include "session.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "lmvx.h"
#include "output.h"

namespace ctl {

const char* StateName(int32_t state) {
    switch (state) {
        case LVX_STATE_DISCONNECTED: return "disconnected";
        case LVX_STATE_CONNECTED: return "connected";
        case LVX_STATE_STOPPED: return "stopped";
        case LVX_STATE_START_FAILED: return "start failed";
        default: return "unknown";
    }
}

void RequireService(const SessionOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.waitMs);
    while (!CheckService()) {
        // A missing service costs CheckService() about 300 ms already.
        if (std::chrono::steady_clock::now() >= deadline)
            Fail("not connected: the display service does not answer or is not ready");
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

Session::Session(const SessionOptions& options) {
    RequireService(options);
    // Start() has no time limit of its own: it waits for the service to
    // report itself connected. It runs on a thread of its own, and Stop()
    // ends the wait when the limit passes.
    struct Attempt {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool started = false;
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread starter([attempt] {
        const bool started = Start();
        std::lock_guard<std::mutex> lock(attempt->mutex);
        attempt->started = started;
        attempt->finished = true;
        attempt->done.notify_all();
    });
    bool finished;
    {
        std::unique_lock<std::mutex> lock(attempt->mutex);
        finished = attempt->done.wait_for(lock, std::chrono::milliseconds(options.timeoutMs),
                                          [&] { return attempt->finished; });
    }
    if (!finished) Stop(false);
    starter.join();
    if (!attempt->started || !finished) {
        Stop(false);
        if (!finished)
            Fail("not connected: the session did not start within " + std::to_string(options.timeoutMs) +
                 " ms (the service reports no connection, or the companion application is missing)");
        // Start() gives up by itself only when the companion application's
        // window is absent and does not appear.
        Fail("not connected: the session did not start: the companion application's window did not appear");
    }
}

Session::~Session() { Stop(true); }

}  // namespace ctl
