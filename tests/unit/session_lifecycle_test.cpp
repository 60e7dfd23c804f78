#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "exports/api.h"
#include "session/companion.h"
#include "session/connection.h"
#include "session/events.h"
#include "session/notification.h"
#include "os/os.h"
#include "sim_fixture.h"

namespace {

using lmvx::ConnectionState;
using Commands = std::vector<uint32_t>;
using Launch = std::pair<std::u16string, std::u16string>;  // file, folder

const Commands kStartCommands = {36, 1, 32, 38, 37, 40, 39, 41};

class Session : public SimulatedService {};

TEST_F(Session, StartRegistersTheWindowAndSetsPolling) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
    Commands commands = Sim().Commands();
    commands.pop_back();  // the GetLVXStatus above
    EXPECT_EQ(commands, kStartCommands);
    // The window registered is the session's: the interleaving test checks it.
    const auto requests = Sim().Requests();
    const uint32_t intervals[] = {5000, 5000, 15000, 20000, 30000};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(requests[3 + i].Word(12), intervals[i]);
    EXPECT_EQ(fake::Session().threadsStarted, 1u);
}

TEST_F(Session, StartWaitsForTheServiceToAnswerConnected) {
    Sim().Once(1, {.words = {{12, 0}}});
    Sim().Once(1, {.setResult = true, .result = 0});
    Sim().Once(1, {.words = {{12, 0}}});
    ASSERT_TRUE(Start());
    // One 100 ms pause before each new query. The wait for the thread's
    // window that follows may add pauses of its own on a busy machine.
    const Commands commands = Sim().Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), 1u), 4);
    EXPECT_GE(fake::Os().sleptMs, 300u);
    EXPECT_EQ(fake::Os().sleptMs % 100, 0u);
    EXPECT_EQ(ConnectionState.load(), lmvx::kConnected);
}

TEST_F(Session, NoCompanionLaunchesTheUrlAndFailsAfterSixSeconds) {
    fake::Session().companionPresent = false;
    EXPECT_FALSE(Start());
    EXPECT_EQ(ConnectionState.load(), lmvx::kStartFailed);
    EXPECT_EQ(fake::Os().sleptMs, 6000u);
    EXPECT_EQ(fake::Session().launches, std::vector<Launch>{Launch(u"lumivex://run", u".")});
    EXPECT_EQ(fake::Session().threadsStarted, 0u);
    EXPECT_EQ(Sim().RequestCount(), 0u);
}

TEST_F(Session, ALaunchedCompanionThatAppearsLetsStartGoOn) {
    fake::Session().companionPresent = false;
    fake::Session().companionAppearsOnLaunch = true;
    fake::Session().files.insert(u"C:\\Program Files\\Host\\Lumivex.exe");
    EXPECT_TRUE(Start());
    EXPECT_EQ(fake::Session().launches, std::vector<Launch>{Launch(u"C:\\Program Files\\Host\\Lumivex.exe", u"")});
    EXPECT_GE(fake::Os().sleptMs, 1000u);  // one round, then Start's own short waits
}

TEST_F(Session, ACompanionWhoseServiceDoesNotAnswerGetsThreeSeconds) {
    Sim().Once(36, {.setResult = true, .result = 0});
    EXPECT_TRUE(Start());  // the window is still there after the pause
    EXPECT_GE(fake::Os().sleptMs, 3000u);
    EXPECT_TRUE(fake::Session().launches.empty());
}

