#include "formats/geometry/dxf/voxa_reader_dxf.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "base/vpath.h"
#include "base/vprintable_text.h"
#include "formats/geometry/dxf/voxa_dxf_ocs.h"
#include "formats/geometry/dxf/voxa_dxf_shading.h"
#include "formats/geometry/dxf/voxa_dxf_units.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "formats/geometry/voxa_material_extras.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// An entity that names no layer is on layer "0", as DXF has it.
const char kDefaultLayer[] = "0";
constexpr int kMaxWarnings = 100;

inline bool Is(const char* value, const char* keyword) {
    return std::strcmp(value, keyword) == 0;
}

// A face record's colour word in a face stream carries, above its colour, the edges that are
// hidden: bit kHiddenEdgesShift + j for the edge from the face's corner j to the next.
constexpr int kHiddenEdgesShift = 26;
constexpr int kColourBits = (1 << kHiddenEdgesShift) - 1;
constexpr unsigned kHiddenEdgeBits = 15u;
// ... and a face that carries a smoothing mask (the group's next mask) has this bit set.
constexpr int kMaskedFace = 1 << 30;

// The kinds of entity the walkers read.
bool IsReadEntity(const char* value) {
    return Is(value, "POLYLINE") || Is(value, "3DFACE") || Is(value, "SOLID") || Is(value, "TRACE") ||
           Is(value, "LINE") || Is(value, "MESH") || Is(value, "INSERT");
}

// The scene index of a face-record index k of a polyline whose first point is `base`: |k| + base
// - 1 (the sign marks an invisible edge); -1 when that is beyond int.
int FaceIndex(int k, int base) {
    long long index = std::llabs((long long)k) + (long long)base - 1;
    return index >= 0 && index <= INT_MAX ? (int)index : -1;
}

// A smoothing mask of extended data (group 1071, a 32-bit whole number, blanks around it), false
// for a value that is none (empty, a fraction, a number beyond 32 bits, text).
bool ParseMask(const char* value, uint32_t& mask) {
    const char* p = value;
    const char* end = value + std::strlen(value);
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r'))
        --end;
    if (end - p > 1 && *p == '+' && p[1] != '-') ++p;
    int32_t word = 0;
    const std::from_chars_result r = std::from_chars(p, end, word);
    if (r.ec != std::errc() || r.ptr != end) return false;
    mask = (uint32_t)word;
    return true;
}

// A colour number of a VERTEX's own 62 group: 256 (the layer's) keeps the colour the polyline
// resolved; numbers outside 1 to 255 mean no material.
int VertexColour(int own, int inherited) {
    if (own == 256) return inherited;
    return own >= 1 && own <= 255 ? own : 0;
}

}  // namespace

// The groups of the layer mode, one per layer name without regard to case, kept in a list that
// answers them in case-insensitive name order.
class VOxaReaderDxf::LayerGroups : public VOxaReaderDxf::IGroupSource {
public:
    DxfGeometryGroup* GroupFor(const char* layer) override {
        if (mLast && mLastName == layer) return mLast;
        intptr_t found = mNames.Find(layer);
        if (!found) found = AddLayerGroup(layer);
        mLast = mGroups[(size_t)found - 1].get();
        mLastName = layer;
        return mLast;
    }

    // A new, empty group for a layer met for the first time; answers its number (1-based).
    intptr_t AddLayerGroup(const char* layer) {
        mGroups.push_back(std::make_unique<DxfGeometryGroup>());
        mNames.Add(layer, (intptr_t)mGroups.size());
        return (intptr_t)mGroups.size();
    }

    int GetCount() { return mNames.GetCount(); }
    // The i-th group in name order and the layer name it was first met under.
    DxfGeometryGroup* GetAt(int i, const char** name) {
        intptr_t value = mNames.GetAt(i, name);
        return value ? mGroups[(size_t)value - 1].get() : nullptr;
    }

private:
    VStringPairList mNames{20};
    std::vector<std::unique_ptr<DxfGeometryGroup>> mGroups;
    DxfGeometryGroup* mLast = nullptr;
    std::string mLastName;
};

VOxaReader* CreateDxfReader(VOxaSdkManager* manager) {
    return new VOxaReaderDxf(manager);
}

VOxaReaderDxf::VOxaReaderDxf(VOxaSdkManager* manager) : VOxaReader(manager), mFileName("") {}

VOxaReaderDxf::~VOxaReaderDxf() {
    FileClose();
}

bool VOxaReaderDxf::FileOpen(const char* path) {
    FileClose();
    if (!mFile.OpenFile(path)) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFileName = path;
    return true;
}

bool VOxaReaderDxf::OpenMemory(const void* data, size_t size, const char* path) {
    FileClose();
    mFile.OpenMemory(data, size);
    mFileName = path ? path : "";
    return true;
}

bool VOxaReaderDxf::FileClose() {
    bool ok = mFile.Close();
    mFileName = "";
    mBlocksPosition = 0;
    mBlockIndex.clear();
    mBlockIndexBuilt = false;
    mNoBlocksFrom = -1;
    return ok;
}

bool VOxaReaderDxf::IsFileOpen() {
    return mFile.IsOpen();
}

VStreamOptions* VOxaReaderDxf::GetReadOptions() {
    return VStreamOptionsDxf::Create();
}

bool VOxaReaderDxf::ReadGroup(int& code, char* value) {
    if (!mBlocksBeingRead.empty()) ++mBlockGroupsRead;
    return mFile.ReadGroup(code, value);
}

bool VOxaReaderDxf::Corrupted(const char* what) {
    if (mFile.LongLine() >= 0) {
        // A line too long to be a value stopped the reading.
        char text[96];
        std::snprintf(text, sizeof text, ": line %lld is longer than %d bytes",
                      (long long)mFile.LineAt(mFile.LongLine()), kDxfMaxLine);
        VString message(mError.GetErrorString(eFILE_CORRUPTED));
        message += text;
        mError.SetLastError(eFILE_CORRUPTED, message.Buffer());
        return false;
    }
    // Every other failure is the end of the data: the line is the file's last.
    const int64_t size = mFile.GetSize();
    const int64_t line = mFile.LineAt(size > 0 ? size - 1 : 0);
    char where[64];
    std::snprintf(where, sizeof where, ": line %lld: ", (long long)line);
    VString text(mError.GetErrorString(eFILE_CORRUPTED));
    text += where;
    text += size > 0 ? what : "the file is empty";
    mError.SetLastError(eFILE_CORRUPTED, text.Buffer());
    return false;
}

void VOxaReaderDxf::Warn(const VString& line) {
    if (mWarnings > kMaxWarnings) return;
    ++mWarnings;
    if (!mMessageText.IsEmpty()) mMessageText += "\n";
    mMessageText += mWarnings > kMaxWarnings ? VString("Further warnings were left out.") : line;
}

void VOxaReaderDxf::Skipped(const char* kind) {
    // The records that close a sequence or stand alone by mistake are no entities of their own.
    if (Is(kind, "SEQEND") || Is(kind, "VERTEX") || Is(kind, "EOF") || !*kind) return;
    auto found = mSkipped.find(kind);
    if (found != mSkipped.end()) {
        ++found->second;
    } else if (mSkipped.size() < 64) {
        // A file of many kinds names the first few; the rest are not worth a line each.
        mSkipped.emplace(std::string(kind, strnlen(kind, 64)), 1);
    }
}

bool VOxaReaderDxf::OnLayoutSheet() {
    const int64_t start = mFile.Tell();
    int code = -1;
    char value[kDxfLineSize] = "";
    bool layout = false;
    while (mFile.ReadGroup(code, value) && code != 0) {
        int space = 0;
        if (code == 67 && DxfParseInt(value, space) && space != 0) layout = true;
    }
    mFile.Seek(start);
    if (layout && mLayoutEntities < INT_MAX) ++mLayoutEntities;
    return layout;
}

