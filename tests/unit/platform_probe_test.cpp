// The three local probes: adapter matching, the BIOS feature string and the
// test marker folder.
#include <string>

#include "controls_fixture.h"
#include "platform/platform.h"

namespace {

const std::u16string kIniPath = u"C:\\Korvath\\BIN\\rstone_bbv2.ini";

class Probes : public ConnectedService {
protected:
    void SetBios(const std::u16string& value) {
        fake::Platform().SetIniValue(kIniPath, u"BIOS Strings", u"FeatureByte", value);
    }
};

std::u16string Device(const std::u16string& subsystem) { return u"PCI\\VEN_8086&DEV_9A49&SUBSYS_" + subsystem + u"&REV_01"; }

TEST_F(Probes, NoDisplayDeviceMatchesNoList) {
    for (const auto* list : {&lmvx::SupportedAdapterIds, &lmvx::BaseAdapterIds, &lmvx::ResetAdapterIds,
                             &lmvx::FeatureAdapterIds, &lmvx::ModeAdapterIdsA, &lmvx::ModeAdapterIdsB})
        EXPECT_FALSE(lmvx::HasMatchingAdapter(*list));
    EXPECT_EQ(fake::Platform().Log(), std::vector<std::string>(6, "adapter:0"));
}

TEST_F(Probes, AdapterMatching) {
    const std::u16string entry = std::u16string(lmvx::SupportedAdapterIds.entries[5]).substr(8);  // 4 digits
    std::u16string lower = entry;
    for (char16_t& c : lower)
        if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c + 32);
    ASSERT_NE(lower, entry) << "the test needs an entry with a letter digit";
    struct Case {
        const char* what;
        std::vector<std::u16string> adapters;
        bool match;
        uint32_t calls;  // enumeration calls, the failing one included
    };
    const Case cases[] = {
        {"any subsystem vendor digits", {Device(entry + u"1028")}, true, 1},
        {"other vendor digits", {Device(entry + u"FFFF")}, true, 1},
        {"lower-case digits", {Device(lower + u"1028")}, false, 2},
        {"the last of three devices", {Device(u"12341234"), Device(u"ABCDABCD"), Device(entry + u"0000")}, true, 3},
        {"the first match ends the enumeration", {Device(entry + u"0000"), Device(u"12341234")}, true, 1},
        {"the entry without its ampersand", {u"PCI\\VEN_8086SUBSYS_" + entry + u"0000"}, false, 2},
        {"none of two", {Device(u"12341234"), Device(u"ABCDABCD")}, false, 3},
    };
    for (const Case& c : cases) {
        fake::Platform().Reset();
        fake::Platform().SetAdapters(c.adapters);
        EXPECT_EQ(lmvx::HasMatchingAdapter(lmvx::SupportedAdapterIds), c.match) << c.what;
        EXPECT_EQ(fake::Platform().Log().size(), c.calls) << c.what;
    }
}

TEST_F(Probes, AnIdStandingTwiceMatchesLikeAnyOther) {
    // Base holds one id twice; a machine with it matches, one without does not.
    std::u16string twice;
    for (uint32_t i = 0; i < lmvx::BaseAdapterIds.count && twice.empty(); ++i)
        for (uint32_t j = i + 1; j < lmvx::BaseAdapterIds.count; ++j)
            if (std::u16string(lmvx::BaseAdapterIds.entries[i]) == lmvx::BaseAdapterIds.entries[j])
                twice = lmvx::BaseAdapterIds.entries[i];
    ASSERT_FALSE(twice.empty());
    fake::Platform().SetAdapters({Device(twice.substr(8) + u"17AA")});
    EXPECT_TRUE(lmvx::HasMatchingAdapter(lmvx::BaseAdapterIds));
    EXPECT_TRUE(lmvx::HasMatchingAdapter(lmvx::ResetAdapterIds));
    EXPECT_TRUE(lmvx::HasMatchingAdapter(lmvx::SupportedAdapterIds));
    EXPECT_FALSE(lmvx::HasMatchingAdapter(lmvx::ModeAdapterIdsA));
}

TEST_F(Probes, ADeviceIdFillingItsWholeFieldIsReadWithinIt) {
    // The id's last units are the entry and the field holds no terminator.
    fake::Platform().fillWholeAdapterField = true;
    fake::Platform().SetAdapters({lmvx::ModeAdapterIdsA.entries[0]});
    EXPECT_TRUE(lmvx::HasMatchingAdapter(lmvx::ModeAdapterIdsA));
    EXPECT_FALSE(lmvx::HasMatchingAdapter(lmvx::ModeAdapterIdsB));
}

