// Display modes: the library's identifiers against the monitor's VCP 0xDC
// values. Scheme 2 has a fixed table; every other scheme uses the
// display-mode table, built once from the display adapters.
//
// The two caches start unset (-1) and take the first definite answer by a
// compare-and-exchange from unset, so a value once stored never changes and a
// late, failing lookup on another thread cannot overwrite it. The table is a
// fixed array built inside a function-local static: concurrent first callers
// wait for the one build and never see a part of it; nothing in the build
// allocates or can throw.
#include <array>
#include <atomic>

#include "controls/controls.h"
#include "link/service.h"
#include "platform/platform.h"

namespace lmvx {
namespace {

constexpr uint32_t kFixedScheme = 2;
constexpr int32_t kNone = -1;
constexpr int32_t kUnset = -1;

struct ModeEntry {
    int32_t displayMode;
    int32_t serviceValue;
};

// Scheme 2, in identifier order. 24 and 26 both stand for 12; which one 12
// reads as depends on the mode variant.
constexpr ModeEntry kFixedSchemeModes[] = {
    {20, 0x0D}, {21, 0x00}, {22, 0x4D}, {23, 0x0A}, {24, 0x0C},  {25, 0x0B},  {26, 0x0C},  {27, 0x100},
    {28, 0x101}, {29, 0x102}, {30, 0x103}, {31, 0x104}, {32, 0x4E}, {33, 0x4F}, {34, 0x50}, {35, 0x51},
};
constexpr int32_t kVariantValue = 0x0C;
constexpr int32_t kVariantMode = 24;  // mode variant not 0
constexpr int32_t kPlainMode = 26;    // mode variant 0

constexpr size_t kTableEntries = 15;

// The display-mode table: unique service values in ascending order.
struct ModeTable {
    std::array<ModeEntry, kTableEntries> entries;
};

ModeTable BuildModeTable() {
    const bool a = HasMatchingAdapter(ModeAdapterIdsA);
    const bool b = HasMatchingAdapter(ModeAdapterIdsB);
    const ModeEntry unordered[kTableEntries] = {
        {0, b ? 0x00 : 0x0D}, {1, 0x05}, {2, 0x04},  {a ? 15 : 3, 0x02},  {4, 0x07},
        {5, 0x08},            {6, 0x09}, {7, 0x03},  {8, 0x0C},           {9, 0x0E},
        {10, 0x06},           {11, b ? 0x0D : 0x00}, {12, 0x0F}, {13, 0x01}, {14, 0x33},
    };
    ModeTable table{};
    size_t filled = 0;
    for (const ModeEntry& entry : unordered) {  // insertion by service value
        size_t at = filled;
        while (at > 0 && table.entries[at - 1].serviceValue > entry.serviceValue) {
            table.entries[at] = table.entries[at - 1];
            --at;
        }
        table.entries[at] = entry;
        ++filled;
    }
    return table;
}

const ModeTable& DisplayModeTable() {
    static const ModeTable table = BuildModeTable();
    return table;
}

std::atomic<int32_t> modeSchemeCache{kUnset};
std::atomic<int32_t> modeVariantCache{kUnset};

// Stores a definite (non-negative) answer unless one is there already, and
// returns the value that stands in the cache afterwards.
int32_t StoreOnce(std::atomic<int32_t>& cache, int32_t answer) {
    int32_t expected = kUnset;
    if (cache.compare_exchange_strong(expected, answer)) return answer;
    return expected;
}

int32_t LookUpModeScheme() {
    const int32_t cached = modeSchemeCache.load();
    if (cached >= 0) return cached;
    const int32_t answer = static_cast<int32_t>(GetModeScheme());
    if (answer < 0) return answer;  // failed or negative: stays unset, asked again next time
    return StoreOnce(modeSchemeCache, answer);
}

}  // namespace

uint32_t GetModeScheme() {
    uint32_t scheme = 0;
    return ORV::LvxAsService::GetModeScheme(&scheme) ? scheme : 0xFFFFFFFFu;
}

int32_t GetModeVariant() {
    const int32_t cached = modeVariantCache.load();
    if (cached >= 0) return cached;
    uint32_t variant = 0;
    const int32_t answer = ORV::LvxAsService::GetModeVariant(&variant) ? static_cast<int32_t>(variant) : 1;
    if (answer < 0) return answer;  // a negative value would read as unset anyway
    return StoreOnce(modeVariantCache, answer);
}

int32_t ServiceValueToDisplayMode(int32_t serviceValue) {
    if (LookUpModeScheme() == static_cast<int32_t>(kFixedScheme)) {
        if (serviceValue == kVariantValue) return GetModeVariant() != 0 ? kVariantMode : kPlainMode;
        for (const ModeEntry& entry : kFixedSchemeModes)
            if (entry.serviceValue == serviceValue) return entry.displayMode;
        return kNone;
    }
    for (const ModeEntry& entry : DisplayModeTable().entries)
        if (entry.serviceValue == serviceValue) return entry.displayMode;
    return serviceValue;
}

int32_t DisplayModeToServiceValue(int32_t displayMode) {
    if (LookUpModeScheme() == static_cast<int32_t>(kFixedScheme)) {
        for (const ModeEntry& entry : kFixedSchemeModes)
            if (entry.displayMode == displayMode) return entry.serviceValue;
        return kNone;
    }
    for (const ModeEntry& entry : DisplayModeTable().entries)  // ascending service value
        if (entry.displayMode == displayMode) return entry.serviceValue;
    return kNone;
}

uint64_t ListSupportedDisplayModes(int32_t* buffer, uint64_t capacity) {
    if (buffer == nullptr) return 0;
    ValueList values;
    if (!GetVcpCapabilities(kVcpDisplayApplication, &values) || capacity == 0) return 0;
    uint64_t written = 0;
    for (auto it = values.begin(); it != values.end() && written < capacity; ++it) {
        const int32_t mode = ServiceValueToDisplayMode(static_cast<int32_t>(*it));
        if (mode >= 0) buffer[written++] = mode;
    }
    return written;
}

void ApplyDisplayMode(int32_t displayMode) {
    const int32_t value = DisplayModeToServiceValue(displayMode);
    (void)SetVcpValue(kVcpDisplayApplication, static_cast<uint32_t>(value));
}

int32_t ReadCurrentDisplayMode() {
    return ServiceValueToDisplayMode(static_cast<int32_t>(GetVcpValue(kVcpDisplayApplication)));
}

}  // namespace lmvx
