#include "formats/motion/c3d/vvicon_loader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Reads go through a buffer of whole blocks; the data section is read this much at a time.
constexpr size_t kReadBuffer = 2048 * VViconLoaderBase::kBlockSize;
// Written bytes are gathered and handed to the file this much at a time.
constexpr size_t kWriteBuffer = 1 << 20;
// The gathering buffer starts this large and grows with what is written: most written files are
// far smaller than kWriteBuffer, and reserving all of it for each one cost more than writing them.
constexpr size_t kFirstWriteBlock = 1 << 14;

void Store16(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back((uint8_t)(value & 0xFF));
    out.push_back((uint8_t)(value >> 8));
}

void StoreFloat(std::vector<uint8_t>& out, float value) {
    uint8_t bytes[4];
    VViconNumbers::StoreDecFloat(value, bytes);
    out.insert(out.end(), bytes, bytes + 4);
}

}  // namespace

// ---- numbers -------------------------------------------------------------------------------------

namespace {

// The IEEE single of 4 bytes of an IEEE processor (Intel low byte first, MIPS high byte first).
float IeeeValue(const uint8_t* bytes, int processor) {
    uint8_t b[4] = {bytes[0], bytes[1], bytes[2], bytes[3]};
    if (processor == eVICON_MIPS) {
        std::swap(b[0], b[3]);
        std::swap(b[1], b[2]);
    }
    float value;
    std::memcpy(&value, b, 4);
    return value;
}

void StoreIeee(float value, int processor, uint8_t out[4]) {
    std::memcpy(out, &value, 4);
    if (processor == eVICON_MIPS) {
        std::swap(out[0], out[3]);
        std::swap(out[1], out[2]);
    }
}

}  // namespace

void VViconNumbers::ConvertFloat(uint8_t bytes[4], int from, int to) {
    if (from == to || from < eVICON_INTEL || from > eVICON_MIPS || to < eVICON_INTEL || to > eVICON_MIPS)
        return;
    if (from == eVICON_DEC) {
        StoreIeee((float)DecValue(bytes), to, bytes);
    } else if (to == eVICON_DEC) {
        StoreDec((double)IeeeValue(bytes, from), bytes);
    } else {
        // Intel and MIPS: the same bits in the reverse byte order, whatever they hold.
        std::swap(bytes[0], bytes[3]);
        std::swap(bytes[1], bytes[2]);
    }
}

float VViconNumbers::LoadFloat(const uint8_t* bytes, int processor) {
    if (processor == eVICON_DEC) return (float)DecValue(bytes);
    return IeeeValue(bytes, processor == eVICON_MIPS ? eVICON_MIPS : eVICON_INTEL);
}

double VViconNumbers::DecValue(const uint8_t* bytes) {
    // The high half (sign, exponent, top fraction bits) comes first, each half low byte first.
    const uint32_t bits =
        (uint32_t)bytes[1] << 24 | (uint32_t)bytes[0] << 16 | (uint32_t)bytes[3] << 8 | bytes[2];
    const int exponent = (int)(bits >> 23 & 0xFF);
    const bool negative = (bits >> 31) != 0;
    if (exponent == 0) return negative ? -0.0 : 0.0;
    // (2^23 + f) x 2^(e - 152): a double holds it exactly.
    const double magnitude = std::ldexp((double)((bits & 0x7FFFFFu) | 0x800000u), exponent - 152);
    return negative ? -magnitude : magnitude;
}

bool VViconNumbers::StoreDec(double value, uint8_t out[4]) {
    uint32_t bits = 0;
    bool held = true;
    if (!std::isnan(value) && value != 0.0) {
        const bool negative = value < 0.0;
        const double magnitude = std::fabs(value);
        if (magnitude >= 0x1p-126 && magnitude <= kDecLargest) {
            // Where singles are normal they have DEC's 24 bits: the single nearest the value is the
            // DEC value nearest it, with the exponent 2 larger (and the largest when it rounds
            // past it).
            const float single = (float)value;
            uint32_t ieee;
            std::memcpy(&ieee, &single, 4);
            if ((ieee & 0x7FFFFFFFu) > 0x7EFFFFFFu) ieee = (ieee & 0x80000000u) | 0x7EFFFFFFu;
            bits = ieee + 0x01000000u;
        } else if (magnitude < kDecSmallest) {
            held = false;  // below DEC's smallest value: zero
        } else {
            uint32_t exponent, fraction;
            if (magnitude >= kDecLargest) {
                exponent = 255;
                fraction = 0x7FFFFFu;
            } else {
                // magnitude = m x 2^p with m in [0.5, 1): the DEC exponent is p + 128, and the 24
                // bits of m (its top bit hidden) are rounded to nearest, halves to even.
                int p = 0;
                const double m = std::frexp(magnitude, &p);
                double whole = std::nearbyint(std::ldexp(m, 24));  // 2^23 .. 2^24
                if (whole >= 16777216.0) {
                    whole = 8388608.0;
                    ++p;
                }
                exponent = (uint32_t)(p + 128);
                fraction = (uint32_t)whole & 0x7FFFFFu;
                if (exponent > 255) {  // rounded past the largest value
                    exponent = 255;
                    fraction = 0x7FFFFFu;
                }
            }
            bits = (negative ? 0x80000000u : 0u) | exponent << 23 | fraction;
        }
    }
    out[0] = (uint8_t)(bits >> 16);
    out[1] = (uint8_t)(bits >> 24);
    out[2] = (uint8_t)bits;
    out[3] = (uint8_t)(bits >> 8);
    return held;
}

