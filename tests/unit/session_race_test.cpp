// Start, Stop, refreshes, the notification threads and the handler,
// interleaved by the test through the fakes' hold points rather than by the
// scheduler.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exports/api.h"
#include "fakes/hooks.h"
#include "os/os.h"
#include "session/connection.h"
#include "session/notification.h"
#include "sim_fixture.h"

namespace {

using lmvx::ConnectionState;
using lmvx::NotificationWindow;

class Race : public SimulatedService {};

// ---- The schedule explorer ------------------------------------------------
//
// Host actors (Start, Stop, a status refresh, the service's notifications)
// and the notification threads the fakes start move one at a time, from one
// named point of the fakes to the next. An actor runs on until it waits
// ("sleep", an idle "message-loop") or ends; then the next one in turn that
// has not waited in vain (back at a wait with nothing changed) runs, and
// when all have, the one preempted last, or, once the hosts have ended, the
// last Stop. At the points below the explorer may instead preempt the actor,
// and it tries every schedule with up to two preemptions (thread sanitizer:
// a sample of those with two), checking after each step:
// - the slot holds a window exactly while the current session's is
//   published, and then that session's own; a session without a thread is
//   stopped (or failed); a quit goes only to the window of the session its
//   Stop ended;
// - the handler runs on one thread at a time, each event at most once, in
//   the order posted; a handler swap never waits for a call under way;
// - once every status question is answered, a live session's state is the
//   answer to the one asked last;
// - the service gets command 17 once for each Stop(true) that ended a
//   session, and after it no registration of an older window and no polling
//   interval before a new registration;
// - a Start returns false when a Stop began and returned while it ran, and
//   never waits for a thread of an ended session;
// and at the end: a live session's window is the one registered, and after
// a last Stop every actor ends (a handler call under way holding up no other
// actor), with the slot empty.
const std::set<std::string> kPreemptible = {
    "companion-lookup", "answer-36", "ask-1",       "answer-1",       "window-exists", "ask-32",      "stop",
    "ask-17",           "post",      "thread-start", "window-created", "set-lock", "handler-begin", "handler-end",
    "thread-end"};

struct Scenario {
    const char* name;
    // Each a line of commands: start; fail, nothread, nowindow (a Start
    // without the companion, a thread, a window); stop, stop! (notifying);
    // status; mute or swap (the handler: none, another); a code to post.
    std::vector<std::string> hosts;
    size_t queueCapacity = SIZE_MAX;
    bool firstStatusZero = false;  // the service answers 0 to the first status question, then 1
};
using Schedule = std::vector<std::pair<size_t, std::string>>;  // (step, actor preempting there)

// Two handlers alike. A change of handler (which must not wait for a call
// under way) may land between a dispatch's read of the handler and its call.
std::atomic<int> handlersInside{0};
std::atomic<bool> handlersOverlapped{false};
std::vector<LvxDataType> delivered;  // written by the actor that moves, read between steps
template <int>
void RecordingHandler(LvxDataType type) {
    fake::Checkpoint("handler-begin");
    if (++handlersInside > 1) handlersOverlapped = true;
    delivered.push_back(type);
    fake::Checkpoint("handler-end");
    --handlersInside;
}

class Exploration {
public:
    Exploration(const Scenario& scenario, const Schedule& schedule) : scenario_(scenario), schedule_(schedule) {}

    // Plays the schedule: false when a check failed.
    bool Play() {
        fake::Session().Reset();
        fake::Session().queueCapacity = scenario_.queueCapacity;
        sim::Simulator sim;
        sim_ = &sim;
        if (!sim.Start()) return Fail("no simulator");
        if (scenario_.firstStatusZero) sim.Once(1, {.words = {{12, 0}}});
        handlersInside = 0, handlersOverlapped = false, delivered.clear();
        SetEventHandler(RecordingHandler<0>);
        {
            fake::Lockstep lockstep;
            steps_ = &lockstep;
            for (const std::string& line : scenario_.hosts) Spawn(line);
            Explore();
            if (ok_) Finish();
            ::Stop(false);  // after a failure: every actor can end once released
        }
        SetEventHandler(nullptr);
        if (!Eventually([] { return fake::Session().threadsRunning == 0; })) Fail("a notification thread lives on");
        return ok_;
    }
    Schedule choices;     // the preemptions possible after the schedule's last one
    std::string failure;  // the first check that failed

private:
    bool Fail(const std::string& what) {
        if (ok_) failure = what + " (step " + std::to_string(step_) + ")";
        return ok_ = false;
    }
    bool Ended(const std::string& actor) { return steps_->Where(actor) == "end"; }
    static bool Waits(const std::string& point) { return point == "sleep" || point == "message-loop"; }

