// Two host threads call Start together from Stopped, round after round, on
// the real backend: both join the one session, and it stays up until Stop.
#include <atomic>
#include <thread>

#include "library.h"

namespace stress {
namespace {

class StartRace : public LoadedLibrary {};

TEST_F(StartRace, TwoStartsFromStoppedJoinOneSessionThatStaysUp) {
    const Library& lib = Lib();
#if defined(__SANITIZE_THREAD__)
    constexpr int rounds = 75;  // each round waits out Start's 100 ms polls, slower under the sanitizer
#else
    constexpr int rounds = 150;
#endif
    for (int round = 0; round < rounds; ++round) {
        std::atomic<int> ready{0};
        bool other = false;
        std::thread second([&] {
            ++ready;
            while (ready.load() < 2) {
            }
            other = lib.Start();
        });
        ++ready;
        while (ready.load() < 2) {
        }
        const bool first = lib.Start();
        second.join();
        ASSERT_TRUE(first && other) << "round " << round;
        ASSERT_EQ(lib.GetLVXStatus(), LVX_STATE_CONNECTED) << "round " << round;
        lib.Stop(false);
    }
}

}  // namespace
}  // namespace stress