// ---- array ---------------------------------------------------------------------------------------

VViconArray::VViconArray(const void* data, uint32_t type, int dimensionCount, const int* sizes)
    : mType(type) {
    mDimensions.clear();
    for (int i = 0; i < dimensionCount; ++i)
        mDimensions.push_back(sizes[i] < 0 ? 0 : sizes[i]);
    if (mDimensions.empty()) mDimensions.push_back(1);
    mDimensionCount = (int)mDimensions.size();
    mDimensions.push_back(1);
    if (data) {
        mView = static_cast<const uint8_t*>(data);
    } else {
        mData.assign((size_t)(GetElementCount() * GetElementSize()), 0);
    }
}

// The product of dimensions [first, last): 0 when one of them is 0 (whatever the others are: a file
// may put 255 beside a 0 in every slot), else saturated at the largest int64_t.
static int64_t DimensionProduct(const std::vector<int>& dimensions, int first, int last) {
    for (int i = first; i < last; ++i)
        if (dimensions[(size_t)i] == 0) return 0;
    int64_t product = 1;
    for (int i = first; i < last; ++i) {
        const int64_t d = dimensions[(size_t)i];
        if (product > std::numeric_limits<int64_t>::max() / d) return std::numeric_limits<int64_t>::max();
        product *= d;
    }
    return product;
}

int64_t VViconArray::GetElementCount() const {
    return DimensionProduct(mDimensions, 0, mDimensionCount);
}

bool VViconArray::GetRow(VViconArray& row, int i) const {
    if (i < 0 || i >= GetDimension(0)) return false;
    const int64_t rowSize = DimensionProduct(mDimensions, 1, mDimensionCount);
    row.mData.clear();
    row.mView = GetData() + (size_t)(rowSize * i * GetElementSize());
    row.mType = mType;
    row.mDimensions.assign(mDimensions.begin() + 1, mDimensions.end());
    row.mDimensionCount = mDimensionCount - 1;
    if (row.mDimensionCount == 0) {
        row.mDimensionCount = 1;
        row.mDimensions.assign({1, 1});
    }
    return true;
}

void VViconArray::CopyString(VViconArray& view, const char* text, int n) {
    uint8_t* data = view.mView ? const_cast<uint8_t*>(view.mView) : view.mData.data();
    if (!data || n <= 0) return;
    int k = 0;
    for (; text && k < n && (unsigned char)text[k] >= 2; ++k)
        data[k] = (uint8_t)text[k];
    for (; k < n; ++k)
        data[k] = ' ';
}

template <typename T>
T VViconArray::GetFirst() const {
    if (GetElementCount() <= 0 || !GetData()) return T();
    const uint8_t* d = GetData();
    switch (mType) {
        case kChar:
        case kInt8:
            return (T)(int8_t)d[0];
        case kUInt8:
            return (T)d[0];
        case kInt16: {
            int16_t v;
            std::memcpy(&v, d, 2);
            return (T)v;
        }
        case kUInt16: {
            uint16_t v;
            std::memcpy(&v, d, 2);
            return (T)v;
        }
        case kInt32: {
            int32_t v;
            std::memcpy(&v, d, 4);
            return (T)v;
        }
        case kUInt32: {
            uint32_t v;
            std::memcpy(&v, d, 4);
            return (T)v;
        }
        case kInt64: {
            int64_t v;
            std::memcpy(&v, d, 8);
            return (T)v;
        }
        case kUInt64: {
            uint64_t v;
            std::memcpy(&v, d, 8);
            return (T)v;
        }
        case kFloat: {
            float v;
            std::memcpy(&v, d, 4);
            return (T)v;
        }
        case kDouble: {
            double v;
            std::memcpy(&v, d, 8);
            return (T)v;
        }
        default:
            return T();
    }
}

