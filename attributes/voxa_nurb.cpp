// The NURBS surface: orders, forms, knot vectors and multiplicities.
#include "attributes/voxa_nurb.h"

#include <algorithm>
#include <climits>
#include <new>

#include "base/vallocation_hook.h"
#include "scene/voxa_node.h"

VOxaNurb* VOxaNode::GetNurb() const {
    VOxaNodeAttribute* attribute = GetNodeAttribute();
    return (attribute != nullptr && attribute->GetAttributeType() == VOxaNodeAttribute::eNurb)
               ? static_cast<VOxaNurb*>(attribute)
               : nullptr;
}

namespace {

// Largest knot vector the surface allocates. Knot counts come from orders and counts read from
// files; anything beyond this is not a surface anyone can evaluate, and allocating (and
// zero-filling) it would only exhaust memory.
const long long kMaxKnotCount = 1LL << 24;

// A form value outside the three reads as open.
VOxaNurbForm CheckedForm(VOxaNurbForm form) {
    const int value = static_cast<int>(form);
    return (value >= ePERIODIC && value <= eOPEN) ? form : eOPEN;
}

// A new array of `count` copies of `value`, or null for a count of 0 or a failed allocation.
template <typename T>
T* NewFilled(int count, T value) {
    if (count <= 0) return nullptr;
    T* array = oxa_alloc::Counted(new (std::nothrow) T[static_cast<size_t>(count)]);
    if (array != nullptr) std::fill(array, array + count, value);
    return array;
}

}  // namespace

VOxaNurb::VOxaNurb(VOxaSdkManager* manager) : VOxaGeometry(manager) {
    Reset();
}

VOxaNurb::~VOxaNurb() {
    Reset();
}

void VOxaNurb::Reset() {
    delete[] mUKnots;
    delete[] mVKnots;
    delete[] mUMultiplicity;
    delete[] mVMultiplicity;
    mUKnots = nullptr;
    mVKnots = nullptr;
    mUMultiplicity = nullptr;
    mVMultiplicity = nullptr;
    mUKnotSize = 0;
    mVKnotSize = 0;
    mUOrder = 0;
    mVOrder = 0;
    mUCount = 0;
    mVCount = 0;
    mUStep = 0;
    mVStep = 0;
    mUForm = eOPEN;
    mVForm = eOPEN;
    mSurfaceMode = 4;
    mTransposeUV = false;
    mTransposeLinks = false;
}

void VOxaNurb::SetOrder(int uOrder, int vOrder) {
    mUOrder = uOrder;
    mVOrder = vOrder;
}

long long VOxaNurb::KnotCount(int count, int order, VOxaNurbForm form) {
    long long knots = static_cast<long long>(count) + order;
    if (form == ePERIODIC || form == eCLOSED) knots += static_cast<long long>(order) - 1;
    return knots < 0 ? 0 : knots;
}

int VOxaNurb::GetUKnotCount() const {
    return static_cast<int>(std::min<long long>(KnotCount(mUCount, mUOrder, mUForm), mUKnotSize));
}

int VOxaNurb::GetVKnotCount() const {
    return static_cast<int>(std::min<long long>(KnotCount(mVCount, mVOrder, mVForm), mVKnotSize));
}

void VOxaNurb::InitControlPoints(int uCount, VOxaNurbForm uForm, int vCount, VOxaNurbForm vForm) {
    const long long total = static_cast<long long>(uCount) * static_cast<long long>(vCount);
    if (uCount < 0 || vCount < 0 || total > INT_MAX) {
        // Counts and points must agree: a grid that cannot be held is no grid at all.
        uCount = 0;
        vCount = 0;
    }
    VOxaGeometryBase::InitControlPoints(uCount * vCount);
    if (GetControlPointsCount() != uCount * vCount) {
        uCount = 0;
        vCount = 0;
        VOxaGeometryBase::InitControlPoints(0);
    }
    mUCount = uCount;
    mVCount = vCount;
    mUForm = CheckedForm(uForm);
    mVForm = CheckedForm(vForm);

    delete[] mUKnots;
    delete[] mVKnots;
    delete[] mUMultiplicity;
    delete[] mVMultiplicity;
    const long long uKnots = KnotCount(mUCount, mUOrder, mUForm);
    const long long vKnots = KnotCount(mVCount, mVOrder, mVForm);
    mUKnots = uKnots <= kMaxKnotCount ? NewFilled(static_cast<int>(uKnots), 0.0) : nullptr;
    mVKnots = vKnots <= kMaxKnotCount ? NewFilled(static_cast<int>(vKnots), 0.0) : nullptr;
    mUKnotSize = mUKnots != nullptr ? static_cast<int>(uKnots) : 0;
    mVKnotSize = mVKnots != nullptr ? static_cast<int>(vKnots) : 0;
    mUMultiplicity = NewFilled(mUCount, 1);
    mVMultiplicity = NewFilled(mVCount, 1);
}

void VOxaNurb::SetStep(int uStep, int vStep) {
    mUStep = uStep;
    mVStep = vStep;
}

void VOxaNurb::SetSurfaceMode(int mode) {
    mSurfaceMode = mode;
}

VOxaNurb& VOxaNurb::operator=(const VOxaNurb& other) {
    if (this == &other) return *this;
    Reset();
    mTransposeUV = other.mTransposeUV;
    mTransposeLinks = other.mTransposeLinks;
    mSurfaceMode = other.mSurfaceMode;
    mUOrder = other.mUOrder;
    mVOrder = other.mVOrder;
    mUStep = other.mUStep;
    mVStep = other.mVStep;
    InitControlPoints(other.mUCount, other.mUForm, other.mVCount, other.mVForm);
    // Copy no more than both sides hold (the other's orders may have changed after its knot
    // vectors were sized).
    const int uKnots = std::min(GetUKnotCount(), other.GetUKnotCount());
    const int vKnots = std::min(GetVKnotCount(), other.GetVKnotCount());
    if (uKnots > 0) std::copy(other.mUKnots, other.mUKnots + uKnots, mUKnots);
    if (vKnots > 0) std::copy(other.mVKnots, other.mVKnots + vKnots, mVKnots);
    if (mUMultiplicity != nullptr && other.mUMultiplicity != nullptr) {
        std::copy(other.mUMultiplicity, other.mUMultiplicity + mUCount, mUMultiplicity);
    }
    if (mVMultiplicity != nullptr && other.mVMultiplicity != nullptr) {
        std::copy(other.mVMultiplicity, other.mVMultiplicity + mVCount, mVMultiplicity);
    }
    VOxaGeometry::operator=(other);
    return *this;
}
