// Materials: the material record with its maps, reading it from a material block and writing it.
#include <cmath>
#include <cstring>
#include <new>
#include <utility>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_material.h"

namespace Ftk {

namespace {

struct MapTags {
    uint32_t mContainer;
    uint32_t mParameters;
};

const MapTags kMapTags[kMaterialMapCount] = {
    {MAP_TEXTURE_1, MAP_PARAMS_TEXTURE_1},
    {MASK_TEXTURE_1, MASK_PARAMS_TEXTURE_1},
    {MAP_TEXTURE_2, MAP_PARAMS_TEXTURE_2},
    {MASK_TEXTURE_2, MASK_PARAMS_TEXTURE_2},
    {MAP_OPACITY, MAP_PARAMS_OPACITY},
    {MASK_OPACITY, MASK_PARAMS_OPACITY},
    {MAP_BUMP, MAP_PARAMS_BUMP},
    {MASK_BUMP, MASK_PARAMS_BUMP},
    {MAP_SPECULAR, MAP_PARAMS_SPECULAR},
    {MASK_SPECULAR, MASK_PARAMS_SPECULAR},
    {MAP_SHININESS, MAP_PARAMS_SHININESS},
    {MASK_SHININESS, MASK_PARAMS_SHININESS},
    {MAP_SELF_ILLUM, MAP_PARAMS_SELF_ILLUM},
    {MASK_SELF_ILLUM, MASK_PARAMS_SELF_ILLUM},
    {MAP_REFLECTION, 0},
    {MASK_REFLECTION, MASK_PARAMS_REFLECTION},
};

// Byte colours of materials and maps count 255 steps.
constexpr float kByteToUnit = 0.003921569f;

int MapSlotOfContainer(uint32_t tag) {
    for (int slot = 0; slot < kMaterialMapCount; ++slot)
        if (kMapTags[slot].mContainer == tag) return slot;
    return -1;
}

int MapSlotOfParameters(uint32_t tag) {
    for (int slot = 0; slot < kMaterialMapCount; ++slot)
        if (kMapTags[slot].mParameters && kMapTags[slot].mParameters == tag) return slot;
    return -1;
}

Chunk* NewPart(uint32_t tag, Chunk* parent) {
    Chunk* chunk = parent ? AddChild(tag, parent) : nullptr;
    if (!chunk) PushError(ERR_PUT_FAILED);
    return chunk;
}

void PutPercent(Chunk* parent, uint32_t tag, int16_t value) {
    Chunk* chunk = NewPart(tag, parent);
    if (ShortData* data = MakeData<ShortData>(NewPart(PERCENT_INT, chunk))) data->mValue = value;
}

// To the nearest byte: a cut would darken every colour by up to one step on each trip through a
// file (1/3 would come back as 84/255).
void PutBytes(Chunk* parent, uint32_t tag, const float color[3]) {
    if (BytesData* data = MakeData<BytesData>(NewPart(tag, parent)))
        for (int i = 0; i < 3; ++i)
            data->mValues[i] = SaturateByte(std::round((double)color[i] * 255.0));
}

void ReadBytesColor(Chunk* chunk, float out[3]) {
    if (BytesData* data = GetData<BytesData>(chunk))
        for (int i = 0; i < 3; ++i)
            out[i] = (float)data->mValues[i] * kByteToUnit;
}

void ReadFloatColor(Chunk* chunk, float out[3]) {
    if (FloatsData* data = GetData<FloatsData>(chunk))
        for (int i = 0; i < 3; ++i)
            out[i] = data->mValues[i];
}

// The colour of a colour chunk: its byte colour, replaced by the gamma one when there is one.
// Other programs write material colours as floats: a float colour (and its gamma one) is read the
// same way where no byte colour is given.
// A linear colour alone (no plain one beside it) is read too, as other readers do.
// True when a plain colour and a gamma one beside it differ: `plain` has the plain one.
bool ReadMaterialColor(Chunk* chunk, float out[3], uint8_t& floatsHeld, float plain[3]) {
    floatsHeld = 0;
    Chunk* bytes = FindChild(chunk, COLOR_BYTE);
    Chunk* bytesGamma = FindChild(chunk, COLOR_BYTE_GAMMA);
    Chunk* first = bytes;
    Chunk* second = bytesGamma;
    if (bytes || bytesGamma) {
        if (bytes) ReadBytesColor(bytes, out);
        if (bytesGamma) ReadBytesColor(bytesGamma, out);
    } else {
        Chunk* floats = FindChild(chunk, COLOR_FLOAT);
        Chunk* floatsGamma = FindChild(chunk, COLOR_FLOAT_GAMMA);
        if (!floats && !floatsGamma) {
            Fail(ERR_UNFOUND_CHUNK);
            return false;
        }
        if (floats) ReadFloatColor(floats, out);
        if (floatsGamma) ReadFloatColor(floatsGamma, out);
        floatsHeld = (floats ? 1 : 0) | (floatsGamma ? 2 : 0);
        first = floats;
        second = floatsGamma;
    }
    if (!first || !second) return false;
    float own[3] = {out[0], out[1], out[2]};
    if (first->mTag == COLOR_BYTE)
        ReadBytesColor(first, own);
    else
        ReadFloatColor(first, own);
    if (std::memcmp(own, out, sizeof own) == 0) return false;
    std::memcpy(plain, own, sizeof own);
    return true;
}

bool CheckMaterialDatabase(Database* database) {
    return CheckDatabase(database, true);
}

Chunk* MaterialParentFor(Database* database) {
    if (GetDatabaseKind(database) == kMaterialLibrary) return database->mTop;
    return GetEditorChunk(database, true);
}

}  // namespace

uint32_t MaterialMapTag(int slot) {
    return slot >= 0 && slot < kMaterialMapCount ? kMapTags[slot].mContainer : 0;
}

uint32_t MaterialMapParameterTag(int slot) {
    return slot >= 0 && slot < kMaterialMapCount ? kMapTags[slot].mParameters : 0;
}

void InitMaterialMap(MaterialMap* map) {
    if (!map) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    *map = MaterialMap();
}

void InitMaterial(Material** material) {
    if (!material) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*material) {
        *material = oxa_alloc::Counted(new (std::nothrow) Material);
        if (!*material) {
            Fail(ERR_NO_MEM);
            return;
        }
        return;
    }
    **material = Material();
}

