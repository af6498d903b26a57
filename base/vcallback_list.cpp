#include "base/vcallback_list.h"

#include <cstddef>

#include "base/vdelivery_internal.h"

bool VCallbackList::Add(Callback callback, void* object) {
    if (!callback) return false;
    for (const Entry& e : mEntries) {
        if (e.callback == callback && e.object == object) return false;
    }
    mEntries.push_back(Entry{callback, object, mNextSerial++});
    return true;
}

bool VCallbackList::Remove(Callback callback, void* object) {
    for (size_t i = 0; i < mEntries.size(); ++i) {
        if (mEntries[i].callback == callback && mEntries[i].object == object) {
            mEntries.erase(mEntries.begin() + i);
            return true;
        }
    }
    return false;
}

int VCallbackList::RemoveObject(void* object) {
    int removed = 0;
    for (size_t i = mEntries.size(); i-- > 0;) {
        if (mEntries[i].object == object) {
            mEntries.erase(mEntries.begin() + i);
            ++removed;
        }
    }
    return removed;
}

bool VCallbackList::Fire(void* event) {
    if (mEntries.empty()) return false;
    // Entries are kept in the order of their serial numbers; walk down by serial so that
    // changes made by a callback never make the walk skip, repeat or overrun an entry.
    unsigned below = mEntries.back().serial + 1;
    for (;;) {
        // The newest entry older than the last one called.
        int i = (int)mEntries.size() - 1;
        while (i >= 0 && mEntries[i].serial >= below)
            --i;
        if (i < 0) return false;
        Entry entry = mEntries[i];
        below = entry.serial;
        bool handled = false;
        // What a callback throws stops there; the event goes on to the next entry.
        if (!oxa_delivery::Call([&] { entry.callback(entry.object, event, &handled); })) handled = false;
        if (handled) return true;
    }
}
