// The POSIX stand-ins of the platform probes, with the parts that the
// backend's own tests drive directly.
#pragma once

#include <cstdint>
#include <string>

namespace os::posix {

// A Windows path "X:\A\B" as the POSIX path "/A/B": a leading drive letter is
// dropped and every backslash becomes a slash. Empty for a null path.
std::string MapWindowsPath(const char16_t* windowsPath);

// The hardware id of display adapter `index` among the PCI devices under
// `devicesRoot` (entries in name order; class 0x03xxxx only), formatted
// "PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssvvvv&REV_rr" in upper-case hex and cut to
// outUnits - 1. False past the last adapter.
bool DisplayAdapterIdIn(const char* devicesRoot, uint32_t index, char16_t* out, uint32_t outUnits);

}  // namespace os::posix
