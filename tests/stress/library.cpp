#include "library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace stress {
namespace {

int CountEntries(const char* dir, const std::string& prefix = "") {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) n += entry.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

}  // namespace

bool Library::Load() {
    handle = dlopen(LMVX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        ADD_FAILURE() << "dlopen: " << dlerror();
        return false;
    }
    bool complete = true;
#define LMVX_RESOLVE(name)                                                                            \
    if ((name = reinterpret_cast<decltype(name)>(dlsym(handle, #name))) == nullptr) complete = false; \
    EXPECT_NE(name, nullptr) << #name;
    LMVX_STRESS_EXPORTS(LMVX_RESOLVE)
#undef LMVX_RESOLVE
    return complete;
}

void Library::Unload() {
    if (handle != nullptr) dlclose(handle);
    *this = Library{};
}

int ThreadCount() { return CountEntries("/proc/self/task"); }
int OpenFileCount() { return CountEntries("/proc/self/fd"); }
int WindowEndpointCount() { return CountEntries(std::getenv("XDG_RUNTIME_DIR"), "LMVX_Window_"); }

bool LibraryLoaded() {
    void* probe = dlopen(LMVX_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (probe != nullptr) dlclose(probe);
    return probe != nullptr;
}

void Report(const std::string& key, uint64_t value) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::create_directories(LMVX_STRESS_REPORT_DIR);
    std::ofstream(std::string(LMVX_STRESS_REPORT_DIR) + "/" + test->test_suite_name() + "." + test->name() + ".txt")
        << key << ' ' << value << '\n';
}

}  // namespace stress