    void Spawn(const std::string& line) {
        order_.push_back("host" + std::to_string(order_.size()));
        steps_->Spawn(order_.back(), [this, line] {
            std::istringstream commands(line);
            for (std::string command; commands >> command;) {
                const size_t begun = step_;
                if (command == "start" && ::Start()) {
                    starts_.emplace_back(begun, step_);
                } else if (command.rfind("stop", 0) == 0) {
                    fake::Checkpoint("stop");
                    const size_t from = step_;
                    endsToTell_ += command == "stop!" && ConnectionState.load() != lmvx::kStopped;
                    ::Stop(command == "stop!");
                    stops_.emplace_back(from, step_);
                } else if (command == "status") {
                    GetLVXStatus();
                } else if (command == "mute" || command == "swap") {
                    SetEventHandler(command == "mute" ? nullptr : RecordingHandler<1>);
                } else if (command == "fail" || command == "nothread" || command == "nowindow") {
                    fake::Session().companionPresent = command != "fail";
                    fake::Session().threadCreationFails = command == "nothread";
                    fake::Session().windowCreationFails = command == "nowindow";
                    if (::Start()) Fail("a Start true in spite of " + command);
                    fake::Session().companionPresent = true;
                    fake::Session().threadCreationFails = fake::Session().windowCreationFails = false;
                } else if (command != "start") {
                    posts_ += sim_->Notify(std::stoi(command, nullptr, 16), 0);
                }
            }
        });
    }
    void NoteNewThreads() {
        while (sessionOf_.size() < fake::Session().threadsStarted) {
            order_.push_back("thread" + std::to_string(sessionOf_.size() + 1));
            sessionOf_[order_.back()] = ConnectionState.Load().number;
        }
    }
    // The next in turn that has not waited in vain; when all have, the one
    // preempted last.
    std::string NextActor(const std::string& from) {
        const size_t at = std::find(order_.begin(), order_.end(), from) - order_.begin();
        for (size_t i = 1; i <= order_.size(); ++i) {
            const std::string& actor = order_[(at + i) % order_.size()];
            if (!Ended(actor) && waited_.count(actor) == 0 &&
                std::find(preempted_.begin(), preempted_.end(), actor) == preempted_.end())
                return actor;
        }
        const bool hostsEnded =
            std::none_of(order_.begin(), order_.end(), [&](auto& a) { return a.rfind("host", 0) == 0 && !Ended(a); });
        if (preempted_.empty() && !hostsEnded) Fail("a host waits for ever");
        if (preempted_.empty() || hostsEnded) return "";  // the last Stop comes next, the preempted still held
        const std::string actor = preempted_.back();
        const lmvx::Session now = ConnectionState.Load();
        for (const std::string& host : order_)
            if (host.rfind("host", 0) == 0 && waited_.count(host) != 0 && sessionOf_.count(actor) != 0 &&
                (sessionOf_[actor] != now.number || now.state == lmvx::kStopped))
                Fail(host + " waits for a thread of an ended session");
        preempted_.pop_back();
        waited_.clear();
        return actor;
    }
    std::vector<uint64_t> Fingerprint() {
        const lmvx::Session s = ConnectionState.Load();
        return {s.number, static_cast<uint64_t>(s.state), static_cast<uint64_t>(s.thread), s.registering, s.answered,
                NotificationWindow.load(), sim_->RequestCount(), delivered.size(), posts_,
                fake::Session().threadsStarted, fake::Session().lastQuit, fake::Session().companionLookups};
    }