TEST_F(Probes, BiosFeatureString) {
    std::u16string longValue(1100, u'x');
    std::u16string beyondCut = longValue;
    beyondCut.replace(1040, 2, u"nS");
    std::u16string inCutTail = longValue;
    inCutTail.replace(1021, 2, u"nT");  // characters 1022 and 1023 of the cut value
    std::u16string beforeCutTail = longValue;
    beforeCutTail.replace(1019, 2, u"nT");
    const std::pair<std::u16string, bool> cases[] = {
        {u"nS", false},                  // nothing left once the last two are dropped
        {u"nT", false},
        {u"xxxnS", false},               // only in the last two characters
        {u"nTxx", true},
        {u"nSx", false},                 // "n" is searched, "Sx" dropped
        {u"ab;nT;cd", true},
        {u"12nS34", true},
        {u"xnSnT", true},
        {u"NSxx", false},                // case matters, first letter
        {u"nsxx", false},                // case matters, second letter
        {u"NTxx", false},
        {u"ntxx", false},
        {u"n", false},
        {u"nZnXnYxx", false},
        {u"anTb", false},                // "an" is all that is searched
        {u"anTbc", true},
        {longValue, false},
        {beyondCut, false},
        {inCutTail, false},
        {beforeCutTail, true},
    };
    for (const auto& [value, expected] : cases) {
        SetBios(value);
        EXPECT_EQ(lmvx::HasBiosFeature(), expected) << std::string(value.begin(), value.begin() +
                                                                   static_cast<std::ptrdiff_t>(std::min<size_t>(value.size(), 12)));
    }
    EXPECT_EQ(fake::Platform().lastIniUnits, 1024u);
}

TEST_F(Probes, BiosProbeWithoutTheValue) {
    EXPECT_FALSE(lmvx::HasBiosFeature());  // no file, section or key
    SetBios(u"");
    EXPECT_FALSE(lmvx::HasBiosFeature());
    // The same key in another file or section does not count.
    fake::Platform().SetIniValue(u"D:\\Korvath\\BIN\\rstone_bbv2.ini", u"BIOS Strings", u"FeatureByte", u"nSnSnS");
    fake::Platform().SetIniValue(kIniPath, u"BIOS", u"FeatureByte", u"nSnSnS");
    EXPECT_FALSE(lmvx::HasBiosFeature());
    // Every call reads the file again.
    SetBios(u"xnTxx");
    EXPECT_TRUE(lmvx::HasBiosFeature());
    EXPECT_EQ(fake::Platform().iniReads, 4u);
}

TEST_F(Probes, TestMarkerIsAFolderInTheCommonAppDataFolder) {
    EXPECT_FALSE(lmvx::HasTestMarker());
    EXPECT_EQ(fake::Platform().QueriedDirectories(), std::vector<std::u16string>{u"C:\\ProgramData\\Lumivex.test"});
    fake::Platform().AddDirectory(u"C:\\ProgramData\\Lumivex.test");
    EXPECT_TRUE(lmvx::HasTestMarker());
    fake::Platform().SetCommonFolder(std::nullopt);
    EXPECT_FALSE(lmvx::HasTestMarker());
    EXPECT_EQ(fake::Platform().QueriedDirectories().size(), 2u);  // no folder: nothing queried
}

TEST_F(Probes, AMarkerPathBeyondMaxPathIsNoMarker) {
    // 246 units of folder and 13 of "\Lumivex.test" leave just the terminator's room.
    struct Case {
        size_t folderUnits;
        bool queried;
    };
    for (const Case c : {Case{246, true}, Case{247, false}, Case{259, false}, Case{260, false}, Case{400, false}}) {
        fake::Platform().Reset();
        const std::u16string folder = u"C:\\" + std::u16string(c.folderUnits - 3, u'a');
        fake::Platform().SetCommonFolder(folder);
        fake::Platform().AddDirectory(folder + u"\\Lumivex.test");
        EXPECT_EQ(lmvx::HasTestMarker(), c.queried) << c.folderUnits;
        EXPECT_EQ(fake::Platform().QueriedDirectories().size(), c.queried ? 1u : 0u) << c.folderUnits;
    }
}

}  // namespace
