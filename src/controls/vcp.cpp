#include "controls/controls.h"
#include "link/service.h"

namespace lmvx {
namespace {

constexpr uint32_t kSupportedOffset = 20;
constexpr uint32_t kCountOffset = 24;
constexpr uint32_t kValuesOffset = 28;

}  // namespace

uint32_t GetVcpValue(uint32_t vcpCode) {
    uint32_t value = 0;
    return ORV::LvxAsService::GetVcpValue(vcpCode, &value) ? value : 0;
}

bool SetVcpValue(uint32_t vcpCode, uint32_t value) { return ORV::LvxAsService::SetVcpValue(vcpCode, value); }

bool GetVcpCapabilities(uint32_t vcpCode, ValueList* values) {
    ServiceRecord reply;
    if (!ORV::LvxAsService::GetVcpCapabilities(vcpCode, &reply)) return false;
    const bool supported = reply.Word(kSupportedOffset) == 1;
    if (values == nullptr) return supported;
    // The count is the service's: negative reads nothing, and no more values
    // are read than the reply's value field holds.
    const int32_t count = static_cast<int32_t>(reply.Word(kCountOffset));
    for (int32_t i = 0; i < count && i < static_cast<int32_t>(kMaxCapabilityValues); ++i)
        values->push_back(reply.Word(kValuesOffset + 4 * static_cast<uint32_t>(i)));
    return supported;
}

uint64_t ListSupportedValues(uint32_t vcpCode, uint32_t* buffer, uint64_t capacity) {
    if (buffer == nullptr) return 0;
    ValueList values;
    if (GetVcpCapabilities(vcpCode, &values) && capacity != 0) {
        uint64_t written = 0;
        for (auto it = values.begin(); it != values.end() && written < capacity; ++it) buffer[written++] = *it;
    }
    return values.size();
}

}  // namespace lmvx
