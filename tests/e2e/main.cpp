// On POSIX each test process gets its own private runtime folder, so that
// tests run in parallel without sharing a service socket.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <stdlib.h>

#include <filesystem>
#include <string>
#endif

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
#if !defined(_WIN32)
    std::string dir = (std::filesystem::temp_directory_path() / "lmvx-e2e-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) return 2;
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::filesystem::remove_all(dir);
    return result;
#else
    return RUN_ALL_TESTS();
#endif
}
