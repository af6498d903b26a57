#ifndef OXA_BASE_VDELIVERY_INTERNAL_H
#define OXA_BASE_VDELIVERY_INTERNAL_H

#include <new>

#include "base/vallocation_hook.h"

// A program's callback or listener runs in the middle of the library's own work: a curve node
// told that it is being destroyed may be one of many that an attribute, a take or a scene is
// taking apart, and that work still holds the objects around it. Whatever is destroyed while a
// callback runs (by the callback, or by the library's work it asked for) therefore waits until
// the outermost piece of the library's work on this thread has ended: the manager's
// destructions, and the takes and channels taken out of what holds them, which are let go at
// once but freed then. The library's work never meets an object freed under it.
//
// A callback called by a change the program made itself, outside any such work (a key it set
// on a curve), leaves what it asked for to the end of the program's next piece of work (any
// destruction, clear, take removal, copy, attachment, read or write) or of the manager: the
// change may have come from library code that still holds what the callback would destroy.
namespace oxa_delivery {

// Destroys `object` (of `kind`, with `flag`) on behalf of `owner`.
typedef void (*DestroyFunction)(void* owner, int kind, void* object, bool flag);

// The library's work that may call a callback.
class Scope {
public:
    // A scope that does not drain leaves what is queued to the next outermost one that does.
    explicit Scope(bool drains = true);
    // The outermost scope carries out the destructions deferred meanwhile, oldest first; those
    // they defer in turn follow.
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool mDrains;
};

// True while a program's callback runs on this thread, whatever the library does for it.
bool InCallback();
// Counted by Call.
void EnterCallback();
void LeaveCallback();
// Queues a destruction for the end of the outermost scope; one already queued for `object` is
// not queued twice. False when the queue cannot grow (the caller then refuses the request or
// destroys at once).
bool Defer(DestroyFunction destroy, void* owner, int kind, void* object, bool flag);
// Drops the queued destruction of `object` (it is being destroyed now) and, with `owner`, every
// one queued on behalf of that owner (it is going), whichever thread queued them: threads may
// take turns with a manager, and what one deferred never outlives the manager. A thread that
// ends carries out what it deferred after its last piece of work.
void Forget(const void* object);
void ForgetOwner(const void* owner);

template <typename T>
void DeleteObject(void*, int, void* object, bool) {
    delete static_cast<T*>(object);
}

// Deletes an object that nothing holds any more: at once, or while a callback runs, when the
// outermost work ends.
template <typename T>
void DeleteLater(T* object) {
    if (!object) return;
    if (InCallback() && Defer(&DeleteObject<T>, nullptr, 0, object, false)) return;
    delete object;
}

// Calls a program's callback; an exception it throws stops there (nothing the program throws
// crosses the library). False when it threw. Memory that ran out in it (the library's own
// listeners write values through it) is counted, so that the read or write around it fails
// instead of going on without what the listener could not do.
template <typename F>
bool Call(F&& call) noexcept {
    struct Running {
        Running() { EnterCallback(); }
        ~Running() { LeaveCallback(); }
    };
    Scope scope(false);
    try {
        Running running;
        call();
        return true;
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return false;
    } catch (...) {
        return false;
    }
}

}  // namespace oxa_delivery

#endif  // OXA_BASE_VDELIVERY_INTERNAL_H
