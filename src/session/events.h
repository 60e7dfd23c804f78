// Event delivery to the host's handler, and the subscriptions that filter it.
#pragma once

#include <cstdint>

#include "lmvx.h"

namespace lmvx {

// Notification codes with a meaning of their own.
inline constexpr uint64_t kNotifyStatusChanged = 0x102;
inline constexpr uint64_t kNotify103 = 0x103;
inline constexpr uint64_t kNotify104 = 0x104;

// Maps one (merged) notification to an event type, filters it by the host's
// subscriptions and calls the handler. Runs on the notification thread only.
void DispatchNotification(uint64_t code, uint64_t value);

// The handler (null: none): one atomic store that never waits. A call of
// the replaced handler that has begun may still run when this returns.
void SetHandler(LvxEventHandler handler);
// Switch delivery of a type, or of all (0xFFFF), on or off.
void EnableEventType(LvxDataType type);
void DisableEventType(LvxDataType type);
// Gated: asks the service to refresh data type `type` (at most 255).
void RequestUpdate(int32_t type);

}  // namespace lmvx
