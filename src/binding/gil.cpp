#include "binding/gil.hpp"

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

namespace magnifex::binding {

namespace {

thread_local long GIL_COUNT = 0;

// References whose release was deferred because no guard held the lock.
class ReferencePool {
public:
    void push(PyObject* object) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(object);
    }

    // The mutex is never held while reference counts change: the list is
    // taken out first, then released.
    void update_counts() {
        std::vector<PyObject*> taken;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty()) return;
            taken.swap(pending_);
        }
        for (PyObject* object : taken) Py_DECREF(object);
    }

private:
    std::mutex mutex_;
    std::vector<PyObject*> pending_;
};

// Created at the first deferred release and kept for the process.
std::atomic<ReferencePool*> POOL{nullptr};

ReferencePool& pool() {
    static std::once_flag created;
    std::call_once(created, [] { POOL.store(new ReferencePool, std::memory_order_release); });
    return *POOL.load(std::memory_order_acquire);
}

}  // namespace

long gil_count() { return GIL_COUNT; }

void register_decref(PyObject* object) {
    if (object == nullptr) return;
    if (GIL_COUNT >= 1) {
        Py_DECREF(object);
    } else {
        pool().push(object);
    }
}

void update_counts_if_pool_exists() {
    if (ReferencePool* existing = POOL.load(std::memory_order_acquire)) existing->update_counts();
}

GILGuard::GILGuard(Mode mode) {
    if (mode == Mode::Acquire && GIL_COUNT <= 0) {
        state_ = PyGILState_Ensure();
        ensured_ = true;
    }
    ++GIL_COUNT;
    update_counts_if_pool_exists();
}

GILGuard::~GILGuard() {
    if (ensured_) PyGILState_Release(state_);
    --GIL_COUNT;
}

GILRelease::GILRelease() : saved_count_(std::exchange(GIL_COUNT, 0)), thread_state_(PyEval_SaveThread()) {}

GILRelease::~GILRelease() {
    GIL_COUNT = saved_count_;
    PyEval_RestoreThread(thread_state_);
    update_counts_if_pool_exists();
}

}  // namespace magnifex::binding
