#ifndef OXA_FORMATS_MOTION_C3D_VVICON_LOADER_H
#define OXA_FORMATS_MOTION_C3D_VVICON_LOADER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vsafe_output_file.h>
#include <oxa/base/vstring.h>

// The C3D file: 512-byte blocks numbered from 1 (block n begins at byte (n - 1) x 512) holding a
// header block, a parameter section of named groups and parameters, and a data section of 3-D
// points frame after frame. Integers are 16-bit and floats 32-bit in the processor format of the
// file: Intel (IEEE, low byte first), DEC (VAX F: the IEEE halves swapped, exponent 2 larger,
// integers low byte first) or MIPS (IEEE, high byte first).

// Processor codes; the parameter section stores them plus 83 (84 Intel, 85 DEC, 86 MIPS).
enum EViconProcessor : int { eVICON_INTEL = 1, eVICON_DEC = 2, eVICON_MIPS = 3 };

// A value written early and set again when the file is finished: its position and value.
struct OXA_API VViconWordPatch {
    int64_t mPosition = -1;
    uint16_t mValue = 0;
};

// One 3-D point of the data section, as read: position in scene units, residual, camera bits.
struct OXA_API VViconPoint {
    double mX = 0.0, mY = 0.0, mZ = 0.0, mResidual = 0.0;
    int mCameraBits = 0;
    bool mValid = true;
};

// A header event: a label of up to 4 characters, a time and a displayed flag (read, not used).
struct OXA_API VViconEvent {
    char mLabel[5] = {0, 0, 0, 0, 0};
    float mTime = 0.0f;
    bool mDisplayed = false;
};

// Number conversions between the processor formats. The host is always Intel.
//
// A DEC float holds a sign, an 8-bit exponent e and 23 fraction bits f, worth
// (0.5 + f / 2^24) x 2^(e - 128), its 16-bit halves stored high half first, each low byte first.
// An exponent of 0 is zero whatever the fraction (with the sign set, a value DEC machines refuse;
// files made from IEEE's -0 hold it, and it reads as -0). DEC has no gaps below its smallest value
// 2^-128 and nothing beyond (1 - 2^-24) x 2^127: IEEE singles from 2^-128 up to that are held
// exactly (the subnormals among them too), and the DEC values below 2^-126 are IEEE subnormals.
struct OXA_API VViconNumbers {
    // The smallest and the largest DEC magnitudes.
    static constexpr double kDecSmallest = 2.938735877055719e-39;  // 2^-128
    static constexpr double kDecLargest = 1.7014117331926443e38;   // (1 - 2^-24) x 2^127

    // Converts the 4 bytes of a float from processor `from` to processor `to` in place, keeping its
    // value: exactly, except that a DEC value below IEEE's smallest normal is rounded to the nearest
    // IEEE subnormal, and an IEEE value DEC cannot hold is stored as StoreDec stores it.
    static void ConvertFloat(uint8_t bytes[4], int from, int to);
    // A 16-bit integer from 2 bytes of processor `processor` (MIPS high byte first).
    static uint16_t Load16(const uint8_t* bytes, int processor) {
        return processor == eVICON_MIPS ? (uint16_t)(bytes[0] << 8 | bytes[1])
                                        : (uint16_t)(bytes[0] | bytes[1] << 8);
    }
    // A float from 4 bytes of processor `processor`.
    static float LoadFloat(const uint8_t* bytes, int processor);
    // The exact value of the 4 bytes of a DEC float.
    static double DecValue(const uint8_t* bytes);
    // The DEC bytes of `value`, rounded to the nearest of DEC's 24 bits (halves to even). A
    // magnitude below 2^-128 is written as zero and the answer is false (true otherwise); a
    // magnitude beyond the largest DEC value is written as that value of its sign, and NaN as zero.
    static bool StoreDec(double value, uint8_t out[4]);
    // StoreDec of a single: every IEEE single from 2^-128 to the largest DEC value is written
    // exactly; for a normal one the bytes are IEEE b0 b1 b2 b3 as b2, b3 + 1, b0, b1.
    static bool StoreDecFloat(float value, uint8_t out[4]) { return StoreDec((double)value, out); }
    // One point of the data section as the writer writes it; answers its size (8 or 16 bytes).
    // A negative scale gives DEC floats with a fourth value of -1.0 (invalid) or 0.0; otherwise
    // Intel 16-bit integers of coordinate / (scale x unitFactor) cut toward zero, a residual byte
    // 0 and camera bits 0x80 (invalid) or 0. Integer coordinates beyond 16 bits are clamped and
    // make the point invalid; float coordinates beyond the DEC range do too. A float coordinate
    // whose magnitude is below the smallest DEC value is written as zero and counted in `*flushed`
    // (when given).
    static size_t EncodePoint(const double coordinates[3], bool valid, float scale, double unitFactor,
                              uint8_t* out, int64_t* flushed = nullptr);
};

