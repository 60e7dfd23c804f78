#include <array>
#include <cstring>

#include "controls_fixture.h"
#include "exports/api.h"

namespace {

using lmvx::ServiceRecord;

class PictureControls : public ConnectedService {};

constexpr uint32_t kGuard = 0xDEADBEEF;

struct Getter {
    const char* name;
    uint32_t (*get)();
    uint32_t code;
};
const Getter kGetters[] = {
    {"GetBrightness", GetBrightness, 0x10}, {"GetContrast", GetContrast, 0x12},
    {"GetWhitePoint", GetWhitePoint, 0x14}, {"GetRedGain", GetRedGain, 0x16},
    {"GetGreenGain", GetGreenGain, 0x18},   {"GetBlueGain", GetBlueGain, 0x1A},
    {"GetInputSource", GetInputSource, 0x60},
};

struct Setter {
    const char* name;
    void (*set)(uint32_t);
    uint32_t code;
};
const Setter kSetters[] = {
    {"SetContrast", SetContrast, 0x12},   {"SetWhitePoint", SetWhitePoint, 0x14},
    {"SetRedGain", SetRedGain, 0x16},     {"SetGreenGain", SetGreenGain, 0x18},
    {"SetBlueGain", SetBlueGain, 0x1A},   {"SetInputSource", SetInputSource, 0x60},
};

struct Lister {
    const char* name;
    uint64_t (*list)(uint32_t*, uint64_t);
    uint32_t code;
};
const Lister kListers[] = {
    {"GetSupportedWhitePoints", GetSupportedWhitePoints, 0x14},
    {"GetSupportedInputSources", GetSupportedInputSources, 0x60},
};

TEST_F(PictureControls, EachGetterReadsItsCode) {
    for (const Getter& g : kGetters) {
        Sim().ClearLog();
        Sim().Once(2, {.words = {{20, 0x1234 + g.code}}});
        EXPECT_EQ(g.get(), 0x1234 + g.code) << g.name;
        const std::vector<ServiceRecord> sent = Sim().Requests();
        ASSERT_EQ(sent.size(), 1u) << g.name;
        EXPECT_EQ(sent[0].command, 2u) << g.name;
        EXPECT_EQ(sent[0].Word(16), g.code) << g.name;
        // A refused read reads as 0.
        Sim().Once(2, {.setResult = true, .result = 0, .words = {{20, 9}}});
        EXPECT_EQ(g.get(), 0u) << g.name;
    }
}

TEST_F(PictureControls, EachSetterWritesItsCodeAndValue) {
    for (const Setter& s : kSetters) {
        Sim().ClearLog();
        s.set(60);
        const std::vector<ServiceRecord> sent = Sim().Requests();
        ASSERT_EQ(sent.size(), 1u) << s.name;
        ServiceRecord expected = ServiceRecord::Request(3);
        expected.SetWord(16, s.code);
        expected.SetWord(20, 60);
        EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0) << s.name;
    }
}

TEST_F(PictureControls, ValuesRoundTripThroughTheMonitor) {
    SetContrast(70);
    EXPECT_EQ(GetContrast(), 70u);
    SetRedGain(12);
    SetBlueGain(99);
    EXPECT_EQ(GetRedGain(), 12u);
    EXPECT_EQ(GetGreenGain(), 50u);
    EXPECT_EQ(GetBlueGain(), 99u);
    SetInputSource(0x11);
    EXPECT_EQ(GetInputSource(), 0x11u);
    SetWhitePoint(0x08);
    EXPECT_EQ(GetWhitePoint(), 0x08u);
    // The monitor refuses a value it does not accept; the setter says nothing.
    SetContrast(101);
    EXPECT_EQ(GetContrast(), 70u);
    EXPECT_EQ(GetBrightness(), 75u);
}

