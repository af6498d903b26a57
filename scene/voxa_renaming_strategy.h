#ifndef OXA_SCENE_VOXA_RENAMING_STRATEGY_H
#define OXA_SCENE_VOXA_RENAMING_STRATEGY_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/objects/voxa_object.h>

// The names a renaming strategy has been shown, in the order they were added, each with its
// counter of clashes. Lookups by exact name and by name without regard to case are hashed, so
// a pass over n names costs O(n) however many of them clash; each lookup still answers the
// first record, in order, that a scan from the start would find.
class OXA_API VRenamingRecords {
public:
    struct Record {
        VString mName;
        int mCounter = 0;
    };

    int GetCount() const { return (int)mRecords.size(); }
    Record& Get(int index) { return mRecords[(size_t)index]; }
    const Record& Get(int index) const { return mRecords[(size_t)index]; }
    // Appends {name, 0}; answers its index.
    int Add(const char* name);
    // Drops every record.
    void Clear();
    // The first record whose name is exactly `name`, -1 when none.
    int FindExact(const char* name) const;
    // The first record whose name equals `name` without regard to letter case but differs
    // from it exactly, -1 when none.
    int FindOtherCase(const char* name) const;

private:
    // Records whose names are equal without regard to case: the first records of the first
    // two exact spellings met.
    struct CaseGroup {
        int mFirst = -1;
        int mSecond = -1;
    };
    // Open addressing over positions: mExact holds record positions, mGroups group positions.
    struct Slot {
        uint32_t mHash = 0;
        int mPosition = -1;
    };
    int FindGroup(const char* name, uint32_t hash) const;
    static void Place(std::vector<Slot>& slots, uint32_t hash, int position);
    static void Grow(std::vector<Slot>& slots);

    std::vector<Record> mRecords;
    std::vector<CaseGroup> mGroups;
    std::vector<Slot> mExact;
    std::vector<Slot> mNoCase;
    size_t mExactCount = 0;
};

// The base of the renaming strategies: an object shown the names of a scene's objects one
// after the other, which changes a name that clashes with one shown before. A strategy works
// on the pair {initial name, current name} of an object and reads and changes the current
// name. It is made for one pass; what it answers depends on every name shown before.
class OXA_API VRenamingStrategy {
public:
    VRenamingStrategy() = default;
    VRenamingStrategy(const VRenamingStrategy&) = delete;
    VRenamingStrategy& operator=(const VRenamingStrategy&) = delete;
    virtual ~VRenamingStrategy() = default;

    // Forgets the names shown so far.
    virtual void Clear() = 0;
    // Shows `name` to the strategy; true when its current name was changed.
    virtual bool Rename(VOxaObjectName& name) = 0;
    // A new strategy of the same class in its initial state (owned by the caller), or null.
    virtual VRenamingStrategy* Clone() = 0;
};

// Numbers clashing names: the second Cube becomes Cube1, the third Cube2. Names are compared
// byte for byte. A renamed name is not recorded, so a later Cube1 is not a clash.
class OXA_API VNumberRenamingStrategy : public VRenamingStrategy {
public:
    VNumberRenamingStrategy() = default;
    ~VNumberRenamingStrategy() override;

    void Clear() override;
    // A current name equal to one shown before becomes that name followed by its clash count
    // in decimal (true); any other name is recorded (false).
    bool Rename(VOxaObjectName& name) override;
    // A new, empty VNumberRenamingStrategy.
    VRenamingStrategy* Clone() override;

protected:
    // Rename over `records`.
    static bool NumberName(VRenamingRecords& records, VOxaObjectName& name);

    VRenamingRecords mRecords;
};

// Names for formats with short names: drops the type prefix (up to and including the first
// "::"), cuts the name, then numbers clashes as VNumberRenamingStrategy does, on records of
// its own.
class OXA_API VRenamingStrategy3DS : public VNumberRenamingStrategy {
public:
    VRenamingStrategy3DS() = default;
    ~VRenamingStrategy3DS() override;

    // Forgets the names shown through this class's operations.
    void Clear() override;
    // Cuts the name to 7 characters, then numbers it (RenameToLength with a limit of 10).
    bool Rename(VOxaObjectName& name) override;
    // Cuts the name to `limit` - 3 characters (compared as unsigned numbers, so a limit below
    // 3 cuts nothing), then numbers it. The cut happens whatever the answer; true only when
    // the name was numbered.
    bool RenameToLength(VOxaObjectName& name, int limit);
    // A new, empty VRenamingStrategy3DS.
    VRenamingStrategy* Clone() override;

private:
    VRenamingRecords mRecords3DS;
};

// Encodes clashes into names in a form that decoding undoes: an exact duplicate of Bone
// becomes Bone_ncl1_<count>; a name that differs from an earlier one only in letter case
// becomes the earlier name followed by "_ncl2_", then "ul" and the mask of the positions to
// make lower case, then "lu" and the mask of the positions to make upper case (each mask only
// when not 0; bit k stands for character k, and positions 32 and beyond are not encoded).
// Decoding restores the name as it was before encoding, with every character other than a
// letter or a digit replaced by "_", and keeps the full incoming name as the initial name.
class OXA_API VOxaPluginRenamingStrategy : public VRenamingStrategy {
public:
    enum EClashMode : int { eBothClashes = 0, eExactDuplicates = 1, eCaseClashes = 2 };

    // `direction` 0 encodes, any other value decodes. With `bracketFlag`, decoding turns the
    // "(" and ")" of a numbered name into "_" in the initial name. Clash mode 0.
    VOxaPluginRenamingStrategy(int direction, bool bracketFlag);
    ~VOxaPluginRenamingStrategy() override = default;

    // Which clashes encoding sees: 1 exact duplicates only, 2 letter-case clashes only, any
    // other value both. A mode other than the current one forgets the names shown.
    void SetClashMode(int mode);
    int GetClashMode() const { return mClashMode; }

    // Does nothing: the names shown are kept.
    void Clear() override;
    // EncodeName when the direction is 0, else DecodeName.
    bool Rename(VOxaObjectName& name) override;
    // Null: this strategy cannot be cloned.
    VRenamingStrategy* Clone() override;

    // Encodes a clash of the current name with a name shown before (true when it changed) and
    // records the current name as it then stands.
    virtual bool EncodeName(VOxaObjectName& name);
    // Undoes EncodeName on the current name; the initial name takes the full incoming name.
    // Characters other than letters and digits of the result are replaced by "_". True when a
    // numbered or case-encoded form was decoded.
    virtual bool DecodeName(VOxaObjectName& name);
    // Replaces every character of `text` that is not an ASCII letter or digit by the first
    // character of `replacement` and answers `text`. A null or empty replacement changes
    // nothing (a NUL byte would cut the text).
    virtual VString& ReplaceNonAlphanumeric(VString& text, const char* replacement);

private:
    int mDirection;
    int mClashMode = eBothClashes;
    VRenamingRecords mRecords;
    bool mBracketFlag;
};

// The text after the first "::" of `text` (the whole text when it holds none), copied into
// one buffer shared by both functions and answered; the buffer grows to hold any result, and
// the next call overwrites it. A null text answers "".
OXA_API const char* VOxaStripNamePrefix(const VString& text);
OXA_API const char* VOxaStripNamePrefixCStr(const char* text);

#endif  // OXA_SCENE_VOXA_RENAMING_STRATEGY_H