void ReleaseMaterial(Material** material) {
    if (!material) return;
    delete *material;
    *material = nullptr;
}

float ReadPercent(Chunk* chunk) {
    if (!chunk) return 0.0f;
    // The float, when there is one, is the exact value of a rounded integer beside it.
    if (FloatsData* fraction = GetData<FloatsData>(FindChild(chunk, PERCENT_FLOAT)))
        return fraction->mValues[0];
    if (ShortData* percent = GetData<ShortData>(FindChild(chunk, PERCENT_INT)))
        return percent->mValue * 0.01f;
    return 0.0f;
}

void ReadMaterialMap(Chunk* container, MaterialMap* map) {
    if (!container || !map) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    map->mFlagsStated = 0;
    for (Chunk* node = container->mChildren; node; node = node->mNext) {
        switch (node->mTag) {
            case PERCENT_INT:
                if (ShortData* data = GetData<ShortData>(node)) map->mStrength = data->mValue * 0.01f;
                break;
            case PERCENT_FLOAT:
                if (FloatsData* data = GetData<FloatsData>(node)) map->mStrength = data->mValues[0];
                break;
            case MAP_FILE_NAME:
                if (StringData* data = GetData<StringData>(node))
                    CopyName(map->mFileName, sizeof map->mFileName, data->mText.c_str());
                break;
            case MAP_TILING:
                if (ShortData* data = GetData<ShortData>(node)) {
                    SetMapFlags(*map, (uint16_t)data->mValue);
                    map->mFlagsStated = 1;
                }
                break;
            case MAP_BLUR:
            case MAP_U_SCALE:
            case MAP_V_SCALE:
            case MAP_U_OFFSET:
            case MAP_V_OFFSET:
            case MAP_ROTATION:
                if (FloatsData* data = GetData<FloatsData>(node)) {
                    float value = data->mValues[0];
                    if (node->mTag == MAP_BLUR) map->mBlur = value;
                    if (node->mTag == MAP_U_SCALE) map->mUScale = value;
                    if (node->mTag == MAP_V_SCALE) map->mVScale = value;
                    if (node->mTag == MAP_U_OFFSET) map->mUOffset = value;
                    if (node->mTag == MAP_V_OFFSET) map->mVOffset = value;
                    if (node->mTag == MAP_ROTATION) map->mRotation = value;
                }
                break;
            case MAP_TINT_1:
                ReadBytesColor(node, map->mTint1);
                break;
            case MAP_TINT_2:
                ReadBytesColor(node, map->mTint2);
                break;
            case MAP_TINT_R:
                ReadBytesColor(node, map->mRedTint);
                break;
            case MAP_TINT_G:
                ReadBytesColor(node, map->mGreenTint);
                break;
            case MAP_TINT_B:
                ReadBytesColor(node, map->mBlueTint);
                break;
            default:
                break;
        }
        if (Stopped()) return;
    }
}

