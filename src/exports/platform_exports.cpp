// Platform decisions: IsPlatformSupported needs no session; FactoryReset is
// gated, probes only once past the gate, and sends the restore-factory-defaults
// request (value 1) where the machine allows it, its outcome not looked at.
#include "controls/controls.h"
#include "exports/api.h"
#include "platform/platform.h"
#include "session/connection.h"

extern "C" {

LMVX_API bool IsPlatformSupported(void) { return lmvx::DecidePlatformSupport(); }

LMVX_API void FactoryReset(void) {
    if (!lmvx::IsConnected()) return;
    if (lmvx::FactoryResetAllowed()) (void)lmvx::SetVcpValue(lmvx::kVcpRestoreFactoryDefaults, 1);
}

}  // extern "C"
