#ifndef OXA_SCENE_VOXA_NODE_LIMITS_H
#define OXA_SCENE_VOXA_NODE_LIMITS_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VOxaNode;

// The limits of one transform kind: per-axis minimum- and maximum-enabled flags and the minimum
// and maximum values. The accessors store and answer values without checks.
class OXA_API VOxaLimits {
public:
    void SetLimitMinActive(bool x, bool y, bool z);
    void GetLimitMinActive(bool& x, bool& y, bool& z) const;
    void SetLimitMaxActive(bool x, bool y, bool z);
    void GetLimitMaxActive(bool& x, bool& y, bool& z) const;
    // True when any of the six per-axis flags is set.
    bool IsLimitActive() const;
    void SetLimitMin(const VgeTVector& min) { mMin = min; }
    VgeTVector GetLimitMin() const { return mMin; }
    void SetLimitMax(const VgeTVector& max) { mMax = max; }
    VgeTVector GetLimitMax() const { return mMax; }

    bool mMinActive[3] = {false, false, false};
    bool mMaxActive[3] = {false, false, false};
    VgeTVector mMin{0.0, 0.0, 0.0, 0.0};
    VgeTVector mMax{0.0, 0.0, 0.0, 0.0};
};

// The translation, rotation (degrees) and scaling limits of a node, each kind with its own
// limits-active switch. The switches and the per-axis flags are independent: evaluation honours
// the per-axis flags whatever the switch says. The three records are public so that readers,
// writers and the limits adapter reach them directly.
class OXA_API VOxaNodeLimits {
public:
    // `node` may be null. With a node, its "RotationActive" value is set to false.
    explicit VOxaNodeLimits(VOxaNode* node);

    void SetTranslationLimitsActive(bool active) { mTranslationLimitsActive = active; }
    bool GetTranslationLimitsActive() const { return mTranslationLimitsActive; }
    // Also writes the node's "RotationActive" value when a node is attached.
    void SetRotationLimitsActive(bool active);
    bool GetRotationLimitsActive() const { return mRotationLimitsActive; }
    void SetScalingLimitsActive(bool active) { mScalingLimitsActive = active; }
    bool GetScalingLimitsActive() const { return mScalingLimitsActive; }
    VOxaNode* GetLimitedNode() const { return mLimitedNode; }

    VOxaLimits mTranslationLimits;
    VOxaLimits mRotationLimits;
    VOxaLimits mScalingLimits;

private:
    VOxaNode* mLimitedNode;
    bool mTranslationLimitsActive = false;
    bool mRotationLimitsActive = false;
    bool mScalingLimitsActive = false;
};

#endif  // OXA_SCENE_VOXA_NODE_LIMITS_H
