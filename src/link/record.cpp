#include "link/record.h"

namespace lmvx {

void ServiceRecord::SetString(uint32_t offset, uint32_t slotUnits, const char16_t* text) {
    uint8_t* slot = Bytes() + offset;
    std::memset(slot, 0, size_t{slotUnits} * 2);
    if (text == nullptr) return;
    for (uint32_t i = 0; i + 1 < slotUnits && text[i] != 0; ++i) std::memcpy(slot + 2 * i, &text[i], 2);
}

uint32_t ServiceRecord::ReadString(uint32_t offset, uint32_t slotUnits, char16_t* out, uint32_t outUnits) const {
    if (outUnits == 0) return 0;
    const uint8_t* slot = Bytes() + offset;
    uint32_t n = 0;
    while (n + 1 < slotUnits && n + 1 < outUnits) {
        char16_t unit;
        std::memcpy(&unit, slot + 2 * n, 2);
        if (unit == 0) break;
        out[n++] = unit;
    }
    out[n] = 0;
    return n;
}

}  // namespace lmvx
