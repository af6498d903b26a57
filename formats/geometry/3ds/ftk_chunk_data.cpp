// Chunk data records: which record a tag has, reading one from its chunk's bytes in the source
// file, writing it back, copying and freeing it.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "formats/geometry/3ds/ftk_core.h"
#include "formats/geometry/3ds/ftk_keyframer.h"

namespace Ftk {

DataKind DataKindOfTag(uint32_t tag) {
    switch (tag) {
        // Containers: their data is only sub-chunks.
        case FILE_MAIN:
        case FILE_PROJECT:
        case FILE_MATLIB:
        case CHUNK_3DFF:
        case CHUNK_2D2D:
        case CHUNK_2D3D:
        case EDITOR_DATA:
        case VIEW_DEFAULT:
        case AMBIENT_COLOR:
        case BACKGROUND_SOLID:
        case TRIANGLE_MESH:
        case EXTENDED_DATA:
        case MATERIAL_BLOCK:
        case MATERIAL_AMBIENT:
        case MATERIAL_DIFFUSE:
        case MATERIAL_SPECULAR:
        case MATERIAL_SHININESS:
        case MATERIAL_SHINE_STRENGTH:
        case MATERIAL_SHINE_3:
        case MATERIAL_TRANSPARENCY:
        case MATERIAL_FALLOFF:
        case MATERIAL_REFLECT_BLUR:
        case MATERIAL_SELF_ILLUM_PERCENT:
        case MAP_TEXTURE_1:
        case MAP_SPECULAR:
        case MAP_OPACITY:
        case MAP_REFLECTION:
        case MAP_BUMP:
        case MAP_TEXTURE_2:
        case MAP_SHININESS:
        case MAP_SELF_ILLUM:
        case MASK_TEXTURE_1:
        case MASK_TEXTURE_2:
        case MASK_OPACITY:
        case MASK_BUMP:
        case MASK_SHININESS:
        case MASK_SPECULAR:
        case MASK_SELF_ILLUM:
        case MASK_REFLECTION:
        case KEYFRAMER_DATA:
        case AMBIENT_NODE:
        case OBJECT_NODE:
        case CAMERA_NODE:
        case CAMERA_TARGET_NODE:
        case LIGHT_NODE:
        case LIGHT_TARGET_NODE:
        case SPOTLIGHT_NODE:
            return kDataNone;
        case COLOR_FLOAT:
        case COLOR_FLOAT_GAMMA:
        case PERCENT_FLOAT:
        case MASTER_SCALE:
        case BACKGROUND_GRADIENT:
        case SHADOW_LOW_BIAS:
        case SHADOW_HIGH_BIAS:
        case SHADOW_FILTER:
        case SHADOW_RAY_BIAS:
        case CONSTRUCTION_ORIGIN:
        case MESH_LOCAL_AXES:
        case LIGHT:
        case SPOTLIGHT:
        case SPOT_ROLL:
        case SPOT_ASPECT:
        case SPOT_RAY_BIAS:
        case LIGHT_INNER_RANGE:
        case LIGHT_OUTER_RANGE:
        case LIGHT_MULTIPLIER:
        case CAMERA:
        case CAMERA_RANGES:
        case MATERIAL_WIRE_SIZE:
        case MAP_BLUR:
        case MAP_U_SCALE:
        case MAP_V_SCALE:
        case MAP_U_OFFSET:
        case MAP_V_OFFSET:
        case MAP_ROTATION:
        case NODE_PIVOT:
        case NODE_BOUNDING_BOX:
        case NODE_MORPH_SMOOTH:
            return kDataFloats;
        case COLOR_BYTE:
        case COLOR_BYTE_GAMMA:
        case MAP_TINT_1:
        case MAP_TINT_2:
        case MAP_TINT_R:
        case MAP_TINT_G:
        case MAP_TINT_B:
        case MESH_COLOR:
            return kDataBytes;
        case PERCENT_INT:
        case SHADOW_MAP_SIZE:
        case MAP_TILING:
        case NODE_ID:
        case MATERIAL_SHADING:
        case MAP_BUMP_PERCENT:
            return kDataShort;
        case FILE_VERSION:
        case EDITOR_VERSION:
        case KEYFRAMER_CURRENT_FRAME:
            return kDataLong;
        case BACKGROUND_BITMAP:
        case VIEW_CAMERA:
        case OBJECT_BLOCK:
        case MESH_PROCEDURE_NAME:
        case SPOT_PROJECTOR:
        case LIGHT_EXCLUDE:
        case MATERIAL_NAME:
        case MAP_FILE_NAME:
        case NODE_INSTANCE_NAME:
        case EXTENDED_DATA_NAME:
        case EXTENDED_DATA_STRING:
        case NODE_PARENT_NAME:
            return kDataString;
        case SPOT_SHADOW_PARAMS:
            return kDataShadowParams;
        case MESH_MAPPING_INFO:
            return kDataMappingInfo;
        case MATERIAL_AUTO_REFLECTION:
            return kDataAutoReflection;
        case MESH_VERTICES:
            return kDataPoints;
        case MESH_VERTEX_FLAGS:
            return kDataVertexFlags;
        case MESH_FACES:
            return kDataFaces;
        case FACE_MATERIAL:
            return kDataFaceMaterial;
        case MESH_MAPPING_COORDS:
            return kDataTexVerts;
        case FACE_SMOOTHING:
            return kDataSmoothing;
        case MESH_BOX_MAP:
            return kDataBoxMap;
        case KEYFRAMER_HEADER:
            return kDataKeyframerHeader;
        case KEYFRAMER_SEGMENT:
            return kDataSegment;
        case NODE_HEADER:
            return kDataNodeHeader;
        default:
            if (tag >= TRACK_POSITION && tag <= TRACK_HIDE) return kDataTrack;
            return kDataRaw;
    }
}

uint32_t FloatCountOfTag(uint32_t tag) {
    switch (tag) {
        case COLOR_FLOAT:
        case COLOR_FLOAT_GAMMA:
        case CONSTRUCTION_ORIGIN:
        case LIGHT:
        case NODE_PIVOT:
            return 3;
        case MESH_LOCAL_AXES:
            return 12;
        case SPOTLIGHT:
            return 5;  // target point, hotspot, falloff
        case CAMERA:
            return 8;  // position, target, roll, focal length
        case CAMERA_RANGES:
            return 2;
        case NODE_BOUNDING_BOX:
            return 6;
        default:
            return DataKindOfTag(tag) == kDataFloats ? 1 : 0;
    }
}

uint32_t ByteCountOfTag(uint32_t tag) {
    if (tag == MESH_COLOR) return 1;
    return DataKindOfTag(tag) == kDataBytes ? 3 : 0;
}

namespace {

// Tags whose string names an object or a keyframer node.
bool IsObjectNameTag(uint32_t tag) {
    return tag == VIEW_CAMERA || tag == OBJECT_BLOCK || tag == LIGHT_EXCLUDE || tag == NODE_INSTANCE_NAME;
}

}  // namespace

uint32_t StringLimitOfTag(uint32_t tag) {
    switch (tag) {
        case VIEW_CAMERA:
        case OBJECT_BLOCK:
        case LIGHT_EXCLUDE:
        case NODE_INSTANCE_NAME:
            return 0;  // the chunk's whole string: FitName keeps it
        case MESH_PROCEDURE_NAME:
            return 12;
        case MAP_FILE_NAME:
            return 64;
        case NODE_PARENT_NAME:
            return 512;
        default:
            return 0;  // the chunk's whole data
    }
}

int TrackValueWidth(uint32_t tag) {
    switch (tag) {
        case TRACK_POSITION:
        case TRACK_SCALE:
        case TRACK_COLOR:
            return 3;
        case TRACK_ROTATION:
            return 4;
        case TRACK_FOV:
        case TRACK_ROLL:
        case TRACK_HOTSPOT:
        case TRACK_FALLOFF:
            return 1;
        default:
            return 0;
    }
}

bool IsRequiredTag(uint32_t tag) {
    switch (tag) {
        case OBJECT_BLOCK:
        case MESH_VERTICES:
        case MESH_FACES:
        case MATERIAL_NAME:
        case NODE_HEADER:
            return true;
        default:
            return false;
    }
}

uint32_t KeyHeaderSize(uint16_t splineFlags) {
    uint32_t size = 6;
    for (int bit = 0; bit < 5; ++bit)
        if (splineFlags & (1u << bit)) size += 4;
    return size;
}

namespace {

// Reads typed values out of a chunk's bytes. The first value that does not fit marks the data
// short (13 for the caller to push, with the bytes the layout needed); it and every later value
// keep their starting values.
class Cursor {
public:
    Cursor(const uint8_t* data, size_t size) : mData(data), mLeft(size), mSize(size) {}

