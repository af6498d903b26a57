#include "scene/voxa_take_node_container.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

#include "animation/fcurve.h"
#include "animation/fcurve_node.h"
#include "base/vallocation_hook.h"
#include "base/vdelivery_internal.h"
#include "objects/vdatatype.h"
#include "objects/voxa_property_handler.h"
#include "objects/voxa_user_property.h"
#include "objects/vproperty.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "scene/voxa_take_node_internal.h"

using voxa_take_node_detail::FindChannel;

namespace {

const char* const kTakeNodeExists = "Take node already exists";
const char* const kTakeNodeMissing = "Take node does not exist";
const char* const kCannotRemoveDefault = "Cannot remove default take node";
const char* const kUnknownTakeName = "Unknown take node name";
const char* const kIndexOutOfRange = "Index out of range";

const char* const kComponentNames[4] = {"X", "Y", "Z", "toto"};

bool IsDefaultTakeName(const char* name) {
    return VString(name ? name : "").CompareNoCase("Default") == 0;
}

// The number of curves a channel of `property` carries below it: 3 or 4 for vectors and colours
// (by data type, or by value type without one), 1 otherwise.
int ComponentCountOf(const VProperty* property) {
    if (const VDataType* dataType = property->GetDataType()) {
        int count = dataType->GetComponentCount();
        return (count == 3 || count == 4) ? count : 1;
    }
    switch (property->GetValueType()) {
        case eValueVector:
        case eValueColor:
            return 3;
        case eValueVector4:
        case eValueColorAndAlpha:
            return 4;
        default:
            return 1;
    }
}

// Sets a curve's default value without any listener seeing it, so that a property written from a
// curve is not written back into the curves. An unchanged value is left alone: the curve may be
// delivering its own events at that moment.
void SetDefaultWithoutEcho(VFCurve* curve, double value) {
    if (!curve) return;
    float v = (float)value;
    if (curve->GetDefaultValue() == v) return;
    if (curve->IsNotifyNow() && curve->IsCallbackEnabled()) {
        curve->SetNotifyNow(false);
        curve->SetDefaultValue(v);
        curve->CallbackResetEvent();
        curve->SetNotifyNow(true);
    } else {
        // Inside a modification bracket the pending record holds other changes that must still be
        // delivered: record nothing instead of dropping them.
        bool enabled = curve->IsCallbackEnabled();
        curve->CallbackEnable(false);
        curve->SetDefaultValue(v);
        curve->CallbackEnable(enabled);
    }
}

// The curve of `node`, made when it has none.
VFCurve* CurveOf(VFCurveNode* node) {
    if (!node) return nullptr;
    if (!node->FCurveGet()) node->FCurveSet(VFCurve::Create());
    return node->FCurveGet();
}

}  // namespace

// ---- Construction -------------------------------------------------------------------------------

VOxaTakeNodeContainer::VOxaTakeNodeContainer(VOxaSdkManager* manager, const char* name, VError* error)
    : VOxaObject(manager, name), mError(error) {}

VOxaTakeNodeContainer::~VOxaTakeNodeContainer() {
    ReleasePendingHandles();
    // Deleting the default take destroys its curves, whose destroy events drop their links.
    DeleteTakeNodes();
    mCurrentTakeNode = -1;
    RemoveAllChannelLinks();
}

VOxaTakeNodeContainer& VOxaTakeNodeContainer::operator=(const VOxaTakeNodeContainer& other) {
    if (this == &other) return *this;
    VOxaObject::operator=(other);
    DeleteTakeNodes();
    mTakeNodes.reserve(other.mTakeNodes.size());
    for (const VOxaTakeNode* take : other.mTakeNodes)
        mTakeNodes.push_back(new VOxaTakeNode(*take));
    mCurrentTakeNode = other.mCurrentTakeNode;
    LinkDefaultTake(true);
    return *this;
}

