// Start, Stop, refreshes, the notification threads and the handler,
// interleaved by the test through the fakes' hold points rather than by the
// scheduler.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <set>
#include <string>
#include <thread>
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

TEST_F(Race, AStartAfterAFailedOneDoesNotWaitForAnEndingThread) {
    ASSERT_TRUE(Start());
    fake::Hold ending("thread-end");
    Stop(false);
    ASSERT_TRUE(ending.WaitArrived());  // the old thread is still ending
    fake::Session().companionPresent = false;
    EXPECT_FALSE(Start());
    fake::Session().companionPresent = true;
    auto started = std::async(std::launch::async, [] { return Start(); });
    const std::future_status waited = started.wait_for(std::chrono::seconds(10));
    ending.Release();
    EXPECT_EQ(waited, std::future_status::ready);
    EXPECT_TRUE(started.get());
    EXPECT_TRUE(Eventually([] { return fake::Session().threadsRunning == 1; }));
    EXPECT_EQ(GetLVXStatus(), LVX_STATE_CONNECTED);
}

std::atomic<int> oldCalls{0}, newCalls{0};
std::atomic<bool> handlerMayReturn{true};
void OldHandler(LvxDataType) {
    ++oldCalls;
    while (!handlerMayReturn) std::this_thread::yield();  // the test's bound, not this one, detects a hang
}
void NewHandler(LvxDataType) { ++newCalls; }

TEST_F(Race, AHandlerSwapDeliversEachNotificationOnce) {
    oldCalls = newCalls = 0;
    SetEventHandler(OldHandler);
    ASSERT_TRUE(Start());
    {
        fake::Hold dispatch("set-lock");  // after the handler's null test
        ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x10, 0));
        ASSERT_TRUE(dispatch.WaitArrived());
        SetEventHandler(NewHandler);
    }
    ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x12, 0));
    ASSERT_TRUE(Eventually([] { return oldCalls + newCalls == 2; }));
    EXPECT_EQ(oldCalls, 1);
}

TEST_F(Race, SetEventHandlerReturnsWhileTheOldHandlerRuns) {
    oldCalls = 0;
    handlerMayReturn = false;
    SetEventHandler(OldHandler);
    ASSERT_TRUE(Start());
    ASSERT_TRUE(os::PostWindowMessage(NotificationWindow.load(), lmvx::kServiceNotifyMessage, 0x10, 0));
    ASSERT_TRUE(Eventually([] { return oldCalls == 1; }));
    // As a UI thread would at teardown while the handler waits for it.
    auto replaced = std::async(std::launch::async, [] { SetEventHandler(nullptr); });
    const std::future_status waited = replaced.wait_for(std::chrono::seconds(10));
    handlerMayReturn = true;
    EXPECT_EQ(waited, std::future_status::ready);
}

// ---- The schedule explorer ------------------------------------------------
//
// Host actors (Start, Stop, a status refresh, the service's notifications)
// and the notification threads the fakes start move one at a time, from one
// named point of the fakes to the next. An actor runs on until it waits
// ("sleep", an idle "message-loop") or ends; then the next actor in turn
// runs. At the points below the explorer may instead preempt it, and it
// tries every schedule with up to two preemptions, checking after each step:
// - the window slot holds a window exactly while the current session's is
//   published, and then that session's own; a quit goes only to the window
//   of the session its Stop ended;
// - the handler runs on one thread at a time, in the order events were posted;
// - once no question is under way, a live session's state is the answer to
//   the question asked last;
// - after command 17 the service gets no registration of an older window and
//   no polling interval before a new registration;
// - a Start returns false when a Stop began and returned while it ran;
// and at the end: a live session's window is the one registered, and after
// a last Stop every actor ends, with the slot empty.
const std::set<std::string> kPreemptible = {
    "companion-lookup", "answer-36", "ask-1",       "answer-1",       "window-exists", "ask-32",      "stop",
    "ask-17",           "post",      "thread-start", "window-created", "handler-begin", "handler-end", "thread-end"};
bool Waits(const std::string& point) { return point == "sleep" || point == "message-loop"; }

struct Preemption {
    size_t step;
    std::string actor;
};
using Schedule = std::vector<Preemption>;

