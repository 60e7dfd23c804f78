// The protection of one record against copying the same bytes: EncryptRecord
// and DecryptRecord over a seam whose encryption does nothing, memcpy of the
// protected size, and, for scale, both operations with the platform's real
// encryption.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "benchmarks.h"
#include "link/protection.h"
#include "null_crypt.h"

namespace {

using lmvx::kBufferSize;
using lmvx::kProtectedSize;
using lmvx::kRecordSize;

// A record with every byte in use, so no pass can skip zeros.
lmvx::ServiceRecord FilledRecord() {
    lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(2);
    for (uint32_t i = 12; i < kRecordSize; ++i) record.Bytes()[i] = static_cast<uint8_t>(i * 7 + 3);
    return record;
}

void Memcpy(benchmark::State& state) {
    auto source = std::make_unique<uint8_t[]>(kBufferSize);
    auto target = std::make_unique<uint8_t[]>(kBufferSize);
    std::memset(source.get(), 0x5A, kBufferSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(source.get());
        std::memcpy(target.get(), source.get(), kProtectedSize);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProtectedSize);
}

void EncryptNull(benchmark::State& state) {
    const lmvx::ServiceRecord record = FilledRecord();
    for (auto _ : state) {
        uint32_t size = 0;
        std::unique_ptr<uint8_t[]> block = nullcrypt::EncryptRecord(&record, &size);
        benchmark::DoNotOptimize(block.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProtectedSize);
}

// Decrypting in place undoes the mask, so the loop alternates between the
// block and its unmasked form: every pass does the same work, and the
// checksum holds on every other pass. One verified pass comes first.
template <typename Encrypt, typename Decrypt>
void DecryptLoop(benchmark::State& state, Encrypt encrypt, Decrypt decrypt) {
    const lmvx::ServiceRecord record = FilledRecord();
    auto block = std::make_unique<uint8_t[]>(kBufferSize);
    auto check = std::make_unique<uint8_t[]>(kBufferSize);
    if (!encrypt(record, block.get())) {
        state.SkipWithError("the record could not be protected");
        return;
    }
    std::memcpy(check.get(), block.get(), kBufferSize);
    if (!decrypt(check.get())) {
        state.SkipWithError("a block of this process did not verify");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(decrypt(block.get()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProtectedSize);
}

void DecryptNull(benchmark::State& state) {
    DecryptLoop(
        state,
        [](const lmvx::ServiceRecord& record, uint8_t* out) {
            uint32_t size = 0;
            std::unique_ptr<uint8_t[]> block = nullcrypt::EncryptRecord(&record, &size);
            std::memcpy(out, block.get(), kBufferSize);
            return size == kProtectedSize;
        },
        [](uint8_t* block) { return nullcrypt::DecryptRecord(block, kProtectedSize); });
}

void EncryptPlatform(benchmark::State& state) {
    const lmvx::ServiceRecord record = FilledRecord();
    for (auto _ : state) {
        lmvx::ProtectedBlock block = lmvx::EncryptRecord(record);
        if (!block.encrypted) {
            state.SkipWithError("the platform's encryption failed");
            break;
        }
        benchmark::DoNotOptimize(block.buffer.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kProtectedSize);
}

void DecryptPlatform(benchmark::State& state) {
    DecryptLoop(
        state,
        [](const lmvx::ServiceRecord& record, uint8_t* out) {
            lmvx::ProtectedBlock block = lmvx::EncryptRecord(record);
            if (!block.encrypted) return false;
            std::memcpy(out, block.buffer.get(), kBufferSize);
            return true;
        },
        [](uint8_t* block) { return lmvx::DecryptRecord(block, kProtectedSize); });
}

}  // namespace

void RegisterProtectionBenchmarks() {
    benchmark::RegisterBenchmark(kMemcpy, Memcpy);
    benchmark::RegisterBenchmark(kEncryptNull, EncryptNull);
    benchmark::RegisterBenchmark(kDecryptNull, DecryptNull);
    benchmark::RegisterBenchmark(kEncryptPlatform, EncryptPlatform);
    benchmark::RegisterBenchmark(kDecryptPlatform, DecryptPlatform);
}
