// Blocks and block references of the DXF reader. Every INSERT becomes a node of its own, named
// after its block, carrying the block's geometry as one mesh and the INSERT's placement as its
// local transform; INSERTs inside a block become child nodes of that block's node. The block mode
// reads the whole ENTITIES section as one block named "ENTITIES".
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "attributes/voxa_mesh.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

inline bool Is(const char* value, const char* keyword) {
    return std::strcmp(value, keyword) == 0;
}

// Insert record: insertion point x, y, z, scale x, y, z, rotation in degrees (DXF axes).
const double kDefaultInsert[7] = {0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 0.0};

}  // namespace

bool VOxaReaderDxf::ReadEntitiesAsBlock(VOxaNode* parent) {
    return ReadBlock(parent, "ENTITIES", kDefaultInsert, true, VgeTVector(), nullptr);
}

namespace {

// The linear part of an instance's placement in scene axes: its rotation about the vertical
// after its scale, (sx, sy, sz) of DXF being (sx, sz, sy) in the scene.
DxfLinear InsertLinear(const double insert[7]) {
    const double a = insert[6] * (M_PI / 180.0);
    const double c = std::cos(a), s = std::sin(a);
    const double sx = insert[3], sy = insert[5], sz = insert[4];
    DxfLinear m;
    m.m[0][0] = c * sx, m.m[0][1] = 0.0, m.m[0][2] = s * sz;
    m.m[1][0] = 0.0, m.m[1][1] = sy, m.m[1][2] = 0.0;
    m.m[2][0] = -s * sx, m.m[2][1] = 0.0, m.m[2][2] = c * sz;
    return m;
}

DxfLinear Multiply(const DxfLinear& a, const DxfLinear& b) {
    DxfLinear m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j];
    return m;
}

VgeTVector Apply(const DxfLinear& m, const VgeTVector& p) {
    return VgeTVector(m.m[0][0] * p[0] + m.m[0][1] * p[1] + m.m[0][2] * p[2],
                      m.m[1][0] * p[0] + m.m[1][1] * p[1] + m.m[1][2] * p[2],
                      m.m[2][0] * p[0] + m.m[2][1] * p[1] + m.m[2][2] * p[2], p[3]);
}

// A scale that flattens the block onto a plane, a line or a point: a node scaled so could not be
// inverted, which the writers need (and 3DS keeps in its files).
bool Flattens(const double insert[7]) {
    for (int k = 3; k < 6; ++k)
        if (!(std::fabs(insert[k]) >= 1e-12)) return true;
    return false;
}

}  // namespace

bool VOxaReaderDxf::ReadBlock(VOxaNode* parent, const char* name, const double insert[7], bool topLevel,
                              const VgeTVector& basePoint, const DxfLinear* outer) {
    DxfGeometryGroup group;
    SingleGroup source(group);
    bool empty = true, nested = false;
    // An instance that flattens its block, and every instance inside it, carries its placement's
    // linear part in its points: its node is only moved, and the instances inside it are placed
    // through that part too.
    DxfLinear linear;
    const bool baked = outer || Flattens(insert);
    if (baked) linear = outer ? Multiply(*outer, InsertLinear(insert)) : InsertLinear(insert);
    VOxaNode* node = mManager->CreateNode(name);
    if (!node) return false;

    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        if (!ReadGroup(code, value)) {
            // The node never reached the scene; neither do the instances read into it.
            mManager->DestroyNode(node, true);
            return false;
        }
        if (code != 0) continue;
        if (Is(value, "ENDSEC") || Is(value, "ENDBLK")) break;
        if (Is(value, "POLYLINE")) {
            empty = false;
            ReadPolylineIntoGroup(source);
        } else if (Is(value, "3DFACE") || Is(value, "SOLID") || Is(value, "TRACE")) {
            empty = false;
            Read3DFaceIntoGroup(source, !Is(value, "3DFACE"));
        } else if (Is(value, "LINE")) {
            empty = false;
            ReadLineIntoGroup(source);
        } else if (Is(value, "INSERT")) {
            // The ENTITIES section's references are siblings of its node; a block's are children
            // of the block's node, placed in the block's own coordinates.
            if (topLevel) {
                ReadInsert(parent, VgeTVector(), nullptr);
            } else {
                nested = true;
                ReadInsert(node, basePoint, baked ? &linear : nullptr);
            }
        } else {
            Skipped(value);
        }
    }

    if (!empty) {
        // The block's points are relative to its base point.
        const VgeTVector base = DxfToScenePoint(basePoint[0], basePoint[1], basePoint[2]);
        if (base[0] != 0.0 || base[1] != 0.0 || base[2] != 0.0) {
            for (VgeTVector& p : group.mPoints) {
                p.mData[0] -= base[0];
                p.mData[1] -= base[1];
                p.mData[2] -= base[2];
            }
        }
        if (baked) {
            for (VgeTVector& p : group.mPoints)
                p = Apply(linear, p);
        }
        if (VOxaMesh* mesh = BuildMesh(group)) node->SetNodeAttribute(mesh);
    } else if (!nested) {
        mManager->DestroyNode(node);
        return true;
    }

    if (baked) {
        const VgeTVector at =
            Apply(outer ? *outer : DxfLinear(), DxfToScenePoint(insert[0], insert[1], insert[2]));
        if (at[0] != 0.0 || at[1] != 0.0 || at[2] != 0.0)
            node->SetLclTranslation(VgeTVector(at[0], at[1], at[2], 0.0));
        parent->AddChild(node);
        return true;
    }
    const double sx = insert[3], sy = insert[4], sz = insert[5], angle = insert[6];
    if (sx != 1.0 || sy != 1.0 || sz != 1.0) node->SetLclScaling(VgeTVector(sx, sz, sy, 0.0));
    if (angle != 0.0) node->SetLclRotation(VgeTVector(0.0, angle, 0.0, 0.0));
    if (insert[0] != 0.0 || insert[1] != 0.0 || insert[2] != 0.0)
        node->SetLclTranslation(VgeTVector(insert[0], insert[2], -insert[1], 0.0));
    parent->AddChild(node);
    return true;
}