    size_t Left() const { return mLeft; }
    bool Failed() const { return mFailed; }
    int32_t FailCode() const { return mCode; }
    // The bytes the layout needed when the data was short (at least what it held plus one).
    uint64_t Needed() const { return mNeeded; }
    // The data holds fewer items than its count says: 4 for the caller.
    void ShortOfItems(uint64_t needed) { Mark(ERR_INVALID_CHUNK, needed); }

    bool Take(void* out, size_t size) {
        if (mFailed || size > mLeft) {
            Fail(size);
            return false;
        }
        if (size == 0) return true;
        std::memcpy(out, mData, size);
        mData += size;
        mLeft -= size;
        return true;
    }
    void U8(uint8_t& value) { Take(&value, 1); }
    void U16(uint16_t& value) {
        uint16_t raw;
        if (Take(&raw, 2)) value = OrderShortIn(raw);
    }
    void I16(int16_t& value) {
        uint16_t raw = (uint16_t)value;
        U16(raw);
        value = (int16_t)raw;
    }
    void U32(uint32_t& value) {
        uint32_t raw;
        if (Take(&raw, 4)) value = OrderLongIn(raw);
    }
    void I32(int32_t& value) {
        uint32_t raw = (uint32_t)value;
        U32(raw);
        value = (int32_t)raw;
    }
    void F32(float& value) {
        float raw;
        if (Take(&raw, 4)) value = OrderFloatIn(raw);
    }
    void Point(Point3& point) {
        F32(point.x);
        F32(point.y);
        F32(point.z);
    }
    // A NUL-terminated string of at most `limit` characters (0: any length within the data). A
    // string without its NUL in reach pushes 13 and gives "". With `cut`, a longer string is read
    // through its NUL and cut to the limit.
    void String(std::string& text, uint32_t limit, bool cut = false) {
        text.clear();
        if (mFailed) return;
        size_t reach = mLeft;
        if (limit && !cut && (size_t)limit + 1 < reach) reach = (size_t)limit + 1;
        const void* nul = reach ? std::memchr(mData, 0, reach) : nullptr;
        if (!nul) {
            Fail(reach + 1);
            return;
        }
        size_t length = (size_t)((const uint8_t*)nul - mData);
        text.assign((const char*)mData, cut && limit && length > limit ? limit : length);
        mData += length + 1;
        mLeft -= length + 1;
    }
    // True when `count` items of `size` bytes fit in the bytes left (computed in 64 bits).
    bool Fits(uint64_t count, uint64_t size) const { return !mFailed && count * size <= (uint64_t)mLeft; }
    const uint8_t* Data() const { return mData; }
    void Advance(size_t size) {
        mData += size;
        mLeft -= size;
    }

private:
    void Fail(uint64_t size) { Mark(ERR_READING_FILE, (uint64_t)(mSize - mLeft) + size); }
    void Mark(int32_t code, uint64_t needed) {
        if (mFailed) return;
        mFailed = true;
        mCode = code;
        mNeeded = std::max<uint64_t>(needed, (uint64_t)mSize + 1);
    }
    const uint8_t* mData;
    size_t mLeft;
    size_t mSize;
    bool mFailed = false;
    int32_t mCode = NO_FTK_ERRORS;
    uint64_t mNeeded = 0;
};

// Copies `count` little-endian 16- or 32-bit values (floats included) out of the cursor.
template <class T>
void TakeArray(Cursor& cursor, T* out, size_t count) {
    static_assert(sizeof(T) % 2 == 0, "whole 16-bit words");
    if (count == 0) return;
    std::memcpy((void*)out, cursor.Data(), count * sizeof(T));
    cursor.Advance(count * sizeof(T));
    if (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) {
        uint8_t* bytes = (uint8_t*)out;
        const size_t width = sizeof(T) == 8 ? 4 : (sizeof(T) % 4 == 0 ? 4 : 2);
        for (size_t i = 0; i < count * sizeof(T); i += width)
            for (size_t k = 0; k < width / 2; ++k)
                std::swap(bytes[i + k], bytes[i + width - 1 - k]);
    }
}

// A u16 count and that many items of `size` bytes; a count that does not fit marks the data
// short (false).
bool CountedItems(Cursor& cursor, uint32_t itemSize, uint16_t* count) {
    *count = 0;
    cursor.U16(*count);
    if (cursor.Failed()) return false;
    if (!cursor.Fits(*count, itemSize)) {
        cursor.ShortOfItems(2 + (uint64_t)*count * itemSize);
        return false;
    }
    return true;
}

bool ReadTrack(Cursor& cursor, uint32_t tag, TrackData* record) {
    Track& track = record->mTrack;
    // A header cut short still claims one key.
    track.mKeyCount = 1;
    cursor.U16(track.mFlags);
    cursor.U32(record->mTrack.mReserved[0]);
    cursor.U32(record->mTrack.mReserved[1]);
    cursor.U32(track.mKeyCount);
    if (cursor.Failed()) return false;
    const uint32_t width = (uint32_t)TrackValueWidth(tag);
    const uint64_t smallest = 6 + 4ull * width + (tag == TRACK_MORPH ? 1 : 0);
    if (!cursor.Fits(track.mKeyCount, smallest)) {
        cursor.ShortOfItems(14 + track.mKeyCount * smallest);
        return false;
    }
    track.mKeys.resize(track.mKeyCount);
    if (width) track.mValues.resize((size_t)track.mKeyCount * width);
    if (tag == TRACK_MORPH) track.mMorphNames.resize(track.mKeyCount);
    for (uint32_t k = 0; k < track.mKeyCount; ++k) {
        KeyHeader& key = track.mKeys[k];
        cursor.I32(key.mFrame);
        cursor.U16(key.mSplineFlags);
        float* splines[5] = {&key.mTension, &key.mContinuity, &key.mBias, &key.mEaseTo, &key.mEaseFrom};
        for (int bit = 0; bit < 5; ++bit)
            if (key.mSplineFlags & (1u << bit)) cursor.F32(*splines[bit]);
        for (uint32_t v = 0; v < width; ++v)
            cursor.F32(track.mValues[(size_t)k * width + v]);
        if (tag == TRACK_MORPH) {
            // The name is kept in its 13-byte slot: a longer one is cut.
            std::string name;
            cursor.String(name, 12, true);
            CopyName(track.mMorphNames[k].mName, sizeof track.mMorphNames[k].mName, name.c_str());
        }
        if (cursor.Failed()) break;
    }
    return true;
}

// The record of `tag` read from its own-data bytes; null when it counts as absent.
// Each record is held until it is filled: a fill that runs out of memory frees it.
ChunkData* ParseRecord(Cursor& cursor, uint32_t tag, const uint8_t* bytes, size_t size) {
    switch (DataKindOfTag(tag)) {
        case kDataNone:
            return nullptr;
        case kDataRaw: {
            if (size == 0) return nullptr;
            std::unique_ptr<RawData> record(new RawData);
            record->mBytes.assign(bytes, bytes + size);
            return record.release();
        }
        case kDataFloats: {
            std::unique_ptr<FloatsData> record(new FloatsData);
            record->mCount = FloatCountOfTag(tag);
            for (uint32_t i = 0; i < record->mCount; ++i)
                cursor.F32(record->mValues[i]);
            return record.release();
        }
        case kDataBytes: {
            std::unique_ptr<BytesData> record(new BytesData);
            // ByteCountOfTag gives at most 3. The bound is spelled out, and the loop runs over a
            // local count rather than mCount, which each byte's memcpy may change as far as the
            // compiler knows: without both, g++ warns of a fourth byte on a path that never runs.
            const uint32_t count = std::min<uint32_t>(ByteCountOfTag(tag), sizeof record->mValues);
            record->mCount = count;
            for (uint32_t i = 0; i < count; ++i)
                cursor.U8(record->mValues[i]);
            return record.release();
        }
        case kDataShort: {
            std::unique_ptr<ShortData> record(new ShortData);
            cursor.I16(record->mValue);
            return record.release();
        }
        case kDataLong: {
            std::unique_ptr<LongData> record(new LongData);
            cursor.I32(record->mValue);
            return record.release();
        }
        case kDataString: {
            std::unique_ptr<StringData> record(new StringData);
            // A map image name longer than any program writes is cut, not a reason to refuse the
            // whole file. A material name is read whole (as face groups name it): the records fit
            // it, keeping long names apart.
            cursor.String(record->mText, StringLimitOfTag(tag), tag == MAP_FILE_NAME);
            if (IsObjectNameTag(tag)) {
                // Object and node names: any length the chunk holds, long ones cut apart.
                record->mText = FitName(record->mText);
            }
            return record.release();
        }
        case kDataShadowParams: {
            std::unique_ptr<ShadowParamsData> record(new ShadowParamsData);
            cursor.F32(record->mBias);
            cursor.F32(record->mFilter);
            cursor.I16(record->mMapSize);
            return record.release();
        }
        case kDataMappingInfo: {
            std::unique_ptr<MappingInfoData> record(new MappingInfoData);
            cursor.U16(record->mMapType);
            cursor.F32(record->mTileU);
            cursor.F32(record->mTileV);
            cursor.Point(record->mIconPosition);
            cursor.F32(record->mIconScale);
            for (float& value : record->mMatrix)
                cursor.F32(value);
            cursor.F32(record->mPlanarWidth);
            cursor.F32(record->mPlanarHeight);
            cursor.F32(record->mCylinderHeight);
            return record.release();
        }
        case kDataAutoReflection: {
            std::unique_ptr<AutoReflectionData> record(new AutoReflectionData);
            cursor.U8(record->mValue1);
            cursor.U8(record->mValue2);
            cursor.I16(record->mFlags);
            cursor.U32(record->mMapSize);
            cursor.U32(record->mFrameStep);
            return record.release();
        }
        case kDataPoints: {
            uint16_t count;
            if (!CountedItems(cursor, 12, &count)) return nullptr;
            std::unique_ptr<PointArrayData> record(new PointArrayData);
            record->mPoints.resize(count);
            TakeArray(cursor, record->mPoints.data(), count);
            return record.release();
        }
        case kDataVertexFlags: {
            uint16_t count;
            if (!CountedItems(cursor, 2, &count)) return nullptr;
            std::unique_ptr<VertexFlagsData> record(new VertexFlagsData);
            record->mFlags.resize(count);
            TakeArray(cursor, record->mFlags.data(), count);
            return record.release();
        }
        case kDataFaces: {
            uint16_t count;
            if (!CountedItems(cursor, 8, &count)) return nullptr;
            std::unique_ptr<FaceArrayData> record(new FaceArrayData);
            record->mFaces.resize(count);
            TakeArray(cursor, record->mFaces.data(), count);
            return record.release();
        }
        case kDataFaceMaterial: {
            std::string name;
            cursor.String(name, 0);
            if (cursor.Failed()) return nullptr;
            uint16_t count;
            if (!CountedItems(cursor, 2, &count)) return nullptr;
            std::unique_ptr<FaceMaterialData> record(new FaceMaterialData);
            record->mName = name;
            record->mFaces.resize(count);
            TakeArray(cursor, record->mFaces.data(), count);
            return record.release();
        }
        case kDataTexVerts: {
            uint16_t count;
            if (!CountedItems(cursor, 8, &count)) return nullptr;
            std::unique_ptr<TexVertArrayData> record(new TexVertArrayData);
            record->mTexVerts.resize(count);
            TakeArray(cursor, record->mTexVerts.data(), count);
            return record.release();
        }
        case kDataSmoothing: {
            // One mask per 4 bytes, whatever the face count.
            std::unique_ptr<SmoothingData> record(new SmoothingData);
            record->mGroups.resize(size / 4);
            TakeArray(cursor, record->mGroups.data(), size / 4);
            return record.release();
        }
        case kDataBoxMap: {
            std::unique_ptr<BoxMapData> record(new BoxMapData);
            for (std::string& name : record->mNames)
                cursor.String(name, 16);
            return record.release();
        }
        case kDataKeyframerHeader: {
            std::unique_ptr<KeyframerHeaderData> record(new KeyframerHeaderData);
            cursor.I16(record->mRevision);
            cursor.String(record->mSceneName, 512);
            cursor.I32(record->mAnimationLength);
            return record.release();
        }
        case kDataSegment: {
            std::unique_ptr<SegmentData> record(new SegmentData);
            cursor.I32(record->mFirst);
            cursor.I32(record->mLast);
            return record.release();
        }
        case kDataNodeHeader: {
            std::unique_ptr<NodeHeaderData> record(new NodeHeaderData);
            cursor.String(record->mName, 0);
            record->mName = FitName(record->mName);
            cursor.U16(record->mFlags1);
            cursor.U16(record->mFlags2);
            cursor.I16(record->mParent);
            return record.release();
        }
        case kDataTrack: {
            std::unique_ptr<TrackData> record(new TrackData);
            if (!ReadTrack(cursor, tag, record.get())) return nullptr;
            return record.release();
        }
    }
    return nullptr;
}

// Little-endian serialisation into a byte vector.
class Sink {
public:
    explicit Sink(std::vector<uint8_t>& out) : mOut(out) {}
    void Put(const void* data, size_t size) {
        const uint8_t* bytes = (const uint8_t*)data;
        mOut.insert(mOut.end(), bytes, bytes + size);
    }
    void U8(uint8_t value) { mOut.push_back(value); }
    void U16(uint16_t value) {
        value = OrderShortOut(value);
        Put(&value, 2);
    }
    void U32(uint32_t value) {
        value = OrderLongOut(value);
        Put(&value, 4);
    }
    void F32(float value) {
        value = OrderFloatOut(value);
        Put(&value, 4);
    }
    void Point(const Point3& point) {
        F32(point.x);
        F32(point.y);
        F32(point.z);
    }
    void String(const std::string& text) { Put(text.c_str(), text.size() + 1); }
    template <class T>
    void Array(const T* items, size_t count) {
        size_t start = mOut.size();
        Put(items, count * sizeof(T));
        if (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) {
            const size_t width = sizeof(T) % 4 == 0 ? 4 : 2;
            for (size_t i = start; i < mOut.size(); i += width)
                for (size_t k = 0; k < width / 2; ++k)
                    std::swap(mOut[i + k], mOut[i + width - 1 - k]);
        }
    }

private:
    std::vector<uint8_t>& mOut;
};

uint16_t CountOf(size_t size) {
    return size > 0xFFFF ? (uint16_t)0xFFFF : (uint16_t)size;
}

}  // namespace

void SerializeRecord(uint32_t tag, const ChunkData* data, std::vector<uint8_t>& out) {
    out.clear();
    if (!data) return;
    Sink sink(out);
    switch (data->mKind) {
        case kDataNone:
            return;
        case kDataRaw:
            sink.Put(static_cast<const RawData*>(data)->mBytes.data(),
                     static_cast<const RawData*>(data)->mBytes.size());
            return;
        case kDataFloats: {
            const FloatsData* record = static_cast<const FloatsData*>(data);
            for (uint32_t i = 0; i < record->mCount && i < 12; ++i)
                sink.F32(record->mValues[i]);
            return;
        }
        case kDataBytes: {
            const BytesData* record = static_cast<const BytesData*>(data);
            for (uint32_t i = 0; i < record->mCount && i < 3; ++i)
                sink.U8(record->mValues[i]);
            return;
        }
        case kDataShort:
            sink.U16((uint16_t) static_cast<const ShortData*>(data)->mValue);
            return;
        case kDataLong:
            sink.U32((uint32_t) static_cast<const LongData*>(data)->mValue);
            return;
        case kDataString: {
            const std::string& text = static_cast<const StringData*>(data)->mText;
            // 0x8002 and 0x8003 fill their chunk; every other string is written as it is held.
            sink.Put(text.c_str(), std::strlen(text.c_str()) + 1);
            return;
        }
        case kDataShadowParams: {
            const ShadowParamsData* record = static_cast<const ShadowParamsData*>(data);
            sink.F32(record->mBias);
            sink.F32(record->mFilter);
            sink.U16((uint16_t)record->mMapSize);
            return;
        }
        case kDataMappingInfo: {
            const MappingInfoData* record = static_cast<const MappingInfoData*>(data);
            sink.U16(record->mMapType);
            sink.F32(record->mTileU);
            sink.F32(record->mTileV);
            sink.Point(record->mIconPosition);
            sink.F32(record->mIconScale);
            for (float value : record->mMatrix)
                sink.F32(value);
            sink.F32(record->mPlanarWidth);
            sink.F32(record->mPlanarHeight);
            sink.F32(record->mCylinderHeight);
            return;
        }
        case kDataAutoReflection: {
            const AutoReflectionData* record = static_cast<const AutoReflectionData*>(data);
            sink.U8(record->mValue1);
            sink.U8(record->mValue2);
            sink.U16((uint16_t)record->mFlags);
            sink.U32(record->mMapSize);
            sink.U32(record->mFrameStep);
            return;
        }
        case kDataPoints: {
            const std::vector<Point3>& points = static_cast<const PointArrayData*>(data)->mPoints;
            uint16_t count = CountOf(points.size());
            sink.U16(count);
            sink.Array(points.data(), count);
            return;
        }
        case kDataVertexFlags: {
            const std::vector<uint16_t>& flags = static_cast<const VertexFlagsData*>(data)->mFlags;
            uint16_t count = CountOf(flags.size());
            sink.U16(count);
            sink.Array(flags.data(), count);
            return;
        }
        case kDataFaces: {
            const std::vector<Face>& faces = static_cast<const FaceArrayData*>(data)->mFaces;
            uint16_t count = CountOf(faces.size());
            sink.U16(count);
            sink.Array(faces.data(), count);
            return;
        }
        case kDataFaceMaterial: {
            const FaceMaterialData* record = static_cast<const FaceMaterialData*>(data);
            sink.String(record->mName);
            uint16_t count = CountOf(record->mFaces.size());
            sink.U16(count);
            sink.Array(record->mFaces.data(), count);
            return;
        }
        case kDataTexVerts: {
            const std::vector<TexVert>& verts = static_cast<const TexVertArrayData*>(data)->mTexVerts;
            uint16_t count = CountOf(verts.size());
            sink.U16(count);
            sink.Array(verts.data(), count);
            return;
        }
        case kDataSmoothing: {
            const std::vector<uint32_t>& groups = static_cast<const SmoothingData*>(data)->mGroups;
            sink.Array(groups.data(), groups.size());
            return;
        }
        case kDataBoxMap:
            for (const std::string& name : static_cast<const BoxMapData*>(data)->mNames)
                sink.String(name);
            return;
        case kDataKeyframerHeader: {
            const KeyframerHeaderData* record = static_cast<const KeyframerHeaderData*>(data);
            sink.U16((uint16_t)record->mRevision);
            sink.String(record->mSceneName);
            sink.U32((uint32_t)record->mAnimationLength);
            return;
        }
        case kDataSegment: {
            const SegmentData* record = static_cast<const SegmentData*>(data);
            sink.U32((uint32_t)record->mFirst);
            sink.U32((uint32_t)record->mLast);
            return;
        }
        case kDataNodeHeader: {
            const NodeHeaderData* record = static_cast<const NodeHeaderData*>(data);
            sink.String(record->mName);
            sink.U16(record->mFlags1);
            sink.U16(record->mFlags2);
            sink.U16((uint16_t)record->mParent);
            return;
        }
        case kDataTrack: {
            const TrackData* record = static_cast<const TrackData*>(data);
            const Track& track = record->mTrack;
            const uint32_t width = (uint32_t)TrackValueWidth(tag);
            // Never more keys than the arrays hold.
            uint64_t count = track.mKeyCount;
            if (count > track.mKeys.size()) count = track.mKeys.size();
            if (width && count > track.mValues.size() / width) count = track.mValues.size() / width;
            if (tag == TRACK_MORPH && count > track.mMorphNames.size()) count = track.mMorphNames.size();
            sink.U16(track.mFlags);
            sink.U32(record->mTrack.mReserved[0]);
            sink.U32(record->mTrack.mReserved[1]);
            sink.U32((uint32_t)count);
            for (uint64_t k = 0; k < count; ++k) {
                const KeyHeader& key = track.mKeys[k];
                sink.U32((uint32_t)key.mFrame);
                sink.U16(key.mSplineFlags);
                const float splines[5] = {key.mTension, key.mContinuity, key.mBias, key.mEaseTo,
                                          key.mEaseFrom};
                for (int bit = 0; bit < 5; ++bit)
                    if (key.mSplineFlags & (1u << bit)) sink.F32(splines[bit]);
                for (uint32_t v = 0; v < width; ++v)
                    sink.F32(track.mValues[k * width + v]);
                if (tag == TRACK_MORPH) {
                    const char* name = track.mMorphNames[k].mName;
                    sink.Put(name, strnlen(name, sizeof track.mMorphNames[k].mName - 1));
                    sink.U8(0);
                }
            }
            return;
        }
    }
}

ChunkData* CloneRecord(const ChunkData* data) {
    if (!data) return nullptr;
    switch (data->mKind) {
        case kDataNone:
            return nullptr;
        case kDataRaw:
            return new RawData(*static_cast<const RawData*>(data));
        case kDataFloats:
            return new FloatsData(*static_cast<const FloatsData*>(data));
        case kDataBytes:
            return new BytesData(*static_cast<const BytesData*>(data));
        case kDataShort:
            return new ShortData(*static_cast<const ShortData*>(data));
        case kDataLong:
            return new LongData(*static_cast<const LongData*>(data));
        case kDataString:
            return new StringData(*static_cast<const StringData*>(data));
        case kDataShadowParams:
            return new ShadowParamsData(*static_cast<const ShadowParamsData*>(data));
        case kDataMappingInfo:
            return new MappingInfoData(*static_cast<const MappingInfoData*>(data));
        case kDataAutoReflection:
            return new AutoReflectionData(*static_cast<const AutoReflectionData*>(data));
        case kDataPoints:
            return new PointArrayData(*static_cast<const PointArrayData*>(data));
        case kDataVertexFlags:
            return new VertexFlagsData(*static_cast<const VertexFlagsData*>(data));
        case kDataFaces:
            return new FaceArrayData(*static_cast<const FaceArrayData*>(data));
        case kDataFaceMaterial:
            return new FaceMaterialData(*static_cast<const FaceMaterialData*>(data));
        case kDataTexVerts:
            return new TexVertArrayData(*static_cast<const TexVertArrayData*>(data));
        case kDataSmoothing:
            return new SmoothingData(*static_cast<const SmoothingData*>(data));
        case kDataBoxMap:
            return new BoxMapData(*static_cast<const BoxMapData*>(data));
        case kDataKeyframerHeader:
            return new KeyframerHeaderData(*static_cast<const KeyframerHeaderData*>(data));
        case kDataSegment:
            return new SegmentData(*static_cast<const SegmentData*>(data));
        case kDataNodeHeader:
            return new NodeHeaderData(*static_cast<const NodeHeaderData*>(data));
        case kDataTrack:
            return new TrackData(*static_cast<const TrackData*>(data));
    }
    return nullptr;
}

namespace {

ChunkData* NewRecord(uint32_t tag) {
    switch (DataKindOfTag(tag)) {
        case kDataNone:
            return nullptr;
        case kDataRaw:
            return new RawData;
        case kDataFloats: {
            FloatsData* record = new FloatsData;
            record->mCount = FloatCountOfTag(tag);
            return record;
        }
        case kDataBytes: {
            BytesData* record = new BytesData;
            record->mCount = ByteCountOfTag(tag);
            return record;
        }
        case kDataShort:
            return new ShortData;
        case kDataLong:
            return new LongData;
        case kDataString:
            return new StringData;
        case kDataShadowParams:
            return new ShadowParamsData;
        case kDataMappingInfo:
            return new MappingInfoData;
        case kDataAutoReflection:
            return new AutoReflectionData;
        case kDataPoints:
            return new PointArrayData;
        case kDataVertexFlags:
            return new VertexFlagsData;
        case kDataFaces:
            return new FaceArrayData;
        case kDataFaceMaterial:
            return new FaceMaterialData;
        case kDataTexVerts:
            return new TexVertArrayData;
        case kDataSmoothing:
            return new SmoothingData;
        case kDataBoxMap:
            return new BoxMapData;
        case kDataKeyframerHeader:
            return new KeyframerHeaderData;
        case kDataSegment:
            return new SegmentData;
        case kDataNodeHeader:
            return new NodeHeaderData;
        case kDataTrack:
            return new TrackData;
    }
    return nullptr;
}

std::vector<uint8_t>& Scratch() {
    static std::vector<uint8_t> scratch;
    return scratch;
}

}  // namespace

ChunkData* AllocChunkData(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    if (chunk->mData) return chunk->mData;
    ChunkData* record = NewRecord(chunk->mTag);
    chunk->mData = record;
    return record;
}

ChunkData* ReadChunkData(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return nullptr;
    }
    if (chunk->mData) return chunk->mData;
    if (DataKindOfTag(chunk->mTag) == kDataNone || chunk->mSourceFile == kNoFile) return nullptr;
    File* file = GetFileByIndex(chunk->mSourceFile);
    if (!file || !file->mStream) {
        Fail(ERR_READING_FILE);
        return nullptr;
    }
    SelectFile(file);
    // Never more bytes than the file holds behind the chunk's header.
    const uint64_t start = (uint64_t)chunk->mPosition + 6;
    uint64_t size = chunk->mDataSize;
    if (file->mMode & kFileRead) {
        uint64_t held = file->mSize > start ? file->mSize - start : 0;
        if (size > held) size = held;
    }
    std::vector<uint8_t>& scratch = Scratch();
    scratch.resize((size_t)size);
    size_t got = 0;
    if (size) {
        if (std::fseek(file->mStream, (long)start, SEEK_SET) == 0)
            got = std::fread(scratch.data(), 1, (size_t)size, file->mStream);
    }
    // A file cut short: what is there is read, the rest keeps its starting values.
    if (got < chunk->mDataSize) PushError(ERR_READING_FILE);
    Cursor cursor(scratch.data(), got);
    ChunkData* record = ParseRecord(cursor, chunk->mTag, scratch.data(), got);
    if (cursor.Failed()) {
        if (IsRequiredTag(chunk->mTag) || got < chunk->mDataSize) {
            PushError(cursor.FailCode());
        } else {
            // Data shorter than its layout in a chunk the file reads without: the chunk counts
            // as absent (once: it is no longer read from the file), noted for the caller.
            delete record;
            record = nullptr;
            const uint64_t needed = std::min<uint64_t>(cursor.Needed(), UINT32_MAX);
            NoteSkippedChunk(SkippedChunk{chunk->mTag, chunk->mPosition, chunk->mDataSize, (uint32_t)needed});
            chunk->mSourceFile = kNoFile;
        }
    }
    chunk->mData = record;
    return record;
}

void WriteChunkData(Chunk* chunk) {
    if (!chunk) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (!chunk->mData) return;
    std::vector<uint8_t>& scratch = Scratch();
    SerializeRecord(chunk->mTag, chunk->mData, scratch);
    WriteBytes(scratch.data(), (uint32_t)scratch.size());
}

void CopyChunkData(Chunk* source, Chunk* target) {
    if (!source || !target) {
        Fail(ERR_INVALID_ARG);
        return;
    }
    if (target->mData || !source->mData) return;
    target->mData = CloneRecord(source->mData);
}

void FreeChunkData(Chunk* chunk) {
    if (!chunk) return;
    delete chunk->mData;
    chunk->mData = nullptr;
}

void UnloadChunkData(Chunk* chunk) {
    if (!chunk || !chunk->mData) return;
    if (chunk->mSourceFile > 254) return;
    File* file = GetFileByIndex(chunk->mSourceFile);
    if (file && file->mStream) FreeChunkData(chunk);
}

}  // namespace Ftk