// A parameter's value: a typed array of any number of dimensions. In memory the dimensions run
// from slowest to fastest, the reverse of the file: entry 0 of a table of labels is the label
// count, entry 1 the label length, and row i is the i-th label. The dimension array has one entry
// more than the dimension count, the last one 1; a value with no dimensions has one dimension of
// size 1.
class OXA_API VViconArray {
public:
    // Element type codes: the low 4 bits are the element size; bit 31 a signed integer; bits 31
    // and 29 together a floating-point number; bit 30 a character.
    static constexpr uint32_t kChar = 0x40000001u;
    static constexpr uint32_t kUInt8 = 1u, kInt8 = 0x80000001u;
    static constexpr uint32_t kUInt16 = 2u, kInt16 = 0x80000002u;
    static constexpr uint32_t kUInt32 = 4u, kInt32 = 0x80000004u;
    static constexpr uint32_t kUInt64 = 8u, kInt64 = 0x80000008u;
    static constexpr uint32_t kFloat = 0xA0000004u, kDouble = 0xA0000008u;

    VViconArray() = default;
    // An array of `type` with the given sizes (slowest first). With `data` null it allocates and
    // owns zeroed data; otherwise it is a view of `data`, which must outlive it.
    VViconArray(const void* data, uint32_t type, int dimensionCount, const int* sizes);

    // The array without its first dimension, starting at element i x (size of a row): a view.
    bool GetRow(VViconArray& row, int i) const;
    // The data as characters (not terminated), null unless the type is character.
    const char* GetString() const { return mType == kChar ? (const char*)GetData() : nullptr; }
    int GetDimensionCount() const { return mDimensionCount; }
    // Dimension i (slowest first), 0 beyond the count.
    int GetDimension(int i) const { return i >= 0 && i < mDimensionCount ? mDimensions[(size_t)i] : 0; }
    uint32_t GetType() const { return mType; }
    const uint8_t* GetData() const { return mView ? mView : mData.data(); }
    uint8_t* GetMutableData() { return mView ? nullptr : mData.data(); }
    int GetElementSize() const { return (int)(mType & 0xF); }
    // Number of elements: the product of the dimensions.
    int64_t GetElementCount() const;
    // Copies the characters of `text` into the first n elements of a character view until a byte
    // below 2 is met, and fills the rest of the n with blanks.
    static void CopyString(VViconArray& view, const char* text, int n);

    // The first element converted to T (0 for an empty array), and its assignment from T.
    template <typename T>
    T GetFirst() const;
    template <typename T>
    void SetFirst(T value);

    // Appends the value as the writer writes it: type byte, dimension count (0 for one dimension
    // of size 1) and sizes fastest first, then the elements (16-bit integers as Intel, floats as
    // DEC). False for a type the file cannot hold or a dimension above 255.
    bool Write(std::vector<uint8_t>& out) const;

private:
    friend class VViconLoaderBase;
    std::vector<uint8_t> mData;
    const uint8_t* mView = nullptr;
    std::vector<int> mDimensions{1};
    uint32_t mType = 0;
    int mDimensionCount = 0;
};

// One group or parameter record. Names are kept to 31 characters.
class OXA_API VViconParameter {
public:
    static constexpr int kMaxName = 31;

