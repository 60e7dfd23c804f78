// What the benchmarks share: the simulator serving the real pipe in this
// process, the bare client that the library's exchange is measured against,
// and the process's resident memory.
#pragma once

#include <cstdint>

#include "link/record.h"
#include "simulator.h"

namespace benchenv {

// Starts the simulator (after the runtime folder is set). False when its
// pipe cannot be served.
bool StartSimulator();
void StopSimulator();
sim::Simulator& Service();

// The simulator keeps every request it verified; benchmarks call this once
// per exchange so that the log is emptied every so often.
void NoteExchange();

// One exchange as bare as it can be: the library's own EncryptRecord, one
// pipe transaction on the same pipe, DecryptRecord, and nothing else. True
// when a verified reply with result 1 came back; *word12 then holds its word
// at offset 12.
bool BareExchange(const lmvx::ServiceRecord& request, uint32_t* word12);

// Resident memory of the process in bytes; 0 when unknown.
uint64_t ResidentBytes();

// Resident bytes of the library's own image (its mapped file); 0 when the
// platform does not tell.
uint64_t LibraryImageBytes();

// Whether this is the short run (a few iterations of everything).
bool ShortRun();
void SetShortRun(bool on);

// Microseconds of a monotonic clock.
double NowUs();

}  // namespace benchenv