namespace {

// Reads one child of a material block (a temporary copy of it); false to stop the walk.
bool ReadMaterialChild(Chunk* node, Material* m) {
    const uint32_t tag = node->mTag;
    switch (tag) {
        case MATERIAL_NAME:
            if (StringData* data = GetData<StringData>(node))
                m->mNameCut = FitName(m->mName, sizeof m->mName, data->mText) ? 1 : 0;
            return true;
        case MATERIAL_AMBIENT:
        case MATERIAL_DIFFUSE:
        case MATERIAL_SPECULAR: {
            const int c = tag == MATERIAL_AMBIENT ? 0 : tag == MATERIAL_DIFFUSE ? 1 : 2;
            float* color = c == 0 ? m->mAmbient : c == 1 ? m->mDiffuse : m->mSpecular;
            const uint8_t bit = (uint8_t)(1u << c);
            if (ReadMaterialColor(node, color, m->mColorFloats[c], m->mPlainColors[c]))
                m->mPlainColorsApart |= bit;
            else
                m->mPlainColorsApart &= (uint8_t)~bit;
            if (c == 0) m->mAmbientStated = 1;
            if (c == 2) m->mSpecularStated = 1;
            return true;
        }
        case MATERIAL_SHININESS:
            m->mShininess = ReadPercent(node);
            m->mShininessStated = !FindChild(node, PERCENT_INT) && FindChild(node, PERCENT_FLOAT) ? 2 : 1;
            return true;
        case MATERIAL_SHINE_STRENGTH:
            m->mShineStrength = ReadPercent(node);
            return true;
        case MATERIAL_TRANSPARENCY:
            m->mTransparency = ReadPercent(node);
            return true;
        case MATERIAL_FALLOFF:
            // The inward flag may stand before the value.
            m->mTransparencyFalloff =
                std::signbit(m->mTransparencyFalloff) ? -std::fabs(ReadPercent(node)) : ReadPercent(node);
            return true;
        case MATERIAL_REFLECT_BLUR:
            m->mReflectionBlur = ReadPercent(node);
            return true;
        case MATERIAL_SELF_ILLUM_PERCENT:
            m->mSelfIllumination = ReadPercent(node);
            return true;
        case MATERIAL_SHINE_3:
            return true;
        case MATERIAL_SELF_ILLUM:
            m->mSelfIlluminated = 1;
            return true;
        case MATERIAL_TWO_SIDED:
            m->mTwoSided = 1;
            return true;
        case MATERIAL_FLAG_A083:
            m->mFlagA083 = 1;
            return true;
        case MATERIAL_FLAG_A082:
            m->mFlagA082 = 1;
            return true;
        case MATERIAL_FLAG_A088:
            m->mFlagA088 = 1;
            return true;
        case MATERIAL_FLAG_A08C:
            m->mFlagA08C = 1;
            return true;
        case MATERIAL_FLAG_A08E:
            m->mFlagA08E = 1;
            return true;
        case MATERIAL_USE_FALLOFF:
            m->mUseFalloff = 1;
            return true;
        case MATERIAL_USE_REFLECT_BLUR:
            m->mUseReflectionBlur = 1;
            return true;
        case MATERIAL_WIRE:
            // Wire frame shading; the flag is kept too, so that a put writes it back.
            m->mShading = 0;
            m->mWire = 1;
            return true;
        case MATERIAL_WIRE_SIZE:
            if (FloatsData* data = GetData<FloatsData>(node)) m->mWireSize = data->mValues[0];
            return true;
        case MATERIAL_SHADING:
            if (ShortData* data = GetData<ShortData>(node)) m->mShading = data->mValue;
            return true;
        case MATERIAL_FALLOFF_IN:
            m->mTransparencyFalloff = -std::fabs(m->mTransparencyFalloff);
            return true;
        case MATERIAL_AUTO_REFLECTION:
            if (AutoReflectionData* data = GetData<AutoReflectionData>(node)) {
                uint16_t flags = (uint16_t)data->mFlags;
                m->mAutoReflectionInUse = 1;
                m->mAutoReflectionFirstFrameOnly = (flags & 0x0009) == 0x0009 ? 1 : 0;
                m->mAutoReflectionFlatMirror = (flags & 0x0011) == 0x0011 ? 1 : 0;
                m->mAutoReflectionMapSize = data->mMapSize;
                m->mAutoReflectionFrameStep = data->mFrameStep;
                m->mAutoReflectionFlags = flags;
            }
            return true;
        default:
            break;
    }
    if (int slot = MapSlotOfContainer(tag); slot >= 0) {
        ReadMaterialMap(node, &m->mMaps[slot]);
        // The bump amount is a value of its own: the map's percentage stays the container's.
        if (tag == MAP_BUMP) {
            if (ShortData* bump = GetData<ShortData>(FindChild(node, MAP_BUMP_PERCENT)))
                m->mMaps[slot].mBumpAmount = bump->mValue;
        }
        return true;
    }
    if (int slot = MapSlotOfParameters(tag); slot >= 0) {
        if (RawData* data = GetData<RawData>(node)) {
            m->mMaps[slot].mParameterSize = (uint32_t)data->mBytes.size();
            m->mMaps[slot].mParameters = std::move(data->mBytes);
        }
        return true;
    }
    if ((tag >> 8) == 0x80) return true;  // extended data
    return !Fail(ERR_INVALID_CHUNK);
}

}  // namespace

