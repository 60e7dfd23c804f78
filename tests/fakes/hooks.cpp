#include "fakes/hooks.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace fake {
namespace {

struct Point {
    bool held = false;
    int waiting = 0;
};

struct Actor {
    std::string point;  // where it is parked; "end" once finished
    bool go = false;
};

std::mutex mutex;
std::condition_variable changed;
std::map<std::string, Point> points;
bool lockstep = false;
std::map<std::string, Actor> actors;
int threadsNamed = 0;
thread_local std::string threadName;

constexpr auto kHangBound = std::chrono::seconds(10);

}  // namespace

void Checkpoint(const char* name) {
    std::unique_lock<std::mutex> lock(mutex);
    if (lockstep && !threadName.empty()) {
        Actor& actor = actors[threadName];
        actor.point = name;
        actor.go = false;
        changed.notify_all();
        changed.wait(lock, [&] { return actor.go || !lockstep; });
        actor.point.clear();
        return;
    }
    auto it = points.find(name);
    if (it == points.end() || !it->second.held) return;
    Point& point = it->second;
    ++point.waiting;
    changed.notify_all();
    changed.wait(lock, [&] { return !point.held; });
    --point.waiting;
    changed.notify_all();
}

Hold::Hold(const char* point) : point_(point) {
    std::lock_guard<std::mutex> lock(mutex);
    points[point_] = Point{.held = true};
}

Hold::~Hold() { Release(); }

bool Hold::WaitArrived(int count) {
    std::unique_lock<std::mutex> lock(mutex);
    Point& point = points[point_];
    return changed.wait_for(lock, kHangBound, [&] { return point.waiting >= count; });
}

void Hold::Release() {
    std::lock_guard<std::mutex> lock(mutex);
    points[point_].held = false;
    changed.notify_all();
}

void NameThread(const std::string& actor) {
    std::lock_guard<std::mutex> lock(mutex);
    threadName = actor;
    actors[actor] = Actor{};
}

std::string NextThreadName() {
    std::lock_guard<std::mutex> lock(mutex);
    return lockstep ? "thread" + std::to_string(++threadsNamed) : std::string();
}

void ThreadFinished() {
    std::lock_guard<std::mutex> lock(mutex);
    if (threadName.empty()) return;
    actors[threadName].point = "end";
    actors[threadName].go = false;
    changed.notify_all();
}

bool InLockstep() {
    std::lock_guard<std::mutex> lock(mutex);
    return lockstep && !threadName.empty();
}

Lockstep::Lockstep() {
    std::lock_guard<std::mutex> lock(mutex);
    lockstep = true;
    actors.clear();
    threadsNamed = 0;
}

Lockstep::~Lockstep() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        lockstep = false;
        changed.notify_all();
    }
    for (std::thread& thread : threads_) thread.join();
}

void Lockstep::Spawn(const std::string& actor, std::function<void()> body) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        actors[actor] = Actor{};
    }
    threads_.emplace_back([actor, body = std::move(body)] {
        NameThread(actor);
        Checkpoint("begin");
        body();
        ThreadFinished();
    });
    Where(actor);
}

std::string Lockstep::Run(const std::string& name) {
    std::unique_lock<std::mutex> lock(mutex);
    Actor& actor = actors[name];
    if (actor.point.empty() && !changed.wait_for(lock, kHangBound, [&] { return !actor.point.empty(); }))
        return "hang";
    if (actor.point == "end") return "end";
    actor.go = true;
    changed.notify_all();
    // Parked again (a fresh point, go cleared by the thread) or finished.
    if (!changed.wait_for(lock, kHangBound, [&] { return !actor.go && !actor.point.empty(); })) return "hang";
    return actor.point;
}

std::string Lockstep::Where(const std::string& name) {
    std::unique_lock<std::mutex> lock(mutex);
    Actor& actor = actors[name];
    changed.wait_for(lock, kHangBound, [&] { return !actor.point.empty(); });
    return actor.point;
}

}  // namespace fake
