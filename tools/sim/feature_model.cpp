#include "feature_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "../common/utf8.h"
#include "link/service.h"

namespace sim {
namespace {

constexpr uint32_t kFeaturesChanged = 0x100;
constexpr uint32_t kSettingChanged = 0x101;
constexpr uint32_t kHdrChanged = 0x103;
constexpr uint32_t kPowerSavingsChanged = 0x104;

constexpr uint32_t kNameUnits = lmvx::kStringSlotUnits;
constexpr uint32_t kListOffset = 16;
constexpr uint32_t kTableModesOffset = 6016;
constexpr uint32_t kUnknownMode = 0xFFFFFFFFu;

bool ParseNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (*end != 0 || parsed > 0xFFFFFFFFull) return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}

bool ParseSwitch(const std::string& text, bool* on) {
    if (text != "0" && text != "1") return false;
    *on = text == "1";
    return true;
}

// UTF-8 (as typed on the control line) to UTF-16 and back. Bytes that are
// not valid UTF-8 are taken one by one as Latin-1.
std::u16string Utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        bool valid = length != 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) valid = (byte(i + k) & 0xC0) == 0x80;
        if (!valid) {
            out.push_back(lead);
            ++i;
            continue;
        }
        uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) code = (code << 6) | (byte(i + k) & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        tools::AppendUtf8(out, code);
    }
    return out;
}

// The words after the verb, joined by single spaces and split at commas.
std::vector<std::u16string> NameList(const std::vector<std::string>& args) {
    std::string line;
    for (size_t i = 1; i < args.size(); ++i) line += (i > 1 ? " " : "") + args[i];
    std::vector<std::u16string> names;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t comma = std::min(line.find(',', start), line.size());
        names.push_back(Utf16(line.substr(start, comma - start)));
        start = comma + 1;
    }
    return names;
}

std::u16string ReadSlot(const lmvx::ServiceRecord& record, uint32_t offset, uint32_t units) {
    std::vector<char16_t> text(units);
    const uint32_t n = record.ReadString(offset, units, text.data(), units);
    return std::u16string(text.data(), n);
}

void WriteList(lmvx::ServiceRecord* reply, uint32_t offset, const std::vector<std::u16string>& names) {
    reply->SetWord(12, static_cast<uint32_t>(names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        reply->SetString(offset + static_cast<uint32_t>(i) * lmvx::kStringSlotBytes, kNameUnits, names[i].c_str());
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

}  // namespace

const char* FeatureModel::ControlHelp() {
    return "  features N             the feature word\n"
           "  hdr|power|autocolor|partition|schedule 0|1\n"
           "                         switch HDR, power savings, automatic colour,\n"
           "                         desktop partition or the schedule off/on\n"
           "  times T1 T2 T3 T4      the schedule's four time fields\n"
           "  schedule-mode V        the schedule's display mode (service value)\n"
           "  modes A,B,...|none     the colour-mode names (at most 30)\n"
           "  screens N|A,B,...      N screens (0 to 8) or the screens by name\n"
           "  layout SCREEN VALUE    a screen's layout\n"
           "  app-add NAME,PATH[,MODE] / app-delete NAME / app-mode NAME,MODE / apps-clear\n"
           "  feature-state          the feature services' state on one line\n";
}

FeatureModel::State FeatureModel::Snapshot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return state_;
}

void FeatureModel::Notify(const Changes& changes) {
    if (!notify_) return;
    for (const auto& [code, value] : changes) notify_(code, value);
}

bool FeatureModel::AddApp(const std::u16string& name, const std::u16string& path, const std::u16string* mode,
                          Changes* changes) {
    if (name.empty()) return false;
    const auto found =
        std::find_if(state_.apps.begin(), state_.apps.end(), [&](const App& app) { return app.name == name; });
    if (found != state_.apps.end()) {
        found->path = path;
        if (mode != nullptr) found->mode = *mode;
    } else {
        if (state_.apps.size() >= kMaxApps) return false;
        const std::u16string initial = mode != nullptr            ? *mode
                                       : state_.modes.empty() ? std::u16string()
                                                              : state_.modes.front();
        state_.apps.push_back({name, path, initial});
    }
    changes->emplace_back(kSettingChanged, ORV::kAddAutoColorApp);
    return true;
}

bool FeatureModel::Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply) {
    Changes changes;
    Outcome outcome;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outcome = AnswerLocked(request, reply, &changes);
    }
    if (outcome == Outcome::kRefused) reply->result = 0;
    Notify(changes);
    return outcome != Outcome::kNotServed;
}

