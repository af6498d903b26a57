#ifndef OXA_OBJECTS_VWORLD_H
#define OXA_OBJECTS_VWORLD_H

#include <oxa/base/oxa_export.h>

#include <mutex>

// The process-wide world of the object model. The SDK start creates one and keeps it in the
// global slot; the last stop destroys it. Callers that share the toolkit between threads
// serialise through its lock.
class OXA_API VWorld {
public:
    // A new world, or null when memory is exhausted.
    static VWorld* Create();
    // The world in the global slot (null before the first SetGlobal).
    static VWorld* GetGlobal();
    static void SetGlobal(VWorld* world);
    // Deletes `world` when it is not null. The slot is left as it is.
    static void DestroyGlobal(VWorld* world);

    void Lock() { mLock.lock(); }
    void Unlock() { mLock.unlock(); }

private:
    VWorld() = default;
    ~VWorld() = default;

    std::mutex mLock;
};

#endif  // OXA_OBJECTS_VWORLD_H
