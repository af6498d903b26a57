#ifndef OXA_BASE_VALLOCATION_HOOK_H
#define OXA_BASE_VALLOCATION_HOOK_H

#include <oxa/base/oxa_export.h>

// Allocation failures that are handled where they happen (an array that cannot grow, a working
// list given up, a key block that cannot be had) are counted here, so that a whole read or write
// can tell afterwards that it went on with less than it needed and fail with "Not enough memory"
// instead of answering success.
//
// It also holds a switch for tests that makes the storage of the growable arrays and of the
// function-curve keys fail as if memory had run out, so that the way callers handle a failed
// allocation can be tried without exhausting the machine. Off unless a test sets it; when off it
// costs one load.
namespace oxa_alloc {

// Counts one allocation failure.
OXA_API void NoteFailure();
// The number of allocation failures counted since the process started.
OXA_API unsigned long long FailureCount();

// After Fail(n), n more allocations through the switch succeed and every one after them fails,
// until Fail(-1) turns the switch off again.
OXA_API void Fail(long long allowed);
// False when the switch says this allocation is to fail as if memory had run out (the failure is
// then counted by whoever handles it).
OXA_API bool Allowed();

// Gives back what a nothrow allocation made, counting a failure when it made nothing: a factory
// that answers null for want of memory is then told as that, not as a refusal of its input.
template <class T>
T* Counted(T* made) {
    if (!made) NoteFailure();
    return made;
}

}  // namespace oxa_alloc

#endif  // OXA_BASE_VALLOCATION_HOOK_H
