/* The public header is plain C: it compiles as C11 and keeps its layouts. */
#include "lmvx.h"

_Static_assert(sizeof(int32_t (*)(void)) == sizeof(&GetLVXStatus), "exports are plain functions");
_Static_assert(LVX_STATE_STOPPED == 2, "the state at load");

int32_t lmvx_header_c_status(void) { return GetLVXStatus(); }
