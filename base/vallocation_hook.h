#ifndef OXA_BASE_VALLOCATION_HOOK_H
#define OXA_BASE_VALLOCATION_HOOK_H

#include <oxa/base/vallocation_count.h>

// The count of handled allocation failures (base/vallocation_count.h), and a switch for tests
// that makes the storage of the growable arrays and of the function-curve keys fail as if memory
// had run out, so that the way callers handle a failed allocation can be tried without exhausting
// the machine. Off unless a test sets it; when off it costs one load.
namespace oxa_alloc {

// After Fail(n), n more allocations through the switch succeed and every one after them fails,
// until Fail(-1) turns the switch off again.
void Fail(long long allowed);
// False when the switch says this allocation is to fail as if memory had run out (the failure is
// then counted by whoever handles it).
bool Allowed();

// Gives back what a nothrow allocation made, counting a failure when it made nothing: a factory
// that answers null for want of memory is then told as that, not as a refusal of its input.
template <class T>
T* Counted(T* made) {
    if (!made) NoteFailure();
    return made;
}

}  // namespace oxa_alloc

#endif  // OXA_BASE_VALLOCATION_HOOK_H