void VOxaTakeNodeContainer::LinkDefaultTake(bool takeDefaults) {
    // Links go with their curves; a default take whose curves are new must mirror this object's
    // properties as a built one does, or its curves and the properties drift apart.
    VOxaTakeNode* take = GetDefaultTakeNode();
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    if (!root || !IsDefaultTakeName(take->GetName())) return;
    std::unordered_set<const VFCurve*> linked;
    for (const VOxaChannelLink* link : mChannelLinks)
        linked.insert(link->mCurve);
    VArrayTemplate<VProperty*> properties;
    FillPropertyArray(properties);
    for (int i = 0; i < properties.GetCount(); ++i) {
        VProperty* property = properties.GetAt(i);
        if (!property || !property->IsAnimatable()) continue;
        VFCurveNode* channel = voxa_take_node_detail::FindChannel(root, GetChannelName(property->GetName()));
        if (!channel) continue;
        if (channel->GetCount() == 0) {
            VFCurve* curve = channel->FCurveGet();
            if (!curve || linked.count(curve)) continue;
            AddChannelLink(property, 0, curve);
            // The property takes the copied default, as a change of that default would give it.
            if (takeDefaults && (float)property->GetDouble() != curve->GetDefaultValue()) {
                VOxaChannelLink link{property, 0, curve, this};
                WriteLinkedProperty(&link, curve->GetDefaultValue());
            }
            continue;
        }
        // Read every component's default before writing any: the write of one component sends
        // the whole value back into the curves.
        double values[4] = {0.0, 0.0, 0.0, 0.0};
        int valueCount = property->GetValue(values);
        bool changed = false;
        for (int k = 0; k < std::min(channel->GetCount(), 4); ++k) {
            VFCurve* curve = channel->Get(k)->FCurveGet();
            if (!curve || linked.count(curve)) continue;
            AddChannelLink(property, k, curve);
            // Compared in the curve's precision, so an unchanged value keeps its own digits.
            if (takeDefaults && k < valueCount && (float)values[k] != curve->GetDefaultValue()) {
                values[k] = curve->GetDefaultValue();
                changed = true;
            }
        }
        if (changed) property->SetValue(values);
    }
}

void VOxaTakeNodeContainer::SetTakeError(const char* text) const {
    if (mError) mError->SetLastError(0, text);
}

// ---- Takes --------------------------------------------------------------------------------------

namespace {

int FindTake(const std::vector<VOxaTakeNode*>& takes, const char* name) {
    const char* wanted = name ? name : "";
    for (size_t i = 0; i < takes.size(); ++i) {
        if (std::strcmp(takes[i]->GetName(), wanted) == 0) return (int)i;
    }
    return -1;
}

}  // namespace

VOxaTakeNode* VOxaTakeNodeContainer::AddTakeNode(const char* name) {
    if (FindTake(mTakeNodes, name) >= 0) {
        SetTakeError(kTakeNodeExists);
        return nullptr;
    }
    // Held by its owner until listed, so a take whose channels run out of memory goes: null,
    // counted as memory run out.
    std::unique_ptr<VOxaTakeNode> take;
    try {
        if (!mTakeNodes.empty() && (!mTakeNodes[0]->HasDeferredChannels() || IsDefaultTakeName(name))) {
            take.reset(new VOxaTakeNode(*mTakeNodes[0]));
            take->SetName(name);
        } else {
            // A copy of a default take not made yet is what a fresh take of another name holds:
            // the same channels with the properties' values, unlinked.
            take.reset(new VOxaTakeNode(name));
            if (mTakeNodes.empty() && mDeferDefaultChannels && IsDefaultTakeName(name)) {
                take->DeferChannels(this);
            } else {
                CreateTakeNodeChannels(take.get());
            }
        }
        mTakeNodes.push_back(take.get());
    } catch (const std::bad_alloc&) {
        oxa_alloc::NoteFailure();
        return nullptr;
    }
    return take.release();
}

VOxaTakeNode* VOxaTakeNodeContainer::AddDefaultTakeNode() {
    VOxaTakeNode* take = AddTakeNode("Default");
    mCurrentTakeNode = 0;
    return take;
}

