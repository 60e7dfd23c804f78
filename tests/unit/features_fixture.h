// Shared by the feature-service unit tests: the connected simulated service
// (controls_fixture.h) and helpers for records, caller strings and caller
// buffers filled with a guard pattern.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "controls_fixture.h"
#include "exports/api.h"

class FeatureService : public ConnectedService {
protected:
    // The requests of `command` received so far, in order.
    std::vector<lmvx::ServiceRecord> Sent(uint32_t command) {
        std::vector<lmvx::ServiceRecord> sent;
        for (const auto& record : Sim().Requests())
            if (record.command == command) sent.push_back(record);
        return sent;
    }
};

// A caller string of `length` characters: 'A', 'B', ... cycling.
inline std::u16string Name(size_t length, char16_t first = u'A') {
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text.push_back(static_cast<char16_t>(first + i % 26));
    return text;
}

inline const LvxChar* L(const std::u16string& text) { return reinterpret_cast<const LvxChar*>(text.c_str()); }

// The string in a caller slot, up to its zero (at most `units` units read).
inline std::u16string SlotText(const LvxChar* slot, size_t units = 100) {
    std::u16string text;
    for (size_t i = 0; i < units && slot[i] != 0; ++i) text.push_back(static_cast<char16_t>(slot[i]));
    return text;
}

// Fills any caller buffer with the guard byte.
constexpr uint8_t kGuardByte = 0xA5;
constexpr char16_t kGuardUnit = 0xA5A5;
template <typename T>
void Guard(T* buffer) {
    std::memset(buffer, kGuardByte, sizeof *buffer);
}
template <typename T>
bool AllGuard(const T& buffer, size_t from = 0, size_t to = sizeof(T)) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&buffer);
    for (size_t i = from; i < to; ++i)
        if (bytes[i] != kGuardByte) return false;
    return true;
}

// A script that writes names into list slots of a reply: count at 12 and
// each name (without a zero when it has 100 units) at first + 200 * i.
inline sim::Script ListReply(int32_t count, uint32_t first, std::vector<std::u16string> names,
                             uint32_t second = 0, std::vector<std::u16string> secondNames = {}) {
    sim::Script script;
    script.edit = [=](lmvx::ServiceRecord& reply) {
        std::memset(reply.payload, 0, sizeof reply.payload);
        reply.SetWord(12, static_cast<uint32_t>(count));
        const auto put = [&](uint32_t base, const std::vector<std::u16string>& list) {
            for (size_t i = 0; i < list.size(); ++i) {
                const size_t units = std::min<size_t>(list[i].size() + 1, 100);
                std::memcpy(reply.Bytes() + base + 200 * i, list[i].c_str(), 2 * units);
            }
        };
        put(first, names);
        if (second != 0) put(second, secondNames);
    };
    return script;
}

// `count` names "<prefix>0", "<prefix>1", ...
inline std::vector<std::u16string> Numbered(const std::u16string& prefix, size_t count) {
    std::vector<std::u16string> names;
    for (size_t i = 0; i < count; ++i) {
        std::u16string name = prefix;
        for (char c : std::to_string(i)) name.push_back(static_cast<char16_t>(c));
        names.push_back(name);
    }
    return names;
}
