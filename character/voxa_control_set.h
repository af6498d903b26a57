#ifndef OXA_CHARACTER_VOXA_CONTROL_SET_H
#define OXA_CHARACTER_VOXA_CONTROL_SET_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

class VOxaCharacter;
class VOxaControlSetPlug;
class VOxaNode;

// One control-set link: the node that drives one character node id and its template name.
// Empty when it has neither.
class OXA_API VOxaControlSetLink {
public:
    VOxaControlSetLink() : mTemplateName("") {}
    void Reset() {
        mNode = nullptr;
        mTemplateName = "";
    }
    bool IsEmpty() const { return !mNode && mTemplateName.IsEmpty(); }

    VOxaNode* mNode = nullptr;
    VString mTemplateName;
};

// One effector: its node and five flags. Reset: no node, shown, nothing active.
class OXA_API VOxaEffector {
public:
    void Reset() {
        mNode = nullptr;
        mShow = true;
        mTActive = false;
        mRActive = false;
        mCandidateTActive = false;
        mCandidateRActive = false;
    }

    VOxaNode* mNode = nullptr;
    bool mShow = true;
    bool mTActive = false;
    bool mRActive = false;
    bool mCandidateTActive = false;
    bool mCandidateRActive = false;
};

// The control rig of a character: which node drives each of the 191 character node ids, which
// node is the effector of each of the 44 effector ids, up to 14 auxiliary effectors per
// effector, and set-wide flags. Every character owns one; it is never shared.
//
// Every node it holds carries a node-side character link {character, kind, index, extra}:
// kind 1 with the node id for a link, kind 2 with the effector id for an effector, kind 3 with
// the effector id and the auxiliary index - 1 for an auxiliary effector. The setters keep both
// sides in step.
//
// Ids and indexes come from files: out of range, the setters and getters answer false and
// change nothing.
class OXA_API VOxaControlSet {
public:
    enum { eNodeIdCount = 191, eEffectorCount = 44, eAuxEffectorCount = 14 };
    // The control-set type; the values carry no names.
    enum EType : int { eTypeDefault = 0 };

    // `character` owns the set and is the owner of the node-side links.
    explicit VOxaControlSet(VOxaCharacter* character);
    VOxaControlSet(const VOxaControlSet&) = delete;
    VOxaControlSet& operator=(const VOxaControlSet&) = delete;
    // Clear: no node keeps a link to this set.
    ~VOxaControlSet();

    // Type 0, lock flags off, every link, effector and auxiliary effector emptied (their nodes
    // forget the links), the default effector flags again. The use-axis flag stays.
    void Clear();

    VOxaCharacter* GetCharacter() const { return mCharacter; }
    void SetType(int type) { mType = type; }
    int GetType() const { return mType; }
    void SetUseAxis(bool useAxis) { mUseAxis = useAxis; }
    bool GetUseAxis() const { return mUseAxis; }
    void SetLockXform(bool lock) { mLockXform = lock; }
    bool GetLockXform() const { return mLockXform; }
    void SetLockPick(bool lock) { mLockPick = lock; }
    bool GetLockPick() const { return mLockPick; }

    // The three setters below refuse (false, the character's error set, nothing changed) a node
    // of another manager than the character's: that manager would destroy it while the set
    // still named it.
    // An empty `link` empties the slot.
    bool SetControlSetLink(int nodeId, const VOxaControlSetLink& link);
    // False for an empty slot.
    bool GetControlSetLink(int nodeId, VOxaControlSetLink* link) const;
    // A null node resets the effector (shown, nothing active).
    bool SetEffector(int effectorId, VOxaNode* node, bool show, bool tActive, bool rActive,
                     bool candidateTActive, bool candidateRActive);
    // False when the effector has no node.
    bool GetEffector(int effectorId, VOxaEffector* effector) const;
    // The record itself, with or without a node (its flags are kept either way); null outside
    // 0..43.
    const VOxaEffector* GetEffectorRecord(int effectorId) const {
        return IsEffectorId(effectorId) ? &mEffectors[effectorId] : nullptr;
    }
    // `auxIndex` 1..14; a null node empties the slot.
    bool SetEffectorAux(int effectorId, VOxaNode* node, int auxIndex);
    // False when the slot is empty.
    bool GetEffectorAux(int effectorId, VOxaNode** node, int auxIndex) const;

    // "HipsEffector" .. "RightFootExtraFingerEffector"; null outside 0..43.
    static const char* GetEffectorNodeName(int effectorId);
    // The id of an effector name (exact); -1 when none.
    static int GetEffectorIdFromName(const char* name);

    // Clear, then the type, the use-axis flag, the links and the effectors from `plug`'s
    // properties. Only connected node blocks count: anything else connected gives no node.
    void FromPlug(VOxaControlSetPlug* plug);
    // Writes the type, the use-axis flag and the connections of every link and effector
    // property of `plug` from this set.
    void ToPlug(VOxaControlSetPlug* plug) const;

    // A node is being destroyed: the slot of this node-side link forgets it (no node-side
    // bookkeeping: the node's own list goes with it).
    void ForgetNode(VOxaNode* node, int kind, int index, int extra);

private:
    static bool IsNodeId(int id) { return id >= 0 && id < eNodeIdCount; }
    // False, with the character's error set, for a node of another manager than the character's.
    bool AcceptsNode(const VOxaNode* node) const;
    static bool IsEffectorId(int id) { return id >= 0 && id < eEffectorCount; }
    void ApplyDefaultEffectorFlags();

    VOxaCharacter* mCharacter;
    int mType = 0;
    bool mUseAxis = true;
    bool mLockXform = false;
    bool mLockPick = false;
    VOxaControlSetLink mLinks[eNodeIdCount];
    VOxaEffector mEffectors[eEffectorCount];
    VOxaNode* mAuxEffectors[eEffectorCount][eAuxEffectorCount] = {};
};

#endif  // OXA_CHARACTER_VOXA_CONTROL_SET_H