VOxaTakeNode* VOxaTakeNodeContainer::ResetTakeNodes() {
    DeleteTakeNodes();
    return AddDefaultTakeNode();
}

void VOxaTakeNodeContainer::DeleteTakeNodes() {
    // The list is emptied first: a callback told of a curve's destruction finds no take going.
    std::vector<VOxaTakeNode*> takes;
    takes.swap(mTakeNodes);
    for (size_t i = takes.size(); i-- > 0;)
        oxa_delivery::DeleteLater(takes[i]);
}

bool VOxaTakeNodeContainer::RemoveTakeNode(int index) {
    if (index == 0) {
        SetTakeError(kCannotRemoveDefault);
        return false;
    }
    if (index < 0 || index >= (int)mTakeNodes.size()) {
        SetTakeError(kIndexOutOfRange);
        return false;
    }
    if (mCurrentTakeNode == index) mCurrentTakeNode = index - 1;
    VOxaTakeNode* take = mTakeNodes[index];
    mTakeNodes.erase(mTakeNodes.begin() + index);
    oxa_delivery::DeleteLater(take);
    return true;
}

bool VOxaTakeNodeContainer::RemoveTakeNode(const char* name) {
    int index = FindTake(mTakeNodes, name);
    if (index < 0) {
        SetTakeError(kUnknownTakeName);
        return false;
    }
    if (index == 0) {
        SetTakeError(kCannotRemoveDefault);
        return false;
    }
    VOxaTakeNode* take = mTakeNodes[index];
    mTakeNodes.erase(mTakeNodes.begin() + index);
    oxa_delivery::DeleteLater(take);
    return true;
}

VOxaTakeNode* VOxaTakeNodeContainer::GetTakeNode(int index) const {
    if (index < 0 || index >= (int)mTakeNodes.size()) {
        SetTakeError(kTakeNodeMissing);
        return nullptr;
    }
    return mTakeNodes[index];
}

const char* VOxaTakeNodeContainer::GetTakeNodeName(int index) const {
    VOxaTakeNode* take = GetTakeNode(index);
    return take ? take->GetName() : nullptr;
}

bool VOxaTakeNodeContainer::HasDeferredDefaultChannels() const {
    return !mTakeNodes.empty() && mTakeNodes[0]->HasDeferredChannels();
}

void VOxaTakeNodeContainer::MakeDeferredDefaultChannels() const {
    if (HasDeferredDefaultChannels()) mTakeNodes[0]->GetVFCurveNode();
}

VOxaTakeNode* VOxaTakeNodeContainer::GetDefaultTakeNode() const {
    return mTakeNodes.empty() ? nullptr : mTakeNodes[0];
}

VOxaTakeNode* VOxaTakeNodeContainer::GetCurrentTakeNode() const {
    return GetTakeNode(mCurrentTakeNode);
}

const char* VOxaTakeNodeContainer::GetCurrentTakeNodeName() const {
    return GetTakeNodeName(mCurrentTakeNode);
}

bool VOxaTakeNodeContainer::SetCurrentTakeNode(int index) {
    if (index < 0 || index >= (int)mTakeNodes.size()) {
        SetTakeError(kIndexOutOfRange);
        mCurrentTakeNode = 0;
        return false;
    }
    mCurrentTakeNode = index;
    return true;
}

bool VOxaTakeNodeContainer::SetCurrentTakeNode(const char* name) {
    int index = FindTake(mTakeNodes, name);
    if (index < 0) {
        SetTakeError(kUnknownTakeName);
        mCurrentTakeNode = 0;
        return false;
    }
    mCurrentTakeNode = index;
    return true;
}