    // A record to write; `value` (null for a group) and `description` are not owned.
    VViconParameter(const char* name, int groupId, bool locked, const char* description,
                    const VViconArray* value);
    VViconParameter() = default;

    // Appends the record: name length (negated when locked), group id, the name, the offset to
    // the next record, the value (parameters), the description length and the description.
    // False when the value cannot be written or the record exceeds the 16-bit offset.
    bool Write(std::vector<uint8_t>& out) const;

    const char* GetName() const { return mName; }
    bool IsGroup() const { return mGroupId < 0; }
    bool IsParameter() const { return mGroupId > 0; }
    int GetGroupId() const { return mGroupId < 0 ? -mGroupId : mGroupId; }
    bool IsLocked() const { return mLocked; }
    // The value, null for a group or a value that was skipped.
    const VViconArray* GetValue() const { return mOwnedValue ? mOwnedValue.get() : mValue; }
    const char* GetDescription() const { return mDescription.Buffer(); }

private:
    friend class VViconLoaderBase;
    char mName[kMaxName + 1] = {0};
    bool mLocked = false;
    int mGroupId = 0;
    const VViconArray* mValue = nullptr;
    std::unique_ptr<VViconArray> mOwnedValue;
    VString mDescription{""};
};

// The open C3D stream, a large read buffer, the header fields, and the readers and writers of
// header, parameter records and points. Reading goes through the buffer (whole blocks at a time);
// writing goes to a temporary file that is put in place only when every write succeeded.
class OXA_API VViconLoaderBase {
public:
    static constexpr int kBlockSize = 512;
    static constexpr int kMaxEvents = 18;
    // The highest frame rate a header may give; higher ones, and those not above 0.001, are read
    // as 30.
    static constexpr float kMaxFrameRate = 1.0e6f;

    VViconLoaderBase();
    virtual ~VViconLoaderBase();
    VViconLoaderBase(const VViconLoaderBase&) = delete;
    VViconLoaderBase& operator=(const VViconLoaderBase&) = delete;

    // The processor code of the file whose header is at the stream's start: byte 3 of the first
    // parameter block, minus 83 (-1 when it cannot be read). The stream is put back at offset 0.
    static int GetProcessorType(std::FILE* stream);

    // ---- reading through the buffer (each false when the bytes are not there) ----
    // Makes block `index` (from 0) the read position.
    bool SeekBlock(int64_t index);
    bool ReadInt8(int8_t& value);
    bool ReadUInt8(uint8_t& value);
    // Up to n bytes into `buffer`, then a terminator (`buffer` holds n + 1); the number read.
    int ReadChars(char* buffer, int n);
    bool ReadUInt16(uint16_t& value);
    bool ReadInt16(int16_t& value);
    bool ReadFloat(float& value);
    bool SkipByte() { return Skip(1) == 1; }
    // Passes n bytes; the number passed (less only at the end of the file).
    int64_t Skip(int64_t n);
    // One point of the data section in the form set by the sign of `scale`, then `extra` bytes
    // skipped. Coordinates are multiplied by `unitFactor` (and by `scale` for integer data).
    bool ReadPoint(VViconPoint& point, float scale, int extra, double unitFactor);
    // Header words 1 to 12, 150, 151 and the events, with the checks and rules of the header.
    bool ReadHeaderBlock();
    // The next record of the parameter section, null at its end.
    std::unique_ptr<VViconParameter> ReadParameter();
    int64_t Tell() const { return mBufferOffset + (int64_t)mPosition; }
    bool Seek(int64_t offset);

