// IsPlatformSupported and FactoryReset over the fake probes: every row of
// the decision with the order its probes run in, and the probes' own edges.
#include "platform/platform.h"
#include "service_fixture.h"

namespace {

using Probes = std::vector<std::string>;

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
        const char* what;
        std::vector<std::u16string> adapters;
        bool bios, marker, supported, reset;
        Probes supportProbes, resetProbes;
    } rows[] = {
        {"feature platform", {kFeatureOnly}, true, false, true, false, {"enum", "enum", "ini"}, {"enum", "ini", "enum"}},
        {"feature platform, shared id", {kFeatureShared}, true, false, true, true, {"enum"}, {"enum", "ini", "enum"}},
        {"feature platform, base too", {kFeatureOnly, kBase}, true, false, true, true, {"enum"}, {"enum", "ini", "enum"}},
        {"further id", {kFurther}, false, false, true, true, {"enum"}, {"enum", "enum", "enum"}},
        {"base id", {kBase}, false, false, true, true, {"enum"}, {"enum", "enum", "enum", "enum"}},
        {"feature adapter, no BIOS code", {kFeatureOnly}, false, false, false, false,
         {"enum", "enum", "ini", "folder", "dir"}, {"enum", "ini", "enum", "folder", "dir", "enum"}},
        {"feature adapter, no BIOS code, marker", {kFeatureOnly}, false, true, true, true,
         {"enum", "enum", "ini", "folder", "dir"}, {"enum", "ini", "enum", "folder", "dir"}},
        {"BIOS code, no feature adapter", {kUnknown}, true, false, false, false, {"enum", "enum", "folder", "dir"},
         {"enum", "enum", "folder", "dir", "enum"}},
        {"marker only", {kUnknown}, false, true, true, true, {"enum", "enum", "folder", "dir"},
         {"enum", "enum", "folder", "dir"}},
        {"nothing", {}, true, false, false, false, {"enum", "enum", "folder", "dir"},
         {"enum", "enum", "folder", "dir", "enum"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Configure(row.adapters, row.bios, row.marker);
        EXPECT_EQ(IsPlatformSupported(), row.supported);
        EXPECT_EQ(fake::Platform().Probes(), row.supportProbes);
        Configure(row.adapters, row.bios, row.marker);
        FactoryReset();
        EXPECT_EQ(fake::Platform().Probes(), row.resetProbes);
        const std::vector<ServiceRecord> reset(row.reset ? 1 : 0, Request(3, {{16, 0x04}, {20, 1}}));
        ASSERT_EQ(Sim().Requests().size(), reset.size());
        EXPECT_TRUE(std::equal(reset.begin(), reset.end(), Sim().Requests().begin(), Same));
        for (const auto state : kNotConnected) {  // the gate comes before any probe
            lmvx::ConnectionState = state;
            Configure(row.adapters, row.bios, row.marker);
            FactoryReset();
            EXPECT_TRUE(fake::Platform().Probes().empty());
            EXPECT_EQ(Sim().RequestCount(), 0u);
        }
        lmvx::ConnectionState = lmvx::kConnected;
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
    const auto at = [](size_t position, const char16_t* code) {
        std::u16string value(1100, u'x');
        return value.replace(position, 2, code);
    };
    const std::pair<std::u16string, bool> cases[] = {
        {u"nTxx", true},   {u"ab;nS;cd", true}, {u"anTbc", true}, {u"nS", false},   {u"xxxnS", false},
        {u"nSx", false},   {u"anTb", false},    {u"NSxx", false}, {u"nsxx", false}, {u"NTxx", false},
        {u"ntxx", false},  {u"", false},        {at(1019, u"nT"), true},  // the value is cut to 1023
        {at(1021, u"nT"), false}, {at(1040, u"nS"), false},
    };
    for (const auto& [value, feature] : cases) {
        fake::Platform().ini[kIniKey] = value;
        EXPECT_EQ(lmvx::HasBiosFeature(), feature) << value.size();
    }
    fake::Platform().ini.clear();  // the same key in another file or section does not count
    fake::Platform().ini[fake::IniKey(u"D:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS Strings", u"FeatureByte")] = u"nSnS";
    fake::Platform().ini[fake::IniKey(u"C:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS", u"FeatureByte")] = u"nSnS";
    EXPECT_FALSE(lmvx::HasBiosFeature());
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
    for (const auto& entry : entries(lmvx::SupportedAdapterIds))  // Wine's one adapter matches none
        EXPECT_EQ(std::u16string(u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00").find(entry), std::u16string::npos);
}

}  // namespace
