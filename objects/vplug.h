#ifndef OXA_OBJECTS_VPLUG_H
#define OXA_OBJECTS_VPLUG_H

#include <memory>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/objects/vclass_info.h>
#include <oxa/objects/vconnection_list.h>

class VObject;

// The root interface of the object model: an interface query and destruction through the
// object itself.
class OXA_API IVObject {
public:
    virtual ~IVObject() = default;
    // This interface for id 0, null for any other id.
    virtual void* QueryInterface(int interfaceId);
    // Destroys the object (the base deletes it).
    virtual void Destroy();
};

// Marks the objects that receive notifications from the plugs they are connected to.
class OXA_API ICallback : public IVObject {};

// Events that a plug sends about its connections, in the order they come. Even codes go to the
// destination of the connection, odd codes to its source; the other plug is the one at the
// far end. A false answer to 0 or 1 refuses the connection.
enum EPlugEvent {
    ePlugAcceptSrc = 0,         // destination: accept this source?
    ePlugAcceptDst = 1,         // source: accept this destination?
    ePlugConnectingSrc = 2,     // destination, before connecting
    ePlugConnectingDst = 3,     // source, before connecting
    ePlugConnectedSrc = 4,      // destination, after connecting
    ePlugConnectedDst = 5,      // source, after connecting
    ePlugDisconnectingSrc = 6,  // destination, before disconnecting
    ePlugDisconnectingDst = 7,  // source, before disconnecting
    ePlugDisconnectedSrc = 8,   // destination, after disconnecting
    ePlugDisconnectedDst = 9,   // source, after disconnecting
};

// Plug flag word. A new plug has kPlugAcceptsSrc | kPlugIsSrc.
enum EPlugFlag {
    kPlugAcceptsSrc = 0x1,    // may get source connections
    kPlugIsSrc = 0x2,         // may be connected as a source
    kPlugFlag4 = 0x4,         // cleared by object-list properties together with the unused one
    kPlugFilteredChild = 0x8  // registered as a filtered child of its owner
};

// The connections of a plug as seen through a class filter: the accepted sources first, then
// the accepted destinations, each in connection order. The view belongs to its plug and is
// refreshed on access after the plug's connections changed; when memory runs out for that, the
// getters answer from the plug's own lists.
class OXA_API VFilteredPlug {
public:
    int GetSrcCount() const;
    VPlug* GetSrc(int index) const;
    int GetDstCount() const;
    VPlug* GetDst(int index) const;
    // Sources and destinations as one sequence, sources first.
    int GetCount() const { return GetSrcCount() + GetDstCount(); }
    VPlug* Get(int index) const;
    int GetClassId() const { return mClassId; }

private:
    friend class VPlug;
    VFilteredPlug(const VPlug* plug, int classId) : mPlug(plug), mClassId(classId) {}
    // False when memory ran out: the getters then walk the plug's own lists.
    bool Refresh() const;
    int CountDirect(bool srcSide) const;
    VPlug* FindDirect(bool srcSide, int index) const;
    // Follows the removal of `plug`, which was at `position` among the plug's sources
    // (`srcSide`) or destinations, without filtering the rest again.
    void Removed(bool srcSide, const VPlug* plug, int position);

    const VPlug* mPlug;
    int mClassId;
    // What the view has seen of its plug: after appends only, it filters just the new entries.
    mutable unsigned mStamp = ~0u;
    mutable unsigned mRemovalStamp = ~0u;
    mutable int mSrcSeen = 0;
    mutable int mDstSeen = 0;
    // The accepted entries of one side. Removals come mostly from the front (a parent's children
    // destroyed in the order they were made) or the back: a front removal moves the start
    // instead of every entry, and the unused front goes once it is half the storage.
    struct Accepted {
        std::vector<VPlug*> mItems;
        int mFront = 0;
        int Size() const { return (int)mItems.size() - mFront; }
        VPlug* At(int index) const { return mItems[(size_t)(mFront + index)]; }
        void Clear() {
            mItems.clear();
            mFront = 0;
        }
        void Append(VPlug* plug) { mItems.push_back(plug); }
        void Erase(int index);
    };
    mutable Accepted mSrc;
    mutable Accepted mDst;
};

// The base of every object of the object model: its class identity, its owner (the object it
// is a child plug of) and its connections. A plug keeps its source connections followed by its
// destination connections; connecting and disconnecting send the events of EPlugEvent to the
// plug's owner object (or to the plug itself when it is an object).
//
// Deleting a plug drops its remaining connections without events; disconnect first (VObject's
// Destroying does) when the far ends must hear of it.
class OXA_API VPlug : public ICallback {
public:
    static VClassInfo ClassInfo;
    static int ClassId;

    VPlug() = default;
    VPlug(const VPlug&) = delete;
    VPlug& operator=(const VPlug&) = delete;
    ~VPlug() override;

