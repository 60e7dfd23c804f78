// The library loaded and unloaded again and again without leaving a thread,
// a file or its mapping behind; and a running notification thread keeps it
// loaded until the thread's last instruction of it.
#include "os/os.h"
#include "stress_fixture.h"

namespace stress {
namespace {

class LoadUnload : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.Start()); }
    void TearDown() override { sim_.Stop(); }
    sim::Simulator sim_;
};

void OnEvent(LvxDataType) {}

TEST_F(LoadUnload, RoundsLeaveNoThreadFileOrMappingBehind) {
    constexpr int kRounds = 20;
    const int threads = ThreadCount();
    int files = 0;
    // Round 0 settles what the process keeps for good (the crypto library's
    // tables, the loader's own state).
    for (int round = 0; round <= kRounds; ++round) {
        SCOPED_TRACE(round);
        Library lib;
        ASSERT_TRUE(lib.Load());
        lib.SetEventHandler(OnEvent);
        ASSERT_TRUE(lib.Start());
        EXPECT_EQ(lib.GetContrast(), 50u);
        lib.Stop(true);
        lib.Unload();
        ASSERT_TRUE(Eventually([] { return !LibraryMapped(); })) << "the library stays loaded";
        if (round == 0) files = OpenFileCount();
    }
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; })) << ThreadCount() << " threads, " << threads;
    EXPECT_EQ(OpenFileCount(), files);
    Report("calls", kRounds);
}

TEST_F(LoadUnload, ARunningNotificationThreadKeepsTheLibraryLoaded) {
    Library lib;
    ASSERT_TRUE(lib.Load());
    ASSERT_TRUE(lib.Start());
    const uint64_t window = sim_.RegisteredWindow();
    lib.Unload();
    EXPECT_TRUE(LibraryMapped());
    // Ended from outside, the thread runs the library's code to its end.
    ASSERT_TRUE(os::PostWindowMessage(window, os::kMessageEndSession, 1, 0));
    EXPECT_TRUE(Eventually([] { return !LibraryMapped(); }));
}

}  // namespace
}  // namespace stress
