// The simulated feature services: automatic colour, desktop partition, schedule, power savings, HDR and the feature word.
//
// State, all in memory, with its initial values:
//   automatic colour off; an application table of at most 30 entries (name,
//   path, mode), empty; the colour-mode names "Default", "Movie", "Gaming",
//   "Photo", "Web" (at most 30); desktop partition off; the screens
//   "Screen 1" and "Screen 2" (at most 8), each with its layout (0); the
//   number of customizer requests; the schedule off, its four time fields 0
//   and its display mode 0 (a service value); power savings off; HDR off;
//   the feature word 0.
//
// Commands served (anything refused is answered with result 0):
//   5/6 desktop partition switch and state; 7/8 a screen's layout (the
//   screen number is the index in the list of command 18; unknown screens
//   are refused); 9 the customizer request; 10/11 automatic colour switch
//   and state; 12 adds an application (an empty name or a full table is
//   refused; a known name gets the new path and keeps its mode; a new one
//   gets the first mode name); 13 deletes one (unknown names refused); 14
//   sets its mode (unknown application, or a mode not listed, refused); 15
//   the table; 18 the screen names; 21 the mode names; 22/23 the schedule
//   switch and state; 24/25 its four time fields; 26/27 its display mode
//   (0xFFFFFFFF refused); 28 HDR; 29 the feature word; 30 power savings: a
//   flag of 1 switches it on, a flag of 0 changes nothing (the library sends
//   the same request to ask for the state); both answer the state at 12.
//   Switches accept only 0 and 1.
//
// Notifications, posted through the notifier on every change, by the host
// or through Control():
//   0x100  the feature word changed            value: the new word
//   0x101  a setting changed                   value: the command code that
//          sets it (5 partition switch, 8 a layout, 10 automatic-colour
//          switch, 12/13/14 the table, 21 the mode list, 18 the screen list,
//          22 schedule switch, 25 its times, 27 its display mode)
//   0x103  HDR switched                        value: 1 on, 0 off
//   0x104  power savings switched              value: 1 on, 0 off
//
// Control commands (words; numbers decimal or 0x-hexadecimal; NAME lists are
// the rest of the line split at commas, so names may hold spaces):
//   features N                 the feature word
//   hdr 0|1                    HDR off / on
//   power 0|1                  power savings off / on
//   autocolor 0|1              automatic colour off / on
//   partition 0|1              desktop partition off / on
//   schedule 0|1               the schedule off / on
//   times T1 T2 T3 T4          the schedule's four time fields
//   schedule-mode V            the schedule's display mode (service value)
//   modes NAME,NAME,...        the colour-mode names (at most 30; "none": empty)
//   screens N                  N screens (0 to 8) named "Screen 1".."Screen N"
//   screens NAME,NAME,...      the screens by name (at most 8), layouts kept by index
//   layout SCREEN VALUE        a screen's layout
//   app-add NAME,PATH[,MODE]   adds or updates an application
//   app-delete NAME            deletes one
//   app-mode NAME,MODE         sets an application's mode (any name)
//   apps-clear                 empties the table
//   feature-state              the whole state on one line
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "link/record.h"

namespace sim {

class FeatureModel {
public:
    static constexpr size_t kMaxApps = 30;
    static constexpr size_t kMaxModes = 30;
    static constexpr size_t kMaxScreens = 8;

    struct App {
        std::u16string name;
        std::u16string path;
        std::u16string mode;
    };
    struct Screen {
        std::u16string name;
        uint32_t layout = 0;
    };
    // Everything the model keeps; Snapshot() hands out a copy.
    struct State {
        bool autoColor = false;
        std::vector<App> apps;
        std::vector<std::u16string> modes{u"Default", u"Movie", u"Gaming", u"Photo", u"Web"};
        bool partition = false;
        std::vector<Screen> screens{{u"Screen 1", 0}, {u"Screen 2", 0}};
        uint32_t customizerRequests = 0;
        bool schedule = false;
        uint32_t times[4] = {0, 0, 0, 0};
        uint32_t scheduleMode = 0;
        bool powerSavings = false;
        bool hdr = false;
        uint32_t features = 0;
    };

    // Fills *reply (already a copy of the request with result 1) for the
    // commands this model serves; false for any other command.
    bool Answer(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply);

    // A command of the simulator's control interface (already split into
    // words, e.g. {"hdr", "1"}). False when the command is not this model's;
    // otherwise *reply holds a one-line answer ("error: ..." on bad
    // arguments).
    bool Control(const std::vector<std::string>& args, std::string* reply);
    // The help text of the control commands above.
    static const char* ControlHelp();

    // How the model tells the host about a change: posts notification
    // (code, value) to the registered window. Set once, before serving.
    using Notifier = std::function<void(uint32_t code, uint32_t value)>;
    void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

    State Snapshot();

private:
    using Changes = std::vector<std::pair<uint32_t, uint32_t>>;

    enum class Outcome { kNotServed, kDone, kRefused };

    // Under the lock.
    Outcome AnswerLocked(const lmvx::ServiceRecord& request, lmvx::ServiceRecord* reply, Changes* changes);
    // Under the lock; false when the command is refused (*reply says why).
    bool ControlLocked(const std::vector<std::string>& args, std::string* reply, Changes* changes);
    bool AddApp(const std::u16string& name, const std::u16string& path, const std::u16string* mode,
                Changes* changes);
    void Notify(const Changes& changes);

    std::mutex mutex_;
    State state_;
    Notifier notify_;
};

}  // namespace sim
