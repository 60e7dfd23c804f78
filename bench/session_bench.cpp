// A host session against the simulator: Start until it returns true, Stop
// then Start again, the latency of one notification from the simulator's
// post to the handler's call, a burst of notifications of one code, and the
// memory a session leaves behind.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "bench_env.h"
#include "benchmarks.h"
#include "lmvx.h"

namespace {

constexpr uint32_t kNotConnected = 0xFFFFFFFFu;
constexpr LvxDataType kProbeType = LVX_EVENT_CONTRAST;

// What the handler saw: deliveries of the probe type and the time of the last.
std::atomic<uint64_t> deliveries{0};
std::atomic<double> lastDeliveryUs{0};

void OnEvent(LvxDataType type) {
    if (type != kProbeType) return;
    lastDeliveryUs.store(benchenv::NowUs());
    deliveries.fetch_add(1);
}

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// After Stop the notification thread ends on its own; a Start measured from
// a clean state waits for that first, so no old thread's end is in the figure.
void StopAndSettle(bool notifyService) {
    Stop(notifyService);
    Pause(50);
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    const auto middle = samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

void SetTimes(benchmark::State& state, const std::vector<double>& ms) {
    if (ms.empty()) return;
    state.counters["median_ms"] = Median(ms);
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
}

void StartReady(benchmark::State& state) {
    std::vector<double> ms;
    for (auto _ : state) {
        StopAndSettle(false);
        const double start = benchenv::NowUs();
        const bool started = Start();
        const double elapsed = benchenv::NowUs() - start;
        if (!started) {
            state.SkipWithError("Start() returned false with the simulator ready");
            return;
        }
        state.SetIterationTime(elapsed * 1e-6);
        ms.push_back(elapsed / 1000);
    }
    SetTimes(state, ms);
}

void StopThenStart(benchmark::State& state) {
    std::vector<double> ms;
    for (auto _ : state) {
        const double start = benchenv::NowUs();
        Stop(true);
        const bool started = Start();
        const double elapsed = benchenv::NowUs() - start;
        if (!started) {
            state.SkipWithError("Start() after Stop() returned false");
            return;
        }
        state.SetIterationTime(elapsed * 1e-6);
        ms.push_back(elapsed / 1000);
        Pause(20);
    }
    SetTimes(state, ms);
}

// Waits until `done` holds, at most `limitMs`; false on timeout.
template <typename Predicate>
bool WaitFor(Predicate done, double limitMs) {
    const double end = benchenv::NowUs() + limitMs * 1000;
    while (!done()) {
        if (benchenv::NowUs() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

void NotifyLatency(benchmark::State& state) {
    SetEventHandler(OnEvent);
    std::vector<double> us;
    uint64_t value = 0;
    for (auto _ : state) {
        const uint64_t seen = deliveries.load();
        const double start = benchenv::NowUs();
        if (!benchenv::Service().Notify(kProbeType, ++value % 100)) {
            state.SkipWithError("the simulator could not post a notification");
            break;
        }
        if (!WaitFor([&] { return deliveries.load() > seen; }, 2000)) {
            state.SkipWithError("a notification never reached the handler");
            break;
        }
        const double elapsed = lastDeliveryUs.load() - start;
        state.SetIterationTime(elapsed * 1e-6);
        us.push_back(elapsed);
    }
    SetEventHandler(nullptr);
    if (!us.empty()) state.counters["median_us"] = Median(us);
}

// 10,000 posts of one code as fast as the simulator makes them; waiting
// notifications of one code merge, so fewer deliveries than posts are
// expected. Ends when no further delivery has come for 300 ms.
void NotifyBurst(benchmark::State& state) {
    constexpr int kPosts = 10000;
    SetEventHandler(OnEvent);
    for (auto _ : state) {
        const uint64_t before = deliveries.load();
        int posted = 0;
        const double start = benchenv::NowUs();
        for (int i = 0; i < kPosts; ++i)
            if (benchenv::Service().Notify(kProbeType, static_cast<uint64_t>(i % 100))) ++posted;
        const double postedUs = benchenv::NowUs() - start;
        uint64_t count = deliveries.load();
        double quietSince = benchenv::NowUs();
        // The first delivery may come only after the whole run has been
        // merged, so the quiet time counts from a delivery.
        while ((count == before || benchenv::NowUs() - quietSince < 300000) && benchenv::NowUs() - start < 30e6) {
            Pause(2);
            const uint64_t now = deliveries.load();
            if (now != count) {
                count = now;
                quietSince = benchenv::NowUs();
            }
        }
        const double lastUs = count > before ? lastDeliveryUs.load() - start : 0;
        state.SetIterationTime(lastUs * 1e-6);
        state.counters["posted"] = posted;
        state.counters["delivered"] = static_cast<double>(count - before);
        state.counters["post_ms"] = postedUs / 1000;
        state.counters["last_delivery_ms"] = lastUs / 1000;
        if (posted != kPosts) state.SkipWithError("some notifications could not be posted");
    }
    SetEventHandler(nullptr);
}

// The growth of the process's resident memory over one more whole session
// (Start, exchanges, notifications, Stop), and the library's image.
void SessionMemory(benchmark::State& state) {
    for (auto _ : state) {
        StopAndSettle(false);
        const uint64_t before = benchenv::ResidentBytes();
        SetEventHandler(OnEvent);
        bool ok = Start();
        for (int i = 0; ok && i < 200; ++i) {
            ok = GetBrightness() != kNotConnected;
            benchenv::NoteExchange();
        }
        const uint64_t seen = deliveries.load();
        ok = ok && benchenv::Service().Notify(kProbeType, 1) &&
             WaitFor([&] { return deliveries.load() > seen; }, 2000);
        StopAndSettle(true);
        SetEventHandler(nullptr);
        const uint64_t after = benchenv::ResidentBytes();
        if (!ok) {
            state.SkipWithError("the session failed");
            break;
        }
        state.counters["process_kib"] = static_cast<double>(after) / 1024;
        state.counters["growth_kib"] = (static_cast<double>(after) - static_cast<double>(before)) / 1024;
        state.counters["library_image_kib"] = static_cast<double>(benchenv::LibraryImageBytes()) / 1024;
    }
    // The session the benchmarks found is running again afterwards.
    if (!Start()) state.SkipWithError("Start() failed after the session");
}

}  // namespace

void RegisterSessionBenchmarks() {
    const int starts = benchenv::ShortRun() ? 3 : 20;
    benchmark::RegisterBenchmark(kStartReady, StartReady)
        ->Iterations(starts)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kStopStart, StopThenStart)
        ->Iterations(starts)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kNotifyLatency, NotifyLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(kNotifyBurst, NotifyBurst)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kSessionMemory, SessionMemory)->Iterations(1)->Unit(benchmark::kMillisecond);
}

bool BeginBenchmarkSession() { return Start() && GetBrightness() != kNotConnected; }

void EndBenchmarkSession() { Stop(true); }
