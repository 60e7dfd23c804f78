// What the service's lists become in the caller's buffers: counts clamped,
// every write inside the buffer and below the count, names cut to their
// slot; and the caller's strings that the service is never sent.
#include <algorithm>
#include <memory>
#include <optional>

#include "service_fixture.h"

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr uint32_t kGuardWord = 0xA5A5A5A5;

class Lists : public ConnectedService {};

// A capability reply: supported flag at 20, count at 24, values from 28.
sim::Script Capabilities(uint32_t supported, uint32_t count, uint32_t values) {
    sim::Script script{.words = {{20, supported}, {24, count}}};
    for (uint32_t i = 0; i < values; ++i) script.words.emplace_back(28 + 4 * i, 100 + i);
    return script;
}

TEST_F(Lists, SupportedValuesAreCountedAndCopiedWithinTheCapacity) {
    const struct {
        uint32_t supported, count, capacity;
        uint64_t listed, written;
    } cases[] = {
        {1, 5, 2, 5, 2},       {1, 3, 8, 3, 3},        {1, 3, 0, 3, 0},          {0, 3, 8, 3, 0},
        {1, 40, 40, 26, 26},   {1, 0x7FFFFFFF, 40, 26, 26}, {1, 26, 40, 26, 26}, {1, 0xFFFFFFFB, 8, 0, 0},
        {1, 0x80000000, 8, 0, 0}, {2, 3, 8, 3, 0},
    };
    for (const auto& c : cases) {
        Sim().Once(4, Capabilities(c.supported, c.count, 40));
        std::vector<uint32_t> buffer(c.capacity + 2, kGuardWord);  // a guard on each side
        EXPECT_EQ(GetSupportedInputSources(buffer.data() + 1, c.capacity), c.listed) << c.count;
        for (size_t i = 0; i < buffer.size(); ++i)
            EXPECT_EQ(buffer[i], i >= 1 && i <= c.written ? 100 + i - 1 : kGuardWord) << c.count << " " << i;
    }
}

// A caller's name list: a count, then `arrays` arrays of `limit` slots, each
// filled from the reply's slots at the matching offset.
struct NameList {
    const char* name;
    uint32_t command, limit;
    std::vector<uint32_t> replyOffsets;
    size_t size;
    uint32_t (*read)(void* buffer);
};
const NameList kNameLists[] = {
    {"GetAutoColorTable", 15, 30, {16, 6016}, sizeof(AutoColorTable),
     [](void* b) { return GetAutoColorTable(static_cast<AutoColorTable*>(b)); }},
    {"getSupportedAutoColorMode", 21, 20, {16}, sizeof(AutoColorModeList),
     [](void* b) {
         getSupportedAutoColorMode(static_cast<AutoColorModeList*>(b));
         return static_cast<AutoColorModeList*>(b)->count;
     }},
    {"GetDPSupportedScreens", 18, 8, {16}, sizeof(DPScreenList),
     [](void* b) { return GetDPSupportedScreens(static_cast<DPScreenList*>(b)); }},
};

// The reply's name of slot i in array a: a letter and a digit, but slot 1
// fills its 100 units without a zero.
std::u16string SlotName(uint32_t i, size_t a) {
    if (i == 1) return std::u16string(100, static_cast<char16_t>(u'a' + a));
    return {static_cast<char16_t>(u'A' + a), static_cast<char16_t>(u'0' + i % 10)};
}

TEST_F(Lists, NameListsAreClampedAndCutToTheirSlots) {
    for (const NameList& list : kNameLists) {
        for (const int32_t count : {1000, 31, 30, 21, 20, 9, 8, 2, 0, -1, INT32_MIN, 5}) {
            const bool refused = count == 5;  // the service reports failure
            Sim().Once(list.command, {.setResult = refused, .result = 0, .edit = [&](ServiceRecord& reply) {
                reply.SetWord(12, static_cast<uint32_t>(count));
                for (size_t a = 0; a < list.replyOffsets.size(); ++a)
                    for (uint32_t i = 0; i < 30; ++i) {
                        std::u16string name = SlotName(i, a);
                        name.resize(100);
                        std::memcpy(reply.Bytes() + list.replyOffsets[a] + 200 * i, name.data(), 200);
                    }
            }});
            const uint32_t expected = refused ? 0 : static_cast<uint32_t>(std::clamp<int64_t>(count, 0, list.limit));
            // The count, and each name below it cut to 99 units with its zero;
            // every other byte the caller's.
            std::vector<uint8_t> buffer(list.size, kGuard), want(list.size, kGuard);
            std::memcpy(want.data(), &expected, 4);
            for (size_t a = 0; a < list.replyOffsets.size(); ++a)
                for (uint32_t i = 0; i < expected; ++i) {
                    const std::u16string name = SlotName(i, a).substr(0, 99) + u'\0';
                    std::memcpy(want.data() + 4 + 200 * (a * list.limit + i), name.data(), 2 * name.size());
                }
            EXPECT_EQ(list.read(buffer.data()), expected) << list.name << " " << count;
            EXPECT_TRUE(buffer == want) << list.name << " " << count;
        }
    }
}

// Lengths of caller strings: kNull for none, kUnterminated for a slot's
// worth of characters with no zero after them (ASan sees any read past it).
// The longest that fit are sent whole (exports_test.cpp).
constexpr int kNull = -1, kUnterminated = -2;

std::unique_ptr<char16_t[]> CallerString(int length, size_t slot) {
    if (length == kNull) return nullptr;
    const size_t units = length == kUnterminated ? slot : static_cast<size_t>(length) + 1;
    auto text = std::make_unique<char16_t[]>(units);
    for (size_t i = 0; i < units; ++i) text[i] = u'x';
    if (length != kUnterminated) text[static_cast<size_t>(length)] = 0;
    return text;
}

TEST_F(Lists, CallerStringsThatDoNotFitTheirSlotAreNotSent) {
    const struct {
        uint32_t command;
        int first, second;
        bool sent;
    } cases[] = {
        {12, 99, 299, true}, {12, 100, 5, false}, {12, 5, 300, false}, {12, 5000, 5, false}, {12, kNull, 5, false},
        {12, 5, kNull, false}, {12, kUnterminated, 5, false}, {12, 5, kUnterminated, false},
        {13, 99, 0, true}, {13, 100, 0, false}, {13, kNull, 0, false}, {13, kUnterminated, 0, false},
        {14, 99, 99, true}, {14, 100, 5, false}, {14, 5, 100, false}, {14, kNull, 5, false}, {14, 5, kNull, false},
        {14, 5, kUnterminated, false},
    };
    for (const auto& c : cases) {
        const auto first = CallerString(c.first, 100);
        const auto second = CallerString(c.second, c.command == 12 ? 300 : 100);
        Sim().ClearLog();
        if (c.command == 12) AddAutoColorApp(first.get(), second.get());
        if (c.command == 13) DeleteAutoColorApp(first.get());
        if (c.command == 14) SetAutoColorAppMode(first.get(), second.get());
        EXPECT_EQ(Sent(c.command).size(), c.sent ? 1u : 0u) << c.command << " " << c.first << " " << c.second;
    }
}

}  // namespace