template <typename T>
void VViconArray::SetFirst(T value) {
    uint8_t* d = GetMutableData();
    if (!d || GetElementCount() <= 0) return;
    switch (mType) {
        case kChar:
        case kInt8:
        case kUInt8:
            d[0] = (uint8_t)value;
            break;
        case kInt16:
        case kUInt16: {
            uint16_t v = (uint16_t)(int64_t)value;
            std::memcpy(d, &v, 2);
            break;
        }
        case kInt32:
        case kUInt32: {
            uint32_t v = (uint32_t)(int64_t)value;
            std::memcpy(d, &v, 4);
            break;
        }
        case kInt64:
        case kUInt64: {
            uint64_t v = (uint64_t)(int64_t)value;
            std::memcpy(d, &v, 8);
            break;
        }
        case kFloat: {
            float v = (float)value;
            std::memcpy(d, &v, 4);
            break;
        }
        case kDouble: {
            double v = (double)value;
            std::memcpy(d, &v, 8);
            break;
        }
        default:
            break;
    }
}

#define OXA_VICON_FIRST(T)                       \
    template T VViconArray::GetFirst<T>() const; \
    template void VViconArray::SetFirst<T>(T);
OXA_VICON_FIRST(int8_t)
OXA_VICON_FIRST(uint8_t)
OXA_VICON_FIRST(int16_t)
OXA_VICON_FIRST(uint16_t)
OXA_VICON_FIRST(int32_t)
OXA_VICON_FIRST(uint32_t)
OXA_VICON_FIRST(int64_t)
OXA_VICON_FIRST(uint64_t)
OXA_VICON_FIRST(float)
OXA_VICON_FIRST(double)
#undef OXA_VICON_FIRST

bool VViconArray::Write(std::vector<uint8_t>& out) const {
    int8_t type;
    switch (mType) {
        case kChar:
            type = -1;
            break;
        case kUInt8:
            type = 1;
            break;
        case kInt16:
        case kUInt16:
            type = 2;
            break;
        case kFloat:
            type = 4;
            break;
        default:
            return false;
    }
    for (int i = 0; i < mDimensionCount; ++i)
        if (mDimensions[(size_t)i] > 255) return false;
    out.push_back((uint8_t)type);
    if (mDimensionCount == 1 && mDimensions[0] == 1) {
        out.push_back(0);
    } else {
        out.push_back((uint8_t)mDimensionCount);
        for (int i = mDimensionCount - 1; i >= 0; --i)
            out.push_back((uint8_t)mDimensions[(size_t)i]);
    }
    const int64_t count = GetElementCount();
    const uint8_t* d = GetData();
    if (type == 2) {
        for (int64_t k = 0; k < count; ++k) {
            uint16_t v;
            std::memcpy(&v, d + 2 * k, 2);
            Store16(out, v);
        }
    } else if (type == 4) {
        for (int64_t k = 0; k < count; ++k) {
            float v;
            std::memcpy(&v, d + 4 * k, 4);
            StoreFloat(out, v);
        }
    } else {
        out.insert(out.end(), d, d + count);
    }
    return true;
}

// ---- parameter -----------------------------------------------------------------------------------

VViconParameter::VViconParameter(const char* name, int groupId, bool locked, const char* description,
                                 const VViconArray* value)
    : mLocked(locked), mGroupId(groupId), mValue(value), mDescription(description ? description : "") {
    std::snprintf(mName, sizeof mName, "%s", name ? name : "");
}

bool VViconParameter::Write(std::vector<uint8_t>& out) const {
    const int length = (int)std::strlen(mName);
    out.push_back((uint8_t)(int8_t)(mLocked ? -length : length));
    out.push_back((uint8_t)(int8_t)mGroupId);
    out.insert(out.end(), mName, mName + length);
    const size_t placeholder = out.size();
    Store16(out, 0);
    if (mGroupId > 0 && GetValue() && !GetValue()->Write(out)) return false;
    const size_t description = std::min<size_t>((size_t)mDescription.GetLen(), 255);
    out.push_back((uint8_t)description);
    out.insert(out.end(), mDescription.Buffer(), mDescription.Buffer() + description);
    // The offset counts from its own first byte to the next record.
    const size_t count = out.size() - placeholder;
    if (count > 0xFFFF) return false;
    out[placeholder] = (uint8_t)(count & 0xFF);
    out[placeholder + 1] = (uint8_t)(count >> 8);
    return true;
}

// ---- loader: stream ------------------------------------------------------------------------------

VViconLoaderBase::VViconLoaderBase() = default;

VViconLoaderBase::~VViconLoaderBase() {
    if (mStream) std::fclose(mStream);
    mOutput.Abandon();
}

