// Picture controls and display modes: gate, then one request.
#include "controls/controls.h"
#include "exports/api.h"
#include "session/connection.h"

namespace {

uint32_t GatedGet(uint32_t vcpCode) { return lmvx::IsConnected() ? lmvx::GetVcpValue(vcpCode) : kNotConnectedValue; }

void GatedSet(uint32_t vcpCode, uint32_t value) {
    if (lmvx::IsConnected()) (void)lmvx::SetVcpValue(vcpCode, value);
}

uint64_t GatedList(uint32_t vcpCode, uint32_t* buffer, uint64_t capacity) {
    if (!lmvx::IsConnected() || buffer == nullptr) return 0;
    return lmvx::ListSupportedValues(vcpCode, buffer, capacity);
}

}  // namespace

extern "C" {

LMVX_API uint32_t GetBrightness(void) { return GatedGet(lmvx::kVcpLuminance); }
LMVX_API uint32_t GetContrast(void) { return GatedGet(lmvx::kVcpContrast); }
LMVX_API void SetContrast(uint32_t value) { GatedSet(lmvx::kVcpContrast, value); }
LMVX_API uint32_t GetWhitePoint(void) { return GatedGet(lmvx::kVcpColorPreset); }
LMVX_API void SetWhitePoint(uint32_t value) { GatedSet(lmvx::kVcpColorPreset, value); }
LMVX_API uint32_t GetRedGain(void) { return GatedGet(lmvx::kVcpRedGain); }
LMVX_API void SetRedGain(uint32_t value) { GatedSet(lmvx::kVcpRedGain, value); }
LMVX_API uint32_t GetGreenGain(void) { return GatedGet(lmvx::kVcpGreenGain); }
LMVX_API void SetGreenGain(uint32_t value) { GatedSet(lmvx::kVcpGreenGain, value); }
LMVX_API uint32_t GetBlueGain(void) { return GatedGet(lmvx::kVcpBlueGain); }
LMVX_API void SetBlueGain(uint32_t value) { GatedSet(lmvx::kVcpBlueGain, value); }
LMVX_API uint32_t GetInputSource(void) { return GatedGet(lmvx::kVcpInputSelect); }
LMVX_API void SetInputSource(uint32_t value) { GatedSet(lmvx::kVcpInputSelect, value); }

LMVX_API uint64_t GetSupportedWhitePoints(uint32_t* buffer, uint64_t capacity) {
    return GatedList(lmvx::kVcpColorPreset, buffer, capacity);
}
LMVX_API uint64_t GetSupportedInputSources(uint32_t* buffer, uint64_t capacity) {
    return GatedList(lmvx::kVcpInputSelect, buffer, capacity);
}

LMVX_API uint64_t GetSupportedDisplayModes(int32_t* buffer, uint64_t capacity) {
    if (!lmvx::IsConnected() || buffer == nullptr) return 0;
    return lmvx::ListSupportedDisplayModes(buffer, capacity);
}

LMVX_API void SetDisplayMode(int32_t displayMode) {
    if (lmvx::IsConnected()) lmvx::ApplyDisplayMode(displayMode);
}

LMVX_API int32_t GetCurrentDisplayMode(void) {
    return lmvx::IsConnected() ? lmvx::ReadCurrentDisplayMode() : kNotConnectedMode;
}

}  // extern "C"
