#ifndef OXA_CHARACTER_VOXA_CHARACTER_POSE_H
#define OXA_CHARACTER_VOXA_CHARACTER_POSE_H

#include <oxa/base/oxa_export.h>
#include <oxa/objects/voxa_object.h>

class VOxaCharacter;
class VOxaNode;
class VOxaScene;

// A posed character kept apart from the main scene (type code 9, names prefixed "Pose::"): a
// private scene, made and destroyed through the manager, holding a node tree and one character
// "PoseCharacter" whose links point into that tree.
class OXA_API VOxaCharacterPose : public VOxaObject {
public:
    // The private scene with its "PoseCharacter".
    VOxaCharacterPose(VOxaSdkManager* manager, const char* name);
    VOxaCharacterPose(const VOxaCharacterPose&) = delete;
    // Destroys the private scene's characters and the scene with its nodes.
    ~VOxaCharacterPose() override;

    // Copies the names, clones the other pose's node tree below this root (nothing is removed
    // first) and copies its character with every node reference moved to the node of the same
    // name in this tree. Assigning a pose to itself does nothing.
    VOxaCharacterPose& operator=(const VOxaCharacterPose& other);

    int GetTypeCode() const override { return 9; }

    // The private scene's root node; null without a scene.
    VOxaNode* GetRootNode() const;
    // Character 0 of the private scene; null when there is none.
    VOxaCharacter* GetCharacter() const;

private:
    friend class VOxaSdkManager;

    void Reset();
    // Destroys the pose's scene with its characters.
    void ReleaseScene();
    // The manager deleted the private scene (it is deleting every object).
    void ForgetScene() { mScene = nullptr; }

    VOxaScene* mScene = nullptr;
};

#endif  // OXA_CHARACTER_VOXA_CHARACTER_POSE_H