    void Explore() {
        std::string actor = order_.front();
        size_t next = 0;  // of the schedule's preemptions
        for (step_ = 0; ok_; ++step_) {
            if (step_ == 600) return void(Fail("no end within the step bound"));
            NoteNewThreads();
            if (Ended(actor) || Waits(steps_->Where(actor))) actor = NextActor(actor);
            if (actor.empty()) return;  // every actor ended or waits
            if (next < schedule_.size() && schedule_[next].first == step_) {
                const std::string& to = schedule_[next++].second;
                preempted_.erase(std::remove(preempted_.begin(), preempted_.end(), to), preempted_.end());
                preempted_.push_back(actor);
                actor = to;
            } else if (next == schedule_.size() && kPreemptible.count(steps_->Where(actor)) != 0) {
                for (const std::string& other : order_)
                    if (other != actor && !Ended(other)) choices.emplace_back(step_, other);
            }
            const std::string from = steps_->Where(actor);
            const uint64_t quits = fake::Session().lastQuit;
            const std::vector<uint64_t> before = Fingerprint();
            if (from == "stop") stopping_[actor] = ConnectionState.Load().number;
            if (from == "ask-1") questions_[asking_[actor]].answer = scenario_.firstStatusZero && answered_++ == 0 ? 0 : 1;
            const std::string to = steps_->Run(actor);
            if (to == "hang") Fail(actor + " hangs");
            if (to == "ask-1") asking_[actor] = questions_.size(), questions_.push_back({ConnectionState.Load().number});
            if (from == "answer-1") questions_[asking_[actor]].stored = true;  // or refused
            if (to == "window-created") windowOf_[sessionOf_[actor]] = fake::Session().lastWindow;
            if (fake::Session().lastQuit != quits &&
                (stopping_.count(actor) == 0 || fake::Session().lastQuit != windowOf_[stopping_[actor]]))
                Fail("a quit to a window not of the session " + actor + " stopped");
            // Waited in vain: back at a wait with nothing changed since its last.
            const std::vector<uint64_t> after = Fingerprint();
            if (after != before) waited_.clear();
            if (Waits(to) && lastWait_[actor] == after) waited_.insert(actor);
            if (Waits(to)) lastWait_[actor] = after;
            NoteNewThreads();
            Check();
        }
    }

    void Check() {
        const lmvx::Session now = ConnectionState.Load();
        const uint64_t slot = NotificationWindow.load();
        if ((slot != 0) != (now.thread == lmvx::ThreadPhase::kPublished)) Fail("slot and phase disagree");
        if (slot != 0 && slot != windowOf_[now.number]) Fail("the slot holds another session's window");
        if (now.thread == lmvx::ThreadPhase::kNone && now.state != lmvx::kStopped && now.state != lmvx::kStartFailed)
            Fail("a session without a thread that is not stopped");
        if (handlersOverlapped) Fail("two handler calls at once");
        // Every scenario posts its codes in rising order.
        if (std::adjacent_find(delivered.begin(), delivered.end(), std::greater_equal<>()) != delivered.end())
            Fail("events out of order, or twice");
        if (!questions_.empty() && std::all_of(questions_.begin(), questions_.end(), [](auto& q) { return q.stored; }) &&
            questions_.back().session == now.number && now.state != lmvx::kStopped &&
            now.state != (questions_.back().answer == 1 ? lmvx::kConnected : lmvx::kDisconnected))
            Fail("an older status answer stored over a newer one");
        const auto requests = sim_->Requests();
        for (; seen_ < requests.size(); ++seen_) {
            const ServiceRecord& r = requests[seen_];
            if (r.command == 17) windowAtEnd_ = fake::Session().lastWindow, ended_ = true, ++endsTold_;
            if (endsTold_ > endsToTell_) Fail("command 17 without a Stop(true) that ended a session");
            if (r.command == 32 && ended_ && r.Word64(12) <= windowAtEnd_) Fail("an older window registered after 17");
            if (r.command >= 37 && r.command <= 41 && ended_) Fail("polling set after command 17");
            if (r.command == 32) ended_ = false;
        }
        for (const auto& [startBegun, startEnded] : starts_)
            for (const auto& [stopBegun, stopEnded] : stops_)
                if (stopBegun > startBegun && stopEnded < startEnded) Fail("a Start true after a Stop during it");
    }

