// One exchange through the library (an export, its gate, the request
// operation and the transport) against the bare client of bench_env.cpp, in
// the same run; exchanges per second from several host threads; and the
// heap allocations of one exchange.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "alloc_count.h"
#include "bench_env.h"
#include "benchmarks.h"
#include "controls/controls.h"
#include "link/exchange.h"
#include "link/protection.h"
#include "lmvx.h"
#include "os/os.h"

namespace {

constexpr uint32_t kNotConnected = 0xFFFFFFFFu;

// The request GetBrightness sends: command 2 with words (0, luminance code).
lmvx::ServiceRecord BrightnessRequest() {
    lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(2);
    record.SetWord(12, 0);
    record.SetWord(16, lmvx::kVcpLuminance);
    return record;
}

double Median(std::vector<double>* samples) {
    if (samples->empty()) return 0;
    const auto middle = samples->begin() + static_cast<std::ptrdiff_t>(samples->size() / 2);
    std::nth_element(samples->begin(), middle, samples->end());
    return *middle;
}

// Both clients must put the same bytes on the pipe and read the same answer,
// or the comparison says nothing.
bool SameRequestOnThePipe(benchmark::State& state) {
    const lmvx::ServiceRecord request = BrightnessRequest();
    benchenv::Service().ClearLog();
    const uint32_t viaLibrary = GetBrightness();
    uint32_t viaBare = 0;
    if (viaLibrary == kNotConnected || !benchenv::BareExchange(request, &viaBare)) {
        state.SkipWithError("no session with the simulator");
        return false;
    }
    const std::vector<lmvx::ServiceRecord> log = benchenv::Service().Requests();
    if (log.size() != 2 || std::memcmp(log[0].Bytes(), log[1].Bytes(), lmvx::kRecordSize) != 0 ||
        std::memcmp(log[1].Bytes(), request.Bytes(), lmvx::kRecordSize) != 0) {
        state.SkipWithError("the library and the bare client sent different requests");
        return false;
    }
    // The bare client reads word 12 of the reply; the library's value is at 20.
    (void)viaBare;
    return true;
}

// Each iteration makes one exchange of each kind, in alternating order, and
// times both; the medians resist the stray pauses of a busy machine.
void LibraryVsBare(benchmark::State& state) {
    if (!SameRequestOnThePipe(state)) return;
    const lmvx::ServiceRecord request = BrightnessRequest();
    std::vector<double> library;
    std::vector<double> bare;
    library.reserve(1 << 16);
    bare.reserve(1 << 16);
    bool flip = false;
    for (auto _ : state) {
        double libraryUs = 0;
        double bareUs = 0;
        for (int pass = 0; pass < 2; ++pass) {
            const bool libraryTurn = (pass == 0) != flip;
            const double start = benchenv::NowUs();
            bool ok;
            if (libraryTurn) {
                ok = GetBrightness() != kNotConnected;
            } else {
                uint32_t word = 0;
                ok = benchenv::BareExchange(request, &word);
            }
            const double elapsed = benchenv::NowUs() - start;
            if (!ok) {
                state.SkipWithError("an exchange failed");
                return;
            }
            (libraryTurn ? libraryUs : bareUs) = elapsed;
            benchenv::NoteExchange();
        }
        flip = !flip;
        state.SetIterationTime(libraryUs * 1e-6);
        if (library.size() < library.capacity()) {
            library.push_back(libraryUs);
            bare.push_back(bareUs);
        }
    }
    const double libraryMedian = Median(&library);
    const double bareMedian = Median(&bare);
    state.counters["library_us"] = libraryMedian;
    state.counters["bare_us"] = bareMedian;
    state.counters["ratio"] = bareMedian > 0 ? libraryMedian / bareMedian : 0;
}

void Throughput(benchmark::State& state) {
    for (auto _ : state) {
        if (GetBrightness() == kNotConnected) {
            state.SkipWithError("an exchange failed");
            break;
        }
        benchenv::NoteExchange();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// Allocations of the calling thread per exchange: through the library, by
// the bare client, and by the OS calls alone that every exchange makes (the
// platform's share, which the library cannot avoid). What is left, library
// minus platform, is the library's own request path.
void Allocations(benchmark::State& state) {
    if (!SameRequestOnThePipe(state)) return;
    const lmvx::ServiceRecord request = BrightnessRequest();
    const int rounds = benchenv::ShortRun() ? 20 : 500;
    auto block = std::make_unique<uint8_t[]>(lmvx::kBufferSize);
    uint64_t library = 0;
    uint64_t libraryNews = 0;
    uint64_t bare = 0;
    uint64_t platform = 0;
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            const benchalloc::Counts before = benchalloc::ThreadCounts();
            const bool ok = GetBrightness() != kNotConnected;
            const benchalloc::Counts after = benchalloc::ThreadCounts();
            benchenv::NoteExchange();
            uint32_t word = 0;
            const benchalloc::Counts bareBefore = benchalloc::ThreadCounts();
            const bool bareOk = benchenv::BareExchange(request, &word);
            const benchalloc::Counts bareAfter = benchalloc::ThreadCounts();
            benchenv::NoteExchange();
            // The OS calls of one attempt, on a buffer that already exists:
            // ProtectBlock and DecryptRecord add only the mask and the
            // checksum, which allocate nothing.
            std::memcpy(block.get(), request.Bytes(), lmvx::kRecordSize);
            std::memset(block.get() + lmvx::kRecordSize, 0, lmvx::kBufferSize - lmvx::kRecordSize);
            uint32_t received = 0;
            const benchalloc::Counts osStart = benchalloc::ThreadCounts();
            const bool osOk =
                lmvx::ProtectBlock(block.get(), lmvx::kProtectedSize) &&
                os::TransactPipe(lmvx::ServicePipeName(), block.get(), lmvx::kProtectedSize, block.get(),
                                 lmvx::kBufferSize, &received, lmvx::kPipeWaitMs) &&
                lmvx::DecryptRecord(block.get(), received);
            const benchalloc::Counts osEnd = benchalloc::ThreadCounts();
            benchenv::NoteExchange();
            if (!ok || !bareOk || !osOk) {
                state.SkipWithError("an exchange failed");
                return;
            }
            library += after.heap - before.heap;
            libraryNews += after.news - before.news;
            bare += bareAfter.heap - bareBefore.heap;
            platform += osEnd.heap - osStart.heap;
        }
    }
    const double n = static_cast<double>(state.iterations()) * rounds;
    state.counters["library"] = static_cast<double>(library) / n;
    state.counters["library_new"] = static_cast<double>(libraryNews) / n;
    state.counters["bare"] = static_cast<double>(bare) / n;
    state.counters["platform"] = static_cast<double>(platform) / n;
    state.counters["own"] = (static_cast<double>(library) - static_cast<double>(platform)) / n;
}

}  // namespace

void RegisterLinkBenchmarks() {
    benchmark::RegisterBenchmark(kExchangePaired, LibraryVsBare)->UseManualTime()->Unit(benchmark::kMicrosecond);
    if (benchalloc::Available())
        benchmark::RegisterBenchmark(kAllocations, Allocations)->Iterations(1)->Unit(benchmark::kMillisecond);
    // Rates over a few dozen exchanges say nothing: even the short run gives
    // each thread count a fifth of a second.
    for (int threads : kThreadCounts) {
        benchmark::internal::Benchmark* b = benchmark::RegisterBenchmark(kThroughput, Throughput);
        b->Threads(threads)->UseRealTime()->Unit(benchmark::kMicrosecond);
        if (benchenv::ShortRun()) b->MinTime(0.2);
    }
}
