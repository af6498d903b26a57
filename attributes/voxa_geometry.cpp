// Geometry: links, shapes with their channels, pivot.
#include "attributes/voxa_geometry.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_shape.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "base/vge_euler.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_same_manager_internal.h"
#include "objects/vproperty.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

namespace {

const char* const kErrorMessages[VOxaGeometry::eErrorCount] = {
    "Parameter out of range.", "Parameter is NULL.",     "Material not found.",
    "Material already added.", "Texture not found.",     "Texture already added.",
    "Shape already added.",    "Shape name is invalid.", "Shape name is already used.",
    "No shape curve found.",
};

// Display colours of the shape curves, by shape index modulo 20.
const float kShapeColors[20][3] = {
    {1.0f, 0.0f, 0.0f},   {0.0f, 1.0f, 0.0f},   {0.0f, 0.0f, 1.0f},    {1.0f, 1.0f, 0.0f},
    {0.0f, 1.0f, 1.0f},   {1.0f, 0.0f, 1.0f},   {0.47f, 0.0f, 0.0f},   {0.3f, 0.61f, 0.0f},
    {0.51f, 0.75f, 1.0f}, {1.0f, 0.49f, 0.0f},  {0.57f, 0.0f, 1.0f},   {1.0f, 0.78f, 1.0f},
    {0.0f, 0.35f, 0.0f},  {1.0f, 0.98f, 0.61f}, {0.65f, 0.49f, 0.31f}, {0.8f, 0.8f, 0.8f},
    {0.78f, 1.0f, 0.61f}, {1.0f, 0.86f, 0.73f}, {0.37f, 0.0f, 0.37f},  {0.65f, 0.65f, 0.0f},
};

const char kShapeSuffix[] = " (Shape)";

// The child of `parent` whose name equals `name` exactly (shape names differing only in case
// are different shapes), or null.
VFCurveNode* FindExactChild(const VFCurveNode* parent, const char* name) {
    if (parent == nullptr || name == nullptr) return nullptr;
    for (int i = 0, n = parent->GetCount(); i < n; ++i) {
        VFCurveNode* child = parent->Get(i);
        if (child != nullptr && std::strcmp(child->GetName(), name) == 0) return child;
    }
    return nullptr;
}

// The root curve node of a take, or null.
VFCurveNode* RootOf(const VOxaTakeNode* takeNode) {
    return takeNode ? takeNode->GetVFCurveNode() : nullptr;
}

// `name` without a trailing " (Shape)".
VString WithoutShapeSuffix(const VString& name) {
    const int suffixLength = (int)sizeof(kShapeSuffix) - 1;
    const int length = name.GetLen();
    if (length >= suffixLength && std::strcmp(name.Buffer() + length - suffixLength, kShapeSuffix) == 0) {
        return name.Left(length - suffixLength);
    }
    return name;
}

// "Shape %02d", optionally followed by " (Shape)", for the shape at `index`.
VString NumberedShapeName(int index, bool withSuffix) {
    char buffer[48];
    std::snprintf(buffer, sizeof(buffer), withSuffix ? "Shape %02d (Shape)" : "Shape %02d", index + 1);
    return VString(buffer);
}

// Copies the curve of `source` into `target` (giving it one when needed), and likewise for the
// children of the same name, so that a channel keeps its animation under another node.
void CopyCurves(VFCurveNode* target, const VFCurveNode* source) {
    if (target == nullptr || source == nullptr) return;
    if (const VFCurve* curve = source->FCurveGet()) {
        if (target->FCurveGet() == nullptr) target->FCurveSet(VFCurve::Create());
        if (VFCurve* copy = target->FCurveGet()) copy->CopyFrom(curve, true);
    }
    for (int i = 0; i < source->GetCount(); ++i) {
        const VFCurveNode* child = source->Get(i);
        if (child != nullptr) CopyCurves(target->FindOrCreate(child->GetName(), false), child);
    }
}

// Replaces the child of `root` named `from` by a new node named `to` holding its curves.
void RenameChannel(VFCurveNode* root, const char* from, const char* to) {
    VFCurveNode* old = FindExactChild(root, from);
    if (old == nullptr) return;
    VFCurveNode* renamed = VFCurveNode::CreateFromName(to);
    if (renamed == nullptr) return;
    CopyCurves(renamed, old);
    voxa_take_node_detail::DeleteChannel(root, old);
    root->Add(renamed);
}

// Sets the string at `index` of an array of owned strings, appending when the array is shorter.
void StoreName(VArrayTemplate<VString*>& names, int index, const VString& name) {
    if (index < names.GetCount()) {
        if (names[index] != nullptr) {
            *names[index] = name;
            return;
        }
        names[index] = oxa_alloc::Counted(new (std::nothrow) VString(name));
        return;
    }
    names.Add(oxa_alloc::Counted(new (std::nothrow) VString(name)));
}

void DeleteNames(VArrayTemplate<VString*>& names) {
    for (int i = 0; i < names.GetCount(); ++i)
        delete names[i];
    names.Clear();
}

// A double as a float without an undefined conversion: beyond the float range it saturates.
float ToFloat(double value) {
    if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
    if (value > FLT_MAX) return value == HUGE_VAL ? HUGE_VALF : FLT_MAX;
    if (value < -FLT_MAX) return value == -HUGE_VAL ? -HUGE_VALF : -FLT_MAX;
    return (float)value;
}

}  // namespace