void ReadMaterial(Chunk* block, Material** material) {
    if (!block || !material) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (block->mTag != MATERIAL_BLOCK) {
        Fail(ERR_INVALID_CHUNK);
        return;
    }
    InitMaterial(material);
    if (Stopped() || !*material) return;
    (*material)->mShininessStated = 0;
    (*material)->mAmbientStated = 0;
    (*material)->mSpecularStated = 0;
    for (Chunk* node = block->mChildren; node; node = node->mNext) {
        // Each child through a temporary copy, released after use.
        Chunk* copy = nullptr;
        HeldChunk heldCopy(&copy);
        CopyChunkTree(node, &copy);
        if (!copy) return;
        copy->mNext = nullptr;
        bool go = ReadMaterialChild(copy, *material);
        ReleaseChunk(&copy);
        if (!go || Stopped()) return;
    }
}

uint32_t CountMaterials(Database* database) {
    if (!CheckMaterialDatabase(database)) return 0;
    UpdateMaterialIndex(database);
    return database->mMaterialIndex ? database->mMaterialIndex->Count() : 0;
}

void ListMaterialNames(Database* database, StringList** list) {
    if (!list) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(database)) return;
    if (!*list) NewStringList(list, 0);
    if (!*list) return;
    (*list)->mStrings.clear();
    UpdateMaterialIndex(database);
    if (!database->mMaterialIndex) return;
    for (const NameIndexEntry& entry : database->mMaterialIndex->mEntries)
        AddToStringList(*list, entry.mName.c_str());
}

