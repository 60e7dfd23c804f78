// Automatic colour, desktop partition, schedule, power savings, HDR and the
// feature word: gate, then one request. Caller strings and buffers change
// only their character type here (LvxChar and char16_t are both one UTF-16
// code unit, and the buffer layouts are the same).
#include "exports/api.h"
#include "features/features.h"
#include "link/service.h"
#include "session/connection.h"

static_assert(sizeof(LvxChar) == sizeof(char16_t));
static_assert(sizeof(AutoColorTable) == sizeof(lmvx::AutoColorTableBuffer));
static_assert(offsetof(AutoColorTable, modeNames) == offsetof(lmvx::AutoColorTableBuffer, modeNames));
static_assert(sizeof(AutoColorModeList) == sizeof(lmvx::AutoColorModeBuffer));
static_assert(sizeof(DPScreenList) == sizeof(lmvx::ScreenListBuffer));

namespace {

using ORV::LvxAsService;

const char16_t* Text(const LvxChar* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace

extern "C" {

// ---- Automatic colour ----

LMVX_API void EnableAutoColor(bool enable) {
    if (lmvx::IsConnected()) (void)LvxAsService::EnableAutoColor(enable);
}

LMVX_API bool IsAutoColorEnabled(void) { return lmvx::IsConnected() && lmvx::ReadAutoColorState(); }

LMVX_API void AddAutoColorApp(const LvxChar* appName, const LvxChar* appPath) {
    if (lmvx::IsConnected()) (void)lmvx::AddAutoColorApp(Text(appName), Text(appPath));
}

LMVX_API void DeleteAutoColorApp(const LvxChar* appName) {
    if (lmvx::IsConnected()) (void)lmvx::DeleteAutoColorApp(Text(appName));
}

LMVX_API void SetAutoColorAppMode(const LvxChar* appName, const LvxChar* modeName) {
    if (lmvx::IsConnected()) (void)lmvx::SetAutoColorAppMode(Text(appName), Text(modeName));
}

LMVX_API uint32_t GetAutoColorTable(AutoColorTable* table) {
    if (!lmvx::IsConnected() || table == nullptr) return 0;
    return lmvx::ReadAutoColorTable(reinterpret_cast<lmvx::AutoColorTableBuffer*>(table));
}

LMVX_API void getSupportedAutoColorMode(AutoColorModeList* list) {
    if (!lmvx::IsConnected() || list == nullptr) return;
    (void)lmvx::ReadAutoColorModes(reinterpret_cast<lmvx::AutoColorModeBuffer*>(list));
}

// ---- Desktop partition ----

LMVX_API void EnableDesktopPartition(bool enable) {
    if (lmvx::IsConnected()) (void)LvxAsService::EnableDesktopPartition(enable);
}

LMVX_API bool IsDesktopPartitionEnabled(void) { return lmvx::IsConnected() && lmvx::ReadDesktopPartitionState(); }

LMVX_API uint32_t GetDPSupportedScreens(DPScreenList* list) {
    if (!lmvx::IsConnected() || list == nullptr) return 0;
    return lmvx::ReadScreenList(reinterpret_cast<lmvx::ScreenListBuffer*>(list));
}

LMVX_API void SetDesktopPartition(uint32_t screen, uint32_t partition) {
    if (lmvx::IsConnected()) (void)LvxAsService::SetDesktopPartition(screen, partition);
}

LMVX_API uint32_t GetDesktopPartition(uint32_t screen) {
    return lmvx::IsConnected() ? lmvx::ReadDesktopPartition(screen) : kNotConnectedValue;
}

LMVX_API void LuanchDesktopPartitionCustomizer(void) {
    if (lmvx::IsConnected()) (void)LvxAsService::OpenLayoutCustomizer();
}

// ---- Schedule and power savings ----

LMVX_API void EnableSchedule(bool enable) {
    if (lmvx::IsConnected()) (void)LvxAsService::EnableSchedule(enable);
}

LMVX_API bool GetSchedule(void) { return lmvx::IsConnected() && lmvx::ReadScheduleState(); }

LMVX_API void SetScheduleTime(uint32_t time1, uint32_t time2, uint32_t time3, uint32_t time4) {
    const uint32_t times[4] = {time1, time2, time3, time4};
    if (lmvx::IsConnected()) (void)LvxAsService::SetScheduleTimes(times);
}

LMVX_API bool GetScheduleTime(uint32_t* time1, uint32_t* time2, uint32_t* time3, uint32_t* time4) {
    if (!lmvx::IsConnected() || time1 == nullptr || time2 == nullptr || time3 == nullptr || time4 == nullptr)
        return false;
    return lmvx::ReadScheduleTimes(time1, time2, time3, time4);
}

LMVX_API void SetShedulerMode(int32_t displayMode) {
    if (lmvx::IsConnected()) lmvx::SendScheduleMode(displayMode);
}

LMVX_API int32_t GetShedulerMode(void) {
    return lmvx::IsConnected() ? lmvx::ReadScheduleMode() : kNotConnectedMode;
}

LMVX_API void SetPowerSavings(bool on) {
    if (lmvx::IsConnected()) lmvx::SendPowerSavings(on);
}

LMVX_API bool GetPowerSavings(void) { return lmvx::IsConnected() && lmvx::ReadPowerSavings(); }

// ---- HDR and the feature word ----

LMVX_API bool GetHDRStatus(void) { return lmvx::IsConnected() && lmvx::ReadHdrState(); }

// Not gated: asks the service in every state.
LMVX_API uint32_t GetFeatures(void) { return lmvx::ReadFeatureWord(); }

}  // extern "C"
