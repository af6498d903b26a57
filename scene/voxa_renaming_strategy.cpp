#include "scene/voxa_renaming_strategy.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}
char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}
bool IsAsciiAlphanumeric(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

uint32_t HashExact(const char* text) {
    uint32_t h = 2166136261u;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        h = (h ^ *p) * 16777619u;
    return h;
}
uint32_t HashNoCase(const char* text) {
    uint32_t h = 2166136261u;
    for (const char* p = text; *p; ++p)
        h = (h ^ (unsigned char)AsciiUpper(*p)) * 16777619u;
    return h;
}
bool EqualNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (AsciiUpper(*a) != AsciiUpper(*b)) return false;
    }
    return *a == *b;
}

// The counter of a clash record after one more clash; it stays at the largest value rather
// than wrap.
int NextCounter(int counter) {
    return counter < INT_MAX ? counter + 1 : counter;
}

VString Decimal(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    return VString(text);
}

// The decimal digits right after the first `key` in `tail`; 0 without `key` or digits. A
// number beyond 32 bits reads as the largest 32-bit value.
unsigned ReadMask(const VString& tail, const char* key) {
    int at = tail.Find(key);
    if (at < 0) return 0;
    uint64_t value = 0;
    for (int i = at + 2; i < tail.GetLen() && tail[i] >= '0' && tail[i] <= '9'; ++i) {
        value = value * 10 + (uint64_t)(tail[i] - '0');
        if (value > UINT32_MAX) value = UINT32_MAX;
    }
    return (unsigned)value;
}

}  // namespace

// ---- Records ----------------------------------------------------------------------------------

void VRenamingRecords::Clear() {
    mRecords.clear();
    mGroups.clear();
    mExact.clear();
    mNoCase.clear();
    mExactCount = 0;
}

void VRenamingRecords::Place(std::vector<Slot>& slots, uint32_t hash, int position) {
    size_t mask = slots.size() - 1;
    size_t i = hash & mask;
    while (slots[i].mPosition >= 0)
        i = (i + 1) & mask;
    slots[i].mHash = hash;
    slots[i].mPosition = position;
}

void VRenamingRecords::Grow(std::vector<Slot>& slots) {
    std::vector<Slot> old;
    old.swap(slots);
    slots.assign(old.empty() ? 32 : old.size() * 2, Slot());
    for (const Slot& slot : old) {
        if (slot.mPosition >= 0) Place(slots, slot.mHash, slot.mPosition);
    }
}

int VRenamingRecords::FindExact(const char* name) const {
    if (mExact.empty() || !name) return -1;
    uint32_t h = HashExact(name);
    size_t mask = mExact.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
        const Slot& slot = mExact[i];
        if (slot.mPosition < 0) return -1;
        if (slot.mHash == h && std::strcmp(mRecords[(size_t)slot.mPosition].mName.Buffer(), name) == 0)
            return slot.mPosition;
    }
}

int VRenamingRecords::FindGroup(const char* name, uint32_t hash) const {
    if (mNoCase.empty()) return -1;
    size_t mask = mNoCase.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& slot = mNoCase[i];
        if (slot.mPosition < 0) return -1;
        const CaseGroup& group = mGroups[(size_t)slot.mPosition];
        if (slot.mHash == hash && EqualNoCase(mRecords[(size_t)group.mFirst].mName.Buffer(), name))
            return slot.mPosition;
    }
}

int VRenamingRecords::FindOtherCase(const char* name) const {
    if (!name) return -1;
    int g = FindGroup(name, HashNoCase(name));
    if (g < 0) return -1;
    // The records of a group in order begin with every record of the first spelling up to
    // the first record of the second one, so the first record spelt otherwise than `name` is
    // one of those two.
    const CaseGroup& group = mGroups[(size_t)g];
    if (std::strcmp(mRecords[(size_t)group.mFirst].mName.Buffer(), name) != 0) return group.mFirst;
    return group.mSecond;
}

