// Shared by the export files: the public header in its exporting form.
#pragma once

#define LMVX_BUILDING_LIBRARY 1
#include "lmvx.h"

#include <cstdint>

// What a getter answers while the library is not connected.
inline constexpr uint32_t kNotConnectedValue = 0xFFFFFFFFu;
inline constexpr int32_t kNotConnectedMode = -1;
