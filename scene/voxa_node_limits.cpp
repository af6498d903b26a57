#include "scene/voxa_node_limits.h"

#include "scene/voxa_node.h"

void VOxaLimits::SetLimitMinActive(bool x, bool y, bool z) {
    mMinActive[0] = x;
    mMinActive[1] = y;
    mMinActive[2] = z;
}

void VOxaLimits::GetLimitMinActive(bool& x, bool& y, bool& z) const {
    x = mMinActive[0];
    y = mMinActive[1];
    z = mMinActive[2];
}

void VOxaLimits::SetLimitMaxActive(bool x, bool y, bool z) {
    mMaxActive[0] = x;
    mMaxActive[1] = y;
    mMaxActive[2] = z;
}

void VOxaLimits::GetLimitMaxActive(bool& x, bool& y, bool& z) const {
    x = mMaxActive[0];
    y = mMaxActive[1];
    z = mMaxActive[2];
}

bool VOxaLimits::IsLimitActive() const {
    for (int i = 0; i < 3; ++i) {
        if (mMinActive[i] || mMaxActive[i]) return true;
    }
    return false;
}

VOxaNodeLimits::VOxaNodeLimits(VOxaNode* node) : mLimitedNode(node) {
    // The stored value only: no event, no take update.
    if (node && node->GetNodeProperties()) node->GetNodeProperties()->SetRotationActive(false);
}

void VOxaNodeLimits::SetRotationLimitsActive(bool active) {
    mRotationLimitsActive = active;
    if (mLimitedNode && mLimitedNode->GetNodeProperties()) {
        mLimitedNode->GetNodeProperties()->SetRotationActive(active);
    }
}
