#ifndef OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H
#define OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H

#include <new>

#include "base/vallocation_hook.h"
#include "scene/voxa_registry.h"

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

#endif  // OXA_SCENE_VOXA_MAKE_LISTED_INTERNAL_H
