#include "animation/fcurve_key.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kFixedRead = 0.00010001f;
constexpr double kFixedWrite = 9999.0;
constexpr float kWeightMax = 0.99f;
constexpr float kWeightMin = 0.00010001f;

// value x 9999 truncated toward zero, saturated to the 16-bit field (NaN stores 0).
//
// A slot reads back as integer x 0.00010001, a little less than integer / 9999, so truncating
// that reading again would lose one unit on every store and reload. Scaled values within 0.01 of
// the next integer away from zero therefore count as that integer: a value read from a slot
// stores the same integer again, and every other input truncates as before.
int16_t ToFixed(float value) {
    double scaled = (double)value * kFixedWrite;
    if (!(scaled == scaled)) return 0;
    scaled += scaled >= 0.0 ? 0.01 : -0.01;
    if (scaled >= 32767.0) return 32767;
    if (scaled <= -32768.0) return -32768;
    return (int16_t)scaled;
}

}  // namespace

void VFCurveKey::Set(VTime time, float value, unsigned interpolation, unsigned tangentMode, float data0,
                     float data1, unsigned weightMode, float data2, float data3, float data4, float data5) {
    mTime = time;
    mValue = value;
    SetInterpolation(interpolation);
    SetTangentMode(tangentMode);
    mData[0] = data0;
    mData[1] = data1;
    SetTangentWeightMode(weightMode);
    SetDataFloat(2, data2);
    SetDataFloat(3, data3);
    SetDataFloat(4, data4);
    SetDataFloat(5, data5);
    mFlags &= ~eEditStateMask;
}

void VFCurveKey::SetTCB(VTime time, float value, float tension, float continuity, float bias) {
    mTime = time;
    mValue = value;
    SetInterpolation(eInterpolationCubic);
    SetTangentMode(eTangentTCB);
    // The bias takes the storage of the two weights: weights kept in force would read it back as
    // weights.
    SetTangentWeightMode(eWeightedNone);
    mData[0] = tension;
    mData[1] = continuity;
    mData[2] = bias;
    mFlags &= ~eEditStateMask;
}

void VFCurveKey::SetInterpolation(unsigned interpolation) {
    if (GetInterpolation() != eInterpolationCubic && interpolation == eInterpolationCubic) {
        SetTangentWeightMode(eWeightedNone);
        SetDataFloat(2, kFCurveDefaultWeight);
        SetDataFloat(3, kFCurveDefaultWeight);
        SetTangentVelocityMode(eVelocityNone);
        SetDataFloat(4, 0.0f);
        SetDataFloat(5, 0.0f);
    }
    mFlags = (mFlags & ~eInterpolationMask) | (interpolation & eInterpolationMask);
}

float VFCurveKey::GetDataFloat(int index) const {
    if (index < 2) return mData[index];
    int16_t fixed;
    std::memcpy(&fixed, reinterpret_cast<const unsigned char*>(&mData[2]) + 2 * (index - 2), sizeof fixed);
    return (float)fixed * kFixedRead;
}

void VFCurveKey::SetDataFloat(int index, float value) {
    if (index < 2) {
        mData[index] = value;
        return;
    }
    if (index < 4) {
        if (value > kWeightMax) value = kWeightMax;
        if (!(value >= kWeightMin)) value = kWeightMin;  // NaN too
    }
    int16_t fixed = ToFixed(value);
    std::memcpy(reinterpret_cast<unsigned char*>(&mData[2]) + 2 * (index - 2), &fixed, sizeof fixed);
}

void VFCurveKey::MultDerivative(float factor) {
    if (GetInterpolation() != eInterpolationCubic) return;
    unsigned mode = GetTangentMode();
    if (mode != eTangentUser && mode != eTangentUserBreak) return;
    SetDataFloat(0, GetDataFloat(0) * factor);
    SetDataFloat(1, GetDataFloat(1) * factor);
}
