// The service misbehaving under a running session: killed and restarted,
// broken replies of every kind, a slow answer while other threads call, and
// more clients at once than the service serves.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "stress_fixture.h"

namespace stress {
namespace {

using Clock = std::chrono::steady_clock;
using sim::Fault;
using sim::Script;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

constexpr uint32_t kContrast = 50;  // the simulated monitor's factory value
constexpr uint32_t kGetVcpValue = 2;

class FaultInjection : public LoadedLibrary {
protected:
    void SetUp() override {
        LoadedLibrary::SetUp();
        ASSERT_TRUE(Lib().Start());
        ASSERT_EQ(Lib().GetLVXStatus(), LVX_STATE_CONNECTED);
    }
};

std::atomic<int> statusEvents{0};
void CountStatusEvents(LvxDataType type) {
    if (type == LVX_EVENT_SERVICE_STATUS_CHANGED) ++statusEvents;
}

TEST_F(FaultInjection, ServiceKilledFailsEveryCallBoundedAndComesBackOnNotification) {
    const Library& lib = Lib();
    statusEvents = 0;
    lib.SetEventHandler(CountStatusEvents);
    Sim().Stop();

    // Still Connected as far as the library knows: each call makes its three
    // attempts (about 300 ms) and gives its failure value.
    const auto start = Clock::now();
    EXPECT_EQ(lib.GetContrast(), 0u);
    EXPECT_FALSE(lib.IsAutoColorEnabled());
    EXPECT_EQ(lib.GetDesktopPartition(0), 0xFFFFFFFFu);
    EXPECT_EQ(lib.GetShedulerMode(), -1);
    AutoColorTable table;
    table.count = 77;
    EXPECT_EQ(lib.GetAutoColorTable(&table), 0u);
    EXPECT_EQ(table.count, 0u);
    EXPECT_EQ(lib.GetFeatures(), 0u);
    EXPECT_FALSE(lib.CheckService());
    const double failing = SecondsSince(start);
    EXPECT_LT(failing, 7 * 1.0) << "a failing call took more than its three attempts";
    EXPECT_GT(failing, 7 * 0.25);

    EXPECT_EQ(lib.GetLVXStatus(), LVX_STATE_DISCONNECTED);
    // Now the gate answers at once.
    const auto gated = Clock::now();
    EXPECT_EQ(lib.GetContrast(), 0xFFFFFFFFu);
    EXPECT_EQ(lib.GetDesktopPartition(0), 0xFFFFFFFFu);
    EXPECT_EQ(lib.GetShedulerMode(), -1);
    EXPECT_EQ(lib.GetCurrentDisplayMode(), -1);
    EXPECT_EQ(lib.GetDPSupportedScreens(nullptr), 0u);
    EXPECT_LT(SecondsSince(gated), 0.1);

    // The service comes back and says so: the notification thread refreshes
    // the state before the handler hears of it.
    ASSERT_TRUE(Sim().Start());
    ASSERT_TRUE(Sim().Notify(0x102, 0));
    ASSERT_TRUE(Eventually([] { return statusEvents.load() == 1; }));
    Sim().ClearLog();
    EXPECT_EQ(lib.GetContrast(), kContrast);
    EXPECT_EQ(Sim().RequestCount(), 1u) << "the gate opened without a status query of its own";

    // Killed again; this time GetLVXStatus alone brings it back.
    Sim().Stop();
    EXPECT_EQ(lib.GetLVXStatus(), LVX_STATE_DISCONNECTED);
    ASSERT_TRUE(Sim().Start());
    EXPECT_EQ(lib.GetLVXStatus(), LVX_STATE_CONNECTED);
    EXPECT_EQ(lib.GetContrast(), kContrast);
    Report("faults", 2);  // two kills
}

struct BrokenReply {
    const char* name;
    Script script;
    size_t attempts;  // requests the service sees for one call
};

TEST_F(FaultInjection, BrokenRepliesFailTheCallAndLeaveTheSessionWorking) {
    const BrokenReply cases[] = {
        {"empty", {.fault = Fault::kEmpty}, 3},
        {"one byte", {.fault = Fault::kShort, .faultLength = 1}, 3},
        {"short by one", {.fault = Fault::kShort, .faultLength = 12031}, 3},
        {"one byte too long", {.fault = Fault::kOversize, .faultLength = 12033}, 3},
        {"over the capacity", {.fault = Fault::kOversize, .faultLength = 12049}, 3},
        {"far over", {.fault = Fault::kOversize, .faultLength = 60000}, 3},
        {"random, block size", {.fault = Fault::kGarbage, .faultLength = 12032}, 3},
        {"random, short", {.fault = Fault::kGarbage, .faultLength = 700}, 3},
        {"wrong checksum", {.fault = Fault::kBadChecksum}, 3},
        {"no reply", {.fault = Fault::kSilent}, 3},
        {"result 0", {.setResult = true, .result = 0, .words = {{20, 99}}}, 1},
        {"result 0x10000", {.setResult = true, .result = 0x10000, .words = {{20, 99}}}, 1},
    };
    const Library& lib = Lib();
    uint64_t injected = 0;
    for (const BrokenReply& c : cases) {
        SCOPED_TRACE(c.name);
        Sim().ClearScripts();
        Sim().Always(kGetVcpValue, c.script);
        Sim().ClearLog();
        const auto start = Clock::now();
        EXPECT_EQ(lib.GetContrast(), 0u);
        EXPECT_LT(SecondsSince(start), 2.0);
        EXPECT_EQ(Sim().RequestCount(), c.attempts);
        injected += Sim().RequestCount();
        // Nothing of the broken reply sticks: the next call is answered.
        Sim().ClearScripts();
        EXPECT_EQ(lib.GetContrast(), kContrast);
        EXPECT_EQ(lib.GetLVXStatus(), LVX_STATE_CONNECTED);
    }

    // A block followed by padding up to the whole 12048-byte capacity is
    // unprotected over all 12048 bytes: its checksum byte is then not the
    // one the service wrote, so it is refused, or (one key in 256) it
    // verifies, and then the record read is the service's own. Never
    // another value.
    Sim().Always(kGetVcpValue, {.fault = Fault::kOversize, .faultLength = 12048});
    const uint32_t padded = lib.GetContrast();
    EXPECT_TRUE(padded == 0 || padded == kContrast) << padded;
    Sim().ClearScripts();
    Report("faults", injected + 3);
}

TEST_F(FaultInjection, SlowAnswerDoesNotHoldUpOtherThreads) {
    const Library& lib = Lib();
    Sim().Once(28, {.delayMs = 2000});
    std::atomic<bool> slowDone{false};
    std::atomic<int> others{0};
    bool hdr = true;
    double slowSeconds = 0;
    std::thread slow([&] {
        const auto start = Clock::now();
        hdr = lib.GetHDRStatus();
        slowSeconds = SecondsSince(start);
        slowDone = true;
    });
    std::vector<std::thread> callers;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 4; ++t)
        callers.emplace_back([&] {
            while (!slowDone) {
                if (lib.GetContrast() != kContrast) ++wrong;
                ++others;
            }
        });
    slow.join();
    for (auto& c : callers) c.join();
    EXPECT_FALSE(hdr);  // the simulated display is not in HDR
    EXPECT_GE(slowSeconds, 2.0);
    EXPECT_LT(slowSeconds, 3.0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(others.load(), 20) << "other callers waited for the slow answer";
    Report("faults", 1);
    Report("calls", static_cast<uint64_t>(others.load()) + 1);
}

class BusyPipe : public FaultInjection {
protected:
    sim::Options Options() override {
        sim::Options options;
        options.workers = 2;
        return options;
    }
};

TEST_F(BusyPipe, ThirtyTwoClientsAtOnceAllGetTheirOwnAnswer) {
    const Library& lib = Lib();
    // Each answer takes 20 ms and only two are served at a time: the other
    // clients wait for a free instance, none fails.
    Sim().Always(7, {.setResult = true,
                     .edit = [](lmvx::ServiceRecord& reply) { reply.SetWord(16, reply.Word(12) * 3 + 1); },
                     .delayMs = 20});
    constexpr int kClients = 32;
    std::vector<uint32_t> answers(kClients, 0);
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i)
        clients.emplace_back([&, i] {
            ++ready;
            while (!go) std::this_thread::yield();
            answers[i] = lib.GetDesktopPartition(static_cast<uint32_t>(1000 + i));
        });
    while (ready < kClients) std::this_thread::yield();
    Sim().ClearLog();
    const auto start = Clock::now();
    go = true;
    for (auto& c : clients) c.join();
    const double seconds = SecondsSince(start);
    for (int i = 0; i < kClients; ++i) EXPECT_EQ(answers[i], static_cast<uint32_t>((1000 + i) * 3 + 1)) << i;
    EXPECT_EQ(Sim().RequestCount(), static_cast<size_t>(kClients)) << "a client retried";
    EXPECT_GE(seconds, 0.3);  // 32 answers of 20 ms, two at a time
    Report("calls", kClients);
}

}  // namespace
}  // namespace stress
