#ifndef OXA_ANIMATION_FCURVE_KEY_H
#define OXA_ANIMATION_FCURVE_KEY_H

#include <cstdint>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vtime.h>

// The default tangent weight: one third of the segment on each side (the float 0.33333334).
constexpr float kFCurveDefaultWeight = 0.33333334f;

// One key of a function curve: a time, a value, a flag word and six tangent data slots.
//
// The tangent data of a key describe the segment that starts at it: data 0 is the right
// derivative (or right auto value) of this key, data 1 the left derivative (or left auto value) of
// the next key, data 2/3 the right weight of this key and the left weight of the next key,
// data 4/5 the right velocity of this key and the left velocity of the next key. Data 2 to 5 are
// 16-bit fixed point numbers (value x 9999, truncated; read back as integer x 0.00010001).
//
// A TCB key keeps tension, continuity and bias as three plain floats in raw slots 0, 1 and 2; raw
// slot 2 shares its storage with the fixed-point data 2 and data 3. Raw slots are reached only
// through the raw accessors, the fixed-point slots only through the data accessors.
//
// The record is a plain value (no virtual operations); curves store keys by value in blocks and
// hand out pointers into them. None of the operations below notifies anybody: change events
// are the curve's business.
class OXA_API VFCurveKey {
public:
    // Interpolation group (mask 0xE): how the segment from this key to the next is evaluated.
    enum : unsigned {
        eInterpolationConstant = 0x2,
        eInterpolationLinear = 0x4,
        eInterpolationCubic = 0x8,
        eInterpolationMask = 0xE,
    };
    // Constant mode (bit 0x100, meaningful for constant keys): hold this key's value or the next's.
    enum : unsigned {
        eConstantStandard = 0x0,
        eConstantNext = 0x100,
        eConstantMask = 0x100,
    };
    // Tangent mode group (mask 0xF00, meaningful for cubic keys). The break bit 0x800 lets the
    // left and right derivatives differ.
    enum : unsigned {
        eTangentAuto = 0x100,
        eTangentTCB = 0x200,
        eTangentUser = 0x400,
        eTangentBreak = 0x800,
        eTangentAutoBreak = 0x900,
        eTangentUserBreak = 0xC00,
        eTangentMask = 0xF00,
    };
    // Selection group (mask 0x70000), mark bit and edit-state group.
    enum : unsigned {
        eSelected = 0x10000,
        eSelectionMask = 0x70000,
        eMarked = 0x80000,
        eEditStateMask = 0x300000,
    };
    // Weight mode group (mask 0x3000000): which of data 2 / data 3 are in force.
    enum : unsigned {
        eWeightedNone = 0x0,
        eWeightedRight = 0x1000000,
        eWeightedNextLeft = 0x2000000,
        eWeightedAll = 0x3000000,
    };
    // Velocity mode group (mask 0x30000000): which of data 4 / data 5 are in force.
    enum : unsigned {
        eVelocityNone = 0x0,
        eVelocityRight = 0x10000000,
        eVelocityNextLeft = 0x20000000,
        eVelocityAll = 0x30000000,
    };
    // Indexes of the data slots.
    enum {
        eRightDerivative = 0,
        eNextLeftDerivative = 1,
        eRightWeight = 2,
        eNextLeftWeight = 3,
        eRightVelocity = 4,
        eNextLeftVelocity = 5,
        eTCBTension = 0,
        eTCBContinuity = 1,
        eTCBBias = 2,
    };

    // Value 0, time 0, flag word 0, data slots 0.
    VFCurveKey() : mValue(0.0f), mTime(0), mFlags(0), mData{0.0f, 0.0f, 0.0f, 0.0f} {}

    // Sets time and value, the interpolation (through SetInterpolation), the tangent mode,
    // data 0 and 1, the weight-mode group and data 2 to 5 (through SetDataFloat, so weights are
    // clamped), then clears the edit state.
    void Set(VTime time, float value, unsigned interpolation = eInterpolationCubic,
             unsigned tangentMode = eTangentAuto, float data0 = 0.0f, float data1 = 0.0f,
             unsigned weightMode = eWeightedNone, float data2 = kFCurveDefaultWeight,
             float data3 = kFCurveDefaultWeight, float data4 = 0.0f, float data5 = 0.0f);
    // Makes a cubic TCB key: time, value, tension, continuity and bias in raw slots 0 to 2; the
    // weight mode becomes none (the bias overwrites the weights); clears the edit state.
    void SetTCB(VTime time, float value, float tension = 0.0f, float continuity = 0.0f, float bias = 0.0f);