void GetMaterialByIndex(Database* database, uint32_t index, Material** material) {
    if (!material) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(database)) return;
    if (Chunk* block = FindMaterialByIndex(database, index)) ReadMaterial(block, material);
}

void GetMaterialByName(Database* database, const char* name, Material** material) {
    if (!name || !material) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(database)) return;
    if (Chunk* block = FindMaterialByName(database, name)) ReadMaterial(block, material);
}

void WriteMaterialMap(Chunk* container, const MaterialMap* map) {
    if (!container || !map) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!map->mFileName[0]) return;
    if (ShortData* data = MakeData<ShortData>(NewPart(PERCENT_INT, container)))
        data->mValue = SaturateShort((double)map->mStrength * 100.0 + 0.5);
    if (StringData* data = MakeData<StringData>(NewPart(MAP_FILE_NAME, container)))
        data->mText.assign(map->mFileName, strnlen(map->mFileName, sizeof map->mFileName));
    const uint16_t flags = MapFlags(*map);
    if (map->mFlagsStated)
        if (ShortData* data = MakeData<ShortData>(NewPart(MAP_TILING, container)))
            data->mValue = (int16_t)flags;
    auto putFloat = [&](uint32_t tag, float value) {
        if (FloatsData* data = MakeData<FloatsData>(NewPart(tag, container))) data->mValues[0] = value;
    };
    if (map->mUScale != 1.0f || map->mVScale != 1.0f) {
        putFloat(MAP_U_SCALE, map->mUScale);
        putFloat(MAP_V_SCALE, map->mVScale);
    }
    if (map->mUOffset != 0.0f || map->mVOffset != 0.0f) {
        putFloat(MAP_U_OFFSET, map->mUOffset);
        putFloat(MAP_V_OFFSET, map->mVOffset);
    }
    if (map->mRotation != 0.0f) putFloat(MAP_ROTATION, map->mRotation);
    if (map->mBlur != 0.0f) putFloat(MAP_BLUR, map->mBlur);
    if (map->mTintMode == 2 || map->mTintMode == 3) {
        PutBytes(container, MAP_TINT_1, map->mTint1);
        PutBytes(container, MAP_TINT_2, map->mTint2);
    } else if (map->mTintMode == 4) {
        PutBytes(container, MAP_TINT_R, map->mRedTint);
        PutBytes(container, MAP_TINT_G, map->mGreenTint);
        PutBytes(container, MAP_TINT_B, map->mBlueTint);
    }
}

uint16_t MapFlags(const MaterialMap& map) {
    uint16_t flags = 0;
    if (map.mTiling == kMapDecal) flags = 0x0011;
    if (map.mTiling == kMapBoth) flags = 0x0001;
    if (map.mTiling == kMapNoTile) flags = 0x0010;
    if (map.mFlag0100) flags |= 0x0100;
    if (map.mFlag0020 == 1) flags |= 0x0020;
    if (map.mFlag0002) flags |= 0x0002;
    if (map.mFlag0008) flags |= 0x0008;
    static const uint16_t kTintBits[5] = {0, 0x0040, 0x0080, 0x00C0, 0x0200};
    if (map.mTintMode >= 1 && map.mTintMode <= 4) flags |= kTintBits[map.mTintMode];
    return flags;
}

