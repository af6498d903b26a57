// Lights, cameras and backgrounds: reading them from a database and putting them into one.
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "base/vallocation_hook.h"
#include "formats/geometry/3ds/ftk_light.h"

namespace Ftk {

namespace {

float FloatFromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

Chunk* NewPart(uint32_t tag, Chunk* parent) {
    Chunk* chunk = parent ? AddChild(tag, parent) : nullptr;
    if (!chunk) PushError(ERR_PUT_FAILED);
    return chunk;
}

void PutFloats(Chunk* parent, uint32_t tag, std::initializer_list<float> values) {
    if (FloatsData* data = MakeData<FloatsData>(NewPart(tag, parent))) {
        uint32_t i = 0;
        for (float value : values)
            if (i < 12) data->mValues[i++] = value;
    }
}

float FirstFloat(Chunk* chunk, float fallback) {
    FloatsData* data = GetData<FloatsData>(chunk);
    return data && data->mCount ? data->mValues[0] : fallback;
}

void ListNames(Database* database, int slot, StringList** list) {
    if (!list) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    if (!*list) NewStringList(list, 0);
    if (!*list) return;
    (*list)->mStrings.clear();
    uint32_t count = CountObjectsOfKind(database, slot);
    for (uint32_t i = 0; i < count; ++i) {
        Chunk* object = GetObjectOfKind(database, slot, i);
        StringData* name = GetData<StringData>(object);
        AddToStringList(*list, name ? name->mText.c_str() : "");
        UnloadChunkData(object);
    }
}

}  // namespace

const float kDefaultLightColor = FloatFromBits(0x3F357753);

// ---- Lights -------------------------------------------------------------------------------------

void InitLight(Light** light) {
    if (!light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*light) {
        *light = oxa_alloc::Counted(new (std::nothrow) Light);
        if (!*light) {
            Fail(ERR_NO_MEM);
            return;
        }
    }
    Light* l = *light;
    ReleaseStringList(&l->mExclude);
    delete l->mSpot;
    *l = Light();
    for (float& component : l->mColor)
        component = kDefaultLightColor;
    NewStringList(&l->mExclude, 5);
}

void InitSpotlight(Light** light) {
    InitLight(light);
    if (!light || !*light || Stopped()) return;
    delete (*light)->mSpot;
    (*light)->mSpot = oxa_alloc::Counted(new (std::nothrow) Spotlight);
    if (!(*light)->mSpot) Fail(ERR_NO_MEM);
}

void ReleaseLight(Light** light) {
    if (!light || !*light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    ReleaseStringList(&(*light)->mExclude);
    delete (*light)->mSpot;
    delete *light;
    *light = nullptr;
}

uint32_t CountOmniLights(Database* database) {
    if (!CheckDatabase(database, false)) return 0;
    return CountObjectsOfKind(database, kOmniObjects);
}

uint32_t CountSpotlights(Database* database) {
    if (!CheckDatabase(database, false)) return 0;
    return CountObjectsOfKind(database, kSpotObjects);
}

void ListOmniLightNames(Database* database, StringList** list) {
    ListNames(database, kOmniObjects, list);
}

void ListSpotlightNames(Database* database, StringList** list) {
    ListNames(database, kSpotObjects, list);
}

void GetOmniLightByIndex(Database* database, uint32_t index, Light** light) {
    if (!light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    if (Chunk* object = GetObjectOfKind(database, kOmniObjects, index)) ReadLight(object, light);
}

void GetSpotlightByIndex(Database* database, uint32_t index, Light** light) {
    if (!light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    if (Chunk* object = GetObjectOfKind(database, kSpotObjects, index)) ReadLight(object, light);
}

namespace {

void GetLightByName(Database* database, const char* name, Light** light, bool spot) {
    if (!name || !light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* object = FindObjectByName(database, name);
    Chunk* part = FindChild(object, LIGHT);
    if (!part || (FindChild(part, SPOTLIGHT) != nullptr) != spot) return;
    ReadLight(object, light);
}

void ReadSpot(Chunk* spotChunk, Spotlight* spot) {
    if (FloatsData* data = GetData<FloatsData>(spotChunk)) {
        spot->mTarget = Point3{data->mValues[0], data->mValues[1], data->mValues[2]};
        spot->mHotspot = data->mValues[3];
        spot->mFalloff = data->mValues[4];
    }
    for (Chunk* node = spotChunk->mChildren; node; node = node->mNext) {
        switch (node->mTag) {
            case SPOT_RAY_TRACED:
                spot->mRayTraced = 1;
                break;
            case SPOT_SHADOWED:
            case SPOT_LOCAL_SHADOW:
                spot->mShadowed = 1;
                break;
            case SPOT_SHADOW_PARAMS:
                if (ShadowParamsData* data = GetData<ShadowParamsData>(node)) {
                    spot->mShadowBias = data->mBias;
                    spot->mShadowFilter = data->mFilter;
                    spot->mShadowMapSize = data->mMapSize;
                    spot->mLocalShadow = 1;
                }
                break;
            case SPOT_SHOW_CONE:
                spot->mShowCone = 1;
                break;
            case SPOT_RECTANGULAR:
                spot->mRectangular = 1;
                break;
            case SPOT_OVERSHOOT:
                spot->mOvershoot = 1;
                break;
            case SPOT_PROJECTOR:
                if (StringData* data = GetData<StringData>(node)) spot->mProjector = data->mText;
                spot->mProjectorInUse = 1;
                break;
            case SPOT_ROLL:
                spot->mRoll = FirstFloat(node, spot->mRoll);
                break;
            case SPOT_ASPECT:
                spot->mAspect = FirstFloat(node, spot->mAspect);
                break;
            case SPOT_RAY_BIAS:
                spot->mRayBias = FirstFloat(node, spot->mRayBias);
                break;
            default:
                break;
        }
        if (Stopped()) return;
    }
}

}  // namespace

void GetOmniLightByName(Database* database, const char* name, Light** light) {
    GetLightByName(database, name, light, false);
}

void GetSpotlightByName(Database* database, const char* name, Light** light) {
    GetLightByName(database, name, light, true);
}

void ReadLight(Chunk* object, Light** light) {
    if (!light || !object) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!FindChild(object, LIGHT)) {
        Fail(ERR_WRONG_OBJECT);
        return;
    }
    Chunk* copy = nullptr;
    HeldChunk heldCopy(&copy);
    CopyChunkTree(object, &copy);
    if (!copy) return;
    Chunk* part = FindChild(copy, LIGHT);
    Chunk* spotChunk = FindChild(part, SPOTLIGHT);
    if (spotChunk)
        InitSpotlight(light);
    else
        InitLight(light);
    Light* l = *light;
    if (Stopped() || !l) {
        ReleaseChunk(&copy);
        return;
    }
    if (StringData* name = GetData<StringData>(copy))
        CopyName(l->mName, sizeof l->mName, name->mText.c_str());
    if (FloatsData* data = GetData<FloatsData>(part))
        l->mPosition = Point3{data->mValues[0], data->mValues[1], data->mValues[2]};
    for (Chunk* node = part->mChildren; node; node = node->mNext) {
        switch (node->mTag) {
            case COLOR_FLOAT:
                if (FloatsData* data = GetData<FloatsData>(node))
                    for (int i = 0; i < 3; ++i)
                        l->mColor[i] = data->mValues[i];
                break;
            case COLOR_BYTE:
                if (BytesData* data = GetData<BytesData>(node))
                    for (int i = 0; i < 3; ++i)
                        l->mColor[i] = (float)data->mValues[i] / 255.0f;
                break;
            case LIGHT_OFF:
                l->mOff = 1;
                break;
            case LIGHT_ATTENUATE:
                l->mAttenuated = 1;
                break;
            case LIGHT_EXCLUDE:
                if (StringData* data = GetData<StringData>(node))
                    AddToStringList(l->mExclude, data->mText.c_str());
                break;
            case LIGHT_INNER_RANGE:
                l->mInnerRange = FirstFloat(node, l->mInnerRange);
                break;
            case LIGHT_OUTER_RANGE:
                l->mOuterRange = FirstFloat(node, l->mOuterRange);
                break;
            case LIGHT_MULTIPLIER:
                l->mMultiplier = FirstFloat(node, l->mMultiplier);
                break;
            default:
                break;
        }
        if (Stopped()) break;
    }
    if (spotChunk && l->mSpot && !Stopped()) ReadSpot(spotChunk, l->mSpot);
    ReleaseChunk(&copy);
}

void WriteLight(Database* database, Light* light) {
    if (!light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    char name[sizeof light->mName];
    CopyName(name, sizeof name, light->mName);
    const bool existed = FindObjectByName(database, name) != nullptr;
    Chunk* extended = nullptr;
    HeldChunk heldExtended(&extended);
    Chunk* object = PrepareObject(database, name, &extended, true);
    if (!object) return;
    Chunk* part = NewPart(LIGHT, object);
    if (!part) {
        ReleaseChunk(&extended);
        return;
    }
    if (FloatsData* data = MakeData<FloatsData>(part)) {
        data->mValues[0] = light->mPosition.x;
        data->mValues[1] = light->mPosition.y;
        data->mValues[2] = light->mPosition.z;
    }
    PutFloats(part, COLOR_FLOAT, {light->mColor[0], light->mColor[1], light->mColor[2]});
    PutFloats(part, LIGHT_OUTER_RANGE, {light->mOuterRange});
    PutFloats(part, LIGHT_INNER_RANGE, {light->mInnerRange});
    PutFloats(part, LIGHT_MULTIPLIER, {light->mMultiplier});
    if (light->mOff == 1) NewPart(LIGHT_OFF, part);
    if (light->mAttenuated == 1) NewPart(LIGHT_ATTENUATE, part);
    if (light->mExclude) {
        for (const std::string& excluded : light->mExclude->mStrings)
            if (StringData* data = MakeData<StringData>(NewPart(LIGHT_EXCLUDE, part))) data->mText = excluded;
    }
    if (const Spotlight* spot = light->mSpot) {
        Chunk* spotChunk = NewPart(SPOTLIGHT, part);
        if (FloatsData* data = MakeData<FloatsData>(spotChunk)) {
            const float values[5] = {spot->mTarget.x, spot->mTarget.y, spot->mTarget.z, spot->mHotspot,
                                     spot->mFalloff};
            std::memcpy(data->mValues, values, sizeof values);
        }
        PutFloats(spotChunk, SPOT_ROLL, {spot->mRoll});
        if (spot->mAspect != 1.0f) PutFloats(spotChunk, SPOT_ASPECT, {spot->mAspect});
        if (spot->mShadowed == 1) NewPart(SPOT_SHADOWED, spotChunk);
        if (spot->mRayTraced == 1) NewPart(SPOT_RAY_TRACED, spotChunk);
        PutFloats(spotChunk, SPOT_RAY_BIAS, {spot->mRayBias});
        if (spot->mLocalShadow == 1) {
            NewPart(SPOT_LOCAL_SHADOW, spotChunk);
            if (ShadowParamsData* data = MakeData<ShadowParamsData>(NewPart(SPOT_SHADOW_PARAMS, spotChunk))) {
                data->mBias = spot->mShadowBias;
                data->mFilter = spot->mShadowFilter;
                data->mMapSize = spot->mShadowMapSize;
            }
        }
        if (spot->mRectangular == 1) NewPart(SPOT_RECTANGULAR, spotChunk);
        if (spot->mShowCone == 1) NewPart(SPOT_SHOW_CONE, spotChunk);
        if (spot->mOvershoot == 1) NewPart(SPOT_OVERSHOOT, spotChunk);
        if (spot->mProjectorInUse == 1) {
            if (StringData* data = MakeData<StringData>(NewPart(SPOT_PROJECTOR, spotChunk)))
                data->mText = spot->mProjector;
        }
    }
    if (extended) AppendChild(part, extended);
    extended = nullptr;  // the object's now
    if (!existed) NoteObjectAdded(database, object);
}

void PutOmniLight(Database* database, Light* light) {
    if (!database || !light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    WriteLight(database, light);
}

void PutSpotlight(Database* database, Light* light) {
    if (!database || !light) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    WriteLight(database, light);
}

void DeleteLightByName(Database* database, const char* name) {
    DeleteObjectByName(database, name);
}

void CopyLightByName(Database* destination, Database* source, const char* name) {
    CopyObjectByName(destination, source, name);
}

void CopySpotlightByName(Database* destination, Database* source, const char* name) {
    CopyObjectByName(destination, source, name);
}

void DeleteOmniLightByIndex(Database* database, uint32_t index) {
    DeleteObjectByIndex(database, LIGHT, index);
}

void CopyOmniLightByIndex(Database* destination, Database* source, uint32_t index) {
    CopyObjectByIndex(destination, source, LIGHT, index);
}

void DeleteSpotlightByIndex(Database* database, uint32_t index) {
    DeleteObjectByIndex(database, SPOTLIGHT, index);
}

void CopySpotlightByIndex(Database* destination, Database* source, uint32_t index) {
    CopyObjectByIndex(destination, source, SPOTLIGHT, index);
}

// ---- Cameras ------------------------------------------------------------------------------------

void InitCamera(Camera** camera) {
    if (!camera) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*camera) {
        *camera = oxa_alloc::Counted(new (std::nothrow) Camera);
        if (!*camera) Fail(ERR_NO_MEM);
        return;
    }
    **camera = Camera();
}

void ReleaseCamera(Camera** camera) {
    if (!camera) return;
    delete *camera;
    *camera = nullptr;
}

uint32_t CountCameras(Database* database) {
    if (!CheckDatabase(database, false)) return 0;
    return CountObjectsOfKind(database, kCameraObjects);
}

void ListCameraNames(Database* database, StringList** list) {
    ListNames(database, kCameraObjects, list);
}

void GetCameraByIndex(Database* database, uint32_t index, Camera** camera) {
    if (!camera) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    if (Chunk* object = GetObjectOfKind(database, kCameraObjects, index)) ReadCamera(object, camera);
}

void GetCameraByName(Database* database, const char* name, Camera** camera) {
    if (!name || !camera) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* object = FindObjectByName(database, name);
    if (!object) return;
    if (!FindChild(object, CAMERA)) {
        Fail(ERR_WRONG_OBJECT);
        return;
    }
    ReadCamera(object, camera);
}

void ReadCamera(Chunk* object, Camera** camera) {
    if (!object || !camera) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (object->mTag != OBJECT_BLOCK || !FindChild(object, CAMERA)) {
        Fail(ERR_WRONG_OBJECT);
        return;
    }
    InitCamera(camera);
    if (Stopped() || !*camera) return;
    Camera* c = *camera;
    Chunk* copy = nullptr;
    HeldChunk heldCopy(&copy);
    CopyChunkTree(object, &copy);
    if (!copy) return;
    if (StringData* name = GetData<StringData>(copy))
        CopyName(c->mName, sizeof c->mName, name->mText.c_str());
    Chunk* part = FindChild(copy, CAMERA);
    if (FloatsData* data = GetData<FloatsData>(part)) {
        const float* v = data->mValues;
        c->mPosition = Point3{v[0], v[1], v[2]};
        c->mTarget = Point3{v[3], v[4], v[5]};
        c->mRoll = v[6];
        // A lens of 0 has no field of view: the default stays.
        if (v[7] != 0.0f) c->mFieldOfView = 2400.0f / v[7];
    }
    for (Chunk* node = part ? part->mChildren : nullptr; node; node = node->mNext) {
        if (node->mTag == CAMERA_SHOW_CONE) c->mShowCone = 1;
        if (node->mTag == CAMERA_RANGES) {
            if (FloatsData* data = GetData<FloatsData>(node)) {
                c->mNearRange = data->mValues[0];
                c->mFarRange = data->mValues[1];
            }
        }
    }
    ReleaseChunk(&copy);
}

void WriteCamera(Database* database, Camera* camera) {
    if (!database || !camera) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!database->mTop) {
        Fail(ERR_INVALID_DATABASE);
        return;
    }
    if (database->mTop->mTag != FILE_MAIN) {
        Fail(ERR_WRONG_DATABASE);
        return;
    }
    char name[sizeof camera->mName];
    CopyName(name, sizeof name, camera->mName);
    const bool existed = FindObjectByName(database, name) != nullptr;
    Chunk* extended = nullptr;
    HeldChunk heldExtended(&extended);
    Chunk* object = PrepareObject(database, name, &extended, false);
    if (!object) return;
    Chunk* part = nullptr;
    NewChunkWithTag(&part, CAMERA);
    if (!part) {
        PushError(ERR_PUT_FAILED);
        ReleaseChunk(&extended);
        return;
    }
    AppendChild(object, part);
    if (FloatsData* data = MakeData<FloatsData>(part)) {
        const float values[8] = {
            camera->mPosition.x, camera->mPosition.y, camera->mPosition.z, camera->mTarget.x,
            camera->mTarget.y,   camera->mTarget.z,   camera->mRoll,       2400.0f / camera->mFieldOfView};
        std::memcpy(data->mValues, values, sizeof values);
    }
    if (camera->mShowCone) {
        Chunk* cone = nullptr;
        NewChunkWithTag(&cone, CAMERA_SHOW_CONE);
        if (cone) AppendChild(part, cone);
    }
    Chunk* ranges = nullptr;
    NewChunkWithTag(&ranges, CAMERA_RANGES);
    if (ranges) {
        AppendChild(part, ranges);
        if (FloatsData* data = MakeData<FloatsData>(ranges)) {
            data->mValues[0] = camera->mNearRange;
            data->mValues[1] = camera->mFarRange;
        }
    }
    if (extended) AppendChild(part, extended);
    extended = nullptr;  // the object's now
    if (!existed) NoteObjectAdded(database, object);
}

void DeleteCameraByIndex(Database* database, uint32_t index) {
    DeleteObjectByIndex(database, CAMERA, index);
}

void DeleteCameraByName(Database* database, const char* name) {
    DeleteObjectByName(database, name);
}

void CopyCameraByIndex(Database* destination, Database* source, uint32_t index) {
    CopyObjectByIndex(destination, source, CAMERA, index);
}

void CopyCameraByName(Database* destination, Database* source, const char* name) {
    CopyObjectByName(destination, source, name);
}

// ---- Backgrounds --------------------------------------------------------------------------------

void InitBackground(Background** background) {
    if (!background) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!*background) {
        *background = oxa_alloc::Counted(new (std::nothrow) Background);
        if (!*background) Fail(ERR_NO_MEM);
        return;
    }
    **background = Background();
}

void ReleaseBackground(Background** background) {
    if (!background) return;
    delete *background;
    *background = nullptr;
}

namespace {

void ColorFrom(Chunk* chunk, float out[3]) {
    if (FloatsData* data = GetData<FloatsData>(chunk))
        for (int i = 0; i < 3; ++i)
            out[i] = data->mValues[i];
    else if (BytesData* bytes = GetData<BytesData>(chunk))
        for (int i = 0; i < 3; ++i)
            out[i] = (float)bytes->mValues[i] / 255.0f;
}

// The colour a background or fog chunk holds: its float colour (the gamma one where given), else
// its 24-bit colour, which other programs write instead.
void ColorOfPart(Chunk* part, float out[3]) {
    Chunk* color = FindChild(part, COLOR_FLOAT);
    if (Chunk* gamma = FindChild(part, COLOR_FLOAT_GAMMA)) color = gamma;
    if (!color) color = FindChild(part, COLOR_BYTE);
    if (Chunk* gamma = color && color->mTag == COLOR_BYTE ? FindChild(part, COLOR_BYTE_GAMMA) : nullptr)
        color = gamma;
    if (color) ColorFrom(color, out);
}

// The first chunk with the tag from `first` on, and the next two after it.
void ThreeColors(Chunk* gradient, uint32_t tag, float* colors[3]) {
    Chunk* node = nullptr;
    FindNextChunk(gradient->mChildren, tag, &node);
    for (int i = 0; i < 3 && node; ++i) {
        ColorFrom(node, colors[i]);
        Chunk* next = nullptr;
        FindNextChunk(node->mNext, tag, &next);
        node = next;
    }
}

}  // namespace

void GetBackground(Database* database, Background** background) {
    if (!database || !background) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    Chunk* editor = GetEditorChunk(database, false);
    if (!editor) return;
    InitBackground(background);
    if (Stopped() || !*background) return;
    Background* b = *background;
    if (Chunk* bitmap = FindChild(editor, BACKGROUND_BITMAP)) {
        StringData* data = GetData<StringData>(bitmap);
        b->mBitmap = data ? data->mText : std::string();
        b->mHasBitmap = true;
    }
    if (Chunk* solid = FindChild(editor, BACKGROUND_SOLID)) {
        ColorOfPart(solid, b->mSolid);
    }
    if (Chunk* gradient = FindChild(editor, BACKGROUND_GRADIENT)) {
        b->mGradientMid = FirstFloat(gradient, b->mGradientMid);
        float* colors[3] = {b->mGradientTop, b->mGradientMiddle, b->mGradientBottom};
        ThreeColors(gradient, COLOR_FLOAT, colors);
        ThreeColors(gradient, COLOR_FLOAT_GAMMA, colors);
    }
    if (FindChild(editor, USE_BACKGROUND_BITMAP))
        b->mActive = kBitmapBackground;
    else if (FindChild(editor, USE_BACKGROUND_SOLID))
        b->mActive = kSolidBackground;
    else if (FindChild(editor, USE_BACKGROUND_GRADIENT))
        b->mActive = kGradientBackground;
    else
        b->mActive = kNoBackground;
}

void PutBackground(Database* database, Background* background) {
    if (!background) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return;
    Chunk* chunk = nullptr;
    ReplaceOrAddChild(editor, BACKGROUND_BITMAP, &chunk);
    if (StringData* data = MakeData<StringData>(chunk)) data->mText = background->mBitmap;
    ReplaceOrAddChild(editor, BACKGROUND_SOLID, &chunk);
    if (chunk) {
        for (uint32_t tag : {COLOR_FLOAT, COLOR_FLOAT_GAMMA})
            PutFloats(chunk, tag, {background->mSolid[0], background->mSolid[1], background->mSolid[2]});
    }
    ReplaceOrAddChild(editor, BACKGROUND_GRADIENT, &chunk);
    if (chunk) {
        if (FloatsData* data = MakeData<FloatsData>(chunk)) data->mValues[0] = background->mGradientMid;
        for (const float* color :
             {background->mGradientTop, background->mGradientMiddle, background->mGradientBottom})
            for (uint32_t tag : {COLOR_FLOAT, COLOR_FLOAT_GAMMA})
                PutFloats(chunk, tag, {color[0], color[1], color[2]});
    }
    Chunk* flag = nullptr;
    for (uint32_t tag : {USE_BACKGROUND_BITMAP, USE_BACKGROUND_SOLID, USE_BACKGROUND_GRADIENT}) {
        flag = FindChild(editor, tag);
        if (flag) break;
    }
    if (flag) ResetChunk(flag);
    uint32_t tag = 0;
    if (background->mActive == kSolidBackground) tag = USE_BACKGROUND_SOLID;
    if (background->mActive == kGradientBackground) tag = USE_BACKGROUND_GRADIENT;
    if (background->mActive == kBitmapBackground) tag = USE_BACKGROUND_BITMAP;
    if (!tag) return;
    if (flag)
        flag->mTag = tag;
    else
        NewPart(tag, editor);
}

void CopyBackground(Database* destination, Database* source) {
    if (!CheckDatabase(destination, false) || !CheckDatabase(source, false)) return;
    Chunk* from = GetEditorChunk(source, false);
    if (!from) return;
    Chunk* to = GetEditorChunk(destination, true);
    if (!to) return;
    for (uint32_t tag : {BACKGROUND_BITMAP, USE_BACKGROUND_BITMAP, BACKGROUND_SOLID, USE_BACKGROUND_SOLID,
                         BACKGROUND_GRADIENT, USE_BACKGROUND_GRADIENT}) {
        if (Chunk* chunk = FindChild(from, tag)) PutChunkCopy(to, chunk);
        if (Stopped()) return;
    }
}

bool GetFog(Database* database, Fog* fog) {
    if (!database || !fog) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    Chunk* editor = GetEditorChunk(database, false);
    Chunk* chunk = editor ? FindChild(editor, FOG) : nullptr;
    if (!chunk) return false;
    if (RawData* data = GetData<RawData>(chunk)) {
        if (data->mBytes.size() >= 16) {
            float* values[4] = {&fog->mNearPlane, &fog->mNearDensity, &fog->mFarPlane, &fog->mFarDensity};
            for (int i = 0; i < 4; ++i) {
                float value;
                std::memcpy(&value, data->mBytes.data() + 4 * i, 4);
                *values[i] = OrderFloatIn(value);
            }
        }
    }
    ColorOfPart(chunk, fog->mColor);
    fog->mBackground = FindChild(chunk, FOG_BACKGROUND) != nullptr;
    fog->mInUse = FindChild(editor, USE_FOG) != nullptr;
    return true;
}

void PutFog(Database* database, const Fog& fog) {
    if (!CheckDatabase(database, false)) return;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return;
    Chunk* chunk = nullptr;
    ReplaceOrAddChild(editor, FOG, &chunk);
    if (!chunk) return;
    if (RawData* data = MakeData<RawData>(chunk)) {
        data->mBytes.resize(16);
        const float values[4] = {fog.mNearPlane, fog.mNearDensity, fog.mFarPlane, fog.mFarDensity};
        for (int i = 0; i < 4; ++i) {
            const float value = OrderFloatOut(values[i]);
            std::memcpy(data->mBytes.data() + 4 * i, &value, 4);
        }
    }
    PutFloats(chunk, COLOR_FLOAT, {fog.mColor[0], fog.mColor[1], fog.mColor[2]});
    if (fog.mBackground) NewPart(FOG_BACKGROUND, chunk);
    Chunk* flag = FindChild(editor, USE_FOG);
    if (fog.mInUse && !flag) NewPart(USE_FOG, editor);
    if (!fog.mInUse && flag) RemoveChild(editor, flag);
}

namespace {

// The four floats that start a raw record (fog, layer fog, distance cue); false when it is
// shorter.
bool FourFloats(Chunk* chunk, float* values[4]) {
    RawData* data = GetData<RawData>(chunk);
    if (!data || data->mBytes.size() < 16) return false;
    for (int i = 0; i < 4; ++i) {
        float value;
        std::memcpy(&value, data->mBytes.data() + 4 * i, 4);
        *values[i] = OrderFloatIn(value);
    }
    return true;
}

// Replaces the editor section's chunk `tag` by one whose raw record is the four values (each as
// its float, or with `lastLong` the fourth as a 32-bit integer); null when it cannot be made.
Chunk* PutFourValues(Database* database, uint32_t tag, const float values[4], const uint32_t* lastLong) {
    if (!CheckDatabase(database, false)) return nullptr;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return nullptr;
    Chunk* chunk = nullptr;
    ReplaceOrAddChild(editor, tag, &chunk);
    if (!chunk) return nullptr;
    if (RawData* data = MakeData<RawData>(chunk)) {
        data->mBytes.resize(16);
        for (int i = 0; i < 4; ++i) {
            uint32_t bits;
            std::memcpy(&bits, &values[i], 4);
            if (i == 3 && lastLong) bits = *lastLong;
            bits = OrderLongOut(bits);
            std::memcpy(data->mBytes.data() + 4 * i, &bits, 4);
        }
    }
    return chunk;
}

// Adds or removes the editor section's use flag `tag`.
void PutUseFlag(Database* database, uint32_t tag, bool inUse) {
    Chunk* editor = GetEditorChunk(database, false);
    if (!editor) return;
    Chunk* flag = FindChild(editor, tag);
    if (inUse && !flag) NewPart(tag, editor);
    if (!inUse && flag) RemoveChild(editor, flag);
}

}  // namespace

bool GetLayerFog(Database* database, LayerFog* fog) {
    if (!database || !fog) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    Chunk* editor = GetEditorChunk(database, false);
    Chunk* chunk = editor ? FindChild(editor, LAYER_FOG) : nullptr;
    if (!chunk) return false;
    float flags = 0.0f;
    float* values[4] = {&fog->mNearY, &fog->mFarY, &fog->mDensity, &flags};
    if (FourFloats(chunk, values)) {
        // The fourth value is the flag word, not a float.
        uint32_t bits;
        std::memcpy(&bits, &flags, 4);
        fog->mFlags = bits;
    }
    ColorOfPart(chunk, fog->mColor);
    fog->mInUse = FindChild(editor, USE_LAYER_FOG) != nullptr;
    return true;
}

void PutLayerFog(Database* database, const LayerFog& fog) {
    const float values[4] = {fog.mNearY, fog.mFarY, fog.mDensity, 0.0f};
    Chunk* chunk = PutFourValues(database, LAYER_FOG, values, &fog.mFlags);
    if (!chunk) return;
    PutFloats(chunk, COLOR_FLOAT, {fog.mColor[0], fog.mColor[1], fog.mColor[2]});
    PutUseFlag(database, USE_LAYER_FOG, fog.mInUse);
}

bool GetDistanceCue(Database* database, DistanceCue* cue) {
    if (!database || !cue) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    Chunk* editor = GetEditorChunk(database, false);
    Chunk* chunk = editor ? FindChild(editor, DISTANCE_CUE) : nullptr;
    if (!chunk) return false;
    float* values[4] = {&cue->mNearPlane, &cue->mNearDimming, &cue->mFarPlane, &cue->mFarDimming};
    FourFloats(chunk, values);
    cue->mBackground = FindChild(chunk, DISTANCE_CUE_BACKGROUND) != nullptr;
    cue->mInUse = FindChild(editor, USE_DISTANCE_CUE) != nullptr;
    return true;
}

void PutDistanceCue(Database* database, const DistanceCue& cue) {
    const float values[4] = {cue.mNearPlane, cue.mNearDimming, cue.mFarPlane, cue.mFarDimming};
    Chunk* chunk = PutFourValues(database, DISTANCE_CUE, values, nullptr);
    if (!chunk) return;
    if (cue.mBackground) NewPart(DISTANCE_CUE_BACKGROUND, chunk);
    PutUseFlag(database, USE_DISTANCE_CUE, cue.mInUse);
}

bool GetShadowValue(Database* database, uint32_t tag, double* value) {
    if (!database || !value) {
        Fail(ERR_INVALID_ARG);
        return false;
    }
    Chunk* editor = GetEditorChunk(database, false);
    Chunk* chunk = editor ? FindChild(editor, tag) : nullptr;
    if (!chunk) return false;
    if (tag == SHADOW_LOW_BIAS || tag == SHADOW_HIGH_BIAS || tag == SHADOW_FILTER || tag == SHADOW_RAY_BIAS) {
        FloatsData* data = GetData<FloatsData>(chunk);
        if (!data || !data->mCount) return false;
        *value = data->mValues[0];
        return true;
    }
    RawData* data = GetData<RawData>(chunk);
    const size_t width = tag == SHADOW_SAMPLES ? 2 : tag == SHADOW_RANGE ? 4 : 0;
    if (!data || width == 0 || data->mBytes.size() < width) return false;
    if (width == 2) {
        uint16_t bits;
        std::memcpy(&bits, data->mBytes.data(), 2);
        *value = (int16_t)OrderShortIn(bits);
    } else {
        uint32_t bits;
        std::memcpy(&bits, data->mBytes.data(), 4);
        *value = (int32_t)OrderLongIn(bits);
    }
    return true;
}

void PutShadowValue(Database* database, uint32_t tag, double value) {
    if (tag != SHADOW_HIGH_BIAS && tag != SHADOW_SAMPLES && tag != SHADOW_RANGE) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!CheckDatabase(database, false)) return;
    Chunk* editor = GetEditorChunk(database, true);
    if (!editor) return;
    Chunk* chunk = nullptr;
    ReplaceOrAddChild(editor, tag, &chunk);
    if (!chunk) return;
    if (tag == SHADOW_HIGH_BIAS) {
        if (FloatsData* data = MakeData<FloatsData>(chunk)) data->mValues[0] = (float)value;
        return;
    }
    RawData* data = MakeData<RawData>(chunk);
    if (!data) return;
    // Out-of-range values saturate to the field's width.
    if (tag == SHADOW_SAMPLES) {
        const double clamped = value != value     ? 0.0
                               : value < -32768.0 ? -32768.0
                               : value > 32767.0  ? 32767.0
                                                  : value;
        const uint16_t bits = OrderShortOut((uint16_t)(int16_t)clamped);
        data->mBytes.resize(2);
        std::memcpy(data->mBytes.data(), &bits, 2);
    } else {
        const double clamped = value != value          ? 0.0
                               : value < -2147483648.0 ? -2147483648.0
                               : value > 2147483647.0  ? 2147483647.0
                                                       : value;
        const uint32_t bits = OrderLongOut((uint32_t)(int32_t)clamped);
        data->mBytes.resize(4);
        std::memcpy(data->mBytes.data(), &bits, 4);
    }
}

}  // namespace Ftk
