// Runs every benchmark in one process against the simulator on the real
// pipe, then prints one summary: each figure, its target and whether it was
// met. Options: --short (a few iterations of everything) and Google
// Benchmark's own --benchmark_* flags. Exits 0 when every figure was
// measured, whether or not its target was met; 1 when a benchmark failed.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "bench_env.h"
#include "benchmarks.h"

#if !defined(_WIN32)
#include <stdlib.h>

#include <filesystem>
#endif

namespace {

// Prints as the console reporter does and keeps every run for the summary.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
    RecordingReporter() : ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration) runs_.push_back(run);
        ConsoleReporter::ReportRuns(runs);
    }
    const Run* Find(const std::string& name, int64_t threads = 1) const {
        for (const Run& run : runs_)
            if (run.run_name.function_name == name && run.threads == threads) return &run;
        return nullptr;
    }
    const std::vector<Run>& Runs() const { return runs_; }

private:
    std::vector<Run> runs_;
};

using Run = benchmark::BenchmarkReporter::Run;

double SecondsPerIteration(const Run& run) {
    return run.iterations > 0 ? run.real_accumulated_time / static_cast<double>(run.iterations) : 0;
}

double Counter(const Run& run, const char* name) {
    const auto it = run.counters.find(name);
    return it == run.counters.end() ? NAN : it->second.value;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

class Summary {
public:
    explicit Summary(const RecordingReporter& reporter) : reporter_(reporter) {}

    // A figure with a target: met is "yes" or "NO".
    void Row(const std::string& figure, const std::string& value, const std::string& target, bool met) {
        rows_.push_back({figure, value, target, met ? "yes" : "NO"});
    }
    // A figure without a target.
    void Info(const std::string& figure, const std::string& value) { rows_.push_back({figure, value, "-", "-"}); }
    // A figure that could not be measured: the run failed or is missing.
    const Run* Need(const std::string& name, const std::string& figure, int64_t threads = 1) {
        const Run* run = reporter_.Find(name, threads);
        if (run == nullptr || run->error_occurred) {
            rows_.push_back({figure, run == nullptr ? "not run" : "failed: " + run->error_message, "", "n/a"});
            complete_ = false;
            return nullptr;
        }
        return run;
    }
    void Note(const std::string& figure, const std::string& value) { rows_.push_back({figure, value, "", "n/a"}); }

    bool Complete() const { return complete_; }

    void Print() const {
        size_t widths[4] = {6, 5, 6, 4};
        for (const auto& row : rows_)
            for (int i = 0; i < 4; ++i) widths[i] = std::max(widths[i], Width(row[i]));
        const auto line = [&](const std::array<std::string, 4>& row) {
            std::string text;
            for (int i = 0; i < 4; ++i) {
                text += row[i];
                if (i < 3) text += std::string(widths[i] - Width(row[i]) + 2, ' ');
            }
            std::printf("%s\n", text.c_str());
        };
        std::printf("\n");
        line({"Figure", "Value", "Target", "Met"});
        std::string rule;
        for (int i = 0; i < 4; ++i) rule += std::string(widths[i], '-') + (i < 3 ? "  " : "");
        std::printf("%s\n", rule.c_str());
        for (const auto& row : rows_) line(row);
        std::fflush(stdout);
    }

private:
    // Display width: UTF-8 continuation bytes take no column.
    static size_t Width(const std::string& text) {
        size_t n = 0;
        for (unsigned char c : text)
            if ((c & 0xC0) != 0x80) ++n;
        return n;
    }
    const RecordingReporter& reporter_;
    std::vector<std::array<std::string, 4>> rows_;
    bool complete_ = true;
};

void Summarise(Summary& table) {
    // 1. Protection against memcpy of the protected size.
    const Run* copy = table.Need(kMemcpy, "memcpy of 12032 bytes");
    const double copyNs = copy ? SecondsPerIteration(*copy) * 1e9 : 0;
    if (copy) table.Info("memcpy of 12032 bytes", Format("%.0f ns", copyNs));
    const struct {
        const char* name;
        const char* figure;
    } protection[] = {{kEncryptNull, "EncryptRecord, encryption replaced by nothing"},
                      {kDecryptNull, "DecryptRecord, encryption replaced by nothing"}};
    for (const auto& p : protection) {
        const Run* run = table.Need(p.name, p.figure);
        if (run == nullptr || copy == nullptr) continue;
        const double ns = SecondsPerIteration(*run) * 1e9;
        const double ratio = ns / copyNs;
        table.Row(p.figure, Format("%.0f ns = %.2fx memcpy", ns, ratio), "<= 5x memcpy", ratio <= 5.0);
    }
    const struct {
        const char* name;
        const char* figure;
    } platform[] = {{kEncryptPlatform, "EncryptRecord with the platform's encryption"},
                    {kDecryptPlatform, "DecryptRecord with the platform's encryption"}};
    for (const auto& p : platform)
        if (const Run* run = table.Need(p.name, p.figure))
            table.Info(p.figure, Format("%.1f us", SecondsPerIteration(*run) * 1e6));

    // 2. One exchange, library against the bare client.
    if (const Run* run = table.Need(kExchangePaired, "Exchange: library / bare client")) {
        const double ratio = Counter(*run, "ratio");
        table.Row("Exchange: library / bare client (medians)", Format("%.3fx", ratio), "<= 1.10x", ratio <= 1.10);
        table.Info("Exchange round trip through the library", Format("%.1f us", Counter(*run, "library_us")));
        table.Info("Exchange round trip, bare client", Format("%.1f us", Counter(*run, "bare_us")));
    }

    // 3. Exchanges per second by host threads.
    double oneThread = NAN;
    for (int threads : kThreadCounts) {
        const std::string figure = Format("Exchanges per second, %d host thread%s", threads, threads == 1 ? "" : "s");
        const Run* run = table.Need(kThroughput, figure, threads);
        if (run == nullptr) continue;
        const double rate = Counter(*run, "items_per_second");
        if (threads == 1) {
            oneThread = rate;
            table.Info(figure, Format("%.0f/s", rate));
        } else if (threads == 2) {
            table.Row(figure, Format("%.0f/s = %.2fx 1 thread", rate, rate / oneThread), "> 1 thread",
                      rate > oneThread);
        } else {
            table.Info(figure, Format("%.0f/s = %.2fx 1 thread", rate, rate / oneThread));
        }
    }

    // 4. Notifications.
    if (const Run* run = table.Need(kNotifyLatency, "Notification latency, post to handler"))
        table.Info("Notification latency, post to handler (median)", Format("%.1f us", Counter(*run, "median_us")));
    if (const Run* run = table.Need(kNotifyBurst, "Burst of 10000 notifications of one code"))
        table.Info("Burst of 10000 notifications of one code",
                   Format("%.0f deliveries, last after %.1f ms (posting took %.1f ms)", Counter(*run, "delivered"),
                          Counter(*run, "last_delivery_ms"), Counter(*run, "post_ms")));

    // 5. Start and Stop.
    if (const Run* run = table.Need(kStartReady, "Start() to true, simulator ready")) {
        const double worst = Counter(*run, "max_ms");
        table.Row(Format("Start() to true, simulator ready (%lld starts)", static_cast<long long>(run->iterations)),
                  Format("median %.1f ms, max %.1f ms", Counter(*run, "median_ms"), worst), "<= 150 ms",
                  worst <= 150.0);
    }
    if (const Run* run = table.Need(kStopStart, "Stop(true) then Start()"))
        table.Info("Stop(true) then Start() to true",
                   Format("median %.1f ms, max %.1f ms", Counter(*run, "median_ms"), Counter(*run, "max_ms")));

    // 6. Allocations and memory.
    if (!benchalloc::Available()) {
        table.Note("Allocations per exchange", "not countable here (the library has its own heap functions)");
    } else if (const Run* run = table.Need(kAllocations, "Allocations per exchange")) {
        const double own = Counter(*run, "own");
        table.Row("Allocations per exchange, library's own request path", Format("%.2f", own),
                  "1 (the protected buffer)", std::fabs(own - 1.0) < 1e-9);
        table.Info("Allocations per exchange, inside the OS calls", Format("%.2f", Counter(*run, "platform")));
        table.Info("Allocations per exchange, all: library / bare client",
                   Format("%.2f / %.2f", Counter(*run, "library"), Counter(*run, "bare")));
    }
    if (const Run* run = table.Need(kSessionMemory, "Resident memory after a session")) {
        const double image = Counter(*run, "library_image_kib");
        table.Info("Library image resident after a session",
                   image > 0 ? Format("%.0f KiB", image) : std::string("unknown here"));
        table.Info("Process growth over one more session", Format("%+.0f KiB", Counter(*run, "growth_kib")));
        table.Info("Process resident after the session", Format("%.0f KiB", Counter(*run, "process_kib")));
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --short is ours; everything else goes to Google Benchmark.
    std::vector<char*> args;
    bool shortRun = false;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strcmp(argv[i], "--short") == 0) {
            shortRun = true;
            continue;
        }
        args.push_back(argv[i]);
    }
    static char shortTime[] = "--benchmark_min_time=0.01";
    if (shortRun) args.insert(args.begin() + 1, shortTime);
    benchenv::SetShortRun(shortRun);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

#if !defined(_WIN32)
    // A runtime folder of this run's own: its service socket and companion
    // marker are nobody else's.
    std::string runtime = (std::filesystem::temp_directory_path() / "lmvx-bench-XXXXXX").string();
    if (mkdtemp(runtime.data()) == nullptr) return 2;
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
#endif

    int status = 0;
    if (!benchenv::StartSimulator()) {
        std::fprintf(stderr, "bench: the simulator could not serve its pipe\n");
        status = 1;
    } else if (!BeginBenchmarkSession()) {
        std::fprintf(stderr, "bench: no session with the simulator\n");
        status = 1;
    } else {
        RegisterProtectionBenchmarks();
        RegisterLinkBenchmarks();
        RegisterSessionBenchmarks();
        RecordingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        EndBenchmarkSession();
        Summary table(reporter);
        Summarise(table);
        table.Print();
        if (!table.Complete()) status = 1;
    }
    benchenv::StopSimulator();
    benchmark::Shutdown();
#if !defined(_WIN32)
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
#endif
    return status;
}