bool VViconLoaderBase::OpenRead(const char* path) {
    CloseStream();
    mStream = path ? std::fopen(path, "rb") : nullptr;
    if (!mStream) return false;
    struct stat info;
    mFileSize = fstat(fileno(mStream), &info) == 0 ? (int64_t)info.st_size : 0;
    // A small file gets a buffer of its own size (whole blocks), not the full read buffer: zeroing
    // a megabyte cost more than reading most files. The buffer grows when a read needs more.
    const int64_t blocks = std::max<int64_t>(1, (mFileSize + kBlockSize - 1) / kBlockSize);
    mBuffer.assign(blocks * kBlockSize < (int64_t)kReadBuffer ? (size_t)(blocks * kBlockSize) : kReadBuffer,
                   0);
    mPosition = mFill = 0;
    mBufferOffset = 0;
    mEnd = false;
    return true;
}

bool VViconLoaderBase::OpenWrite(const char* path) {
    CloseStream();
    mWriteFailed = false;
    mWritten = 0;
    mWriteBuffer.clear();
    mWriteBuffer.reserve(kFirstWriteBlock);
    return path && mOutput.Open(path, true);
}

bool VViconLoaderBase::CloseStream() {
    bool ok = true;
    if (mStream) {
        ok = std::fclose(mStream) == 0;
        mStream = nullptr;
    }
    if (mOutput.IsOpen()) {
        ok = FlushOutput() && !mWriteFailed;
        if (ok) {
            ok = mOutput.Commit();
        } else {
            mOutput.Abandon();
        }
    }
    mBuffer.clear();
    mBuffer.shrink_to_fit();
    return ok;
}

void VViconLoaderBase::AbandonWrite() {
    mWriteBuffer.clear();
    mOutput.Abandon();
}

int VViconLoaderBase::GetProcessorType(std::FILE* stream) {
    if (!stream) return -1;
    int answer = -1;
    uint8_t word[2];
    if (std::fseek(stream, 0, SEEK_SET) == 0 && std::fread(word, 1, 2, stream) == 2 && word[0] >= 1) {
        const long offset = (long)(word[0] - 1) * kBlockSize + 3;
        uint8_t type;
        if (std::fseek(stream, offset, SEEK_SET) == 0 && std::fread(&type, 1, 1, stream) == 1)
            answer = type - 83;
    }
    std::fseek(stream, 0, SEEK_SET);
    return answer;
}

const uint8_t* VViconLoaderBase::Peek(size_t n) {
    if (mFill - mPosition >= n) return mBuffer.data() + mPosition;
    if (!mStream) return nullptr;
    // Keep what is left, then read on behind it in whole buffers.
    const size_t left = mFill - mPosition;
    if (left && mPosition) std::memmove(mBuffer.data(), mBuffer.data() + mPosition, left);
    mBufferOffset += (int64_t)mPosition;
    mPosition = 0;
    mFill = left;
    if (mBuffer.size() < n) mBuffer.resize(n);
    while (mFill < n) {
        const size_t got = std::fread(mBuffer.data() + mFill, 1, mBuffer.size() - mFill, mStream);
        if (got == 0) {
            mEnd = true;
            return nullptr;
        }
        mFill += got;
    }
    return mBuffer.data();
}

bool VViconLoaderBase::Seek(int64_t offset) {
    if (!mStream || offset < 0) return false;
    mEnd = false;
    if (offset >= mBufferOffset && offset <= mBufferOffset + (int64_t)mFill) {
        mPosition = (size_t)(offset - mBufferOffset);
        return true;
    }
    if (fseeko(mStream, (off_t)offset, SEEK_SET) != 0) return false;
    mBufferOffset = offset;
    mPosition = mFill = 0;
    return true;
}

bool VViconLoaderBase::SeekBlock(int64_t index) {
    if (index < 0 || !Seek(index * kBlockSize)) {
        mEnd = true;
        return false;
    }
    if (!Peek(1)) return false;
    return true;
}

int64_t VViconLoaderBase::Skip(int64_t n) {
    if (n <= 0) return 0;
    const int64_t here = Tell();
    const int64_t target = std::min<int64_t>(here + n, std::max<int64_t>(mFileSize, here));
    if (!Seek(target)) return 0;
    return target - here;
}

bool VViconLoaderBase::ReadUInt8(uint8_t& value) {
    const uint8_t* p = Peek(1);
    if (!p) return false;
    value = p[0];
    Advance(1);
    return true;
}

bool VViconLoaderBase::ReadInt8(int8_t& value) {
    uint8_t byte;
    if (!ReadUInt8(byte)) return false;
    value = (int8_t)byte;
    return true;
}

int VViconLoaderBase::ReadChars(char* buffer, int n) {
    int read = 0;
    if (n > 0) {
        const size_t available = std::min<int64_t>(n, std::max<int64_t>(0, mFileSize - Tell()));
        if (const uint8_t* p = Peek(available)) {
            std::memcpy(buffer, p, available);
            Advance(available);
            read = (int)available;
        }
    }
    buffer[read < 0 ? 0 : read] = 0;
    return read;
}

