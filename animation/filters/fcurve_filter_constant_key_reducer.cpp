#include "animation/filters/fcurve_filter_constant_key_reducer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "animation/filters/filter_support.h"

using namespace oxa_filter;

namespace {

const char* const kMessages[] = {"No key", "Left unchanged"};

enum class NodeKind { kTranslation, kRotation, kScaling, kOther };

bool NameIs(VFCurveNode* node, const char* a, const char* b) {
    if (!node) return false;
    const char* name = node->GetName();
    return std::strcmp(name, a) == 0 || std::strcmp(name, b) == 0;
}

NodeKind KindOf(VFCurveNode& node) {
    VFCurveNode* parent = node.GetParent();
    if (NameIs(&node, "R", "Lcl Rotation") || NameIs(parent, "R", "Lcl Rotation")) return NodeKind::kRotation;
    if (NameIs(&node, "S", "Lcl Scaling") || NameIs(parent, "S", "Lcl Scaling")) return NodeKind::kScaling;
    if (NameIs(&node, "T", "Lcl Translation") || NameIs(parent, "T", "Lcl Translation")) {
        return NodeKind::kTranslation;
    }
    return NodeKind::kOther;
}

// Rounds of the check below before it gives up and keeps every key it would drop. Putting a key
// back changes the curve only next to it, so one or two rounds settle in practice.
constexpr int kMaxCheckRounds = 8;

// Keeps (clears in `removed`) every dropped key at whose time the curve through the remaining keys
// leaves the key's band [lo[k], hi[k]], until no dropped key does. A kept key
// reshapes the segments around it, so the dropped keys are checked again after each round; each
// round is one walk over the curve.
void KeepKeysOutsideTheirBand(const VFCurve& curve, std::vector<char>& removed, const std::vector<float>& lo,
                              const std::vector<float>& hi) {
    const int count = curve.KeyGetCount();
    std::vector<int> dropped;
    std::vector<int64_t> times;
    std::vector<float> values;
    VFCurve trial;
    for (int round = 0; round < kMaxCheckRounds; ++round) {
        dropped.clear();
        times.clear();
        for (int k = 0; k < count; ++k)
            if (removed[(size_t)k]) {
                dropped.push_back(k);
                times.push_back(curve.KeyGetTime(k).Get());
            }
        if (dropped.empty()) return;
        trial.CopyFrom(&curve, true);
        RemoveMarkedKeys(trial, removed);
        values.resize(times.size());
        int hint = 0;
        trial.EvaluateAscending(times.data(), (int)times.size(), values.data(), 1, &hint);
        bool kept = false;
        for (size_t d = 0; d < dropped.size(); ++d) {
            const int k = dropped[d];
            if (values[d] < lo[(size_t)k] || values[d] > hi[(size_t)k] || values[d] != values[d]) {
                removed[(size_t)k] = 0;
                kept = true;
            }
        }
        if (!kept) return;
    }
    // Not settled: every key stays, so the curve is the one it was.
    std::fill(removed.begin(), removed.end(), 0);
}

// A value every key of `curve` keeps within its band: the first key's, else the middle of the
// lowest and highest values. False when neither is.
bool FlatValueWithinEveryBand(const VFCurve& curve, const std::vector<float>& lo,
                              const std::vector<float>& hi, float& value) {
    const int count = curve.KeyGetCount();
    auto fits = [&](float candidate) {
        for (int k = 0; k < count; ++k)
            if (!(candidate >= lo[(size_t)k] && candidate <= hi[(size_t)k])) return false;
        return true;
    };
    value = curve.KeyGetValue(0);
    if (fits(value)) return true;
    float least = value, most = value;
    for (int k = 1; k < count; ++k) {
        const float v = curve.KeyGetValue(k);
        least = std::min(least, v);
        most = std::max(most, v);
    }
    value = (float)(((double)least + (double)most) / 2.0);
    return fits(value);
}

}  // namespace

VFCurveFilterConstantKeyReducer::VFCurveFilterConstantKeyReducer()
    : VFCurveFilter("Constant Key Reducer", kMessages, 2) {
    Reset();
}

void VFCurveFilterConstantKeyReducer::Reset() {
    VFCurveFilter::Reset();
    mDerivativeTolerance = 0.009;
    mValueTolerance = 0.009;
    mTranslationTolerance = 0.009;
    mRotationTolerance = 0.009;
    mScalingTolerance = 0.004;
    mOtherTolerance = 0.009;
    mFirstFlag = false;
    mKeepOneKey = false;
}

bool VFCurveFilterConstantKeyReducer::Apply(VFCurve** curves, int count) {
    return ApplyArrayDefault(curves, count);
}

bool VFCurveFilterConstantKeyReducer::Apply(VFCurveNode& node, bool recursive) {
    if (VFCurveNodeHasOnlyInterpolation(&node, kConstant, false)) return false;

    double savedValue = mValueTolerance;
    double savedDerivative = mDerivativeTolerance;
    NodeKind kind = KindOf(node);
    if (kind == NodeKind::kScaling) {
        // Only a tolerance set to the scaling default takes the scaling tolerance:
        // the usual 0.009 stays on scaling curves.
        if (mValueTolerance == 0.004) mValueTolerance = mScalingTolerance;
        if (mDerivativeTolerance == 0.004) mDerivativeTolerance = mScalingTolerance;
    } else {
        double replacement = kind == NodeKind::kRotation      ? mRotationTolerance
                             : kind == NodeKind::kTranslation ? mTranslationTolerance
                                                              : mOtherTolerance;
        if (mValueTolerance == 0.009) mValueTolerance = replacement;
        if (mDerivativeTolerance == 0.009) mDerivativeTolerance = replacement;
    }
    bool answer = ApplyNodeDefault(node, recursive);
    mValueTolerance = savedValue;
    mDerivativeTolerance = savedDerivative;
    return answer;
}

