#include "library.h"

#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace stress {
namespace {

int CountEntries(const char* path, const char* prefix) {
    DIR* dir = opendir(path);
    if (dir == nullptr) return -1;
    int n = 0;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        if (std::strncmp(entry->d_name, prefix, std::strlen(prefix)) == 0) ++n;
    }
    closedir(dir);
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
#define LMVX_RESOLVE(name)                                                        \
    name = reinterpret_cast<decltype(name)>(dlsym(handle, #name));                \
    if (name == nullptr) {                                                        \
        ADD_FAILURE() << "missing export " #name;                                 \
        complete = false;                                                         \
    }
    LMVX_EXPORTS(LMVX_RESOLVE)
#undef LMVX_RESOLVE
    return complete;
}

void Library::Unload() {
    if (handle != nullptr) dlclose(handle);
    *this = Library{};
}

int ThreadCount() { return CountEntries("/proc/self/task", ""); }
int OpenFileCount() { return CountEntries("/proc/self/fd", ""); }
int WindowEndpointCount() { return CountEntries(std::getenv("XDG_RUNTIME_DIR"), "LMVX_Window_"); }

bool LibraryMapped() {
    std::ifstream maps("/proc/self/maps");
    const char* path = LMVX_LIBRARY_PATH;
    const char* leaf = std::strrchr(path, '/');
    const std::string name = leaf != nullptr ? leaf + 1 : path;
    std::string line;
    while (std::getline(maps, line))
        if (line.find(name) != std::string::npos) return true;
    return false;
}

void Report(const std::string& key, uint64_t value) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr) return;
    mkdir(LMVX_STRESS_REPORT_DIR, 0755);
    const std::string file =
        std::string(LMVX_STRESS_REPORT_DIR) + "/" + test->test_suite_name() + "." + test->name() + ".txt";
    std::ofstream out(file, std::ios::app);
    out << key << ' ' << value << '\n';
}

}  // namespace stress
