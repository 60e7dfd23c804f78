// The exchange with the real protection on the real pipe: a reply shorter
// than a protected block is refused even when it verifies (its checksum
// balances under the real encryption), and only a whole block is taken.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <filesystem>

#include "link/exchange.h"
#include "link/protection.h"
#include "pipe_server.h"
#include "simulator.h"

TEST(RealBackend, OnlyAWholeProtectedReplyIsTakenForARecord) {
    std::string dir = (std::filesystem::temp_directory_path() / "lmvx-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);  // a pipe of this test's own
    // A successful reply to the service check, as its first n bytes with the
    // checksum in the last one, protected.
    std::atomic<uint32_t> n{0};
    const auto reply = [&n] {
        lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(36);
        record.result = 1;
        record.SetWord(12, 7);
        std::vector<uint8_t> block(n, 0);
        std::memcpy(block.data(), &record, std::min<size_t>(n - 1, sizeof record));
        EXPECT_TRUE(lmvx::ProtectBlock(block.data(), n));
        return block;
    };
    const auto server = sim::CreatePipeServer();
    ASSERT_TRUE(server->Start(
        sim::SessionPipeName(), [&](const uint8_t*, size_t) { return sim::Response{.bytes = reply()}; }, 2));
    for (const uint32_t length : {16u, 12016u, 12032u}) {
        n = length;
        ASSERT_TRUE(lmvx::DecryptRecord(reply().data(), length)) << length;  // it verifies
        lmvx::ServiceRecord record = lmvx::ServiceRecord::Request(36);
        EXPECT_EQ(lmvx::ExchangeRecord(&record), length == 12032) << length;
        EXPECT_EQ(record.Word(12), length == 12032 ? 7u : 0u) << length;
    }
    server->Stop();
    std::filesystem::remove_all(dir);
}
