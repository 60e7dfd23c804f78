// The adapter id lists. Base and Reset are one list of 85 entries (one id
// stands twice); Supported is Base with three further ids placed among them,
// two of which make up the display-mode lists A and B.
// Feature shares exactly one id with the three long lists.
#include <iterator>

#include "platform/platform.h"

namespace lmvx {
namespace {

// clang-format off
constexpr const char16_t* kSupported[] = {
    u"&SUBSYS_1597", u"&SUBSYS_F9B8", u"&SUBSYS_C918", u"&SUBSYS_6B34", u"&SUBSYS_D669", u"&SUBSYS_521F",
    u"&SUBSYS_1AE7", u"&SUBSYS_13AE", u"&SUBSYS_20CD", u"&SUBSYS_2E34", u"&SUBSYS_E307", u"&SUBSYS_D62C",
    u"&SUBSYS_1CE4", u"&SUBSYS_9BA5", u"&SUBSYS_4B6A", u"&SUBSYS_5053", u"&SUBSYS_6654", u"&SUBSYS_28FE",
    u"&SUBSYS_7269", u"&SUBSYS_3BAA", u"&SUBSYS_61C7", u"&SUBSYS_6B4F", u"&SUBSYS_3672", u"&SUBSYS_2044",
    u"&SUBSYS_D9CC", u"&SUBSYS_5B47", u"&SUBSYS_316B", u"&SUBSYS_4413", u"&SUBSYS_BEFB", u"&SUBSYS_382A",
    u"&SUBSYS_E850", u"&SUBSYS_79F2", u"&SUBSYS_9C0A", u"&SUBSYS_3DFC", u"&SUBSYS_2163", u"&SUBSYS_245C",
    u"&SUBSYS_A606", u"&SUBSYS_2D29", u"&SUBSYS_3D6A", u"&SUBSYS_1A69", u"&SUBSYS_E8D4", u"&SUBSYS_BF5D",
    u"&SUBSYS_60AA", u"&SUBSYS_A9E9", u"&SUBSYS_B080", u"&SUBSYS_FEEF", u"&SUBSYS_F9EB", u"&SUBSYS_2DD9",
    u"&SUBSYS_1843", u"&SUBSYS_7230", u"&SUBSYS_7C1B", u"&SUBSYS_4799", u"&SUBSYS_5509", u"&SUBSYS_3D6A",
    u"&SUBSYS_1692", u"&SUBSYS_8115", u"&SUBSYS_2919", u"&SUBSYS_6347", u"&SUBSYS_8C75", u"&SUBSYS_5BC6",
    u"&SUBSYS_48C8", u"&SUBSYS_2EB6", u"&SUBSYS_47B5", u"&SUBSYS_3D76", u"&SUBSYS_D0F1", u"&SUBSYS_2DB2",
    u"&SUBSYS_3A77", u"&SUBSYS_F35B", u"&SUBSYS_BD8D", u"&SUBSYS_2F76", u"&SUBSYS_5471", u"&SUBSYS_535E",
    u"&SUBSYS_4404", u"&SUBSYS_14B8", u"&SUBSYS_AED2", u"&SUBSYS_5C5C", u"&SUBSYS_B7D9", u"&SUBSYS_3B6C",
    u"&SUBSYS_5E00", u"&SUBSYS_2FCC", u"&SUBSYS_267E", u"&SUBSYS_1012", u"&SUBSYS_94B3", u"&SUBSYS_A7A9",
    u"&SUBSYS_E8ED", u"&SUBSYS_2FAC", u"&SUBSYS_3101", u"&SUBSYS_E479",
};

constexpr const char16_t* kBase[] = {
    u"&SUBSYS_1597", u"&SUBSYS_F9B8", u"&SUBSYS_C918", u"&SUBSYS_6B34", u"&SUBSYS_D669", u"&SUBSYS_521F",
    u"&SUBSYS_1AE7", u"&SUBSYS_13AE", u"&SUBSYS_20CD", u"&SUBSYS_2E34", u"&SUBSYS_E307", u"&SUBSYS_D62C",
    u"&SUBSYS_1CE4", u"&SUBSYS_9BA5", u"&SUBSYS_4B6A", u"&SUBSYS_5053", u"&SUBSYS_6654", u"&SUBSYS_28FE",
    u"&SUBSYS_7269", u"&SUBSYS_61C7", u"&SUBSYS_6B4F", u"&SUBSYS_3672", u"&SUBSYS_2044", u"&SUBSYS_D9CC",
    u"&SUBSYS_5B47", u"&SUBSYS_316B", u"&SUBSYS_4413", u"&SUBSYS_BEFB", u"&SUBSYS_382A", u"&SUBSYS_E850",
    u"&SUBSYS_79F2", u"&SUBSYS_9C0A", u"&SUBSYS_3DFC", u"&SUBSYS_2163", u"&SUBSYS_245C", u"&SUBSYS_A606",
    u"&SUBSYS_2D29", u"&SUBSYS_3D6A", u"&SUBSYS_1A69", u"&SUBSYS_E8D4", u"&SUBSYS_BF5D", u"&SUBSYS_60AA",
    u"&SUBSYS_A9E9", u"&SUBSYS_B080", u"&SUBSYS_FEEF", u"&SUBSYS_F9EB", u"&SUBSYS_2DD9", u"&SUBSYS_1843",
    u"&SUBSYS_7230", u"&SUBSYS_7C1B", u"&SUBSYS_4799", u"&SUBSYS_5509", u"&SUBSYS_3D6A", u"&SUBSYS_1692",
    u"&SUBSYS_8115", u"&SUBSYS_2919", u"&SUBSYS_6347", u"&SUBSYS_5BC6", u"&SUBSYS_48C8", u"&SUBSYS_2EB6",
    u"&SUBSYS_47B5", u"&SUBSYS_3D76", u"&SUBSYS_D0F1", u"&SUBSYS_2DB2", u"&SUBSYS_3A77", u"&SUBSYS_F35B",
    u"&SUBSYS_BD8D", u"&SUBSYS_2F76", u"&SUBSYS_5471", u"&SUBSYS_535E", u"&SUBSYS_4404", u"&SUBSYS_14B8",
    u"&SUBSYS_AED2", u"&SUBSYS_5C5C", u"&SUBSYS_B7D9", u"&SUBSYS_3B6C", u"&SUBSYS_5E00", u"&SUBSYS_2FCC",
    u"&SUBSYS_267E", u"&SUBSYS_1012", u"&SUBSYS_94B3", u"&SUBSYS_A7A9", u"&SUBSYS_E8ED", u"&SUBSYS_2FAC",
    u"&SUBSYS_3101",
};

constexpr const char16_t* kFeature[] = {
    u"&SUBSYS_3212", u"&SUBSYS_F02B", u"&SUBSYS_C6D7", u"&SUBSYS_2F06", u"&SUBSYS_1CE4", u"&SUBSYS_3535",
    u"&SUBSYS_BF7B", u"&SUBSYS_E074", u"&SUBSYS_6CB1",
};

constexpr const char16_t* kModeA[] = {u"&SUBSYS_3BAA"};
constexpr const char16_t* kModeB[] = {u"&SUBSYS_8C75"};
// clang-format on

static_assert(std::size(kSupported) == 88 && std::size(kBase) == 85);
static_assert(std::size(kFeature) == 9 && std::size(kModeA) == 1 && std::size(kModeB) == 1);

template <typename Array>
constexpr AdapterIdList ListOf(const Array& entries) {
    return {entries, static_cast<uint32_t>(std::size(entries))};
}

}  // namespace

const AdapterIdList SupportedAdapterIds = ListOf(kSupported);
const AdapterIdList BaseAdapterIds = ListOf(kBase);
const AdapterIdList ResetAdapterIds = ListOf(kBase);  // the same entries
const AdapterIdList FeatureAdapterIds = ListOf(kFeature);
const AdapterIdList ModeAdapterIdsA = ListOf(kModeA);
const AdapterIdList ModeAdapterIdsB = ListOf(kModeB);

}  // namespace lmvx
