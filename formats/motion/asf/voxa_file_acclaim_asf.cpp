#include "formats/motion/asf/voxa_file_acclaim_asf.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "base/vge_euler.h"
#include "base/vge_matrix.h"
#include "formats/motion/asf/voxa_asf_scene.h"

namespace {

const VTextFile::Keyword kTopWords[] = {
    {":version", 0}, {":name", 0},     {":units", 0},     {":documentation", 0},
    {":root", 0},    {":bonedata", 0}, {":hierarchy", 0}, {":skin", 0},
    {":", 0},        {"", 0}};
enum { kVersion, kName, kUnits, kDocumentation, kRoot, kBoneData, kHierarchy, kSkin, kOther };

const VTextFile::Keyword kUnitWords[] = {{"mass", 0}, {"length", 0}, {"angle", 0}, {"", 0}};
const VTextFile::Keyword kAngleWords[] = {{"deg", 0}, {"rad", 0}, {"", 0}};
const VTextFile::Keyword kRootWords[] = {
    {"axis", 0}, {"order", 0}, {"position", 0}, {"orientation", 0}, {"", 0}};
const VTextFile::Keyword kBeginEnd[] = {{"begin", 0}, {"end", 0}, {"", 0}};
const VTextFile::Keyword kBoneWords[] = {{"id", 0},      {"name", 0}, {"direction", 0}, {"length", 0},
                                         {"axis", 0},    {"dof", 0},  {"limits", 0},    {"bodymass", 0},
                                         {"cofmass", 0}, {"", 0}};
enum { kId, kBoneName, kDirection, kLength, kAxis, kDof, kLimits, kBodyMass, kCofMass };

// The order words and their rotation-order codes (4 x first axis + 2 x parity, first applied
// first). The four mixed words do not keep their letters: "xzy" is code 6 (y, x, z), "yxz" 2
// (x, z, y), "yzx" 8 (z, x, y) and "zxy" 4 (y, z, x). Stored files rely on this table; our writer
// only writes "xyz".
const VTextFile::Keyword kOrderWords[] = {{"zyx", 0}, {"xzy", 0}, {"yxz", 0}, {"yzx", 0},
                                          {"zxy", 0}, {"xyz", 0}, {"", 0}};
const int kOrderCodes[] = {10, 6, 2, 8, 4, 0};

// The dof words, in the order of their codes (EAsfDof).
const VTextFile::Keyword kDofWords[] = {{"tx", 0}, {"ty", 0}, {"tz", 0}, {"rz", 0},
                                        {"ry", 0}, {"rx", 0}, {"", 0}};

constexpr double kCentimetresPerInch = 2.54;

// Bits of the bone fields seen between "begin" and "end".
enum : unsigned { kSeenName = 1, kSeenDirection = 2, kSeenLength = 4 };

}  // namespace

VOxaFileAcclaimAsf::VOxaFileAcclaimAsf(bool diagnostics) : VAcclaimTextFile("ASF", diagnostics) {}

int VOxaFileAcclaimAsf::OrderCode(const char* token) {
    const int k = FindWord(kOrderWords, token);
    return k < 0 ? -1 : kOrderCodes[k];
}

int VOxaFileAcclaimAsf::DofCode(const char* token) {
    return FindWord(kDofWords, token);
}

const char* VOxaFileAcclaimAsf::DofName(int code) {
    return code >= 0 && code < 6 ? kDofWords[code].word : "";
}

AsfBone* VOxaFileAcclaimAsf::Lookup(const char* name) const {
    auto it = mByName.find(name);
    return it == mByName.end() ? nullptr : it->second;
}

AsfBone* VOxaFileAcclaimAsf::EnsureRoot() {
    if (AsfBone* root = mScene->GetRootBone()) return root;
    std::unique_ptr<AsfBone> made(new AsfBone());
    made->mName = "root";
    AsfBone* root = made.release();
    mScene->SetRootBone(root);  // the skeleton's from here on
    mByName.emplace("root", root);
    return root;
}

// ---- reading ----