void VOxaReaderDxf::ReportSkipped() {
    if (mLayoutEntities > 0) {
        Warn(VString(mLayoutEntities) + (mLayoutEntities == 1 ? " entity" : " entities") +
             " of layout sheets (paper space) " + (mLayoutEntities == 1 ? "was" : "were") +
             " left out: only the model is read.");
        mLayoutEntities = 0;
    }
    if (mPointFaces > 0) {
        Warn(VString(mPointFaces) +
             (mPointFaces == 1 ? " face (3DFACE, SOLID or TRACE) whose"
                               : " faces (3DFACE, SOLID or TRACE) whose") +
             " first three corners lie within 1e-6 of each other " + (mPointFaces == 1 ? "was" : "were") +
             " read as a point and left out.");
        mPointFaces = 0;
    }
    if (mBadExtrusions > kExtrusionWarnings) {
        Warn(VString(mBadExtrusions - kExtrusionWarnings) +
             " more extrusion directions were not directions; (0, 0, 1) was taken for each.");
        mBadExtrusions = 0;
    }
    if (mFaceRecordsOutside > 0) {
        Warn(VString(mFaceRecordsOutside) +
             (mFaceRecordsOutside == 1 ? " polyface face record names" : " polyface face records name") +
             " a vertex its polyline does not have and " + (mFaceRecordsOutside == 1 ? "was" : "were") +
             " not read.");
        mFaceRecordsOutside = 0;
    }
    if (mUnreadVertices > 0) {
        Warn(VString(mUnreadVertices) +
             (mUnreadVertices == 1 ? " VERTEX record was" : " VERTEX records were") + " not read, as " +
             (mUnreadVertices == 1 ? "its" : "their") + " flags are none " +
             (mUnreadVertices == 1 ? "its" : "their") + " polyline takes (a polyface mesh takes 192 for a " +
             "vertex and 128 for a face record, a polygon mesh 64, a 3D polyline 32): " +
             (mUnreadVertices == 1 ? "" : "the first, ") + "at line " +
             std::to_string(mFile.LineAt(mFirstUnreadAt) - 1).c_str() + ", has " +
             VString(mFirstUnreadFlags) + " in a " + mFirstUnreadKind + ".");
        mUnreadVertices = 0;
    }
    if (mBadMasks > kExtrusionWarnings) {
        Warn(VString(mBadMasks - kExtrusionWarnings) + " more smoothing masks (group 1071 of " +
             kDxfShadingApp +
             ") were no 32-bit whole numbers; their faces are shaded by the angles between them.");
        mBadMasks = 0;
    }
    for (const auto& kind : mSkipped) {
        VString line(kind.second);
        line += " ";
        line += kind.first.c_str();
        line += kind.second == 1 ? " entity was" : " entities were";
        line += " not read: only POLYLINE, 3DFACE, SOLID, TRACE, LINE, MESH and INSERT are.";
        Warn(line);
    }
    mSkipped.clear();
}

VString VOxaReaderDxf::UniqueName(const char* name) {
    VOxaObjectName pair(name);
    mRenaming.Rename(pair);
    return VString(pair.GetCurrent());
}

int VOxaReaderDxf::GetLayerColor(const char* layer) {
    if (mLastLayerValid && mLastLayer == layer) return mLastLayerColour;
    mLastLayer = layer;
    mLastLayerColour = (int)mLayerTable.Find(layer);
    mLastLayerValid = true;
    return mLastLayerColour;
}

int VOxaReaderDxf::ResolveColour(int own, const char* layer, int trueColour) {
    if (trueColour >= 0 && trueColour <= 0xFFFFFF) return kDxfTrueColour + trueColour;
    long long colour = own;
    if (own == 0 || own == 256) colour = std::llabs((long long)GetLayerColor(layer));
    return colour >= 1 && colour <= 255 ? (int)colour : 0;
}

void VOxaReaderDxf::ValidateMaterialCache() {
    bool any = false;
    for (VOxaMaterial* m : mMaterialCache)
        any = any || m;
    if (!any && mTrueColourMaterials.empty()) return;
    std::unordered_set<VOxaMaterial*> held;
    const int count = mManager ? mManager->GetMaterialCount() : 0;
    for (int i = 0; i < count; ++i)
        held.insert(mManager->GetMaterial(i));
    for (VOxaMaterial*& m : mMaterialCache)
        if (m && !held.count(m)) m = nullptr;
    for (auto it = mTrueColourMaterials.begin(); it != mTrueColourMaterials.end();)
        it = held.count(it->second) ? std::next(it) : mTrueColourMaterials.erase(it);
}

VOxaMaterial* VOxaReaderDxf::GetColourMaterial(int number) {
    if (number >= kDxfTrueColour && number <= kDxfTrueColour + 0xFFFFFF && mManager) {
        VOxaMaterial*& cached = mTrueColourMaterials[number];
        if (!cached) {
            VString name("Material");
            name += mMaterialCounter;
            VOxaMaterial* material = mManager->CreateMaterial(name.Buffer());
            if (!material) return nullptr;
            ++mMaterialCounter;
            const int rgb = number - kDxfTrueColour;
            voxa_obj::StateColourAlone(material);
            material->SetDiffuse(
                VOxaColor(((rgb >> 16) & 255) / 255.0, ((rgb >> 8) & 255) / 255.0, (rgb & 255) / 255.0, 1.0));
            cached = material;
        }
        return cached;
    }
    if (number < 0 || number > 255 || !mManager) return nullptr;
    if (!mMaterialCache[number]) {
        VString name("Material");
        name += mMaterialCounter;
        VOxaMaterial* material = mManager->CreateMaterial(name.Buffer());
        if (!material) return nullptr;
        ++mMaterialCounter;
        VOxaColor colour(1.0, 1.0, 1.0, 1.0);
        AciToColor(number, colour);
        // A colour number states the colour alone.
        voxa_obj::StateColourAlone(material);
        material->SetDiffuse(colour);
        mMaterialCache[number] = material;
    }
    return mMaterialCache[number];
}

// ---- Read ----------------------------------------------------------------------------------------

