// Each test process gets its own runtime folder, so tests run in parallel
// without sharing a service socket or window endpoints.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char dir[] = "/tmp/lmvx-stress-XXXXXX";
    if (mkdtemp(dir) == nullptr) return 2;
    setenv("XDG_RUNTIME_DIR", dir, 1);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(dir);
    return result;
}
