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
#include "base/vge_euler.h"
#include "formats/geometry/dxf/voxa_dxf_ocs.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"

namespace {

inline bool Is(const char* value, const char* keyword) {
    return std::strcmp(value, keyword) == 0;
}

// Insert record: insertion point x, y, z (world coordinates once read), scale x, y, z, rotation
// in degrees about the extrusion direction, extrusion direction x, y, z (DXF axes).
const double kDefaultInsert[kDxfInsertSize] = {0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 0.0, 0.0, 0.0, 1.0};

}  // namespace

bool VOxaReaderDxf::ReadEntitiesAsBlock(VOxaNode* parent) {
    return ReadBlock(parent, "ENTITIES", kDefaultInsert, true, VgeTVector(), nullptr);
}

namespace {

// The rotation of an instance in scene axes: its turn about its extrusion direction, then the
// turn of its coordinate system, (x, y, z) of DXF being (x, z, -y) in the scene.
DxfLinear InsertRotation(const double insert[kDxfInsertSize]) {
    const double a = insert[6] * (M_PI / 180.0);
    const double c = std::cos(a), s = std::sin(a);
    const DxfOcs ocs(insert[7], insert[8], insert[9]);
    if (ocs.IsWorld()) {
        // About the vertical alone, kept exact.
        DxfLinear m;
        m.m[0][0] = c, m.m[0][2] = s;
        m.m[2][0] = -s, m.m[2][2] = c;
        return m;
    }
    // In DXF axes, the columns of the rotation are the system's axes turned by the angle.
    double dxf[3][3];
    for (int i = 0; i < 3; ++i) {
        dxf[i][0] = c * ocs.x[i] + s * ocs.y[i];
        dxf[i][1] = -s * ocs.x[i] + c * ocs.y[i];
        dxf[i][2] = ocs.z[i];
    }
    // Into scene axes: rows and columns (x, y, z) become (x, z, -y).
    const int axis[3] = {0, 2, 1};
    const double sign[3] = {1.0, 1.0, -1.0};
    DxfLinear m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] = sign[i] * sign[j] * dxf[axis[i]][axis[j]];
    return m;
}

// The linear part of an instance's placement in scene axes: its rotation after its scale, (sx,
// sy, sz) of DXF being (sx, sz, sy) in the scene.
DxfLinear InsertLinear(const double insert[kDxfInsertSize]) {
    DxfLinear m = InsertRotation(insert);
    const double scale[3] = {insert[3], insert[5], insert[4]};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m.m[i][j] *= scale[j];
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
bool Flattens(const double insert[kDxfInsertSize]) {
    for (int k = 3; k < 6; ++k)
        if (!(std::fabs(insert[k]) >= 1e-12)) return true;
    return false;
}

}  // namespace

bool VOxaReaderDxf::ReadBlock(VOxaNode* parent, const char* name, const double insert[kDxfInsertSize],
                              bool topLevel, const VgeTVector& basePoint, const DxfLinear* outer) {
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
        if ((Is(value, "POLYLINE") || Is(value, "3DFACE") || Is(value, "SOLID") || Is(value, "TRACE") ||
             Is(value, "LINE") || Is(value, "MESH") || Is(value, "INSERT")) &&
            OnLayoutSheet())
            continue;
        if (Is(value, "POLYLINE")) {
            empty = false;
            ReadPolylineIntoGroup(source);
        } else if (Is(value, "3DFACE") || Is(value, "SOLID") || Is(value, "TRACE")) {
            empty = false;
            Read3DFaceIntoGroup(source, !Is(value, "3DFACE"));
        } else if (Is(value, "LINE")) {
            empty = false;
            ReadLineIntoGroup(source);
        } else if (Is(value, "MESH")) {
            empty = false;
            ReadMeshIntoGroup(source);
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
    if (!DxfOcs(insert[7], insert[8], insert[9]).IsWorld()) {
        // A turned coordinate system: the node's XYZ angles of the whole rotation (the node's
        // matrix takes row vectors, the transpose of the column form worked out here).
        const DxfLinear r = InsertRotation(insert);
        double rows[4][4] = {};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                rows[i][j] = r.m[j][i];
        rows[3][3] = 1.0;
        double angles[3];
        VgeMatrixToEulerXYZ(angles, rows);
        node->SetLclRotation(VgeTVector(angles[0], angles[1], angles[2], 0.0));
    } else if (angle != 0.0) {
        node->SetLclRotation(VgeTVector(0.0, angle, 0.0, 0.0));
    }
    if (insert[0] != 0.0 || insert[1] != 0.0 || insert[2] != 0.0)
        node->SetLclTranslation(VgeTVector(insert[0], insert[2], -insert[1], 0.0));
    parent->AddChild(node);
    return true;
}

bool VOxaReaderDxf::ReadInsert(VOxaNode* parent, const VgeTVector& enclosingBase, const DxfLinear* outer) {
    double record[kDxfInsertSize];
    std::memcpy(record, kDefaultInsert, sizeof record);
    // A MINSERT: a grid of columns x rows instances, spaced in the instance's own system.
    int columns = 1, rows = 1;
    double columnSpacing = 0.0, rowSpacing = 0.0;
    char name[kDxfLineSize] = "";
    int code = -1;
    char value[kDxfLineSize] = "";
    int64_t end = 0, extrusionAt = -1;
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
            case 210:
            case 220:
            case 230:
                DxfParseReal(value, record[7 + (code - 210) / 10]);
                if (extrusionAt < 0) extrusionAt = end;
                break;
            case 70:
                DxfParseInt(value, columns);
                break;
            case 71:
                DxfParseInt(value, rows);
                break;
            case 44:
                DxfParseReal(value, columnSpacing);
                break;
            case 45:
                DxfParseReal(value, rowSpacing);
                break;
            default:
                break;
        }
    }

    CheckExtrusion(record + 7, extrusionAt, "an INSERT");
    if (name[0]) {
        // A grid with a count below 1 is no grid: the one instance of a plain insert. A spacing
        // of 0 puts every instance of its direction in one place, and that place is filled once.
        const bool grid = columns >= 1 && rows >= 1;
        const int usedColumns = grid && columnSpacing != 0.0 && columns > 1 ? columns : 1;
        const int usedRows = grid && rowSpacing != 0.0 && rows > 1 ? rows : 1;
        const DxfOcs ocs(record[7], record[8], record[9]);
        const double a = record[6] * (M_PI / 180.0);
        const double c = std::cos(a), s = std::sin(a);
        const double origin[3] = {record[0], record[1], record[2]};
        bool more = true;
        for (int row = 0; row < usedRows && more; ++row) {
            for (int column = 0; column < usedColumns && more; ++column) {
                // The grid turns with the instance; its scale does not apply to the spacing.
                const double dx = column * columnSpacing, dy = row * rowSpacing;
                const double at[3] = {origin[0] + c * dx - s * dy, origin[1] + s * dx + c * dy, origin[2]};
                // The insertion point is given in the instance's system: into world coordinates.
                ocs.ToWorld(at, record);
                more = ReadInstance(parent, name, record, enclosingBase, outer);
            }
        }
    }
    // The walker reads on from the group that ended the INSERT, wherever the block was.
    mFile.Seek(end);
    return true;
}