bool VOxaReaderDxf::Read(VOxaScene* scene, VStreamOptions* options) {
    if (!mFile.IsOpen()) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (!options || !options->IsA(VStreamOptionsDxf::ClassId)) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    VOxaNode* parent = scene ? scene->GetRootNode() : nullptr;
    if (!parent || !mManager) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    auto* dxfOptions = static_cast<VStreamOptionsDxf*>(options);
    mGroupingMode = dxfOptions->GetLayerBlockEntityMode();
    mWeld = dxfOptions->GetOptionValue(VStreamOptionsDxf::eWELD_VERTICES) == 1;
    mCreateReferenceNode = dxfOptions->GetOptionValue(VStreamOptionsDxf::eCREATE_REFERENCE_NODE) == 1;

    ValidateMaterialCache();
    mBlocksBeingRead.clear();
    mBlockInstances = 0;
    mBlockGroupsRead = 0;
    // Block references may read a block many times; the instances they make and the groups they
    // read are bounded in proportion to the file, so that a small file cannot ask for a scene
    // out of all proportion to it (blocks inserting grids of blocks, say).
    const int64_t size = mFile.GetSize();
    mBlockInstanceLimit =
        (int)std::min<int64_t>(kMaxBlockInstances, std::max<int64_t>(kMinBlockInstances, size / 4));
    mBlockGroupBudget = std::min(std::max<int64_t>((int64_t)1 << 22, size / 2),
                                 std::max<int64_t>(kMinBlockGroups, size * 16));
    mWarnings = 0;
    mBadExtrusions = 0;
    mBadThickness = 0;
    mSkipped.clear();
    mFaceRecordsOutside = 0;
    mUnreadVertices = 0;
    mBadMasks = 0;
    mLayoutEntities = 0;
    mPointFaces = 0;

    if (mCreateReferenceNode) {
        VString name = GetFileName(mFileName.Buffer(), false) + "_root";
        VOxaNode* reference = mManager->CreateNode(name.Buffer());
        if (reference) {
            parent->AddChild(reference);
            parent = reference;
        }
    }

    int code = -1;
    char value[kDxfLineSize] = "";
    // A file that ends before its entities have been read is cut short: "File is corrupted", the
    // line and the section it ends in.
    std::string section;
    auto cut = [&]() {
        std::string what = "the file ends ";
        what += section.empty() ? "before its ENTITIES section" : "inside its " + section + " section";
        return Corrupted(what.c_str());
    };
    // The code page of the names that follow (the HEADER comes first). Version AC1021 and later
    // hold UTF-8 whatever page the header names.
    mCodePage = kDxfNoCodePage;
    int namedPage = kDxfNoCodePage;
    bool utf8Version = false;
    for (;;) {
        if (!ReadGroup(code, value)) return cut();
        if (Is(value, "EOF")) return true;
        if (code == 9 && (Is(value, "$DWGCODEPAGE") || Is(value, "$ACADVER"))) {
            const bool page = Is(value, "$DWGCODEPAGE");
            if (!ReadGroup(code, value)) return cut();
            if (page)
                namedPage = DxfCodePageOf(value);
            else
                utf8Version = std::strcmp(value, "AC1021") >= 0;  // as versions compare as text
            mCodePage = utf8Version ? kDxfUtf8 : namedPage;
            continue;
        }
        if (code == 9 && Is(value, "$INSUNITS")) {
            // The drawing's unit becomes the scene's; the coordinates are kept as they are.
            if (!ReadGroup(code, value)) return cut();
            // A unit code is a whole number of the table, and nothing else: "1e308" is no 1.
            int units = -1;
            const char* text = mFile.ValueLine(value);
            size_t end = std::strlen(text);
            while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
                --end;
            size_t digits = text[0] == '-' || text[0] == '+' ? 1 : 0;
            while (digits < end && text[digits] >= '0' && text[digits] <= '9')
                ++digits;
            const bool whole = digits == end && DxfParseInt(text, end, units);
            if (code == 70 && whole && (units == 0 || DxfUnitCentimetres(units) > 0.0)) {
                scene->SetSystemUnit(DxfUnitCentimetres(units));
            } else {
                Warn(VString("The drawing unit \"") +
                     VString(std::string(text, std::min<size_t>(end, 40)).c_str()) + "\" ($INSUNITS, line " +
                     VString(std::to_string(mFile.LineAt(mFile.Tell() - 1)).c_str()) +
                     ") is not a unit code; it was not kept.");
            }
            continue;
        }
        if (code == 0 && Is(value, "ENDSEC")) section.clear();
        if (code != 0 || !Is(value, "SECTION")) continue;
        if (!ReadGroup(code, value)) return cut();
        if (code != 2) continue;
        section.assign(value, strnlen(value, 64));
        if (Is(value, "TABLES")) {
            if (!ReadTables()) return cut();
            section.clear();
        } else if (Is(value, "BLOCKS")) {
            if (mBlocksPosition != mFile.Tell()) {
                mBlocksPosition = mFile.Tell();
                mBlockIndexBuilt = false;
            }
        } else if (Is(value, "ENTITIES")) {
            break;
        }
    }
    // Block references that fan out past the bounds are refused before anything is built.
    if (!CheckBlockReferences()) {
        if (parent != scene->GetRootNode()) {
            scene->GetRootNode()->RemoveChild(parent);
            mManager->DestroyNode(parent);
        }
        return false;
    }
    bool ok;
    switch (mGroupingMode) {
        case VStreamOptionsDxf::eBY_ENTITY:
            ok = ReadEntitiesByEntity(parent);
            break;
        case VStreamOptionsDxf::eBY_BLOCK:
            ok = ReadEntitiesAsBlock(parent);
            break;
        default:
            ok = ReadEntitiesByLayer(parent);
            break;
    }
    ReportSkipped();
    if (!ok) return cut();
    return true;
}

bool VOxaReaderDxf::ReadTables() {
    mLastLayerValid = false;
    // Name and colour carry over from one LAYER entry to the next.
    char name[kDxfLineSize] = "";
    int colour = 0;
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        if (!ReadGroup(code, value)) return false;
        if (code != 0) continue;
        if (Is(value, "ENDSEC")) return true;
        if (!Is(value, "TABLE")) continue;
        if (!ReadGroup(code, value)) return false;
        const bool layers = code == 2 && Is(value, "LAYER");
        bool inEntry = false;
        for (;;) {
            if (!ReadGroup(code, value)) return false;
            if (code == 0) {
                if (inEntry && name[0]) mLayerTable.Add(name, colour);
                inEntry = layers && Is(value, "LAYER");
                if (Is(value, "ENDTAB")) break;
            } else if (inEntry) {
                if (code == 2) TakeName(name, value);
                if (code == 62) DxfParseInt(value, colour);
            }
        }
    }
}

// ---- Walkers -------------------------------------------------------------------------------------

bool VOxaReaderDxf::ReadEntitiesByEntity(VOxaNode* parent) {
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        if (!ReadGroup(code, value)) return false;
        if (code != 0) continue;
        if (Is(value, "ENDSEC") || Is(value, "ENDBLK")) return true;
        const bool polyline = Is(value, "POLYLINE"), face = Is(value, "3DFACE"), line = Is(value, "LINE");
        const bool solid = Is(value, "SOLID") || Is(value, "TRACE");
        const bool subdivision = Is(value, "MESH");
        const bool insert = Is(value, "INSERT");
        if ((polyline || face || line || solid || subdivision || insert) && OnLayoutSheet()) continue;
        if (polyline || face || line || solid || subdivision) {
            VString name = UniqueName(value);
            VOxaNode* node = mManager->CreateNode(name.Buffer());
            if (!node) return false;
            VOxaMesh* mesh = polyline          ? ReadPolylineMesh()
                             : (face || solid) ? Read3DFaceMesh(solid)
                             : subdivision     ? ReadMeshMesh()
                                               : ReadLineMesh();
            if (mesh) {
                // A LINE is drawn as a line; one with a thickness is a face.
                if (line && mesh->GetControlPointsCount() == 2) node->SetShadingMode(1);
                node->SetNodeAttribute(mesh);
                parent->AddChild(node);
            } else {
                mManager->DestroyNode(node);
            }
        } else if (insert) {
            ReadInsert(parent, VgeTVector());
        } else {
            Skipped(value);
        }
    }
}

