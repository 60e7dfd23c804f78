// The feature services: automatic colour per application, desktop partition,
// the display-mode schedule, power savings, HDR and the feature word. Each
// operation is one request to the service; nothing outlives a call and no
// state is shared but what the link and the display-mode mapping keep. Safe
// from any thread. The exports apply the connection gate before calling in.
//
// Caller strings and caller buffers are untrusted: a string is measured with
// a scan that never reads past its slot (plus its zero), and a buffer is
// written only in its count and the slots below the count, each up to and
// including its zero.
#pragma once

#include <cstdint>

#include "link/record.h"

namespace lmvx {

inline constexpr uint32_t kMaxAutoColorEntries = 30;  // command 15 carries at most 30 pairs
inline constexpr uint32_t kMaxAutoColorModes = 20;    // what the caller's mode list holds (of 30 in a reply)
inline constexpr uint32_t kMaxScreens = 8;            // command 18 carries at most 8 names

// The caller buffers, in the library's own character type. Same layouts as
// AutoColorTable, AutoColorModeList and DPScreenList of the public header.
struct AutoColorTableBuffer {
    uint32_t count;
    char16_t appNames[kMaxAutoColorEntries][kStringSlotUnits];
    char16_t modeNames[kMaxAutoColorEntries][kStringSlotUnits];
};
struct AutoColorModeBuffer {
    uint32_t count;
    char16_t modeNames[kMaxAutoColorModes][kStringSlotUnits];
};
struct ScreenListBuffer {
    uint32_t count;
    char16_t screenNames[kMaxScreens][kStringSlotUnits];
};
static_assert(sizeof(AutoColorTableBuffer) == 12004);
static_assert(sizeof(AutoColorModeBuffer) == 4004);
static_assert(sizeof(ScreenListBuffer) == 1604);

// True when `text` is non-null and ends within `slotUnits` units (at most
// slotUnits - 1 characters and the zero). Reads at most slotUnits units.
bool FitsSlot(const char16_t* text, uint32_t slotUnits);

// ---- Automatic colour (commands 10 to 15, 21) ----

// Commands 12, 13 and 14. A string that is null or does not fit its slot
// refuses the call: nothing is sent and false is returned.
bool AddAutoColorApp(const char16_t* name, const char16_t* path);
bool DeleteAutoColorApp(const char16_t* name);
bool SetAutoColorAppMode(const char16_t* name, const char16_t* mode);

// Command 15 into `table` (non-null): the entries the reply announces (at
// most 30), each pair in the slots of its index; a slot without a zero is
// cut to 99 characters. A failed exchange gives count 0. Returns the count.
uint32_t ReadAutoColorTable(AutoColorTableBuffer* table);

// Command 21 into `list` (non-null), as ReadAutoColorTable: at most 20 names.
uint32_t ReadAutoColorModes(AutoColorModeBuffer* list);

// ---- Desktop partition (commands 5 to 9, 18) ----

// Command 18 into `list` (non-null), as ReadAutoColorTable: at most 8 names.
uint32_t ReadScreenList(ScreenListBuffer* list);

// Command 7: the screen's partition value; 0xFFFFFFFF when the exchange fails.
uint32_t ReadDesktopPartition(uint32_t screen);

// ---- Schedule and power savings (commands 22 to 27, 30) ----

// Command 24: stores the four time fields through the four pointers (all
// non-null) only when the exchange succeeds.
bool ReadScheduleTimes(uint32_t* first, uint32_t* second, uint32_t* third, uint32_t* fourth);

// Command 27 with the display mode translated to the service's value (an
// identifier the mapping does not know goes out as 0xFFFFFFFF).
void SendScheduleMode(int32_t displayMode);

// Command 26, translated back to an identifier; -1 when the exchange fails.
int32_t ReadScheduleMode();

// Command 30. Both directions send the same request for "off"; the reply's
// word 12 is the current state.
void SendPowerSavings(bool on);
bool ReadPowerSavings();

// ---- HDR and the feature word (commands 28, 29) ----

bool ReadHdrState();
// 0 when the exchange fails.
uint32_t ReadFeatureWord();

// A yes/no answer (commands 6, 11, 23): true only for a good exchange whose
// word 12 is exactly 1.
bool ReadDesktopPartitionState();
bool ReadAutoColorState();
bool ReadScheduleState();

}  // namespace lmvx