VOxaGeometry* VOxaNode::GetGeometry() const {
    VOxaNodeAttribute* attribute = GetNodeAttribute();
    return (attribute != nullptr && VOxaNodeAttribute::IsGeometryType(attribute->GetAttributeType()))
               ? static_cast<VOxaGeometry*>(attribute)
               : nullptr;
}

VOxaGeometry::VOxaGeometry(VOxaSdkManager* manager)
    : VOxaGeometryBase(manager), mError(kErrorMessages, eErrorCount) {}

VOxaGeometry::~VOxaGeometry() {
    // The lists are let go before their objects are destroyed: a destroy takes its object out of
    // every geometry that still holds it, and this one must not be among them.
    VArrayTemplate<VOxaLink*> links = mLinks;
    ClearLinks();
    VArrayTemplate<VOxaShape*> shapes = mShapes;
    for (int i = 0; i < mShapes.GetCount(); ++i)
        if (mShapes[i] != nullptr) --mShapes[i]->mHolderCount;
    mShapes.Clear();
    if (VOxaSdkManager* manager = GetSdkManager()) {
        for (int i = 0; i < links.GetCount(); ++i)
            if (links[i] != nullptr) manager->DestroyLink(links[i]);
        for (int i = 0; i < shapes.GetCount(); ++i)
            if (shapes[i] != nullptr) manager->DestroyShape(shapes[i]);
    }
    DeleteNames(mShapeNames);
    DeleteNames(mSavedNames);
    DeleteNames(mSavedShapeNames);
    DeleteNames(mSavedChannelNames);
}

// --- Attachment ----------------------------------------------------------------------------------

void VOxaGeometry::SetNode(VOxaNode* node) {
    if (node && !VOxaSameManager(GetSdkManager(), node->GetSdkManager())) return;
    VOxaGeometryBase::SetNode(node);
    if (node == nullptr) return;
    VOxaSceneContents* contents = node->GetSceneContents();
    for (int i = 0; i < mShapes.GetCount(); ++i) {
        if (mShapes[i] != nullptr) mShapes[i]->ConnectContents(contents);
        AddShapeProperty(mShapeNames[i] ? mShapeNames[i]->Buffer() : nullptr);
    }
    ConnectContents(contents);
}

void VOxaGeometry::UnsetNode() {
    DisconnectContents();
    for (int i = 0; i < mShapes.GetCount(); ++i) {
        if (mShapes[i] != nullptr) mShapes[i]->DisconnectContents();
    }
    VOxaGeometryBase::UnsetNode();
}