bool VOxaReaderDxf::ReadEntitiesByLayer(VOxaNode* parent) {
    LayerGroups groups;
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        if (!ReadGroup(code, value)) return false;
        if (code != 0) continue;
        if (Is(value, "ENDSEC") || Is(value, "ENDBLK")) break;
        if (IsReadEntity(value) && OnLayoutSheet()) continue;
        if (Is(value, "POLYLINE"))
            ReadPolylineIntoGroup(groups);
        else if (Is(value, "3DFACE"))
            Read3DFaceIntoGroup(groups, false);
        else if (Is(value, "SOLID") || Is(value, "TRACE"))
            Read3DFaceIntoGroup(groups, true);
        else if (Is(value, "LINE"))
            ReadLineIntoGroup(groups);
        else if (Is(value, "MESH"))
            ReadMeshIntoGroup(groups);
        else if (Is(value, "INSERT"))
            ReadInsert(parent, VgeTVector());
        else
            Skipped(value);
    }
    const int count = groups.GetCount();
    for (int i = 0; i < count; ++i) {
        const char* layer = nullptr;
        DxfGeometryGroup* group = groups.GetAt(i, &layer);
        if (!group) continue;
        VOxaMesh* mesh = BuildMesh(*group);
        group->Release();
        if (!mesh) continue;
        VString name = UniqueName(layer);
        VOxaNode* node = mManager->CreateNode(name.Buffer());
        if (!node) {
            mManager->DestroyNodeAttribute(mesh);
            continue;
        }
        node->SetNodeAttribute(mesh);
        if (GetLayerColor(layer) < 0) node->SetVisibility(false);
        parent->AddChild(node);
    }
    return true;
}

// ---- Entities ------------------------------------------------------------------------------------

namespace {

// The groups of a 3DFACE, SOLID, TRACE or LINE: layer, four corners (a LINE uses two), own
// colour, extrusion direction.
struct DxfEntityFields {
    char layer[kDxfLineSize];
    double corner[4][3] = {};
    double extrusion[3] = {0.0, 0.0, 1.0};
    double thickness = 0.0;
    int64_t extrusionAt = -1;  // where the first extrusion group starts, -1 without one
    int colour = 0;
    int trueColour = -1;
    int edges = 0;  // a 3DFACE's hidden edges: 1, 2, 4, 8 the first to the fourth
    DxfEntityFields() { std::memcpy(layer, kDefaultLayer, sizeof kDefaultLayer); }

    VgeTVector Scene(int k) const { return DxfToScenePoint(corner[k][0], corner[k][1], corner[k][2]); }
    // A SOLID or TRACE lists its corners 1, 2, 4, 3 around its outline, in the coordinate system
    // of its extrusion direction: put them in order, in world coordinates. The system turns the
    // whole face, its facing included (a direction of (0, 0, -1) mirrors x and z).
    void SolidToWorld() {
        for (int a = 0; a < 3; ++a)
            std::swap(corner[2][a], corner[3][a]);
        const DxfOcs ocs(extrusion[0], extrusion[1], extrusion[2]);
        if (ocs.IsWorld()) return;
        for (double* c : corner) {
            const double in[3] = {c[0], c[1], c[2]};
            ocs.ToWorld(in, c);
        }
    }
    bool Same(int a, int b) const {
        return corner[a][0] == corner[b][0] && corner[a][1] == corner[b][1] && corner[a][2] == corner[b][2];
    }
    // A 3DFACE that repeats a corner at its next (the fourth the third, or any other pair in turn)
    // is the triangle of its other three corners. It is put in the form of a triangle that repeats
    // its third corner: the three corners in their turning, then the third again, and the flags of
    // the edges between them (the closing edge as the fourth). The zero-length edge goes.
    void JoinRepeatedCorner() {
        if (Same(3, 2)) return;
        int twin = -1;  // the corner that repeats the one before it
        for (int k = 0; k < 4 && twin < 0; ++k)
            if (Same(k, (k + 3) % 4)) twin = k;
        if (twin < 0) return;
        double kept[3][3];
        int hidden = 0, n = 0;
        for (int k = 0; k < 4; ++k) {
            if (k == twin) continue;
            std::memcpy(kept[n], corner[k], sizeof kept[n]);
            // The edge from the corner before the twin runs from the twin's place on.
            const int edge = (k + 1) % 4 == twin ? twin : k;
            if (edges & (1 << edge)) hidden |= n == 2 ? 8 : 1 << n;
            ++n;
        }
        for (int k = 0; k < 3; ++k)
            std::memcpy(corner[k], kept[k], sizeof kept[k]);
        std::memcpy(corner[3], kept[2], sizeof kept[2]);
        edges = hidden;
    }
};

}  // namespace

// Reads the groups of a 3DFACE (corners 10-13, 20-23, 30-33) or a LINE (start 10/20/30, end
// 11/21/31) up to the next code 0 and puts the file back to that group. False when the file ends.
static bool ReadEntityFields(VOxaReaderDxf& reader, VDxfGroupReader& file, DxfEntityFields& f) {
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        const int64_t position = file.Tell();
        if (!reader.ReadGroup(code, value)) return false;
        if (code == 0) return file.Seek(position);
        if (code == 8) {
            reader.TakeName(f.layer, value);
        } else if (code == 62) {
            DxfParseInt(value, f.colour);
        } else if (code == 420) {
            DxfParseInt(value, f.trueColour);
        } else if (code == 70) {
            DxfParseInt(value, f.edges);
        } else if (code >= 10 && code <= 33 && code % 10 <= 3) {
            DxfParseReal(value, f.corner[code % 10][code / 10 - 1]);
        } else if (code == 210 || code == 220 || code == 230) {
            DxfParseReal(value, f.extrusion[code / 10 - 21]);
            if (f.extrusionAt < 0) f.extrusionAt = position;
        } else if (code == 39) {
            DxfParseReal(value, f.thickness);
        }
    }
}

bool VOxaReaderDxf::CheckExtrusion(double extrusion[3], int64_t at, const char* kind) {
    const double x = extrusion[0], y = extrusion[1], z = extrusion[2];
    const double length = std::sqrt(x * x + y * y + z * z);
    if (length > 0.0 && std::isfinite(length)) return true;
    // Not a number, infinite, of no length, or too long to be made a unit direction.
    if (++mBadExtrusions <= kExtrusionWarnings) {
        char text[256];
        std::snprintf(text, sizeof text,
                      "The extrusion direction (%.15g, %.15g, %.15g) of %s at line %lld is not a direction; "
                      "(0, 0, 1) was taken.",
                      x, y, z, kind, (long long)(at >= 0 ? mFile.LineAt(at) : 0));
        Warn(VString(text));
    }
    extrusion[0] = extrusion[1] = 0.0;
    extrusion[2] = 1.0;
    return false;
}

void VOxaReaderDxf::BadMask(const char* value, int64_t at) {
    if (mBadMasks < INT_MAX) ++mBadMasks;
    if (mBadMasks > kExtrusionWarnings) return;
    Warn(VString("The smoothing mask \"") +
         VPrintableText(std::string(value, strnlen(value, 64)).c_str()).c_str() + "\" (group 1071 of " +
         kDxfShadingApp + ") at line " + std::to_string(mFile.LineAt(at)).c_str() +
         " is no 32-bit whole number; its face is shaded by the angles between the faces.");
}

bool VOxaReaderDxf::Thickness(double thickness, const double extrusion[3], VgeTVector& offset) {
    if (thickness == 0.0) return false;
    const double length =
        std::sqrt(extrusion[0] * extrusion[0] + extrusion[1] * extrusion[1] + extrusion[2] * extrusion[2]);
    const double k = thickness / length;
    offset = DxfToScenePoint(extrusion[0] * k, extrusion[1] * k, extrusion[2] * k);
    offset.mData[3] = 0.0;
    if (std::isfinite(offset[0]) && std::isfinite(offset[1]) && std::isfinite(offset[2])) return true;
    if (++mBadThickness <= kExtrusionWarnings)
        Warn(VString("A thickness that is not a finite number was not applied."));
    return false;
}

