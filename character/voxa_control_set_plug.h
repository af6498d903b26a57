#ifndef OXA_CHARACTER_VOXA_CONTROL_SET_PLUG_H
#define OXA_CHARACTER_VOXA_CONTROL_SET_PLUG_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/character/voxa_control_set.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/objects/vproperty.h>
#include <oxa/objects/vproperty_object_list.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaControlSetPlug;

// The property block of a control-set plug: "UseAxis" (true), "ControlSetType" (0, a number
// without value names), then one object-list property per named character node id in id order
// ("Hips" .. "RightFootExtraFinger4", "Reference" for 67; none for 68, 69, 88, 89), each
// keeping its node id, then one per effector ("HipsEffector" ..), each keeping its effector
// id. Connection 0 of an effector property is the effector, connections 1..14 its auxiliary
// effectors: a 16th connection is refused.
class OXA_API VOxaControlSetPlugProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    enum { eLinkPropertyCount = 187, eMaxEffectorConnections = 15 };

    explicit VOxaControlSetPlugProperties(VOxaControlSetPlug* owner);
    ~VOxaControlSetPlugProperties() override;

    VOxaObject* GetOwner() const override;
    // Forwarded to the plug's take-node PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;
    // Refuses a 16th source on an effector property; everything else as the base.
    bool ConnectNotify(int event, VPlug* plug, VPlug* other) override;

    void SetControlSetType(VOxaControlSet::EType type) { mControlSetType.SetValue(type); }
    VOxaControlSet::EType GetControlSetType() const { return mControlSetType.GetValue(); }
    void SetUseAxis(bool useAxis) { mUseAxis.SetValue(useAxis); }
    bool GetUseAxis() const { return mUseAxis.GetValue(); }

    // The link properties in id order and the effector properties in effector-id order; each
    // keeps its id as its user value.
    int GetLinkPropertyCount() const { return (int)mLinks.size(); }
    VPropertyObjectList* GetLinkProperty(int index) const;
    int GetEffectorPropertyCount() const { return (int)mEffectors.size(); }
    VPropertyObjectList* GetEffectorProperty(int index) const;
    // The link property of a node id, the effector property of an effector id; null when none.
    VPropertyObjectList* FindLinkProperty(int nodeId) const;
    VPropertyObjectList* FindEffectorProperty(int effectorId) const;

private:
    VOxaControlSetPlug* mOwner;
    VPropertyTemplate<bool> mUseAxis;
    VPropertyTemplate<VOxaControlSet::EType> mControlSetType;
    std::vector<VPropertyObjectList*> mLinks;
    std::vector<VPropertyObjectList*> mEffectors;
    short mLinkOfNodeId[VOxaControlSet::eNodeIdCount];
};

// The scene-level, connectable form of a control set (type code 12, names prefixed
// "ControlSetPlug::"): connecting a node's property block to one of its link or effector
// properties places the node in the control set. The plug itself stores no node.
class OXA_API VOxaControlSetPlug : public VOxaTakeNodeContainer {
public:
    // The block and the "Default" take.
    VOxaControlSetPlug(VOxaSdkManager* manager, const char* name);
    ~VOxaControlSetPlug() override;

    void Destroying() override;
    int GetTypeCode() const override { return 12; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    VOxaControlSetPlugProperties* GetProperties() const { return mProperties; }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    VError mError;
    VOxaControlSetPlugProperties* mProperties = nullptr;
};

#endif  // OXA_CHARACTER_VOXA_CONTROL_SET_PLUG_H
