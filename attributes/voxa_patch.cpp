// The parametric patch: basis types, counts, steps, closed and cap flags.
#include "attributes/voxa_patch.h"

#include <climits>

#include "scene/voxa_node.h"

VOxaPatch* VOxaNode::GetPatch() const {
    VOxaNodeAttribute* attribute = GetNodeAttribute();
    return (attribute != nullptr && attribute->GetAttributeType() == VOxaNodeAttribute::ePatch)
               ? static_cast<VOxaPatch*>(attribute)
               : nullptr;
}

namespace {

// A type value outside the five bases reads as linear, as an unknown type name does.
VOxaPatchType CheckedType(VOxaPatchType type) {
    const int value = static_cast<int>(type);
    return (value >= eBEZIER && value <= eLINEAR) ? type : eLINEAR;
}

}  // namespace

VOxaPatch::VOxaPatch(VOxaSdkManager* manager) : VOxaGeometry(manager) {
    Reset();
}

VOxaPatch::~VOxaPatch() {
    Reset();
}

void VOxaPatch::Reset() {
    mUType = eLINEAR;
    mVType = eLINEAR;
    mUCount = 0;
    mVCount = 0;
    mUStep = 0;
    mVStep = 0;
    mUClosed = false;
    mVClosed = false;
    mUCapped[0] = mUCapped[1] = false;
    mVCapped[0] = mVCapped[1] = false;
    mSurfaceMode = 4;
}

void VOxaPatch::InitControlPoints(int uCount, VOxaPatchType uType, int vCount, VOxaPatchType vType) {
    mUType = CheckedType(uType);
    mVType = CheckedType(vType);
    const long long total = static_cast<long long>(uCount) * static_cast<long long>(vCount);
    if (uCount < 0 || vCount < 0 || total > INT_MAX) {
        // Counts and points must agree: a grid that cannot be held is no grid at all.
        uCount = 0;
        vCount = 0;
    }
    mUCount = uCount;
    mVCount = vCount;
    VOxaGeometryBase::InitControlPoints(uCount * vCount);
    if (GetControlPointsCount() != uCount * vCount) {
        // The points could not be allocated.
        mUCount = 0;
        mVCount = 0;
        VOxaGeometryBase::InitControlPoints(0);
    }
}

void VOxaPatch::SetStep(int uStep, int vStep) {
    mUStep = uStep;
    mVStep = vStep;
}

void VOxaPatch::SetClosed(bool uClosed, bool vClosed) {
    mUClosed = uClosed;
    mVClosed = vClosed;
}

void VOxaPatch::SetUCapped(bool first, bool second) {
    mUCapped[0] = first;
    mUCapped[1] = second;
}

void VOxaPatch::SetVCapped(bool first, bool second) {
    mVCapped[0] = first;
    mVCapped[1] = second;
}

void VOxaPatch::SetSurfaceMode(int mode) {
    mSurfaceMode = mode;
}

VOxaPatch& VOxaPatch::operator=(const VOxaPatch& other) {
    if (this == &other) return *this;
    Reset();
    mSurfaceMode = other.mSurfaceMode;
    mUStep = other.mUStep;
    mVStep = other.mVStep;
    mUClosed = other.mUClosed;
    mVClosed = other.mVClosed;
    mUCapped[0] = other.mUCapped[0];
    mUCapped[1] = other.mUCapped[1];
    mVCapped[0] = other.mVCapped[0];
    mVCapped[1] = other.mVCapped[1];
    InitControlPoints(other.mUCount, other.mUType, other.mVCount, other.mVType);
    VOxaGeometry::operator=(other);
    return *this;
}
