// Values of materials and maps that a geometry format holds beyond the scene's own fields (a 3DS
// material's two-sided flag, its highlight colour apart from its strength, a map's flag word and
// blur). A reader keeps them as extra properties of the object's property block, so that a writer
// of the same format puts them back as they were; other writers leave them alone. An object
// without the property answers false and is written by the format's defaults.
#ifndef OXA_FORMATS_GEOMETRY_VOXA_MATERIAL_EXTRAS_H
#define OXA_FORMATS_GEOMETRY_VOXA_MATERIAL_EXTRAS_H

#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class VOxaObject;

namespace voxa_extras {

// Material: 1 when the 3DS material is drawn from both sides, 0 when not.
extern OXA_API const char kTwoSided3ds[];
// Material: the 3DS highlight colour (three numbers) and its strength, whose product (times 4/3)
// the scene's specular colour holds.
extern OXA_API const char kSpecularColor3ds[];
extern OXA_API const char kShineStrength3ds[];
// Texture: the 3DS map's flag word (tiling, mirror, negative, alpha and filtering bits) and blur.
extern OXA_API const char kMapFlags3ds[];
extern OXA_API const char kMapBlur3ds[];

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

// Sets a number property of the object's block, made when missing. Nothing for an object
// without a block.
OXA_API void SetNumber(VOxaObject* object, const char* name, double value);
// The value of a number property; false (value unchanged) when the object has none.
OXA_API bool GetNumber(const VOxaObject* object, const char* name, double& value);
// The same for three numbers (a colour).
OXA_API void SetColor(VOxaObject* object, const char* name, const double value[3]);
OXA_API bool GetColor(const VOxaObject* object, const char* name, double value[3]);

// What a writer's format cannot hold of each material, gathered while the materials are written
// so that each material is named in one warning.
class OXA_API UnheldValues {
public:
    // Notes `what` ("its map rotation") for the material named `material`, once.
    void Note(const std::string& material, const std::string& what);
    // One line per material noted, in the order first noted ("Material \"Red\": the 3DS file
    // cannot hold its map rotation and its ambient map.\n"), then forgets them.
    std::string TakeText(const char* format);

private:
    std::vector<std::pair<std::string, std::vector<std::string>>> mNotes;
    std::unordered_map<std::string, size_t> mIndex;
};

}  // namespace voxa_extras

#endif  // OXA_FORMATS_GEOMETRY_VOXA_MATERIAL_EXTRAS_H
