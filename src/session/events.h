// Event delivery to the host's handler, and the subscriptions that filter it.
#pragma once

#include <cstdint>

namespace lmvx {

// Notification codes with a meaning of their own.
inline constexpr uint64_t kNotifyStatusChanged = 0x102;
inline constexpr uint64_t kNotify103 = 0x103;
inline constexpr uint64_t kNotify104 = 0x104;

// Maps one (merged) notification to an event type, filters it by the host's
// subscriptions and calls the handler. Runs on the notification thread only.
void DispatchNotification(uint64_t code, uint64_t value);

}  // namespace lmvx
