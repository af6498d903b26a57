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
thread_local bool tFromCallback = false;
// Few entries at a time (what callbacks asked for during one operation): a walk is cheap.
thread_local std::deque<Deferred>* tQueue = nullptr;

}  // namespace

Scope::Scope() : mFromCallback(tFromCallback) {
    ++tDepth;
    tFromCallback = false;
}

Scope::~Scope() {
    tFromCallback = mFromCallback;
    if (tDepth > 1 || !tQueue) {
        --tDepth;
        return;
    }
    // Still counted as open while the queue drains: a destruction asked for by what a deferred
    // one delivers joins the queue instead of running inside it.
    while (tQueue && !tQueue->empty()) {
        Deferred next = tQueue->front();
        tQueue->pop_front();
        try {
            next.mDestroy(next.mOwner, next.mKind, next.mObject, next.mFlag);
        } catch (...) {
        }
    }
    delete tQueue;
    tQueue = nullptr;
    --tDepth;
}

InCallback::InCallback() : mOuter(tFromCallback) {
    tFromCallback = true;
}

InCallback::~InCallback() {
    tFromCallback = mOuter;
}

bool FromCallback() {
    return tFromCallback;
}

bool Defer(DestroyFunction destroy, void* owner, int kind, void* object, bool flag) {
    if (IsDeferred(object)) return true;
    try {
        if (!tQueue) tQueue = new std::deque<Deferred>();
        tQueue->push_back(Deferred{destroy, owner, kind, object, flag});
    } catch (...) {
        return false;
    }
    return true;
}

bool IsDeferred(const void* object) {
    if (!tQueue || !object) return false;
    for (const Deferred& entry : *tQueue) {
        if (entry.mObject == object) return true;
    }
    return false;
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
