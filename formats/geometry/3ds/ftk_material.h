// 3DS materials: the material record with its sixteen maps and the calls that move it in and out
// of a database (MATERIAL_BLOCK chunks under the editor chunk, or under a material library's top).
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_MATERIAL_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_MATERIAL_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk_database.h>

namespace Ftk {

// Tiling values of MaterialMap::mTiling: tiled (no tiling bit), decal (bits 0x0011), both
// (bit 0x0001 alone) and no tile (bit 0x0010 alone).
enum MapTiling : int32_t { kMapTiled = 1, kMapDecal = 2, kMapBoth = 3, kMapNoTile = 4 };

struct MaterialMap {
    // Empty: no map. Files of other programs name maps of up to 64 bytes; this toolkit writes at
    // most 12 (an 8.3 name).
    char mFileName[65] = {};
    float mStrength = 0.0f;
    int32_t mTiling = kMapTiled;
    uint8_t mFlag0100 = 0;
    uint32_t mFlag0020 = 0;
    float mBlur = 0.0f;
    uint8_t mFlag0002 = 0;
    uint8_t mFlag0008 = 0;
    float mUScale = 1.0f, mVScale = 1.0f;
    float mUOffset = 0.0f, mVOffset = 0.0f;
    float mRotation = 0.0f;
    // 0 none, 1 bit 0x0040, 2 bit 0x0080, 3 bits 0x00C0, 4 bit 0x0200.
    int32_t mTintMode = 0;
    float mTint1[3] = {0.0f, 0.0f, 0.0f};
    float mTint2[3] = {1.0f, 1.0f, 1.0f};
    float mRedTint[3] = {1.0f, 0.0f, 0.0f};
    float mGreenTint[3] = {0.0f, 1.0f, 0.0f};
    float mBlueTint[3] = {0.0f, 0.0f, 1.0f};
    uint32_t mParameterSize = 0;
    std::vector<uint8_t> mParameters;
    // The bump map's amount (chunk 0xA252 in its container), apart from its percentage; -1: none
    // read, written as the percentage.
    int32_t mBumpAmount = -1;
    // 0: the map has no flag word (a file's map without chunk 0xA351); none is written for it.
    uint8_t mFlagsStated = 1;
};

// The maps of a material, in record order.
enum MaterialMapSlot : int {
    kTextureMap1 = 0,
    kTextureMask1,
    kTextureMap2,
    kTextureMask2,
    kOpacityMap,
    kOpacityMask,
    kBumpMap,
    kBumpMask,
    kSpecularMap,
    kSpecularMask,
    kShininessMap,
    kShininessMask,
    kSelfIllumMap,
    kSelfIllumMask,
    kReflectionMap,
    kReflectionMask,
    kMaterialMapCount
};

struct Material {
    // Other programs write names of up to kMaterialNameCapacity bytes; this toolkit writes at most
    // 15. A longer name read from a file is cut with a hash of the whole name (FitName), and
    // mNameCut is set.
    char mName[kMaterialNameCapacity + 1] = {};
    uint8_t mNameCut = 0;
    float mAmbient[3] = {};
    float mDiffuse[3] = {};
    float mSpecular[3] = {};
    // 0: the material has no ambient (chunk 0xA010) or no specular colour (0xA030), read as black;
    // none is written.
    uint8_t mAmbientStated = 1;
    uint8_t mSpecularStated = 1;
    // Per colour (ambient, diffuse, specular), the float chunks that held it where no byte chunk
    // did: bit 0 the float colour, bit 1 the linear float colour. 0: written as bytes.
    uint8_t mColorFloats[3] = {};
    // Per colour, bit 0 ambient, 1 diffuse, 2 specular: the file held its plain chunk (0x0010 or
    // 0x0011) with another value than the gamma chunk beside it, whose value is the colour's;
    // mPlainColors has the plain one, written back in the plain chunk.
    uint8_t mPlainColorsApart = 0;
    float mPlainColors[3][3] = {};
    float mShininess = 0.0f;
    float mShineStrength = 0.0f;
    float mReflectionBlur = 0.0f;
    float mTransparency = 0.0f;
    // Negative: inward (chunk 0xA08A); -0 is an inward falloff of 0, as files often hold it.
    float mTransparencyFalloff = 0.0f;
    float mSelfIllumination = 0.0f;
    float mWireSize = 1.0f;
    int32_t mShading = 3;
    uint8_t mUseReflectionBlur = 0;
    uint8_t mUseFalloff = 0;
    uint8_t mTwoSided = 0;
    uint8_t mSelfIlluminated = 0;
    uint8_t mFlagA083 = 0;
    uint8_t mFlagA082 = 0;
    uint8_t mWire = 0;
    uint8_t mFlagA08E = 0;
    uint8_t mFlagA088 = 0;
    uint8_t mFlagA08C = 0;
    MaterialMap mMaps[kMaterialMapCount];
    uint8_t mAutoReflectionInUse = 0;
    uint8_t mAutoReflectionFirstFrameOnly = 0;
    uint8_t mAutoReflectionFlatMirror = 0;
    uint32_t mAutoReflectionMapSize = 100;
    uint32_t mAutoReflectionFrameStep = 1;
    // The flag word as the file held it (bits beyond the two above, or none of them); -1: made
    // from the two flags.
    int32_t mAutoReflectionFlags = -1;
    // How the shininess is written: 1 as a whole percentage (and its fraction where it is not
    // whole), 2 as a fraction alone (as some files hold it), 0 not at all (a file's material
    // without chunk 0xA040).
    uint8_t mShininessStated = 1;
};

// The container tag, parameter-chunk tag (0 for none) of each map slot.
uint32_t MaterialMapTag(int slot);
uint32_t MaterialMapParameterTag(int slot);

void InitMaterial(Material** material);
void InitMaterialMap(MaterialMap* map);
void ReleaseMaterial(Material** material);
uint32_t CountMaterials(Database* database);
void ListMaterialNames(Database* database, StringList** list);
void GetMaterialByIndex(Database* database, uint32_t index, Material** material);
void GetMaterialByName(Database* database, const char* name, Material** material);
void ReadMaterial(Chunk* block, Material** material);
void ReadMaterialMap(Chunk* container, MaterialMap* map);
// An integer percentage child times 0.01, else a float one as it is, else 0.
float ReadPercent(Chunk* chunk);
void WriteMaterial(Database* database, Material* material);
void WriteMaterialMap(Chunk* container, const MaterialMap* map);
// The map's flag word (chunk 0xA351) from its tiling, flags and tint mode, and the other way round.
uint16_t MapFlags(const MaterialMap& map);
void SetMapFlags(MaterialMap& map, uint16_t flags);
void DeleteMaterialByIndex(Database* database, uint32_t index);
void DeleteMaterialByName(Database* database, const char* name);
void CopyMaterialByIndex(Database* destination, Database* source, uint32_t index);
void CopyMaterialByName(Database* destination, Database* source, const char* name);

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_MATERIAL_H