bool VOxaReaderDxf::ReadInsert(VOxaNode* parent, const VgeTVector& enclosingBase, const DxfLinear* outer) {
    double record[7];
    std::memcpy(record, kDefaultInsert, sizeof record);
    char name[kDxfLineSize] = "";
    int code = -1;
    char value[kDxfLineSize] = "";
    int64_t end = 0;
    for (;;) {
        end = mFile.Tell();
        if (!ReadGroup(code, value)) return false;
        if (code == 0) break;
        switch (code) {
            case 2:
                TakeName(name, value);
                break;
            case 10:
                DxfParseReal(value, record[0]);
                break;
            case 20:
                DxfParseReal(value, record[1]);
                break;
            case 30:
                DxfParseReal(value, record[2]);
                break;
            case 41:
                DxfParseReal(value, record[3]);
                break;
            case 42:
                DxfParseReal(value, record[4]);
                break;
            case 43:
                DxfParseReal(value, record[5]);
                break;
            case 50:
                DxfParseReal(value, record[6]);
                break;
            default:
                break;
        }
    }

    if (name[0]) {
        bool beingRead = false;
        for (const std::string& open : mBlocksBeingRead)
            beingRead = beingRead || open == name;
        double bx = 0, by = 0, bz = 0;
        if (beingRead) {
            Warn(VString("Block \"") + name + "\" refers to itself; the reference was skipped.");
        } else if ((int)mBlocksBeingRead.size() >= kMaxBlockDepth) {
            Warn(VString("Block \"") + name + "\" is nested too deeply; the reference was skipped.");
        } else if (mBlockInstances >= kMaxBlockInstances || mBlockGroupsRead > mBlockGroupBudget) {
            if (mBlockInstances != INT_MAX)
                Warn(VString("Too many block references; the rest were skipped."));
            mBlockInstances = INT_MAX;
        } else if (FindBlock(name) && ReadBlockHeader(bx, by, bz)) {
            VString nodeName = UniqueName(name);
            // A reference inside a block is placed in that block's coordinates, whose origin is
            // the block's base point.
            record[0] -= enclosingBase[0];
            record[1] -= enclosingBase[1];
            record[2] -= enclosingBase[2];
            ++mBlockInstances;
            mBlocksBeingRead.push_back(name);
            ReadBlock(parent, nodeName.Buffer(), record, false, VgeTVector(bx, by, bz, 0.0), outer);
            mBlocksBeingRead.pop_back();
        }
    }
    // The walker reads on from the group that ended the INSERT, wherever the block was.
    mFile.Seek(end);
    return true;
}

bool VOxaReaderDxf::EnsureBlockIndex() {
    if (mBlockIndexBuilt) return true;
    int code = -1;
    char value[kDxfLineSize] = "";
    if (mBlocksPosition == 0) {
        // No BLOCKS section came before the entities: look for one after the current place.
        // Once found its place is kept, so that references inside blocks find it too.
        const int64_t from = mFile.Tell();
        if (mNoBlocksFrom >= 0 && from >= mNoBlocksFrom) return false;
        bool found = false;
        while (!found && mFile.ReadGroup(code, value)) {
            if (code != 0 || !Is(value, "SECTION")) continue;
            if (!mFile.ReadGroup(code, value)) break;
            found = code == 2 && Is(value, "BLOCKS");
        }
        if (!found) {
            mNoBlocksFrom = mNoBlocksFrom < 0 ? from : std::min(mNoBlocksFrom, from);
            return false;
        }
        mBlocksPosition = mFile.Tell();
    } else if (!mFile.Seek(mBlocksPosition)) {
        return false;
    }
    // One scan records where each block name is first met, as a scan for each name would find
    // it: BLOCK entries up to "EOF", or up to an "ENDSEC" met before a BLOCK's name. It also
    // notes what reading the block costs: its groups up to "ENDBLK" and the blocks its INSERTs
    // name.
    mBlockIndex.clear();
    mBlockIndexBuilt = true;
    bool done = false;
    DxfBlockEntry* current = nullptr;
    bool inInsert = false;
    char blockName[kDxfLineSize];
    while (!done && mFile.ReadGroup(code, value)) {
        if (current) {
            ++current->groups;
            if (code == 0) {
                inInsert = Is(value, "INSERT");
                if (inInsert) current->inserts.emplace_back();
                if (Is(value, "ENDBLK") || Is(value, "ENDSEC")) current = nullptr;
            } else if (code == 2 && inInsert) {
                // The last name of an INSERT counts, as its reader takes it.
                TakeName(blockName, value);
                current->inserts.back() = blockName;
            }
        }
        if (code != 0) continue;
        if (Is(value, "EOF")) break;
        if (!Is(value, "BLOCK")) continue;
        current = nullptr;
        for (;;) {
            if (!mFile.ReadGroup(code, value)) {
                done = true;
                break;
            }
            if (code == 2) {
                TakeName(blockName, value);
                auto added = mBlockIndex.emplace(std::string(blockName), DxfBlockEntry{mFile.Tell(), 0, {}});
                // A later block of a name already met is never read.
                current = added.second ? &added.first->second : nullptr;
                inInsert = false;
                break;
            }
            if (code == 0) {
                done = Is(value, "ENDSEC");
                break;
            }
        }
    }
    return true;
}