    // The hosts have ended: the state they left, then a last Stop.
    void Finish() {
        const lmvx::Session now = ConnectionState.Load();
        if (now.state != lmvx::kStopped && now.thread == lmvx::ThreadPhase::kPublished &&
            sim_->RegisteredWindow() != NotificationWindow.load())
            Fail("the live session's window is not the one registered");
        ::Stop(false);
        // First with the handler calls under way held: they hold up no other end.
        const auto held = [&](const std::string& actor) { return steps_->Where(actor).rfind("handler-", 0) == 0; };
        for (const bool heldToo : {false, true}) {
            for (int round = 0; round < 50; ++round)
                for (const std::string& actor : order_)
                    if (!Ended(actor) && (heldToo || !held(actor))) steps_->Run(actor), Check();
            for (const std::string& actor : order_)
                if (!Ended(actor) && (heldToo || !held(actor))) Fail(actor + " does not end after the last Stop");
        }
        if (NotificationWindow.load() != 0) Fail("a window left in the slot");
        if (endsTold_ != endsToTell_) Fail("a Stop(true) that ended a session did not tell the service");
    }

    struct Question { uint32_t session; int answer = -1; bool stored = false; };
    const Scenario& scenario_;
    const Schedule& schedule_;
    fake::Lockstep* steps_ = nullptr;
    sim::Simulator* sim_ = nullptr;
    bool ok_ = true;
    size_t step_ = 0, seen_ = 0, answered_ = 0;
    std::vector<std::string> order_, preempted_;  // every actor in turn; those preempted, the last at the back
    std::set<std::string> waited_;                // waited in vain since anything changed
    std::map<std::string, std::vector<uint64_t>> lastWait_;
    std::map<std::string, uint32_t> sessionOf_, stopping_;  // of each thread; the one each Stop ended
    std::map<uint32_t, uint64_t> windowOf_;                 // of each session
    std::map<std::string, size_t> asking_;                  // the question each actor asked last
    std::vector<Question> questions_;
    std::vector<std::pair<size_t, size_t>> starts_, stops_;  // the steps each true Start, each Stop began and ended
    size_t posts_ = 0;
    size_t endsToTell_ = 0, endsTold_ = 0;  // Stop(true) calls that ended a session; commands 17
    uint64_t windowAtEnd_ = 0;              // the newest window when command 17 arrived
    bool ended_ = false;
};

TEST_F(Race, EveryScheduleWithUpToTwoPreemptionsKeepsTheSessionsApart) {
    const Scenario scenarios[] = {
        {"a Start against a Stop and a second Start", {"start", "stop start"}},
        {"a Start against a refresh and Stop(true)", {"start", "status", "stop! stop!"}, SIZE_MAX, true},
        {"events across a Stop and a Start, with a small queue", {"start 10 12 mute stop start swap 14"}, 2},
        {"no handler from inside a delivery on", {"start 12 14 mute"}},
        {"failing Starts, the stopped session's thread still ending", {"start stop fail nothread nowindow start"}},
    };
#if defined(__SANITIZE_THREAD__)
    constexpr size_t kEvery = 8;  // thread sanitizer checks a sample of the two-preemption schedules
#else
    constexpr size_t kEvery = 1;
#endif
    Sim().Stop();  // each schedule has a simulator of its own
    size_t twoPreemptions = 0;
    for (const Scenario& scenario : scenarios) {
        for (std::vector<Schedule> todo = {{}}; !todo.empty();) {
            const Schedule schedule = todo.back();
            todo.pop_back();
            if (schedule.size() == 2 && twoPreemptions++ % kEvery != 0) continue;
            Exploration exploration(scenario, schedule);
            if (!exploration.Play()) {
                std::string preemptions;
                for (const auto& [step, actor] : schedule) preemptions += " @" + std::to_string(step) + "->" + actor;
                ADD_FAILURE() << scenario.name << ", preemptions" << preemptions << ": " << exploration.failure;
                break;
            }
            for (const auto& choice : exploration.choices)
                if (schedule.size() < 2) todo.push_back(schedule), todo.back().push_back(choice);
        }
    }
}

}  // namespace