FeatureModel::Outcome FeatureModel::AnswerLocked(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply,
                                                 Changes* changes) {
    const uint32_t word12 = request.Word(12);
    const uint32_t word16 = request.Word(16);
    // A switch: only 0 and 1, and a change is reported as `command`.
    const auto flip = [&](bool* value, uint32_t command) {
        if (word12 > 1) return Outcome::kRefused;
        if (*value != (word12 == 1)) {
            *value = word12 == 1;
            changes->emplace_back(kSettingChanged, command);
        }
        return Outcome::kDone;
    };
    const auto findApp = [&](const std::u16string& name) {
        return std::find_if(state_.apps.begin(), state_.apps.end(), [&](const App& app) { return app.name == name; });
    };
    const auto done = [](bool served) { return served ? Outcome::kDone : Outcome::kRefused; };
    switch (request.command) {
        case ORV::kEnableDesktopPartition: return flip(&state_.partition, ORV::kEnableDesktopPartition);
        case ORV::kDesktopPartitionState: reply->SetWord(12, state_.partition ? 1 : 0); return Outcome::kDone;
        case ORV::kGetDesktopPartition:
            if (word12 >= state_.screens.size()) return Outcome::kRefused;
            reply->SetWord(16, state_.screens[word12].layout);
            return Outcome::kDone;
        case ORV::kSetDesktopPartition:
            if (word12 >= state_.screens.size()) return Outcome::kRefused;
            if (state_.screens[word12].layout != word16) {
                state_.screens[word12].layout = word16;
                changes->emplace_back(kSettingChanged, ORV::kSetDesktopPartition);
            }
            return Outcome::kDone;
        case ORV::kOpenLayoutCustomizer: ++state_.customizerRequests; return Outcome::kDone;
        case ORV::kEnableAutoColor: return flip(&state_.autoColor, ORV::kEnableAutoColor);
        case ORV::kAutoColorState: reply->SetWord(12, state_.autoColor ? 1 : 0); return Outcome::kDone;
        case ORV::kAddAutoColorApp:
            return done(AddApp(ReadSlot(request, ORV::kAppNameOffset, kNameUnits),
                               ReadSlot(request, ORV::kAppPathOffset, ORV::kAppPathUnits), nullptr, changes));
        case ORV::kDeleteAutoColorApp: {
            const auto found = findApp(ReadSlot(request, ORV::kAppNameOffset, kNameUnits));
            if (found == state_.apps.end()) return Outcome::kRefused;
            state_.apps.erase(found);
            changes->emplace_back(kSettingChanged, ORV::kDeleteAutoColorApp);
            return Outcome::kDone;
        }
        case ORV::kSetAutoColorAppMode: {
            const auto found = findApp(ReadSlot(request, ORV::kAppNameOffset, kNameUnits));
            const std::u16string mode = ReadSlot(request, ORV::kAppModeOffset, kNameUnits);
            if (found == state_.apps.end() ||
                std::find(state_.modes.begin(), state_.modes.end(), mode) == state_.modes.end())
                return Outcome::kRefused;
            if (found->mode != mode) {
                found->mode = mode;
                changes->emplace_back(kSettingChanged, ORV::kSetAutoColorAppMode);
            }
            return Outcome::kDone;
        }
        case ORV::kGetAutoColorTable: {
            std::vector<std::u16string> names, modes;
            for (const App& app : state_.apps) {
                names.push_back(app.name);
                modes.push_back(app.mode);
            }
            WriteList(reply, kTableModesOffset, modes);
            WriteList(reply, kListOffset, names);
            return Outcome::kDone;
        }
        case ORV::kGetScreenList: {
            std::vector<std::u16string> names;
            for (const Screen& screen : state_.screens) names.push_back(screen.name);
            WriteList(reply, kListOffset, names);
            return Outcome::kDone;
        }
        case ORV::kGetColorModeList: WriteList(reply, kListOffset, state_.modes); return Outcome::kDone;
        case ORV::kEnableSchedule: return flip(&state_.schedule, ORV::kEnableSchedule);
        case ORV::kScheduleState: reply->SetWord(12, state_.schedule ? 1 : 0); return Outcome::kDone;
        case ORV::kGetScheduleTimes:
            for (uint32_t i = 0; i < 4; ++i) reply->SetWord(12 + 4 * i, state_.times[i]);
            return Outcome::kDone;
        case ORV::kSetScheduleTimes: {
            bool changed = false;
            for (uint32_t i = 0; i < 4; ++i) {
                changed |= state_.times[i] != request.Word(12 + 4 * i);
                state_.times[i] = request.Word(12 + 4 * i);
            }
            if (changed) changes->emplace_back(kSettingChanged, ORV::kSetScheduleTimes);
            return Outcome::kDone;
        }
        case ORV::kGetScheduleMode: reply->SetWord(16, state_.scheduleMode); return Outcome::kDone;
        case ORV::kSetScheduleMode:
            if (word16 == kUnknownMode) return Outcome::kRefused;
            if (state_.scheduleMode != word16) {
                state_.scheduleMode = word16;
                changes->emplace_back(kSettingChanged, ORV::kSetScheduleMode);
            }
            return Outcome::kDone;
        case ORV::kHdrState: reply->SetWord(12, state_.hdr ? 1 : 0); return Outcome::kDone;
        case ORV::kFeatureWord: reply->SetWord(12, state_.features); return Outcome::kDone;
        case ORV::kPowerSavings:
            if (word12 > 1) return Outcome::kRefused;
            // A zero flag is also how the state is asked for: it changes nothing.
            if (word12 == 1 && !state_.powerSavings) {
                state_.powerSavings = true;
                changes->emplace_back(kPowerSavingsChanged, 1);
            }
            reply->SetWord(12, state_.powerSavings ? 1 : 0);
            return Outcome::kDone;
        default: return Outcome::kNotServed;
    }
}