void SetMapFlags(MaterialMap& map, uint16_t flags) {
    if ((flags & 0x0011) == 0x0011)
        map.mTiling = kMapDecal;
    else if (flags & 0x0001)
        map.mTiling = kMapBoth;
    else if (flags & 0x0010)
        map.mTiling = kMapNoTile;
    else
        map.mTiling = kMapTiled;
    map.mFlag0100 = (flags & 0x0100) ? 1 : 0;
    map.mFlag0020 = (flags & 0x0020) ? 1 : 0;
    map.mFlag0002 = (flags & 0x0002) ? 1 : 0;
    map.mFlag0008 = (flags & 0x0008) ? 1 : 0;
    if (flags & 0x0200)
        map.mTintMode = 4;
    else if ((flags & 0x00C0) == 0x00C0)
        map.mTintMode = 3;
    else if (flags & 0x0080)
        map.mTintMode = 2;
    else if (flags & 0x0040)
        map.mTintMode = 1;
    else
        map.mTintMode = 0;
}

namespace {

void PutParameters(Chunk* block, int slot, const MaterialMap& map) {
    uint32_t tag = kMapTags[slot].mParameters;
    if (!tag || map.mParameterSize == 0 || map.mParameters.empty()) return;
    size_t size = map.mParameterSize < map.mParameters.size() ? map.mParameterSize : map.mParameters.size();
    if (RawData* data = MakeData<RawData>(NewPart(tag, block)))
        data->mBytes.assign(map.mParameters.begin(), map.mParameters.begin() + size);
}

// Rounded to the nearest percent: cutting would lose one percent on many values (0.15f is
// 14.99999...), and again on every trip through a file.
int16_t Percent(float value) {
    return SaturateShort(std::round((double)value * 100.0));
}

}  // namespace

