#ifndef OXA_SCENE_VOXA_NODE_ATTRIBUTE_H
#define OXA_SCENE_VOXA_NODE_ATTRIBUTE_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>

class VOxaNode;
class VOxaSdkManager;
class VOxaTakeNode;
class VProperty;

// The base of what a node carries to say what it is (null, marker, skeleton, mesh, NURBS,
// patch, camera, camera switcher, light, optical reference). A node holds at most one
// attribute and an attribute belongs to at most one node; the manager makes and destroys them.
//
// An attribute with animated values keeps them as channels of its node's takes: it adds them
// to every take when it joins a node (SetNode) and removes them when it leaves (UnsetNode).
// The node calls those two; users attach with VOxaNode::SetNodeAttribute.
class OXA_API VOxaNodeAttribute {
public:
    // Attribute type codes (GetAttributeType). 4, 5 and 6 are the geometries.
    enum EAttributeType : int {
        eShape = 0,
        eNull = 1,
        eMarker = 2,
        eSkeleton = 3,
        eMesh = 4,
        eNurb = 5,
        ePatch = 6,
        eCamera = 7,
        eCameraSwitcher = 8,
        eLight = 9,
        eOpticalReference = 10,
    };

    explicit VOxaNodeAttribute(VOxaSdkManager* manager) : mManager(manager) {}
    VOxaNodeAttribute(const VOxaNodeAttribute&) = delete;
    VOxaNodeAttribute& operator=(const VOxaNodeAttribute&) = delete;

    virtual int GetAttributeType() const = 0;
    virtual ~VOxaNodeAttribute() = default;
    // Keeps `node`, then adds the attribute's channels to each of its takes in order.
    virtual void SetNode(VOxaNode* node);
    // When attached: removes the channels from each take of the node, then forgets the node.
    virtual void UnsetNode();
    // Adds or removes the attribute's channels in one take; nothing in the base.
    virtual void AddChannels(VOxaTakeNode* takeNode);
    virtual void RemoveChannels(VOxaTakeNode* takeNode);
    // True when AddChannels makes its channels from the attribute's own state at the time and
    // changes nothing else (no links, no property written), so that a node's default take whose
    // channels are made later gets the same channels; true in the base, which adds none.
    virtual bool AddsChannelsFromStateOnly() const { return true; }
    // The same for `attribute`; true for none.
    static bool AddsChannelsFromStateOnly(const VOxaNodeAttribute* attribute);
    // Appends the attribute's properties to the node's property array; nothing in the base.
    virtual void CollectChannels(VArrayTemplate<VProperty*>& properties);
    // The names the own-format writer records for the attribute; empty in the base.
    virtual VString GetTypeName() const { return VString(""); }
    virtual VStringList GetTypeFlags() const { return VStringList(); }

    VOxaNode* GetNode() const { return mNode; }
    VOxaSdkManager* GetSdkManager() const { return mManager; }

    // True for the type codes of geometries (mesh, NURBS, patch).
    static bool IsGeometryType(int type) { return type == eMesh || type == eNurb || type == ePatch; }

private:
    VOxaNode* mNode = nullptr;
    VOxaSdkManager* mManager;
};

#endif  // OXA_SCENE_VOXA_NODE_ATTRIBUTE_H
