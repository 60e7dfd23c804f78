#include "fakes/hooks.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

namespace fake {
namespace {

struct Point {
    bool held = false;
    int waiting = 0;
    int passes = 0;  // waiting threads allowed to leave
};

std::mutex mutex;
std::condition_variable changed;
std::map<std::string, Point> points;

constexpr auto kHangBound = std::chrono::seconds(10);

}  // namespace

void Checkpoint(const char* name) {
    std::unique_lock<std::mutex> lock(mutex);
    auto it = points.find(name);
    if (it == points.end() || !it->second.held) return;
    Point& point = it->second;
    ++point.waiting;
    changed.notify_all();
    changed.wait(lock, [&] { return !point.held || point.passes > 0; });
    if (point.passes > 0) --point.passes;
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
    return changed.wait_for(lock, kHangBound, [&] { return point.waiting - point.passes >= count; });
}

void Hold::Step() {
    std::unique_lock<std::mutex> lock(mutex);
    Point& point = points[point_];
    const int before = point.waiting;
    ++point.passes;
    changed.notify_all();
    changed.wait_for(lock, kHangBound, [&] { return point.waiting < before; });
}

void Hold::Release() {
    std::lock_guard<std::mutex> lock(mutex);
    points[point_].held = false;
    points[point_].passes = 0;
    changed.notify_all();
}

}  // namespace fake
