// The library loaded and unloaded again and again, each time after a whole
// session, without leaking threads, files or memory and without running
// code of an unloaded library.
#include <dlfcn.h>

#include <chrono>
#include <thread>

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

// One session: Start, a few calls of each kind, Stop.
void Session(const Library& lib) {
    ASSERT_TRUE(lib.Start());
    EXPECT_EQ(lib.GetLVXStatus(), LVX_STATE_CONNECTED);
    EXPECT_EQ(lib.GetContrast(), 50u);
    DPScreenList screens{};
    EXPECT_GT(lib.GetDPSupportedScreens(&screens), 0u);
    lib.Stop(true);
}

TEST_F(LoadUnload, HundredTimesAfterTheNotificationThreadEnded) {
    const int rounds = Long() ? 300 : 100;
    const int before = ThreadCount();  // this process with the simulator running
    // The first load settles what the process keeps for good (the crypto
    // library's tables, the loader's own state).
    {
        Library lib;
        ASSERT_TRUE(lib.Load());
        Session(lib);
        ASSERT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
        lib.Unload();
    }
    ASSERT_TRUE(Eventually([&] { return ThreadCount() <= before; })) << ThreadCount() << " threads, " << before << " before";
    const int threads = ThreadCount();
    const int files = OpenFileCount();
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        Library lib;
        ASSERT_TRUE(lib.Load());
        lib.SetEventHandler(OnEvent);
        Session(lib);
        lib.SetEventHandler(nullptr);
        // The host lets the notification thread end before unloading.
        ASSERT_TRUE(Eventually([&] { return WindowEndpointCount() == 0 && ThreadCount() <= threads; }));
        lib.Unload();
        ASSERT_FALSE(LibraryMapped()) << "dlclose left the library mapped";
    }
    // Threads end asynchronously (the simulator's too), as in the rounds: a
    // leaked one never does.
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; }))
        << ThreadCount() << " threads, " << threads << " before the rounds";
    EXPECT_EQ(OpenFileCount(), files);
    Report("calls", static_cast<uint64_t>(rounds));
}

TEST_F(LoadUnload, UnloadRightAfterStopIsSafe) {
    // Stop does not wait for the notification thread, so the host cannot
    // know when it has ended; the thread itself must keep its code mapped
    // until it returns.
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Library lib;
        ASSERT_TRUE(lib.Load());
        Session(lib);
        lib.Unload();
    }
    // Any thread still inside the library would crash the process here.
    ASSERT_TRUE(Eventually([] { return WindowEndpointCount() == 0; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Report("calls", 20);
}

}  // namespace
}  // namespace stress
