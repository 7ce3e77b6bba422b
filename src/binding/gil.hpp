// Interpreter-lock bookkeeping of the binding layer.
//
// GIL_COUNT is the per-thread depth of guards that hold the interpreter lock.
// A reference dropped where the lock is not known to be held is not released
// at once: it goes to POOL, a process-wide list behind a mutex, and the next
// guard entered on any thread releases it. Every entry frame enters a guard in
// lock-already-held mode (CPython holds the lock when it calls a builtin);
// only the normalization of an error value takes the lock itself.
#pragma once

#include <Python.h>

namespace magnifex::binding {

// Depth of lock-holding guards on this thread.
long gil_count();

// Releases one reference now if this thread holds the lock through a guard,
// otherwise defers it to POOL.
void register_decref(PyObject* object);

// Releases every deferred reference, in the order they were deferred, if
// POOL exists. Called with the lock held.
void update_counts_if_pool_exists();

class GILGuard {
public:
    enum class Mode { Assumed, Acquire };

    // Assumed: the caller holds the lock (entry frames). Acquire: take the
    // lock with PyGILState_Ensure unless a guard on this thread already holds it.
    explicit GILGuard(Mode mode = Mode::Assumed);
    ~GILGuard();

    GILGuard(const GILGuard&) = delete;
    GILGuard& operator=(const GILGuard&) = delete;

private:
    bool ensured_ = false;
    PyGILState_STATE state_{};
};

// Gives up the interpreter lock for the lifetime of the object: GIL_COUNT is
// saved and set to 0, the lock released with PyEval_SaveThread; on
// destruction the lock is retaken, the count restored and POOL drained.
class GILRelease {
public:
    GILRelease();
    ~GILRelease();

    GILRelease(const GILRelease&) = delete;
    GILRelease& operator=(const GILRelease&) = delete;

private:
    long saved_count_;
    PyThreadState* thread_state_;
};

}  // namespace magnifex::binding