bool VOxaFileAcclaimAsf::Read(VOxaAsfScene* scene, bool simplify) {
    ClearMessages();
    if (!scene || !mFile) return false;
    mScene = scene;
    mByName.clear();
    mBoneCount = 0;
    if (AsfBone* root = scene->GetRootBone()) mByName.emplace(root->mName.Buffer(), root);
    Restart();
    bool ok = true;
    if (IsAtEnd())
        ok = Error(GetLineNumber() == 0 ? "the file is empty\n"
                                        : "the file holds nothing but blank and comment lines\n");
    while (ok && !IsAtEnd()) {
        switch (MatchKeyword(kTopWords)) {
            case kVersion:
                ReadVersion();
                ReadNextLine();
                break;
            case kName:
                ReadName();
                ReadNextLine();
                ReadUnitsLines();
                break;
            case kUnits:
                if (!AtLineEnd()) ReadUnitsLine();
                ReadNextLine();
                ReadUnitsLines();
                break;
            case kDocumentation:
            case kSkin:
                ReadNextLine();
                SkipSection();
                break;
            case kRoot:
                ok = ReadRoot();
                break;
            case kBoneData:
                ok = ReadBoneData();
                break;
            case kHierarchy:
                ok = ReadHierarchy();
                break;
            default:
                Warning("Ignoring unknown keyword (:%s)\n", GetCursor());
                ReadNextLine();
                SkipSection();
                break;
        }
    }
    mScene = nullptr;
    mByName.clear();
    if (!ok) return false;
    if (!scene->GetRootBone()) return Error("Missing :root section\n");
    if (!scene->Complete()) return Error("Bone hierarchy deeper than %d levels\n", VOxaAsfScene::kMaxDepth);
    if (simplify) scene->Collapse();
    return true;
}

void VOxaFileAcclaimAsf::SkipSection() {
    while (!IsAtEnd() && !AtKeywordLine())
        ReadNextLine();
}

bool VOxaFileAcclaimAsf::ReadVersion() {
    double version = 0.0;
    if (!ReadDouble(version)) {
        Warning("Can't read file format version (%s), trying version 1.10\n", GetCursor());
        return false;
    }
    const double hundred = version * 100.0;
    if (!(std::fabs(hundred) < 1e9) || (int)hundred != 110) {
        Warning("Bad File format version (%f), trying 1.10\n", version);
        return false;
    }
    return true;
}

void VOxaFileAcclaimAsf::ReadName() {
    char name[AsfBone::kMaxNameLength + 1];
    if (!ReadToken(name, AsfBone::kMaxNameLength)) {
        mScene->SetName("Untitled");
        Warning("Can't read skeleton name, using \"%s\"\n", "Untitled");
        return;
    }
    mScene->SetName(name);
}

void VOxaFileAcclaimAsf::ReadUnitsLine() {
    double value = 0.0;
    switch (MatchKeyword(kUnitWords)) {
        case 0:
            if (ReadDouble(value))
                mScene->SetMassUnit(value);
            else
                Warning("Can't read mass unit, using %f\n", mScene->GetMassUnit());
            break;
        case 1:
            // A unit of 0, below 0 or not finite would make every length infinite: it counts as
            // unreadable and the unit is kept.
            if (!ReadDouble(value) || !mScene->SetLengthUnit(value))
                Warning("Can't read length unit, using %f\n", mScene->GetLengthUnit());
            break;
        case 2: {
            char word[16];
            const int k = ReadToken(word, 15) ? FindWord(kAngleWords, word) : -1;
            if (k == 1) {
                mScene->SetAngleFactor(VOxaAsfScene::kRadiansFactor);
            } else {
                mScene->SetAngleFactor(1.0);
                if (k != 0) Warning("Unknown angle unit, using default (deg)\n");
            }
            break;
        }
        default:
            Warning("Unknown unit token\n");
            break;
    }
}

void VOxaFileAcclaimAsf::ReadUnitsLines() {
    while (!IsAtEnd() && !AtKeywordLine()) {
        ReadUnitsLine();
        ReadNextLine();
    }
}