bool VFCurveFilterConstantKeyReducer::Apply(VFCurve& curve) {
    int count = curve.KeyGetCount();
    if (count == 0) {
        mError.SetLastError(0, "ConstantKeyReducer, No key to be filtered.");
        return false;
    }
    int first = GetStartKeyIndex(curve);
    int last = GetStopKeyIndex(curve);

    // The keys are scanned from the last down and runs are removed as they end,
    // so a test near a removed run sees the keys that follow it. Removal is
    // recorded here and done in one pass at the end: `above` holds the surviving
    // keys already scanned, nearest last, which are the upper neighbours of the
    // next keys tested once a run is gone.
    std::vector<char> removed((size_t)count, 0);
    // The band each removed key was tested against.
    std::vector<float> bandLo((size_t)count, 0.0f), bandHi((size_t)count, 0.0f);
    std::vector<int> above;
    int present = count;
    bool clearAll = false;

    float lo = 0.0f, hi = 0.0f;
    // Whether a key's shape rules it out (cubic, but not a flat automatic key) does not depend on
    // the band, and each key is tested several times: remember the answer (-1 unknown, 0, 1).
    std::vector<signed char> shaped((size_t)count, -1);
    auto valueInBand = [&](int k) {
        float v = curve.KeyGetValue(k);
        return !(v < lo || v > hi);
    };
    auto shapeAllows = [&](int k) {
        signed char& known = shaped[(size_t)k];
        if (known < 0) known = (curve.KeyGetInterpolation(k) & kCubic) && !curve.KeyIsDefaultAuto(k) ? 1 : 0;
        return known == 0;
    };
    // Key j with the run of `run` keys just above it still present: j, the two keys below it
    // (within the span) and the two nearest present keys above it must all be in the band. The
    // values are compared first; the shape, which costs more, only when every value is in.
    auto passes = [&](int j, int run) {
        int keys[5];
        int n = 0;
        keys[n++] = j;
        if (j - 1 >= first) keys[n++] = j - 1;
        if (j - 2 >= first) keys[n++] = j - 2;
        int needed = 2;
        for (int r = 1; r <= run && needed > 0; ++r, --needed)
            keys[n++] = j + r;
        for (size_t s = above.size(); s > 0 && needed > 0; --s, --needed)
            keys[n++] = above[s - 1];
        for (int k = 0; k < n; ++k) {
            if (!valueInBand(keys[k])) return false;
        }
        for (int k = 0; k < n; ++k) {
            if (!shapeAllows(keys[k])) return false;
        }
        return true;
    };

    int i = last;
    while (i >= first) {
        double v = curve.KeyGetValue(i);
        lo = (float)(v - mValueTolerance);
        hi = (float)(v + mValueTolerance);
        int run = 0;
        int runStart = -1;
        int failed = -1;
        while (i >= first) {
            if (passes(i, run)) {
                runStart = i;
                ++run;
                --i;
            } else {
                failed = i;
                --i;
                break;
            }
        }
        if (run > 0) {
            // A dropped key must be reproduced within the tolerance of its own value as well as
            // stay in its run's band: a key near one edge of the run's band could otherwise end
            // up near the other edge, twice the tolerance away from its value.
            for (int k = runStart; k < runStart + run; ++k) {
                const double own = curve.KeyGetValue(k);
                bandLo[(size_t)k] = std::max(lo, (float)(own - mValueTolerance));
                bandHi[(size_t)k] = std::min(hi, (float)(own + mValueTolerance));
            }
            if (run != present) {
                for (int k = runStart; k < runStart + run; ++k)
                    removed[(size_t)k] = 1;
                present -= run;
            } else if (!mKeepOneKey) {
                clearAll = true;
            } else {
                for (int k = runStart + 1; k < runStart + run; ++k)
                    removed[(size_t)k] = 1;
            }
        }
        if (failed >= 0) above.push_back(failed);
    }

    if (clearAll) {
        // The band is centred on the last key, so the first key's value can lie twice the
        // tolerance away from another key's. The curve becomes the first key's value when that
        // is within every key's own band, else the middle of the lowest and highest values;
        // when neither is (float rounding at the band's edge), the first key stays instead.
        float value = 0.0f;
        if (FlatValueWithinEveryBand(curve, bandLo, bandHi, value)) {
            curve.KeyClear();
            curve.SetDefaultValue(value);
            return true;
        }
        for (int k = 1; k < count; ++k)
            removed[(size_t)k] = 1;
    }
    // A key is dropped only where the curve through the keys that stay keeps within its band.
    KeepKeysOutsideTheirBand(curve, removed, bandLo, bandHi);
    RemoveMarkedKeys(curve, removed);
    return true;
}
