// Platform identification: the local probes (display adapters, the BIOS
// feature string, the test marker folder) and the decisions built on them.
// Nothing here talks to the service or keeps state: every call probes
// afresh. Safe from any thread.
#pragma once

#include <cstdint>

namespace lmvx {

// A fixed list of adapter id entries, each "&SUBSYS_" and four upper-case
// hexadecimal digits (the subsystem id of a PCI hardware id).
struct AdapterIdList {
    const char16_t* const* entries;
    uint32_t count;
};

extern const AdapterIdList SupportedAdapterIds;  // 88: BaseAdapterIds plus three further ids
extern const AdapterIdList BaseAdapterIds;       // 85
extern const AdapterIdList ResetAdapterIds;      // 85, the entries of BaseAdapterIds
extern const AdapterIdList FeatureAdapterIds;    // 9, one of them also in the three above
extern const AdapterIdList ModeAdapterIdsA;      // 1, one of the three further ids
extern const AdapterIdList ModeAdapterIdsB;      // 1, another of them

// True when some display adapter the system reports has a hardware id that
// contains some entry of `list` (case-sensitive). Devices are enumerated up
// to the first match only.
bool HasMatchingAdapter(const AdapterIdList& list);

// True when the BIOS feature string, less its last two characters, contains
// "nS" or "nT". The ini file is read on every call.
bool HasBiosFeature();

// True when the folder "Lumivex.test" exists directly inside the common
// application-data folder. A path that would not fit MAX_PATH answers false.
bool HasTestMarker();

// An adapter matches FeatureAdapterIds and then the BIOS string carries a
// feature code (the ini file is read only after the adapter match).
bool IsFeaturePlatform();

// Supported adapter, else feature platform, else the test marker.
bool DecidePlatformSupport();

// Runs the factory-reset decision's probes in their order: true when the
// machine allows the restore-factory-defaults request.
bool FactoryResetAllowed();

}  // namespace lmvx
