#ifndef OXA_SCENE_VOXA_TAKE_NODE_CONTAINER_H
#define OXA_SCENE_VOXA_TAKE_NODE_CONTAINER_H

#include <cstdint>
#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/base/vtime.h>
#include <oxa/objects/voxa_object.h>

class VFCurve;
struct VFCurveEvent;
class VFCurveNode;
class VDataType;
class VProperty;
class VOxaTakeNode;
class VOxaTakeNodeContainer;

// The link between one component of a property and the curve of the default take that mirrors
// it: a change of the curve's default value is written into the property.
struct OXA_API VOxaChannelLink {
    VProperty* mProperty;
    int mComponent;  // 0 for a one-component property, 0..3 otherwise
    VFCurve* mCurve;
    VOxaTakeNodeContainer* mContainer;
};

// The base of every animatable scene object (node, texture, material, video, deformer, generic
// node, control-set plug, constraint, character): one take node per take, index 0 being the
// default take "Default", and the index of the current take.
//
// The default take mirrors the object's animatable properties: each of its channel curves is
// linked to one component of one property. A changed default value of such a curve is written
// into the property; a changed property value is written into the defaults of the current and
// the default take without echo (the curves' callbacks do not see that write). Other takes
// hold animation only, and are made as copies of the default take.
//
// Take names are compared byte for byte. Every failure sets error id 0 with one of the texts
// "Take node already exists", "Take node does not exist", "Cannot remove default take node",
// "Unknown take node name", "Index out of range" on the error object given to the constructor,
// and answers null or false.
class OXA_API VOxaTakeNodeContainer : public VOxaObject {
public:
    // `error` is the derived object's error object (not owned); it must outlive the container.
    VOxaTakeNodeContainer(VOxaSdkManager* manager, const char* name, VError* error);
    VOxaTakeNodeContainer(const VOxaTakeNodeContainer&) = delete;
    ~VOxaTakeNodeContainer() override;

    // Copies the names (as VOxaObject does), replaces every take by a copy of the other's takes
    // and copies the current index. The copied default take is then linked to this object's
    // properties, which take its default values.
    VOxaTakeNodeContainer& operator=(const VOxaTakeNodeContainer& other);

    int GetTypeCode() const override = 0;

    // --- Takes ------------------------------------------------------------------------------
    // Appends a take named `name`: a copy of the default take when there is one, else a fresh
    // take filled by CreateTakeNodeChannels. Null when a take bears the name already. The
    // current index is not changed.
    VOxaTakeNode* AddTakeNode(const char* name);
    // AddTakeNode("Default"), then makes index 0 current (also when the add failed).
    VOxaTakeNode* AddDefaultTakeNode();
    // Deletes every take, then AddDefaultTakeNode.
    VOxaTakeNode* ResetTakeNodes();
    // A take removed or deleted while a callback or listener runs leaves the list at once and is
    // freed when the library's work under way ends.
    // Removes and deletes the take at `index` (never index 0). The current index moves one
    // down when it was the removed one.
    bool RemoveTakeNode(int index);
    // Removes and deletes the first take named `name` (never index 0); the current index is
    // left as it is.
    bool RemoveTakeNode(const char* name);
    int GetTakeNodeCount() const { return (int)mTakeNodes.size(); }
    VOxaTakeNode* GetTakeNode(int index) const;
    const char* GetTakeNodeName(int index) const;
    // The take at index 0, null when none (no error).
    VOxaTakeNode* GetDefaultTakeNode() const;
    VOxaTakeNode* GetCurrentTakeNode() const;
    const char* GetCurrentTakeNodeName() const;
    // The stored index, unchecked (-1 until a take was made current).
    int GetCurrentTakeNodeIndex() const { return mCurrentTakeNode; }
    // Makes take `index` current; out of range: "Index out of range", index 0, false.
    virtual bool SetCurrentTakeNode(int index);
    // Makes the first take named `name` current; none: "Unknown take node name", index 0, false.
    virtual bool SetCurrentTakeNode(const char* name);
    // Widens (start, stop) with the key range of the current take; false, the pair untouched,
    // without a current take or keys.
    virtual bool GetAnimationInterval(VTime& start, VTime& stop);
    // True when a take other than the default one has keys on the named curve. The default take
    // is not asked; with one take, false.
    bool IsChannelAnimatedInAnyTake(const char* objectName, const char* channelName,
                                    const char* componentName);
    bool IsChannelAnimatedInAnyTakeByDataType(const char* objectName, const char* channelName,
                                              const VDataType* dataType);

    // Fills a fresh take with the object's channels.
    virtual void CreateTakeNodeChannels(VOxaTakeNode* takeNode) = 0;
    // True while the default take's channels are still to be made (see DeferDefaultChannels).
    bool HasDeferredDefaultChannels() const;
    // Makes them now when they are still to be made (before a change they would not follow).
    void MakeDeferredDefaultChannels() const;
    // Makes a user-property handle bound to `property` (through the manager).
    virtual VOxaUserProperty* CreateUserProperty(VProperty* property) = 0;

