#include "base/vdelivery_internal.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace oxa_delivery {

namespace {

struct Deferred {
    DestroyFunction mDestroy;
    void* mOwner;
    int mKind;
    void* mObject;
    bool mFlag;
};

// What one thread deferred. Every thread's queue is listed, so that a manager deleted on one
// thread drops what another thread asked of it; a thread that ends carries out what it left.
struct ThreadQueue {
    ThreadQueue();
    ~ThreadQueue();

    // Few entries at a time (what callbacks asked for during one operation): a walk is cheap.
    std::deque<Deferred> mEntries;
    ThreadQueue* mPrevious = nullptr;
    ThreadQueue* mNext = nullptr;
};

// The list of the threads' queues and every change of an entry are guarded by gLock; a thread's
// destructions themselves run without it.
std::mutex gLock;
ThreadQueue* gQueues = nullptr;
// Entries queued on all threads: forgetting costs nothing while none is.
std::atomic<long> gQueued{0};

thread_local int tDepth = 0;
thread_local int tCallbacks = 0;

void Drain(ThreadQueue& queue);

ThreadQueue::ThreadQueue() {
    std::lock_guard<std::mutex> hold(gLock);
    mNext = gQueues;
    if (gQueues) gQueues->mPrevious = this;
    gQueues = this;
}

ThreadQueue::~ThreadQueue() {
    // What the thread asked for after its last piece of work: carried out now, on the thread
    // that asked, before the thread is gone.
    ++tDepth;
    Drain(*this);
    --tDepth;
    std::lock_guard<std::mutex> hold(gLock);
    if (mPrevious) mPrevious->mNext = mNext;
    if (mNext) mNext->mPrevious = mPrevious;
    if (gQueues == this) gQueues = mNext;
}

ThreadQueue& OwnQueue() {
    thread_local ThreadQueue queue;
    return queue;
}

// Takes the next entry to carry out: parts let go of (no owner) before objects are destroyed, so
// that a take or a channel taken out of a node goes while the node is still there.
bool TakeNext(ThreadQueue& queue, Deferred& next) {
    std::lock_guard<std::mutex> hold(gLock);
    if (queue.mEntries.empty()) return false;
    auto at = queue.mEntries.begin();
    for (auto it = queue.mEntries.begin(); it != queue.mEntries.end(); ++it) {
        if (!it->mOwner) {
            at = it;
            break;
        }
    }
    next = *at;
    queue.mEntries.erase(at);
    --gQueued;
    return true;
}

// Still counted as open while the queue drains: what a deferred destruction delivers defers in
// turn and is carried out by this loop.
void Drain(ThreadQueue& queue) {
    Deferred next{};
    while (TakeNext(queue, next)) {
        try {
            next.mDestroy(next.mOwner, next.mKind, next.mObject, next.mFlag);
        } catch (...) {
        }
    }
    std::lock_guard<std::mutex> hold(gLock);
    std::deque<Deferred>().swap(queue.mEntries);
}

// Drops the entries `drop` picks from every thread's queue.
template <typename Pick>
void DropEverywhere(Pick drop) {
    if (gQueued.load() == 0) return;
    std::lock_guard<std::mutex> hold(gLock);
    for (ThreadQueue* queue = gQueues; queue; queue = queue->mNext) {
        for (auto it = queue->mEntries.begin(); it != queue->mEntries.end();) {
            if (drop(*it)) {
                it = queue->mEntries.erase(it);
                --gQueued;
            } else {
                ++it;
            }
        }
    }
}

}  // namespace

Scope::Scope(bool drains) : mDrains(drains) {
    ++tDepth;
}

Scope::~Scope() {
    if (tDepth == 1 && mDrains && gQueued.load() != 0) Drain(OwnQueue());
    --tDepth;
}

void EnterCallback() {
    ++tCallbacks;
}

void LeaveCallback() {
    --tCallbacks;
}

bool InCallback() {
    return tCallbacks > 0;
}

bool Defer(DestroyFunction destroy, void* owner, int kind, void* object, bool flag) {
    if (!object) return false;
    try {
        ThreadQueue& queue = OwnQueue();
        std::lock_guard<std::mutex> hold(gLock);
        for (const Deferred& entry : queue.mEntries) {
            if (entry.mObject == object) return true;
        }
        queue.mEntries.push_back(Deferred{destroy, owner, kind, object, flag});
        ++gQueued;
    } catch (...) {
        return false;
    }
    return true;
}

void Forget(const void* object) {
    if (!object) return;
    DropEverywhere([object](const Deferred& entry) { return entry.mObject == object; });
}

void ForgetOwner(const void* owner) {
    if (!owner) return;
    DropEverywhere([owner](const Deferred& entry) { return entry.mOwner == owner; });
}

}  // namespace oxa_delivery