bool VOxaFileAcclaimAsf::ReadRoot() {
    AsfBone* root = EnsureRoot();
    const double lengthFactor = kCentimetresPerInch / mScene->GetLengthUnit();
    // The root's orientation turns about the axes in the letters of its "axis" word, first letter
    // first, each by the orientation angle of its letter (x, y, z in the file).
    int letters[3] = {0, 1, 2};
    ReadNextLine();
    for (;;) {
        if (IsAtEnd()) return Error("Unexpected end of file\n");
        if (AtKeywordLine()) break;
        char token[64];
        switch (MatchKeyword(kRootWords)) {
            case 0: {
                const int code = ReadToken(token, 63) ? OrderCode(token) : -1;
                if (code < 0) return Error("Unknown rotation order\n");
                for (int k = 0; k < 3; ++k)
                    letters[k] = std::tolower((unsigned char)token[k]) - 'x';
                break;
            }
            case 1:
                root->mDofCount = 0;
                while (ReadToken(token, 63)) {
                    const int code = DofCode(token);
                    if (code < 0) break;
                    root->AddDof(code);  // more than six are ignored
                }
                break;
            case 2:
                // The position is a length like any other: file units to centimetres.
                if (!ReadVector3(root->mOffset, lengthFactor) ||
                    !(std::fabs(root->mOffset[0]) <= VOxaAsfScene::kMaxMagnitude &&
                      std::fabs(root->mOffset[1]) <= VOxaAsfScene::kMaxMagnitude &&
                      std::fabs(root->mOffset[2]) <= VOxaAsfScene::kMaxMagnitude)) {
                    root->mOffset[0] = root->mOffset[1] = root->mOffset[2] = 0.0;
                    Warning("Can't read position, using 0.0 0.0 0.0\n");
                }
                break;
            case 3:
                // Angles in the unit of ":units angle", kept in degrees.
                if (!ReadVector3(root->mAxisAngles, mScene->GetAngleFactor())) {
                    root->mAxisAngles[0] = root->mAxisAngles[1] = root->mAxisAngles[2] = 0.0;
                    Warning("Can't read orientation, using 0.0 0.0 0.0\n");
                }
                break;
            default:
                Warning("Unknown %s token (%s)\n", ":root", GetCursor());
                break;
        }
        ReadNextLine();
    }
    // The rotation-order codes (first applied first) by first and second letter.
    static const int kLetterCodes[3][3] = {{-1, 0, 2}, {6, -1, 4}, {8, 10, -1}};
    const double angles[3] = {root->mAxisAngles[0], root->mAxisAngles[1], root->mAxisAngles[2]};
    root->mAxisOrder = kLetterCodes[letters[0]][letters[1]];
    for (int k = 0; k < 3; ++k)
        root->mAxisAngles[k] = angles[letters[k]];
    root->BuildAxis();
    mScene->TreeChanged();
    return true;
}

bool VOxaFileAcclaimAsf::ReadBoneLine(AsfBone* bone, unsigned& seen) {
    char token[64];
    double value = 0.0;
    switch (MatchKeyword(kBoneWords)) {
        case kId: {
            int id = 0;
            if (!ReadInt(id)) Warning("Can't read bone id value\n");
            return true;
        }
        case kBoneName: {
            char name[AsfBone::kMaxNameLength + 1];
            if (!ReadToken(name, AsfBone::kMaxNameLength)) return Error("Can't read bone name\n");
            if (std::strcmp(name, "root") == 0) return Error("Forbidden bone name\n");
            bone->mName = name;
            seen |= kSeenName;
            return true;
        }
        case kDirection: {
            if (!ReadVector3(bone->mDirection)) return Error("Can't read bone direction\n");
            // Normalised; scaled first so that huge components cannot overflow the length.
            double* d = bone->mDirection;
            const double m = std::fmax(std::fabs(d[0]), std::fmax(std::fabs(d[1]), std::fabs(d[2])));
            if (m > 0.0 && std::isfinite(m)) {
                const double x = d[0] / m, y = d[1] / m, z = d[2] / m;
                const double len = std::sqrt(x * x + y * y + z * z);
                d[0] = x / len;
                d[1] = y / len;
                d[2] = z / len;
            } else {
                d[0] = d[1] = d[2] = 0.0;
            }
            seen |= kSeenDirection;
            return true;
        }
        case kLength:
            // "inf" reads as a number at the end of a line; a bone of infinite length is not one.
            if (!ReadDouble(value) || !(std::fabs(value) <= VOxaAsfScene::kMaxMagnitude))
                return Error("Can't read bone length\n");
            bone->mLength = value * kCentimetresPerInch / mScene->GetLengthUnit();
            if (!(std::fabs(bone->mLength) <= VOxaAsfScene::kMaxMagnitude))
                return Error("Can't read bone length\n");
            seen |= kSeenLength;
            return true;
        case kAxis: {
            if (!ReadVector3(bone->mAxisAngles, mScene->GetAngleFactor()))
                return Error("Can't read bone local coordinate system\n");
            const int code = ReadToken(token, 63) ? OrderCode(token) : -1;
            if (code < 0) return Error("Unknown rotation order\n");
            bone->mAxisOrder = code;
            return true;
        }
        case kDof:
            bone->mDofCount = 0;
            while (ReadToken(token, 63)) {
                const int code = DofCode(token);
                if (code < 0)
                    Warning("Unknown degree of freedom (%s)\n", token);
                else
                    bone->AddDof(code);  // more than six are ignored
            }
            return true;
        case kLimits:
            // One (min max) pair per dof; a pair may stand on the following line. The limits are
            // read for their syntax only: node limits do not come from them.
            for (int i = 0; i < bone->mDofCount; ++i) {
                double pair[2];
                if (ReadDoublePair(pair)) continue;
                if (!ReadNextLine() || !ReadDoublePair(pair)) return Error("Can't read dof limits\n");
            }
            return true;
        case kBodyMass:
            if (!ReadDouble(value, mScene->GetMassUnit())) Warning("Can't read bodymass value\n");
            return true;
        case kCofMass:
            if (!ReadDouble(value)) Warning("Can't read cofmass value\n");
            return true;
        default:
            Warning("Unknown bonedata token\n");
            return true;
    }
}

