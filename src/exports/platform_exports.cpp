// Platform decisions: IsPlatformSupported needs no session; FactoryReset is
// gated and probes only once past the gate.
#include "exports/api.h"
#include "platform/platform.h"
#include "session/connection.h"

extern "C" {

LMVX_API bool IsPlatformSupported(void) { return lmvx::DecidePlatformSupport(); }

LMVX_API void FactoryReset(void) {
    if (!lmvx::IsConnected()) return;
    (void)lmvx::SendFactoryResetWhereAllowed();
}

}  // extern "C"
