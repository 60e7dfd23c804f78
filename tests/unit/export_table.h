// The control and feature exports in one table: the request each sends,
// what it makes of the service's answer (lists clamped) and of a refusal,
// what it returns when the gate is closed, and the arguments that are never
// sent. The unit tests run it over the fake seam, the Windows tests over the
// real pipe to LMVX.dll. Include it once per program. The lists' bounds are the decoders' fuzz target's.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "lmvx.h"
#include "requests.h"
#include "simulator.h"

namespace export_table {

constexpr int64_t kNone = 0xFFFFFFFF;
constexpr std::optional<int64_t> kUngated;
// The longest names and path that fit their slots.
const std::u16string kName(99, u'n'), kPath(299, u'p'), kMode(99, u'm');
const std::u16string kLong(100, u'x'), kLongPath(300, u'x');  // no room left for their zero
// A string as the exports take it (wchar_t on Windows).
inline const LvxChar* Arg(const std::u16string& text) { return reinterpret_cast<const LvxChar*>(text.c_str()); }

// `record` with UTF-16 strings written at their offsets.
ServiceRecord Text(ServiceRecord record, std::vector<std::pair<uint32_t, std::u16string>> texts) {
    for (const auto& [offset, text] : texts) std::memcpy(record.Bytes() + offset, text.data(), 2 * text.size());
    return record;
}

struct Row {
    std::function<int64_t()> call;
    ServiceRecord request;              // what the service receives
    Words answer;                       // the words of the service's reply
    int64_t answered = 0;               // the result with that reply
    int64_t refused = 0;                // the result when the reply reports failure
    std::optional<int64_t> closed = 0;  // the result when not connected (nothing sent); kUngated: asks anyway
};

AutoColorTable table;
AutoColorModeList modes;
DPScreenList screens;
uint32_t values[4];
// Success in bit 32, the four times (9 when not stored) in the bytes below.
int64_t ScheduleTimes() {
    uint32_t t[4] = {9, 9, 9, 9};
    const bool ok = GetScheduleTime(&t[0], &t[1], &t[2], &t[3]);
    return int64_t{ok} << 32 | t[0] | t[1] << 8 | t[2] << 16 | t[3] << 24;
}

#define CALL(call) [] { return static_cast<int64_t>(call); }
#define DO(call) [] { return call, int64_t{0}; }
#define GET(get, code) {CALL(get()), Request(2, {{16, code}}), {{20, 70}}, 70, 0, kNone}
#define SET(set, code) {DO(set(60)), Request(3, {{16, code}, {20, 60}})}
#define SWITCH(enable, on, command) {DO(enable(on)), Request(command, {{12, on}})}
// A yes/no query: only a reply word of exactly 1 is yes.
#define STATE(read, command, word) {CALL(read()), Request(command), {{12, word}}, word == 1}
#define POLLING(category, command) \
    {DO(EnablePolling(category, 5000)), Request(command, {{12, 5000}}), {}, 0, 0, kUngated}
// A capability list (supported flag, count and a first value of 100), read as
// the count listed times 1000 plus the first value written (7: none).
#define NOTHING(call) {DO(call), Request(0)}
#define LIST(list, code, supported, count, answered)                                       \
    {CALL((values[0] = 7, list(values, 4) * 1000 + values[0])), Request(4, {{16, code}}), \
     {{20, supported}, {24, count}, {28, 100}}, answered, 7, 7}

// Where a kind of export repeats (the picture controls, the white points,
// the desktop partition switch), one row stands for it; the binding's tests
// carry every export over the real pipe.
const Row kRows[] = {
    GET(GetBrightness, 0x10), SET(SetContrast, 0x12), LIST(GetSupportedInputSources, 0x60, 1, 3, 3100),
    LIST(GetSupportedInputSources, 0x60, 1, 40, 26100), LIST(GetSupportedInputSources, 0x60, 0, 3, 3007),
    LIST(GetSupportedInputSources, 0x60, 2, 3, 3007), LIST(GetSupportedInputSources, 0x60, 1, 0x80000000, 7),
    SWITCH(EnableAutoColor, true, 10), SWITCH(EnableAutoColor, false, 10), STATE(IsAutoColorEnabled, 11, 1),
    STATE(IsAutoColorEnabled, 11, 2),
    {DO(AddAutoColorApp(Arg(kName), Arg(kPath))), Text(Request(12), {{16, kName}, {216, kPath}})},
    {DO(DeleteAutoColorApp(Arg(kName))), Text(Request(13), {{16, kName}})},
    {DO(SetAutoColorAppMode(Arg(kName), Arg(kMode))), Text(Request(14), {{16, kName}, {816, kMode}})},
    {CALL(GetAutoColorTable(&table)), Request(15), {{12, 31}}, 30},
    {CALL(GetAutoColorTable(&table)), Request(15), {{12, 0xFFFFFFFF}}, 0},
    {CALL((modes.count = 9, getSupportedAutoColorMode(&modes), modes.count)), Request(21), {{12, 21}}, 20, 0, 9},
    STATE(IsDesktopPartitionEnabled, 6, 1), {CALL(GetDPSupportedScreens(&screens)), Request(18), {{12, 9}}, 8},
    {DO(SetDesktopPartition(1, 3)), Request(8, {{12, 1}, {16, 3}})},
    {CALL(GetDesktopPartition(1)), Request(7, {{12, 1}}), {{16, 0x1234}}, 0x1234, kNone, kNone},
    {DO(LuanchDesktopPartitionCustomizer()), Request(9)},
    SWITCH(EnableSchedule, true, 22), SWITCH(EnableSchedule, false, 22), STATE(GetSchedule, 23, 1),
    {DO(SetScheduleTime(1, 2, 3, 4)), Request(25, {{12, 1}, {16, 2}, {20, 3}, {24, 4}})},
    {DO(SetShedulerMode(36)), Request(27, {{16, 0xFFFFFFFF}})},  // an identifier the mapping does not know
    {ScheduleTimes, Request(24), {{12, 6}, {16, 7}, {20, 8}, {24, 5}}, 0x105080706, 0x09090909, 0x09090909},
    SWITCH(SetPowerSavings, true, 30), SWITCH(SetPowerSavings, false, 30), STATE(GetPowerSavings, 30, 1),
    STATE(GetHDRStatus, 28, 1), {CALL(GetFeatures()), Request(29), {{12, 0xA5}}, 0xA5, 0, kUngated},
    // Ready from a readiness of 2 on.
    {CALL(CheckService()), Request(36), {{12, 2}}, 1, 0, kUngated}, {CALL(CheckService()), Request(36), {{12, 1}}, 0, 0, kUngated},
    {CALL(CheckService()), Request(36), {{12, 0x80000000}}, 1, 0, kUngated},
    {DO(UpdateData(16)), Request(34, {{16, 16}})}, {DO(UpdateData(-3)), Request(34, {{16, 0xFFFFFFFD}})},
    POLLING(1, 38), POLLING(2, 37), POLLING(3, 40), POLLING(4, 39), POLLING(5, 41),
    {DO(DisablePolling(4)), Request(39), {}, 0, 0, kUngated},
    // Arguments the service cannot take: nothing is sent (command 0).
    NOTHING(EnablePolling(0, 1000)), NOTHING(EnablePolling(6, 1000)), NOTHING(EnablePolling(-1, 1000)),
    NOTHING(AddAutoColorApp(Arg(kLong), Arg(kPath))), NOTHING(AddAutoColorApp(nullptr, Arg(kPath))),
    NOTHING(AddAutoColorApp(Arg(kName), Arg(kLongPath))), NOTHING(AddAutoColorApp(Arg(kName), nullptr)),
    NOTHING(DeleteAutoColorApp(Arg(kLong))), NOTHING(DeleteAutoColorApp(nullptr)),
    NOTHING(SetAutoColorAppMode(Arg(kLong), Arg(kMode))), NOTHING(SetAutoColorAppMode(nullptr, Arg(kMode))),
    NOTHING(SetAutoColorAppMode(Arg(kName), Arg(kLong))), NOTHING(SetAutoColorAppMode(Arg(kName), nullptr)),
    NOTHING(GetScheduleTime(nullptr, &values[1], &values[2], &values[3])),
    NOTHING(GetScheduleTime(&values[0], nullptr, &values[2], &values[3])),
    NOTHING(GetScheduleTime(&values[0], &values[1], nullptr, &values[3])),
    NOTHING(GetScheduleTime(&values[0], &values[1], &values[2], nullptr)), NOTHING(GetAutoColorTable(nullptr)),
    NOTHING(GetDPSupportedScreens(nullptr)), NOTHING(getSupportedAutoColorMode(nullptr)),
    NOTHING(GetSupportedWhitePoints(nullptr, 4)), NOTHING(GetSupportedInputSources(nullptr, 4)), NOTHING(UpdateData(256)),
};

// Every row against `sim`: with the gate opened by open(true), its request,
// answer and refusal; then, closed by open(false), what it returns and
// whether it still asks.
inline void RunTable(sim::Simulator& sim, const std::function<void(bool)>& open) {
    const auto sent = [&](uint32_t command) {
        std::vector<ServiceRecord> records;
        for (const ServiceRecord& record : sim.Requests())
            if (record.command == command) records.push_back(record);
        return records;
    };
    for (const bool gateOpen : {true, false}) {
        open(gateOpen);
        for (const Row& row : kRows) {
            SCOPED_TRACE(testing::Message() << (gateOpen ? "open, row " : "closed, row ") << &row - kRows);
            const uint32_t command = row.request.command;
            sim.ClearLog();
            sim.Once(command, {.words = row.answer});
            if (command == 0) {
                row.call();
                EXPECT_EQ(sim.RequestCount(), 0u);
            } else if (!gateOpen) {
                EXPECT_EQ(row.call(), row.closed.value_or(row.answered));
                EXPECT_EQ(sim.RequestCount(), row.closed ? 0u : 1u);
            } else {
                EXPECT_EQ(row.call(), row.answered);
                ASSERT_EQ(sent(command).size(), 1u);
                EXPECT_TRUE(Same(sent(command)[0], row.request));
                sim.Once(command, {.setResult = true, .result = 0, .words = row.answer});
                EXPECT_EQ(row.call(), row.refused);
            }
            sim.ClearScripts();
        }
    }
}

}  // namespace export_table