TEST_F(PictureControls, NothingIsSentUnlessConnected) {
    for (const auto state : kNotConnectedStates) {
        lmvx::ConnectionState = state;
        for (const Getter& g : kGetters) EXPECT_EQ(g.get(), 0xFFFFFFFFu) << g.name;
        for (const Setter& s : kSetters) s.set(1);
        for (const Lister& l : kListers) {
            std::array<uint32_t, 4> buffer;
            buffer.fill(kGuard);
            EXPECT_EQ(l.list(buffer.data(), buffer.size()), 0u) << l.name;
            EXPECT_EQ(buffer[0], kGuard);
        }
    }
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
}

TEST_F(PictureControls, SupportedListsReportWhatTheServiceListed) {
    struct Case {
        const char* what;
        uint32_t supported;
        int32_t count;
        std::vector<uint32_t> values;
        uint64_t capacity;
        uint64_t result;
        std::vector<uint32_t> written;
    };
    std::vector<uint32_t> thirty;
    for (uint32_t i = 0; i < 30; ++i) thirty.push_back(0x100 + i);
    const Case cases[] = {
        {"more than the capacity", 1, 5, {0x0F, 0x10, 0x11, 0x12, 0x1B}, 2, 5, {0x0F, 0x10}},
        {"all fit", 1, 3, {3, 1, 2}, 8, 3, {3, 1, 2}},
        {"capacity 0", 1, 3, {3, 1, 2}, 0, 3, {}},
        {"listed but not supported", 0, 3, {3, 1, 2}, 8, 3, {}},
        {"count beyond the value field", 1, 30, thirty, 40,
         26, std::vector<uint32_t>(thirty.begin(), thirty.begin() + 26)},
        {"negative count", 1, -5, {1, 2}, 8, 0, {}},
    };
    for (const Case& c : cases) {
        for (const Lister& l : kListers) {
            Sim().ClearLog();
            Sim().Once(4, Capabilities(c.supported, c.count, c.values));
            // Guard elements on both sides of the caller's capacity.
            std::vector<uint32_t> storage(c.capacity + 2, kGuard);
            EXPECT_EQ(l.list(storage.data() + 1, c.capacity), c.result) << c.what << " " << l.name;
            const std::vector<uint32_t> written(storage.begin() + 1,
                                                storage.begin() + 1 + static_cast<std::ptrdiff_t>(c.written.size()));
            EXPECT_EQ(written, c.written) << c.what;
            for (size_t i = 1 + c.written.size(); i < storage.size(); ++i)
                EXPECT_EQ(storage[i], kGuard) << c.what << " element " << i;
            EXPECT_EQ(storage[0], kGuard);
            ASSERT_EQ(Sim().Requests().size(), 1u);
            EXPECT_EQ(Sim().Requests()[0].Word(16), l.code);
        }
    }
}

TEST_F(PictureControls, SupportedListsWithNullBufferOrFailedRequest) {
    for (const Lister& l : kListers) {
        EXPECT_EQ(l.list(nullptr, 10), 0u) << l.name;
        EXPECT_EQ(fake::Os().pipeCalls, 0u);
    }
    Sim().Always(4, {.setResult = true, .result = 0, .words = {{20, 1}, {24, 2}, {28, 1}, {32, 2}}});
    std::array<uint32_t, 4> buffer;
    buffer.fill(kGuard);
    for (const Lister& l : kListers) EXPECT_EQ(l.list(buffer.data(), buffer.size()), 0u) << l.name;
    EXPECT_EQ(buffer[0], kGuard);
}

TEST_F(PictureControls, TheMonitorsOwnListsComeBackInOrder) {
    std::array<uint32_t, 26> buffer{};
    ASSERT_EQ(GetSupportedInputSources(buffer.data(), buffer.size()), 4u);
    EXPECT_EQ((std::vector<uint32_t>(buffer.begin(), buffer.begin() + 4)),
              (std::vector<uint32_t>{0x0F, 0x10, 0x11, 0x12}));
    ASSERT_EQ(GetSupportedWhitePoints(buffer.data(), buffer.size()), 6u);
    EXPECT_EQ(buffer[0], 0x01u);
}

}  // namespace
