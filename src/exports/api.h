// Shared by the export files: the public header in its exporting form.
#pragma once

#define LMVX_BUILDING_LIBRARY 1
#include "lmvx.h"
