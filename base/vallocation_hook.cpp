#include "base/vallocation_hook.h"

#include <atomic>

namespace {

std::atomic<unsigned long long> gFailures{0};
std::atomic<long long> gAllowed{-1};

}  // namespace

namespace oxa_alloc {

void NoteFailure() {
    gFailures.fetch_add(1, std::memory_order_relaxed);
}

unsigned long long FailureCount() {
    return gFailures.load(std::memory_order_relaxed);
}

void Fail(long long allowed) {
    gAllowed.store(allowed < 0 ? -1 : allowed, std::memory_order_relaxed);
}

bool Allowed() {
    long long left = gAllowed.load(std::memory_order_relaxed);
    while (left > 0) {
        if (gAllowed.compare_exchange_weak(left, left - 1, std::memory_order_relaxed)) return true;
    }
    return left < 0;
}

}  // namespace oxa_alloc
