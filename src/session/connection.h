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

// Where the notification thread of a session stands. Stopped always comes
// with kNone: a stopped session has no thread that anyone waits for.
enum class ThreadPhase : uint8_t {
    kNone = 0,       // no thread serves the session
    kStarting = 1,   // started; its window is not published yet
    kPublished = 2,  // its window is in NotificationWindow
};

// One session: the state GetLVXStatus reports, the session's number and its
// thread's phase. A new number is taken whenever a notification thread is
// started, so a thread, a status answer or a Stop that belongs to an older
// session can recognise that it is no longer current and leave the newer
// session alone.
// `registering`: a Start is sending its window's registration and the polling
// intervals; one at a time, across sessions, so that an older session's
// registration never arrives after a newer one's.
// `answered`: the ticket (low 16 bits) of the latest-asked status question
// whose answer was stored; an answer asked earlier is not stored over it.
struct Session {
    int32_t state;
    uint32_t number;
    ThreadPhase thread;
    bool registering = false;
    uint16_t answered = 0;
};

// The one source of truth for the session: every read and change is one
// atomic operation on one 64-bit word; nothing takes a lock.
class SessionWord {
public:
    constexpr explicit SessionWord(Session initial) : word_(Pack(initial)) {}

    Session Load() const { return Unpack(word_.load()); }
    int32_t load() const { return Load().state; }

    // Applies `change` (which edits a copy and returns false to leave the
    // word as it is) as one atomic step. True when the word was changed;
    // *seen then holds the value replaced, else the value that was refused.
    template <typename Change>
    bool Update(Change change, Session* seen = nullptr) {
        uint64_t old = word_.load();
        for (;;) {
            Session next = Unpack(old);
            if (!change(next)) {
                if (seen != nullptr) *seen = Unpack(old);
                return false;
            }
            if (word_.compare_exchange_weak(old, Pack(next))) {
                if (seen != nullptr) *seen = Unpack(old);
                return true;
            }
        }
    }

    // Sets the state of the current session (tests and fuzzing drive the
    // gate with it).
    void store(int32_t state) {
        Update([state](Session& s) {
            s.state = state;
            return true;
        });
    }
    SessionWord& operator=(int32_t state) {
        store(state);
        return *this;
    }

private:
    static constexpr uint64_t Pack(Session s) {
        return (uint64_t{s.number} << 32) | (uint64_t{s.answered} << 16) | (uint64_t{s.registering} << 12) |
               (uint64_t{static_cast<uint8_t>(s.thread)} << 8) | static_cast<uint8_t>(s.state);
    }
    static constexpr Session Unpack(uint64_t w) {
        return {static_cast<int32_t>(w & 0xFF), static_cast<uint32_t>(w >> 32),
                static_cast<ThreadPhase>((w >> 8) & 0xF), ((w >> 12) & 1) != 0, static_cast<uint16_t>(w >> 16)};
    }
    std::atomic<uint64_t> word_;
};

// Stopped at load: constant-initialised, no start-up code runs for it.
extern SessionWord ConnectionState;

// The connection gate: true only while the state is Connected.
inline bool IsConnected() { return ConnectionState.load() == kConnected; }

// Stops session `number` if it is still the current one and a thread serves
// or is starting for it: how a notification thread's own end, or a thread
// that could not be started, ends its session and no newer one. True when
// this call stopped it.
bool StopIfCurrent(uint32_t number);

// Unless the state is Stopped, asks the service for its status (a failed
// exchange counts as 0) and stores Disconnected for 0 and Connected for 1;
// other answers leave the state. The answer is stored only into the session
// it was asked for, never over Stopped, and never over the answer to a
// question asked later.
void RefreshConnectionState();

}  // namespace lmvx
