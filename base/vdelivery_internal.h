#ifndef OXA_BASE_VDELIVERY_INTERNAL_H
#define OXA_BASE_VDELIVERY_INTERNAL_H

// A program's callback or listener runs in the middle of the library's own work: a curve node
// told that it is being destroyed may be one of many that an attribute, a take or a scene is
// taking apart, and that work still holds the objects around it. A destruction the callback asks
// of the manager therefore waits until the outermost piece of such work on this thread has
// ended (a Scope); the library's work then never meets an object freed under it. Work that
// calls callbacks opens a Scope around itself, and every call of a callback does too, so that a
// destruction asked for outside any larger work takes effect as the callback returns.
namespace oxa_delivery {

// Destroys `object` (of `kind`, with `flag`) on behalf of `owner`.
typedef void (*DestroyFunction)(void* owner, int kind, void* object, bool flag);

// The library's work: a destruction asked for by a callback inside it waits until the outermost
// one ends. Opening one also marks the library's own work as such while a callback calls it.
class Scope {
public:
    Scope();
    // The outermost scope carries out the destructions deferred meanwhile (each inside a scope
    // of its own, so that what they deliver defers in turn), oldest first.
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    bool mFromCallback;
};

// Marks the program's callback running inside it.
class InCallback {
public:
    InCallback();
    ~InCallback();
    InCallback(const InCallback&) = delete;
    InCallback& operator=(const InCallback&) = delete;

private:
    bool mOuter;
};

// True while a program's callback runs (and not the library's work it called in turn).
bool FromCallback();
// Queues a destruction for the end of the outermost scope; one already queued for `object` is
// not queued twice. False when the queue cannot grow (the caller then refuses the request).
bool Defer(DestroyFunction destroy, void* owner, int kind, void* object, bool flag);
// True when a destruction of `object` is queued.
bool IsDeferred(const void* object);
// Drops the queued destruction of `object` (it is being destroyed now) and, with `owner`, every
// one queued on behalf of that owner (it is going).
void Forget(const void* object);
void ForgetOwner(const void* owner);

// Calls a program's callback: inside a Scope, and an exception it throws stops there (nothing
// the program throws crosses the library). False when it threw.
template <typename F>
bool Call(F&& call) noexcept {
    Scope scope;
    InCallback callback;
    try {
        call();
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace oxa_delivery

#endif  // OXA_BASE_VDELIVERY_INTERNAL_H
