// Named points at which a fake holds the calling thread until the test lets
// it go, so that an interleaving of threads is chosen by the test rather
// than by the scheduler.
//
//   fake::Hold start("thread-start");     // from now on, arrivals wait there
//   ...                                    // something starts a thread
//   ASSERT_TRUE(start.WaitArrived());      // it has reached the point
//   start.Step();                          // one thread goes on; later ones wait
//   start.Release();                       // every thread goes on (also at scope end)
#pragma once

namespace fake {

// Called by the fakes at a named point: returns at once unless the point is
// held, else waits until the test lets this thread pass.
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
    // Lets one waiting thread pass and returns once it has left the point.
    void Step();
    // Lets every thread pass, now and later.
    void Release();

private:
    const char* point_;
};

}  // namespace fake
