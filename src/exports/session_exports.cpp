#include "exports/api.h"
#include "link/service.h"
#include "session/events.h"
#include "session/lifecycle.h"

extern "C" {

LMVX_API bool Start(void) { return lmvx::StartSession(); }
LMVX_API void Stop(bool notifyService) { lmvx::StopSession(notifyService); }

LMVX_API void SetEventHandler(LvxEventHandler handler) { lmvx::SetHandler(handler); }
LMVX_API void EnableEvent(LvxDataType type) { lmvx::EnableEventType(type); }
LMVX_API void DisableEvent(LvxDataType type) { lmvx::DisableEventType(type); }

LMVX_API void EnablePolling(int32_t category, uint32_t intervalMs) {
    ORV::LvxAsService::SetPollingInterval(category, intervalMs);
}
LMVX_API void DisablePolling(int32_t category) { ORV::LvxAsService::SetPollingInterval(category, 0); }

LMVX_API void UpdateData(int32_t type) { lmvx::RequestUpdate(type); }

}  // extern "C"
