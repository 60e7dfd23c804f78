#include "bench_env.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "link/exchange.h"
#include "link/protection.h"
#include "os/os.h"

#if defined(_WIN32)
#include <windows.h>
#include <psapi.h>
#endif

namespace benchenv {
namespace {

std::unique_ptr<sim::Simulator> service;
std::atomic<uint64_t> exchanges{0};
bool shortRun = false;

}  // namespace

bool StartSimulator() {
    service = std::make_unique<sim::Simulator>();
    return service->Start();
}

void StopSimulator() {
    if (service) service->Stop();
    service.reset();
}

sim::Simulator& Service() { return *service; }

void NoteExchange() {
    if ((exchanges.fetch_add(1, std::memory_order_relaxed) & 1023) == 1023) service->ClearLog();
}

bool BareExchange(const lmvx::ServiceRecord& request, uint32_t* word12) {
    lmvx::ProtectedBlock block = lmvx::EncryptRecord(request);
    if (!block.buffer) return false;
    uint32_t received = 0;
    if (!os::TransactPipe(lmvx::ServicePipeName(), block.buffer.get(), block.size, block.buffer.get(),
                          lmvx::kBufferSize, &received, lmvx::kPipeWaitMs))
        return false;
    if (received < lmvx::kProtectedSize || !lmvx::DecryptRecord(block.buffer.get(), received)) return false;
    const auto* reply = reinterpret_cast<const lmvx::ServiceRecord*>(block.buffer.get());
    *word12 = reply->Word(12);
    return lmvx::IsSuccess(*reply);
}

uint64_t ResidentBytes() {
#if defined(_WIN32)
    PROCESS_MEMORY_COUNTERS counters{};
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.WorkingSetSize;
#else
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return 0;
    char line[256];
    uint64_t kib = 0;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            std::sscanf(line + 6, "%llu", reinterpret_cast<unsigned long long*>(&kib));
            break;
        }
    }
    std::fclose(status);
    return kib * 1024;
#endif
}

uint64_t LibraryImageBytes() {
#if defined(_WIN32)
    // The pages of LMVX.dll's image that are in the working set.
    HMODULE module = GetModuleHandleW(L"LMVX.dll");
    MODULEINFO info{};
    if (module == nullptr || !GetModuleInformation(GetCurrentProcess(), module, &info, sizeof info)) return 0;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t pages = (info.SizeOfImage + page - 1) / page;
    auto entries = std::make_unique<PSAPI_WORKING_SET_EX_INFORMATION[]>(pages);
    for (size_t i = 0; i < pages; ++i) entries[i].VirtualAddress = static_cast<char*>(info.lpBaseOfDll) + i * page;
    if (!QueryWorkingSetEx(GetCurrentProcess(), entries.get(),
                           static_cast<DWORD>(pages * sizeof(PSAPI_WORKING_SET_EX_INFORMATION))))
        return 0;
    uint64_t resident = 0;
    for (size_t i = 0; i < pages; ++i)
        if (entries[i].VirtualAttributes.Valid) resident += page;
    return resident;
#else
    // The Rss lines of every mapping of liblmvx in /proc/self/smaps.
    FILE* maps = std::fopen("/proc/self/smaps", "r");
    if (maps == nullptr) return 0;
    char line[512];
    bool inLibrary = false;
    uint64_t kib = 0;
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        // Field lines start "Name:"; a mapping's header starts "start-end".
        const char* space = std::strchr(line, ' ');
        const bool field = space != nullptr && space > line && space[-1] == ':';
        unsigned long long value = 0;
        if (!field) {
            inLibrary = std::strstr(line, "/liblmvx.so") != nullptr;
        } else if (inLibrary && std::strncmp(line, "Rss:", 4) == 0 && std::sscanf(line + 4, "%llu", &value) == 1) {
            kib += value;
        }
    }
    std::fclose(maps);
    return kib * 1024;
#endif
}

bool ShortRun() { return shortRun; }
void SetShortRun(bool on) { shortRun = on; }

double NowUs() {
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace benchenv
