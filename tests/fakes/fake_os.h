// The OS seam's pipe, session id, protection and sleep, scripted by tests in
// place of the real backend. Protection is the identity (unless switched
// off), so tests read what crosses the pipe; sleeping only counts, so retry
// pauses cost nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

namespace fake {

// Answers one pipe transaction as os::TransactPipe does.
using PipeHandler = std::function<bool(const char16_t* name, const uint8_t* request, uint32_t size, uint8_t* reply,
                                       uint32_t capacity, uint32_t* received)>;

struct OsState {
    std::atomic<bool> cryptoAvailable{true};
    std::atomic<uint32_t> sessionId{1};
    std::atomic<uint32_t> pipeCalls{0};
    std::atomic<uint64_t> sleptMs{0};

    void SetPipe(PipeHandler handler);  // null: every transaction fails
    // Back to the state at load: crypto on, session 1, no pipe, counts zero.
    void Reset();
};

OsState& Os();

}  // namespace fake
