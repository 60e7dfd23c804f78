// Display modes. The mode caches and the display-mode table live for the
// whole process, and each test runs in a process of its own, so every test
// starts with both caches unset and the table not yet built.
#include <array>
#include <chrono>
#include <latch>
#include <map>
#include <thread>

#include "controls/controls.h"
#include "controls_fixture.h"
#include "exports/api.h"

namespace {

using lmvx::ServiceRecord;

constexpr int32_t kGuard = 0x5A5A5A5A;
const std::u16string kAdapterA = u"PCI\\VEN_8086&DEV_46A6&SUBSYS_3BAA1025&REV_0C";
const std::u16string kAdapterB = u"PCI\\VEN_10DE&DEV_25A2&SUBSYS_8C7517AA&REV_A1";
const std::u16string kOtherAdapter = u"PCI\\VEN_1002&DEV_1638&SUBSYS_12341043&REV_C5";

class DisplayModes : public ConnectedService {
protected:
    // GetCurrentDisplayMode with the monitor at `serviceValue`.
    int32_t CurrentModeAt(uint32_t serviceValue) {
        Sim().Once(2, {.words = {{20, serviceValue}}});
        return GetCurrentDisplayMode();
    }
    // The value that SetDisplayMode(mode) sends for VCP 0xDC.
    uint32_t SentFor(int32_t mode) {
        const size_t before = Sim().RequestCount();
        SetDisplayMode(mode);
        const std::vector<ServiceRecord> sent = Sim().Requests();
        EXPECT_GT(sent.size(), before);
        if (sent.size() <= before) return 0xBAD;
        const ServiceRecord& set = sent.back();
        EXPECT_EQ(set.command, 3u);
        EXPECT_EQ(set.Word(16), 0xDCu);
        return set.Word(20);
    }
};

// Scheme 2: identifier and service value, 24 and 26 both for 12.
const std::pair<int32_t, uint32_t> kFixedScheme[] = {
    {20, 13},  {21, 0},   {22, 77},  {23, 10},  {24, 12},  {25, 11}, {26, 12}, {27, 256},
    {28, 257}, {29, 258}, {30, 259}, {31, 260}, {32, 78},  {33, 79}, {34, 80}, {35, 81},
};

TEST_F(DisplayModes, FixedSchemeWithVariantZero) {
    AnswerScheme(2);
    AnswerVariant(0);
    for (const auto& [mode, value] : kFixedScheme) {
        EXPECT_EQ(SentFor(mode), value) << mode;
        EXPECT_EQ(CurrentModeAt(value), value == 12 ? 26 : mode) << value;
    }
    for (const int32_t outside : {19, 36, 0, 3, 15, -1})
        EXPECT_EQ(SentFor(outside), 0xFFFFFFFFu) << outside;  // still sent
    for (const uint32_t outside : {300u, 1u, 51u, 0xFFFFFFFFu}) EXPECT_EQ(CurrentModeAt(outside), -1) << outside;
    // A failed read of 0xDC is the value 0.
    Sim().Once(2, {.setResult = true, .result = 0, .words = {{20, 77}}});
    EXPECT_EQ(GetCurrentDisplayMode(), 21);
    EXPECT_EQ(CountOf(31), 1u);
    EXPECT_EQ(CountOf(35), 1u);
    EXPECT_EQ(fake::Platform().enumerations, 0u);  // the table is never built under scheme 2
}

TEST_F(DisplayModes, FixedSchemeWithNonZeroVariant) {
    AnswerScheme(2);
    AnswerVariant(5);
    EXPECT_EQ(CurrentModeAt(12), 24);
    EXPECT_EQ(CurrentModeAt(12), 24);
    EXPECT_EQ(SentFor(24), 12u);
    EXPECT_EQ(SentFor(26), 12u);
    EXPECT_EQ(CountOf(35), 1u);
}

TEST_F(DisplayModes, AFailedVariantQueryCountsAsOneForGood) {
    AnswerScheme(2);
    Sim().Once(35, {.setResult = true, .result = 0, .words = {{12, 0}}});
    AnswerVariant(0);
    EXPECT_EQ(CurrentModeAt(12), 24);
    EXPECT_EQ(CurrentModeAt(12), 24);
    EXPECT_EQ(CountOf(35), 1u);
}

TEST_F(DisplayModes, AFailedSchemeQueryIsAskedAgain) {
    Sim().Once(31, {.setResult = true, .result = 0, .words = {{12, 2}}});
    Sim().Once(31, {.words = {{12, 0xFFFFFFFF}}});  // negative: no answer either
    AnswerScheme(2);
    EXPECT_EQ(CurrentModeAt(13), 0);  // the table (no adapter B)
    EXPECT_EQ(fake::Platform().enumerations, 2u);
    EXPECT_EQ(CurrentModeAt(13), 0);
    EXPECT_EQ(CurrentModeAt(13), 20);  // the fixed scheme from now on
    EXPECT_EQ(CurrentModeAt(13), 20);
    EXPECT_EQ(CountOf(31), 3u);
    EXPECT_EQ(fake::Platform().enumerations, 2u);  // the table was built once
}

TEST_F(DisplayModes, TheFirstDefiniteSchemeStays) {
    AnswerScheme(1);
    EXPECT_EQ(CurrentModeAt(13), 0);
    AnswerScheme(2);
    EXPECT_EQ(CurrentModeAt(13), 0);
    EXPECT_EQ(SentFor(20), 0xFFFFFFFFu);
    EXPECT_EQ(CountOf(31), 1u);
}

// A lookup that started first but answers last must not replace the answer
// another thread stored meanwhile.
TEST_F(DisplayModes, ALateSchemeAnswerDoesNotReplaceAStoredOne) {
    Sim().Once(31, {.words = {{12, 1}}, .delayMs = 400});
    AnswerScheme(2);
    int32_t late = 0;
    std::thread first([&] { late = lmvx::ServiceValueToDisplayMode(13); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(13), 20);
    first.join();
    EXPECT_EQ(late, 20);  // it took the stored scheme, not its own late answer
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(13), 20);
    EXPECT_EQ(CountOf(31), 2u);
}

TEST_F(DisplayModes, ALateFailingSchemeLookupLeavesTheStoredOne) {
    Sim().Once(31, {.setResult = true, .result = 0, .delayMs = 400});
    AnswerScheme(2);
    std::thread first([] { lmvx::ServiceValueToDisplayMode(13); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(13), 20);
    first.join();
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(13), 20);
    EXPECT_EQ(CountOf(31), 2u);  // still cached: not asked a third time
}

TEST_F(DisplayModes, ALateFailingVariantLookupLeavesTheStoredOne) {
    AnswerScheme(2);
    ASSERT_EQ(lmvx::DisplayModeToServiceValue(20), 13);  // the scheme is cached now
    Sim().Once(35, {.setResult = true, .result = 0, .delayMs = 400});
    AnswerVariant(0);
    int32_t late = 0;
    std::thread first([&] { late = lmvx::ServiceValueToDisplayMode(12); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(12), 26);
    first.join();
    EXPECT_EQ(late, 26);
    EXPECT_EQ(lmvx::ServiceValueToDisplayMode(12), 26);  // not the failure's 1
    EXPECT_EQ(CountOf(35), 2u);
}

// The display-mode table under the adapters of each case.
struct TableCase {
    const char* name;
    std::vector<std::u16string> adapters;
    bool a;
    bool b;
};

void PrintTo(const TableCase& c, std::ostream* out) { *out << c.name; }

class DisplayModeTable : public DisplayModes, public ::testing::WithParamInterface<TableCase> {};

TEST_P(DisplayModeTable, TranslatesBothWays) {
    const TableCase& c = GetParam();
    fake::Platform().SetAdapters(c.adapters);
    AnswerScheme(0);
    std::map<int32_t, int32_t> modeOfValue = {{5, 1},  {4, 2},  {7, 4},   {8, 5},  {9, 6},  {3, 7},
                                              {12, 8}, {14, 9}, {6, 10},  {15, 12}, {1, 13}, {51, 14}};
    modeOfValue[c.b ? 0 : 13] = 0;
    modeOfValue[c.b ? 13 : 0] = 11;
    modeOfValue[2] = c.a ? 15 : 3;
    ASSERT_EQ(modeOfValue.size(), 15u);
    for (const auto& [value, mode] : modeOfValue) {
        EXPECT_EQ(CurrentModeAt(static_cast<uint32_t>(value)), mode) << "value " << value;
        EXPECT_EQ(SentFor(mode), static_cast<uint32_t>(value)) << "mode " << mode;
    }
    EXPECT_EQ(SentFor(c.a ? 3 : 15), 0xFFFFFFFFu);  // the identifier without a value
    for (const int32_t outside : {16, 20, 26, -1}) EXPECT_EQ(SentFor(outside), 0xFFFFFFFFu) << outside;
    // A value the table lacks reads as itself.
    for (const uint32_t outside : {10u, 11u, 300u}) EXPECT_EQ(CurrentModeAt(outside), static_cast<int32_t>(outside));
    // A failed read is the value 0.
    Sim().Once(2, {.setResult = true, .result = 0});
    EXPECT_EQ(GetCurrentDisplayMode(), c.b ? 0 : 11);
    // The adapters are looked at once, when the table is built.
    EXPECT_EQ(fake::Platform().enumerations, 2u);
    fake::Platform().SetAdapters({});
    EXPECT_EQ(CurrentModeAt(2), c.a ? 15 : 3);
    EXPECT_EQ(fake::Platform().enumerations, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Adapters, DisplayModeTable,
    ::testing::Values(TableCase{"None", {}, false, false}, TableCase{"Other", {kOtherAdapter}, false, false},
                      TableCase{"A", {kAdapterA}, true, false},
                      TableCase{"BOnASecondDevice", {kOtherAdapter, kAdapterB}, false, true},
                      TableCase{"AAndB", {kAdapterB, kAdapterA}, true, true}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return info.param.name; });

TEST_F(DisplayModes, ConcurrentFirstTranslationsSeeOneWholeTable) {
    fake::Platform().SetAdapters({kAdapterA, kAdapterB});
    AnswerScheme(1);
    const std::pair<int32_t, int32_t> expected[] = {{0, 0},  {5, 1},  {4, 2},   {7, 4},  {8, 5},
                                                    {9, 6},  {3, 7},  {12, 8},  {14, 9}, {6, 10},
                                                    {13, 11}, {15, 12}, {1, 13}, {51, 14}, {2, 15}};
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::array<int, kThreads> wrong{};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            // Each thread starts at another entry, so the first lookups differ.
            for (size_t i = 0; i < std::size(expected); ++i) {
                const auto& [value, mode] = expected[(i + static_cast<size_t>(t) * 2) % std::size(expected)];
                if (lmvx::ServiceValueToDisplayMode(value) != mode) ++wrong[t];
                if (lmvx::DisplayModeToServiceValue(mode) != value) ++wrong[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_EQ(fake::Platform().enumerations, 2u);  // one build: A and B decided once each
}

TEST_F(DisplayModes, SupportedModesAreTranslatedAndClamped) {
    AnswerScheme(0);
    struct Case {
        const char* what;
        uint32_t supported;
        std::vector<uint32_t> values;
        uint64_t capacity;
        std::vector<int32_t> written;
    };
    const Case cases[] = {
        {"capacity reached", 1, {5, 4, 7, 8, 9}, 3, {1, 2, 4}},
        {"all fit", 1, {5, 4}, 8, {1, 2}},
        {"a value outside the table is its own identifier", 1, {10, 0}, 8, {10, 11}},
        {"negative values are left out", 1, {0xFFFFFFFF, 5, 0x80000000}, 8, {1}},
        {"not supported", 0, {5, 4, 7}, 8, {}},
        {"capacity 0", 1, {5, 4, 7}, 0, {}},
    };
    for (const Case& c : cases) {
        Sim().Once(4, Capabilities(c.supported, static_cast<int32_t>(c.values.size()), c.values));
        std::vector<int32_t> storage(c.capacity + 2, kGuard);
        EXPECT_EQ(GetSupportedDisplayModes(storage.data() + 1, c.capacity), c.written.size()) << c.what;
        EXPECT_EQ(std::vector<int32_t>(storage.begin() + 1,
                                       storage.begin() + 1 + static_cast<std::ptrdiff_t>(c.written.size())),
                  c.written)
            << c.what;
        for (size_t i = 1 + c.written.size(); i < storage.size(); ++i) EXPECT_EQ(storage[i], kGuard) << c.what;
        EXPECT_EQ(storage[0], kGuard);
    }
    EXPECT_EQ(GetSupportedDisplayModes(nullptr, 8), 0u);
    Sim().Once(4, {.setResult = true, .result = 0, .words = {{20, 1}, {24, 1}, {28, 5}}});
    std::array<int32_t, 4> buffer;
    buffer.fill(kGuard);
    EXPECT_EQ(GetSupportedDisplayModes(buffer.data(), buffer.size()), 0u);
    EXPECT_EQ(buffer[0], kGuard);
    // The monitor's own list: 0, 2, 3, 4, 5, 13.
    EXPECT_EQ(GetSupportedDisplayModes(buffer.data(), buffer.size()), 4u);
    EXPECT_EQ((std::array<int32_t, 4>{11, 3, 7, 2}), buffer);
    EXPECT_EQ(CountOf(31), 1u);
}

TEST_F(DisplayModes, UnderTheFixedSchemeUntranslatableModesAreLeftOut) {
    AnswerScheme(2);
    AnswerVariant(1);
    Sim().Once(4, Capabilities(1, 5, {300, 13, 12, 2, 81}));
    std::array<int32_t, 5> buffer;
    buffer.fill(kGuard);
    EXPECT_EQ(GetSupportedDisplayModes(buffer.data(), buffer.size()), 3u);
    EXPECT_EQ((std::array<int32_t, 5>{20, 24, 35, kGuard, kGuard}), buffer);
}

TEST_F(DisplayModes, NothingIsSentUnlessConnected) {
    for (const auto state : kNotConnectedStates) {
        lmvx::ConnectionState = state;
        std::array<int32_t, 4> buffer;
        buffer.fill(kGuard);
        EXPECT_EQ(GetSupportedDisplayModes(buffer.data(), buffer.size()), 0u);
        EXPECT_EQ(buffer[0], kGuard);
        SetDisplayMode(1);
        EXPECT_EQ(GetCurrentDisplayMode(), -1);
    }
    EXPECT_EQ(fake::Os().pipeCalls, 0u);  // not even the mode scheme is asked
    EXPECT_EQ(fake::Platform().enumerations, 0u);
}

}  // namespace