struct Scenario {
    const char* name;
    std::vector<std::string> actors;  // of the host, each a line of Script()
    size_t queueCapacity = SIZE_MAX;
    bool firstStatusZero = false;  // the service answers 0 to the first status question, then 1
};

std::string Describe(const Schedule& schedule) {
    std::string text;
    for (const Preemption& p : schedule) text += " @" + std::to_string(p.step) + "->" + p.actor;
    return text.empty() ? " (none)" : text;
}

// The explorer's handler: the calls under way, and what was delivered.
std::atomic<int> handlersInside{0};
std::atomic<bool> handlersOverlapped{false};
std::vector<LvxDataType> delivered;  // written by the actor that moves, read between steps
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

    // Plays the schedule; the preemption points met after its last preemption
    // are in Choices(). False when a check failed.
    bool Play() {
        fake::Session().Reset();
        fake::Session().queueCapacity = scenario_.queueCapacity;
        sim::Simulator sim;
        sim_ = &sim;
        if (!sim.Start()) return Fail("no simulator");
        if (scenario_.firstStatusZero) sim.Once(1, {.words = {{12, 0}}});
        handlersInside = 0, handlersOverlapped = false, delivered.clear();
        SetEventHandler(RecordingHandler);
        {
            fake::Lockstep lockstep;
            steps_ = &lockstep;
            for (const std::string& actor : scenario_.actors) Spawn(actor);
            Explore();
            if (ok_) Finish();
            ::Stop(false);  // after a failure: every actor can end once released
            steps_ = nullptr;
        }
        SetEventHandler(nullptr);
        if (!Eventually([] { return fake::Session().threadsRunning == 0; })) Fail("a notification thread lives on");
        sim.Stop();
        sim_ = nullptr;
        return ok_;
    }
    const std::vector<Preemption>& Choices() const { return choices_; }
    const std::string& Failure() const { return failure_; }