bool VOxaFileAcclaimAsf::FinishBone(AsfBone*& bone, unsigned seen) {
    const char* missing = nullptr;
    if (!(seen & kSeenName))
        missing = "Bone has no name\n";
    else if (!(seen & kSeenDirection))
        missing = "Bone has no direction\n";
    else if (!(seen & kSeenLength))
        missing = "Bone has no length\n";
    else if (mBoneCount >= VOxaAsfScene::kMaxBones)
        missing = "Too many bones\n";
    if (missing) {
        delete bone;
        bone = nullptr;
        return Error("%s", missing);
    }
    for (int i = 0; i < 3; ++i)
        bone->mOffset[i] = bone->mDirection[i] * bone->mLength;
    bone->BuildAxis();
    EnsureRoot()->AddChild(bone);
    AsfBone* added = bone;  // the tree's from here on
    bone = nullptr;
    mByName.emplace(added->mName.Buffer(), added);
    mScene->TreeChanged();
    ++mBoneCount;
    return true;
}

bool VOxaFileAcclaimAsf::ReadBoneData() {
    ReadNextLine();
    AsfBone* bone = nullptr;
    unsigned seen = 0;
    char word[16];
    // A bone not yet in the tree is the read's own, also when memory runs out (thrown).
    struct Pending {
        AsfBone*& mBone;
        ~Pending() { delete mBone; }
    } pending{bone};
    while (!IsAtEnd() && !AtKeywordLine()) {
        const char* start = GetCursor();
        int k = -1;
        if (ReadToken(word, 15)) k = FindWord(kBeginEnd, word);
        if (k < 0) SetCursor(start);
        if (k == 0) {
            if (bone && !FinishBone(bone, seen)) return false;
            bone = new AsfBone();
            seen = 0;
        } else if (k == 1) {
            if (bone) {
                if (!FinishBone(bone, seen)) return false;
            } else {
                Warning("Begin/End keyword expected\n");
            }
        } else if (bone) {
            if (!ReadBoneLine(bone, seen)) return false;
        } else {
            Warning("Begin/End keyword expected\n");
        }
        ReadNextLine();
    }
    if (bone) {
        if (IsAtEnd()) return Error("Unexpected end of file\n");
        return FinishBone(bone, seen);
    }
    return true;
}

namespace {

// The root's list keeps only the bones whose parent it still is. In place: a bone listed by two
// parents (memory ran out while the hierarchy was read) would be released twice.
void DropMovedFromRoot(AsfBone* root) {
    auto& children = root->mChildren;
    children.erase(
        std::remove_if(children.begin(), children.end(), [root](AsfBone* c) { return c->mParent != root; }),
        children.end());
}

}  // namespace

bool VOxaFileAcclaimAsf::ReadHierarchy() {
    AsfBone* root = EnsureRoot();
    try {
        return ReadHierarchyLines(root);
    } catch (const std::bad_alloc&) {
        DropMovedFromRoot(root);
        throw;
    }
}

