#ifndef OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H
#define OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H

#include <new>
#include <type_traits>
#include <vector>

#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "scene/voxa_registry.h"
#include "scene/voxa_sdk_manager.h"

// Makes an object with `make` and lists it in `registry`: the manager's create operations.
// Memory that runs out on the way (in the object's constructor or for its entry) unmakes what
// was made with `unmake` and answers null, counted as memory run out: a create operation
// promises null then and never throws.
template <typename T, typename Make, typename Unmake>
auto VOxaMakeListed(VOxaRegistry<T>& registry, Make make, Unmake unmake) -> decltype(make()) {
    decltype(make()) made = nullptr;
    try {
        made = make();
        if (made) registry.Append(made);
    } catch (const std::bad_alloc&) {
        if (made) unmake(made);
        oxa_alloc::NoteFailure();
        return nullptr;
    }
    return made;
}

// The same for an object that needs nothing but its delete.
template <typename T, typename Make>
auto VOxaMakeListed(VOxaRegistry<T>& registry, Make make) -> decltype(make()) {
    return VOxaMakeListed(registry, make, [](auto* made) { delete made; });
}

template <typename Make>
auto VOxaSdkManager::MakeObjectListed(Make make) -> decltype(make()) {
    decltype(make()) made = nullptr;
    try {
        made = make();
    } catch (const std::bad_alloc&) {
        // What the constructor had made went with it.
        oxa_alloc::NoteFailure();
        return nullptr;
    }
    if (!made || RegisterObject(made)) return made;
    DeleteTakeObject(made, true);
    return nullptr;
}

// Takes every entry out of `registry` and hands it to `destroy`, in list order. An entry that
// left the registry meanwhile (destroyed by the destruction of another) is skipped; entries
// added meanwhile are destroyed in a further round.
template <typename T, typename F>
void DrainRegistry(VOxaRegistry<T>& registry, F destroy) {
    if constexpr (std::is_base_of<VOxaObject, T>::value) registry.DropNames();
    while (!registry.IsEmpty()) {
        std::vector<T*> items;
        try {
            items = registry.Snapshot();
        } catch (const std::bad_alloc&) {
            // Letting go needs no memory: without room for a copy the last entry goes first (it
            // leaves without moving the others).
            T* item = registry.Last();
            if (registry.Remove(item)) {
                oxa_delivery::Forget(item);
                destroy(item);
            }
            continue;
        }
        for (T* item : items) {
            if (!registry.Remove(item)) continue;
            oxa_delivery::Forget(item);
            destroy(item);
        }
    }
    registry.Clear();
}

#endif  // OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H
