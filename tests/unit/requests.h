// Service records as the tests write and compare them.
#pragma once

#include <cstring>
#include <utility>
#include <vector>

#include "link/record.h"

using lmvx::ServiceRecord;
using Words = std::vector<std::pair<uint32_t, uint32_t>>;

// A request: size, command and `words`; every other byte zero.
inline ServiceRecord Request(uint32_t command, const Words& words = {}) {
    ServiceRecord record = ServiceRecord::Request(command);
    for (const auto& [offset, value] : words) record.SetWord(offset, value);
    return record;
}

inline bool Same(const ServiceRecord& a, const ServiceRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
