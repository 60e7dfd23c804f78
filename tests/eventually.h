// Waits for `done`, giving up only after a bound (30 s) that a hang alone
// reaches: tests wait for the event itself, never for a fixed time.
#pragma once

#include <chrono>
#include <thread>

template <typename Done>
bool Eventually(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}
