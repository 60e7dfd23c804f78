#include "session/events.h"

#include <atomic>

#include "lmvx.h"
#include "link/service.h"
#include "session/connection.h"
#include "session/locked_set.h"

namespace lmvx {
namespace {

constexpr int32_t kEvent105 = 0x105;
constexpr int32_t kAllEvents = 0xFFFF;
constexpr int32_t kMaxDataType = 255;

std::atomic<LvxEventHandler> EventHandler{nullptr};
std::atomic<bool> allEventsMuted{false};
std::atomic<bool> event105Enabled{false};
// Never destroyed: a notification thread may still read it while the
// process exits after Stop.
union Immortal {
    Immortal() : set() {}
    ~Immortal() {}
    ORV::LockedSet<LvxDataType> set;
} subscriptions;
ORV::LockedSet<LvxDataType>& DisabledEvents = subscriptions.set;

}  // namespace

void DispatchNotification(uint64_t code, uint64_t value) {
    LvxDataType type;
    switch (code) {
        case 0x10: case 0x12: case 0x14: case 0x16: case 0x18: case 0x1A: case 0x60: case 0xDC:
        case 0x100: case 0x101:
            type = static_cast<LvxDataType>(code);
            break;
        case kNotifyStatusChanged:
            RefreshConnectionState();
            type = static_cast<LvxDataType>(code);
            break;
        case kNotify103: type = value == 1 ? 0x103 : 0x104; break;
        case kNotify104: {
            // Read once: the value tested is the value called.
            const LvxEventHandler handler = EventHandler.load();
            if (event105Enabled.load() && handler != nullptr) handler(kEvent105);
            return;
        }
        default: return;
    }
    const LvxEventHandler handler = EventHandler.load();
    if (handler == nullptr) return;
    const size_t disabled = DisabledEvents.Size();
    if (allEventsMuted.load()) return;
    if (disabled != 0 && DisabledEvents.Contains(type)) return;
    handler(type);
}

void SetHandler(LvxEventHandler handler) { EventHandler.store(handler); }

void EnableEventType(LvxDataType type) {
    allEventsMuted.store(false);
    if (type == kAllEvents)
        DisabledEvents.Clear();
    else if (type == kEvent105)
        event105Enabled.store(true);
    else
        DisabledEvents.Erase(type);
}

void DisableEventType(LvxDataType type) {
    if (type == kAllEvents) {
        allEventsMuted.store(true);
        DisabledEvents.Clear();
        event105Enabled.store(false);
    } else if (type == kEvent105) {
        event105Enabled.store(false);
    } else {
        allEventsMuted.store(false);
        DisabledEvents.Insert(type);
    }
}

void RequestUpdate(int32_t type) {
    if (!IsConnected() || type > kMaxDataType) return;
    ORV::LvxAsService::RequestDataRefresh(type);
}

}  // namespace lmvx
