// ORV::MapLock and ORV::LockedSet: the one lock of the library, guarding the
// set of event types the host switched off.
#pragma once

#include <atomic>
#include <cstdint>
#include <set>

#include "os/os.h"

namespace ORV {

class MapLock {
public:
    MapLock() : initialised_(0) { InitialiseOnce(); }
    void InitialiseOnce() {
        if (initialised_.exchange(1) == 0) os::InitializeLock(&lock_);
    }
    void Lock() { os::EnterLock(&lock_); }
    void Unlock() { os::LeaveLock(&lock_); }

private:
    os::LockStorage lock_;
    std::atomic<uint32_t> initialised_;
};

// Each operation takes the lock for its own duration only.
template <typename T>
class LockedSet : public MapLock {
public:
    virtual ~LockedSet() = default;

    void Insert(T value) {
        Guard guard(this);
        set_.insert(value);
    }
    void Erase(T value) {
        Guard guard(this);
        set_.erase(value);
    }
    bool Contains(T value) {
        Guard guard(this);
        return set_.count(value) != 0;
    }
    size_t Size() {
        Guard guard(this);
        return set_.size();
    }
    void Clear() {
        Guard guard(this);
        set_.clear();
    }

private:
    struct Guard {
        explicit Guard(MapLock* lock) : lock_(lock) { lock_->Lock(); }
        ~Guard() { lock_->Unlock(); }
        MapLock* lock_;
    };
    std::set<T> set_;
};

}  // namespace ORV
