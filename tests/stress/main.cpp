// Each test process gets its own runtime folder, so tests run in parallel
// without sharing a service socket or window endpoints, and a test's report
// file starts empty.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

class FreshReport : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& test) override {
        std::error_code ignored;
        std::filesystem::remove(std::string(LMVX_STRESS_REPORT_DIR) + "/" + test.test_suite_name() + "." +
                                    test.name() + ".txt",
                                ignored);
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshReport);
    std::string dir = (std::filesystem::temp_directory_path() / "lmvx-stress-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) return 2;
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return result;
}
