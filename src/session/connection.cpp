#include "session/connection.h"

#include "link/service.h"

namespace lmvx {

constinit SessionWord ConnectionState{{kStopped, 0, ThreadPhase::kNone}};

bool StopIfCurrent(uint32_t number) {
    return ConnectionState.Update([number](Session& s) {
        if (s.number != number || s.thread == ThreadPhase::kNone) return false;
        s.state = kStopped;
        s.thread = ThreadPhase::kNone;
        return true;
    });
}

void RefreshConnectionState() {
    const Session asked = ConnectionState.Load();
    if (asked.state == kStopped) return;
    uint32_t status = 0;
    if (!ORV::LvxAsService::QueryStatus(&status)) status = 0;
    if (status > 1) return;
    ConnectionState.Update([&](Session& s) {
        if (s.number != asked.number || s.state == kStopped) return false;
        s.state = status == 1 ? kConnected : kDisconnected;
        return true;
    });
}

}  // namespace lmvx