private:
    struct Span {
        size_t begun = 0, ended = 0;
        bool result = false;
    };
    struct Question {
        uint32_t session;
        bool answered = false;
        uint32_t answer = 0;
    };

    bool Fail(const std::string& what) {
        if (ok_) failure_ = what + " (step " + std::to_string(step_) + ")";
        ok_ = false;
        return false;
    }

    // A host actor runs its line: commands separated by spaces.
    void Spawn(const std::string& line) {
        const std::string name = "host" + std::to_string(order_.size());
        order_.push_back(name);
        steps_->Spawn(name, [this, name, line] {
            size_t from = 0;
            while (from < line.size()) {
                size_t to = line.find(' ', from);
                if (to == std::string::npos) to = line.size();
                Do(name, line.substr(from, to - from));
                from = to + 1;
            }
        });
    }
    void Do(const std::string&, const std::string& command) {
        const size_t begun = step_;
        if (command == "start") {
            const bool result = ::Start();
            starts_.push_back({begun, step_, result});
        } else if (command == "stop" || command == "stop!") {
            fake::Checkpoint("stop");
            const size_t from = step_;
            ::Stop(command == "stop!");
            stops_.push_back({from, step_, true});
        } else if (command == "status") {
            GetLVXStatus();
        } else {  // a notification code, posted to the registered window
            const LvxDataType code = std::stoi(command, nullptr, 16);
            if (sim_->Notify(code, 0)) posted_.push_back(code);
        }
    }

    bool AllHostsEnded() {
        for (const std::string& actor : order_)
            if (actor.rfind("host", 0) == 0 && steps_->Where(actor) != "end") return false;
        return true;
    }
    void NoteNewThreads() {
        while (threads_.size() < fake::Session().threadsStarted) {
            const std::string name = "thread" + std::to_string(threads_.size() + 1);
            threads_[name] = {ConnectionState.Load().number, 0};
            order_.push_back(name);
        }
    }
    bool Runnable(const std::string& actor) {
        return steps_->Where(actor) != "end" &&
               std::find(preempted_.begin(), preempted_.end(), actor) == preempted_.end();
    }
    // The next actor in turn that has not waited since the last step that
    // did something; when every one has, the one preempted last resumes.
    std::string NextActor(const std::string& from) {
        const size_t at = std::find(order_.begin(), order_.end(), from) - order_.begin();
        for (size_t i = 1; i <= order_.size(); ++i) {
            const std::string& actor = order_[(at + i) % order_.size()];
            if (Runnable(actor) && waited_.count(actor) == 0) return actor;
        }
        if (!preempted_.empty()) {
            const std::string actor = preempted_.back();
            preempted_.pop_back();
            waited_.clear();
            return actor;
        }
        for (size_t i = 1; i <= order_.size(); ++i) {
            const std::string& actor = order_[(at + i) % order_.size()];
            if (Runnable(actor)) return actor;
        }
        return "";
    }

    void Explore() {
        constexpr size_t kMaxSteps = 600;
        std::string current = order_.front();
        size_t next = 0;  // of the schedule's preemptions
        for (step_ = 0; step_ < kMaxSteps && ok_; ++step_) {
            NoteNewThreads();
            if (current.empty() || !Runnable(current)) current = NextActor(current.empty() ? order_.back() : current);
            if (current.empty()) return;
            if (Settled()) return;
            const std::string at = steps_->Where(current);
            if (next < schedule_.size() && schedule_[next].step == step_) {
                const std::string& to = schedule_[next++].actor;
                if (to == current || steps_->Where(to) == "end") return void(Fail("schedule does not replay"));
                preempted_.erase(std::remove(preempted_.begin(), preempted_.end(), to), preempted_.end());
                preempted_.push_back(current);
                current = to;
            } else if (next == schedule_.size() && kPreemptible.count(at) != 0) {
                for (const std::string& actor : order_)
                    if (actor != current && steps_->Where(actor) != "end") choices_.push_back({step_, actor});
            }
            Step(current);
            const std::string now = steps_->Where(current);
            if (now == "hang") return void(Fail(current + " hangs"));
            if (now == "end" || Waits(now)) {
                waited_.insert(current);
                current = NextActor(current);
            } else {
                waited_.clear();
            }
        }
        if (ok_ && step_ >= kMaxSteps) Fail("no end within the step bound");
    }
    // The hosts have ended and every other actor only waits.
    bool Settled() {
        if (!AllHostsEnded() || !preempted_.empty()) return false;
        for (const std::string& actor : order_)
            if (steps_->Where(actor) != "end" && waited_.count(actor) == 0) return false;
        return true;
    }

    // One step of `actor`, and the checks after it.
    void Step(const std::string& actor) {
        const std::string from = steps_->Where(actor);
        const uint64_t quits = fake::Session().lastQuit;
        if (from == "stop") stopping_[actor] = ConnectionState.Load().number;
        if (from == "ask-1")  // the service answers it now
            questions_[asking_[actor]].answer = scenario_.firstStatusZero && answeredSoFar_++ == 0 ? 0 : 1;
        steps_->Run(actor);
        const std::string to = steps_->Where(actor);
        if (to == "ask-1") {  // asked: its ticket is taken, the session read
            asking_[actor] = questions_.size();
            questions_.push_back({ConnectionState.Load().number});
        }
        if (from == "answer-1") questions_[asking_[actor]].answered = true;  // and stored, or not
        if (to == "window-created" && threads_.count(actor) != 0) threads_[actor].window = fake::Session().lastWindow;
        if (fake::Session().lastQuit != quits) {
            auto stopped = stopping_.find(actor);
            if (stopped == stopping_.end() || fake::Session().lastQuit != WindowOf(stopped->second))
                Fail("a quit to a window not of the session " + actor + " stopped");
        }
        NoteNewThreads();
        Check();
    }
    uint64_t WindowOf(uint32_t number) {
        for (const auto& [name, thread] : threads_)
            if (thread.number == number) return thread.window;
        return 0;
    }

    void Check() {
        const lmvx::Session now = ConnectionState.Load();
        const uint64_t slot = NotificationWindow.load();
        if ((slot != 0) != (now.thread == lmvx::ThreadPhase::kPublished)) Fail("slot and phase disagree");
        if (now.thread == lmvx::ThreadPhase::kNone && now.state != lmvx::kStopped && now.state != lmvx::kStartFailed)
            Fail("a session without a thread that is not stopped");
        if (slot != 0 && slot != WindowOf(now.number)) Fail("the slot holds another session's window");
        if (handlersOverlapped) Fail("two handler calls at once");
        for (size_t i = 0, last = 0; i < delivered.size(); ++i) {
            const size_t at = std::find(posted_.begin(), posted_.end(), delivered[i]) - posted_.begin();
            if (at == posted_.size() || (i > 0 && at <= last)) Fail("events out of order");
            last = at;
        }
        // Questions: the latest asked decides once all are answered.
        if (!questions_.empty() && std::all_of(questions_.begin(), questions_.end(), [](auto& q) { return q.answered; })) {
            const Question& latest = questions_.back();
            if (latest.session == now.number && now.state != lmvx::kStopped &&
                now.state != (latest.answer == 1 ? lmvx::kConnected : lmvx::kDisconnected))
                Fail("an older status answer stored over a newer one");
        }
        const auto requests = sim_->Requests();
        for (; seen_ < requests.size(); ++seen_) {
            const ServiceRecord& r = requests[seen_];
            if (r.command == 17) endedAfterWindow_ = fake::Session().lastWindow, ended_ = true;
            if (r.command == 32 && ended_) {
                if (r.Word64(12) <= endedAfterWindow_) Fail("an older window registered after command 17");
                ended_ = false;
            }
            if (r.command >= 37 && r.command <= 41 && ended_) Fail("polling set after command 17");
        }
        for (const Span& start : starts_) {
            if (!start.result) continue;
            for (const Span& stop : stops_)
                if (stop.begun > start.begun && stop.ended < start.ended)
                    Fail("a Start returned true after a Stop that began and returned during it");
        }
    }

    // The host actors have ended: the state they left, then a last Stop.
    void Finish() {
        const lmvx::Session now = ConnectionState.Load();
        if (now.state != lmvx::kStopped && now.thread == lmvx::ThreadPhase::kPublished &&
            sim_->RegisteredWindow() != NotificationWindow.load())
            Fail("the live session's window is not the one registered");
        ::Stop(false);
        for (int round = 0; round < 100; ++round)
            for (const std::string& actor : order_)
                if (steps_->Where(actor) != "end") steps_->Run(actor);
        for (const std::string& actor : order_)
            if (steps_->Where(actor) != "end") Fail(actor + " does not end after the last Stop");
        if (NotificationWindow.load() != 0) Fail("a window left in the slot");
    }

    struct Thread {
        uint32_t number;  // of the session it serves
        uint64_t window;
    };
    const Scenario& scenario_;
    const Schedule& schedule_;
    fake::Lockstep* steps_ = nullptr;
    sim::Simulator* sim_ = nullptr;
    bool ok_ = true;
    std::string failure_;
    size_t step_ = 0;
    std::vector<std::string> order_;  // every actor, in turn order
    std::vector<std::string> preempted_;
    std::set<std::string> waited_;
    std::vector<Preemption> choices_;
    std::map<std::string, Thread> threads_;
    std::map<std::string, uint32_t> stopping_;
    std::map<std::string, size_t> asking_;  // the question each actor asked last
    size_t answeredSoFar_ = 0;
    std::vector<Question> questions_;
    std::vector<Span> starts_, stops_;
    std::vector<LvxDataType> posted_;
    size_t seen_ = 0;
    uint64_t endedAfterWindow_ = 0;
    bool ended_ = false;
};

const Scenario kScenarios[] = {
    {"a Start against a Stop and a second Start", {"start", "stop start"}},
    {"a Start against a refresh and Stop(true)", {"start", "status", "stop!"}, SIZE_MAX, true},
    {"events across a Stop and a Start, with a small queue", {"start 12 14 stop start 10"}, 2},
};

TEST_F(Race, EveryScheduleWithUpToTwoPreemptionsKeepsTheSessionsApart) {
    Sim().Stop();  // each schedule has a simulator of its own
    for (const Scenario& scenario : kScenarios) {
        std::vector<Schedule> todo = {{}};
        size_t played = 0;
        while (!todo.empty()) {
            const Schedule schedule = todo.back();
            todo.pop_back();
            Exploration exploration(scenario, schedule);
            ++played;
            if (!exploration.Play()) {
                ADD_FAILURE() << scenario.name << ", preemptions" << Describe(schedule) << ": " << exploration.Failure();
                break;
            }
            if (schedule.size() == 2) continue;
            for (const Preemption& choice : exploration.Choices()) {
                Schedule longer = schedule;
                longer.push_back(choice);
                todo.push_back(longer);
            }
        }
        std::printf("%s: %zu schedules\n", scenario.name, played);
    }
}

}  // namespace