bool VViconLoaderBase::ReadUInt16(uint16_t& value) {
    const uint8_t* p = Peek(2);
    if (!p) return false;
    value = VViconNumbers::Load16(p, mFileProcessor);
    Advance(2);
    return true;
}

bool VViconLoaderBase::ReadInt16(int16_t& value) {
    uint16_t v;
    if (!ReadUInt16(v)) return false;
    value = (int16_t)v;
    return true;
}

bool VViconLoaderBase::ReadFloat(float& value) {
    const uint8_t* p = Peek(4);
    if (!p) return false;
    value = VViconNumbers::LoadFloat(p, mFileProcessor);
    Advance(4);
    return true;
}

// ---- loader: header, parameters, points ---------------------------------------------------------

bool VViconLoaderBase::ReadHeaderBlock() {
    // Word 1 is two bytes in file order: the first parameter block, then the 0x50 mark.
    if (!Seek(0)) return false;
    const uint8_t* p = Peek(302);
    if (!p) return false;
    const uint16_t word1 = (uint16_t)(p[0] | p[1] << 8);
    if ((word1 & 0xF000) != 0x5000) return false;
    mFirstParameterBlock = word1 & 0x0FFF;
    auto word = [&](int k) { return VViconNumbers::Load16(p + 2 * (k - 1), mFileProcessor); };
    mPointCount = word(2);
    mAnalogPerFrame = word(3);
    mFirstFrame = word(4);
    mLastFrame = word(5);
    mMaxGap = word(6);
    mScale = VViconNumbers::LoadFloat(p + 12, mFileProcessor);
    mFirstDataBlock = word(9);
    mAnalogSamplesPerFrame = word(10);
    mFrameRate = VViconNumbers::LoadFloat(p + 20, mFileProcessor);
    const uint16_t key = word(150);
    (void)key;  // 12345 when events follow; not checked
    const int events = word(151);
    // A negative scale means floating-point data; other scales outside (0.001, 1000) are
    // replaced. Rates run from above 0.001 up to kMaxFrameRate (high-speed and force-plate-rate
    // captures reach thousands of frames per second); anything else, NaN included, becomes 30.
    if (!(mScale < 0.0f) && !(mScale > 0.001f && mScale < 1000.0f)) mScale = 0.1449f;
    mStoredFrameRate = mFrameRate;
    mFrameRateReplaced = !(mFrameRate > 0.001f && mFrameRate <= kMaxFrameRate);
    if (mFrameRateReplaced) mFrameRate = 30.0f;
    // At most 18 events fit the header: times at word 153, displayed flags at word 189, labels at
    // word 199.
    mEventCount = std::min(events, kMaxEvents);
    if (mEventCount > 0) {
        p = Peek(396 + 4 * kMaxEvents);
        if (!p) return false;
        for (int e = 0; e < mEventCount; ++e) {
            mEvents[e].mTime = VViconNumbers::LoadFloat(p + 304 + 4 * e, mFileProcessor);
            mEvents[e].mDisplayed = p[376 + e] != 0;
            std::memcpy(mEvents[e].mLabel, p + 396 + 4 * e, 4);
            mEvents[e].mLabel[4] = 0;
        }
    }
    return true;
}

std::unique_ptr<VViconParameter> VViconLoaderBase::ReadParameter() {
    if (mParametersEnded) return nullptr;
    int8_t nameLength = 0, groupId = 0;
    if (!ReadInt8(nameLength) || !ReadInt8(groupId) || nameLength == 0 || groupId == 0) return nullptr;
    std::unique_ptr<VViconParameter> parameter(new VViconParameter());
    parameter->mLocked = nameLength < 0;
    const int length = nameLength < 0 ? -(int)nameLength : nameLength;
    parameter->mGroupId = groupId;
    // Names are kept to 31 characters; the rest of a longer one is passed.
    const int kept = std::min(length, VViconParameter::kMaxName);
    if (ReadChars(parameter->mName, kept) != kept) return nullptr;
    if (length > kept && Skip(length - kept) != length - kept) return nullptr;
    uint16_t offset = 0;
    if (!ReadUInt16(offset)) return nullptr;
    int64_t budget;
    if (offset >= 2) {
        budget = offset - 2;
    } else {
        // An offset of 0 or 1 marks the last record: it may use the bytes up to the first data
        // block and the end of the file.
        mParametersEnded = true;
        int64_t limit = mFileSize;
        if (mFirstDataBlock >= 1)
            limit = std::min<int64_t>(limit, (int64_t)(mFirstDataBlock - 1) * kBlockSize);
        budget = std::max<int64_t>(0, limit - Tell());
    }
    bool described = true;
    if (parameter->IsParameter()) described = ReadValue(*parameter, budget);
    if (described && budget >= 1) {
        uint8_t descriptionLength = 0;
        if (!ReadUInt8(descriptionLength)) return nullptr;
        --budget;
        const int n = (int)std::min<int64_t>(descriptionLength, budget);
        char text[256];
        if (ReadChars(text, n) != n) return nullptr;
        budget -= n;
        parameter->mDescription = text;
    }
    if (!mParametersEnded && budget > 0 && Skip(budget) != budget) mParametersEnded = true;
    return parameter;
}

