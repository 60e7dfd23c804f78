// Named points at which the fakes hold threads, so that the test, not the
// scheduler, chooses how threads interleave.
//
// Hold: one point held for every thread that reaches it.
//   fake::Hold start("thread-start");
//   ...; ASSERT_TRUE(start.WaitArrived()); ...; start.Release();
//
// Lockstep: every thread the test named (Spawn) or a fake started parks at
// each checkpoint it reaches; Run lets one of them go on to its next
// checkpoint. Only one such thread moves at a time.
//   fake::Lockstep steps;
//   steps.Spawn("start", [] { Start(); });
//   steps.Run("start");            // -> the point where it parked next
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace fake {

// Called by the fakes at a named point: returns at once unless the point is
// held or the calling thread runs in lockstep.
void Checkpoint(const char* point);

class Hold {
public:
    explicit Hold(const char* point);
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

    // Waits until `count` threads wait at the point. False only after a
    // bound (10 s) that only a hang reaches.
    bool WaitArrived(int count = 1);
    // Lets every thread pass, now and later.
    void Release();

private:
    const char* point_;
};

class Lockstep {
public:
    Lockstep();
    // Lets every thread run freely again and joins the spawned ones.
    ~Lockstep();
    Lockstep(const Lockstep&) = delete;
    Lockstep& operator=(const Lockstep&) = delete;

    // Runs `body` on a new thread named `actor`, parked at "begin" first.
    void Spawn(const std::string& actor, std::function<void()> body);
    // Lets `actor` go on until it parks again: the point where it parked,
    // "end" when it finished, "hang" when neither happened within 10 s.
    std::string Run(const std::string& actor);
    // Where `actor` is parked now ("end" when finished, "" when unknown).
    std::string Where(const std::string& actor);

private:
    std::vector<std::thread> threads_;
};

// Names the calling thread for Lockstep; the fakes name the threads they
// start "thread1", "thread2", ... in the order started.
void NameThread(const std::string& actor);
std::string NextThreadName();
// Marks the calling named thread finished.
void ThreadFinished();
// Whether the calling thread runs in lockstep.
bool InLockstep();

}  // namespace fake
