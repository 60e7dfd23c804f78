// The process-wide connection state and the gate that most exports pass
// before they send anything.
#pragma once

#include <atomic>
#include <cstdint>

namespace lmvx {

enum ConnectionStateValue : int32_t {
    kDisconnected = 0,
    kConnected = 1,
    kStopped = 2,
    kStartFailed = 3,
};

// The state (what GetLVXStatus reports) and, beside it in the same atomic
// word, the number of the session it belongs to. A new session (a Start
// from Stopped, or one that has to start a notification thread) takes a new
// number, so every compare-and-exchange made on behalf of an older session
// (a late status answer, the end of a dying notification thread) fails
// instead of overwriting the newer one. Every operation is one atomic
// operation on the word.
class SessionStateWord {
public:
    struct Value {
        int32_t state;
        uint32_t session;
    };

    constexpr SessionStateWord(int32_t initial) : word_(Pack({initial, 0})) {}

    int32_t load() const { return Unpack(word_.load()).state; }
    Value LoadWithSession() const { return Unpack(word_.load()); }
    // Sets the state of whatever session is current.
    void store(int32_t state);
    SessionStateWord& operator=(int32_t state) {
        store(state);
        return *this;
    }
    // Replaces the state, keeping the session; returns the old state.
    int32_t exchange(int32_t state);
    // Succeeds only when both the state and the session are still `expected`.
    bool CompareExchange(Value expected, Value desired) {
        uint64_t e = Pack(expected);
        return word_.compare_exchange_strong(e, Pack(desired));
    }

private:
    static constexpr uint64_t Pack(Value v) {
        return (uint64_t{v.session} << 32) | static_cast<uint32_t>(v.state);
    }
    static constexpr Value Unpack(uint64_t w) {
        return {static_cast<int32_t>(static_cast<uint32_t>(w)), static_cast<uint32_t>(w >> 32)};
    }
    std::atomic<uint64_t> word_;
};

// Stopped at load: constant-initialised, no start-up code runs for it.
extern SessionStateWord ConnectionState;

// The connection gate: true only while the state is Connected.
inline bool IsConnected() { return ConnectionState.load() == kConnected; }

// Unless the state is Stopped, asks the service for its status (a failed
// exchange counts as 0) and stores Disconnected for 0 and Connected for 1;
// other answers leave the state. The store is a compare-and-exchange against
// the state and session read before the query, so a Stop (or a newer
// session) that lands meanwhile is never overwritten.
void RefreshConnectionState();

}  // namespace lmvx