bool VOxaFileAcclaimAsf::ReadHierarchyLines(AsfBone* root) {
    bool inside = false;
    bool ok = true;
    char word[AsfBone::kMaxNameLength + 1];
    ReadNextLine();
    while (ok && !IsAtEnd() && !AtKeywordLine()) {
        const char* start = GetCursor();
        int k = -1;
        if (ReadToken(word, AsfBone::kMaxNameLength)) k = FindWord(kBeginEnd, word);
        if (k == 0) {
            inside = true;
        } else if (k == 1) {
            inside = false;
        } else if (!inside) {
            Warning("Begin/End keyword expected\n");
        } else {
            SetCursor(start);
            char parentName[AsfBone::kMaxNameLength + 1];
            if (!ReadToken(parentName, AsfBone::kMaxNameLength)) {
                Warning("Can't read parent bone name\n");
            } else if (std::strcmp(parentName, "root") != 0) {  // every bone starts below the root
                AsfBone* parent = Lookup(parentName);
                if (!parent) {
                    ok = Error("Unknown parent bone name (%s)\n", parentName);
                    break;
                }
                while (ReadToken(word, AsfBone::kMaxNameLength)) {
                    AsfBone* child = Lookup(word);
                    if (!child) {
                        ok = Error("Unknown child bone name (%s)\n", word);
                        break;
                    }
                    if (child->mParent != root) continue;  // placed elsewhere already
                    // A parent that is the child or one of its descendants would cut both off
                    // from the root in a cycle: refused, the child stays where it is.
                    bool cycle = false;
                    int steps = 0;
                    for (AsfBone* b = parent; b; b = b->mParent) {
                        if (b == child) {
                            cycle = true;
                            break;
                        }
                        if (++steps > VOxaAsfScene::kMaxDepth) {
                            ok = Error("Bone hierarchy deeper than %d levels\n", VOxaAsfScene::kMaxDepth);
                            break;
                        }
                    }
                    if (!ok) break;
                    if (cycle) {
                        Warning("Bone %s cannot be the parent of %s: it hangs below it\n", parentName, word);
                        continue;
                    }
                    // The root's list is compacted once at the end of the section.
                    parent->mChildren.push_back(child);
                    child->mParent = parent;
                }
            }
        }
        if (ok) ReadNextLine();
    }
    DropMovedFromRoot(root);
    mScene->TreeChanged();
    return ok;
}

// ---- writing ----

bool VOxaFileAcclaimAsf::Write(VOxaAsfScene* scene) {
    if (!scene || !IsOpen() || !scene->GetRootBone()) return false;
    AsfBone* root = scene->GetRootBone();
    const double lengthFactor = scene->GetLengthUnit() / kCentimetresPerInch;
    // The reader turns lengths into centimetres and refuses one beyond the skeleton's largest
    // magnitude: no number is written that would read back beyond it.
    SetLargestNumber(VOxaAsfScene::LargestWritten(scene->GetLengthUnit()));
    WriteText(":version 1.10\n:name ");
    WriteText(scene->GetName());
    WriteText("\n:units\n  mass ");
    WriteG(1.0);
    WriteText("\n  length ");
    WriteG(scene->GetLengthUnit());
    WriteText("\n  angle deg\n:documentation\n  ASF file generated by Morvane\n");
    WriteText(":root\n  axis xyz\n  order ");
    for (int i = 0; i < root->mDofCount; ++i) {
        WriteChar(' ');
        WriteText(DofName(root->mDofs[i]));
    }
    WriteText("\n  position 0 0 0\n  orientation 0 0 0\n:bonedata\n");
    std::vector<AsfBone*> bones = scene->GetBonesDepthFirst();
    int id = 0;
    for (AsfBone* b : bones) {
        if (b == root) continue;
        SetNumberSubject(b->mName.Buffer(), 0);
        WriteText("  begin\n    id ");
        WriteInt(++id);
        WriteText("\n    name ");
        WriteText(b->mName.Buffer());
        WriteText("\n    direction ");
        for (int i = 0; i < 3; ++i) {
            if (i) WriteChar(' ');
            WriteG(b->mDirection[i]);
        }
        WriteText("\n    length ");
        WriteG(b->mLength * lengthFactor);
        // The angles of the axis frame in the order written, whatever order it was read with.
        double angles[3];
        VgeMatrixToEulerXYZ(angles, b->mAxis);
        WriteText("\n    axis ");
        for (int i = 0; i < 3; ++i) {
            WriteG(angles[i]);
            WriteChar(' ');
        }
        WriteText("xyz\n");
        if (b->mDofCount > 0) {
            WriteText("    dof");
            for (int i = 0; i < b->mDofCount; ++i) {
                WriteChar(' ');
                WriteText(DofName(b->mDofs[i]));
            }
            WriteChar('\n');
        }
        WriteText("  end\n");
    }
    WriteText(":hierarchy\n  begin\n");
    for (AsfBone* b : bones) {
        if (b->mChildren.empty()) continue;
        WriteText("    ");
        WriteText(b->mName.Buffer());
        for (AsfBone* c : b->mChildren) {
            WriteChar(' ');
            WriteText(c->mName.Buffer());
        }
        WriteChar('\n');
    }
    WriteText("  end\n");
    return !WriteFailed();
}