bool FeatureModel::Control(const std::vector<std::string>& args, std::string* reply) {
    if (args.empty()) return false;
    static const char* const kCommands[] = {"features",  "hdr",   "power",   "autocolor",  "partition",
                                            "schedule",  "times", "schedule-mode", "modes", "screens",
                                            "layout",    "app-add", "app-delete", "app-mode", "apps-clear",
                                            "feature-state"};
    if (std::find(std::begin(kCommands), std::end(kCommands), args[0]) == std::end(kCommands)) return false;
    Changes changes;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (ControlLocked(args, reply, &changes)) {
            if (reply->empty()) *reply = "ok";
        } else {
            changes.clear();
        }
    }
    Notify(changes);
    return true;
}

bool FeatureModel::ControlLocked(const std::vector<std::string>& args, std::string* reply, Changes* changes) {
    const std::string& verb = args[0];
    const auto fail = [&](const std::string& usage) {
        *reply = "error: usage: " + usage;
        return false;
    };
    uint32_t a = 0, b = 0;
    bool on = false;

    if (verb == "features") {
        if (args.size() != 2 || !ParseNumber(args[1], &a)) return fail("features N");
        if (state_.features != a) changes->emplace_back(kFeaturesChanged, a);
        state_.features = a;
        return true;
    }
    if (verb == "hdr" || verb == "power" || verb == "autocolor" || verb == "partition" || verb == "schedule") {
        if (args.size() != 2 || !ParseSwitch(args[1], &on)) return fail(verb + " 0|1");
        bool* value = verb == "hdr"         ? &state_.hdr
                      : verb == "power"     ? &state_.powerSavings
                      : verb == "autocolor" ? &state_.autoColor
                      : verb == "partition" ? &state_.partition
                                            : &state_.schedule;
        if (*value != on) {
            const uint32_t value01 = on ? 1 : 0;
            if (verb == "hdr") changes->emplace_back(kHdrChanged, value01);
            else if (verb == "power") changes->emplace_back(kPowerSavingsChanged, value01);
            else
                changes->emplace_back(kSettingChanged, verb == "autocolor"   ? ORV::kEnableAutoColor
                                                       : verb == "partition" ? ORV::kEnableDesktopPartition
                                                                             : ORV::kEnableSchedule);
        }
        *value = on;
        return true;
    }
    if (verb == "times") {
        uint32_t times[4];
        if (args.size() != 5) return fail("times T1 T2 T3 T4");
        for (size_t i = 0; i < 4; ++i)
            if (!ParseNumber(args[i + 1], &times[i])) return fail("times T1 T2 T3 T4");
        if (!std::equal(times, times + 4, state_.times)) changes->emplace_back(kSettingChanged, ORV::kSetScheduleTimes);
        std::copy(times, times + 4, state_.times);
        return true;
    }
    if (verb == "schedule-mode") {
        if (args.size() != 2 || !ParseNumber(args[1], &a)) return fail("schedule-mode V");
        if (state_.scheduleMode != a) changes->emplace_back(kSettingChanged, ORV::kSetScheduleMode);
        state_.scheduleMode = a;
        return true;
    }
    if (verb == "modes") {
        if (args.size() < 2) return fail("modes NAME,NAME,...|none (at most 30)");
        std::vector<std::u16string> names;
        if (!(args.size() == 2 && args[1] == "none")) names = NameList(args);
        const bool blank = std::any_of(names.begin(), names.end(), [](const auto& n) { return n.empty(); });
        if (names.size() > kMaxModes || blank) return fail("modes NAME,NAME,...|none (at most 30)");
        state_.modes = names;
        changes->emplace_back(kSettingChanged, ORV::kGetColorModeList);
        return true;
    }
    if (verb == "screens") {
        if (args.size() < 2) return fail("screens N|NAME,NAME,... (at most 8)");
        std::vector<std::u16string> names;
        if (args.size() == 2 && ParseNumber(args[1], &a)) {
            if (a > kMaxScreens) return fail("screens N|NAME,NAME,... (at most 8)");
            for (uint32_t i = 1; i <= a; ++i) names.push_back(u"Screen " + Utf16(std::to_string(i)));
        } else {
            names = NameList(args);
            const bool blank = std::any_of(names.begin(), names.end(), [](const auto& n) { return n.empty(); });
            if (names.size() > kMaxScreens || blank) return fail("screens N|NAME,NAME,... (at most 8)");
        }
        std::vector<Screen> screens;
        for (size_t i = 0; i < names.size(); ++i)
            screens.push_back({names[i], i < state_.screens.size() ? state_.screens[i].layout : 0});
        state_.screens = screens;
        changes->emplace_back(kSettingChanged, ORV::kGetScreenList);
        return true;
    }
    if (verb == "layout") {
        if (args.size() != 3 || !ParseNumber(args[1], &a) || !ParseNumber(args[2], &b)) return fail("layout SCREEN VALUE");
        if (a >= state_.screens.size()) {
            *reply = "error: no screen " + std::to_string(a);
            return false;
        }
        if (state_.screens[a].layout != b) changes->emplace_back(kSettingChanged, ORV::kSetDesktopPartition);
        state_.screens[a].layout = b;
        return true;
    }
    if (verb == "app-add") {
        const std::vector<std::u16string> fields = args.size() >= 2 ? NameList(args) : std::vector<std::u16string>{};
        if (fields.size() < 2 || fields.size() > 3) return fail("app-add NAME,PATH[,MODE]");
        if (!AddApp(fields[0], fields[1], fields.size() == 3 ? &fields[2] : nullptr, changes)) {
            *reply = "error: empty name or full table (30 applications)";
            return false;
        }
        return true;
    }
    if (verb == "app-delete" || verb == "app-mode") {
        const std::vector<std::u16string> fields = args.size() >= 2 ? NameList(args) : std::vector<std::u16string>{};
        const size_t wanted = verb == "app-delete" ? 1 : 2;
        if (fields.size() != wanted) return fail(verb == "app-delete" ? "app-delete NAME" : "app-mode NAME,MODE");
        const auto found = std::find_if(state_.apps.begin(), state_.apps.end(),
                                        [&](const App& app) { return app.name == fields[0]; });
        if (found == state_.apps.end()) {
            *reply = "error: no application '" + Utf8(fields[0]) + "'";
            return false;
        }
        if (wanted == 1) {
            state_.apps.erase(found);
            changes->emplace_back(kSettingChanged, ORV::kDeleteAutoColorApp);
        } else {
            found->mode = fields[1];
            changes->emplace_back(kSettingChanged, ORV::kSetAutoColorAppMode);
        }
        return true;
    }
    if (verb == "apps-clear") {
        if (args.size() != 1) return fail("apps-clear");
        if (!state_.apps.empty()) changes->emplace_back(kSettingChanged, ORV::kDeleteAutoColorApp);
        state_.apps.clear();
        return true;
    }
    // feature-state
    std::string line = "autocolor=" + std::to_string(state_.autoColor) + " apps=";
    for (size_t i = 0; i < state_.apps.size(); ++i)
        line += (i ? "," : "") + Utf8(state_.apps[i].name) + ":" + Utf8(state_.apps[i].mode);
    line += " modes=";
    for (size_t i = 0; i < state_.modes.size(); ++i) line += (i ? "," : "") + Utf8(state_.modes[i]);
    line += " partition=" + std::to_string(state_.partition) + " screens=";
    for (size_t i = 0; i < state_.screens.size(); ++i)
        line += (i ? "," : "") + Utf8(state_.screens[i].name) + ":" + std::to_string(state_.screens[i].layout);
    line += " customizer=" + std::to_string(state_.customizerRequests) +
            " schedule=" + std::to_string(state_.schedule) + " times=" + std::to_string(state_.times[0]) + "," +
            std::to_string(state_.times[1]) + "," + std::to_string(state_.times[2]) + "," +
            std::to_string(state_.times[3]) + " schedule-mode=" + std::to_string(state_.scheduleMode) +
            " power=" + std::to_string(state_.powerSavings) + " hdr=" + std::to_string(state_.hdr) +
            " features=" + Hex(state_.features);
    *reply = line;
    return true;
}

}  // namespace sim
