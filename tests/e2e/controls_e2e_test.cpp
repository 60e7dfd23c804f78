// Monitor controls, display modes and the platform decision: the built
// library against the simulated monitor over the real pipe. Tests may share
// one process (and so the library's process-wide state) with other tests:
// each starts and stops its own session and assumes no display-mode scheme.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "lmvx.h"
#include "simulator.h"

namespace {

class MonitorControls : public ::testing::Test {
protected:
    void SetUp() override {
        Stop(false);  // whatever an earlier test left
        ASSERT_TRUE(sim_.Start());
    }
    void TearDown() override {
        Stop(false);
        sim_.Stop();
    }
    sim::Simulator sim_;
};

TEST_F(MonitorControls, GatedExportsSendNothingWithoutASession) {
    ASSERT_EQ(GetLVXStatus(), LVX_STATE_STOPPED);
    std::array<uint32_t, 4> values{7, 7, 7, 7};
    std::array<int32_t, 4> modes{7, 7, 7, 7};
    EXPECT_EQ(GetContrast(), 0xFFFFFFFFu);
    EXPECT_EQ(GetBrightness(), 0xFFFFFFFFu);
    SetContrast(10);
    EXPECT_EQ(GetSupportedInputSources(values.data(), values.size()), 0u);
    EXPECT_EQ(GetSupportedDisplayModes(modes.data(), modes.size()), 0u);
    SetDisplayMode(1);
    EXPECT_EQ(GetCurrentDisplayMode(), -1);
    FactoryReset();
    EXPECT_EQ(values[0], 7u);
    EXPECT_EQ(modes[0], 7);
    EXPECT_EQ(sim_.RequestCount(), 0u);
}

TEST_F(MonitorControls, IsPlatformSupportedIsTheSameWithAndWithoutASession) {
    const bool stopped = IsPlatformSupported();
    EXPECT_EQ(sim_.RequestCount(), 0u);
    ASSERT_TRUE(Start());
    sim_.ClearLog();
    EXPECT_EQ(IsPlatformSupported(), stopped);
    EXPECT_EQ(sim_.RequestCount(), 0u);  // never asks the service
    Stop(false);
    EXPECT_EQ(IsPlatformSupported(), stopped);
}

TEST_F(MonitorControls, PictureControlsRoundTrip) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(GetContrast(), 50u);
    SetContrast(70);
    EXPECT_EQ(GetContrast(), 70u);
    EXPECT_EQ(GetBrightness(), 75u);
    SetRedGain(20);
    SetGreenGain(30);
    SetBlueGain(40);
    EXPECT_EQ(GetRedGain(), 20u);
    EXPECT_EQ(GetGreenGain(), 30u);
    EXPECT_EQ(GetBlueGain(), 40u);

    std::array<uint32_t, 8> inputs{};
    ASSERT_EQ(GetSupportedInputSources(inputs.data(), 2), 4u);  // listed 4, room for 2
    EXPECT_EQ(inputs[0], 0x0Fu);
    EXPECT_EQ(inputs[1], 0x10u);
    EXPECT_EQ(inputs[2], 0u);
    SetInputSource(0x11);
    EXPECT_EQ(GetInputSource(), 0x11u);

    std::array<uint32_t, 26> whitePoints{};
    const uint64_t count = GetSupportedWhitePoints(whitePoints.data(), whitePoints.size());
    ASSERT_GE(count, 2u);
    SetWhitePoint(whitePoints[1]);
    EXPECT_EQ(GetWhitePoint(), whitePoints[1]);
}

TEST_F(MonitorControls, DisplayModesRoundTrip) {
    ASSERT_TRUE(Start());
    std::array<int32_t, 26> modes{};
    const uint64_t count = GetSupportedDisplayModes(modes.data(), modes.size());
    ASSERT_GE(count, 1u);
    for (uint64_t i = 0; i < count; ++i) {
        SetDisplayMode(modes[i]);
        EXPECT_EQ(GetCurrentDisplayMode(), modes[i]);
    }
    EXPECT_EQ(GetSupportedDisplayModes(modes.data(), 1), 1u);
}

TEST_F(MonitorControls, FactoryResetWhereThePlatformAllowsIt) {
    ASSERT_TRUE(Start());
    SetContrast(20);
    ASSERT_EQ(GetContrast(), 20u);
    FactoryReset();
    // Here no adapter can make a feature platform, so a supported machine is
    // one where the reset is sent.
    EXPECT_EQ(GetContrast(), IsPlatformSupported() ? 50u : 20u);
}

}  // namespace