void VOxaGeometry::AddChannels(VOxaTakeNode* takeNode) {
    for (int i = 0; i < mShapes.GetCount(); ++i)
        AddShapeChannel(takeNode, i);
}

void VOxaGeometry::RemoveChannels(VOxaTakeNode* takeNode) {
    for (int i = 0; i < mShapes.GetCount(); ++i)
        RemoveShapeChannel(takeNode, i);
}

// --- Links ---------------------------------------------------------------------------------------

VOxaLink* VOxaGeometry::GetLink(int index) {
    if (index < 0 || index >= mLinks.GetCount()) {
        mError.SetLastErrorID(eParameterOutOfRange);
        return nullptr;
    }
    return mLinks[index];
}

int VOxaGeometry::AddLink(VOxaLink* link) {
    if (link && !VOxaSameManager(GetSdkManager(), link->mManager)) return -1;
    const int index = mLinks.Add(link);
    if (index >= 0 && link != nullptr) ++link->mHolderCount;
    return index;
}

VOxaLink* VOxaGeometry::RemoveLink(int index) {
    if (index < 0 || index >= mLinks.GetCount()) {
        mError.SetLastErrorID(eParameterOutOfRange);
        return nullptr;
    }
    VOxaLink* link = mLinks[index];
    mLinks.RemoveAt(index);
    if (link != nullptr) --link->mHolderCount;
    return link;
}

void VOxaGeometry::ClearLinks() {
    for (int i = 0; i < mLinks.GetCount(); ++i)
        if (mLinks[i] != nullptr) --mLinks[i]->mHolderCount;
    mLinks.Clear();
}

void VOxaGeometry::ReleaseLink(const VOxaLink* link) {
    if (link == nullptr) return;
    int kept = 0;
    for (int i = 0; i < mLinks.GetCount(); ++i) {
        if (mLinks[i] == link) {
            --mLinks[i]->mHolderCount;
        } else {
            mLinks[kept++] = mLinks[i];
        }
    }
    mLinks.SetCount(kept);
}

// --- Shapes --------------------------------------------------------------------------------------

VOxaShape* VOxaGeometry::GetShape(int index) {
    if (index < 0 || index >= mShapes.GetCount()) {
        mError.SetLastErrorID(eParameterOutOfRange);
        return nullptr;
    }
    return mShapes[index];
}

const char* VOxaGeometry::GetShapeName(int index) {
    if (index < 0 || index >= mShapeNames.GetCount() || mShapeNames[index] == nullptr) {
        mError.SetLastErrorID(eParameterOutOfRange);
        return nullptr;
    }
    return mShapeNames[index]->Buffer();
}

int VOxaGeometry::AddShape(VOxaShape* shape, const char* name) {
    if (shape == nullptr) {
        mError.SetLastErrorID(eParameterIsNull);
        return -1;
    }
    if (mShapes.Find(shape) >= 0 || !VOxaSameManager(GetSdkManager(), shape->GetSdkManager())) {
        mError.SetLastErrorID(eShapeAlreadyAdded);
        return -1;
    }
    const VString trimmed = VString(name ? name : "").Trim();
    if (trimmed.IsEmpty()) {
        mError.SetLastErrorID(eShapeNameInvalid);
        return -1;
    }
    for (int i = 0; i < mShapeNames.GetCount(); ++i) {
        if (mShapeNames[i] != nullptr && mShapeNames[i]->Compare(trimmed) == 0) {
            mError.SetLastErrorID(eShapeNameAlreadyUsed);
            return -1;
        }
    }

    VString* storedName = oxa_alloc::Counted(new (std::nothrow) VString(trimmed));
    if (storedName == nullptr) return -1;
    const int index = mShapes.Add(shape);
    if (index < 0) {
        delete storedName;
        return -1;
    }
    if (mShapeNames.Add(storedName) < 0) {
        delete storedName;
        mShapes.RemoveAt(index);
        return -1;
    }
    ++shape->mHolderCount;

    if (VOxaNode* node = GetNode()) {
        AddShapeProperty(storedName->Buffer());
        for (int i = 0, n = node->GetTakeNodeCount(); i < n; ++i)
            AddShapeChannel(node->GetTakeNode(i), index);
    }
    shape->ConnectContents(mSceneContents);
    return index;
}