bool VViconLoaderBase::ReadValue(VViconParameter& parameter, int64_t& budget) {
    if (budget < 1) return false;
    int8_t type = 0;
    if (!ReadInt8(type)) return false;
    --budget;
    if (type == 0) return true;
    uint32_t code;
    switch (type) {
        case -1:
            code = VViconArray::kChar;
            break;
        case 1:
            code = VViconArray::kUInt8;
            break;
        case 2:
            code = VViconArray::kInt16;
            break;
        case 4:
            code = VViconArray::kFloat;
            break;
        default:
            return false;  // a type the file format does not have: the rest is skipped
    }
    if (budget < 1) return false;
    uint8_t dimensionCount = 0;
    if (!ReadUInt8(dimensionCount)) return false;
    --budget;
    if (budget < dimensionCount) return false;
    int sizes[255];
    int64_t count = 1;
    const int elementSize = (int)(code & 0xF);
    bool fits = true;
    for (int i = 0; i < dimensionCount; ++i) {
        uint8_t size = 0;
        if (!ReadUInt8(size)) return false;
        // The first dimension in the file varies fastest: it goes to the last slot.
        sizes[dimensionCount - 1 - i] = size;
        // Counted in 64 bits and stopped as soon as it exceeds what the record holds.
        if (fits) {
            count *= size;
            if (count * elementSize > budget) fits = false;
        }
    }
    budget -= dimensionCount;
    if (!fits) return false;  // more elements than the record's bytes: the value is skipped
    std::unique_ptr<VViconArray> value(new VViconArray(nullptr, code, dimensionCount, sizes));
    const size_t bytes = (size_t)(count * elementSize);
    if (bytes) {
        const uint8_t* p = Peek(bytes);
        if (!p) return false;
        uint8_t* d = value->GetMutableData();
        if (code == VViconArray::kInt16) {
            for (size_t k = 0; k < bytes; k += 2) {
                const uint16_t v = VViconNumbers::Load16(p + k, mFileProcessor);
                std::memcpy(d + k, &v, 2);
            }
        } else if (code == VViconArray::kFloat) {
            for (size_t k = 0; k < bytes; k += 4) {
                const float v = VViconNumbers::LoadFloat(p + k, mFileProcessor);
                std::memcpy(d + k, &v, 4);
            }
        } else {
            std::memcpy(d, p, bytes);
        }
        Advance(bytes);
        budget -= (int64_t)bytes;
    }
    parameter.mOwnedValue = std::move(value);
    return true;
}

bool VViconLoaderBase::ReadPoint(VViconPoint& point, float scale, int extra, double unitFactor) {
    const bool floating = scale < 0.0f;
    const uint8_t* p = Peek(floating ? 16 : 8);
    if (!p) return false;
    if (floating) {
        point.mX = VViconNumbers::LoadFloat(p, mFileProcessor) * unitFactor;
        point.mY = VViconNumbers::LoadFloat(p + 4, mFileProcessor) * unitFactor;
        point.mZ = VViconNumbers::LoadFloat(p + 8, mFileProcessor) * unitFactor;
        const float fourth = VViconNumbers::LoadFloat(p + 12, mFileProcessor);
        point.mResidual = fourth;
        point.mCameraBits = 0;
        // Valid when the fourth value is not below 0 (a residual between -1 and 0 too) and, cut
        // to a whole number and taken as a signed 16-bit integer, is not negative.
        if (!(fourth >= 0.0f) || !std::isfinite(fourth)) {
            point.mValid = false;
        } else {
            const double whole = std::trunc((double)fourth);
            point.mValid =
                std::fabs(whole) >= 9.0e18 || (int16_t)(uint16_t)((uint64_t)(int64_t)whole & 0xFFFF) >= 0;
        }
        Advance(16);
    } else {
        const double factor = (double)scale * unitFactor;
        point.mX = (int16_t)VViconNumbers::Load16(p, mFileProcessor) * factor;
        point.mY = (int16_t)VViconNumbers::Load16(p + 2, mFileProcessor) * factor;
        point.mZ = (int16_t)VViconNumbers::Load16(p + 4, mFileProcessor) * factor;
        // The fourth word: residual in its low byte, camera bits in its high byte, whose top
        // bit marks the point invalid.
        const uint16_t fourth = VViconNumbers::Load16(p + 6, mFileProcessor);
        point.mResidual = fourth & 0xFF;
        point.mCameraBits = fourth >> 8;
        point.mValid = (point.mCameraBits & 0x80) == 0;
        Advance(8);
    }
    if (extra > 0) Skip(extra);
    return true;
}

