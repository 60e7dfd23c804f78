#include "session/connection.h"

#include "link/service.h"

namespace lmvx {

constinit std::atomic<int32_t> ConnectionState{kStopped};

void RefreshConnectionState() {
    int32_t before = ConnectionState.load();
    if (before == kStopped) return;
    uint32_t status = 0;
    if (!ORV::LvxAsService::QueryStatus(&status)) status = 0;
    if (status > 1) return;
    ConnectionState.compare_exchange_strong(before, status == 1 ? kConnected : kDisconnected);
}

}  // namespace lmvx
