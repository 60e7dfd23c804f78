// The public header also compiles as C++, with C linkage for every export.
#include "lmvx.h"

#include <type_traits>

static_assert(std::is_same_v<decltype(&GetLVXStatus), int32_t (*)()>);
static_assert(std::is_same_v<decltype(&CheckService), bool (*)()>);
static_assert(LVX_STATE_DISCONNECTED == 0 && LVX_STATE_CONNECTED == 1 && LVX_STATE_START_FAILED == 3);

// Each export's pointer type is the type of the export itself.
#define SAME(name) static_assert(std::is_same_v<decltype(&name), LvxFn_##name>, #name);
    SAME(AddAutoColorApp) SAME(CheckService) SAME(DeleteAutoColorApp) SAME(DisableEvent) SAME(DisablePolling)
    SAME(EnableAutoColor) SAME(EnableDesktopPartition) SAME(EnableEvent) SAME(EnablePolling)
    SAME(EnableSchedule) SAME(FactoryReset) SAME(GetAutoColorTable) SAME(GetBlueGain) SAME(GetBrightness)
    SAME(GetContrast) SAME(GetCurrentDisplayMode) SAME(GetDesktopPartition) SAME(GetDPSupportedScreens)
    SAME(GetFeatures) SAME(GetGreenGain) SAME(GetHDRStatus) SAME(GetInputSource) SAME(GetLVXStatus)
    SAME(GetPowerSavings) SAME(GetRedGain) SAME(GetSchedule) SAME(GetScheduleTime) SAME(GetShedulerMode)
    SAME(getSupportedAutoColorMode) SAME(GetSupportedDisplayModes) SAME(GetSupportedInputSources)
    SAME(GetSupportedWhitePoints) SAME(GetWhitePoint) SAME(IsAutoColorEnabled) SAME(IsDesktopPartitionEnabled)
    SAME(IsPlatformSupported) SAME(LuanchDesktopPartitionCustomizer) SAME(SetAutoColorAppMode)
    SAME(SetBlueGain) SAME(SetContrast) SAME(SetDesktopPartition) SAME(SetDisplayMode) SAME(SetEventHandler)
    SAME(SetGreenGain) SAME(SetInputSource) SAME(SetPowerSavings) SAME(SetRedGain) SAME(SetScheduleTime)
    SAME(SetShedulerMode) SAME(SetWhitePoint) SAME(Start) SAME(Stop) SAME(UpdateData)
