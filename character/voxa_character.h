#ifndef OXA_CHARACTER_VOXA_CHARACTER_H
#define OXA_CHARACTER_VOXA_CHARACTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/verror.h>
#include <oxa/character/voxa_character_link.h>
#include <oxa/character/voxa_character_parameters.h>
#include <oxa/character/voxa_character_properties.h>
#include <oxa/character/voxa_constraint.h>
#include <oxa/character/voxa_control_set.h>

class VOxaNode;

// A character (type code 8, constraint type 7, names prefixed "Constraint::"): the mapping of
// the 191 body parts of the node catalogue (character node ids) onto scene nodes, each with
// its offsets, plus a control set, the solver parameter store, a property block and an input
// (the actor, character or control-set plug that drives it).
//
// A link slot holding a node is mirrored on the node by the character link {this, 0, id, 0};
// the link operations keep both sides in step, and a node that is destroyed leaves every slot
// of every character (links, control-set links, effectors, auxiliary effectors) that held it.
//
// Node ids come from files: outside 0..190 the link operations answer false and change
// nothing.
class OXA_API VOxaCharacter : public VOxaConstraint {
public:
    enum { eNodeIdCount = 191, eGroupCount = 12 };
    // What drives the character (through the property "SourceObject").
    enum EInputType : int { eInputActor = 0, eInputCharacter = 1, eInputControlSet = 2, eInputNone = 4 };

    // The empty links, the control set, the default parameters, the property block and the
    // "Default" take.
    VOxaCharacter(VOxaSdkManager* manager, const char* name);
    // Destroys the block, clears the links (the nodes forget this character) and the control
    // set.
    ~VOxaCharacter() override;
    // Names, input, every non-empty link (with its link property), the parameters' modes and
    // values, and the control set's type, links, effectors and first auxiliary effectors.
    // Lock flags, the use-axis flag and auxiliary effectors 2..14 are not copied.
    VOxaCharacter& operator=(const VOxaCharacter& other);

    int GetTypeCode() const override { return 8; }
    // "Character".
    VString GetTypeName() const override;
    // {"Character"}.
    VStringList GetTypeFlags() const override;
    int GetConstraintType() const override { return eCharacter; }

    // --- Links -------------------------------------------------------------------------------
    // False for an id outside 0..190 or an empty slot; else copies the slot into `link` (when
    // given).
    bool GetCharacterLink(int nodeId, VOxaCharacterLink* link) const;
    // Puts `link` (its values, not its property) into slot `nodeId`; the former node forgets
    // the link, the new one records it. With `updateProperty` the slot's link property is
    // connected to the new node's block (or emptied without node). False for a bad id, and with
    // the error set for a node of another manager or when memory runs out (nothing changed).
    bool SetCharacterLink(int nodeId, const VOxaCharacterLink& link, bool updateProperty = true);

    VOxaControlSet* GetControlSet() const { return mControlSet; }
    VOxaCharacterParameterStore* GetParameterStore() const { return mParameterStore; }
    VOxaCharacterProperties* GetProperties() const { return mProperties; }

    // --- Input -------------------------------------------------------------------------------
    // Connects `object`'s block as the only source object (and, for a character, as the only
    // "Character"; for a control-set plug, as the only "ControlSet"). Nothing for null, an
    // object without block, or a type that does not match the object's type code (0: 6,
    // 1: 8, 2: 12); nothing, with the error set, for an object of another manager or when
    // memory runs out.
    void SetInput(int inputType, VOxaObject* object);
    // By the type code of the first source object: 6 gives 0, 8 gives 1, 12 gives 2, else 4.
    int GetInputType() const;
    VOxaObject* GetInputObject() const;

    // --- Node catalogue (static) ---------------------------------------------------------------
    // Twelve groups of {node id, name, file version (4000 or 4500)}; ids 67 ("Reference"), 68,
    // 69, 88 and 89 are in none. Group and index come from files: outside the table the
    // getters answer 0, -1 or null.
    static int GetCharacterGroupCount(int group);
    static int GetCharacterGroupElementByIndex(int group, int index);
    static const char* GetCharacterGroupNameByIndex(int group, int index);
    static int GetCharacterGroupVersionByIndex(int group, int index);
    // The own-format block name of a group ("BASE" .. "RIGHTFOOT"); null outside 0..11.
    static const char* GetCharacterGroupBlockName(int group);
    // Searches groups 0, 1, ... (with `limit`, only up to the group passed in, at most 11) for
    // an entry named exactly `name`; fills `group` and `index`.
    static bool FindCharacterGroupIndexByName(const char* name, bool limit, int& group, int& index);
    static bool FindCharacterGroupIndexByElement(int nodeId, int& group, int& index);
    // The catalogue name ("Reference" for 67); false for ids without a name.
    static bool GetCharacterNodeNameFromNodeId(int nodeId, const char*& name);
    static bool GetCharacterNodeVersionFromNodeId(int nodeId, int& version);
    static bool GetCharacterNodeIdFromNodeName(const char* name, int& nodeId);

private:
    friend class VOxaCharacterProperties;
    friend class VOxaCharacterPose;
    static bool IsNodeId(int id) { return id >= 0 && id < eNodeIdCount; }
    // Resets the name the character was made with and every slot; the nodes forget the links;
    // then the control set is cleared.
    void ClearLinks();
    // A node is being destroyed: the slot behind its node-side link forgets it.
    static void ReleaseNodeLink(void* owner, VOxaNode* node, int kind, int index, int extra);
    // Copies the parameters' modes and values by name.
    void CopyParameters(const VOxaCharacterParameterStore& source);

    VError mCharacterError;
    VOxaCharacterLink mLinks[eNodeIdCount];
    VOxaControlSet* mControlSet = nullptr;
    VOxaCharacterParameterStore* mParameterStore = nullptr;
    VOxaCharacterProperties* mProperties = nullptr;
};

#endif  // OXA_CHARACTER_VOXA_CHARACTER_H
