#ifndef OXA_BASE_VCALLBACK_LIST_H
#define OXA_BASE_VCALLBACK_LIST_H

#include <oxa/base/oxa_export.h>

#include <vector>

// A list of (callback, object) entries that an event is sent to. Fire calls the entries from the
// newest to the oldest and stops at the first one that marks the event handled, so a listener
// added later can take an event over from the earlier ones.
class OXA_API VCallbackList {
public:
    // Called with the registered object and the event; set *handled to true to stop the event.
    typedef void (*Callback)(void* object, void* event, bool* handled);

    // Adds the entry as the newest; false (nothing added) for a null callback or when the same
    // (callback, object) entry is already in the list.
    bool Add(Callback callback, void* object);
    // Removes the entry; false when it was not in the list.
    bool Remove(Callback callback, void* object);
    // Removes every entry of `object`; answers how many were removed.
    int RemoveObject(void* object);
    void Clear() { mEntries.clear(); }
    int GetCount() const { return (int)mEntries.size(); }

    // Sends `event` to the entries from the newest to the oldest until one marks it handled;
    // answers whether one did. Callbacks may add or remove entries while the event runs: entries
    // added are not called for this event, and an entry removed before its turn is not called.
    // What a callback throws stops at it (the event goes on to the next entry), and the objects
    // it destroys through the SDK manager go when the outermost library operation has ended.
    bool Fire(void* event);

private:
    struct Entry {
        Callback callback;
        void* object;
        unsigned serial;  // order of addition, to find the position again after changes
    };
    std::vector<Entry> mEntries;
    unsigned mNextSerial = 0;
};

#endif  // OXA_BASE_VCALLBACK_LIST_H
