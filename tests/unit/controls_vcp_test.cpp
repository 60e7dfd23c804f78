#include <cstring>

#include "controls/controls.h"
#include "controls_fixture.h"

namespace {

using lmvx::ServiceRecord;
using lmvx::ValueList;

class VcpAccess : public ConnectedService {};

std::vector<uint32_t> Sequence(uint32_t first, uint32_t count) {
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < count; ++i) values.push_back(first + i);
    return values;
}

TEST_F(VcpAccess, RequestsCarryOnlyTheirFields) {
    EXPECT_TRUE(lmvx::SetVcpValue(0x12, 50));
    lmvx::GetVcpValue(0x60);
    lmvx::GetVcpCapabilities(0x14, nullptr);
    const std::vector<ServiceRecord> sent = Sim().Requests();
    ASSERT_EQ(sent.size(), 3u);
    ServiceRecord expected = ServiceRecord::Request(3);
    expected.SetWord(16, 0x12);
    expected.SetWord(20, 50);
    EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0);
    expected = ServiceRecord::Request(2);
    expected.SetWord(16, 0x60);
    EXPECT_EQ(std::memcmp(&sent[1], &expected, sizeof expected), 0);
    expected = ServiceRecord::Request(4);
    expected.SetWord(16, 0x14);
    EXPECT_EQ(std::memcmp(&sent[2], &expected, sizeof expected), 0);
}

TEST_F(VcpAccess, AFailedReadGivesZeroWhateverTheReplyHolds) {
    Sim().Once(2, {.setResult = true, .result = 0, .words = {{20, 77}}});
    EXPECT_EQ(lmvx::GetVcpValue(0x12), 0u);
    Sim().Once(2, {.words = {{20, 77}}});
    EXPECT_EQ(lmvx::GetVcpValue(0x12), 77u);
    Sim().Once(3, {.setResult = true, .result = 0});
    EXPECT_FALSE(lmvx::SetVcpValue(0x12, 10));
}

TEST_F(VcpAccess, CapabilityValuesAreClampedToTheReplysValueField) {
    const std::vector<uint32_t> forty = Sequence(100, 40);
    struct Case {
        uint32_t supported;
        int32_t count;
        std::vector<uint32_t> replyValues;
        bool result;
        std::vector<uint32_t> appended;
    };
    const Case cases[] = {
        {1, 40, forty, true, Sequence(100, 26)},  // only offsets 28..131 are read
        {1, 0x7FFFFFFF, forty, true, Sequence(100, 26)},
        {1, 26, forty, true, Sequence(100, 26)},
        {1, 25, forty, true, Sequence(100, 25)},
        {0, 3, {7, 8, 9}, false, {7, 8, 9}},  // listed but not supported
        {2, 2, {7, 8}, false, {7, 8}},        // supported means exactly 1
        {1, -5, forty, true, {}},
        {1, static_cast<int32_t>(0x80000000u), forty, true, {}},
        {1, 0, {5}, true, {}},
    };
    for (const Case& c : cases) {
        Sim().Once(4, Capabilities(c.supported, c.count, c.replyValues));
        ValueList list;
        EXPECT_EQ(lmvx::GetVcpCapabilities(0xDC, &list), c.result) << c.count;
        EXPECT_EQ(std::vector<uint32_t>(list.begin(), list.end()), c.appended) << c.count;
    }
}

TEST_F(VcpAccess, CapabilitiesAppendWithoutTouchingWhatTheListHeld) {
    Sim().Once(4, Capabilities(1, 2, {30, 10}));
    ValueList list{99, 1};
    EXPECT_TRUE(lmvx::GetVcpCapabilities(0x14, &list));
    EXPECT_EQ(std::vector<uint32_t>(list.begin(), list.end()), (std::vector<uint32_t>{99, 1, 30, 10}));
}

TEST_F(VcpAccess, AFailedCapabilityRequestLeavesTheListAlone) {
    Sim().Once(4, {.setResult = true, .result = 0, .words = {{20, 1}, {24, 2}, {28, 5}, {32, 6}}});
    ValueList list{42};
    EXPECT_FALSE(lmvx::GetVcpCapabilities(0x14, &list));
    EXPECT_EQ(std::vector<uint32_t>(list.begin(), list.end()), std::vector<uint32_t>{42});
    Sim().Always(4, {.fault = sim::Fault::kBadChecksum});
    EXPECT_FALSE(lmvx::GetVcpCapabilities(0x14, &list));
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(VcpAccess, WithoutAListOnlyTheSupportedTestCounts) {
    Sim().Once(4, Capabilities(1, 3, {1, 2, 3}));
    EXPECT_TRUE(lmvx::GetVcpCapabilities(0x60, nullptr));
    Sim().Once(4, Capabilities(0, 3, {1, 2, 3}));
    EXPECT_FALSE(lmvx::GetVcpCapabilities(0x60, nullptr));
}

}  // namespace