bool VOxaTakeNodeContainer::GetAnimationInterval(VTime& start, VTime& stop) {
    if (mCurrentTakeNode < 0 || mCurrentTakeNode >= (int)mTakeNodes.size()) return false;
    // A take whose channels are still to be made has no key yet.
    if (mTakeNodes[mCurrentTakeNode]->HasDeferredChannels()) return false;
    VFCurveNode* root = mTakeNodes[mCurrentTakeNode]->GetVFCurveNode();
    if (!root) return false;
    VTime localStart(VTime::kInfinite);
    VTime localStop(VTime::kMinusInfinite);  // the smallest time plus one
    if (!root->GetAnimationInterval(localStart, localStop)) return false;
    if (localStart < start) start = localStart;
    if (stop < localStop) stop = localStop;
    return true;
}

bool VOxaTakeNodeContainer::IsChannelAnimatedInAnyTake(const char* objectName, const char* channelName,
                                                       const char* componentName) {
    for (size_t i = 1; i < mTakeNodes.size(); ++i) {
        if (mTakeNodes[i]->IsAnimated(objectName, channelName, componentName)) return true;
    }
    return false;
}

bool VOxaTakeNodeContainer::IsChannelAnimatedInAnyTakeByDataType(const char* objectName,
                                                                 const char* channelName,
                                                                 const VDataType* dataType) {
    for (size_t i = 1; i < mTakeNodes.size(); ++i) {
        if (mTakeNodes[i]->IsAnimatedByDataType(objectName, channelName, dataType)) return true;
    }
    return false;
}

// ---- Properties and channels --------------------------------------------------------------------

void VOxaTakeNodeContainer::CreatePropertyHandles() {
    VOxaPropertyHandler* handler = GetPropertyHandler();
    if (!handler) return;
    VOxaSdkManager* manager = GetSdkManager();
    const int count = handler->GetPropertyCount();
    if (manager && count > 0 && !HasPendingUserProperties() && GetUserPropertyCount() == 0 &&
        AddsNoChannels()) {
        // What PropertyAdded does for a bound handle while no channel is made: the animatable
        // properties are marked animated. Descriptions tell which, so that member properties not
        // made yet stay so.
        for (int i = 0; i < count; ++i) {
            const VPropertyInfo* info = handler->GetPropertyInfo(i);
            if (!info || !info->HasFlag(kPropertyAnimatable)) continue;
            if (VProperty* property = handler->GetProperty(i))
                property->SetStateFlag(kPropertyAnimated, true);
        }
        manager->DeferPropertyHandles(this, count);
        return;
    }
    ReserveUserProperties(handler->GetPropertyCount());
    // One allocation for the handles instead of one each.
    VOxaUserProperty::Block block(handler->GetPropertyCount());
    VOxaUserProperty::OwnHandleScope own;
    // Without handles so far (a node being made) no property has one, and each new handle is
    // the only one of its property: no look-ups.
    const bool first = GetUserPropertyCount() == 0;
    for (int i = 0; i < handler->GetPropertyCount(); ++i) {
        VProperty* property = handler->GetProperty(i);
        if (!property || (!first && FindUserPropertyByProperty(property))) continue;
        VOxaUserProperty* userProperty = CreateUserProperty(property);
        if (!userProperty) continue;
        if (first) {
            AddNewUserProperty(userProperty);
        } else {
            AddUserProperty(userProperty);
        }
        userProperty->SetChangeListener(handler);
    }
}

bool VOxaTakeNodeContainer::AddsNoChannels() const {
    if (!mDeferDefaultChannels) return false;
    for (const VOxaTakeNode* take : mTakeNodes) {
        if (!take->HasDeferredChannels()) return false;
    }
    return true;
}

void VOxaTakeNodeContainer::MakePendingHandles() const {
    if (VOxaSdkManager* manager = GetSdkManager()) manager->MakePendingHandles(mPendingHandleSlot);
}

void VOxaTakeNodeContainer::ReleasePendingHandles() {
    if (mPendingHandleSlot < 0) return;
    if (VOxaSdkManager* manager = GetSdkManager()) manager->DropPendingHandles(this, true);
    mPendingHandleSlot = -1;
}

