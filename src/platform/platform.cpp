#include <cstring>
#include <iterator>
#include <string_view>

#include "os/os.h"
#include "platform/platform.h"

namespace lmvx {
namespace {

constexpr const char16_t kBiosIniPath[] = u"C:\\Korvath\\BIN\\rstone_bbv2.ini";
constexpr const char16_t kBiosSection[] = u"BIOS Strings";
constexpr const char16_t kBiosKey[] = u"FeatureByte";
constexpr uint32_t kBiosValueUnits = 1024;
constexpr const char16_t* kBiosFeatureCodes[] = {u"nS", u"nT"};

constexpr uint32_t kMaxPathUnits = 260;
constexpr const char16_t kMarkerLeaf[] = u"\\Lumivex.test";

// The length of the text in `text`, never looking past `units` code units.
size_t BoundedLength(const char16_t* text, size_t units) {
    size_t length = 0;
    while (length < units && text[length] != 0) ++length;
    return length;
}

bool ContainsAnyEntry(std::u16string_view deviceId, const AdapterIdList& list) {
    for (uint32_t i = 0; i < list.count; ++i)
        if (deviceId.find(list.entries[i]) != std::u16string_view::npos) return true;
    return false;
}

}  // namespace

bool HasMatchingAdapter(const AdapterIdList& list) {
    char16_t deviceId[os::kAdapterIdUnits];
    for (uint32_t index = 0;; ++index) {
        std::memset(deviceId, 0, sizeof deviceId);
        if (!os::DisplayAdapterId(index, deviceId, os::kAdapterIdUnits)) return false;
        // The id is read within its field, terminated or not.
        const std::u16string_view id(deviceId, BoundedLength(deviceId, os::kAdapterIdUnits));
        if (ContainsAnyEntry(id, list)) return true;
    }
}

bool HasBiosFeature() {
    char16_t value[kBiosValueUnits];
    std::memset(value, 0, sizeof value);
    if (os::ReadIniString(kBiosIniPath, kBiosSection, kBiosKey, value, kBiosValueUnits) == 0) return false;
    size_t length = BoundedLength(value, kBiosValueUnits - 1);
    // The last two characters never count; a shorter text is searched whole.
    if (length >= 2) length -= 2;
    const std::u16string_view text(value, length);
    for (const char16_t* code : kBiosFeatureCodes)
        if (text.find(code) != std::u16string_view::npos) return true;
    return false;
}

bool HasTestMarker() {
    char16_t path[kMaxPathUnits];
    std::memset(path, 0, sizeof path);
    if (!os::CommonAppDataFolder(path, kMaxPathUnits)) return false;
    const size_t length = BoundedLength(path, kMaxPathUnits);
    constexpr size_t kLeafUnits = std::size(kMarkerLeaf);  // terminator included
    if (length + kLeafUnits > kMaxPathUnits) return false;  // no room: not a marker
    std::memcpy(path + length, kMarkerLeaf, sizeof kMarkerLeaf);
    return os::IsDirectory(path);
}

bool IsFeaturePlatform() { return HasMatchingAdapter(FeatureAdapterIds) && HasBiosFeature(); }

bool DecidePlatformSupport() {
    if (HasMatchingAdapter(SupportedAdapterIds)) return true;
    if (IsFeaturePlatform()) return true;
    return HasTestMarker();
}

bool FactoryResetAllowed() {
    bool allowed = false;
    if (!IsFeaturePlatform()) {
        if (HasMatchingAdapter(SupportedAdapterIds)) {
            allowed = !HasMatchingAdapter(BaseAdapterIds);
        } else {
            allowed = HasTestMarker();
        }
    }
    return allowed || HasMatchingAdapter(ResetAdapterIds);
}

}  // namespace lmvx
