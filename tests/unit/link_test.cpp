// The record's protection and the exchange over the fake pipe, whose
// encryption is the identity: what crosses the pipe is the masked,
// checksummed record.
#include "link/exchange.h"
#include "link/protection.h"
#include "sim_fixture.h"

namespace {

using sim::Fault;

class Link : public SimulatedService {};

TEST_F(Link, AStatusRequestIsProtectedAsTheServiceExpects) {
    const lmvx::ProtectedBlock block = lmvx::EncryptRecord(ServiceRecord::Request(1));
    EXPECT_EQ(block.size, 12032u);
    // Size and command masked from 63 on; zeros become the mask itself, which
    // wraps at 255; the checksum 0x1F under the mask 0x6D; nothing after it.
    const std::pair<uint32_t, uint8_t> bytes[] = {{0, 0xCF},  {1, 0x6E},     {4, 0x42},     {8, 0x47},   {191, 254},
                                                  {192, 0},   {447, 0},      {12030, 108},  {12031, 0x72}, {12032, 0},
                                                  {12040, 0}, {12047, 0}};
    for (const auto& [at, value] : bytes) EXPECT_EQ(block.buffer[at], value) << at;
}

TEST_F(Link, AnExchangeTakesAVerifiedReplyTriesADamagedOneTwiceMoreAndKeepsItsPipe) {
    const Words words = {{12, 7}, {12012, 5}};
    const auto result = [&](uint32_t r) { return sim::Script{.setResult = true, .result = r, .words = words}; };
    const sim::Script bad{.fault = Fault::kBadChecksum}, cut{.fault = Fault::kShort, .faultLength = 16},
        over{.fault = Fault::kOversize, .faultLength = 12064};
    const struct {
        uint32_t size;
        std::vector<sim::Script> replies;
        bool ok, taken;  // taken: the record holds the last reply, whatever its result
        uint32_t attempts;
    } cases[] = {
        // Only the result's low 16 bits count; a reported failure is not retried.
        {12016, {result(1)}, true, true, 1},       {12016, {result(0)}, false, true, 1},
        {12016, {result(0x10001)}, true, true, 1}, {12016, {result(0x101)}, false, true, 1},
        {12016, {bad, cut, over}, false, false, 3}, {12016, {over, bad, result(1)}, true, true, 3},
        {12015, {}, false, false, 0},              {12017, {}, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        fake::Os().pipeCalls = 0;
        fake::Os().sleptMs = 0;
        Sim().ClearLog();
        for (const sim::Script& reply : c.replies) Sim().Once(36, reply);
        const ServiceRecord request = Request(36, {{0, c.size}});
        ServiceRecord record = request;
        EXPECT_EQ(lmvx::ExchangeRecord(&record), c.ok);
        EXPECT_TRUE(Same(record, c.taken ? Request(36, {{8, c.replies.back().result}, {12, 7}, {12012, 5}}) : request));
        EXPECT_EQ(fake::Os().pipeCalls, c.attempts);
        EXPECT_EQ(fake::Os().sleptMs, 100 * (c.attempts - c.taken));
        for (const ServiceRecord& sent : Sim().Requests()) EXPECT_TRUE(Same(sent, request));
    }
    // The simulator serves session 1's pipe, where the first exchange of this
    // process (in session 1, as every test here) fixed the name.
    fake::Os().sessionId = 8;
    ServiceRecord record = ServiceRecord::Request(36);
    EXPECT_TRUE(lmvx::ExchangeRecord(&record));
}

TEST(PipeName, IsTheSessionsAsASignedNumber) {
    const std::pair<uint32_t, std::u16string> names[] = {
        {0, u"0"}, {4294967295u, u"-1"}, {2147483648u, u"-2147483648"}, {2147483647u, u"2147483647"}};
    for (const auto& [session, suffix] : names) {
        char16_t name[lmvx::kPipeNameUnits];
        lmvx::FormatServicePipeName(session, name);
        EXPECT_EQ(std::u16string(name), u"\\\\.\\pipe\\LMVX_AS_Service_Pipe_" + suffix);
    }
}

}  // namespace
