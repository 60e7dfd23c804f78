#include "text.h"

#include "../common/utf8.h"

#include <cstdio>

namespace ctl {

std::optional<uint32_t> ParseU32(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const size_t start = hex ? 2 : 0;
    if (text.size() == start) return std::nullopt;
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return std::nullopt;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<uint32_t>(value);
}

std::optional<int32_t> ParseModeId(const std::string& text) {
    const auto value = ParseU32(text);
    if (!value || *value > 0x7FFFFFFFu) return std::nullopt;
    return static_cast<int32_t>(*value);
}

std::optional<bool> ParseSwitch(const std::string& text) {
    if (text == "on" || text == "1" || text == "true") return true;
    if (text == "off" || text == "0" || text == "false") return false;
    return std::nullopt;
}

std::optional<LvxString> ToLvx(const std::string& utf8, size_t maxUnits) {
    LvxString out;
    for (size_t i = 0; i < utf8.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(utf8[k]); };
        const unsigned char lead = byte(i);
        uint32_t code = 0;
        size_t length = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            code = lead, length = 1;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1Fu, length = 2, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0Fu, length = 3, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07u, length = 4, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > utf8.size()) return std::nullopt;
        for (size_t k = 1; k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
            code = (code << 6) | (byte(i + k) & 0x3Fu);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
        if (code == 0) return std::nullopt;  // would end the string early
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<LvxChar>(0xD800 + (code >> 10));
            out += static_cast<LvxChar>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<LvxChar>(code);
        }
        if (out.size() > maxUnits) return std::nullopt;
        i += length;
    }
    return out;
}

std::string FromLvx(const LvxChar* text, size_t maxUnits) {
    std::string out;
    const auto put = [&](uint32_t code) { tools::AppendUtf8(out, code); };
    for (size_t i = 0; i < maxUnits && text[i] != 0; ++i) {
        const uint32_t unit = static_cast<uint16_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < maxUnits) {
            const uint32_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                put(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        put(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
    return text;
}

}  // namespace ctl
