// The one transport operation: a ServiceRecord carried to the service over
// the pipe of the caller's session and replaced by the service's reply.
#pragma once

#include "link/record.h"

namespace lmvx {

inline constexpr int kExchangeAttempts = 3;
inline constexpr uint32_t kRetryPauseMs = 100;
inline constexpr uint32_t kPipeWaitMs = 15000;

// True only when an attempt brought back a verified reply whose result is 1.
// After a true result, and after a false one caused by a verified reply with
// another result, the record holds the reply. A null record or one whose size
// field is not kRecordSize is refused without traffic; after three failed
// attempts the record is unchanged. Safe from any thread; takes no lock.
bool ExchangeRecord(ServiceRecord* record);

// The pipe name of this process, "\\.\pipe\LMVX_AS_Service_Pipe_<session>",
// built once by the first caller and fixed for the life of the process.
const char16_t* ServicePipeName();

// Formats the pipe name for a session id into `out` (capacity kPipeNameUnits).
inline constexpr uint32_t kPipeNameUnits = 300;
void FormatServicePipeName(uint32_t sessionId, char16_t* out);

}  // namespace lmvx
