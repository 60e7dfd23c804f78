// A host that ends as soon as Stop returns, its notification thread held in
// the handler by the notification that the stress test posts. Runs against
// that test's simulator (the runtime folder comes with the environment).
#include <unistd.h>

#include <atomic>

#include "lmvx.h"

std::atomic<bool> entered{false};

int main() {
    SetEventHandler([](LvxDataType) {
        for (entered = true;;) pause();  // until the process ends
    });
    if (!Start()) return 1;
    while (!entered) continue;
    Stop(false);
}