    // Interpolation group. A key that becomes cubic from another interpolation first gets weight
    // and velocity modes none, both weights 1/3 and both velocities 0; a cubic key set to cubic
    // again, or a cubic key set to something else, keeps its data.
    unsigned GetInterpolation() const { return mFlags & eInterpolationMask; }
    void SetInterpolation(unsigned interpolation);

    unsigned GetConstantMode() const { return mFlags & eConstantMask; }
    void SetConstantMode(unsigned mode) { mFlags = (mFlags & ~eConstantMask) | (mode & eConstantMask); }

    // The tangent-mode group, replaced as a whole by the setter.
    unsigned GetTangentMode() const { return mFlags & eTangentMask; }
    void SetTangentMode(unsigned mode) { mFlags = (mFlags & ~eTangentMask) | (mode & eTangentMask); }

    // Weight-mode group; the setter replaces only the bits of the group that are in `mask`.
    unsigned GetTangentWeightMode() const { return mFlags & eWeightedAll; }
    void SetTangentWeightMode(unsigned mode, unsigned mask = eWeightedAll) {
        mask &= eWeightedAll;
        mFlags = (mFlags & ~mask) | (mode & mask);
    }
    // Velocity-mode group; the setter replaces only the bits of the group that are in `mask`.
    unsigned GetTangentVelocityMode() const { return mFlags & eVelocityAll; }
    void SetTangentVelocityMode(unsigned mode, unsigned mask = eVelocityAll) {
        mask &= eVelocityAll;
        mFlags = (mFlags & ~mask) | (mode & mask);
    }

    bool GetBreak() const { return (mFlags & eTangentBreak) != 0; }
    void SetBreak(bool on) { mFlags = on ? (mFlags | eTangentBreak) : (mFlags & ~eTangentBreak); }

    // Selecting sets 0x10000 and clears 0x60000; deselecting clears the whole 0x70000 group.
    bool GetSelected() const { return (mFlags & eSelected) != 0; }
    void SetSelected(bool on) { mFlags = (mFlags & ~eSelectionMask) | (on ? eSelected : 0u); }

    // A free boolean kept by the key.
    bool GetMarked() const { return (mFlags & eMarked) != 0; }
    void SetMarked(bool on) { mFlags = on ? (mFlags | eMarked) : (mFlags & ~eMarked); }

    // The edit-state group, taken and given with its own bits (0x100000, 0x200000).
    unsigned GetEditState() const { return mFlags & eEditStateMask; }
    void SetEditState(unsigned state) { mFlags = (mFlags & ~eEditStateMask) | (state & eEditStateMask); }

    // Index 0 and 1: plain floats. Index 2 to 5: fixed point, value x 9999 truncated toward
    // zero; weights (2, 3) are first clamped to [0.00010001, 0.99]; velocities (4, 5) saturate at
    // the limits of the 16-bit field. NaN stores 0 in a fixed-point slot.
    float GetDataFloat(int index) const;
    void SetDataFloat(int index, float value);

    // Raw 32-bit float slots 0 to 2 (tension, continuity and bias of a TCB key).
    float GetDataRaw(int index) const { return mData[index]; }
    void SetDataRaw(int index, float value) { mData[index] = value; }
    // The address of the data area (four 32-bit words).
    float* GetDataPtr() { return mData; }
    const float* GetDataPtr() const { return mData; }

    float GetValue() const { return mValue; }
    void SetValue(float value) { mValue = value; }
    void IncValue(float delta) { mValue += delta; }
    void MultValue(float factor) { mValue *= factor; }

    // Scales data 0 and data 1 by `factor` for a cubic key with user tangents (0x400 or 0xC00);
    // any other key is left alone.
    void MultDerivative(float factor);

    VTime GetTime() const { return mTime; }
    void SetTime(VTime time) { mTime = time; }
    void IncTime(VTime delta) { mTime += delta; }

    // The whole flag word (for storage code and tests that compare keys).
    unsigned GetFlags() const { return mFlags; }

private:
    friend class VFCurve;

    float mValue;
    VTime mTime;
    unsigned mFlags;
    // Words 0 and 1: data 0 and 1 (raw slots 0, 1). Words 2 and 3 hold the four 16-bit
    // fixed-point slots (data 2 to 5); word 2 is also raw slot 2.
    float mData[4];
};

// One side of a key's tangent, read and written as a whole through the curve.
struct OXA_API VFCurveTangentInfo {
    float mDerivative = 0.0f;
    float mWeight = kFCurveDefaultWeight;
    bool mWeighted = false;
    float mVelocity = 0.0f;
    bool mHasVelocity = false;
    float mAuto = 0.0f;
};

#endif  // OXA_ANIMATION_FCURVE_KEY_H
