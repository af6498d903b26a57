#ifndef OXA_ATTRIBUTES_VOXA_POSE_H
#define OXA_ATTRIBUTES_VOXA_POSE_H

#include <string>
#include <unordered_map>

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/verror.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/voxa_property_handler.h>
#include <oxa/scene/voxa_take_node_container.h>

class VOxaPose;

// The property block of a pose: no declared properties; value changes of user properties go to
// the pose's take nodes.
class OXA_API VOxaPoseProperties : public VOxaPropertyHandler {
    VOBJECT_DECLARE_CLASS()
public:
    explicit VOxaPoseProperties(VOxaPose* owner) : mOwner(owner) {}

    // The pose.
    VOxaObject* GetOwner() const override;
    // Forwards to the owner's PropertyValueChanged.
    void PropertyValueChanged(VOxaUserProperty* userProperty) override;

private:
    VOxaPose* mOwner;
};

// A 4x4 matrix recorded for each of a set of nodes, named by node name: a bind pose ('b')
// records the nodes of a skin at binding time, a rest pose ('r') any other reference posture.
// A node name appears at most once per pose, and in the bind poses of one manager's scenes a
// node has one matrix (matrices compare equal within 1e-6 per element).
//
// The manager makes and destroys poses (name prefix "Pose::", type code 11); scenes list them.
// A pose has no take node: its property block declares nothing animatable. Conflicts are
// reported only by results; out-of-range queries answer "", the identity or false.
class OXA_API VOxaPose : public VOxaTakeNodeContainer {
public:
    // `name` is the full name; `isBindPose` chooses kind 'b' or 'r'.
    VOxaPose(VOxaSdkManager* manager, const char* name, bool isBindPose);
    // Deletes the entries, then the property block.
    ~VOxaPose() override;

    // The property block drops its connections and properties.
    void Destroying() override;
    int GetTypeCode() const override { return 11; }
    VOxaPropertyHandler* GetPropertyHandler() const override { return mProperties; }
    // "BindPose" or "RestPose"; no type flags.
    VString GetTypeName() const override;
    // The channels of every animatable property of the block.
    void CreateTakeNodeChannels(VOxaTakeNode* takeNode) override;
    // A handle made through the manager.
    VOxaUserProperty* CreateUserProperty(VProperty* property) override;

    bool IsBindPose() const { return mKind == 'b'; }
    bool IsRestPose() const { return mKind == 'r'; }

    // Records `matrix` for the node named `nodeName` (compared byte for byte) and answers the
    // entry's index. An entry of that name with an equal matrix is answered as it is; -1 (and
    // nothing added) when this pose, or for a bind pose any other bind pose of the manager's
    // scenes, holds the name with a different matrix, or for a null name.
    int Add(const char* nodeName, const VMatrix& matrix, bool local);
    // Removes the entry at `index`; nothing out of range.
    void Remove(int index);
    int GetCount() const { return mEntries.GetCount(); }
    // The entry's node name; "" out of range.
    const char* GetNodeName(int index) const;
    // Renames the entry; nothing for a null or empty name or out of range.
    void SetNodeName(int index, const char* name);
    // The entry's matrix; the identity out of range.
    const VMatrix& GetMatrix(int index) const;
    // Whether the matrix is local to the parent; false out of range.
    bool IsLocalMatrix(int index) const;
    // The index of the first entry named `nodeName` (byte for byte); -1 when none.
    int Find(const char* nodeName) const;

    // For every pose of every scene of `manager`, scene by scene and in pose order, appends the
    // pose and the index of `nodeName` in it to the two arrays when the pose holds the name.
    // True when anything was found. The Bind and Rest forms look at poses of that kind only.
    static bool GetPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                   VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices);
    static bool GetBindPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                       VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices);
    static bool GetRestPosesContaining(VOxaSdkManager* manager, const char* nodeName,
                                       VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices);

    static int GetClassId() { return VOxaPoseProperties::ClassInfo.GetId(); }

    VError& GetError() { return mError; }
    int GetLastErrorID() const { return mError.GetLastErrorID(); }
    const char* GetLastErrorString() const { return mError.GetLastErrorString().Buffer(); }

private:
    struct Entry {
        VString mNodeName;
        VMatrix mMatrix;
        bool mLocal;
    };
    // kind 0 any pose, 'b' bind poses, 'r' rest poses.
    static bool GetPosesOfKindContaining(VOxaSdkManager* manager, const char* nodeName, char kind,
                                         VArrayTemplate<VOxaPose*>& poses, VArrayTemplate<int>& indices);
    // The entry of `nodeName`, null when none.
    const Entry* FindEntry(const char* nodeName) const;

    VOxaPoseProperties* mProperties = nullptr;
    VError mError;
    char mKind;
    VArrayTemplate<Entry*> mEntries{16};
    // Node name -> index of its first entry, so that long poses are searched in constant time;
    // rebuilt on demand after a removal or a rename.
    mutable std::unordered_map<std::string, int> mIndex;
    mutable bool mIndexValid = true;
};

#endif  // OXA_ATTRIBUTES_VOXA_POSE_H
