// The operating-system seam: the few operations the subsystems need, in their
// own terms. Exactly one implementation folder (win32/ or posix/) is linked
// into the library; unit tests link a fake instead. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

// One pipe transaction: connect to the message pipe `name` (Windows form,
// "\\.\pipe\NAME"), waiting up to `waitMs` for a free instance, write the
// `requestSize` bytes of `request`, read one reply message of at most
// `replyCapacity` bytes into `reply`, close. `request` and `reply` may be the
// same buffer. True when a whole reply message was read; *received then holds
// its length. A reply longer than the capacity is a failure.
bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t waitMs);

// The session id of the calling process. False when it cannot be determined.
bool QuerySessionId(uint32_t* sessionId);

// Cross-process memory protection in place. `size` must be a non-zero
// multiple of 16. False when the platform's encryption is unavailable or the
// call fails; the buffer is then in an unspecified state.
bool ProtectMemory(void* data, uint32_t size);
bool UnprotectMemory(void* data, uint32_t size);

void SleepMs(uint32_t milliseconds);

}  // namespace os
