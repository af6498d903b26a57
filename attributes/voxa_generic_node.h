#ifndef OXA_ATTRIBUTES_VOXA_GENERIC_NODE_H
#define OXA_ATTRIBUTES_VOXA_GENERIC_NODE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaGenericNode;
class VOxaSceneContents;

// The property block of a generic node. It declares no property of its own: everything a
// generic node carries are user properties created in it. A change of an animatable one is
// passed to the owner's take nodes.
class OXA_API VOxaGenericNodeProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaGenericNodeProperties(VOxaGenericNode* owner) : mOwner(owner) {}

    // The generic node.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

private:
    VOxaGenericNode* mOwner;
};

// A free-standing animatable scene object without fixed properties: its user properties live
// in its property block and their channels in its take nodes. The manager makes it (with the
// name as given, no prefix) and owns it; it lists itself with the scene contents it is given.
//
// Take errors go to its error object, whose one message is "Error".
class OXA_API VOxaGenericNode : public VOxaTakeNodeContainer {
public:
    // Adds the "Default" take (current).
    VOxaGenericNode(VOxaSdkManager* manager, const char* name);
    // Leaves its scene contents (every counted use), then destroys the property block.
    ~VOxaGenericNode() override;

    // The property block drops its connections and properties.
    void Destroying() override;
    int GetTypeCode() const override { return 10; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "GenericNode", and the one flag "GenericNode".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // Moves the node from its scene contents (if any) to `contents` (null: none); nothing when
    // it is there already. Always true.
    bool SetSceneContents(VOxaSceneContents* contents);
    VOxaSceneContents* GetSceneContents() const { return mSceneContents; }

    // The class id of the property block, which identifies generic nodes among connections.
    static int GetClassId() { return VOxaGenericNodeProperties::ClassInfo.GetId(); }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    VError mError;
    VOxaSceneContents* mSceneContents = nullptr;
    VOxaGenericNodeProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_GENERIC_NODE_H
