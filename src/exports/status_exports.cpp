#include "exports/api.h"
#include "link/service.h"
#include "session/connection.h"

extern "C" {

LMVX_API int32_t GetLVXStatus(void) {
    lmvx::RefreshConnectionState();
    return lmvx::ConnectionState.load();
}

LMVX_API bool CheckService(void) {
    uint32_t readiness = 0;
    return ORV::LvxAsService::CheckService(&readiness) && readiness >= 2;
}

}  // extern "C"