void VOxaGeometry::ClearShapes() {
    if (VOxaNode* node = GetNode()) {
        for (int t = 0, n = node->GetTakeNodeCount(); t < n; ++t)
            RemoveChannels(node->GetTakeNode(t));
    }
    for (int i = 0; i < mShapes.GetCount(); ++i) {
        if (mShapes[i] == nullptr) continue;
        mShapes[i]->DisconnectContents();
        --mShapes[i]->mHolderCount;
    }
    mShapes.Clear();
    DeleteNames(mShapeNames);
}

void VOxaGeometry::ReleaseShape(const VOxaShape* shape) {
    if (shape == nullptr) return;
    for (int i = mShapes.GetCount() - 1; i >= 0; --i) {
        if (mShapes[i] != shape) continue;
        if (VOxaNode* node = GetNode()) {
            for (int t = 0, n = node->GetTakeNodeCount(); t < n; ++t)
                RemoveShapeChannel(node->GetTakeNode(t), i);
        }
        --mShapes[i]->mHolderCount;
        mShapes.RemoveAt(i);
        delete mShapeNames[i];
        mShapeNames.RemoveAt(i);
    }
}

void VOxaGeometry::SetSceneContents(VOxaSceneContents* contents) {
    // All or none: memory that runs out part way leaves the geometry and its shapes in no contents.
    try {
        for (int i = 0; i < mShapes.GetCount(); ++i) {
            if (mShapes[i] != nullptr) mShapes[i]->ConnectContents(contents);
        }
        ConnectContents(contents);
    } catch (const std::bad_alloc&) {
        for (int i = 0; i < mShapes.GetCount(); ++i) {
            if (mShapes[i] != nullptr) mShapes[i]->ConnectContents(nullptr);
        }
        ConnectContents(nullptr);
        throw;
    }
}

void VOxaGeometry::AddShapeProperty(const char* name) {
    VOxaNode* node = GetNode();
    VOxaPropertyHandler* block = node ? node->GetPropertyHandler() : nullptr;
    if (block == nullptr || name == nullptr || block->FindProperty(name) != nullptr) return;
    VProperty* property = block->CreateProperty(name, "Shape", true);
    if (property == nullptr) return;
    property->SetStateFlag(kPropertyAnimated, true);
    property->SetDouble(0.0);
}

bool VOxaGeometry::AddShapeChannel(VOxaTakeNode* takeNode, int shapeIndex) {
    VFCurveNode* root = RootOf(takeNode);
    if (root == nullptr || shapeIndex < 0 || shapeIndex >= mShapeNames.GetCount() ||
        mShapeNames[shapeIndex] == nullptr) {
        return false;
    }
    const char* name = mShapeNames[shapeIndex]->Buffer();
    VFCurveNode* channel = FindExactChild(root, name);
    if (channel == nullptr) {
        channel = VFCurveNode::CreateFromName(name);
        if (channel == nullptr) return false;
        root->Add(channel);
    }
    if (channel->FCurveGet() == nullptr) channel->FCurveSet(VFCurve::Create());
    if (channel->FCurveGet() == nullptr) return false;
    channel->SetColor(kShapeColors[shapeIndex % 20]);
    return true;
}

void VOxaGeometry::RemoveShapeChannel(VOxaTakeNode* takeNode, int shapeIndex) {
    VFCurveNode* root = RootOf(takeNode);
    if (root == nullptr || shapeIndex < 0 || shapeIndex >= mShapeNames.GetCount() ||
        mShapeNames[shapeIndex] == nullptr) {
        return;
    }
    if (VFCurveNode* channel = FindExactChild(root, mShapeNames[shapeIndex]->Buffer()))
        voxa_take_node_detail::DeleteChannel(root, channel);
}

