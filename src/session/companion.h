// The companion application of the service: found by its window class,
// launched when absent.
#pragma once

#include <cstdint>

namespace lmvx {

inline constexpr char16_t kCompanionWindowClass[] = u"4E5A9108-03C6-432E-A844-176AB58BA406LMVX";
inline constexpr uint32_t kCompanionPathUnits = 2048;

// True when the companion application runs (after launching it, and waiting
// for its window, when it did not).
bool EnsureCompanionApp();

// The companion application's path into `out` (capacity kCompanionPathUnits):
// from the registry, else beside the host's executable; quotes removed.
// Empty when there is none.
void FindCompanionAppPath(char16_t* out);

}  // namespace lmvx
