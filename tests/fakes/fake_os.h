// A scriptable stand-in for the OS seam, linked into the unit tests in place
// of the real backend. Memory protection is the identity (as on a platform
// whose encryption leaves bytes unchanged) unless switched off; sleeping only
// adds to counters, so retry timing is observed without waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace fake {

using PipeHandler = std::function<bool(const char16_t* name, const uint8_t* request, uint32_t size, uint8_t* reply,
                                       uint32_t capacity, uint32_t* received)>;

struct OsState {
    std::atomic<bool> cryptoAvailable{true};
    std::atomic<bool> sessionQueryWorks{true};
    std::atomic<uint32_t> sessionId{1};
    std::atomic<uint32_t> pipeCalls{0};
    std::atomic<uint32_t> sleeps{0};
    std::atomic<uint64_t> sleptMs{0};
    std::atomic<bool> realSleep{false};

    void SetPipe(PipeHandler handler);
    PipeHandler Pipe();
    std::u16string LastPipeName();
    void RecordPipeName(const char16_t* name);
    // Back to the state at load: crypto on, session 1, no pipe (calls fail).
    void Reset();

private:
    std::mutex mutex_;
    PipeHandler pipe_;
    std::u16string lastPipeName_;
};

OsState& Os();

}  // namespace fake
