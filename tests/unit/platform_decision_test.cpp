// IsPlatformSupported and FactoryReset: every row of the decision, and the
// order in which the probes run.
#include <string>

#include "controls_fixture.h"
#include "exports/api.h"
#include "platform/platform.h"

namespace {

using lmvx::ServiceRecord;

const std::u16string kIniPath = u"C:\\Korvath\\BIN\\rstone_bbv2.ini";
const std::u16string kMarker = u"C:\\ProgramData\\Lumivex.test";

std::u16string DeviceWith(const char16_t* entry) { return u"PCI\\VEN_8086&DEV_9A49" + std::u16string(entry) + u"1028&REV_01"; }

// Adapters that match the lists in each way the decision tells apart.
std::u16string BaseAdapter() { return DeviceWith(lmvx::BaseAdapterIds.entries[0]); }
std::u16string FurtherAdapter() { return DeviceWith(lmvx::ModeAdapterIdsA.entries[0]); }  // Supported only
std::u16string SharedFeatureAdapter() {  // Feature and Base alike
    for (uint32_t i = 0; i < lmvx::FeatureAdapterIds.count; ++i)
        for (uint32_t j = 0; j < lmvx::BaseAdapterIds.count; ++j)
            if (std::u16string(lmvx::FeatureAdapterIds.entries[i]) == lmvx::BaseAdapterIds.entries[j])
                return DeviceWith(lmvx::FeatureAdapterIds.entries[i]);
    return {};
}
std::u16string FeatureOnlyAdapter() {
    for (uint32_t i = 0; i < lmvx::FeatureAdapterIds.count; ++i) {
        bool inBase = false;
        for (uint32_t j = 0; j < lmvx::BaseAdapterIds.count; ++j)
            inBase = inBase || std::u16string(lmvx::FeatureAdapterIds.entries[i]) == lmvx::BaseAdapterIds.entries[j];
        if (!inBase) return DeviceWith(lmvx::FeatureAdapterIds.entries[i]);
    }
    return {};
}
std::u16string UnknownAdapter() { return u"PCI\\VEN_1002&DEV_1638&SUBSYS_FFFF1043&REV_C5"; }

class PlatformDecision : public ConnectedService {
protected:
    void Configure(const std::vector<std::u16string>& adapters, bool biosFeature, bool marker) {
        fake::Platform().Reset();
        fake::Platform().SetAdapters(adapters);
        fake::Platform().SetIniValue(kIniPath, u"BIOS Strings", u"FeatureByte", biosFeature ? u"xnTxx" : u"xxxxx");
        if (marker) fake::Platform().AddDirectory(kMarker);
    }
    size_t ResetRequests() {
        size_t count = 0;
        for (const ServiceRecord& r : Sim().Requests())
            if (r.command == 3 && r.Word(16) == 0x04 && r.Word(20) == 1) ++count;
        return count;
    }
};

struct Row {
    const char* what;
    std::vector<std::u16string> (*adapters)();
    bool bios;
    bool marker;
    bool supported;
    bool reset;
    std::vector<std::string> supportProbes;  // IsPlatformSupported
    std::vector<std::string> resetProbes;    // FactoryReset
};

const Row kRows[] = {
    {"feature platform without a reset adapter", [] { return std::vector{FeatureOnlyAdapter()}; }, true, false,
     true, false,
     {"enum", "enum", "ini"},
     {"enum", "ini", "enum"}},
    {"feature platform on the shared id", [] { return std::vector{SharedFeatureAdapter()}; }, true, false, true,
     true,
     {"enum"},
     {"enum", "ini", "enum"}},
    {"feature platform with a base adapter too", [] { return std::vector{FeatureOnlyAdapter(), BaseAdapter()}; },
     true, false, true, true,
     {"enum"},
     {"enum", "ini", "enum"}},
    {"supported through a further id", [] { return std::vector{FurtherAdapter()}; }, false, false, true, true,
     {"enum"},
     {"enum", "enum", "enum"}},
    {"supported through a base id", [] { return std::vector{BaseAdapter()}; }, false, false, true, true,
     {"enum"},
     {"enum", "enum", "enum", "enum"}},
    {"feature adapter, BIOS without a code", [] { return std::vector{FeatureOnlyAdapter()}; }, false, false, false,
     false,
     {"enum", "enum", "ini", "folder", "dir"},
     {"enum", "ini", "enum", "folder", "dir", "enum"}},
    {"feature adapter, BIOS without a code, marker", [] { return std::vector{FeatureOnlyAdapter()}; }, false, true,
     true, true,
     {"enum", "enum", "ini", "folder", "dir"},
     {"enum", "ini", "enum", "folder", "dir"}},
    {"BIOS code but no feature adapter", [] { return std::vector{UnknownAdapter()}; }, true, false, false, false,
     {"enum", "enum", "folder", "dir"},
     {"enum", "enum", "folder", "dir", "enum"}},
    {"marker only", [] { return std::vector{UnknownAdapter()}; }, false, true, true, true,
     {"enum", "enum", "folder", "dir"},
     {"enum", "enum", "folder", "dir"}},
    {"no adapters, marker", [] { return std::vector<std::u16string>{}; }, false, true, true, true,
     {"enum", "enum", "folder", "dir"},
     {"enum", "enum", "folder", "dir"}},
    {"no adapters, nothing", [] { return std::vector<std::u16string>{}; }, true, false, false, false,
     {"enum", "enum", "folder", "dir"},
     {"enum", "enum", "folder", "dir", "enum"}},
};

TEST_F(PlatformDecision, EveryRowWithItsProbeOrder) {
    ASSERT_FALSE(SharedFeatureAdapter().empty());
    ASSERT_FALSE(FeatureOnlyAdapter().empty());
    for (const Row& row : kRows) {
        Configure(row.adapters(), row.bios, row.marker);
        EXPECT_EQ(IsPlatformSupported(), row.supported) << row.what;
        EXPECT_EQ(fake::Platform().ProbeSequence(), row.supportProbes) << row.what;

        Configure(row.adapters(), row.bios, row.marker);
        Sim().ClearLog();
        FactoryReset();
        EXPECT_EQ(ResetRequests(), row.reset ? 1u : 0u) << row.what;
        EXPECT_EQ(Sim().RequestCount(), row.reset ? 1u : 0u) << row.what;  // nothing else is sent
        EXPECT_EQ(fake::Platform().ProbeSequence(), row.resetProbes) << row.what;
    }
}

TEST_F(PlatformDecision, TheResetRequestIsRestoreFactoryDefaultsWithValueOne) {
    Configure({BaseAdapter()}, false, false);
    Sim().Always(3, {.setResult = true, .result = 0});  // a refusal is not retried or reported
    FactoryReset();
    const std::vector<ServiceRecord> sent = Sim().Requests();
    ASSERT_EQ(sent.size(), 1u);
    ServiceRecord expected = ServiceRecord::Request(3);
    expected.SetWord(16, 0x04);
    expected.SetWord(20, 1);
    EXPECT_EQ(std::memcmp(&sent[0], &expected, sizeof expected), 0);
}

TEST_F(PlatformDecision, FactoryResetOutsideTheConnectedStateNeitherProbesNorSends) {
    Configure({BaseAdapter()}, true, true);
    for (const auto state : kNotConnectedStates) {
        lmvx::ConnectionState = state;
        FactoryReset();
    }
    EXPECT_TRUE(fake::Platform().Log().empty());
    EXPECT_EQ(fake::Os().pipeCalls, 0u);
}

TEST_F(PlatformDecision, IsPlatformSupportedIsTheSameInEveryState) {
    const lmvx::ConnectionStateValue states[] = {lmvx::kStopped, lmvx::kDisconnected, lmvx::kConnected,
                                                 lmvx::kStartFailed};
    for (const Row& row : kRows) {
        Configure(row.adapters(), row.bios, row.marker);
        for (const auto state : states) {
            lmvx::ConnectionState = state;
            EXPECT_EQ(IsPlatformSupported(), row.supported) << row.what << " in state " << state;
        }
    }
    EXPECT_EQ(fake::Os().pipeCalls, 0u);  // never talks to the service
}

TEST_F(PlatformDecision, WithoutACommonFolderThereIsNoMarker) {
    Configure({}, false, false);
    fake::Platform().SetCommonFolder(std::nullopt);
    fake::Platform().AddDirectory(kMarker);
    EXPECT_FALSE(IsPlatformSupported());
    FactoryReset();
    EXPECT_EQ(Sim().RequestCount(), 0u);
}

}  // namespace