bool VOxaReaderDxf::FindBlock(const char* name) {
    if (!EnsureBlockIndex()) return false;
    auto it = mBlockIndex.find(name);
    return it != mBlockIndex.end() && mFile.Seek(it->second.position);
}

bool VOxaReaderDxf::CheckBlockReferences() {
    // The INSERTs of the ENTITIES section, from here to its end.
    const int64_t start = mFile.Tell();
    std::vector<std::string> top;
    int code = -1;
    char value[kDxfLineSize] = "";
    char name[kDxfLineSize];
    bool inInsert = false;
    while (mFile.ReadGroup(code, value)) {
        if (code == 0) {
            if (Is(value, "ENDSEC") || Is(value, "ENDBLK") || Is(value, "EOF")) break;
            inInsert = Is(value, "INSERT");
            if (inInsert) top.emplace_back();
        } else if (code == 2 && inInsert) {
            TakeName(name, value);
            top.back() = name;
        }
    }
    bool ok = true;
    if (!top.empty() && EnsureBlockIndex()) {
        // What the references would read, worked out as ReadInsert reads them: a block being read
        // is not read again inside itself, nor one nested too deeply. The count of a block whose
        // expansion met neither is the same wherever it is referenced, and is kept; sums stop
        // growing past the bounds. Every step stands for at least one group a reference reads,
        // so the steps are bounded as the groups are.
        struct Cost {
            int64_t instances = 0, groups = 0;
        };
        std::unordered_map<std::string, Cost> known;
        std::vector<const std::string*> open;
        int64_t steps = 0;
        const int64_t instanceLimit = kMaxBlockInstances, groupLimit = mBlockGroupBudget;
        auto over = [&](const Cost& c) { return c.instances > instanceLimit || c.groups > groupLimit; };
        std::function<Cost(const std::string&, bool&)> expand = [&](const std::string& block, bool& partial) {
            Cost cost;
            if (++steps > groupLimit) {
                cost.groups = groupLimit + 1;
                return cost;
            }
            for (const std::string* o : open)
                if (*o == block) {
                    partial = true;
                    return cost;
                }
            if ((int)open.size() >= kMaxBlockDepth) {
                partial = true;
                return cost;
            }
            auto entry = mBlockIndex.find(block);
            if (entry == mBlockIndex.end()) return cost;
            auto seen = known.find(block);
            if (seen != known.end()) return seen->second;
            cost.instances = 1;
            cost.groups = entry->second.groups;
            bool mine = false;
            open.push_back(&entry->first);
            for (const std::string& inner : entry->second.inserts) {
                const Cost c = expand(inner, mine);
                cost.instances += c.instances;
                // The group that ends the INSERT is read again when the block has been read.
                cost.groups += c.groups + 1;
                if (over(cost)) break;
            }
            open.pop_back();
            if (mine)
                partial = true;
            else
                known.emplace(block, cost);
            return cost;
        };
        Cost total;
        for (const std::string& block : top) {
            bool partial = false;
            const Cost c = expand(block, partial);
            total.instances += c.instances;
            total.groups += c.groups;
            if (over(total)) break;
        }
        if (over(total)) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "Too many block references: the file's INSERTs would make more than %d block "
                          "instances or read more than %lld groups through them; nothing was read",
                          kMaxBlockInstances, (long long)mBlockGroupBudget);
            mError.SetLastError(eUNIDENTIFIED_ERROR, text);
            ok = false;
        }
    }
    mFile.Seek(start);
    return ok;
}

bool VOxaReaderDxf::ReadBlockHeader(double& x, double& y, double& z) {
    x = y = z = 0.0;
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        const int64_t position = mFile.Tell();
        if (!ReadGroup(code, value)) return false;
        if (code == 0) return mFile.Seek(position);
        if (code == 10) DxfParseReal(value, x);
        if (code == 20) DxfParseReal(value, y);
        if (code == 30) DxfParseReal(value, z);
    }
}
