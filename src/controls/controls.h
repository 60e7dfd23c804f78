// Monitor controls: the generic VCP requests, the supported-value lists and
// the display-mode translation. The requests keep no state; the display-mode
// caches and table are process-wide, set once and then only read. Safe from
// any thread. The exports apply the connection gate before calling in.
#pragma once

#include <cstdint>
#include <list>

namespace lmvx {

// MCCS VCP codes the library uses.
inline constexpr uint32_t kVcpRestoreFactoryDefaults = 0x04;
inline constexpr uint32_t kVcpLuminance = 0x10;
inline constexpr uint32_t kVcpContrast = 0x12;
inline constexpr uint32_t kVcpColorPreset = 0x14;
inline constexpr uint32_t kVcpRedGain = 0x16;
inline constexpr uint32_t kVcpGreenGain = 0x18;
inline constexpr uint32_t kVcpBlueGain = 0x1A;
inline constexpr uint32_t kVcpInputSelect = 0x60;
inline constexpr uint32_t kVcpDisplayApplication = 0xDC;

// A capability reply carries at most this many values (offsets 28 to 131).
inline constexpr uint32_t kMaxCapabilityValues = 26;

// Ordered values of a capability reply, first to last.
using ValueList = std::list<uint32_t>;

// The current value of `vcpCode`; 0 when the exchange fails.
uint32_t GetVcpValue(uint32_t vcpCode);

// Writes `value`; true when the service accepted the request.
bool SetVcpValue(uint32_t vcpCode, uint32_t value);

// True when the exchange succeeds and the reply marks the code supported.
// Whenever the exchange succeeds, the reply's values (its count clamped to
// 0..26) are appended to `values` (may be null), supported or not.
bool GetVcpCapabilities(uint32_t vcpCode, ValueList* values);

// The values the service lists for `vcpCode`: copies at most `capacity` of
// them into `buffer` when the code is supported, and returns how many the
// service listed (at most 26). Null buffer: 0, nothing sent.
uint64_t ListSupportedValues(uint32_t vcpCode, uint32_t* buffer, uint64_t capacity);

// ---- Display modes ----

// Command 31: the reply's mode scheme, 0xFFFFFFFF when the exchange fails.
uint32_t GetModeScheme();

// The mode variant: cached, or asked once (command 35; a failed exchange
// counts as 1 for good).
int32_t GetModeVariant();

// Service value (VCP 0xDC) to display-mode identifier: -1 when scheme 2 has
// none, the value itself when the display-mode table has none.
int32_t ServiceValueToDisplayMode(int32_t serviceValue);

// Display-mode identifier to service value; -1 when there is none.
int32_t DisplayModeToServiceValue(int32_t displayMode);

// The identifiers of the monitor's supported display modes, at most
// `capacity`, untranslatable values left out. Returns the number written.
uint64_t ListSupportedDisplayModes(int32_t* buffer, uint64_t capacity);

// Translates and sends a display mode (an untranslatable one as 0xFFFFFFFF).
void ApplyDisplayMode(int32_t displayMode);

// The monitor's display mode as an identifier.
int32_t ReadCurrentDisplayMode();

}  // namespace lmvx
