// Argument values and strings as lmvxctl takes them from the command line
// and hands them to the library. Nothing here calls the library.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "lmvx.h"

namespace ctl {

using LvxString = std::basic_string<LvxChar>;

// A u32 written in decimal or with 0x in hexadecimal, nothing else: no sign,
// no spaces, no trailing characters, at most 0xFFFFFFFF.
std::optional<uint32_t> ParseU32(const std::string& text);

// A display-mode identifier: as ParseU32, at most 0x7FFFFFFF.
std::optional<int32_t> ParseModeId(const std::string& text);

// "on"/"off" (also "1"/"0", "true"/"false").
std::optional<bool> ParseSwitch(const std::string& text);

// UTF-8 to UTF-16. Empty when the text is not valid UTF-8 or needs more than
// `maxUnits` code units.
std::optional<LvxString> ToLvx(const std::string& utf8, size_t maxUnits);

// UTF-16 to UTF-8 (an unpaired surrogate becomes U+FFFD); reads at most
// `maxUnits` units and stops at the first zero.
std::string FromLvx(const LvxChar* text, size_t maxUnits);

// 0x-hexadecimal with at least two digits, upper case.
std::string Hex(uint32_t value, int digits = 2);

}  // namespace ctl
