// The record, its protection and the exchange over the fake pipe, whose
// encryption is the identity: what crosses the pipe is the masked,
// checksummed record.
#include <vector>

#include "link/exchange.h"
#include "link/protection.h"
#include "service_fixture.h"

namespace {

using lmvx::DecryptRecord;
using lmvx::EncryptRecord;
using sim::Fault;

class Link : public SimulatedService {};

TEST_F(Link, AStatusRequestIsProtectedAsTheServiceExpects) {
    const lmvx::ProtectedBlock block = EncryptRecord(ServiceRecord::Request(1));
    ASSERT_NE(block.buffer, nullptr);
    EXPECT_EQ(block.size, 12032u);
    EXPECT_TRUE(block.encrypted);
    // Size and command masked from 63 on; zeros become the mask itself, which
    // wraps at 255; the checksum 0x1F under the mask 0x6D.
    const std::pair<uint32_t, uint8_t> bytes[] = {{0, 0xCF},   {1, 0x6E},   {4, 0x42},  {8, 0x47},   {191, 254},
                                                  {192, 0},    {447, 0},    {12030, 108}, {12031, 0x72}};
    for (const auto& [at, value] : bytes) EXPECT_EQ(block.buffer[at], value) << at;
    for (uint32_t i = 12032; i < 12048; ++i) EXPECT_EQ(block.buffer[i], 0) << i;  // no other memory
}

TEST_F(Link, UnprotectingRestoresEveryByteAndFindsAnyChange) {
    ServiceRecord record = ServiceRecord::Request(36);
    for (uint32_t i = 12; i < lmvx::kRecordSize; ++i) record.Bytes()[i] = static_cast<uint8_t>(i * 7 + i / 251);
    lmvx::ProtectedBlock block = EncryptRecord(record);
    std::vector<uint8_t> block12048(block.buffer.get(), block.buffer.get() + 12048);
    std::vector<uint8_t> flipped(block12048);
    ASSERT_TRUE(DecryptRecord(block.buffer.get(), 12032));
    EXPECT_TRUE(Same(*reinterpret_cast<const ServiceRecord*>(block.buffer.get()), record));
    for (const uint32_t at : {0u, 100u, 6000u, 12015u, 12031u}) {
        flipped[at] ^= 0x01;
        EXPECT_FALSE(DecryptRecord(flipped.data(), 12032)) << at;
        flipped[at] ^= 0x01;
    }
    // A reply as long as the whole buffer carries its checksum in its own last byte.
    std::fill(block12048.begin() + 12032, block12048.end(), 0);
    std::memcpy(block12048.data(), &record, sizeof record);
    ASSERT_TRUE(lmvx::ProtectBlock(block12048.data(), 12048));
    EXPECT_TRUE(DecryptRecord(block12048.data(), 12048));
    EXPECT_TRUE(Same(*reinterpret_cast<const ServiceRecord*>(block12048.data()), record));
    // Lengths that cannot be a reply are refused without touching the bytes.
    uint8_t two[2] = {1, 2};
    EXPECT_FALSE(DecryptRecord(two, 1));
    EXPECT_EQ(two[0], 1);
    std::vector<uint8_t> longer(12064, 0);
    EXPECT_FALSE(DecryptRecord(longer.data(), 12064));
    EXPECT_FALSE(DecryptRecord(nullptr, 12032));
}

TEST_F(Link, WithoutEncryptionTheBlockIsBuiltButNothingIsExchanged) {
    fake::Os().cryptoAvailable = false;
    const lmvx::ProtectedBlock block = EncryptRecord(ServiceRecord::Request(1));
    EXPECT_FALSE(block.encrypted);
    EXPECT_EQ(block.buffer[12031], 0x72);  // checksummed and masked all the same
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_FALSE(lmvx::ExchangeRecord(&record));
    EXPECT_EQ(fake::Os().pipeCalls, 3u);
}

TEST_F(Link, StringSlotsKeepTheirBounds) {
    ServiceRecord record = ServiceRecord::Request(12);
    record.SetWord(216, 0xFFFFFFFF);
    record.SetString(16, 100, std::u16string(150, u'x').c_str());
    EXPECT_EQ(record.Word(216), 0xFFFFFFFFu);  // the next slot is untouched
    char16_t out[120];
    EXPECT_EQ(record.ReadString(16, 100, out, 120), 99u);
    EXPECT_EQ(out[99], 0);
    EXPECT_EQ(record.ReadString(16, 100, out, 10), 9u);
    EXPECT_EQ(out[9], 0);
    std::memset(record.Bytes() + 16, 0x41, 200);  // no zero in the slot
    EXPECT_EQ(record.ReadString(16, 100, out, 120), 99u);
}

TEST_F(Link, AVerifiedReplyEndsTheExchange) {
    Sim().SetReadiness(3);
    ServiceRecord record = ServiceRecord::Request(36);
    ASSERT_TRUE(lmvx::ExchangeRecord(&record));
    EXPECT_EQ(record.Word(12), 3u);
    EXPECT_EQ(fake::Os().pipeCalls, 1u);
    EXPECT_EQ(fake::Os().sleptMs, 0u);
    ASSERT_EQ(Sim().RequestCount(), 1u);
    EXPECT_TRUE(Same(Sim().Requests()[0], ServiceRecord::Request(36)));
    // A reported failure is not retried, and the record holds the reply. Only
    // the result's low 16 bits count.
    const struct {
        uint32_t result;
        bool success;
    } results[] = {{0, false}, {0x10001, true}, {0x101, false}, {2, false}};
    for (const auto& r : results) {
        fake::Os().pipeCalls = 0;
        Sim().Once(36, {.setResult = true, .result = r.result, .words = {{12, 77}}});
        record = ServiceRecord::Request(36);
        EXPECT_EQ(lmvx::ExchangeRecord(&record), r.success) << r.result;
        EXPECT_EQ(record.result, r.result);
        EXPECT_EQ(record.Word(12), 77u);
        EXPECT_EQ(fake::Os().pipeCalls, 1u);
    }
}

TEST_F(Link, RecordsOfAnotherSizeAreRefusedWithoutTraffic) {
    for (const uint32_t size : {12015u, 12017u, 0u}) {
        ServiceRecord record = ServiceRecord::Request(1);
        record.size = size;
        const ServiceRecord before = record;
        EXPECT_FALSE(lmvx::ExchangeRecord(&record)) << size;
        EXPECT_TRUE(Same(record, before));
    }
    EXPECT_FALSE(lmvx::ExchangeRecord(nullptr));
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
}

TEST_F(Link, DamagedRepliesAreRetriedTwiceAfterAPause) {
    const sim::Script damaged[] = {
        {.fault = Fault::kBadChecksum},
        {.fault = Fault::kShort, .faultLength = 16},
        {.fault = Fault::kEmpty},
        {.fault = Fault::kSilent},
        {.fault = Fault::kGarbage, .faultLength = 12032},
        {.fault = Fault::kOversize, .faultLength = 12064},
    };
    for (const sim::Script& fault : damaged) {
        fake::Os().pipeCalls = 0;
        fake::Os().sleptMs = 0;
        Sim().Always(36, fault);
        ServiceRecord record = ServiceRecord::Request(36);
        const ServiceRecord before = record;
        EXPECT_FALSE(lmvx::ExchangeRecord(&record));
        EXPECT_TRUE(Same(record, before));
        EXPECT_EQ(fake::Os().pipeCalls, 3u);
        EXPECT_EQ(fake::Os().sleptMs, 300u);
        // A good reply on the third attempt is taken.
        Sim().ClearScripts();
        Sim().Once(36, fault);
        Sim().Once(36, fault);
        EXPECT_TRUE(lmvx::ExchangeRecord(&record));
        EXPECT_EQ(record.Word(12), 2u);
        Sim().ClearScripts();
    }
}

TEST_F(Link, ThePipeNameIsTheSessionsAndFixedAtFirstUse) {
    const std::pair<uint32_t, std::u16string> names[] = {
        {1, u"1"}, {0, u"0"}, {4294967295u, u"-1"}, {2147483648u, u"-2147483648"}, {2147483647u, u"2147483647"}};
    for (const auto& [session, suffix] : names) {
        char16_t name[lmvx::kPipeNameUnits];
        lmvx::FormatServicePipeName(session, name);
        EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_" + suffix);
    }
    // The simulator serves session 1's pipe, where this process's first use
    // fixed the name (every test here runs in session 1).
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_TRUE(lmvx::ExchangeRecord(&record));
    fake::Os().sessionId = 8;
    record = ServiceRecord::Request(36);
    EXPECT_TRUE(lmvx::ExchangeRecord(&record));
}

}  // namespace