    // ---- writing (each false once a write has failed) ----
    bool WriteByte(uint8_t value);
    bool WriteBytes(const void* data, size_t n);
    bool WriteUInt16(uint16_t value);
    bool WriteInt16(int16_t value) { return WriteUInt16((uint16_t)value); }
    bool WriteFloat(float value);
    bool WriteFill(uint8_t value, size_t n);
    VViconWordPatch WriteWordForPatch(uint16_t value);
    bool WritePatch(VViconWordPatch& patch, uint16_t value);
    // One point in the form set by the sign of `scale`: integer coordinates are clamped to 16
    // bits (a clamped point is written invalid); the unit factor turns scene units into file
    // units.
    bool WritePoint(const VViconPoint& point, float scale, double unitFactor);
    bool WriteHeaderBlock();
    // Starts the parameter section of a written file in memory: the 4 leading bytes, the group
    // "POINT" and its parameters "USED", "FRAMES", "DATA_START", "SCALE", "RATE", "X_SCREEN",
    // "Y_SCREEN" and "UNITS". More records may be appended to `mSection`; FinishParameterSection
    // ends it, sets the first data block and writes it.
    bool WriteParameterSection();
    bool FinishParameterSection();
    bool WriteFailed() const { return mWriteFailed; }

    // Header fields.
    int GetFirstParameterBlock() const { return mFirstParameterBlock; }
    int GetPointCount() const { return mPointCount; }
    int GetAnalogPerFrame() const { return mAnalogPerFrame; }
    int GetFirstFrame() const { return mFirstFrame; }
    int GetLastFrame() const { return mLastFrame; }
    float GetScale() const { return mScale; }
    int GetFirstDataBlock() const { return mFirstDataBlock; }
    float GetFrameRate() const { return mFrameRate; }
    float GetStoredFrameRate() const { return mStoredFrameRate; }
    bool IsFrameRateReplaced() const { return mFrameRateReplaced; }
    int GetEventCount() const { return mEventCount; }
    int GetFileProcessor() const { return mFileProcessor; }

protected:
    bool OpenRead(const char* path);
    bool OpenWrite(const char* path);
    // Closes the stream; for a written file, flushes and puts it in place. True when all went well.
    bool CloseStream();
    void AbandonWrite();
    bool IsReading() const { return mStream != nullptr; }
    bool IsWriting() const { return mOutput.IsOpen(); }
    int64_t GetFileSize() const { return mFileSize; }

    // Makes `n` contiguous bytes available at the read position; null at the end of the file.
    const uint8_t* Peek(size_t n);
    void Advance(size_t n) { mPosition += n; }
    bool FlushOutput();

    // Stream and buffer.
    std::FILE* mStream = nullptr;
    VSafeOutputFile mOutput;
    std::vector<uint8_t> mBuffer;
    size_t mPosition = 0;
    size_t mFill = 0;
    int64_t mBufferOffset = 0;
    bool mEnd = false;
    int64_t mFileSize = 0;
    std::vector<uint8_t> mWriteBuffer;
    int64_t mWritten = 0;
    bool mWriteFailed = false;

    // Header.
    int mFirstParameterBlock = 0;
    int mPointCount = 0;
    int mAnalogPerFrame = 0;
    int mFirstFrame = 0;
    int mLastFrame = 0;
    int mMaxGap = 0;
    float mScale = 0.0f;
    int mFirstDataBlock = 0;
    int mAnalogSamplesPerFrame = 0;
    float mFrameRate = 0.0f;
    // The rate as the header stores it, and whether the rate rule replaced it by 30.
    float mStoredFrameRate = 0.0f;
    bool mFrameRateReplaced = false;
    int mEventCount = 0;
    VViconEvent mEvents[kMaxEvents];

    // Parameter scan.
    int mPointGroupId = 1;
    bool mUsesPrefixes = false;
    double mUnitFactor = 0.1;
    int mAxisMap[3] = {-1, 3, 2};
    bool mParametersEnded = false;

    int mFileProcessor = eVICON_INTEL;
    int mHostProcessor = eVICON_INTEL;
    VViconWordPatch mHeaderPatch;
    VViconWordPatch mDataStartPatch;
    // The parameter section being written, and where the value of "DATA_START" lies in it.
    std::vector<uint8_t> mSection;
    size_t mDataStartValue = 0;

private:
    bool ReadValue(VViconParameter& parameter, int64_t& budget);
};

#endif  // OXA_FORMATS_MOTION_C3D_VVICON_LOADER_H
