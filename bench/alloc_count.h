// Heap allocations made by the calling thread, counted by replacing the
// process's allocation functions (where the platform lets a program do that
// for the libraries it loads).
#pragma once

#include <cstdint>

namespace benchalloc {

struct Counts {
    uint64_t heap = 0;  // every malloc-family allocation (operator new included)
    uint64_t news = 0;  // of those, the ones made through operator new
};

// False where the counts stay zero (allocations in a DLL with its own heap
// functions cannot be seen from the program).
bool Available();

// The calling thread's totals since it started.
Counts ThreadCounts();

}  // namespace benchalloc
