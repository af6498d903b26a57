#include "base/vdelivery_internal.h"

#include <deque>

namespace oxa_delivery {

namespace {

struct Deferred {
    DestroyFunction mDestroy;
    void* mOwner;
    int mKind;
    void* mObject;
    bool mFlag;
};

thread_local int tDepth = 0;
thread_local int tCallbacks = 0;
// Few entries at a time (what callbacks asked for during one operation): a walk is cheap.
thread_local std::deque<Deferred>* tQueue = nullptr;

}  // namespace

Scope::Scope(bool drains) : mDrains(drains) {
    ++tDepth;
}

Scope::~Scope() {
    if (tDepth > 1 || !tQueue || !mDrains) {
        --tDepth;
        return;
    }
    // Still counted as open while the queue drains: what a deferred destruction delivers defers
    // in turn and is carried out by this loop.
    // Parts let go of (no owner) are freed before objects are destroyed: a take or a channel
    // taken out of a node goes while the node is still there.
    while (!tQueue->empty()) {
        auto at = tQueue->begin();
        for (auto it = tQueue->begin(); it != tQueue->end(); ++it) {
            if (!it->mOwner) {
                at = it;
                break;
            }
        }
        Deferred next = *at;
        tQueue->erase(at);
        try {
            next.mDestroy(next.mOwner, next.mKind, next.mObject, next.mFlag);
        } catch (...) {
        }
    }
    delete tQueue;
    tQueue = nullptr;
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
        if (!tQueue) tQueue = new std::deque<Deferred>();
        for (const Deferred& entry : *tQueue) {
            if (entry.mObject == object) return true;
        }
        tQueue->push_back(Deferred{destroy, owner, kind, object, flag});
    } catch (...) {
        return false;
    }
    return true;
}

void Forget(const void* object) {
    if (!tQueue || !object) return;
    for (auto it = tQueue->begin(); it != tQueue->end();) {
        it = it->mObject == object ? tQueue->erase(it) : it + 1;
    }
}

void ForgetOwner(const void* owner) {
    if (!tQueue || !owner) return;
    for (auto it = tQueue->begin(); it != tQueue->end();) {
        it = it->mOwner == owner ? tQueue->erase(it) : it + 1;
    }
}

}  // namespace oxa_delivery
