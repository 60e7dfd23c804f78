#include "fakes/fake_os.h"

#include <mutex>
#include <thread>

#include "fakes/hooks.h"
#include "os/os.h"

namespace fake {
namespace {

std::mutex pipeMutex;
PipeHandler pipe;

}  // namespace

OsState& Os() {
    static OsState state;
    return state;
}

void OsState::SetPipe(PipeHandler handler) {
    std::lock_guard<std::mutex> lock(pipeMutex);
    pipe = std::move(handler);
}

void OsState::Reset() {
    cryptoAvailable = true;
    sessionId = 1;
    pipeCalls = 0;
    sleptMs = 0;
    SetPipe(nullptr);
}

}  // namespace fake

namespace os {

bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t) {
    ++fake::Os().pipeCalls;
    fake::PipeHandler handler;
    {
        std::lock_guard<std::mutex> lock(fake::pipeMutex);
        handler = fake::pipe;
    }
    return handler && handler(name, static_cast<const uint8_t*>(request), requestSize, static_cast<uint8_t*>(reply),
                              replyCapacity, received);
}

bool QuerySessionId(uint32_t* sessionId) {
    *sessionId = fake::Os().sessionId;
    return true;
}

bool ProtectMemory(void* data, uint32_t size) {
    return data != nullptr && size != 0 && size % 16 == 0 && fake::Os().cryptoAvailable;
}

bool UnprotectMemory(void* data, uint32_t size) { return ProtectMemory(data, size); }

void SleepMs(uint32_t milliseconds) {
    fake::Checkpoint("sleep");
    fake::Os().sleptMs += milliseconds;
    std::this_thread::yield();  // waits that poll other threads still let them run
}

}  // namespace os
