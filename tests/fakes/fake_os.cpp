#include "fakes/fake_os.h"

#include <algorithm>
#include <string>
#include <thread>

#include "fakes/hooks.h"
#include "link/protection.h"
#include "os/os.h"

namespace os {
namespace {

// Copies `text` cut to `units` (to one less, for the terminator, when `cut`),
// terminated where there is room.
uint32_t CopyOut(const std::u16string& text, char16_t* out, uint32_t units, bool cut = false) {
    const size_t n = std::min<size_t>(text.size(), units - cut);
    std::copy_n(text.begin(), n, out);
    if (n < units) out[n] = 0;
    return static_cast<uint32_t>(n);
}

}  // namespace

bool TransactPipe(const char16_t* name, const void* request, uint32_t requestSize, void* reply,
                  uint32_t replyCapacity, uint32_t* received, uint32_t) {
    ++fake::Os().pipeCalls;
    const auto handler = fake::Os().pipe.load();
    const auto* bytes = static_cast<const uint8_t*>(request);  // copied: the reply may overwrite it
    // "ask-N" before command N reaches the service, "answer-N" once its reply is made.
    std::vector<uint8_t> plain(bytes, bytes + requestSize);
    uint32_t command = 0;
    if (lmvx::DecryptRecord(plain.data(), requestSize)) std::copy_n(plain.data() + 4, 4, reinterpret_cast<uint8_t*>(&command));
    fake::Checkpoint(("ask-" + std::to_string(command)).c_str());
    const auto answer = handler ? (*handler)(name, std::vector<uint8_t>(bytes, bytes + requestSize)) : std::nullopt;
    fake::Checkpoint(("answer-" + std::to_string(command)).c_str());
    if (!answer || answer->size() > replyCapacity) return false;
    std::copy(answer->begin(), answer->end(), static_cast<uint8_t*>(reply));
    *received = static_cast<uint32_t>(answer->size());
    return true;
}

bool QuerySessionId(uint32_t* sessionId) {
    *sessionId = fake::Os().sessionId;
    return true;
}

bool ProtectMemory(void* data, uint32_t size) { return data != nullptr && size != 0 && size % 16 == 0; }
bool UnprotectMemory(void* data, uint32_t size) { return ProtectMemory(data, size); }

void SleepMs(uint32_t milliseconds) {
    fake::Checkpoint("sleep");
    fake::Os().sleptMs += milliseconds;
    std::this_thread::yield();  // waits that poll other threads still let them run
}

uint32_t ReadIniString(const char16_t* path, const char16_t* section, const char16_t* key, char16_t* out,
                       uint32_t outUnits) {
    fake::Platform().Record("i");
    const auto& ini = fake::Platform().ini;
    const auto found = ini.find(std::u16string(path) + u"|" + section + u"|" + key);
    return CopyOut(found == ini.end() ? u"" : found->second, out, outUnits, true);
}

bool DisplayAdapterId(uint32_t index, char16_t* out, uint32_t outUnits) {
    if (index == 0) fake::Platform().Record("a");
    fake::Checkpoint("adapter-enumeration");
    const auto& adapters = fake::Platform().adapters;
    return index < adapters.size() && (CopyOut(adapters[index], out, outUnits), true);
}

bool CommonAppDataFolder(char16_t* out, uint32_t outUnits) {
    fake::Platform().Record("f");
    const auto& folder = fake::Platform().commonFolder;
    return folder && (CopyOut(*folder, out, outUnits), true);
}

bool IsDirectory(const char16_t* path) {
    fake::Platform().Record("d");
    return fake::Platform().directories.count(path) != 0;
}

}  // namespace os