int VRenamingRecords::Add(const char* name) {
    if (!name) name = "";
    int position = (int)mRecords.size();
    mRecords.push_back(Record{VString(name), 0});
    if (FindExact(name) >= 0) return position;  // a spelling met before: nothing new to index

    if ((mExactCount + 1) * 2 > mExact.size()) Grow(mExact);
    Place(mExact, HashExact(name), position);
    ++mExactCount;

    uint32_t h = HashNoCase(name);
    int g = FindGroup(name, h);
    if (g < 0) {
        if ((mGroups.size() + 1) * 2 > mNoCase.size()) Grow(mNoCase);
        mGroups.push_back(CaseGroup{position, -1});
        Place(mNoCase, h, (int)mGroups.size() - 1);
    } else if (mGroups[(size_t)g].mSecond < 0) {
        mGroups[(size_t)g].mSecond = position;
    }
    return position;
}

// ---- Numbering --------------------------------------------------------------------------------

VNumberRenamingStrategy::~VNumberRenamingStrategy() {
    Clear();
}

void VNumberRenamingStrategy::Clear() {
    mRecords.Clear();
}

bool VNumberRenamingStrategy::NumberName(VRenamingRecords& records, VOxaObjectName& name) {
    int found = records.FindExact(name.GetCurrent());
    if (found < 0) {
        records.Add(name.GetCurrent());
        return false;
    }
    VRenamingRecords::Record& record = records.Get(found);
    record.mCounter = NextCounter(record.mCounter);
    VString renamed = record.mName;
    renamed += record.mCounter;
    name.SetCurrent(renamed.Buffer());
    return true;
}

bool VNumberRenamingStrategy::Rename(VOxaObjectName& name) {
    return NumberName(mRecords, name);
}

VRenamingStrategy* VNumberRenamingStrategy::Clone() {
    return new VNumberRenamingStrategy();
}

// ---- Short names ------------------------------------------------------------------------------

VRenamingStrategy3DS::~VRenamingStrategy3DS() {
    mRecords3DS.Clear();
}

void VRenamingStrategy3DS::Clear() {
    mRecords3DS.Clear();
}

bool VRenamingStrategy3DS::Rename(VOxaObjectName& name) {
    return RenameToLength(name, 10);
}

bool VRenamingStrategy3DS::RenameToLength(VOxaObjectName& name, int limit) {
    VString current(name.GetCurrent());
    bool changed = false;
    int separator = current.Find("::");
    if (separator >= 0) {
        current = current.Mid(separator + 2);
        changed = true;
    }
    // A limit below 3 wraps to a huge length, which cuts nothing.
    unsigned keep = (unsigned)limit - 3u;
    if ((unsigned)current.GetLen() > keep) {
        current = current.Left((int)keep);
        changed = true;
    }
    if (changed) name.SetCurrent(current.Buffer());
    return NumberName(mRecords3DS, name);
}

VRenamingStrategy* VRenamingStrategy3DS::Clone() {
    return new VRenamingStrategy3DS();
}

// ---- Encoding for the plug-in -----------------------------------------------------------------

VOxaPluginRenamingStrategy::VOxaPluginRenamingStrategy(int direction, bool bracketFlag)
    : mDirection(direction), mBracketFlag(bracketFlag) {}

void VOxaPluginRenamingStrategy::SetClashMode(int mode) {
    if (mode == mClashMode) return;
    mRecords.Clear();
    mClashMode = mode;
}

void VOxaPluginRenamingStrategy::Clear() {}

bool VOxaPluginRenamingStrategy::Rename(VOxaObjectName& name) {
    return mDirection == 0 ? EncodeName(name) : DecodeName(name);
}

VRenamingStrategy* VOxaPluginRenamingStrategy::Clone() {
    return nullptr;
}

