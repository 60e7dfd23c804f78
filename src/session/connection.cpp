#include "session/connection.h"

#include "link/service.h"

namespace lmvx {

constinit SessionStateWord ConnectionState{kStopped};

void SessionStateWord::store(int32_t state) { exchange(state); }

int32_t SessionStateWord::exchange(int32_t state) {
    uint64_t old = word_.load();
    while (!word_.compare_exchange_weak(old, Pack({state, Unpack(old).session}))) {
    }
    return Unpack(old).state;
}

void RefreshConnectionState() {
    const SessionStateWord::Value before = ConnectionState.LoadWithSession();
    if (before.state == kStopped) return;
    uint32_t status = 0;
    if (!ORV::LvxAsService::QueryStatus(&status)) status = 0;
    if (status > 1) return;
    ConnectionState.CompareExchange(before, {status == 1 ? kConnected : kDisconnected, before.session});
}

}  // namespace lmvx
