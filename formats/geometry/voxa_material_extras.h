// Values of materials and maps that a geometry format holds beyond the scene's own fields (a 3DS
// material's two-sided flag, its highlight colour apart from its strength, a map's flag word and
// blur). A reader keeps them as extra properties of the object's property block, so that a writer
// of the same format puts them back as they were; other writers leave them alone. An object
// without the property answers false and is written by the format's defaults.
#ifndef OXA_FORMATS_GEOMETRY_VOXA_MATERIAL_EXTRAS_H
#define OXA_FORMATS_GEOMETRY_VOXA_MATERIAL_EXTRAS_H

#include <oxa/attributes/voxa_face_flags.h>
#include <oxa/base/oxa_export.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class VOxaNode;
class VOxaObject;

namespace voxa_extras {

// Material: 1 when the 3DS material is drawn from both sides, 0 when not.
extern OXA_API const char kTwoSided3ds[];
// Material: the 3DS highlight colour (three numbers) and its strength, whose product (times 4/3)
// the scene's specular colour holds.
extern OXA_API const char kSpecularColor3ds[];
extern OXA_API const char kShineStrength3ds[];
// Texture: the 3DS map's flag word (tiling, mirror, negative, alpha and filtering bits) and blur.
// A flag word of -1: the file's map had none (and read as tiled).
extern OXA_API const char kMapFlags3ds[];
extern OXA_API const char kMapBlur3ds[];
// Material: 1 when its transparency is additive, the transparency falloff (negative: inward)
// and 1 when the falloff is in use.
extern OXA_API const char kAdditive3ds[];
extern OXA_API const char kFalloff3ds[];
extern OXA_API const char kUseFalloff3ds[];
// Material: how the 3DS material held its shininess where a file held it otherwise than as a whole
// percentage: 0 not at all (read as 0), 2 as a fraction alone.
extern OXA_API const char kShininessForm3ds[];
// Material: 1 when the 3DS material had no ambient colour, or no specular colour (each read as
// black).
extern OXA_API const char kNoAmbient3ds[];
extern OXA_API const char kNoSpecular3ds[];
// Material: the 3DS colour chunks its ambient, diffuse and specular colours were held in where
// they were floats (two bits each from bit 0 on: 1 float colour 0x0010, 2 linear float 0x0013).
extern OXA_API const char kColorFloats3ds[];
// Material: the plain 3DS colour (0x0010 or 0x0011) of the ambient, diffuse and specular colour
// where the file held it apart from the gamma one (the colour read), and that gamma colour: the
// plain one is written back while the material's colour is still the gamma one.
extern OXA_API const char* const kPlainColors3ds[3];
extern OXA_API const char* const kPairedColors3ds[3];
// Material: the 3DS shading type (chunk 0xA100: 0 wire, 1 flat, 2 Gouraud, 4 metal; absent: Phong 3),
// the reflection blur, the wire size (absent: 1) and the other flags (bit 0 use of the reflection
// blur 0xA250, 1 self-illuminated 0xA080, 2 wire 0xA085, 3 wire size in units 0xA08E, 4 face map
// 0xA088, 5 soften 0xA08C, 6 decal 0xA082).
extern OXA_API const char kShading3ds[];
extern OXA_API const char kReflectionBlur3ds[];
extern OXA_API const char kWireSize3ds[];
extern OXA_API const char kMaterialFlags3ds[];
// Material: the automatic reflection map (chunk 0xA310) as a vector of its flag word, map size
// and frame step.
extern OXA_API const char kAutoReflection3ds[];
// Texture (a bump map): the bump amount, apart from the map's percentage.
extern OXA_API const char kBumpAmount3ds[];
// Node of a mesh: the object's flags (bit n for chunk 0x4010 + n: 0x4011, matte 0x4013, no cast shadow
// 0x4012, 0x4014, frozen 0x4016, no receive shadow 0x4017) and its mesh colour.
extern OXA_API const char kObjectFlags3ds[];
extern OXA_API const char kMeshColor3ds[];

// Sets a number property of the object's block, made when missing. Nothing for an object
// without a block.
OXA_API void SetNumber(VOxaObject* object, const char* name, double value);
// The value of a number property; false (value unchanged) when the object has none.
OXA_API bool GetNumber(const VOxaObject* object, const char* name, double& value);
// The same for three numbers (a colour).
OXA_API void SetColor(VOxaObject* object, const char* name, const double value[3]);
OXA_API bool GetColor(const VOxaObject* object, const char* name, double value[3]);
// The same for three numbers that are no colour.
OXA_API void SetVector(VOxaObject* object, const char* name, const double value[3]);
OXA_API bool GetVector(const VOxaObject* object, const char* name, double value[3]);

// One line naming the 3DS values kept on the materials, maps and meshes below `root` that carry
// something (an additive or falloff transparency, a bump amount apart from the percentage,
// object flags other than fast display, a mesh colour), which a writer of `format` leaves out;
// empty when there are none.
OXA_API std::string Unheld3dsValues(VOxaNode* root, const char* format);

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