// The service's key comes first, then the companion's; a quoted path is read
// to its closing quote (with one quote only, what follows it); without
// either, the name beside the host's folder, or no path rather than a cut one.
TEST(CompanionPath, RegistryQuotesAndFallback) {
    const std::u16string tooLong = std::u16string(lmvx::kCompanionPathUnits - 10, u'a') + u"\\h.exe";  // fits; with the name it would not
    const struct { std::u16string service, companion, host, expected; } cases[] = {
        {u"", u"", u"C:\\Program Files\\Host\\host.exe", u"C:\\Program Files\\Host\\Lumivex.exe"},
        {u"", u"", u"host.exe", u"host.exe\\Lumivex.exe"},
        {u"", u"\"C:\\Apps\\Lumivex.exe\" --tray", u"host.exe", u"C:\\Apps\\Lumivex.exe"},
        {u"D:\\Svc\\L.exe", u"C:\\Apps\\Lumivex.exe", u"host.exe", u"D:\\Svc\\L.exe"},
        {u"\"E:\\L.exe", u"", u"host.exe", u"E:\\L.exe"},
        {u"", u"", tooLong, u""},
    };
    for (const auto& c : cases) {
        fake::Session().Reset();
        if (!c.service.empty()) fake::Session().registry[{u"SOFTWARE\\Velliqor\\Lumivex Service", u"AppBinary"}] = c.service;
        if (!c.companion.empty()) fake::Session().registry[{u"SOFTWARE\\Velliqor\\Lumivex", u"AppBinary"}] = c.companion;
        fake::Session().executablePath = c.host;
        char16_t path[lmvx::kCompanionPathUnits] = {u'#'};
        lmvx::FindCompanionAppPath(path);
        EXPECT_EQ(std::u16string(path), c.expected) << &c - cases;
    }
}

// The child of a fork has no notification thread: it starts without a
// session, and its Stop reaches neither the parent's window nor the service.
TEST_F(Session, AForkedChildCannotEndItsParentsSession) {
    ASSERT_TRUE(Start());
    const uint64_t parentWindow = lmvx::NotificationWindow.load();
    fake::Session().forkReset.load()();  // as fork returns in the child
    Stop(true);
    EXPECT_EQ(fake::Session().lastQuit, 0u);
    EXPECT_TRUE(Sent(17).empty());
    // This process's thread stands in for the parent's: its next message ends it.
    ASSERT_TRUE(os::PostWindowMessage(parentWindow, lmvx::kServiceNotifyMessage, 0x10, 0));
}

// Destroyed after the library's static state (made before it): reads the
// subscriptions as a notification thread still running at exit would.
bool dispatchAtExit = false;
struct DispatchAfterStaticDestructors {
    ~DispatchAfterStaticDestructors() {
        if (dispatchAtExit) lmvx::DispatchNotification(0x12, 0);
    }
} dispatchAfterStaticDestructors __attribute__((init_priority(101)));

TEST(Exit, TheSubscriptionsOutliveTheStaticDestructors) {
    const auto exitWithThree = [](LvxDataType) { _exit(3); };  // the type is switched off: never called
    EXPECT_EXIT((DisableEvent(LVX_EVENT_CONTRAST), SetEventHandler(exitWithThree), dispatchAtExit = true, std::exit(0)),
                ::testing::ExitedWithCode(0), "");
}

// GetLVXStatus: the state, refreshed from the service's answer.
class Status : public SimulatedService {};

TEST_F(Status, RefreshFollowsTheServiceAnswer) {
    // 0 and 1 as the interleaving test checks them; any other answer leaves
    // the state, whatever it was.
    ConnectionState = lmvx::kDisconnected;
    Sim().SetStatus(2);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
    EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>{1});
    ConnectionState = lmvx::kStartFailed;
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_START_FAILED);
    Sim().SetStatus(1);
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
}

TEST_F(Status, AServiceThatIsGoneDisconnects) {
    ConnectionState = lmvx::kConnected;
    Sim().Stop();
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
    EXPECT_EQ(fake::Os().pipeCalls, 3u);
    // A refused status query counts as 0 too.
    ConnectionState = lmvx::kConnected;
    ASSERT_TRUE(Sim().Start());
    Sim().Once(1, {.setResult = true, .result = 0, .words = {{12, 1}}});
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_DISCONNECTED);
}

LvxDataType lastEvent = 0;
void RecordLast(LvxDataType type) { lastEvent = type; }

TEST_F(Status, AStatusNotificationRefreshesTheStateEvenWithoutAHandler) {
    ConnectionState = lmvx::kDisconnected;
    lmvx::DispatchNotification(0x102, 0);
    EXPECT_EQ(ConnectionState.load(), lmvx::kConnected);
    EXPECT_EQ(Sim().Commands(), std::vector<uint32_t>{1});
    // While stopped the refresh sends nothing, and the event still arrives.
    SetEventHandler(RecordLast);
    ConnectionState = lmvx::kStopped;
    lmvx::DispatchNotification(0x102, 0);
    EXPECT_EQ(lastEvent, 0x102);
    EXPECT_EQ(Sim().RequestCount(), 1u);
}

}  // namespace
