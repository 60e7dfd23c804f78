// IsPlatformSupported and FactoryReset over the fake probes: every row of
// the decision with the order its probes run in, and the probes' own edges.
#include "platform/platform.h"
#include "service_fixture.h"

namespace {

const std::u16string kIniKey = fake::IniKey(u"C:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS Strings", u"FeatureByte");
const std::u16string kMarker = u"C:\\ProgramData\\Lumivex.test";

std::u16string Device(const std::u16string& subsystem) {
    return u"PCI\\VEN_8086&DEV_9A49&SUBSYS_" + subsystem + u"&REV_01";
}
// An adapter whose id holds `entry` ("&SUBSYS_" and four digits).
std::u16string With(const char16_t* entry) { return Device(std::u16string(entry).substr(8) + u"1028"); }

const std::u16string kBase = With(lmvx::BaseAdapterIds.entries[0]);
const std::u16string kFurther = With(lmvx::ModeAdapterIdsA.entries[0]);  // Supported, not Base
const std::u16string kFeatureOnly = With(lmvx::FeatureAdapterIds.entries[0]);
const std::u16string kFeatureShared = With(u"&SUBSYS_1CE4");  // Feature and Base alike
const std::u16string kUnknown = Device(u"FFFF1043");

class Platform : public ConnectedService {
protected:
    void Configure(std::vector<std::u16string> adapters, bool biosFeature, bool marker) {
        fake::Platform().Reset();
        fake::Platform().adapters = std::move(adapters);
        fake::Platform().ini[kIniKey] = biosFeature ? u"xnTxx" : u"xxxxx";
        if (marker) fake::Platform().directories.insert(kMarker);
        Sim().ClearLog();
    }
};

TEST_F(Platform, EveryRowOfTheDecisionWithItsProbes) {
    const struct {
        std::vector<std::u16string> adapters;
        bool bios, marker, supported, reset;
        const char *supportProbes, *resetProbes;
    } rows[] = {
        {{kFeatureOnly}, true, false, true, false, "enum enum ini", "enum ini enum"},
        {{kFeatureShared}, true, false, true, true, "enum", "enum ini enum"},
        {{kFeatureOnly, kBase}, true, false, true, true, "enum", "enum ini enum"},
        {{kFurther}, false, false, true, true, "enum", "enum enum enum"},
        {{kBase}, false, false, true, true, "enum", "enum enum enum enum"},
        {{kFeatureOnly}, false, false, false, false, "enum enum ini folder dir", "enum ini enum folder dir enum"},
        {{kFeatureOnly}, false, true, true, true, "enum enum ini folder dir", "enum ini enum folder dir"},
        {{kUnknown}, true, false, false, false, "enum enum folder dir", "enum enum folder dir enum"},
        {{kUnknown}, false, true, true, true, "enum enum folder dir", "enum enum folder dir"},
        {{}, true, false, false, false, "enum enum folder dir", "enum enum folder dir enum"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.resetProbes);
        Configure(row.adapters, row.bios, row.marker);
        EXPECT_EQ(IsPlatformSupported(), row.supported);
        EXPECT_EQ(fake::Platform().Probes(), row.supportProbes);
        Configure(row.adapters, row.bios, row.marker);
        FactoryReset();
        EXPECT_EQ(fake::Platform().Probes(), row.resetProbes);
        const std::vector<ServiceRecord> reset(row.reset ? 1 : 0, Request(3, {{16, 0x04}, {20, 1}}));
        ASSERT_EQ(Sim().Requests().size(), reset.size());
        EXPECT_TRUE(std::equal(reset.begin(), reset.end(), Sim().Requests().begin(), Same));
    }
    for (const auto state : kNotConnected) {  // the gate comes before any probe
        lmvx::ConnectionState = state;
        Configure({kBase}, true, true);
        FactoryReset();
        EXPECT_EQ(fake::Platform().Probes(), "");
        EXPECT_EQ(Sim().RequestCount(), 0u);
    }
}

TEST_F(Platform, AdaptersMatchOnTheirIdsSubsystemDigitsUpToTheFirstMatch) {
    const std::u16string entry = std::u16string(lmvx::SupportedAdapterIds.entries[1]).substr(8);  // "F9B8"
    const struct {
        std::vector<std::u16string> adapters;
        bool match;
        uint32_t queries;  // the failing one at the end included
    } cases[] = {
        {{Device(entry + u"1028")}, true, 1},
        {{Device(u"f9b81028")}, false, 2},  // upper-case digits only
        {{Device(u"12341234"), Device(u"ABCDABCD"), Device(entry + u"0000")}, true, 3},
        {{Device(entry + u"0000"), Device(u"12341234")}, true, 1},
        {{u"PCI\\VEN_8086SUBSYS_" + entry + u"0000"}, false, 2},  // the entry holds its ampersand
        {{}, false, 1},
    };
    for (const auto& c : cases) {
        fake::Platform().Reset();
        fake::Platform().adapters = c.adapters;
        EXPECT_EQ(lmvx::HasMatchingAdapter(lmvx::SupportedAdapterIds), c.match) << c.queries;
        EXPECT_EQ(fake::Platform().AdapterQueries(), c.queries);
    }
    // An id that fills its whole field, unterminated, is read within it.
    fake::Platform().fillWholeAdapterField = true;
    fake::Platform().adapters = {lmvx::ModeAdapterIdsA.entries[0]};
    EXPECT_TRUE(lmvx::HasMatchingAdapter(lmvx::ModeAdapterIdsA));
    EXPECT_FALSE(lmvx::HasMatchingAdapter(lmvx::ModeAdapterIdsB));
}

TEST_F(Platform, TheBiosStringLessItsLastTwoCharactersCarriesTheCode) {
    const auto at = [](size_t position) { return std::u16string(1100, u'x').replace(position, 2, u"nT"); };
    const std::pair<std::u16string, bool> cases[] = {
        {u"nTxx", true},  {u"ab;nS;cd", true}, {u"anTbc", true},   {u"nS", false},        {u"xxxnS", false},
        {u"nSx", false},  {u"anTb", false},    {u"NSxx", false},   {u"nsxx", false},      {u"NTxx", false},
        {u"ntxx", false}, {u"", false},        {at(1019), true},   {at(1021), false},     {at(1040), false},
    };  // the value is cut to 1023 characters
    for (const auto& [value, feature] : cases) {
        fake::Platform().ini[kIniKey] = value;
        EXPECT_EQ(lmvx::HasBiosFeature(), feature) << value.size();
    }
}

TEST_F(Platform, TheMarkerIsAFolderInTheCommonFolderWithinMaxPath) {
    // 246 units of folder and 13 of "\Lumivex.test" leave just the terminator's room.
    for (const size_t units : {246, 247, 259, 260, 400}) {
        fake::Platform().Reset();
        fake::Platform().commonFolder = u"C:\\" + std::u16string(units - 3, u'a');
        fake::Platform().directories.insert(*fake::Platform().commonFolder + u"\\Lumivex.test");
        EXPECT_EQ(lmvx::HasTestMarker(), units == 246) << units;
    }
    fake::Platform().Reset();
    fake::Platform().directories.insert(kMarker);
    EXPECT_TRUE(lmvx::HasTestMarker());
    fake::Platform().commonFolder.reset();
    EXPECT_FALSE(lmvx::HasTestMarker());
}

// The lists' relations: Supported is Base plus three further ids, two of
// them the mode lists'; Reset is Base; Feature shares one id with them.
TEST(AdapterIdLists, RelateAsTheDecisionsAssume) {
    const auto entries = [](const lmvx::AdapterIdList& list) {
        return std::vector<std::u16string>(list.entries, list.entries + list.count);
    };
    const auto base = entries(lmvx::BaseAdapterIds);
    std::vector<std::u16string> inBase, further;
    for (const auto& entry : entries(lmvx::SupportedAdapterIds))
        (std::count(base.begin(), base.end(), entry) ? inBase : further).push_back(entry);
    EXPECT_EQ(inBase, base);
    EXPECT_EQ(entries(lmvx::ResetAdapterIds), base);
    ASSERT_EQ(further.size(), 3u);
    EXPECT_EQ(further[0], lmvx::ModeAdapterIdsA.entries[0]);
    EXPECT_EQ(further[1], lmvx::ModeAdapterIdsB.entries[0]);
    size_t shared = 0;
    for (const auto& entry : entries(lmvx::FeatureAdapterIds)) shared += std::count(base.begin(), base.end(), entry);
    EXPECT_EQ(shared, 1u);
}

}  // namespace
