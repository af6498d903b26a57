#ifndef OXA_OBJECTS_VOXA_SAME_MANAGER_INTERNAL_H
#define OXA_OBJECTS_VOXA_SAME_MANAGER_INTERNAL_H

class VOxaSdkManager;

// False when `a` and `b` are two managers: an object of one holding an object of the other would
// keep pointing at it after its manager deleted it, since a manager releases its objects only
// from the holders it knows. An object made without a manager is its maker's to keep alive.
inline bool VOxaSameManager(const VOxaSdkManager* a, const VOxaSdkManager* b) {
    return !a || !b || a == b;
}

#endif  // OXA_OBJECTS_VOXA_SAME_MANAGER_INTERNAL_H
