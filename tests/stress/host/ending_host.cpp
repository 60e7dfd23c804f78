// A host that ends as soon as Stop returns, its notification thread still
// inside the handler: started by the stress tests, against their simulator
// (the runtime folder comes with the environment). The test posts the
// notification that the handler holds. Exit status 0 after Stop; 1 when
// Start fails.
#include <unistd.h>

#include <atomic>
#include <thread>

#include "lmvx.h"

namespace {
std::atomic<bool> entered{false};

void Hold(LvxDataType) {
    entered = true;
    for (;;) pause();  // until the process ends
}
}  // namespace

int main() {
    SetEventHandler(Hold);
    if (!Start()) return 1;
    while (!entered) std::this_thread::yield();
    Stop(false);
    return 0;
}