    // Class identity: the record of the object's class, its id and name, and the test that
    // answers true for the class's own id and every ancestor's.
    virtual const VClassInfo* GetClassInfo() const { return &ClassInfo; }
    int GetClassId() const { return GetClassInfo()->GetId(); }
    const char* GetClassName() const { return GetClassInfo()->GetName(); }
    virtual bool IsA(int classId) const { return GetClassInfo()->IsA(classId); }

    // The object this plug is a child of (null for a free plug).
    VObject* GetParentObject() const { return mOwner; }
    void SetParentObject(VObject* owner) { mOwner = owner; }

    int GetFlags() const { return mFlags; }
    void SetFlags(int flags) { mFlags = flags; }
    void SetFlag(int bits, bool on) { mFlags = on ? (mFlags | bits) : (mFlags & ~bits); }

    // Connects `src` as a source of this plug. Refused (false, nothing sent after the refusal)
    // for null or this plug itself, for a connection that exists already, when this plug does
    // not accept sources or `src` may not be a source, and when event 0 (to this plug) or 1 (to
    // src) is answered false. Otherwise sends 2 and 3, connects, sends 4 and 5 and answers
    // true. `type` is the caller's kind of connection; the plugs do not keep it. Memory that
    // runs out for the connection, or in a listener of 4 or 5 (std::bad_alloc), answers false,
    // counted as memory run out: the connection is not made, or removed again with 6 to 9 so
    // that the listeners undo what they did for it. Nothing is thrown.
    bool ConnectSrc(VPlug* src, int type = 0);
    // Removes the source connection to `src`: sends 6 and 7, removes, sends 8 and 9. False
    // (nothing sent) when `src` was not a source.
    bool DisconnectSrc(VPlug* src);
    // Removes every source and destination connection of this plug, with events.
    void DisconnectAll();

    bool IsConnectedSrc(const VPlug* src) const { return mLinks && mLinks->mSrc.Contains(src); }
    bool IsConnectedDst(const VPlug* dst) const { return mLinks && mLinks->mDst.Contains(dst); }
    int GetSrcCount() const { return mLinks ? mLinks->mSrc.GetCount() : 0; }
    // The source at `index` in connection order, null when out of range.
    VPlug* GetSrc(int index) const { return mLinks ? mLinks->mSrc.Get(index) : nullptr; }
    // The position of `src` among the sources, -1 when absent.
    int FindSrc(const VPlug* src) const { return mLinks ? mLinks->mSrc.Find(src) : -1; }
    int GetDstCount() const { return mLinks ? mLinks->mDst.GetCount() : 0; }
    VPlug* GetDst(int index) const { return mLinks ? mLinks->mDst.Get(index) : nullptr; }
    int FindDst(const VPlug* dst) const { return mLinks ? mLinks->mDst.Find(dst) : -1; }

    // Installs a class filter (null: none); with flag kPlugFilteredChild (8) the plug is also
    // marked a filtered child of its owner, without it that mark is cleared.
    void SetFilter(const VClassFilter* filter, int flag = 0);
    // The class id of the installed filter, -1 when none (or accept-all).
    int GetFilterClassId() const { return mFilterClassId; }

    // The view of this plug's connections through `filter` (null: accept all). The view is
    // kept by the plug and lives as long as the plug. Null when memory runs out making it.
    VFilteredPlug* GetFilteredPlug(const VClassFilter* filter) const;

protected:
    // Sends `event` about this plug with `other` at the far end: to the owner object's
    // ConnectNotify, or to the plug itself when it is an object. True when nobody listens.
    virtual bool Notify(int event, VPlug* other);
    // Changes whenever a connection of this plug is made or removed.
    unsigned GetConnectionStamp() const { return mLinks ? mLinks->mStamp : 0; }

private:
    friend class VFilteredPlug;

    // Takes `other` out of this plug's sources (`srcSide`) or destinations, moves the stamps and
    // keeps the views in step; false when it was not there.
    bool TakeConnection(bool srcSide, const VPlug* other);

    // The connections, their stamps and the filtered views. Most plugs (the properties of a
    // scene object above all) never get a connection nor a view: they carry a null pointer
    // instead, and the record is made on the first connection or view and kept from then on, so
    // that the stamps only ever move forward.
    struct Links {
        unsigned mStamp = 0;
        unsigned mRemovalStamp = 0;  // changes on removals only
        VConnectionList mSrc;
        VConnectionList mDst;
        std::vector<std::unique_ptr<VFilteredPlug>> mViews;
    };
    Links& GetLinks() const;

    VObject* mOwner = nullptr;
    int mFlags = kPlugAcceptsSrc | kPlugIsSrc;
    int mFilterClassId = -1;
    mutable std::unique_ptr<Links> mLinks;
};

#endif  // OXA_OBJECTS_VPLUG_H
