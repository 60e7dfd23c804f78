// The control and feature exports in one table: the request each sends,
// what it makes of the service's answer and of a refusal, and what it
// returns when the gate is closed.
#include <functional>
#include <optional>

#include "service_fixture.h"

namespace {

constexpr int64_t kNone = 0xFFFFFFFF;
constexpr std::optional<int64_t> kUngated;

// The longest names and path that fit their slots.
const std::u16string kName(99, u'n'), kPath(299, u'p'), kMode(99, u'm');

// `record` with UTF-16 strings written at their offsets.
ServiceRecord Text(ServiceRecord record, std::vector<std::pair<uint32_t, std::u16string>> texts) {
    for (const auto& [offset, text] : texts) std::memcpy(record.Bytes() + offset, text.data(), 2 * text.size());
    return record;
}

#define VALUE(call) [] { return static_cast<int64_t>(call); }
#define EFFECT(call) [] { call; return int64_t{0}; }

struct Row {
    const char* name;
    std::function<int64_t()> call;
    ServiceRecord request;  // what the service receives
    Words answer;           // the words of the service's reply
    int64_t answered;       // the result with that reply
    int64_t refused;        // the result when the reply reports failure
    std::optional<int64_t> closed;  // the result when not connected (nothing sent); kUngated: asks anyway
};

Row Getter(const char* name, uint32_t (*get)(), uint32_t code) {
    return {name, [get] { return int64_t{get()}; }, Request(2, {{16, code}}), {{20, 70}}, 70, 0, kNone};
}
Row Setter(const char* name, void (*set)(uint32_t), uint32_t code) {
    return {name, [set] { set(60); return int64_t{0}; }, Request(3, {{16, code}, {20, 60}}), {}, 0, 0, 0};
}
Row Switch(const char* name, void (*enable)(bool), bool on, uint32_t command) {
    return {name, [=] { enable(on); return int64_t{0}; }, Request(command, {{12, on}}), {}, 0, 0, 0};
}
// A yes/no query: only a reply word of exactly 1 is yes.
Row State(const char* name, bool (*read)(), uint32_t command, uint32_t word = 1) {
    return {name, [read] { return int64_t{read()}; }, Request(command), {{12, word}}, word == 1, 0, 0};
}
Row Polling(int32_t category, uint32_t command) {
    return {"EnablePolling", [=] { EnablePolling(category, 5000); return int64_t{0}; },
            Request(command, {{12, 5000}}), {}, 0, 0, kUngated};
}

const Row kRows[] = {
    Getter("GetBrightness", GetBrightness, 0x10), Getter("GetContrast", GetContrast, 0x12),
    Getter("GetWhitePoint", GetWhitePoint, 0x14), Getter("GetRedGain", GetRedGain, 0x16),
    Getter("GetGreenGain", GetGreenGain, 0x18), Getter("GetBlueGain", GetBlueGain, 0x1A),
    Getter("GetInputSource", GetInputSource, 0x60), Setter("SetContrast", SetContrast, 0x12),
    Setter("SetWhitePoint", SetWhitePoint, 0x14), Setter("SetRedGain", SetRedGain, 0x16),
    Setter("SetGreenGain", SetGreenGain, 0x18), Setter("SetBlueGain", SetBlueGain, 0x1A),
    Setter("SetInputSource", SetInputSource, 0x60),
    {"GetSupportedWhitePoints", [] { uint32_t b[4]; return static_cast<int64_t>(GetSupportedWhitePoints(b, 4)); },
     Request(4, {{16, 0x14}}), {{20, 1}, {24, 3}}, 3, 0, 0},
    {"GetSupportedInputSources", [] { uint32_t b[4]; return static_cast<int64_t>(GetSupportedInputSources(b, 4)); },
     Request(4, {{16, 0x60}}), {{20, 1}, {24, 3}}, 3, 0, 0},
    Switch("EnableAutoColor", EnableAutoColor, true, 10), Switch("EnableAutoColor", EnableAutoColor, false, 10),
    State("IsAutoColorEnabled", IsAutoColorEnabled, 11), State("IsAutoColorEnabled", IsAutoColorEnabled, 11, 2),
    {"AddAutoColorApp", EFFECT(AddAutoColorApp(kName.c_str(), kPath.c_str())),
     Text(Request(12), {{16, kName}, {216, kPath}}), {}, 0, 0, 0},
    {"DeleteAutoColorApp", EFFECT(DeleteAutoColorApp(kName.c_str())), Text(Request(13), {{16, kName}}), {}, 0, 0, 0},
    {"SetAutoColorAppMode", EFFECT(SetAutoColorAppMode(kName.c_str(), kMode.c_str())),
     Text(Request(14), {{16, kName}, {816, kMode}}), {}, 0, 0, 0},
    {"GetAutoColorTable", [] { AutoColorTable t; return static_cast<int64_t>(GetAutoColorTable(&t)); }, Request(15),
     {{12, 2}}, 2, 0, 0},
    {"getSupportedAutoColorMode", [] { AutoColorModeList l{}; getSupportedAutoColorMode(&l); return int64_t{l.count}; },
     Request(21), {{12, 2}}, 2, 0, 0},
    Switch("EnableDesktopPartition", EnableDesktopPartition, true, 5),
    Switch("EnableDesktopPartition", EnableDesktopPartition, false, 5),
    State("IsDesktopPartitionEnabled", IsDesktopPartitionEnabled, 6),
    {"GetDPSupportedScreens", [] { DPScreenList l; return static_cast<int64_t>(GetDPSupportedScreens(&l)); },
     Request(18), {{12, 2}}, 2, 0, 0},
    {"SetDesktopPartition", EFFECT(SetDesktopPartition(1, 3)), Request(8, {{12, 1}, {16, 3}}), {}, 0, 0, 0},
    {"GetDesktopPartition", VALUE(GetDesktopPartition(1)), Request(7, {{12, 1}}), {{16, 0x1234}}, 0x1234, kNone, kNone},
    {"LuanchDesktopPartitionCustomizer", EFFECT(LuanchDesktopPartitionCustomizer()), Request(9), {}, 0, 0, 0},
    Switch("EnableSchedule", EnableSchedule, true, 22), Switch("EnableSchedule", EnableSchedule, false, 22),
    State("GetSchedule", GetSchedule, 23),
    {"SetScheduleTime", EFFECT(SetScheduleTime(1, 2, 3, 4)), Request(25, {{12, 1}, {16, 2}, {20, 3}, {24, 4}}), {}, 0,
     0, 0},
    // Success in bit 32, the four times (9 when not stored) in the bytes below.
    {"GetScheduleTime",
     [] {
         uint32_t t[4] = {9, 9, 9, 9};
         const bool ok = GetScheduleTime(&t[0], &t[1], &t[2], &t[3]);
         return int64_t{ok} << 32 | t[0] | t[1] << 8 | t[2] << 16 | t[3] << 24;
     },
     Request(24), {{12, 6}, {16, 7}, {20, 8}, {24, 5}}, 0x105080706, 0x09090909, 0x09090909},
    Switch("SetPowerSavings", SetPowerSavings, true, 30), Switch("SetPowerSavings", SetPowerSavings, false, 30),
    State("GetPowerSavings", GetPowerSavings, 30), State("GetHDRStatus", GetHDRStatus, 28),
    {"GetFeatures", VALUE(GetFeatures()), Request(29), {{12, 0xA5}}, 0xA5, 0, kUngated},
    Polling(1, 38), Polling(2, 37), Polling(3, 40), Polling(4, 39), Polling(5, 41),
    {"DisablePolling", EFFECT(DisablePolling(4)), Request(39), {}, 0, 0, kUngated},
};

class Exports : public ConnectedService {};

TEST_F(Exports, EachSendsItsRequestAndReadsItsReply) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        const uint32_t command = row.request.command;
        Sim().ClearLog();
        Sim().Once(command, {.words = row.answer});
        EXPECT_EQ(row.call(), row.answered);
        ASSERT_EQ(Sent(command).size(), 1u);
        EXPECT_TRUE(Same(Sent(command)[0], row.request));
        Sim().Once(command, {.setResult = true, .result = 0, .words = row.answer});
        EXPECT_EQ(row.call(), row.refused);
        for (const auto state : kNotConnected) {
            lmvx::ConnectionState = state;
            Sim().ClearLog();
            Sim().Once(command, {.words = row.answer});
            EXPECT_EQ(row.call(), row.closed.value_or(row.answered)) << state;
            EXPECT_EQ(Sim().RequestCount(), row.closed ? 0u : 1u) << state;
            Sim().ClearScripts();
        }
        lmvx::ConnectionState = lmvx::kConnected;
    }
}

TEST_F(Exports, ArgumentsTheServiceCannotTakeSendNothing) {
    for (const int32_t category : {0, 6, -1}) EnablePolling(category, 1000);
    uint32_t t[4] = {};
    EXPECT_FALSE(GetScheduleTime(nullptr, &t[1], &t[2], &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], nullptr, &t[2], &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], nullptr, &t[3]));
    EXPECT_FALSE(GetScheduleTime(&t[0], &t[1], &t[2], nullptr));
    EXPECT_EQ(GetAutoColorTable(nullptr), 0u);
    EXPECT_EQ(GetDPSupportedScreens(nullptr), 0u);
    getSupportedAutoColorMode(nullptr);
    EXPECT_EQ(GetSupportedWhitePoints(nullptr, 4), 0u);
    EXPECT_EQ(GetSupportedInputSources(nullptr, 4), 0u);
    EXPECT_EQ(Sim().RequestCount(), 0u);
}

}  // namespace
