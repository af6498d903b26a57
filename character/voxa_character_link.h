#ifndef OXA_CHARACTER_VOXA_CHARACTER_LINK_H
#define OXA_CHARACTER_VOXA_CHARACTER_LINK_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>
#include <oxa/scene/voxa_node_limits.h>

class VOxaNode;
class VPropertyObjectList;

// What a character keeps for one body part (one character node id): the scene node playing it,
// the template (slot) name, the offsets and the rotation set-up. A record is empty when it has
// neither a node nor a template name.
//
// `mProperty` belongs to the slot the record lives in (the character's link property of that
// id), not to the value: copying never copies it.
class OXA_API VOxaCharacterLink {
public:
    // Every field at its default (Reset).
    VOxaCharacterLink();
    // A copy of `other`'s values, with no property.
    VOxaCharacterLink(const VOxaCharacterLink& other);
    // Copies every field but `mProperty`, which stays as it was.
    VOxaCharacterLink& operator=(const VOxaCharacterLink& other);

    // Back to the empty record: no node, empty name, offsets (0, 0, 0, 1) and scaling (1, 1,
    // 1, 1), no rotation space, limits off with zero vectors (0, 0, 0, 1), rotation order 0,
    // axis length 1, no property.
    void Reset();
    bool IsEmpty() const { return !mNode && mTemplateName.IsEmpty(); }

    VOxaNode* mNode = nullptr;
    VString mTemplateName;
    VgeTVector mOffsetT;
    VgeTVector mOffsetR;
    VgeTVector mOffsetS;
    VgeTVector mParentROffset;
    bool mHasRotSpace = false;
    VOxaLimits mRLimits;
    VgeTVector mPreRotation;
    VgeTVector mPostRotation;
    int mRotOrder = 0;
    double mAxisLen = 1.0;
    VPropertyObjectList* mProperty = nullptr;

private:
    void CopyValues(const VOxaCharacterLink& other);
};

#endif  // OXA_CHARACTER_VOXA_CHARACTER_LINK_H