VFCurve* VOxaGeometry::GetShapeChannel(VOxaTakeNode* takeNode, int shapeIndex) {
    VFCurveNode* channel = nullptr;
    if (shapeIndex >= 0 && shapeIndex < mShapeNames.GetCount() && mShapeNames[shapeIndex] != nullptr) {
        channel = FindExactChild(RootOf(takeNode), mShapeNames[shapeIndex]->Buffer());
    }
    VFCurve* curve = channel ? channel->FCurveGet() : nullptr;
    if (curve == nullptr) mError.SetLastErrorID(eNoShapeCurveFound);
    return curve;
}

double VOxaGeometry::GetDefaultShapeChannelValue(int shapeIndex) {
    VOxaNode* node = GetNode();
    if (node == nullptr || shapeIndex < 0 || shapeIndex >= mShapeNames.GetCount() ||
        mShapeNames[shapeIndex] == nullptr) {
        return 0.0;
    }
    VFCurveNode* channel =
        FindExactChild(RootOf(node->GetDefaultTakeNode()), mShapeNames[shapeIndex]->Buffer());
    VFCurve* curve = channel ? channel->FCurveGet() : nullptr;
    return curve ? (double)curve->GetDefaultValue() : 0.0;
}

void VOxaGeometry::SetDefaultShapeChannelValue(int shapeIndex, double value) {
    VOxaNode* node = GetNode();
    if (node == nullptr || shapeIndex < 0 || shapeIndex >= mShapeNames.GetCount() ||
        mShapeNames[shapeIndex] == nullptr) {
        return;
    }
    VFCurveNode* channel =
        FindExactChild(RootOf(node->GetDefaultTakeNode()), mShapeNames[shapeIndex]->Buffer());
    if (VFCurve* curve = channel ? channel->FCurveGet() : nullptr) curve->SetDefaultValue(ToFloat(value));
}

// --- Older shape-channel names ------------------------------------------------------------------

void VOxaGeometry::AdoptLegacyShapeChannels(VOxaTakeNode* takeNode) {
    VFCurveNode* root = RootOf(takeNode);
    if (root == nullptr || GetAttributeType() == eMesh) return;
    for (int i = 0; i < mShapeNames.GetCount(); ++i) {
        if (mShapeNames[i] == nullptr) continue;
        const VString& name = *mShapeNames[i];
        VFCurveNode* current = FindExactChild(root, name);
        // The current channel itself is no older one: a name without the suffix then falls
        // back to the numbered name, as the older layout wrote it.
        VFCurveNode* legacy = FindExactChild(root, WithoutShapeSuffix(name));
        if (legacy == current) legacy = nullptr;
        if (legacy == nullptr) legacy = FindExactChild(root, NumberedShapeName(i, true));
        if (legacy == nullptr || current == nullptr || current == legacy) continue;
        CopyCurves(current, legacy);
        voxa_take_node_detail::DeleteChannel(root, legacy);
    }
}

void VOxaGeometry::RenameShapeChannels(VOxaTakeNode* takeNode) {
    VFCurveNode* root = RootOf(takeNode);
    const bool mesh = GetAttributeType() == eMesh;
    for (int i = 0; i < mShapeNames.GetCount(); ++i) {
        if (mShapeNames[i] == nullptr) continue;
        const VString current = *mShapeNames[i];
        const VString shapeName = mesh ? current : NumberedShapeName(i, false);
        const VString channelName = mesh ? WithoutShapeSuffix(current) : NumberedShapeName(i, true);
        StoreName(mSavedNames, i, current);
        StoreName(mSavedShapeNames, i, shapeName);
        StoreName(mSavedChannelNames, i, channelName);
        *mShapeNames[i] = shapeName;
        if (root != nullptr) RenameChannel(root, current, channelName);
    }
}

