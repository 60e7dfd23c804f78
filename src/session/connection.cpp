#include "session/connection.h"

#include <atomic>

#include "link/service.h"

namespace lmvx {
namespace {

std::atomic<uint32_t> statusQuestions{0};

// Whether ticket `a` was taken after `b` (both cut to 16 bits).
bool AskedLater(uint16_t a, uint16_t b) { return static_cast<int16_t>(static_cast<uint16_t>(a - b)) > 0; }

}  // namespace

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
    const auto ticket = static_cast<uint16_t>(statusQuestions.fetch_add(1) + 1);
    uint32_t status = 0;
    if (!ORV::LvxAsService::QueryStatus(&status)) status = 0;
    // The ticket is recorded even where the answer is not stored, so that
    // the one recorded is never far behind the latest.
    ConnectionState.Update([&](Session& s) {
        if (!AskedLater(ticket, s.answered)) return false;
        s.answered = ticket;
        if (s.number == asked.number && s.state != kStopped && status <= 1)
            s.state = status == 1 ? kConnected : kDisconnected;
        return true;
    });
}

}  // namespace lmvx