void WriteMaterial(Database* database, Material* material) {
    if (!material) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(database)) return;
    Chunk* parent = MaterialParentFor(database);
    if (!parent) {
        PushError(ERR_PUT_FAILED);
        return;
    }
    char name[sizeof material->mName];
    CopyName(name, sizeof name, material->mName);
    Chunk* extended = nullptr;
    HeldChunk heldExtended(&extended);
    Chunk* block = FindMaterialByName(database, name);
    const bool existed = block != nullptr;
    if (block) {
        Chunk* found = nullptr;
        FindChunk(block, EXTENDED_DATA, &found);
        if (found) CopyChunkTree(found, &extended);
        ResetChunk(block);
        block->mTag = MATERIAL_BLOCK;
    } else {
        block = NewPart(MATERIAL_BLOCK, parent);
        if (!block) return;
    }
    const Material& m = *material;
    if (StringData* data = MakeData<StringData>(NewPart(MATERIAL_NAME, block))) data->mText = name;
    const std::pair<uint32_t, const float*> colors[] = {
        {MATERIAL_AMBIENT, m.mAmbient}, {MATERIAL_DIFFUSE, m.mDiffuse}, {MATERIAL_SPECULAR, m.mSpecular}};
    for (int c = 0; c < 3; ++c) {
        const auto& color = colors[c];
        if ((color.first == MATERIAL_AMBIENT && !m.mAmbientStated) ||
            (color.first == MATERIAL_SPECULAR && !m.mSpecularStated))
            continue;
        Chunk* chunk = NewPart(color.first, block);
        // A colour a file held as floats goes back so: bytes would round 0.8 to 0.8039.
        const uint8_t floats = m.mColorFloats[c] & 3;
        // A plain colour held apart from the gamma one goes back beside it, each with its value.
        const float* plain = (m.mPlainColorsApart >> c) & 1 ? m.mPlainColors[c] : color.second;
        for (uint32_t tag : {COLOR_FLOAT, COLOR_FLOAT_GAMMA}) {
            if (!(floats & (tag == COLOR_FLOAT ? 1 : 2))) continue;
            if (FloatsData* data = MakeData<FloatsData>(NewPart(tag, chunk)))
                for (int i = 0; i < 3; ++i)
                    data->mValues[i] = tag == COLOR_FLOAT ? plain[i] : color.second[i];
        }
        if (floats != 0) continue;
        PutBytes(chunk, COLOR_BYTE, plain);
        PutBytes(chunk, COLOR_BYTE_GAMMA, color.second);
    }
    if (m.mShininessStated == 1) PutPercent(block, MATERIAL_SHININESS, Percent(m.mShininess));
    // A shininess between whole percents (an OBJ "Ns 5" is 2.5%) also gets its exact value: readers
    // that know the float percentage take it, the others the rounded one.
    if (m.mShininessStated == 2 ||
        (m.mShininessStated == 1 && std::fabs((double)m.mShininess * 100.0 - Percent(m.mShininess)) > 1e-3)) {
        Chunk* shininess = FindChild(block, MATERIAL_SHININESS);
        if (!shininess) shininess = NewPart(MATERIAL_SHININESS, block);
        if (FloatsData* data = MakeData<FloatsData>(NewPart(PERCENT_FLOAT, shininess)))
            data->mValues[0] = m.mShininess;
    }
    PutPercent(block, MATERIAL_SHINE_STRENGTH, Percent(m.mShineStrength));
    PutPercent(block, MATERIAL_TRANSPARENCY, Percent(m.mTransparency));
    // The falloff's magnitude is rounded; its sign is the flag.
    PutPercent(block, MATERIAL_FALLOFF,
               SaturateShort(std::round(std::fabs((double)m.mTransparencyFalloff) * 100.0)));
    if (std::signbit(m.mTransparencyFalloff)) NewPart(MATERIAL_FALLOFF_IN, block);
    PutPercent(block, MATERIAL_REFLECT_BLUR, Percent(m.mReflectionBlur));
    if (ShortData* data = MakeData<ShortData>(NewPart(MATERIAL_SHADING, block)))
        data->mValue = SaturateShort((double)m.mShading);
    PutPercent(block, MATERIAL_SELF_ILLUM_PERCENT, Percent(m.mSelfIllumination));
    if (m.mTwoSided) NewPart(MATERIAL_TWO_SIDED, block);
    if (FloatsData* data = MakeData<FloatsData>(NewPart(MATERIAL_WIRE_SIZE, block)))
        data->mValues[0] = m.mWireSize;
    const std::pair<uint8_t, uint32_t> flags[] = {{m.mUseReflectionBlur, MATERIAL_USE_REFLECT_BLUR},
                                                  {m.mUseFalloff, MATERIAL_USE_FALLOFF},
                                                  {m.mSelfIlluminated, MATERIAL_SELF_ILLUM},
                                                  {m.mFlagA083, MATERIAL_FLAG_A083},
                                                  {m.mFlagA082, MATERIAL_FLAG_A082},
                                                  {m.mWire, MATERIAL_WIRE},
                                                  {m.mFlagA08E, MATERIAL_FLAG_A08E},
                                                  {m.mFlagA088, MATERIAL_FLAG_A088},
                                                  {m.mFlagA08C, MATERIAL_FLAG_A08C}};
    for (const auto& flag : flags)
        if (flag.first) NewPart(flag.second, block);
    for (int slot = kTextureMap1; slot <= kSelfIllumMask; ++slot) {
        const MaterialMap& map = m.mMaps[slot];
        if (!map.mFileName[0]) continue;
        Chunk* container = NewPart(kMapTags[slot].mContainer, block);
        WriteMaterialMap(container, &map);
        if (slot == kBumpMap) {
            if (ShortData* data = MakeData<ShortData>(NewPart(MAP_BUMP_PERCENT, container)))
                data->mValue =
                    map.mBumpAmount >= 0 ? SaturateShort((double)map.mBumpAmount) : Percent(map.mStrength);
        }
        PutParameters(block, slot, map);
    }
    const MaterialMap& reflection = m.mMaps[kReflectionMap];
    if (reflection.mFileName[0]) {
        // Whole, flags included: a reader takes a map without its flag word as not tiled.
        WriteMaterialMap(NewPart(MAP_REFLECTION, block), &reflection);
    } else if (m.mAutoReflectionInUse) {
        Chunk* container = NewPart(MAP_REFLECTION, block);
        if (ShortData* data = MakeData<ShortData>(NewPart(PERCENT_INT, container)))
            data->mValue = Percent(reflection.mStrength);
        if (StringData* data = MakeData<StringData>(NewPart(MAP_FILE_NAME, container))) data->mText.clear();
    }
    const MaterialMap& reflectionMask = m.mMaps[kReflectionMask];
    if (reflectionMask.mFileName[0]) {
        WriteMaterialMap(NewPart(MASK_REFLECTION, block), &reflectionMask);
        PutParameters(block, kReflectionMask, reflectionMask);
    }
    if (m.mAutoReflectionInUse) {
        if (AutoReflectionData* data =
                MakeData<AutoReflectionData>(NewPart(MATERIAL_AUTO_REFLECTION, block))) {
            uint16_t bits = m.mAutoReflectionFirstFrameOnly ? 0x0009 : 0x0001;
            if (m.mAutoReflectionFlatMirror) bits |= 0x0011;
            // The file's own word while it still says the same of the two flags.
            const int32_t held = m.mAutoReflectionFlags;
            if (held >= 0 && held <= 0xFFFF &&
                ((held & 0x0009) == 0x0009) == (m.mAutoReflectionFirstFrameOnly != 0) &&
                ((held & 0x0011) == 0x0011) == (m.mAutoReflectionFlatMirror != 0))
                bits = (uint16_t)held;
            data->mFlags = (int16_t)bits;
            data->mMapSize = m.mAutoReflectionMapSize;
            data->mFrameStep = m.mAutoReflectionFrameStep;
        }
    }
    if (extended) AppendChild(block, extended);
    extended = nullptr;  // the block's now
    // A replaced block keeps its place and its name: the index still holds.
    if (!existed) NoteMaterialAdded(database, block, name);
}