void VOxaGeometry::RestoreShapeChannels(VOxaTakeNode* takeNode) {
    VFCurveNode* root = RootOf(takeNode);
    int count = mShapeNames.GetCount();
    if (mSavedNames.GetCount() < count) count = mSavedNames.GetCount();
    if (mSavedShapeNames.GetCount() < count) count = mSavedShapeNames.GetCount();
    if (mSavedChannelNames.GetCount() < count) count = mSavedChannelNames.GetCount();
    for (int i = 0; i < count; ++i) {
        if (mShapeNames[i] == nullptr || mSavedNames[i] == nullptr || mSavedChannelNames[i] == nullptr)
            continue;
        *mShapeNames[i] = *mSavedNames[i];
        if (root != nullptr) RenameChannel(root, *mSavedChannelNames[i], *mSavedNames[i]);
    }
}

// --- Pivot ---------------------------------------------------------------------------------------

VgeAMatrix& VOxaGeometry::GetPivot(VgeAMatrix& matrix) const {
    matrix = mPivot;
    return matrix;
}

void VOxaGeometry::SetPivot(const VgeAMatrix& matrix) {
    mPivot = matrix;
}

void VOxaGeometry::CopyPivot(const VOxaGeometry& other) {
    mPivot = other.mPivot;
}

void VOxaGeometry::ApplyPivot() {
    VgeTVector* points = mControlPoints.GetArray();
    for (int i = 0, n = mControlPoints.GetCount(); i < n; ++i) {
        const double w = points[i][3];
        points[i] = mPivot.MultT(points[i]);
        points[i][3] = w;
    }

    VOxaLayerElementNormal* element = GetNormalElement();
    if (element == nullptr) return;
    // The rotation alone: the rows are divided by their (signed) scales, the Euler angles taken
    // and turned back into a rotation, so that scaling and mirroring do not bend the normals.
    const VgeTVector angles = mPivot.GetR();
    double rotation[4][4];
    VgeMatrixIdentity(rotation);
    VgeEulerVectorToMatrix(rotation, angles.mData);
    VArrayTemplate<VgeTVector>& normals = element->GetDirectArray();
    VgeTVector* items = normals.GetArray();
    for (int i = 0, n = normals.GetCount(); i < n; ++i) {
        const double x = items[i][0], y = items[i][1], z = items[i][2];
        for (int c = 0; c < 3; ++c)
            items[i][c] = x * rotation[0][c] + y * rotation[1][c] + z * rotation[2][c];
    }
}

// --- Copy ----------------------------------------------------------------------------------------

VOxaGeometry& VOxaGeometry::operator=(const VOxaGeometry& other) {
    oxa_delivery::Scope scope;
    if (&other == this) return *this;
    VOxaGeometryBase::operator=(other);
    VOxaSdkManager* manager = GetSdkManager();

    VArrayTemplate<VOxaLink*> oldLinks = mLinks;
    ClearLinks();
    for (int i = 0; manager != nullptr && i < oldLinks.GetCount(); ++i) {
        if (oldLinks[i] != nullptr) manager->DestroyLink(oldLinks[i]);
    }
    for (int i = 0; manager != nullptr && i < other.mLinks.GetCount(); ++i) {
        if (other.mLinks[i] == nullptr) continue;
        VOxaLink* link = manager->CreateLink();
        if (link == nullptr) continue;
        link->CopyFrom(*other.mLinks[i]);
        AddLink(link);
    }

    // The shapes leave the list (and their channels the takes) before they are destroyed, so
    // nothing refers to a destroyed shape.
    VArrayTemplate<VOxaShape*> oldShapes = mShapes;
    ClearShapes();
    for (int i = 0; i < oldShapes.GetCount(); ++i) {
        if (manager != nullptr) manager->DestroyShape(oldShapes[i]);
    }
    for (int i = 0; manager != nullptr && i < other.mShapes.GetCount(); ++i) {
        if (other.mShapes[i] == nullptr) continue;
        VOxaShape* shape = manager->CreateShape();
        if (shape == nullptr) continue;
        *shape = *other.mShapes[i];
        const VString* name = other.mShapeNames.GetAt(i);
        if (AddShape(shape, name ? name->Buffer() : nullptr) < 0) manager->DestroyShape(shape);
    }

    CopyPivot(other);
    return *this;
}