    // --- Properties and channels ------------------------------------------------------------
    // Gives every property of the property handler that has no handle on this object yet a
    // handle (CreateUserProperty), adds it (PropertyAdded runs) and makes the handler its
    // change listener.
    //
    // An object being made under a manager, without handles yet, while its default channels are
    // deferred (DeferDefaultChannels, so that adding a handle makes no channel) leaves the
    // handles to be made when its list is first used: each handle costs memory, and most
    // objects a reader makes never have theirs asked for. Only what the adds would have done to
    // the properties is done now (animatable ones are marked animated). The handles are then
    // made through the manager's CreateUserProperty, in the manager's order: whenever the
    // handles of one object are made, those every object left earlier are made first, and the
    // manager makes all of them before it lists any other handle or looks one up. The manager's
    // handle list and count thus always read as if the handles had been made with the objects.
    void CreatePropertyHandles();
    // Creates the channel of the animatable `property` in `takeNode` unless the root has a
    // child of that name already; links it on the default take ("Default" in any case) and sets
    // its defaults from the property.
    void CreatePropertyChannels(VProperty* property, VOxaTakeNode* takeNode);
    // A handle was added: binds it when unbound, and for an animatable one makes (or finds) its
    // channel in every take, linking it on the default take.
    void PropertyAdded(VOxaUserProperty* userProperty) override;
    // A handle is being removed: its channel leaves every take, then its property is destroyed.
    void PropertyRemoved(VOxaUserProperty* userProperty) override;
    // The value of the property bound to `userProperty` changed: the defaults of its channel in
    // the current and the default take follow, without echo.
    void PropertyValueChanged(VOxaUserProperty* userProperty);
    // Sets the default take's channel defaults from the properties (after a file was read).
    void UpdateDefaultTakeFromProperties();

    // Links each channel curve of the default take that is not linked yet to the component of
    // the property of the same name (after takes were copied, or curves replaced by a filter).
    // With `takeDefaults` the properties also take the curves' default values.
    void LinkDefaultTake(bool takeDefaults);
    // Links component `component` of `property` to `curve` (nothing for a null property or
    // curve).
    void AddChannelLink(VProperty* property, int component, VFCurve* curve);
    // Removes `link` when it is one of this container's, and sets the caller's pointer to null.
    void RemoveChannelLink(VOxaChannelLink*& link);
    void RemoveAllChannelLinks();
    // The links of the default take's channels (made first when they were deferred).
    int GetChannelLinkCount() const;
    VOxaChannelLink* GetChannelLink(int index) const;

    // "T", "R", "S" for the three local transform properties; any other name unchanged.
    static const char* GetChannelName(const char* propertyName);

    // The error object given to the constructor.
    VError* GetTakeError() const { return mError; }

protected:
    // Takes the channel of `property` out of every take and drops the links that write to it
    // (what PropertyRemoved does before the property goes).
    void DropPropertyChannels(const char* propertyName, const VProperty* property);
    // For the constructor of a class that owns a property block: runs `build` (the default take and
    // the defaults) and, when memory runs out part way, drops the take's links and the block before
    // passing the failure on; the destructor does not run for an object whose constructor threw.
    template <class Block, class Build>
    void BuildOrRelease(Block* block, Build build) {
        try {
            build();
        } catch (...) {
            RemoveAllChannelLinks();
            block->Destroy();
            throw;
        }
    }
    // Makes the handles CreatePropertyHandles left to be made (see there).
    void MakePendingHandles() const override;
    // Leaves the manager's list of objects whose handles are still to be made, without making
    // them (the object is going). The manager keeps counting them, as it kept the handles of an
    // object deleted without it.
    void ReleasePendingHandles();

    // While set, a default take made by AddTakeNode leaves its channels to be made when its
    // tree is first asked for, and handles added meanwhile do not make it. For the constructor
    // of an object that keeps, until then, the defaults those channels would hold.
    void DeferDefaultChannels(bool defer) { mDeferDefaultChannels = defer; }

    // Writes the property's value into the defaults of `channel` without echo.
    static void SetChannelDefaultsFromProperty(VFCurveNode* channel, VProperty* property);
    // The same from a handle, creating the curves (or components) the channel lacks.
    static void SetChannelDefaultsFromUserProperty(VFCurveNode* channel, VOxaUserProperty* userProperty);

private:
    // Empties the take list, then deletes the takes, last first.
    void DeleteTakeNodes();
    friend class VOxaTakeNode;
    friend class VOxaSdkManager;
    // Makes the handles the manager finds still to be made for this object (the manager has
    // taken it out of its list already).
    void MakeDeferredHandles();
    // True when adding a bound handle makes no channel: every take defers its channels, and
    // the object has them deferred (see PropertyAdded).
    bool AddsNoChannels() const;
    // Makes the channels of `take`, whose making was deferred.
    void FillDeferredChannels(VOxaTakeNode* take) { CreateTakeNodeChannels(take); }
    static void OnChannelCurveEvent(VFCurve* curve, VFCurveEvent* event, void* data);
    // Writes `value` into the linked component of the link's property.
    static void WriteLinkedProperty(const VOxaChannelLink* link, double value);
    void SetTakeError(const char* text) const;
    VOxaChannelLink* NewChannelLink(VProperty* property, int component, VFCurve* curve);
    void FreeChannelLink(VOxaChannelLink* link);

    std::vector<VOxaTakeNode*> mTakeNodes;
    std::vector<VOxaChannelLink*> mChannelLinks;
    // The first links share one allocation, made with the first link: a node links its ten
    // transform and visibility curves at once when its default take is filled, and most nodes
    // a reader makes never have it filled. A set bit of the mask marks a slot in use.
    static constexpr int kLocalLinks = 12;
    std::unique_ptr<VOxaChannelLink[]> mLocalLinks;
    uint32_t mLocalLinksUsed = 0;
    int mCurrentTakeNode = -1;
    bool mDeferDefaultChannels = false;
    VError* mError;
};

#endif  // OXA_SCENE_VOXA_TAKE_NODE_CONTAINER_H
