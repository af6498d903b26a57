// The flag word of a 3DS face (edge visibility and wrap bits) as a polygon keeps it in its group,
// with a tag, and the hidden edges of polygons of three or four corners told in the same word.
#ifndef OXA_ATTRIBUTES_VOXA_FACE_FLAGS_H
#define OXA_ATTRIBUTES_VOXA_FACE_FLAGS_H

#include <cstdint>

namespace voxa_extras {

// Polygon: the flag word of the 3DS face it was read from (edge visibility and wrap bits), kept
// in the polygon's group with a tag, so that a group other code gives is not taken for one.
constexpr int kFaceFlagsTag3ds = 0x3D500000;
inline int FaceFlagsGroup3ds(uint16_t flags) {
    return kFaceFlagsTag3ds | (int)flags;
}
// The flag word a group holds; false (flags unchanged) for a group without the tag.
inline bool FaceFlagsOfGroup3ds(int group, uint16_t& flags) {
    if ((group & ~0xFFFF) != kFaceFlagsTag3ds) return false;
    flags = (uint16_t)(group & 0xFFFF);
    return true;
}
// The same word for a polygon of `corners` (3 or 4) corners from the edges that are hidden (bit j
// set: the edge from corner j to the next is hidden): a visible edge j sets bit corners - 1 - j,
// which for a triangle is the 3DS layout (4 the first edge, 2 the second, 1 the third).
inline int EdgeVisibilityGroup3ds(int corners, unsigned hidden) {
    unsigned flags = 0;
    for (int j = 0; j < corners; ++j)
        if (!(hidden & (1u << j))) flags |= 1u << (corners - 1 - j);
    return FaceFlagsGroup3ds((uint16_t)flags);
}
// The hidden edges (bit j: the edge from corner j) of a polygon of 3 or 4 corners whose group
// holds a flag word; false (hidden unchanged) without one.
inline bool HiddenEdgesOfGroup3ds(int group, int corners, unsigned& hidden) {
    uint16_t flags = 0;
    if ((corners != 3 && corners != 4) || !FaceFlagsOfGroup3ds(group, flags)) return false;
    hidden = 0;
    for (int j = 0; j < corners; ++j)
        if (!(flags & (1u << (corners - 1 - j)))) hidden |= 1u << j;
    return true;
}

// The flag word of a triangle cut from a polygon of 3 or 4 corners whose hidden edges are
// `hidden` (as above), the triangle's corners given by their numbers in the polygon: an edge of
// the polygon keeps its visibility, an edge the cut adds is hidden.
inline uint16_t CutTriangleFlags3ds(int corners, unsigned hidden, const int triangle[3]) {
    unsigned cut = 0;
    for (int x = 0; x < 3; ++x) {
        const int from = triangle[x], to = triangle[(x + 1) % 3];
        if (to != (from + 1) % corners || (hidden & (1u << from))) cut |= 1u << x;
    }
    return (uint16_t)(EdgeVisibilityGroup3ds(3, cut) & 0xFFFF);
}

}  // namespace voxa_extras

#endif  // OXA_ATTRIBUTES_VOXA_FACE_FLAGS_H