void VOxaTakeNodeContainer::MakeDeferredHandles() {
    VOxaPropertyHandler* handler = GetPropertyHandler();
    VOxaSdkManager* manager = GetSdkManager();
    if (!handler || !manager) return;
    // The handler holds the properties it held when the handles were left to be made: a
    // property joining it makes them first.
    const int count = handler->GetPropertyCount();
    ReserveUserProperties(count);
    VOxaUserProperty::Block block(count);
    VOxaUserProperty::OwnHandleScope own;
    for (int i = 0; i < count; ++i) {
        VProperty* property = handler->GetProperty(i);
        if (!property) continue;
        VOxaUserProperty* userProperty = manager->CreateUserProperty(property);
        if (!userProperty) continue;
        AppendUserProperty(userProperty);
        // A handle bound to its property had PropertyAdded's effect when it was left to be made;
        // any other (a manager's own kind of handle) has it now, adding channels only where a
        // take has made its own since.
        if (userProperty->GetProperty() != property) {
            const bool defer = mDeferDefaultChannels;
            mDeferDefaultChannels = true;
            VOxaTakeNodeContainer::PropertyAdded(userProperty);
            mDeferDefaultChannels = defer;
        }
        userProperty->SetChangeListener(handler);
    }
}

void VOxaTakeNodeContainer::CreatePropertyChannels(VProperty* property, VOxaTakeNode* takeNode) {
    if (!property || !takeNode) return;
    VFCurveNode* root = takeNode->GetVFCurveNode();
    if (!root || root->Find(property->GetName()) >= 0) return;
    bool isDefaultTake = IsDefaultTakeName(takeNode->GetName());

    int componentCount = 1;
    if (const VDataType* dataType = property->GetDataType()) {
        componentCount = dataType->GetComponentCount();
    } else if (property->GetValueType() == eValueVector || property->GetValueType() == eValueColor) {
        componentCount = 3;
    } else if (property->GetValueType() == eValueVector4 || property->GetValueType() == eValueColorAndAlpha) {
        componentCount = 4;
    }
    // Components have names up to the fourth only.
    componentCount = std::min(componentCount, 4);

    VFCurveNode* channel;
    if (componentCount <= 1) {
        channel = root->FindOrCreate(property->GetName(), true);
        if (isDefaultTake && channel) AddChannelLink(property, 0, channel->FCurveGet());
    } else {
        channel = root->FindOrCreate(property->GetName(), false);
        if (!channel) return;
        for (int k = 0; k < componentCount; ++k) {
            VFCurveNode* component = channel->Get(k);
            if (!component) component = channel->FindOrCreate(kComponentNames[k], true);
            if (isDefaultTake && component) AddChannelLink(property, k, component->FCurveGet());
        }
    }
    SetChannelDefaultsFromProperty(channel, property);
}

void VOxaTakeNodeContainer::PropertyAdded(VOxaUserProperty* userProperty) {
    if (!userProperty) return;
    if (!userProperty->IsBound()) {
        if (VOxaPropertyHandler* handler = GetPropertyHandler()) handler->CreateProperty(userProperty);
    }
    if (!userProperty->GetFlag(VOxaUserProperty::eAnimatable)) return;
    VProperty* property = userProperty->GetProperty();
    if (property) property->SetStateFlag(kPropertyAnimated, true);

    const char* channelName = GetChannelName(userProperty->GetName());
    bool transform = channelName != userProperty->GetName();
    int type = userProperty->GetType();
    bool vector = type == VOxaUserProperty::eVector || type == VOxaUserProperty::eColor;
    for (size_t i = 0; i < mTakeNodes.size(); ++i) {
        // The handles an object makes for its own properties as it is made find the channels
        // the deferred fill makes; any later handle needs the channels now.
        if (mDeferDefaultChannels && mTakeNodes[i]->HasDeferredChannels()) continue;
        VFCurveNode* root = mTakeNodes[i]->GetVFCurveNode();
        if (!root) continue;
        VFCurveNode* channel = FindChannel(root, channelName);
        if (!channel && !transform) {
            channel = root->FindOrCreate(channelName, !vector);
            if (!channel) continue;
            bool link = i == 0 && property;
            if (vector) {
                for (int k = 0; k < 3; ++k) {
                    VFCurveNode* component = channel->FindOrCreate(kComponentNames[k], true);
                    if (link && component) AddChannelLink(property, k, component->FCurveGet());
                }
            } else if (link) {
                AddChannelLink(property, 0, channel->FCurveGet());
            }
        }
        if (channel) SetChannelDefaultsFromUserProperty(channel, userProperty);
    }
}