// ---- loader: writing -----------------------------------------------------------------------------

bool VViconLoaderBase::FlushOutput() {
    if (mWriteBuffer.empty()) return !mWriteFailed;
    if (!mOutput.IsOpen() || !mOutput.Write(mWriteBuffer.data(), mWriteBuffer.size())) mWriteFailed = true;
    mWritten += (int64_t)mWriteBuffer.size();
    mWriteBuffer.clear();
    return !mWriteFailed;
}

bool VViconLoaderBase::WriteBytes(const void* data, size_t n) {
    if (mWriteFailed || !mOutput.IsOpen()) {
        mWriteFailed = true;
        return false;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    mWriteBuffer.insert(mWriteBuffer.end(), bytes, bytes + n);
    if (mWriteBuffer.size() >= kWriteBuffer) return FlushOutput();
    return true;
}

bool VViconLoaderBase::WriteByte(uint8_t value) {
    return WriteBytes(&value, 1);
}

bool VViconLoaderBase::WriteUInt16(uint16_t value) {
    const uint8_t bytes[2] = {(uint8_t)(value & 0xFF), (uint8_t)(value >> 8)};
    return WriteBytes(bytes, 2);
}

bool VViconLoaderBase::WriteFloat(float value) {
    uint8_t bytes[4];
    VViconNumbers::StoreDecFloat(value, bytes);
    return WriteBytes(bytes, 4);
}

bool VViconLoaderBase::WriteFill(uint8_t value, size_t n) {
    if (mWriteFailed) return false;
    mWriteBuffer.insert(mWriteBuffer.end(), n, value);
    if (mWriteBuffer.size() >= kWriteBuffer) return FlushOutput();
    return true;
}

VViconWordPatch VViconLoaderBase::WriteWordForPatch(uint16_t value) {
    VViconWordPatch patch;
    patch.mPosition = mWritten + (int64_t)mWriteBuffer.size();
    patch.mValue = value;
    WriteUInt16(value);
    return patch;
}

bool VViconLoaderBase::WritePatch(VViconWordPatch& patch, uint16_t value) {
    patch.mValue = value;
    if (patch.mPosition < 0 || !FlushOutput()) {
        mWriteFailed = true;
        return false;
    }
    std::FILE* stream = mOutput.Stream();
    const uint8_t bytes[2] = {(uint8_t)(value & 0xFF), (uint8_t)(value >> 8)};
    if (!stream || fseeko(stream, (off_t)patch.mPosition, SEEK_SET) != 0 ||
        std::fwrite(bytes, 1, 2, stream) != 2 || fseeko(stream, 0, SEEK_END) != 0) {
        mOutput.MarkFailed();
        mWriteFailed = true;
        return false;
    }
    return true;
}

size_t VViconNumbers::EncodePoint(const double coordinates[3], bool valid, float scale, double unitFactor,
                                  uint8_t* out, int64_t* flushed) {
    if (scale < 0.0f) {
        for (int a = 0; a < 3; ++a) {
            const double v = coordinates[a] / unitFactor;
            if (!(std::fabs(v) <= kDecLargest)) valid = false;  // NaN too
            if (!StoreDec(v, out + 4 * a) && flushed) ++*flushed;
        }
        StoreDec(valid ? 0.0 : -1.0, out + 12);
        return 16;
    }
    // Each coordinate is written as the nearest whole number of steps, so a reader that multiplies
    // by the scale is off by half a step at most. Coordinates beyond 16 bits (or not numbers) are
    // clamped and the point is marked invalid.
    const double step = (double)scale * unitFactor;
    for (int a = 0; a < 3; ++a) {
        const double v = std::round(coordinates[a] / step);
        int16_t i;
        if (v >= -32768.0 && v <= 32767.0) {
            i = (int16_t)v;
        } else {
            i = v > 0.0 ? 32767 : v < 0.0 ? -32768 : 0;
            valid = false;
        }
        out[2 * a] = (uint8_t)((uint16_t)i & 0xFF);
        out[2 * a + 1] = (uint8_t)((uint16_t)i >> 8);
    }
    out[6] = 0;  // residual
    out[7] = valid ? 0 : 0x80;
    return 8;
}

bool VViconLoaderBase::WritePoint(const VViconPoint& point, float scale, double unitFactor) {
    const double c[3] = {point.mX, point.mY, point.mZ};
    uint8_t out[16];
    return WriteBytes(out, VViconNumbers::EncodePoint(c, point.mValid, scale, unitFactor, out));
}

bool VViconLoaderBase::WriteHeaderBlock() {
    mHeaderPatch = WriteWordForPatch(0x5002);
    WriteUInt16((uint16_t)mPointCount);
    WriteUInt16((uint16_t)mAnalogPerFrame);
    WriteUInt16((uint16_t)mFirstFrame);
    WriteUInt16((uint16_t)mLastFrame);
    WriteUInt16((uint16_t)mMaxGap);
    WriteFloat(mScale);
    mDataStartPatch = WriteWordForPatch((uint16_t)mFirstDataBlock);
    WriteUInt16((uint16_t)mAnalogSamplesPerFrame);
    WriteFloat(mFrameRate);
    WriteFill(0, 274);
    WriteUInt16(12345);
    WriteUInt16(0);  // no events
    mFirstParameterBlock = 2;
    return WriteFill(0, (size_t)(kBlockSize - 302));
}

bool VViconLoaderBase::WriteParameterSection() {
    mSection.clear();
    // Byte 2 (the number of parameter blocks) is set when the section is finished.
    const uint8_t start[4] = {1, 80, 0, 85};
    mSection.insert(mSection.end(), start, start + 4);
    const int16_t used = (int16_t)mPointCount;
    const int16_t frames = (int16_t)(mLastFrame - mFirstFrame + 1);
    const int16_t dataStart = (int16_t)mFirstDataBlock;
    const float scale = mScale, rate = mFrameRate;
    const int two = 2, four = 4;
    const VViconArray usedValue(&used, VViconArray::kInt16, 0, nullptr);
    const VViconArray framesValue(&frames, VViconArray::kInt16, 0, nullptr);
    const VViconArray dataStartValue(&dataStart, VViconArray::kInt16, 0, nullptr);
    const VViconArray scaleValue(&scale, VViconArray::kFloat, 0, nullptr);
    const VViconArray rateValue(&rate, VViconArray::kFloat, 0, nullptr);
    const VViconArray xScreen("+X", VViconArray::kChar, 1, &two);
    const VViconArray yScreen("+Z", VViconArray::kChar, 1, &two);
    const VViconArray units("mm  ", VViconArray::kChar, 1, &four);
    bool ok = VViconParameter("POINT", -1, false, nullptr, nullptr).Write(mSection);
    ok = ok && VViconParameter("USED", 1, false, nullptr, &usedValue).Write(mSection);
    ok = ok && VViconParameter("FRAMES", 1, false, nullptr, &framesValue).Write(mSection);
    ok = ok && VViconParameter("DATA_START", 1, false, nullptr, &dataStartValue).Write(mSection);
    // The value is the two bytes before the description length.
    mDataStartValue = mSection.size() - 3;
    ok = ok && VViconParameter("SCALE", 1, false, nullptr, &scaleValue).Write(mSection);
    ok = ok && VViconParameter("RATE", 1, false, nullptr, &rateValue).Write(mSection);
    ok = ok && VViconParameter("X_SCREEN", 1, false, nullptr, &xScreen).Write(mSection);
    ok = ok && VViconParameter("Y_SCREEN", 1, false, nullptr, &yScreen).Write(mSection);
    ok = ok && VViconParameter("UNITS", 1, false, nullptr, &units).Write(mSection);
    if (!ok) mWriteFailed = true;
    return ok;
}

bool VViconLoaderBase::FinishParameterSection() {
    // A zero name length and group id end the section even when it fills its last block.
    mSection.push_back(0);
    mSection.push_back(0);
    const int64_t sectionStart = (int64_t)(mFirstParameterBlock - 1) * kBlockSize;
    int64_t end = sectionStart + (int64_t)mSection.size();
    end = (end + kBlockSize - 1) / kBlockSize * kBlockSize;
    mSection.resize((size_t)(end - sectionStart), 0);
    mFirstDataBlock = (int)(end / kBlockSize) + 1;
    const int blocks = mFirstDataBlock - mFirstParameterBlock;
    if (blocks > 255 || mFirstDataBlock > 0xFFFF) {
        mWriteFailed = true;
        return false;
    }
    // The real number of parameter blocks, so that readers that trust it see every record.
    mSection[2] = (uint8_t)blocks;
    mSection[mDataStartValue] = (uint8_t)(mFirstDataBlock & 0xFF);
    mSection[mDataStartValue + 1] = (uint8_t)(mFirstDataBlock >> 8);
    return WriteBytes(mSection.data(), mSection.size());
}
