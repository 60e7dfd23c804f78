#include "commands.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "lmvx.h"
#include "text.h"

namespace ctl {

void BadArgument(const std::string& message) { throw Failure{kExitUsage, message}; }

namespace {

constexpr uint32_t kNotConnected = 0xFFFFFFFFu;
constexpr size_t kMaxListed = 26;  // what one capability reply carries

// ---- Values and their checks --------------------------------------------

uint32_t NumberArgument(const std::string& what, const std::string& text) {
    const auto value = ParseU32(text);
    if (!value) BadArgument(what + " '" + text + "' is not a number from 0 to 4294967295 (decimal or 0x-hex)");
    return *value;
}

int32_t ModeArgument(const std::string& text) {
    const auto value = ParseModeId(text);
    if (!value) BadArgument("display mode '" + text + "' is not a number from 0 to 2147483647");
    return *value;
}

bool SwitchArgument(const std::string& what, const std::string& text) {
    const auto value = ParseSwitch(text);
    if (!value) BadArgument(what + " '" + text + "' is neither on nor off");
    return *value;
}

LvxString NameArgument(const std::string& what, const std::string& text, size_t maxUnits) {
    if (text.empty()) BadArgument(what + " is empty");
    const auto value = ToLvx(text, maxUnits);
    if (!value) BadArgument(what + " is not UTF-8 text of at most " + std::to_string(maxUnits) + " UTF-16 units");
    return *value;
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

void RequireConnected(uint32_t value) {
    if (value == kNotConnected) Fail("not connected: the session has ended");
}

// ---- Picture controls -----------------------------------------------------

struct Control {
    const char* name;
    uint32_t vcp;
    uint32_t (*get)();
    void (*set)(uint32_t);
    bool listed;  // shown in hex: MCCS list values rather than levels
};

const std::array<Control, 7> kControls = {{
    {"brightness", 0x10, GetBrightness, nullptr, false},
    {"contrast", 0x12, GetContrast, SetContrast, false},
    {"white-point", 0x14, GetWhitePoint, SetWhitePoint, true},
    {"red-gain", 0x16, GetRedGain, SetRedGain, false},
    {"green-gain", 0x18, GetGreenGain, SetGreenGain, false},
    {"blue-gain", 0x1A, GetBlueGain, SetBlueGain, false},
    {"input-source", 0x60, GetInputSource, SetInputSource, true},
}};

std::string ControlNames() {
    std::string names;
    for (const Control& control : kControls) names += (names.empty() ? "" : ", ") + std::string(control.name);
    return names;
}

const Control& FindControl(const std::string& name) {
    for (const Control& control : kControls)
        if (name == control.name) return control;
    BadArgument("unknown control '" + name + "' (controls: " + ControlNames() + ")");
}

std::string ControlText(const Control& control, uint32_t value) {
    return control.listed ? Hex(value) : std::to_string(value);
}

void ShowControl(Output& out, const Control& control, uint32_t value) {
    out.Field(control.name, value, ControlText(control, value));
}

// ---- Lists ------------------------------------------------------------------

void ShowValueList(Output& out, const char* name, uint64_t (*list)(uint32_t*, uint64_t)) {
    // The export writes nothing when the monitor does not mark the code
    // supported, yet still returns the number it listed: an untouched first
    // element tells the two apart.
    std::array<uint32_t, kMaxListed> values;
    values.fill(kNotConnected);
    const uint64_t listed = list(values.data(), values.size());
    const size_t count = static_cast<size_t>(std::min<uint64_t>(listed, values.size()));
    if (count > 0 && values[0] == kNotConnected) {
        out.Field(name, Json::array(), "not supported (" + std::to_string(listed) + " values listed)");
        return;
    }
    Json json = Json::array();
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        json.push_back(values[i]);
        text += (i ? " " : "") + Hex(values[i]);
    }
    out.Field(name, json, text.empty() ? "none" : text);
}

void ShowModeList(Output& out) {
    std::array<int32_t, kMaxListed> modes{};
    const size_t count = static_cast<size_t>(GetSupportedDisplayModes(modes.data(), modes.size()));
    Json json = Json::array();
    std::string text;
    for (size_t i = 0; i < count && i < modes.size(); ++i) {
        json.push_back(modes[i]);
        text += (i ? " " : "") + std::to_string(modes[i]);
    }
    out.Field("modes", json, text.empty() ? "none" : text);
}

std::string ModeText(int32_t mode) { return mode < 0 ? "none (the monitor's mode has no identifier)" : std::to_string(mode); }

int32_t CurrentMode() {
    const int32_t mode = GetCurrentDisplayMode();
    // -1 is also the answer for a mode without identifier.
    if (mode < 0 && GetLVXStatus() != LVX_STATE_CONNECTED) Fail("not connected: the session has ended");
    return mode;
}

// ---- Automatic colour, partition ------------------------------------------

struct AppEntry {
    std::string name;
    std::string mode;
};

std::vector<AppEntry> AutoColorApps() {
    auto table = std::make_unique<AutoColorTable>();
    table->count = 0;
    const uint32_t count = std::min<uint32_t>(GetAutoColorTable(table.get()), LVX_AUTO_COLOR_MAX_APPS);
    std::vector<AppEntry> apps;
    for (uint32_t i = 0; i < count; ++i)
        apps.push_back({FromLvx(table->appNames[i], LVX_NAME_UNITS), FromLvx(table->modeNames[i], LVX_NAME_UNITS)});
    return apps;
}

const AppEntry* FindApp(const std::vector<AppEntry>& apps, const std::string& name) {
    const auto found = std::find_if(apps.begin(), apps.end(), [&](const AppEntry& app) { return app.name == name; });
    return found == apps.end() ? nullptr : &*found;
}

void ShowApps(Output& out, const std::vector<AppEntry>& apps) {
    Json json = Json::array();
    std::string text = std::to_string(apps.size());
    for (const AppEntry& app : apps) {
        json.push_back({{"name", app.name}, {"mode", app.mode}});
        text += "\n  " + app.name + ": " + app.mode;
    }
    out.Field("apps", json, text);
}

std::vector<std::string> ScreenNames() {
    DPScreenList list;
    list.count = 0;
    const uint32_t count = std::min<uint32_t>(GetDPSupportedScreens(&list), LVX_DP_MAX_SCREENS);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < count; ++i) names.push_back(FromLvx(list.screenNames[i], LVX_NAME_UNITS));
    return names;
}

std::string LayoutText(uint32_t layout) { return layout == kNotConnected ? "unknown" : std::to_string(layout); }

// ---- Watch ------------------------------------------------------------------

struct EventKind {
    LvxDataType type;
    const char* name;
    uint32_t (*value)();  // the getter that reads the new state, if any
};

uint32_t DisplayModeValue() { return static_cast<uint32_t>(GetCurrentDisplayMode()); }
uint32_t StatusValue() { return static_cast<uint32_t>(GetLVXStatus()); }

const EventKind kEvents[] = {
    {LVX_EVENT_BRIGHTNESS, "brightness", GetBrightness},
    {LVX_EVENT_CONTRAST, "contrast", GetContrast},
    {LVX_EVENT_WHITE_POINT, "white-point", GetWhitePoint},
    {LVX_EVENT_RED_GAIN, "red-gain", GetRedGain},
    {LVX_EVENT_GREEN_GAIN, "green-gain", GetGreenGain},
    {LVX_EVENT_BLUE_GAIN, "blue-gain", GetBlueGain},
    {LVX_EVENT_INPUT_SOURCE, "input-source", GetInputSource},
    {LVX_EVENT_DISPLAY_MODE, "display-mode", DisplayModeValue},
    {LVX_EVENT_SERVICE_100, "service-100", nullptr},
    {LVX_EVENT_SERVICE_101, "service-101", nullptr},
    {LVX_EVENT_SERVICE_STATUS_CHANGED, "status-changed", StatusValue},
    {LVX_EVENT_SERVICE_103, "service-103", nullptr},
    {LVX_EVENT_SERVICE_104, "service-104", nullptr},
    {LVX_EVENT_SERVICE_105, "service-105", nullptr},
};

Output* watchOutput = nullptr;
std::atomic<uint32_t> watchCount{0};
// SetEventHandler does not wait for a running call of the old handler: a
// call that began before the watch ended is waited for here, and one that
// begins after it touches nothing.
std::atomic<bool> watching{false};
std::atomic<int> handlerCalls{0};

void Describe(LvxDataType type);

// On the library's notification thread, one event at a time.
void OnEvent(LvxDataType type) {
    ++handlerCalls;
    if (watching) Describe(type);
    --handlerCalls;
}

void EndWatch() {
    watching = false;
    SetEventHandler(nullptr);
    while (handlerCalls != 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void Describe(LvxDataType type) {
    ++watchCount;
    const EventKind* kind = nullptr;
    for (const EventKind& candidate : kEvents)
        if (candidate.type == type) kind = &candidate;
    Json json = {{"event", kind != nullptr ? kind->name : "unknown"}, {"type", type}};
    std::string text = std::string(kind != nullptr ? kind->name : "unknown") + " (" + Hex(static_cast<uint32_t>(type)) + ")";
    if (kind != nullptr && kind->value != nullptr) {
        const uint32_t value = kind->value();
        if (type == LVX_EVENT_DISPLAY_MODE) {
            json["value"] = static_cast<int32_t>(value);
            text += ": " + ModeText(static_cast<int32_t>(value));
        } else if (type == LVX_EVENT_SERVICE_STATUS_CHANGED) {
            json["value"] = value;
            json["state"] = StateName(static_cast<int32_t>(value));
            text += ": " + std::string(StateName(static_cast<int32_t>(value)));
        } else {
            json["value"] = value;
            const bool listed = type == LVX_EVENT_WHITE_POINT || type == LVX_EVENT_INPUT_SOURCE;
            text += ": " + (listed ? Hex(value) : std::to_string(value));
        }
    }
    watchOutput->Stream(json, text);
}

void RunWatch(Output& out, const SessionOptions& options, uint32_t forMs) {
    watchOutput = &out;
    watchCount = 0;
    watching = true;
    CatchInterrupts();  // before the session starts: Ctrl-C during Start still stops it
    // Subscribed before the session starts, so that nothing after the
    // registration is missed; 0x105 is off unless asked for.
    SetEventHandler(OnEvent);
    EnableEvent(LVX_EVENT_ALL);
    EnableEvent(LVX_EVENT_SERVICE_105);
    try {
        Session session(options);
        out.Note(forMs == 0 ? "watching events until Ctrl-C" : "watching events for " + std::to_string(forMs) + " ms");
        WaitForInterrupt(forMs);
        EndWatch();
    } catch (...) {
        EndWatch();
        throw;
    }
    out.Note("watch ended: " + std::to_string(watchCount.load()) + " events");
}

void RunStatus(Output& out, const SessionOptions& options) {
    const bool ready = CheckService();
    out.Note(std::string("service: ") + (ready ? "ready" : "not ready"));
    out.Value("service_ready", ready);
    int32_t state = GetLVXStatus();
    std::optional<Failure> failure;
    if (ready) {
        try {
            Session session(options);
            state = GetLVXStatus();
        } catch (const Failure& f) {
            failure = f;
            state = GetLVXStatus();
        }
    }
    out.Note(std::string("state: ") + StateName(state) + " (" + std::to_string(state) + ")");
    out.Value("state", StateName(state));
    out.Value("state_code", state);
    const bool supported = IsPlatformSupported();
    out.Note(std::string("platform: ") + (supported ? "supported" : "not supported"));
    out.Value("platform_supported", supported);
    if (!ready || state != LVX_STATE_CONNECTED) {
        out.Finish();
        if (failure) throw *failure;
        Fail("not connected: the display service does not answer or is not ready");
    }
}

// ---- Registration -------------------------------------------------------------

class Builder {
public:
    explicit Builder(std::vector<Leaf>* leaves) : leaves_(leaves) {}

    CLI::App* Group(CLI::App* parent, const std::string& name, const std::string& description) {
        CLI::App* group = parent->add_subcommand(name, description);
        group->require_subcommand(1);
        return group;
    }

    // A leaf whose Prepare sees `words`.
    CLI::App* Add(CLI::App* parent, const std::string& name, const std::string& description,
                  std::function<Prepared(const Words&)> prepare, std::shared_ptr<Words>* words = nullptr) {
        auto collected = std::make_shared<Words>();
        CLI::App* app = parent->add_subcommand(name, description);
        leaves_->push_back({app, [collected, prepare] { return prepare(*collected); }});
        if (words != nullptr) *words = collected;
        return app;
    }

private:
    std::vector<Leaf>* leaves_;
};

Prepared Run(Need need, std::function<void(Output&)> run) { return {need, std::move(run)}; }

}  // namespace

void AddCommands(CLI::App& app, std::vector<Leaf>* leaves, const SessionOptions* session) {
    Builder b(leaves);
    std::shared_ptr<Words> w;

    // ---- Service and platform ----
    b.Add(&app, "status", "The service's readiness, the state a session reaches, and the platform",
          [session](const Words&) { return Run(Need::kNothing, [session](Output& out) { RunStatus(out, *session); }); });
    b.Add(&app, "check", "Whether the display service reports itself ready (exit status 1 if not)",
          [](const Words&) {
              return Run(Need::kNothing, [](Output& out) {
                  const bool ready = CheckService();
                  out.Note(std::string("service: ") + (ready ? "ready" : "not ready"));
                  out.Value("ready", ready);
                  if (!ready) {
                      out.Finish();
                      Fail("not connected: the display service does not answer or is not ready");
                  }
              });
          });
    b.Add(&app, "platform", "Whether this machine is a supported platform (decided locally, no service needed)",
          [](const Words&) {
              return Run(Need::kNothing, [](Output& out) {
                  const bool supported = IsPlatformSupported();
                  out.Note(std::string("platform: ") + (supported ? "supported" : "not supported"));
                  out.Value("supported", supported);
              });
          });
    CLI::App* watch = b.Add(
        &app, "watch",
        "Start a session and print each event with the value read back, until Ctrl-C or --for-ms (JSON: one "
        "object per line)",
        [session](const Words& words) {
            const uint32_t forMs = words.a.empty() ? 0 : NumberArgument("--for-ms", words.a);
            return Run(Need::kNothing, [session, forMs](Output& out) { RunWatch(out, *session, forMs); });
        },
        &w);
    watch->add_option("--for-ms", w->a, "Stop after N milliseconds (default: at Ctrl-C)");

    // ---- Picture controls ----
    CLI::App* get = b.Add(
        &app, "get", "Read picture controls (all when none is named)",
        [](const Words& words) {
            std::vector<const Control*> chosen;
            for (const std::string& name : words.list) chosen.push_back(&FindControl(name));
            if (chosen.empty())
                for (const Control& control : kControls) chosen.push_back(&control);
            return Run(Need::kSession, [chosen](Output& out) {
                for (const Control* control : chosen) {
                    const uint32_t value = control->get();
                    RequireConnected(value);
                    ShowControl(out, *control, value);
                }
            });
        },
        &w);
    get->add_option("control", w->list, "Controls: " + ControlNames());

    CLI::App* set = b.Add(
        &app, "set", "Set a picture control and read it back (exit status 1 when the monitor keeps its value)",
        [](const Words& words) {
            const Control& control = FindControl(words.a);
            if (control.set == nullptr) BadArgument(std::string(control.name) + " is read only");
            const uint32_t value = NumberArgument(std::string(control.name) + " value", words.b);
            return Run(Need::kSession, [&control, value](Output& out) {
                control.set(value);
                const uint32_t now = control.get();
                RequireConnected(now);
                if (now != value)
                    Fail("the monitor did not take " + std::string(control.name) + " " + ControlText(control, value) +
                         "; it is " + ControlText(control, now));
                ShowControl(out, control, now);
            });
        },
        &w);
    set->add_option("control", w->a, "Controls: " + ControlNames())->required();
    set->add_option("value", w->b, "The new value: decimal or 0x-hex MCCS value")->required();

    CLI::App* list = b.Add(
        &app, "list", "The supported white points, input sources and display modes (all when none is named)",
        [](const Words& words) {
            static const char* const kLists[] = {"white-points", "input-sources", "modes"};
            std::vector<std::string> chosen;
            for (const std::string& name : words.list) {
                if (std::find(std::begin(kLists), std::end(kLists), name) == std::end(kLists))
                    BadArgument("unknown list '" + name + "' (lists: white-points, input-sources, modes)");
                chosen.push_back(name);
            }
            if (chosen.empty()) chosen.assign(std::begin(kLists), std::end(kLists));
            return Run(Need::kSession, [chosen](Output& out) {
                for (const std::string& name : chosen) {
                    if (name == "white-points") ShowValueList(out, "white-points", GetSupportedWhitePoints);
                    else if (name == "input-sources") ShowValueList(out, "input-sources", GetSupportedInputSources);
                    else ShowModeList(out);
                }
            });
        },
        &w);
    list->add_option("list", w->list, "Lists: white-points, input-sources, modes");

    // ---- Display modes ----
    CLI::App* mode = b.Group(&app, "mode", "The display mode (the library's identifiers, see 'list modes')");
    b.Add(mode, "get", "The current display mode", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            const int32_t now = CurrentMode();
            out.Field("mode", now, ModeText(now));
        });
    });
    CLI::App* modeSet = b.Add(
        mode, "set", "Switch the display mode and read it back",
        [](const Words& words) {
            const int32_t id = ModeArgument(words.a);
            return Run(Need::kSession, [id](Output& out) {
                SetDisplayMode(id);
                const int32_t now = CurrentMode();
                if (now != id) Fail("the monitor did not switch to display mode " + std::to_string(id) + "; it is in " + ModeText(now));
                out.Field("mode", now, ModeText(now));
            });
        },
        &w);
    modeSet->add_option("mode", w->a, "A display-mode identifier")->required();

    b.Add(&app, "reset", "Ask the monitor to restore its factory defaults (where this machine allows it)",
          [](const Words&) {
              return Run(Need::kSession, [](Output& out) {
                  FactoryReset();
                  const bool supported = IsPlatformSupported();
                  out.Field("factory-reset", "requested",
                            std::string("requested (the library sends it only where the platform allows; platform ") +
                                (supported ? "supported" : "not supported") + ")");
              });
          });

    // ---- Automatic colour ----
    CLI::App* autocolor = b.Group(&app, "autocolor", "Automatic colour mode per application");
    b.Add(autocolor, "status", "Whether it is on, and the application table", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            out.Field("auto-color", IsAutoColorEnabled(), OnOff(IsAutoColorEnabled()));
            ShowApps(out, AutoColorApps());
        });
    });
    for (const bool on : {true, false})
        b.Add(autocolor, OnOff(on), on ? "Switch automatic colour on" : "Switch automatic colour off",
              [on](const Words&) {
                  return Run(Need::kSession, [on](Output& out) {
                      EnableAutoColor(on);
                      const bool now = IsAutoColorEnabled();
                      if (now != on) Fail(std::string("the service kept automatic colour ") + OnOff(now));
                      out.Field("auto-color", now, OnOff(now));
                  });
              });
    b.Add(autocolor, "modes", "The colour modes the service offers", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            auto modes = std::make_unique<AutoColorModeList>();
            modes->count = 0;
            getSupportedAutoColorMode(modes.get());
            Json json = Json::array();
            std::string text;
            for (uint32_t i = 0; i < std::min<uint32_t>(modes->count, LVX_AUTO_COLOR_MAX_MODES); ++i) {
                const std::string name = FromLvx(modes->modeNames[i], LVX_NAME_UNITS);
                json.push_back(name);
                text += (i ? ", " : "") + name;
            }
            out.Field("modes", json, text.empty() ? "none" : text);
        });
    });
    CLI::App* add = b.Add(
        autocolor, "add", "Add an application (or give a known one a new path)",
        [](const Words& words) {
            const LvxString name = NameArgument("application name", words.a, LVX_NAME_UNITS - 1);
            const LvxString path = NameArgument("application path", words.b, LVX_APP_PATH_UNITS - 1);
            return Run(Need::kSession, [name, path, text = words.a](Output& out) {
                AddAutoColorApp(name.c_str(), path.c_str());
                const auto apps = AutoColorApps();
                const AppEntry* app = FindApp(apps, text);
                if (app == nullptr) Fail("the service did not add '" + text + "'");
                out.Field("app", text, text);
                out.Field("mode", app->mode, app->mode);
            });
        },
        &w);
    add->add_option("name", w->a, "The application's name (at most 99 characters)")->required();
    add->add_option("path", w->b, "The application's path (at most 299 characters)")->required();
    CLI::App* remove = b.Add(
        autocolor, "delete", "Delete an application from the table",
        [](const Words& words) {
            const LvxString name = NameArgument("application name", words.a, LVX_NAME_UNITS - 1);
            return Run(Need::kSession, [name, text = words.a](Output& out) {
                if (FindApp(AutoColorApps(), text) == nullptr) Fail("no application '" + text + "' in the table");
                DeleteAutoColorApp(name.c_str());
                if (FindApp(AutoColorApps(), text) != nullptr) Fail("the service kept '" + text + "'");
                out.Field("deleted", text, text);
            });
        },
        &w);
    remove->add_option("name", w->a, "The application's name")->required();
    CLI::App* appMode = b.Add(
        autocolor, "set-mode", "Give an application a colour mode (see 'autocolor modes')",
        [](const Words& words) {
            const LvxString name = NameArgument("application name", words.a, LVX_NAME_UNITS - 1);
            const LvxString modeName = NameArgument("mode name", words.b, LVX_NAME_UNITS - 1);
            return Run(Need::kSession, [name, modeName, text = words.a, modeText = words.b](Output& out) {
                SetAutoColorAppMode(name.c_str(), modeName.c_str());
                const auto apps = AutoColorApps();
                const AppEntry* app = FindApp(apps, text);
                if (app == nullptr) Fail("no application '" + text + "' in the table");
                if (app->mode != modeText) Fail("the service kept mode '" + app->mode + "' for '" + text + "'");
                out.Field("app", text, text);
                out.Field("mode", app->mode, app->mode);
            });
        },
        &w);
    appMode->add_option("name", w->a, "The application's name")->required();
    appMode->add_option("mode", w->b, "The colour mode's name")->required();

    // ---- Desktop partition ----
    CLI::App* partition = b.Group(&app, "partition", "Desktop partition: screen layouts");
    b.Add(partition, "status", "Whether it is on, and each screen with its layout", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            const bool on = IsDesktopPartitionEnabled();
            out.Field("partition", on, OnOff(on));
            const auto names = ScreenNames();
            Json json = Json::array();
            std::string text = std::to_string(names.size());
            for (uint32_t i = 0; i < names.size(); ++i) {
                const uint32_t layout = GetDesktopPartition(i);
                json.push_back({{"screen", i}, {"name", names[i]}, {"layout", layout == kNotConnected ? Json() : Json(layout)}});
                text += "\n  " + std::to_string(i) + ": " + names[i] + " (layout " + LayoutText(layout) + ")";
            }
            out.Field("screens", json, text);
        });
    });
    for (const bool on : {true, false})
        b.Add(partition, OnOff(on), on ? "Switch desktop partition on" : "Switch desktop partition off",
              [on](const Words&) {
                  return Run(Need::kSession, [on](Output& out) {
                      EnableDesktopPartition(on);
                      const bool now = IsDesktopPartitionEnabled();
                      if (now != on) Fail(std::string("the service kept desktop partition ") + OnOff(now));
                      out.Field("partition", now, OnOff(now));
                  });
              });
    CLI::App* layoutGet = b.Add(
        partition, "get", "A screen's layout",
        [](const Words& words) {
            const uint32_t screen = NumberArgument("screen", words.a);
            return Run(Need::kSession, [screen](Output& out) {
                const uint32_t layout = GetDesktopPartition(screen);
                if (layout == kNotConnected) Fail("the service has no layout for screen " + std::to_string(screen));
                out.Field("screen", screen, std::to_string(screen));
                out.Field("layout", layout, std::to_string(layout));
            });
        },
        &w);
    layoutGet->add_option("screen", w->a, "The screen's number (see 'partition status')")->required();
    CLI::App* layoutSet = b.Add(
        partition, "set", "Set a screen's layout and read it back",
        [](const Words& words) {
            const uint32_t screen = NumberArgument("screen", words.a);
            const uint32_t layout = NumberArgument("layout", words.b);
            return Run(Need::kSession, [screen, layout](Output& out) {
                SetDesktopPartition(screen, layout);
                const uint32_t now = GetDesktopPartition(screen);
                if (now != layout)
                    Fail("the service did not take layout " + std::to_string(layout) + " for screen " +
                         std::to_string(screen) + "; it is " + LayoutText(now));
                out.Field("screen", screen, std::to_string(screen));
                out.Field("layout", now, std::to_string(now));
            });
        },
        &w);
    layoutSet->add_option("screen", w->a, "The screen's number")->required();
    layoutSet->add_option("layout", w->b, "The layout value (the service's)")->required();
    b.Add(partition, "customize", "Ask the service to open the layout customizer", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            LuanchDesktopPartitionCustomizer();
            out.Field("customizer", "requested", "requested");
        });
    });

    // ---- Schedule and power ----
    CLI::App* schedule = b.Group(&app, "schedule", "The display-mode schedule");
    b.Add(schedule, "status", "Whether it is on, its four times and its display mode", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            const bool on = GetSchedule();
            out.Field("schedule", on, OnOff(on));
            uint32_t t[4] = {};
            if (GetScheduleTime(&t[0], &t[1], &t[2], &t[3]))
                out.Field("times", Json::array({t[0], t[1], t[2], t[3]}),
                          std::to_string(t[0]) + " " + std::to_string(t[1]) + " " + std::to_string(t[2]) + " " +
                              std::to_string(t[3]));
            else
                out.Field("times", Json(), "unknown");
            const int32_t modeId = GetShedulerMode();
            out.Field("mode", modeId, ModeText(modeId));
        });
    });
    for (const bool on : {true, false})
        b.Add(schedule, OnOff(on), on ? "Switch the schedule on" : "Switch the schedule off", [on](const Words&) {
            return Run(Need::kSession, [on](Output& out) {
                EnableSchedule(on);
                const bool now = GetSchedule();
                if (now != on) Fail(std::string("the service kept the schedule ") + OnOff(now));
                out.Field("schedule", now, OnOff(now));
            });
        });
    CLI::App* times = b.Add(
        schedule, "times", "Set the schedule's four time fields (passed to the service unchanged)",
        [](const Words& words) {
            if (words.list.size() != 4) BadArgument("times needs exactly four values");
            std::array<uint32_t, 4> t{};
            for (size_t i = 0; i < 4; ++i) t[i] = NumberArgument("time " + std::to_string(i + 1), words.list[i]);
            return Run(Need::kSession, [t](Output& out) {
                SetScheduleTime(t[0], t[1], t[2], t[3]);
                std::array<uint32_t, 4> now{};
                if (!GetScheduleTime(&now[0], &now[1], &now[2], &now[3]) || now != t)
                    Fail("the service did not take the schedule's times");
                out.Field("times", Json::array({now[0], now[1], now[2], now[3]}),
                          std::to_string(now[0]) + " " + std::to_string(now[1]) + " " + std::to_string(now[2]) + " " +
                              std::to_string(now[3]));
            });
        },
        &w);
    times->add_option("time", w->list, "T1 T2 T3 T4")->required()->expected(4);
    CLI::App* scheduleMode = b.Add(
        schedule, "mode", "Set the schedule's display mode and read it back",
        [](const Words& words) {
            const int32_t id = ModeArgument(words.a);
            return Run(Need::kSession, [id](Output& out) {
                SetShedulerMode(id);
                const int32_t now = GetShedulerMode();
                if (now != id) Fail("the service did not take display mode " + std::to_string(id) + " for the schedule; it is " + ModeText(now));
                out.Field("mode", now, ModeText(now));
            });
        },
        &w);
    scheduleMode->add_option("mode", w->a, "A display-mode identifier")->required();

    CLI::App* power = b.Add(
        &app, "power", "Power savings: show them, or switch them on or off",
        [](const Words& words) {
            std::optional<bool> wanted;
            if (!words.a.empty()) wanted = SwitchArgument("power savings", words.a);
            return Run(Need::kSession, [wanted](Output& out) {
                if (wanted) SetPowerSavings(*wanted);
                const bool now = GetPowerSavings();
                if (wanted && now != *wanted) Fail(std::string("the service kept power savings ") + OnOff(now));
                out.Field("power-savings", now, OnOff(now));
            });
        },
        &w);
    power->add_option("state", w->a, "on or off");

    b.Add(&app, "hdr", "Whether the display is in HDR operation", [](const Words&) {
        return Run(Need::kSession, [](Output& out) {
            const bool on = GetHDRStatus();
            out.Field("hdr", on, OnOff(on));
        });
    });
    b.Add(&app, "features", "The service's feature word", [](const Words&) {
        return Run(Need::kService, [](Output& out) {
            const uint32_t features = GetFeatures();
            out.Field("features", features, Hex(features, 8));
        });
    });
}

}  // namespace ctl
