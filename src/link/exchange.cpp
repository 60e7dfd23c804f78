#include "link/exchange.h"

#include <cstring>

#include "link/protection.h"
#include "os/os.h"

namespace lmvx {
namespace {

struct PipeName {
    char16_t text[kPipeNameUnits];
    PipeName() {
        uint32_t sessionId = 0;
        if (!os::QuerySessionId(&sessionId)) sessionId = 0;
        FormatServicePipeName(sessionId, text);
    }
};

// One attempt; true when a whole, verified reply is in the buffer.
bool Attempt(const ServiceRecord& record, ServiceRecord* reply) {
    ProtectedBlock block = EncryptRecord(record);
    if (!block.buffer) return false;
    uint32_t received = 0;
    if (!os::TransactPipe(ServicePipeName(), block.buffer.get(), block.size, block.buffer.get(), kBufferSize,
                          &received, kPipeWaitMs))
        return false;
    // A reply shorter than a protected block cannot hold a whole record.
    if (received < kProtectedSize || !DecryptRecord(block.buffer.get(), received)) return false;
    std::memcpy(reply, block.buffer.get(), kRecordSize);
    return true;
}

}  // namespace

void FormatServicePipeName(uint32_t sessionId, char16_t* out) {
    static constexpr char16_t kBase[] = u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_";
    uint32_t n = 0;
    for (char16_t c : kBase) {
        if (c == 0) break;
        out[n++] = c;
    }
    // The id is printed as a signed decimal, the form the service expects.
    const int32_t id = static_cast<int32_t>(sessionId);
    uint32_t magnitude = id < 0 ? 0u - sessionId : sessionId;
    if (id < 0) out[n++] = u'-';
    char digits[10];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (d > 0) out[n++] = static_cast<char16_t>(digits[--d]);
    out[n] = 0;
}

const char16_t* ServicePipeName() {
    // A function-local static is initialised exactly once, and concurrent
    // first callers wait for that initialisation, so no exchange reads a
    // partly written name.
    static const PipeName name;
    return name.text;
}

bool ExchangeRecord(ServiceRecord* record) {
    if (record == nullptr || record->size != kRecordSize) return false;
    for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
        if (Attempt(*record, record)) return IsSuccess(*record);
        os::SleepMs(kRetryPauseMs);
    }
    return false;
}

}  // namespace lmvx
