// The library loaded and unloaded again and again without leaving a thread,
// a file or its mapping behind; and a running notification thread keeps it
// loaded until the thread's last instruction of it.
#include "os/os.h"
#include "library.h"

namespace stress {
namespace {

// The fixture's library is not loaded: each test loads its own.
class LoadUnload : public LoadedLibrary {
protected:
    void SetUp() override { ASSERT_TRUE(sim_.Start()); }
};

void OnEvent(LvxDataType) {}

TEST_F(LoadUnload, RoundsLeaveNothingBehindAndARunningThreadKeepsTheLibraryLoaded) {
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
        ASSERT_TRUE(Eventually([] { return !LibraryLoaded(); }));
        if (round == 0) files = OpenFileCount();
    }
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; })) << ThreadCount() << " threads, " << threads;
    EXPECT_EQ(OpenFileCount(), files);

    // Unloaded without Stop, the library stays until its thread, ended from
    // outside, has run its code to the end.
    Library lib;
    ASSERT_TRUE(lib.Load());
    ASSERT_TRUE(lib.Start());
    lib.Unload();
    EXPECT_TRUE(LibraryLoaded());
    ASSERT_TRUE(os::PostWindowMessage(sim_.RegisteredWindow(), os::kMessageEndSession, 1, 0));
    EXPECT_TRUE(Eventually([] { return !LibraryLoaded(); }));
    Report("calls", kRounds + 1);
}

}  // namespace
}  // namespace stress
