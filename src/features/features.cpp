#include "features/features.h"

#include "controls/controls.h"
#include "link/service.h"

namespace lmvx {
namespace {

using ORV::LvxAsService;

constexpr uint32_t kListSlotsOffset = 16;        // first name of a list reply
constexpr uint32_t kTableModesOffset = 6016;     // first mode name of the command-15 reply
constexpr uint32_t kExchangeFailedValue = 0xFFFFFFFFu;

uint32_t SlotOffset(uint32_t first, uint32_t index) { return first + kStringSlotBytes * index; }

// Copies the string of a reply slot into a caller slot: at most 99
// characters and the zero, nothing after it.
void CopySlot(const ServiceRecord& reply, uint32_t offset, char16_t (&slot)[kStringSlotUnits]) {
    (void)reply.ReadString(offset, kStringSlotUnits, slot, kStringSlotUnits);
}

bool IsOn(bool exchanged, uint32_t state) { return exchanged && state == 1; }

}  // namespace

bool FitsSlot(const char16_t* text, uint32_t slotUnits) {
    if (text == nullptr) return false;
    for (uint32_t i = 0; i < slotUnits; ++i)
        if (text[i] == 0) return true;
    return false;
}

bool AddAutoColorApp(const char16_t* name, const char16_t* path) {
    if (!FitsSlot(name, kStringSlotUnits) || !FitsSlot(path, ORV::kAppPathUnits)) return false;
    return LvxAsService::AddAutoColorApp(name, path);
}

bool DeleteAutoColorApp(const char16_t* name) {
    if (!FitsSlot(name, kStringSlotUnits)) return false;
    return LvxAsService::DeleteAutoColorApp(name);
}

bool SetAutoColorAppMode(const char16_t* name, const char16_t* mode) {
    if (!FitsSlot(name, kStringSlotUnits) || !FitsSlot(mode, kStringSlotUnits)) return false;
    return LvxAsService::SetAutoColorAppMode(name, mode);
}

uint32_t ReadAutoColorTable(AutoColorTableBuffer* table) {
    ServiceRecord reply;
    const uint32_t count =
        LvxAsService::GetAutoColorTable(&reply) ? ClampedListCount(reply, kMaxAutoColorEntries) : 0;
    for (uint32_t i = 0; i < count; ++i) {
        CopySlot(reply, SlotOffset(kListSlotsOffset, i), table->appNames[i]);
        CopySlot(reply, SlotOffset(kTableModesOffset, i), table->modeNames[i]);
    }
    table->count = count;
    return count;
}

uint32_t ReadAutoColorModes(AutoColorModeBuffer* list) {
    ServiceRecord reply;
    // The reply may list 30 names; the caller's list holds the first 20.
    const uint32_t count = LvxAsService::GetColorModeList(&reply) ? ClampedListCount(reply, kMaxAutoColorModes) : 0;
    for (uint32_t i = 0; i < count; ++i) CopySlot(reply, SlotOffset(kListSlotsOffset, i), list->modeNames[i]);
    list->count = count;
    return count;
}

uint32_t ReadScreenList(ScreenListBuffer* list) {
    ServiceRecord reply;
    const uint32_t count = LvxAsService::GetScreenList(&reply) ? ClampedListCount(reply, kMaxScreens) : 0;
    for (uint32_t i = 0; i < count; ++i) CopySlot(reply, SlotOffset(kListSlotsOffset, i), list->screenNames[i]);
    list->count = count;
    return count;
}

uint32_t ReadDesktopPartition(uint32_t screen) {
    uint32_t partition = 0;
    return LvxAsService::GetDesktopPartition(screen, &partition) ? partition : kExchangeFailedValue;
}

bool ReadScheduleTimes(uint32_t* first, uint32_t* second, uint32_t* third, uint32_t* fourth) {
    uint32_t times[4] = {};
    if (!LvxAsService::GetScheduleTimes(times)) return false;
    *first = times[0];
    *second = times[1];
    *third = times[2];
    *fourth = times[3];
    return true;
}

void SendScheduleMode(int32_t displayMode) {
    (void)LvxAsService::SetScheduleMode(static_cast<uint32_t>(DisplayModeToServiceValue(displayMode)));
}

int32_t ReadScheduleMode() {
    uint32_t mode = 0;
    if (!LvxAsService::GetScheduleMode(&mode)) return -1;
    return ServiceValueToDisplayMode(static_cast<int32_t>(mode));
}

void SendPowerSavings(bool on) {
    uint32_t ignored = 0;
    (void)LvxAsService::PowerSavings(on ? 1 : 0, &ignored);
}

bool ReadPowerSavings() {
    uint32_t state = 0;
    // The very request of SetPowerSavings(false): the service answers with
    // the current state.
    const bool exchanged = LvxAsService::PowerSavings(0, &state);
    return IsOn(exchanged, state);
}

bool ReadHdrState() {
    uint32_t state = 0;
    const bool exchanged = LvxAsService::GetHdrState(&state);
    return IsOn(exchanged, state);
}

uint32_t ReadFeatureWord() {
    uint32_t features = 0;
    return LvxAsService::GetFeatureWord(&features) ? features : 0;
}

bool ReadDesktopPartitionState() {
    uint32_t state = 0;
    const bool exchanged = LvxAsService::GetDesktopPartitionState(&state);
    return IsOn(exchanged, state);
}

bool ReadAutoColorState() {
    uint32_t state = 0;
    const bool exchanged = LvxAsService::GetAutoColorState(&state);
    return IsOn(exchanged, state);
}

bool ReadScheduleState() {
    uint32_t state = 0;
    const bool exchanged = LvxAsService::GetScheduleState(&state);
    return IsOn(exchanged, state);
}

}  // namespace lmvx
