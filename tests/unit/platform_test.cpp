// IsPlatformSupported and FactoryReset over the fake probes: every row of
// the decision with the order its probes run in, and the probes' own edges.
#include "platform/platform.h"
#include "sim_fixture.h"

namespace {

const char16_t kIniKey[] = u"C:\\Korvath\\BIN\\rstone_bbv2.ini|BIOS Strings|FeatureByte";

std::u16string Device(const std::u16string& subsystem) { return u"PCI\\VEN_8086&DEV_9A49&SUBSYS_" + subsystem; }
// An adapter whose id holds `entry` ("&SUBSYS_" and four digits).
std::u16string With(const char16_t* entry) { return Device(entry + 8 + std::u16string(u"1028")); }

class Platform : public ConnectedService {};

TEST_F(Platform, EveryRowOfTheDecisionWithItsProbes) {
    const std::u16string base = With(lmvx::BaseAdapterIds.entries[1]), unknown = Device(u"FFFF1043"),
                         further = With(lmvx::ModeAdapterIdsA.entries[0]),  // Supported, not Base
        featureOnly = With(lmvx::FeatureAdapterIds.entries[0]), featureShared = With(u"&SUBSYS_1CE4");  // and Base
    const struct {
        std::vector<std::u16string> adapters;
        bool bios, marker, supported, reset;
        const char *supportProbes, *resetProbes;
    } rows[] = {
        {{featureOnly}, true, false, true, false, "aai", "aia"},
        {{featureShared}, true, false, true, true, "a", "aia"},
        {{featureOnly, base}, true, false, true, true, "a", "aia"},
        {{further}, false, false, true, true, "a", "aaa"},
        {{base}, false, false, true, true, "a", "aaaa"},
        // Matched on the subsystem digits in upper case with their "&SUBSYS_",
        // in any adapter, within an id that fills its whole field unterminated.
        {{Device(u"f9b81028"), Device(u"12F9B8")}, false, false, false, false, "aafd", "aafda"},
        {{u"PCI\\VEN_8086SUBSYS_F9B81028"}, false, false, false, false, "aafd", "aafda"},
        {{unknown, std::u16string(116, u'X') + u"&SUBSYS_F9B8"}, false, false, true, true, "a", "aaaa"},
        {{featureOnly}, false, false, false, false, "aaifd", "aiafda"},
        {{featureOnly}, false, true, true, true, "aaifd", "aiafd"},
        {{unknown}, true, false, false, false, "aafd", "aafda"},
        {{unknown}, false, true, true, true, "aafd", "aafd"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        const auto configure = [&] {
            fake::Platform().Reset();
            fake::Platform().adapters = row.adapters;
            fake::Platform().ini[kIniKey] = row.bios ? u"xnTxx" : u"x";
            if (row.marker) fake::Platform().directories.insert(u"C:\\ProgramData\\Lumivex.test");
        };
        configure();
        EXPECT_EQ(IsPlatformSupported(), row.supported);
        EXPECT_EQ(fake::Platform().Probes(), row.supportProbes);
        configure();
        FactoryReset();
        EXPECT_EQ(fake::Platform().Probes(), row.resetProbes);
        ASSERT_EQ(Sim().Requests().size(), row.reset);
        EXPECT_TRUE(!row.reset || Same(Sim().Requests()[0], Request(3, {{16, 0x04}, {20, 1}})));
        Sim().ClearLog();
    }
    lmvx::ConnectionState = lmvx::kStartFailed;  // the gate comes before any probe
    fake::Platform().Reset();
    FactoryReset();
    EXPECT_EQ(fake::Platform().Probes() + std::to_string(Sim().RequestCount()), "0");
}

TEST_F(Platform, TheBiosStringLessItsLastTwoCharactersCarriesTheCode) {
    const auto at = [](size_t position) { return std::u16string(1100, u'x').replace(position, 2, u"nT"); };
    const std::pair<std::u16string, bool> cases[] = {
        {u"nTxx", true},   {u"ab;nS;cd", true}, {u"nS", false},     {u"xxxnS", false}, {u"nSx", false},
        {u"anTb", false},  {u"NSxx", false},    {u"ntxx", false},   {at(1019), true},  {at(1021), false},
        {at(1040), false},  // the value is cut to 1023 characters
    };
    for (const auto& [value, feature] : cases) {
        fake::Platform().ini[kIniKey] = value;
        EXPECT_EQ(lmvx::HasBiosFeature(), feature) << value.size();
    }
}

TEST_F(Platform, TheMarkerIsAFolderInTheCommonFolderWithinMaxPath) {
    // 246 units of folder and 13 of "\Lumivex.test" leave just the terminator's room.
    for (const size_t units : {0, 246, 247, 259, 260, 400}) {
        fake::Platform().commonFolder.reset();
        if (units != 0) fake::Platform().commonFolder = u"C:\\" + std::u16string(units - 3, u'a');
        fake::Platform().directories = {fake::Platform().commonFolder.value_or(u"") + u"\\Lumivex.test"};
        EXPECT_EQ(lmvx::HasTestMarker(), units == 246) << units;
    }
}

}  // namespace
