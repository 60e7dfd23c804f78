// The relations between the compiled adapter id lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace {

using lmvx::AdapterIdList;

std::vector<std::u16string> Entries(const AdapterIdList& list) {
    return std::vector<std::u16string>(list.entries, list.entries + list.count);
}

std::set<std::u16string> Distinct(const AdapterIdList& list) {
    const std::vector<std::u16string> entries = Entries(list);
    return std::set<std::u16string>(entries.begin(), entries.end());
}

bool Contains(const AdapterIdList& list, const std::u16string& id) {
    const std::vector<std::u16string> entries = Entries(list);
    return std::find(entries.begin(), entries.end(), id) != entries.end();
}

struct Named {
    const char* name;
    const AdapterIdList* list;
};
const Named kLists[] = {
    {"Supported", &lmvx::SupportedAdapterIds}, {"Base", &lmvx::BaseAdapterIds},
    {"Reset", &lmvx::ResetAdapterIds},         {"Feature", &lmvx::FeatureAdapterIds},
    {"ModeA", &lmvx::ModeAdapterIdsA},         {"ModeB", &lmvx::ModeAdapterIdsB},
};

TEST(AdapterIdLists, SizesAndDistinctEntries) {
    const std::pair<size_t, size_t> expected[] = {{88, 87}, {85, 84}, {85, 84}, {9, 9}, {1, 1}, {1, 1}};
    for (size_t i = 0; i < std::size(kLists); ++i) {
        EXPECT_EQ(kLists[i].list->count, expected[i].first) << kLists[i].name;
        EXPECT_EQ(Distinct(*kLists[i].list).size(), expected[i].second) << kLists[i].name;
    }
}

TEST(AdapterIdLists, EveryEntryIsASubsystemTagAndFourUpperCaseHexDigits) {
    for (const Named& named : kLists) {
        for (const std::u16string& entry : Entries(*named.list)) {
            ASSERT_EQ(entry.size(), 12u) << named.name;
            EXPECT_EQ(entry.substr(0, 8), u"&SUBSYS_") << named.name;
            for (char16_t c : entry.substr(8))
                EXPECT_TRUE((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F')) << named.name;
        }
    }
}

TEST(AdapterIdLists, SupportedIsBaseInOrderPlusThreeFurtherIds) {
    const std::set<std::u16string> base = Distinct(lmvx::BaseAdapterIds);
    std::vector<std::u16string> withoutFurther;
    std::vector<std::u16string> further;
    for (const std::u16string& entry : Entries(lmvx::SupportedAdapterIds))
        (base.count(entry) != 0 ? withoutFurther : further).push_back(entry);
    EXPECT_EQ(withoutFurther, Entries(lmvx::BaseAdapterIds));
    ASSERT_EQ(further.size(), 3u);
    EXPECT_EQ(std::set<std::u16string>(further.begin(), further.end()).size(), 3u);
    EXPECT_EQ(Entries(lmvx::ResetAdapterIds), Entries(lmvx::BaseAdapterIds));

    // The one id that stands twice is the same in Supported and Base.
    const auto twice = [](const AdapterIdList& list) {
        std::vector<std::u16string> entries = Entries(list);
        std::sort(entries.begin(), entries.end());
        return *std::adjacent_find(entries.begin(), entries.end());
    };
    EXPECT_EQ(twice(lmvx::SupportedAdapterIds), twice(lmvx::BaseAdapterIds));

    // A and B: one further id each, a different one each, in no other list.
    const std::u16string a = lmvx::ModeAdapterIdsA.entries[0];
    const std::u16string b = lmvx::ModeAdapterIdsB.entries[0];
    EXPECT_NE(a, b);
    for (const std::u16string& mode : {a, b}) {
        EXPECT_NE(std::find(further.begin(), further.end(), mode), further.end());
        EXPECT_FALSE(Contains(lmvx::BaseAdapterIds, mode));
        EXPECT_FALSE(Contains(lmvx::ResetAdapterIds, mode));
        EXPECT_FALSE(Contains(lmvx::FeatureAdapterIds, mode));
    }
}

TEST(AdapterIdLists, FeatureSharesExactlyOneIdWithTheLongLists) {
    std::vector<std::u16string> shared;
    for (const std::u16string& entry : Entries(lmvx::FeatureAdapterIds)) {
        const bool inSupported = Contains(lmvx::SupportedAdapterIds, entry);
        EXPECT_EQ(Contains(lmvx::BaseAdapterIds, entry), inSupported);
        EXPECT_EQ(Contains(lmvx::ResetAdapterIds, entry), inSupported);
        if (inSupported) shared.push_back(entry);
    }
    EXPECT_EQ(shared.size(), 1u);
}

TEST(AdapterIdLists, NoEntryMatchesWinesOnlyAdapter) {
    const std::u16string wine = u"PCI\\VEN_0000&DEV_0000&SUBSYS_00000000&REV_00";
    for (const Named& named : kLists)
        for (const std::u16string& entry : Entries(*named.list))
            EXPECT_EQ(wine.find(entry), std::u16string::npos) << named.name;
}

}  // namespace