void VOxaTakeNodeContainer::PropertyRemoved(VOxaUserProperty* userProperty) {
    if (!userProperty) return;
    DropPropertyChannels(userProperty->GetName(), userProperty->GetProperty());
    if (VOxaPropertyHandler* handler = GetPropertyHandler()) {
        if (userProperty->GetProperty()) handler->DestroyProperty(userProperty);
    }
}

void VOxaTakeNodeContainer::DropPropertyChannels(const char* propertyName, const VProperty* property) {
    const char* channelName = GetChannelName(propertyName);
    for (VOxaTakeNode* take : mTakeNodes) {
        VFCurveNode* channel = FindChannel(take->GetVFCurveNode(), channelName);
        VFCurveNode* parent = channel ? channel->GetParent() : nullptr;
        // Deleting the channel destroys its curves, whose destroy events drop their links.
        if (parent) parent->Delete(parent->Find(channel));
    }
    if (!property) return;
    // No link may outlive the property it writes to.
    for (size_t i = mChannelLinks.size(); i-- > 0;) {
        if (i < mChannelLinks.size() && mChannelLinks[i]->mProperty == property) {
            VOxaChannelLink* link = mChannelLinks[i];
            RemoveChannelLink(link);
        }
    }
}

void VOxaTakeNodeContainer::PropertyValueChanged(VOxaUserProperty* userProperty) {
    if (!userProperty || !userProperty->GetFlag(VOxaUserProperty::eAnimatable)) return;
    const char* channelName = GetChannelName(userProperty->GetName());
    // A take whose channels are not made yet is left alone: its owner keeps the defaults they
    // are to be made with.
    VFCurveNode* root = nullptr;
    if (mCurrentTakeNode >= 0 && mCurrentTakeNode < (int)mTakeNodes.size() &&
        !mTakeNodes[mCurrentTakeNode]->HasDeferredChannels()) {
        root = mTakeNodes[mCurrentTakeNode]->GetVFCurveNode();
        if (VFCurveNode* channel = FindChannel(root, channelName))
            SetChannelDefaultsFromUserProperty(channel, userProperty);
    }
    // The default take mirrors the properties whichever take is current (also while the current
    // index points at no take).
    VFCurveNode* defaultRoot = mTakeNodes.empty() || mTakeNodes[0]->HasDeferredChannels()
                                   ? nullptr
                                   : mTakeNodes[0]->GetVFCurveNode();
    if (defaultRoot && defaultRoot != root) {
        if (VFCurveNode* channel = FindChannel(defaultRoot, channelName))
            SetChannelDefaultsFromUserProperty(channel, userProperty);
    }
}

void VOxaTakeNodeContainer::UpdateDefaultTakeFromProperties() {
    VOxaTakeNode* take = GetDefaultTakeNode();
    VFCurveNode* root = take ? take->GetVFCurveNode() : nullptr;
    if (!root) return;
    VArrayTemplate<VProperty*> properties;
    FillPropertyArray(properties);
    for (int i = 0; i < properties.GetCount(); ++i) {
        VProperty* property = properties[i];
        if (!property) continue;
        if (VFCurveNode* channel = FindChannel(root, GetChannelName(property->GetName())))
            SetChannelDefaultsFromProperty(channel, property);
    }
}

