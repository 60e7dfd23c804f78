// The benchmark names (the summary table looks its figures up by them) and
// the registration of each group, called by main in table order.
#pragma once

inline constexpr char kMemcpy[] = "protection/memcpy_12032";
inline constexpr char kEncryptNull[] = "protection/EncryptRecord_nullcrypt";
inline constexpr char kDecryptNull[] = "protection/DecryptRecord_nullcrypt";
inline constexpr char kEncryptPlatform[] = "protection/EncryptRecord_platform";
inline constexpr char kDecryptPlatform[] = "protection/DecryptRecord_platform";

inline constexpr char kExchangePaired[] = "exchange/library_vs_bare";
inline constexpr char kAllocations[] = "exchange/allocations";
inline constexpr char kThroughput[] = "exchange/throughput";  // + "/threads:N"

inline constexpr char kSessionMemory[] = "session/resident_memory";
inline constexpr char kStartReady[] = "session/start_ready";
inline constexpr char kStopStart[] = "session/stop_then_start";
inline constexpr char kNotifyLatency[] = "notify/latency";
inline constexpr char kNotifyBurst[] = "notify/burst_10000";

inline constexpr int kThreadCounts[] = {1, 2, 4, 8};

void RegisterProtectionBenchmarks();
void RegisterLinkBenchmarks();
void RegisterSessionBenchmarks();

// Starts the session every exchange benchmark runs in (true when an export
// answered through it), and ends it after the last benchmark.
bool BeginBenchmarkSession();
void EndBenchmarkSession();