void DeleteMaterialByIndex(Database* database, uint32_t index) {
    if (!CheckMaterialDatabase(database)) return;
    if (Chunk* block = FindMaterialByIndex(database, index)) {
        ResetChunk(block);
        MarkMaterialsStale(database);
    }
}

void DeleteMaterialByName(Database* database, const char* name) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(database)) return;
    if (Chunk* block = FindMaterialByName(database, name)) {
        ResetChunk(block);
        MarkMaterialsStale(database);
    }
}

namespace {

void CopyMaterialBlock(Database* destination, Chunk* block) {
    if (!block) return;
    Chunk* nameChunk = FindChild(block, MATERIAL_NAME);
    if (!nameChunk) {
        Fail(ERR_INVALID_CHUNK);
        return;
    }
    StringData* name = GetData<StringData>(nameChunk);
    std::string text = name ? name->mText : std::string();
    Chunk* parent = MaterialParentFor(destination);
    if (!parent) return;
    if (Chunk* existing = FindMaterialByName(destination, text.c_str())) ResetChunk(existing);
    Chunk* copy = nullptr;
    CopyChunkTree(block, &copy);
    if (copy) InsertChildByRank(parent, copy);
    MarkMaterialsStale(destination);
}

}  // namespace

void CopyMaterialByIndex(Database* destination, Database* source, uint32_t index) {
    if (!CheckMaterialDatabase(destination) || !CheckMaterialDatabase(source)) return;
    CopyMaterialBlock(destination, FindMaterialByIndex(source, index));
}

void CopyMaterialByName(Database* destination, Database* source, const char* name) {
    if (!name) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckMaterialDatabase(destination) || !CheckMaterialDatabase(source)) return;
    CopyMaterialBlock(destination, FindMaterialByName(source, name));
}

}  // namespace Ftk