void VOxaTakeNodeContainer::SetChannelDefaultsFromProperty(VFCurveNode* channel, VProperty* property) {
    if (!channel || !property) return;
    int componentCount = ComponentCountOf(property);
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    if (property->GetValue(values) <= 0) return;
    if (componentCount == 1) {
        SetDefaultWithoutEcho(channel->FCurveGet(), values[0]);
        return;
    }
    for (int k = 0; k < componentCount; ++k) {
        VFCurveNode* component = channel->Get(k);
        if (component) SetDefaultWithoutEcho(component->FCurveGet(), values[k]);
    }
}

void VOxaTakeNodeContainer::SetChannelDefaultsFromUserProperty(VFCurveNode* channel,
                                                               VOxaUserProperty* userProperty) {
    if (!channel || !userProperty) return;
    int type = userProperty->GetType();
    if (type != VOxaUserProperty::eVector && type != VOxaUserProperty::eColor) {
        VFCurve* curve = CurveOf(channel);
        double value = 0.0;
        if (userProperty->GetDouble(value)) SetDefaultWithoutEcho(curve, value);
        return;
    }
    // Up to four components: a four-component property (Vector4, ColorAndAlpha) also brings its
    // fourth value to a fourth component channel.
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    VProperty* property = userProperty->GetProperty();
    int count = 0;
    if (property && property->GetValue(values) >= 3) {
        count = 3;
        if (ComponentCountOf(property) == 4 && channel->GetCount() > 3) count = 4;
    }
    for (int k = 0; k < 3; ++k) {
        VFCurveNode* component = channel->Get(k);
        if (!component) {
            component = VFCurveNode::CreateFromName(kComponentNames[k]);
            if (!component) continue;
            channel->Add(component);
        }
        VFCurve* curve = CurveOf(component);
        if (k < count) SetDefaultWithoutEcho(curve, values[k]);
    }
    if (count == 4) SetDefaultWithoutEcho(channel->Get(3)->FCurveGet(), values[3]);
}

// ---- Channel links ------------------------------------------------------------------------------

void VOxaTakeNodeContainer::AddChannelLink(VProperty* property, int component, VFCurve* curve) {
    if (!property || !curve) return;
    // Both ends or neither: a link the curve does not know would outlive it. A link that cannot
    // be had is counted as memory run out (the curve then does not reach the property).
    VOxaChannelLink* link = nullptr;
    try {
        // A node links its transform and visibility curves (ten) at once.
        if (mChannelLinks.capacity() == 0) mChannelLinks.reserve(16);
        link = NewChannelLink(property, component, curve);
        mChannelLinks.push_back(link);
    } catch (const std::bad_alloc&) {
        if (link) FreeChannelLink(link);
        oxa_alloc::NoteFailure();
        return;
    }
    try {
        curve->CallbackRegister(&VOxaTakeNodeContainer::OnChannelCurveEvent, link);
    } catch (const std::bad_alloc&) {
        mChannelLinks.pop_back();
        FreeChannelLink(link);
        oxa_alloc::NoteFailure();
    }
}

void VOxaTakeNodeContainer::RemoveChannelLink(VOxaChannelLink*& link) {
    if (!link) return;
    // Links go mostly in the reverse order of their making (a take's tree is deleted last child
    // first): search from the end.
    for (size_t i = mChannelLinks.size(); i-- > 0;) {
        if (mChannelLinks[i] != link) continue;
        if (link->mCurve) link->mCurve->CallbackUnregister(&VOxaTakeNodeContainer::OnChannelCurveEvent, link);
        mChannelLinks.erase(mChannelLinks.begin() + (std::ptrdiff_t)i);
        FreeChannelLink(link);
        link = nullptr;
        return;
    }
}

void VOxaTakeNodeContainer::RemoveAllChannelLinks() {
    std::vector<VOxaChannelLink*> links;
    links.swap(mChannelLinks);
    for (VOxaChannelLink* link : links) {
        if (link->mCurve) link->mCurve->CallbackUnregister(&VOxaTakeNodeContainer::OnChannelCurveEvent, link);
        FreeChannelLink(link);
    }
}

