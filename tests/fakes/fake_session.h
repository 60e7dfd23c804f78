// Fakes of the seam's threads, lock, notification windows and companion
// calls: windows are in-process queues, threads are real.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
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
    std::atomic<uint32_t> windowsCreated{0};
    std::atomic<uint32_t> threadsStarted{0};
    std::atomic<int> threadsRunning{0};
    std::atomic<uint32_t> companionLookups{0};
    std::atomic<uint64_t> lastQuit{0};  // the window of the last quit command posted

    void SetRegistry(const std::u16string& key, const std::u16string& value, const std::u16string& data);
    void SetExecutablePath(const std::u16string& path);
    void AddFile(const std::u16string& path);
    std::vector<std::pair<std::u16string, std::u16string>> Launches();  // (file, directory)
    // The window most recently created, and whether it still exists.
    uint64_t LastWindow();
    // Posts as the service would, from any thread.
    bool Post(uint64_t window, uint32_t message, uint64_t wParam, uint64_t lParam);
    void Reset();

    // Used by the fake seam.
    std::mutex mutex;
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> registry;
    std::u16string executablePath = u"C:\\Program Files\\Host\\host.exe";
    std::set<std::u16string> files;
    std::vector<std::pair<std::u16string, std::u16string>> launches;
};

SessionState& Session();

// Waits (really) until `done` holds or about five seconds have passed.
template <typename Predicate>
bool WaitFor(Predicate done);

}  // namespace fake

#include <chrono>
#include <thread>

template <typename Predicate>
bool fake::WaitFor(Predicate done) {
    for (int i = 0; i < 5000; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}