namespace {

// The hidden edges of a 3DFACE of s corners (bit j: the edge from corner j) from its flags. A
// triangle repeats its third corner: its closing edge is the fourth.
unsigned FaceHiddenEdges(int flags, int s) {
    unsigned hidden = (unsigned)flags & 3u;
    if (s == 4) return hidden | ((unsigned)flags & 12u);
    return hidden | ((flags & 8) ? 4u : 0u);
}

VgeTVector Moved(const VgeTVector& p, const VgeTVector& offset) {
    return VgeTVector(p[0] + offset[0], p[1] + offset[1], p[2] + offset[2], p[3]);
}

// Appends to the group the closed prism that an outline of `count` corners (indices into the
// group's points, in order around it) makes when moved by `offset`: the outline, its copy at the
// offset, and a quadrangle per edge, every face turned outwards.
void AppendPrism(DxfGeometryGroup& group, const int* base, int count, const VgeTVector& offset, int colour,
                 bool weld) {
    int top[4];
    for (int k = 0; k < count; ++k)
        if (base[k] < 0) return;  // the group is full
    for (int k = 0; k < count; ++k)
        top[k] = group.WeldPoint(Moved(group.mPoints[(size_t)base[k]], offset), weld);
    // The outline's normal (Newell's) against the offset: the face the offset leaves behind is
    // turned to face away from it.
    double normal[3] = {0.0, 0.0, 0.0};
    for (int k = 0; k < count; ++k) {
        const VgeTVector& p = group.mPoints[(size_t)base[k]];
        const VgeTVector& q = group.mPoints[(size_t)base[(k + 1) % count]];
        normal[0] += (p[1] - q[1]) * (p[2] + q[2]);
        normal[1] += (p[2] - q[2]) * (p[0] + q[0]);
        normal[2] += (p[0] - q[0]) * (p[1] + q[1]);
    }
    const bool up = normal[0] * offset[0] + normal[1] * offset[1] + normal[2] * offset[2] >= 0.0;
    std::vector<int>& f = group.mFaces;
    f.push_back(count);
    f.push_back(colour);
    for (int k = 0; k < count; ++k)
        f.push_back(up ? base[count - 1 - k] : base[k]);
    f.push_back(count);
    f.push_back(colour);
    for (int k = 0; k < count; ++k)
        f.push_back(up ? top[k] : top[count - 1 - k]);
    for (int k = 0; k < count; ++k) {
        const int n = (k + 1) % count;
        if (up)
            f.insert(f.end(), {4, colour, base[k], base[n], top[n], top[k]});
        else
            f.insert(f.end(), {4, colour, base[k], top[k], top[n], base[n]});
    }
}

}  // namespace

void VOxaReaderDxf::Read3DFaceIntoGroup(IGroupSource& groups, bool solid) {
    DxfEntityFields f;
    if (!ReadEntityFields(*this, mFile, f)) return;
    VgeTVector offset;
    const bool thick = solid && CheckExtrusion(f.extrusion, f.extrusionAt, "a SOLID or TRACE") &&
                       Thickness(f.thickness, f.extrusion, offset);
    if (solid) f.SolidToWorld();
    const VgeTVector c0 = f.Scene(0);
    if (!thick && f.Scene(1) == c0 && f.Scene(2) == c0) {
        // A point, not a face, at the tolerance points are welded by; so also with a fourth
        // corner elsewhere, which joining the repeated corners would make a face of no area.
        if (mPointFaces < INT_MAX) ++mPointFaces;
        return;
    }
    if (!solid) f.JoinRepeatedCorner();
    DxfGeometryGroup* group = groups.GroupFor(f.layer);
    const int colour = ResolveColour(f.colour, f.layer, f.trueColour);
    if (colour > 0) group->SetMaterialFlag();
    const bool triangle = f.corner[3][0] == f.corner[2][0] && f.corner[3][1] == f.corner[2][1] &&
                          f.corner[3][2] == f.corner[2][2];
    const int s = triangle ? 3 : 4;
    VgeTVector corners[4];
    for (int k = 0; k < s; ++k) {
        corners[k] = f.Scene(k);
        // The corners' slots load together rather than one miss after the other.
        if (mWeld && group->mWeld.IsBuilt()) group->mWeld.Prefetch(corners[k]);
    }
    if (thick) {
        // A SOLID or TRACE with a thickness is the prism its outline sweeps along its extrusion.
        int base[4];
        for (int k = 0; k < s; ++k)
            base[k] = group->WeldPoint(corners[k], mWeld);
        AppendPrism(*group, base, s, offset, colour, mWeld);
        return;
    }
    group->mFaces.push_back(s);
    group->mFaces.push_back(colour | (int)((solid ? 0u : FaceHiddenEdges(f.edges, s)) << kHiddenEdgesShift));
    for (int k = 0; k < s; ++k)
        group->mFaces.push_back(group->WeldPoint(corners[k], mWeld));
}

void VOxaReaderDxf::ReadLineIntoGroup(IGroupSource& groups) {
    DxfEntityFields f;
    if (!ReadEntityFields(*this, mFile, f)) return;
    DxfGeometryGroup* group = groups.GroupFor(f.layer);
    VgeTVector offset;
    if (CheckExtrusion(f.extrusion, f.extrusionAt, "a LINE") && Thickness(f.thickness, f.extrusion, offset)) {
        // A LINE with a thickness is the quadrangle it sweeps along its extrusion direction.
        const int colour = ResolveColour(f.colour, f.layer, f.trueColour);
        if (colour > 0) group->SetMaterialFlag();
        const VgeTVector start = f.Scene(0), end = f.Scene(1);
        const int a = group->WeldPoint(start, mWeld), b = group->WeldPoint(end, mWeld);
        const int c = group->WeldPoint(Moved(end, offset), mWeld),
                  d = group->WeldPoint(Moved(start, offset), mWeld);
        group->mFaces.insert(group->mFaces.end(), {4, colour, a, b, c, d});
        return;
    }
    const int colour = ResolveColour(f.colour, f.layer, f.trueColour);
    if (colour > 0) group->SetMaterialFlag();
    const VgeTVector start = f.Scene(0), end = f.Scene(1);
    // Both ends are looked up before either is added.
    int a = mWeld ? group->FindPoint(start) : -1;
    int b = mWeld ? group->FindPoint(end) : -1;
    if (a < 0) a = group->AppendPoint(start);
    if (b < 0) b = group->AppendPoint(end);
    group->mFaces.insert(group->mFaces.end(), {3, colour, a, b, a});
}

