#include "fake_os.h"

#include <chrono>
#include <thread>

#include "fakes/hooks.h"
#include "os/os.h"

namespace fake {

OsState& Os() {
    static OsState state;
    return state;
}

void OsState::SetPipe(PipeHandler handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    pipe_ = std::move(handler);
}

PipeHandler OsState::Pipe() {
    std::lock_guard<std::mutex> lock(mutex_);
    return pipe_;
}

std::u16string OsState::LastPipeName() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastPipeName_;
}

void OsState::RecordPipeName(const char16_t* name) {
    std::lock_guard<std::mutex> lock(mutex_);
    lastPipeName_ = name;
}

void OsState::Reset() {
    cryptoAvailable = true;
    sessionQueryWorks = true;
    sessionId = 1;
    pipeCalls = 0;
    sleeps = 0;
    sleptMs = 0;
    realSleep = false;
    SetPipe(nullptr);
}

}  // namespace fake

namespace os {

bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t) {
    fake::OsState& state = fake::Os();
    ++state.pipeCalls;
    state.RecordPipeName(name);
    const fake::PipeHandler pipe = state.Pipe();
    if (!pipe) return false;
    return pipe(name, static_cast<const uint8_t*>(request), requestSize, static_cast<uint8_t*>(reply),
                replyCapacity, received);
}

bool QuerySessionId(uint32_t* sessionId) {
    if (!fake::Os().sessionQueryWorks) return false;
    *sessionId = fake::Os().sessionId;
    return true;
}

bool ProtectMemory(void* data, uint32_t size) {
    return data != nullptr && size != 0 && size % 16 == 0 && fake::Os().cryptoAvailable;
}

bool UnprotectMemory(void* data, uint32_t size) { return ProtectMemory(data, size); }

void SleepMs(uint32_t milliseconds) {
    fake::Checkpoint("sleep");
    ++fake::Os().sleeps;
    fake::Os().sleptMs += milliseconds;
    if (fake::Os().realSleep)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    else
        std::this_thread::yield();  // waits that poll other threads still let them run
}

}  // namespace os