VOxaChannelLink* VOxaTakeNodeContainer::NewChannelLink(VProperty* property, int component, VFCurve* curve) {
    if (!mLocalLinks) mLocalLinks.reset(new VOxaChannelLink[kLocalLinks]());
    for (int i = 0; mLocalLinks && i < kLocalLinks; ++i) {
        if (mLocalLinksUsed & (1u << i)) continue;
        mLocalLinksUsed |= 1u << i;
        mLocalLinks[i] = VOxaChannelLink{property, component, curve, this};
        return &mLocalLinks[i];
    }
    return new VOxaChannelLink{property, component, curve, this};
}

void VOxaTakeNodeContainer::FreeChannelLink(VOxaChannelLink* link) {
    // Compared as addresses: only a local slot lies inside the container's array.
    const auto at = reinterpret_cast<std::uintptr_t>(link);
    const auto begin = reinterpret_cast<std::uintptr_t>(mLocalLinks.get());
    if (mLocalLinks && at >= begin && at < begin + kLocalLinks * sizeof(VOxaChannelLink)) {
        const auto slot = (int)((at - begin) / sizeof(VOxaChannelLink));
        mLocalLinksUsed &= ~(1u << slot);
        mLocalLinks[slot] = VOxaChannelLink{};
        return;
    }
    delete link;
}

int VOxaTakeNodeContainer::GetChannelLinkCount() const {
    MakeDeferredDefaultChannels();
    return (int)mChannelLinks.size();
}

VOxaChannelLink* VOxaTakeNodeContainer::GetChannelLink(int index) const {
    MakeDeferredDefaultChannels();
    return (index >= 0 && index < (int)mChannelLinks.size()) ? mChannelLinks[index] : nullptr;
}

const char* VOxaTakeNodeContainer::GetChannelName(const char* propertyName) {
    if (!propertyName) return propertyName;
    if (std::strcmp(propertyName, "Lcl Translation") == 0) return "T";
    if (std::strcmp(propertyName, "Lcl Rotation") == 0) return "R";
    if (std::strcmp(propertyName, "Lcl Scaling") == 0) return "S";
    return propertyName;
}

void VOxaTakeNodeContainer::OnChannelCurveEvent(VFCurve* curve, VFCurveEvent* event, void* data) {
    VOxaChannelLink* link = static_cast<VOxaChannelLink*>(data);
    if (!curve || !event || !link) return;
    if (event->mEventType & VFCurve::eEventDestroy) {
        // The curve is going: its value is no longer the property's to follow.
        if (link->mContainer) link->mContainer->RemoveChannelLink(link);
        return;
    }
    if (!(event->mEventType & VFCurve::eEventDefaultValue)) return;
    WriteLinkedProperty(link, curve->GetDefaultValue());
}

void VOxaTakeNodeContainer::WriteLinkedProperty(const VOxaChannelLink* link, double v) {
    VProperty* property = link->mProperty;
    if (!property) return;
    const VDataType* dataType = property->GetDataType();
    if (!dataType) {
        switch (property->GetValueType()) {
            case eValueInteger:
            case eValueBool:
            case eValueEnum:
                property->SetInt(vproperty_detail::DoubleToInt(v));
                return;
            case eValueReal:
            case eValueNumber:
                property->SetDouble(v);
                return;
            case eValueVector4:
            case eValueVector:
            case eValueColor:
            case eValueColorAndAlpha:
                break;
            default:
                return;
        }
    } else if (dataType->GetValueSize() > 32 || dataType->GetComponentCount() <= link->mComponent) {
        return;
    }
    if (link->mComponent < 0 || link->mComponent > 3) return;
    double values[4] = {0.0, 0.0, 0.0, 0.0};
    property->GetValue(values);
    values[link->mComponent] = v;
    property->SetValue(values);
}