// A MESH (a subdivision mesh of newer files) as its base cage: the vertices its count 92 names
// (groups 10, 20, 30 each), the faces of its face list (93 items of groups 90: a corner count,
// then that many vertex indices). Subdivision levels, edges, creases and overridden properties
// are passed over. Counts are never trusted beyond the groups that follow them.
void VOxaReaderDxf::ReadMeshIntoGroup(IGroupSource& groups) {
    char layer[kDxfLineSize];
    std::memcpy(layer, kDefaultLayer, sizeof kDefaultLayer);
    int own = 0, trueColour = -1;
    bool mesh = false;  // in the mesh's own groups (after its subclass marker)
    long long vertexCount = -1, listSize = -1, listLeft = 0;
    bool taking = false;      // the vertex being read is kept
    std::vector<double> xyz;  // the vertices read, three values each
    std::vector<int> list;    // the face list's items
    int code = -1;
    char value[kDxfLineSize] = "";
    for (;;) {
        const int64_t position = mFile.Tell();
        if (!ReadGroup(code, value)) return;
        if (code == 0) {
            mFile.Seek(position);
            break;
        }
        if (code == 100) mesh = Is(value, "AcDbSubDMesh");
        if (code == 8) TakeName(layer, value);
        if (code == 62) DxfParseInt(value, own);
        if (code == 420 && !mesh) DxfParseInt(value, trueColour);
        if (!mesh) continue;
        int number = 0;
        if (code == 92 && vertexCount < 0) {
            vertexCount = DxfParseInt(value, number) && number >= 0 ? number : 0;
        } else if (code >= 10 && code <= 30 && code % 10 == 0 && vertexCount >= 0 && listSize < 0) {
            // A vertex starts at its 10 group; 20 and 30 fill it. Vertices past the count are
            // passed over.
            if (code == 10) {
                taking = (long long)xyz.size() / 3 < vertexCount;
                if (taking) xyz.insert(xyz.end(), {0.0, 0.0, 0.0});
            }
            if (taking) DxfParseReal(value, xyz[xyz.size() - 3 + (size_t)(code / 10 - 1)]);
        } else if (code == 93 && listSize < 0) {
            listSize = DxfParseInt(value, number) && number >= 0 ? number : 0;
            listLeft = listSize;
        } else if (code == 90 && listLeft > 0) {
            --listLeft;
            list.push_back(DxfParseInt(value, number) ? number : -1);
        } else if (listSize >= 0) {
            listLeft = 0;  // the list ends at the first group of another kind
        }
    }
    if (!mesh) return;
    const long long found = (long long)xyz.size() / 3;
    if (vertexCount > found || (long long)list.size() < listSize)
        Warn(VString("A MESH names ") + VString((int)std::min<long long>(vertexCount, INT_MAX)) +
             " vertices and a face list of " +
             VString((int)std::min<long long>(std::max(listSize, 0LL), INT_MAX)) + " items but holds " +
             VString((int)found) + " and " + VString((int)list.size()) + "; what it holds was read.");
    // The faces whose corners name vertices read, as corner count and indices.
    std::vector<int> faces;
    int dropped = 0;
    for (size_t pos = 0; pos < list.size();) {
        const long long corners = list[pos];
        if (corners < 0 || corners > (long long)(list.size() - pos - 1)) {
            ++dropped;
            break;
        }
        bool inside = corners >= 2;
        for (size_t j = pos + 1; j <= pos + (size_t)corners; ++j)
            inside = inside && list[j] >= 0 && list[j] < found;
        if (inside)
            faces.insert(faces.end(), list.begin() + (std::ptrdiff_t)pos,
                         list.begin() + (std::ptrdiff_t)(pos + 1 + (size_t)corners));
        else if (corners > 0)
            ++dropped;
        pos += 1 + (size_t)corners;
    }
    if (dropped > 0)
        Warn(VString(dropped) + (dropped == 1 ? " MESH face names" : " MESH faces name") +
             " a vertex the mesh does not have, or is cut short, and " + (dropped == 1 ? "was" : "were") +
             " not read.");
    if (faces.empty()) return;
    DxfGeometryGroup* group = groups.GroupFor(layer);
    const int colour = ResolveColour(own, layer, trueColour);
    if (colour > 0) group->SetMaterialFlag();
    const int base = group->GetPointCount();
    for (long long k = 0; k < found; ++k)
        if (group->AppendPoint(
                DxfToScenePoint(xyz[(size_t)k * 3], xyz[(size_t)k * 3 + 1], xyz[(size_t)k * 3 + 2])) < 0)
            return;
    for (size_t pos = 0; pos < faces.size();) {
        const int corners = faces[pos];
        group->mFaces.push_back(corners);
        group->mFaces.push_back(colour);
        for (int j = 1; j <= corners; ++j)
            group->mFaces.push_back(base + faces[pos + (size_t)j]);
        pos += 1 + (size_t)corners;
    }
}

VOxaMesh* VOxaReaderDxf::ReadMeshMesh() {
    DxfGeometryGroup group;
    SingleGroup source(group);
    ReadMeshIntoGroup(source);
    return group.mFaces.size() > 2 ? BuildMesh(group) : nullptr;
}

// The header of a POLYLINE, read up to the group that ends it (left in `value`).
struct VOxaReaderDxf::PolylineHeader {
    char layer[kDxfLineSize];
    int own = 0, flags = 0, m = 0, n = 0;
    int trueColour = -1;
    double thickness = 0.0;
    double extrusion[3] = {0.0, 0.0, 1.0};
    int64_t extrusionAt = -1;
    PolylineHeader() { std::memcpy(layer, kDefaultLayer, sizeof kDefaultLayer); }
    // A polygon mesh: M x N vertices in rows of N.
    bool PolygonMesh() const { return (flags & 16) != 0 && (flags & 64) == 0; }
    // Neither a 3D polyline, a polygon mesh nor a polyface mesh: a 2D outline, which gives nothing.
    bool Flat() const { return (flags & (8 | 16 | 64)) == 0; }
};

bool VOxaReaderDxf::ReadPolylineHeader(PolylineHeader& h, int& code, char* value) {
    for (;;) {
        const int64_t position = mFile.Tell();
        if (!ReadGroup(code, value)) return false;
        if (code == 0) return true;
        if (code == 39) DxfParseReal(value, h.thickness);
        if (code == 210 || code == 220 || code == 230) {
            DxfParseReal(value, h.extrusion[code / 10 - 21]);
            if (h.extrusionAt < 0) h.extrusionAt = position;
        }
        if (code == 8) TakeName(h.layer, value);
        if (code == 62) DxfParseInt(value, h.own);
        if (code == 420) DxfParseInt(value, h.trueColour);
        if (code == 70) DxfParseInt(value, h.flags);
        if (code == 71) DxfParseInt(value, h.m);
        if (code == 72) DxfParseInt(value, h.n);
    }
}

