// Two host threads call Start together from Stopped, round after round, on
// the real backend: both join the one session, and it stays up until Stop.
#include <atomic>
#include <future>

#include "library.h"

namespace stress {
namespace {

class StartRace : public LoadedLibrary {};

TEST_F(StartRace, TwoStartsFromStoppedJoinOneSessionThatStaysUp) {
#if defined(__SANITIZE_THREAD__)
    constexpr int rounds = 75;  // each round waits out Start's 100 ms polls, slower under the sanitizer
#else
    constexpr int rounds = 150;
#endif
    for (int round = 0; round < rounds; ++round) {
        std::atomic<int> ready{0};
        // Both threads spin until both are there.
        const auto start = [&] { for (++ready; ready.load() < 2;) continue; return lib_.Start(); };
        std::future<bool> other = std::async(std::launch::async, start);
        const bool first = start();
        ASSERT_TRUE(first && other.get() && lib_.GetLVXStatus() == LVX_STATE_CONNECTED) << "round " << round;
        lib_.Stop(false);
    }
}

}  // namespace
}  // namespace stress
