// The public header also compiles as C++, with C linkage for every export.
#include "lmvx.h"

#include <type_traits>

static_assert(std::is_same_v<decltype(&GetLVXStatus), int32_t (*)()>);
static_assert(std::is_same_v<decltype(&CheckService), bool (*)()>);
static_assert(LVX_STATE_DISCONNECTED == 0 && LVX_STATE_CONNECTED == 1 && LVX_STATE_START_FAILED == 3);
