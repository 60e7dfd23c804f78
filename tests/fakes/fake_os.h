// The OS seam's pipe, session id, protection, sleep and platform probes,
// scripted by tests in place of the real backend. Protection is the
// identity, so tests read what crosses the pipe; sleeping only counts, so
// retry pauses cost nothing. Set the fields while no library call runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fake {

// The reply to a request on the pipe `name`; none fails the transaction, and
// so does one longer than the caller's room, as on the real pipe.
using PipeHandler = std::function<std::optional<std::vector<uint8_t>>(std::u16string_view name, std::vector<uint8_t>)>;

struct OsState {
    std::atomic<std::shared_ptr<const PipeHandler>> pipe;
    std::atomic<uint32_t> sessionId{1}, pipeCalls{0};
    std::atomic<uint64_t> sleptMs{0};
    void SetPipe(PipeHandler handler) { pipe = handler ? std::make_shared<const PipeHandler>(handler) : nullptr; }
    void Reset() { SetPipe(nullptr), sessionId = 1, pipeCalls = 0, sleptMs = 0; }  // the state at load
};

// An adapter id or a folder as long as the caller's buffer fills it without a
// terminator, as a misbehaving system may leave it.
struct PlatformState {
    std::vector<std::u16string> adapters;
    std::map<std::u16string, std::u16string> ini;  // by "path|section|key"
    std::optional<std::u16string> commonFolder = u"C:\\ProgramData";
    std::set<std::u16string> directories;
    std::mutex logMutex;
    // The probes so far, one letter each: "a" for adapter 0 (an enumeration
    // begins), "i" for the ini value, "f" for the common folder, "d" for a directory.
    std::string log;

    std::string Probes() {
        std::lock_guard<std::mutex> lock(logMutex);
        return log;
    }
    void Record(const char* probe) {
        std::lock_guard<std::mutex> lock(logMutex);
        log += probe;
    }
    void Reset() {  // the state at load
        adapters.clear(), ini.clear(), directories.clear(), commonFolder = u"C:\\ProgramData";
        std::lock_guard<std::mutex> lock(logMutex);
        log.clear();
    }
};

inline OsState& Os() {
    static OsState state;
    return state;
}
inline PlatformState& Platform() {
    static PlatformState state;
    return state;
}

}  // namespace fake
