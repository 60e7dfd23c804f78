// Fakes of the seam's threads, lock, notification windows and companion
// calls: windows are in-process queues, threads are real. The companion's
// registry, files and launches are set and read by the test's own thread
// around Start.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fake {

struct SessionState {
    std::atomic<bool> companionPresent{true};
    std::atomic<bool> companionAppearsOnLaunch{false};
    std::atomic<bool> windowCreationFails{false};
    std::atomic<bool> threadCreationFails{false};
    std::atomic<uint32_t> threadsStarted{0}, companionLookups{0};
    std::atomic<int> threadsRunning{0};
    std::atomic<uint64_t> lastWindow{0};  // the window most recently created
    std::atomic<uint64_t> lastQuit{0};    // the window of the last quit command posted
    std::atomic<size_t> queueCapacity{SIZE_MAX};  // messages a window holds; a post to a full one fails
    // What the library asked to run in a forked child (kept across Reset).
    std::atomic<void (*)()> forkReset{nullptr};

    std::map<std::pair<std::u16string, std::u16string>, std::u16string> registry;  // (key, value) -> data
    std::u16string executablePath;
    std::set<std::u16string> files;
    std::vector<std::pair<std::u16string, std::u16string>> launches;  // (file, directory)

    // Back to the state at load (threadsRunning aside: threads end on their own).
    void Reset();
};

SessionState& Session();

}  // namespace fake
