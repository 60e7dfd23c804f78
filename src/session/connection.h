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

// Stopped at load: constant-initialised, no start-up code runs for it.
extern std::atomic<int32_t> ConnectionState;

// The connection gate: true only while the state is Connected.
inline bool IsConnected() { return ConnectionState.load() == kConnected; }

// Unless the state is Stopped, asks the service for its status (a failed
// exchange counts as 0) and stores Disconnected for 0 and Connected for 1;
// other answers leave the state. The store is a compare-and-exchange against
// the value read before the query, so a Stop (or a newer session) that lands
// meanwhile is never overwritten.
void RefreshConnectionState();

}  // namespace lmvx
