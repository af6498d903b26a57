#ifndef OXA_ATTRIBUTES_VOXA_VIDEO_H
#define OXA_ATTRIBUTES_VOXA_VIDEO_H

#include "base/verror.h"
#include "objects/voxa_property_handler.h"
#include "scene/voxa_take_node_container.h"

class VOxaVideo;

// The property block of a video. It keeps its owner video; a change of one of its animatable
// properties is passed to the owner's take nodes.
class VOxaVideoProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaVideoProperties(VOxaVideo* owner) : mOwner(owner) {}

    // The video.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

private:
    VOxaVideo* mOwner;
};

// A media clip (an image, or the frames of a clip) that textures show. The manager makes it
// (name prefix "Video::") and owns it. Take errors of every video go to one shared error
// object, whose one message is "Error".
class VOxaVideo : public VOxaTakeNodeContainer {
public:
    // `name` is the full name, "Video::" included. Adds the "Default" take (current).
    VOxaVideo(VOxaSdkManager* manager, const char* name);
    // Destroys the property block.
    ~VOxaVideo() override;

    // The property block drops its connections (to the nodes that use the video) and its
    // properties.
    void Destroying() override;
    int GetTypeCode() const override { return 5; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "Clip", and the one flag "Clip".
    VString GetTypeName() const override;
    VStringList GetTypeFlags() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    // The class id of the property block, which identifies videos among connections.
    static int GetClassId() { return VOxaVideoProperties::ClassInfo.GetId(); }

    VError& GetError() { return SharedError(); }
    int GetLastErrorID() const { return SharedError().GetLastErrorID(); }
    const char* GetLastErrorString() const { return SharedError().GetLastErrorString().Buffer(); }

private:
    static VError& SharedError();

    VOxaVideoProperties* mProperties = nullptr;
};

#endif  // OXA_ATTRIBUTES_VOXA_VIDEO_H