bool VOxaReaderDxf::ReadInstance(VOxaNode* parent, const char* name, const double insert[kDxfInsertSize],
                                 const VgeTVector& enclosingBase, const DxfLinear* outer) {
    bool beingRead = false;
    for (const std::string& open : mBlocksBeingRead)
        beingRead = beingRead || open == name;
    double bx = 0, by = 0, bz = 0;
    if (beingRead) {
        Warn(VString("Block \"") + name + "\" refers to itself; the reference was skipped.");
        return false;
    }
    if ((int)mBlocksBeingRead.size() >= kMaxBlockDepth) {
        Warn(VString("Block \"") + name + "\" is nested too deeply; the reference was skipped.");
        return false;
    }
    if (mBlockInstances >= mBlockInstanceLimit || mBlockGroupsRead > mBlockGroupBudget) {
        if (mBlockInstances != INT_MAX) Warn(VString("Too many block references; the rest were skipped."));
        mBlockInstances = INT_MAX;
        return false;
    }
    if (!FindBlock(name) || !ReadBlockHeader(bx, by, bz)) return false;
    VString nodeName = UniqueName(name);
    double record[kDxfInsertSize];
    std::memcpy(record, insert, sizeof record);
    // A reference inside a block is placed in that block's coordinates, whose origin is the
    // block's base point.
    record[0] -= enclosingBase[0];
    record[1] -= enclosingBase[1];
    record[2] -= enclosingBase[2];
    ++mBlockInstances;
    mBlocksBeingRead.push_back(name);
    ReadBlock(parent, nodeName.Buffer(), record, false, VgeTVector(bx, by, bz, 0.0), outer);
    mBlocksBeingRead.pop_back();
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
                current->inserts.back().name = blockName;
            } else if (inInsert) {
                current->inserts.back().Take(code, value);
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

namespace {

// a * n, or limit + 1 when that passes the limit (a, n and limit not negative).
int64_t Capped(int64_t a, int64_t n, int64_t limit) {
    if (a == 0 || n == 0) return 0;
    return a > (limit + 1) / n ? limit + 1 : std::min(a * n, limit + 1);
}

}  // namespace

void VOxaReaderDxf::DxfReference::Take(int code, const char* value) {
    if (code == 70) DxfParseInt(value, columns);
    if (code == 71) DxfParseInt(value, rows);
    if (code == 44) DxfParseReal(value, columnSpacing);
    if (code == 45) DxfParseReal(value, rowSpacing);
}

bool VOxaReaderDxf::CheckBlockReferences() {
    // The INSERTs of the ENTITIES section, from here to its end.
    const int64_t start = mFile.Tell();
    std::vector<DxfReference> top;
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
            top.back().name = name;
        } else if (inInsert) {
            top.back().Take(code, value);
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
        const int64_t instanceLimit = mBlockInstanceLimit, groupLimit = mBlockGroupBudget;
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
            for (const DxfReference& inner : entry->second.inserts) {
                const Cost c = expand(inner.name, mine);
                // Each instance of a grid reads the block again; the counts stop growing past
                // the bounds.
                const int64_t n = inner.Count();
                cost.instances += Capped(c.instances, n, instanceLimit);
                // The group that ends the INSERT is read again when the block has been read.
                cost.groups += Capped(c.groups + 1, n, groupLimit);
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
        for (const DxfReference& reference : top) {
            bool partial = false;
            const Cost c = expand(reference.name, partial);
            const int64_t n = reference.Count();
            total.instances += Capped(c.instances, n, instanceLimit);
            total.groups += Capped(c.groups, n, groupLimit);
            if (over(total)) break;
        }
        if (over(total)) {
            char text[256];
            std::snprintf(text, sizeof text,
                          "Too many block references: the file's INSERTs would make more than %d block "
                          "instances or read more than %lld groups through them (bounds in proportion to the "
                          "file's %lld bytes); nothing was read",
                          mBlockInstanceLimit, (long long)mBlockGroupBudget, (long long)mFile.GetSize());
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