bool VOxaPluginRenamingStrategy::EncodeName(VOxaObjectName& name) {
    const char* current = name.GetCurrent();
    // The first record, in order, that clashes in a way the mode looks for. A record spelt
    // otherwise is a letter-case clash; one spelt alike an exact duplicate.
    int exact = mClashMode != eCaseClashes ? mRecords.FindExact(current) : -1;
    int otherCase = mClashMode != eExactDuplicates ? mRecords.FindOtherCase(current) : -1;

    bool changed = false;
    if (otherCase >= 0 && (exact < 0 || otherCase < exact)) {
        const VString& seen = mRecords.Get(otherCase).mName;
        // Bit k of a mask stands for character k; later characters are not encoded.
        unsigned upperToLower = 0;
        unsigned lowerToUpper = 0;
        const int length = seen.GetLen();
        for (int k = 0; k < length && k < 32; ++k) {
            if (seen[k] == current[k]) continue;
            if (seen[k] >= 'A' && seen[k] <= 'Z')
                upperToLower |= 1u << k;
            else
                lowerToUpper |= 1u << k;
        }
        VString renamed = seen + "_ncl2_";
        if (upperToLower != 0) renamed += "ul" + Decimal(upperToLower);
        if (lowerToUpper != 0) renamed += "lu" + Decimal(lowerToUpper);
        name.SetCurrent(renamed.Buffer());
        changed = true;
    } else if (exact >= 0) {
        VRenamingRecords::Record& record = mRecords.Get(exact);
        record.mCounter = NextCounter(record.mCounter);
        VString renamed = record.mName + "_ncl1_";
        renamed += record.mCounter;
        name.SetCurrent(renamed.Buffer());
        changed = true;
    }
    mRecords.Add(name.GetCurrent());
    return changed;
}

bool VOxaPluginRenamingStrategy::DecodeName(VOxaObjectName& name) {
    VString s(name.GetCurrent());
    bool changed = false;

    // Numbered form: Name_ncl1_<n>, or a name ending in a bracketed number.
    int p = s.Find("_ncl1_");
    int q = -1;
    bool cut = true;
    if (p < 0) {
        p = s.ReverseFind('(');
        q = s.ReverseFind(')');
        if (p >= 0 && q >= 0 && p < q) {
            for (int i = p + 1; i < q; ++i) {
                if (s[i] < '0' || s[i] > '9') {
                    cut = false;
                    break;
                }
            }
        }
    }
    if (cut && p > 0) {
        name.Set(s.Left(p).Buffer());
        if (mBracketFlag) {
            s[p] = '_';
            if (q > p) s[q] = '_';
        }
        name.SetCurrent(s.Buffer());
        changed = true;
    }

    // Case form: Name_ncl2_ul<mask>lu<mask>.
    int r = s.Find("_ncl2_");
    if (r < 0) {
        VString initial(name.GetInitial());
        VString current(name.GetCurrent());
        name.SetInitial(current.Buffer());
        name.SetCurrent(initial.Buffer());
    } else {
        VString tail = s.Mid(r);
        unsigned upperToLower = ReadMask(tail, "ul");
        unsigned lowerToUpper = ReadMask(tail, "lu");
        name.Set(s.Buffer());
        const int length = s.GetLen();
        for (int k = 0; k < 32 && k < length; ++k) {
            if (upperToLower & (1u << k)) s[k] = AsciiLower(s[k]);
        }
        for (int k = 0; k < 32 && k < length; ++k) {
            if (lowerToUpper & (1u << k)) s[k] = AsciiUpper(s[k]);
        }
        name.SetCurrent(s.Left(r).Buffer());
        changed = true;
    }

    VString current(name.GetCurrent());
    ReplaceNonAlphanumeric(current, "_");
    name.SetCurrent(current.Buffer());
    return changed;
}

VString& VOxaPluginRenamingStrategy::ReplaceNonAlphanumeric(VString& text, const char* replacement) {
    if (!replacement || !*replacement) return text;
    for (int i = 0, n = text.GetLen(); i < n; ++i) {
        if (!IsAsciiAlphanumeric(text[i])) text[i] = replacement[0];
    }
    return text;
}

// ---- Prefix stripping -------------------------------------------------------------------------

namespace {

VString& SharedStripBuffer() {
    static VString buffer;
    return buffer;
}

}  // namespace

const char* VOxaStripNamePrefixCStr(const char* text) {
    VString& buffer = SharedStripBuffer();
    if (!text) text = "";
    const char* separator = std::strstr(text, "::");
    // Copied aside first: `text` may point into the buffer (an earlier answer).
    VString result(separator ? separator + 2 : text);
    buffer = std::move(result);
    return buffer.Buffer();
}

const char* VOxaStripNamePrefix(const VString& text) {
    return VOxaStripNamePrefixCStr(text.Buffer());
}
