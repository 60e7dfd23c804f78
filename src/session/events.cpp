#include "session/events.h"

#include <atomic>

#include "lmvx.h"
#include "link/service.h"
#include "os/os.h"
#include "session/connection.h"
#include "session/locked_set.h"

namespace lmvx {
namespace {

constexpr int32_t kEvent105 = 0x105;
constexpr int32_t kAllEvents = 0xFFFF;
constexpr int32_t kMaxDataType = 255;

std::atomic<LvxEventHandler> EventHandler{nullptr};
// The handler being called right now, so that SetEventHandler can wait for
// the end of a call of the handler it replaced.
std::atomic<LvxEventHandler> RunningHandler{nullptr};
std::atomic<bool> allEventsMuted{false};
std::atomic<bool> event105Enabled{false};
ORV::LockedSet<LvxDataType> DisabledEvents;

// Whether the calling thread is inside a call of the handler.
thread_local bool insideHandler = false;

// Calls `handler` unless it has been replaced since it was read.
void CallHandler(LvxEventHandler handler, LvxDataType type) {
    RunningHandler.store(handler);
    if (EventHandler.load() == handler) {
        insideHandler = true;
        handler(type);
        insideHandler = false;
    }
    RunningHandler.store(nullptr);
}

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
            const LvxEventHandler handler = EventHandler.load();
            if (event105Enabled.load() && handler != nullptr) CallHandler(handler, kEvent105);
            return;
        }
        default: return;
    }
    const LvxEventHandler handler = EventHandler.load();
    if (handler == nullptr) return;
    const size_t disabled = DisabledEvents.Size();
    if (allEventsMuted.load()) return;
    if (disabled != 0 && DisabledEvents.Contains(type)) return;
    CallHandler(handler, type);
}

void SetHandler(LvxEventHandler handler) {
    const LvxEventHandler old = EventHandler.exchange(handler);
    if (old == nullptr || old == handler || insideHandler) return;
    // A call of the old handler that began before the exchange ends before
    // this returns; one that had not begun sees the new handler and skips.
    while (RunningHandler.load() == old) os::SleepMs(1);
}

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