void VOxaReaderDxf::ReadPolylineVertices(DxfGeometryGroup& group, const PolylineHeader& h, int colour,
                                         const char* value) {
    const int base = group.GetPointCount();
    const size_t firstFace = group.mFaces.size();
    const size_t firstMask = group.mMasks.size();
    if (Is(value, "VERTEX")) {
        while (ReadVertex(group, base, colour, h)) {
        }
    }
    if (h.Flat()) Skipped("POLYLINE (2D)");
    const int last = group.GetPointCount() - 1;
    // A face record names the vertices of its own polyline: one naming a vertex beyond them would
    // take a point of another entity of the group, and is dropped.
    std::vector<int>& faces = group.mFaces;
    size_t kept = firstFace, maskAt = firstMask, maskKept = firstMask;
    for (size_t pos = firstFace; pos < faces.size();) {
        const size_t length = 2 + (size_t)faces[pos];
        const bool masked = (faces[pos + 1] & kMaskedFace) != 0 && maskAt < group.mMasks.size();
        bool inside = true;
        for (size_t j = pos + 2; j < pos + length; ++j)
            inside = inside && faces[j] >= base && faces[j] <= last;
        if (inside) {
            if (kept != pos)
                std::copy(faces.begin() + (std::ptrdiff_t)pos, faces.begin() + (std::ptrdiff_t)(pos + length),
                          faces.begin() + (std::ptrdiff_t)kept);
            kept += length;
            if (masked) group.mMasks[maskKept++] = group.mMasks[maskAt];
        } else {
            if (mFaceRecordsOutside < INT_MAX) ++mFaceRecordsOutside;
        }
        if (masked) ++maskAt;
        pos += length;
    }
    faces.resize(kept);
    group.mMasks.resize(maskKept);
    if (h.PolygonMesh()) {
        // Quadrangles between rows i, i + 1 and columns j, j + 1, and with the closed flags (1 in
        // M, 32 in N) between the last row or column and the first. The vertices must be there.
        const long long m = h.m, n = h.n, count = (long long)last - base + 1;
        if (m < 2 || n < 2 || m * n > count) {
            Warn(VString("A polygon mesh of ") + VString((int)std::min<long long>(m, INT_MAX)) + " x " +
                 VString((int)std::min<long long>(n, INT_MAX)) + " vertices has " + VString((int)count) +
                 "; it was not read.");
            return;
        }
        if (colour > 0) group.SetMaterialFlag();
        const long long rows = (h.flags & 1) ? m : m - 1, columns = (h.flags & 32) ? n : n - 1;
        auto at = [&](long long i, long long j) { return (int)(base + (i % m) * n + (j % n)); };
        group.mFaces.reserve(group.mFaces.size() + (size_t)(rows * columns * 6));
        for (long long i = 0; i < rows; ++i)
            for (long long j = 0; j < columns; ++j)
                group.mFaces.insert(group.mFaces.end(),
                                    {4, colour, at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
        return;
    }
    // A closed 3D polyline gets a segment from its last vertex back to its first.
    if (h.flags == 9 && last - base >= 1)
        group.mFaces.insert(group.mFaces.end(), {3, colour, base, last, base});
    double extrusion[3] = {h.extrusion[0], h.extrusion[1], h.extrusion[2]};
    VgeTVector offset;
    if ((h.flags & (16 | 64)) == 0 && (h.flags & 8) != 0 &&
        CheckExtrusion(extrusion, h.extrusionAt, "a POLYLINE") && Thickness(h.thickness, extrusion, offset)) {
        // With a thickness each segment (from vertex j to vertex i) is the quadrangle it sweeps
        // along the extrusion direction: a copy of every vertex at the offset, and the segments'
        // records made quadrangles.
        const int top = group.GetPointCount();
        for (int i = base; i <= last; ++i)
            if (group.AppendPoint(Moved(group.mPoints[(size_t)i], offset)) < 0) return;
        std::vector<int> swept;
        swept.reserve((faces.size() - firstFace) / 5 * 6);
        for (size_t pos = firstFace; pos < faces.size();) {
            const size_t length = 2 + (size_t)faces[pos];
            const int i = faces[pos + 2], j = faces[pos + 3];
            if (length == 5 && faces[pos + 4] == i)
                swept.insert(swept.end(), {4, faces[pos + 1], j, i, top + (i - base), top + (j - base)});
            else
                swept.insert(swept.end(), faces.begin() + (std::ptrdiff_t)pos,
                             faces.begin() + (std::ptrdiff_t)(pos + length));
            pos += length;
        }
        faces.resize(firstFace);
        faces.insert(faces.end(), swept.begin(), swept.end());
    }
}

void VOxaReaderDxf::ReadPolylineIntoGroup(IGroupSource& groups) {
    int code = -1;
    char value[kDxfLineSize] = "";
    PolylineHeader h;
    if (!ReadPolylineHeader(h, code, value)) return;
    DxfGeometryGroup* group = groups.GroupFor(h.layer);
    ReadPolylineVertices(*group, h, ResolveColour(h.own, h.layer, h.trueColour), value);
}

bool VOxaReaderDxf::ReadVertex(DxfGeometryGroup& group, int base, int colour, const PolylineHeader& h) {
    const bool polygonMesh = h.PolygonMesh();
    const int64_t start = mFile.Tell();  // after the record's VERTEX line
    int code = -1;
    char value[kDxfLineSize] = "";
    double x = 0, y = 0, z = 0;
    int flags = 0, k[4] = {0, 0, 0, 0};
    int trueColour = -1;
    const int inherited = colour;
    // A smoothing mask in the extended data of this toolkit's shading (application group 1001).
    bool shadingData = false, masked = false;
    uint32_t mask = 0;
    for (;;) {
        const int64_t at = mFile.Tell();
        value[0] = '\0';  // a blank value line leaves the buffer as it was: empty
        if (!ReadGroup(code, value)) return false;
        if (code == 0) break;
        switch (code) {
            case 1001:
                shadingData = Is(value, kDxfShadingApp);
                break;
            case 1071:
                if (!shadingData) break;
                if (ParseMask(mFile.ValueLine(value), mask)) {
                    masked = true;
                    break;
                }
                BadMask(mFile.ValueLine(value), at);
                break;
            case 10:
                DxfParseReal(value, x);
                break;
            case 20:
                DxfParseReal(value, y);
                break;
            case 30:
                DxfParseReal(value, z);
                break;
            case 62: {
                int own = 0;
                if (trueColour < 0 && DxfParseInt(value, own)) colour = VertexColour(own, inherited);
                break;
            }
            case 420:
                // A 24-bit colour of its own overrides its colour number.
                if (DxfParseInt(value, trueColour) && trueColour >= 0 && trueColour <= 0xFFFFFF)
                    colour = kDxfTrueColour + trueColour;
                else
                    trueColour = -1;
                break;
            case 70:
                DxfParseInt(value, flags);
                break;
            case 71:
            case 72:
            case 73:
            case 74:
                DxfParseInt(value, k[code - 71]);
                break;
            default:
                break;
        }
    }
    std::vector<int>& faces = group.mFaces;
    if (flags == 192) {
        group.AppendPoint(DxfToScenePoint(x, y, z));
    } else if (flags == 128) {
        if (colour > 0) group.SetMaterialFlag();
        if (k[0] != 0 && k[1] != 0) {
            int s = k[2] == 0 ? 2 : (k[3] != 0 ? 4 : 3);
            // A record of four that names a vertex twice in a row is the triangle of the other
            // three, as a 3DFACE repeating a corner is: the zero-length edge goes, and the edge
            // from the corner before the twin takes the twin's visibility.
            auto magnitude = [](int v) { return v < 0 ? -(long long)v : (long long)v; };
            for (int t = 0; s == 4 && t < 4; ++t) {
                const int before = (t + 3) % 4;
                if (magnitude(k[t]) != magnitude(k[before])) continue;
                int kept[3], n = 0;
                for (int j = 0; j < 4; ++j) {
                    if (j == t) continue;
                    int index = k[j];
                    if (j == before && (index < 0) != (k[t] < 0) && index != INT_MIN) index = -index;
                    kept[n++] = index;
                }
                std::copy(kept, kept + 3, k);
                k[3] = 0;
                s = 3;
            }
            // The corners in file order: a face is counter-clockwise seen from its front in
            // DXF as in the scene (the axis change is a rotation).
            // A negative index hides the edge from its corner to the next.
            unsigned hidden = 0;
            for (int j = 0; j < s && s > 2; ++j)
                if (k[j] < 0) hidden |= 1u << j;
            faces.push_back(s);
            faces.push_back(colour | (int)(hidden << kHiddenEdgesShift) | (masked ? kMaskedFace : 0));
            for (int j = 0; j < s; ++j)
                faces.push_back(FaceIndex(k[j], base));
            if (masked) group.mMasks.push_back(mask);
        }
    } else if (polygonMesh && (flags & 64) != 0 && (flags & 128) == 0) {
        group.AppendPoint(DxfToScenePoint(x, y, z));
    } else if (flags == 32) {
        const int i = group.AppendPoint(DxfToScenePoint(x, y, z));
        if (i > base) faces.insert(faces.end(), {3, colour, i, i - 1, i});
    } else if (!h.Flat()) {
        // A record its polyline does not take (a 2D outline's are not read at all).
        if (mUnreadVertices == 0) {
            mFirstUnreadAt = start;
            mFirstUnreadFlags = flags;
            mFirstUnreadKind = (h.flags & 64) ? "polyface mesh"
                               : polygonMesh  ? "polygon mesh"
                                              : "3D polyline";
        }
        if (mUnreadVertices < INT_MAX) ++mUnreadVertices;
    }
    return Is(value, "VERTEX");
}

VOxaMesh* VOxaReaderDxf::BuildMesh(DxfGeometryGroup& group) {
    VOxaMesh* mesh = mManager->CreateMesh();
    if (!mesh) return nullptr;
    const int count = group.GetPointCount();
    mesh->InitControlPoints(count);
    // Without room for the points (memory ran out, which the mesh counted) there is no mesh.
    if (mesh->GetControlPointsCount() != count || (count > 0 && !mesh->GetControlPoints())) {
        mManager->DestroyNodeAttribute(mesh);
        return nullptr;
    }
    if (count > 0)
        std::memcpy((void*)mesh->GetControlPoints(), group.mPoints.data(), sizeof(VgeTVector) * count);
    // The points live in the mesh now.
    std::vector<VgeTVector>().swap(group.mPoints);
    group.mWeld.Clear();
    if (group.HasMaterialFlag()) mesh->InitMaterialIndices(3);

    int table[256] = {};
    bool added[256] = {};
    std::unordered_map<int, int> trueTable;  // 24-bit colours and their indices
    const std::vector<int>& f = group.mFaces;
    const size_t size = f.size();
    // The polygons' smoothing masks, where faces carry them.
    std::vector<uint32_t> masks;
    std::vector<char> masked;
    size_t maskAt = 0;
    for (size_t pos = 2; pos < size;) {
        const int s = f[pos];
        if (s < 2 || size - pos < 2 + (size_t)s) {
            mManager->DestroyNodeAttribute(mesh);
            return nullptr;
        }
        const int colour = f[pos + 1] & kColourBits;
        const unsigned hidden = ((unsigned)f[pos + 1] >> kHiddenEdgesShift) & kHiddenEdgeBits;
        const bool hasMask = (f[pos + 1] & kMaskedFace) != 0 && maskAt < group.mMasks.size();
        const uint32_t mask = hasMask ? group.mMasks[maskAt++] : 0u;
        const int* indices = &f[pos + 2];
        pos += 2 + (size_t)s;
        // A record that names a point the group does not have is dropped.
        bool valid = true;
        for (int j = 0; j < s; ++j)
            valid = valid && indices[j] >= 0 && indices[j] < count;
        if (!valid) continue;
        if (hasMask || !masked.empty()) {
            // The polygons before the first that carries a mask carry none.
            masks.resize((size_t)mesh->GetPolygonCount(), 0u);
            masked.resize((size_t)mesh->GetPolygonCount(), 0);
            masks.push_back(mask);
            masked.push_back(hasMask ? 1 : 0);
        }
        int material = 0;
        if (colour > 0 && colour < 256) {
            if (!added[colour]) {
                added[colour] = true;
                int index = mesh->AddMaterial(GetColourMaterial(colour), 0);
                if (index != -1) table[colour] = index;
            }
            material = table[colour];
        } else if (colour >= kDxfTrueColour) {
            auto found = trueTable.find(colour);
            if (found == trueTable.end()) {
                const int index = mesh->AddMaterial(GetColourMaterial(colour), 0);
                found = trueTable.emplace(colour, index != -1 ? index : 0).first;
            }
            material = found->second;
        }
        // Hidden edges are kept where the scene keeps a face's edge visibility.
        mesh->BeginPolygon(material, -1, hidden ? voxa_extras::EdgeVisibilityGroup3ds(s, hidden) : -1);
        for (int j = 0; j < s; ++j)
            mesh->AddPolygonVertex(indices[j]);
        if (s == 2) mesh->AddPolygonVertex(indices[0]);
        mesh->EndPolygon();
    }
    group.mMasks.clear();
    DxfShadeMesh(mesh, masks, masked);
    return mesh;
}

VOxaMesh* VOxaReaderDxf::ReadPolylineMesh() {
    DxfGeometryGroup group;
    int code = -1;
    char value[kDxfLineSize] = "";
    PolylineHeader h;
    if (!ReadPolylineHeader(h, code, value)) return nullptr;
    if (!Is(value, "VERTEX")) {
        if (h.Flat()) Skipped("POLYLINE (2D)");
        return nullptr;
    }
    ReadPolylineVertices(group, h, ResolveColour(h.own, h.layer, h.trueColour), value);
    return BuildMesh(group);
}

// A thick entity of the entity mode: read again, into a group of its own, as the other modes read it.
VOxaMesh* VOxaReaderDxf::ReadThickMesh(int64_t start, bool line) {
    if (!mFile.Seek(start)) return nullptr;
    DxfGeometryGroup group;
    SingleGroup source(group);
    if (line)
        ReadLineIntoGroup(source);
    else
        Read3DFaceIntoGroup(source, true);
    return group.mFaces.size() > 2 ? BuildMesh(group) : nullptr;
}

VOxaMesh* VOxaReaderDxf::Read3DFaceMesh(bool solid) {
    DxfEntityFields f;
    const int64_t start = mFile.Tell();  // after the record's VERTEX line
    if (!ReadEntityFields(*this, mFile, f)) return nullptr;
    if (solid && f.thickness != 0.0) return ReadThickMesh(start, false);
    if (solid) CheckExtrusion(f.extrusion, f.extrusionAt, "a SOLID or TRACE");
    if (solid)
        f.SolidToWorld();
    else
        f.JoinRepeatedCorner();
    VOxaMesh* mesh = mManager->CreateMesh();
    if (!mesh) return nullptr;
    const bool triangle = f.corner[3][0] == f.corner[2][0] && f.corner[3][1] == f.corner[2][1] &&
                          f.corner[3][2] == f.corner[2][2];
    const int s = triangle ? 3 : 4;
    mesh->InitControlPoints(s);
    VgeTVector* points = mesh->GetControlPoints();
    for (int k = 0; k < s; ++k)
        points[k] = f.Scene(k);
    const int colour = ResolveColour(f.colour, f.layer, f.trueColour);
    int material = -1;
    if (colour > 0) {
        mesh->InitMaterialIndices(3);
        material = mesh->AddMaterial(GetColourMaterial(colour), 0);
    }
    const unsigned hidden = solid ? 0u : FaceHiddenEdges(f.edges, s);
    mesh->BeginPolygon(material, -1, hidden ? voxa_extras::EdgeVisibilityGroup3ds(s, hidden) : -1);
    for (int k = 0; k < s; ++k)
        mesh->AddPolygonVertex(k);
    mesh->EndPolygon();
    return mesh;
}

VOxaMesh* VOxaReaderDxf::ReadLineMesh() {
    DxfEntityFields f;
    const int64_t start = mFile.Tell();  // after the record's VERTEX line
    if (!ReadEntityFields(*this, mFile, f)) return nullptr;
    if (f.thickness != 0.0) return ReadThickMesh(start, true);
    CheckExtrusion(f.extrusion, f.extrusionAt, "a LINE");
    VOxaMesh* mesh = mManager->CreateMesh();
    if (!mesh) return nullptr;
    mesh->InitControlPoints(2);
    VgeTVector* points = mesh->GetControlPoints();
    points[0] = f.Scene(0);
    points[1] = f.Scene(1);
    const int colour = ResolveColour(f.colour, f.layer, f.trueColour);
    int material = -1;
    if (colour > 0) {
        mesh->InitMaterialIndices(3);
        material = mesh->AddMaterial(GetColourMaterial(colour), 0);
    }
    mesh->BeginPolygon(material);
    mesh->AddPolygonVertex(0);
    mesh->AddPolygonVertex(1);
    mesh->AddPolygonVertex(0);
    mesh->EndPolygon();
    return mesh;
}
