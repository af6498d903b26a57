#include "formats/geometry/dxf/voxa_writer_dxf.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "attributes/voxa_face_flags.h"
#include "attributes/voxa_geometry_converter.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "base/vge_matrix.h"
#include "base/vge_polygon.h"
#include "base/vprintable_text.h"
#include "formats/geometry/dxf/voxa_dxf_units.h"
#include "formats/geometry/voxa_geometry_deform.h"
#include "formats/geometry/voxa_geometry_write.h"
#include "formats/geometry/voxa_material_extras.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace {

// A node's name as a layer name, in UTF-8: without its type prefix ("Model::"), each character
// that table names may not hold (< > / \ " : ; ? * | = ' `, and the characters no name holds:
// controls, direction marks) replaced by "_", and so is a blank at either end (readers trim the
// value line; blanks inside stay). An empty name becomes "Name". A name that is no UTF-8 is read
// in legacy code page `legacyPage`; `lost` (when not null) counts its bytes that hold no
// character there.
std::string LayerText(VOxaNode* node, int legacyPage, int* lost = nullptr) {
    const std::string own = node->GetNameWithoutPrefix();
    if (lost) *lost = 0;
    std::string name =
        DxfCleanName(VIsUtf8(own) ? own.c_str() : DxfLegacyNameToUtf8(own.c_str(), legacyPage, lost).c_str());
    const size_t last = name.size() - 1;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (std::strchr("<>/\\\":;?*|='`", c) || (c == ' ' && (i == 0 || i == last))) name[i] = '_';
    }
    if (name.empty()) name = "Name";
    return name;
}

// The nodes that give layers: those whose attribute is or becomes a mesh.
bool GivesLayer(VOxaNode* node) {
    const VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute) return false;
    const int type = attribute->GetAttributeType();
    return type == VOxaNodeAttribute::eMesh || type == VOxaNodeAttribute::eNurb ||
           type == VOxaNodeAttribute::ePatch;
}

// A layer name folded as readers compare table names: upper-case letters of ASCII, Latin-1,
// Latin Extended-A, Greek and Cyrillic to lower case.
std::string FoldCase(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char b = (unsigned char)utf8[i];
        uint32_t c = b;
        size_t n = 1;
        if (b >= 0xC0 && b < 0xE0 && i + 1 < utf8.size()) {
            c = ((b & 0x1Fu) << 6) | ((unsigned char)utf8[i + 1] & 0x3Fu);
            n = 2;
        }
        if (n == 1) {
            out += (char)(b >= 'A' && b <= 'Z' ? b + 32 : b);
            ++i;
            continue;
        }
        if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
            (c >= 0x410 && c <= 0x42F))
            c += 0x20;
        else if (c >= 0x400 && c <= 0x40F)
            c += 0x50;
        else if (((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && c % 2 == 0)
            c += 1;
        else if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1)
            c += 1;
        else if (c == 0x178)
            c = 0xFF;
        out += (char)(0xC0 | (c >> 6));
        out += (char)(0x80 | (c & 0x3F));
        i += n;
    }
    return out;
}

// A colour as 0xRRGGBB, eight bits a channel.
int Rgb8(double red, double green, double blue) {
    auto channel = [](double v) {
        if (!(v > 0.0)) return 0;
        return v >= 1.0 ? 255 : (int)std::lround(v * 255.0);
    };
    return channel(red) << 16 | channel(green) << 8 | channel(blue);
}

// The 24-bit colour a material's diffuse colour needs beside its colour number: -1 when the
// number's palette colour is the same in eight bits a channel.
int TrueColour(const VOxaColor& colour) {
    VOxaColor palette(0.0, 0.0, 0.0, 1.0);
    DxfAciToColor(VOxaWriterDxf::ColorToAci(colour), palette);
    const int rgb = Rgb8(colour.mRed, colour.mGreen, colour.mBlue);
    return rgb == Rgb8(palette.mRed, palette.mGreen, palette.mBlue) ? -1 : rgb;
}

// The colour of a mesh, which its polyline takes: 0 without material; with materials by
// polygon, that of the material most polygons use (the one of lower index on a tie), so that a
// layer read with faces of other colours keeps its own; otherwise that of the last material of
// layer 0.
int MeshColour(VOxaMesh* mesh, int* trueColour = nullptr) {
    if (trueColour) *trueColour = -1;
    const int count = mesh->GetMaterialCount(0);
    if (count <= 0) return 0;
    int chosen = count - 1;
    const VArrayTemplate<int>* indices = mesh->GetMaterialIndices();
    if (mesh->GetMaterialMappingMode() == eBY_POLYGON && indices != nullptr) {
        std::vector<int> uses((size_t)count, 0);
        const int polygons = std::min(mesh->GetPolygonCount(), indices->GetCount());
        int most = 0;
        for (int k = 0; k < polygons; ++k) {
            const int m = (*indices)[k];
            if (m < 0 || m >= count) continue;
            const int n = ++uses[(size_t)m];
            if (n > most || (n == most && m < chosen)) {
                most = n;
                chosen = m;
            }
        }
    }
    VOxaMaterial* material = mesh->GetMaterial(chosen, 0);
    if (!material) return 0;
    if (trueColour) *trueColour = TrueColour(material->GetDiffuse());
    return VOxaWriterDxf::ColorToAci(material->GetDiffuse());
}

// Calls `visit` on node and, with `recursive`, on its descendants: a node, then its children in
// index order, depth first. The walk keeps its own stack, so a deep chain of nodes is no risk.
template <typename Visit>
void WalkNodes(VOxaNode* node, bool recursive, Visit visit) {
    if (!node) return;
    visit(node);
    if (!recursive) return;
    std::vector<std::pair<VOxaNode*, int>> stack;
    stack.emplace_back(node, 0);
    while (!stack.empty()) {
        auto& top = stack.back();
        if (top.second >= top.first->GetChildCount()) {
            stack.pop_back();
            continue;
        }
        VOxaNode* child = top.first->GetChild(top.second++);
        if (!child) continue;
        visit(child);
        stack.emplace_back(child, 0);
    }
}

// True when the points a triangulated copy of `mesh` uses are the ones the mesh itself uses: a
// mesh without shapes or links (whose deformation would be worked out on the copy) whose polygons
// all have three corners or more, each named in the vertex array. Its extents are then its own.
bool SameUsedPoints(const VOxaMesh* mesh) {
    if (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0) return false;
    long long corners = 0;
    for (int p = 0, n = mesh->GetPolygonCount(); p < n; ++p) {
        const int size = mesh->GetPolygonSize(p);
        if (size < 3) return false;
        corners += size;
    }
    return corners <= mesh->GetPolygonVertexCount();
}

}  // namespace

VOxaWriter* CreateDxfWriter(VOxaSdkManager* manager) {
    return new VOxaWriterDxf(manager);
}

VOxaWriterDxf::VOxaWriterDxf(VOxaSdkManager* manager) : VOxaWriter(manager), mFileName("") {}

VOxaWriterDxf::~VOxaWriterDxf() {
    FileClose();
}

bool VOxaWriterDxf::FileCreate(const char* path) {
    FileClose();
    if (!mFile.Open(path, false)) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mFileName = path;
    return true;
}

bool VOxaWriterDxf::FileClose() {
    bool ok = true;
    if (mFile.IsOpen()) ok = mFile.Commit();
    mFileName = "";
    return ok;
}

bool VOxaWriterDxf::IsFileOpen() {
    return mFile.IsOpen();
}

VStreamOptions* VOxaWriterDxf::GetWriteOptions() {
    return VStreamOptionsDxf::Create();
}

bool VOxaWriterDxf::Write(VOxaScene* scene, VStreamOptions* options) {
    if (!mFile.IsOpen()) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (!options || !options->IsA(VStreamOptionsDxf::ClassId)) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (!VOxaCheckSceneMeshes(scene, "DXF", mError)) return false;
    auto* dxfOptions = static_cast<VStreamOptionsDxf*>(options);
    mTriangulate = dxfOptions->GetOptionValue(VStreamOptionsDxf::eFORCE_TRIANGULATION) == 1;
    mEvaluateDeformations = dxfOptions->GetOptionValue(VStreamOptionsDxf::eEVALUATE_DEFORMATIONS) == 1;
    VOxaNode* root = scene ? scene->GetRootNode() : nullptr;
    if (!root) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    if (!VOxaHoldsGeometry(root)) {
        mFile.Abandon();
        mError.SetLastError(eFILE_NOT_CREATED, kVOxaNoGeometry);
        return false;
    }
    const int n = root->GetChildCount();
    const int total = root->GetChildCount(true);

    mStart = VOxaGeometryTakeStart(scene);
    mRefused = false;
    mNotNumbers = 0;
    // NURBS surfaces and patches, and meshes when triangulation is asked for, are written from
    // triangulated copies that this Write owns.
    VOxaWriteMeshes meshes(mManager, mTriangulate);
    // The polyfaces are written of points, polygons and materials only: triangles need no copy.
    meshes.KeepTriangleMeshes();
    mMeshes = &meshes;
    VDxfGroupWriter out(mFile);
    mOut = &out;
    mLayerOfNode.Clear();
    mLayerNames.Clear();
    mLayersTaken.Clear();
    // One code page holds the names of the file: the Western one when it holds them all, else
    // one that does, else the one that loses the fewest characters.
    // Names that are no UTF-8 (a legacy code page's, as 3DS files hold them) are read in the one
    // page that reads them all as characters, so that the page of the file can keep them.
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        WalkNodes(root->GetChild(i), true, [&](VOxaNode* node) {
            if (GivesLayer(node)) names.push_back(node->GetNameWithoutPrefix());
        });
    mLegacyPage = DxfLegacyCodePageFor(names);
    names.clear();
    mShadingData = false;
    for (int i = 0; i < n; ++i)
        WalkNodes(root->GetChild(i), true, [&](VOxaNode* node) {
            if (!GivesLayer(node)) return;
            names.push_back(LayerText(node, mLegacyPage));
            // Meshes with normals (and the surfaces, which get them) may need smoothing masks.
            const VOxaMesh* mesh = node->GetMesh();
            const VOxaLayer* layer0 = mesh && mesh->GetLayerCount() > 0 ? mesh->GetLayer(0) : nullptr;
            mShadingData = mShadingData || !mesh || (layer0 && layer0->GetNormals());
        });
    mCodePage = DxfCodePageFor(names);
    out.GroupText(999, "Morvane Dxf writer for OXA");
    out.GroupText(0, "SECTION");
    out.GroupText(2, "HEADER");
    out.GroupText(9, "$ACADVER");
    out.GroupText(1, "AC1008");
    // The code page of the names (layers) in the file.
    out.GroupText(9, "$DWGCODEPAGE");
    out.GroupText(3, ("ANSI_" + std::to_string(mCodePage)).c_str());
    // The scene's unit, when a file stated one.
    if (const double unit = scene->GetSystemUnit(); unit > 0.0) {
        const int code = DxfUnitCode(unit);
        if (code > 0) {
            out.GroupText(9, "$INSUNITS");
            out.GroupInt(70, code);
        } else {
            mMessageText += "The scene's unit of ";
            mMessageText += VString(unit);
            mMessageText += " cm is no DXF drawing unit; the drawing is written without a unit.\n";
        }
    }
    // The drawing's extents, which programs frame it by when they open it.
    double low[3] = {0.0, 0.0, 0.0}, high[3] = {0.0, 0.0, 0.0};
    Extents(root, low, high);
    out.GroupText(9, "$EXTMIN");
    out.GroupReal(10, low[0]);
    out.GroupReal(20, low[1]);
    out.GroupReal(30, low[2]);
    out.GroupText(9, "$EXTMAX");
    out.GroupReal(10, high[0]);
    out.GroupReal(20, high[1]);
    out.GroupReal(30, high[2]);
    out.GroupText(9, "$UCSORG");
    out.GroupText(10, "0.0");
    out.GroupText(20, "0.0");
    out.GroupText(30, "0.0");
    out.GroupText(9, "$UCSXDIR");
    out.GroupText(10, "1.0");
    out.GroupText(20, "0.0");
    out.GroupText(30, "0.0");
    out.GroupText(9, "$TILEMODE");
    out.GroupInt(70, 1);
    out.GroupText(9, "$UCSYDIR");
    out.GroupText(10, "0.0");
    out.GroupText(20, "1.0");
    out.GroupText(30, "0.0");
    out.GroupText(0, "ENDSEC");
    out.GroupText(0, "SECTION");
    out.GroupText(2, "TABLES");
    if (n > 0) {
        out.GroupText(0, "TABLE");
        out.GroupText(2, "LTYPE");
        out.GroupInt(70, 1);
        out.GroupText(0, "LTYPE");
        out.GroupText(2, "CONTINUOUS");
        out.GroupInt(70, 64);
        out.GroupText(3, "Solid line");
        out.GroupInt(72, 65);
        out.GroupInt(73, 0);
        out.GroupText(40, "0.0");
        out.GroupText(0, "ENDTAB");
        out.GroupText(0, "TABLE");
        out.GroupText(2, "LAYER");
        // The count of every node below the root, as stored files have it (not the entries).
        out.GroupInt(70, total);
        for (int i = 0; i < n; ++i)
            WriteLayerRecursive(root->GetChild(i), true);
        out.GroupText(0, "ENDTAB");
        if (mShadingData) {
            out.GroupText(0, "TABLE");
            out.GroupText(2, "APPID");
            out.GroupInt(70, 1);
            out.GroupText(0, "APPID");
            out.GroupText(2, kDxfShadingApp);
            out.GroupInt(70, 0);
            out.GroupText(0, "ENDTAB");
        }
    }
    out.GroupText(0, "ENDSEC");
    out.GroupText(0, "SECTION");
    out.GroupText(2, "BLOCKS");
    out.GroupText(0, "ENDSEC");
    out.GroupText(0, "SECTION");
    out.GroupText(2, "ENTITIES");
    if (n > 0) {
        for (int i = 0; i < n; ++i)
            WritePolyfaceRecursive(root->GetChild(i), true);
    }
    out.GroupText(0, "ENDSEC");
    out.GroupText(0, "EOF");
    mMeshes = nullptr;
    if (mRefused) {
        // A mesh could not be written: no file is left.
        mOut = nullptr;
        mFile.Abandon();
        return false;
    }
    const bool ok = out.Flush();
    mOut = nullptr;
    if (!ok) {
        mError.SetLastErrorID(eOUT_OF_DISK_SPACE);
        return false;
    }
    if (mNotNumbers > 0) {
        // Kept rather than dropped, but a reader that takes only numbers refuses the drawing.
        if (!mMessageText.IsEmpty()) mMessageText += "\n";
        mMessageText += VOxaNotNumberPointsWarning(mNotNumbers, "DXF").c_str();
    }
    const std::string unheld = voxa_extras::Unheld3dsValues(root, "DXF");
    // Each warning on a line of its own.
    if (!unheld.empty() && !mMessageText.IsEmpty() &&
        mMessageText.Buffer()[mMessageText.GetLen() - 1] != '\n')
        mMessageText += "\n";
    mMessageText += unheld.c_str();
    return true;
}

VString VOxaWriterDxf::LayerName(VOxaNode* node) {
    const int found = mLayerOfNode.Find(node);
    if (found >= 0) return VString(std::string(mLayerNames.Text(found)).c_str());
    // Layer names are the same without regard to case: "Cube" and "CUBE" clash, and the second
    // becomes "CUBE1" (or the next free number).
    int unread = 0, lost = 0;
    const std::string text = LayerText(node, mLegacyPage, &unread);
    const VString base(DxfNameFromUtf8(text.c_str(), mCodePage, kDxfLineSize - 32, &lost).c_str());
    lost += unread;
    if (lost > 0) {
        if (!mMessageText.IsEmpty()) mMessageText += "\n";
        mMessageText +=
            ("Layer \"" + VPrintableText(text.c_str()) + "\": " + std::to_string(lost) +
             (lost == 1 ? " character" : " characters") + " that code page ANSI_" +
             std::to_string(mCodePage) + " cannot hold " + (lost == 1 ? "is" : "are") + " written as \"_\".")
                .c_str();
    }
    char decoded[kDxfLineSize];
    DxfNameToUtf8(base.Buffer(), mCodePage, decoded);
    std::string key = FoldCase(decoded);
    VString name = base;
    bool added = false;
    const int taken = mLayersTaken.Insert(key, 0, &added);
    if (!added) {
        long long counter = 0;
        do {
            counter = ++mLayersTaken.Value(taken);
            mLayersTaken.Insert(key + std::to_string(counter), 0, &added);
        } while (!added);
        name += (int)counter;
    }
    mLayerOfNode.Set(node, mLayerNames.Insert(name.Buffer(), 0));
    return name;
}

void VOxaWriterDxf::WriteLayerRecursive(VOxaNode* node, bool recursive) {
    WalkNodes(node, recursive, [this](VOxaNode* n) { WriteLayer(n); });
}

void VOxaWriterDxf::WritePolyfaceRecursive(VOxaNode* node, bool recursive) {
    WalkNodes(node, recursive, [this](VOxaNode* n) {
        if (VOxaMesh* mesh = mMeshes ? mMeshes->Get(n) : nullptr; mesh && !mRefused) WritePolyface(n, mesh);
        // One triangulated copy at a time: a file of many groups is written in the memory of one.
        if (mMeshes) mMeshes->Release(n);
    });
}

void VOxaWriterDxf::WriteLayer(VOxaNode* node) {
    VOxaNodeAttribute* attribute = node->GetNodeAttribute();
    if (!attribute || !mOut) return;
    VOxaMesh* mesh = mMeshes ? mMeshes->Get(node) : nullptr;
    if (!mesh) return;
    const int colour = MeshColour(mesh);
    mMeshes->Release(node);
    VDxfGroupWriter& out = *mOut;
    out.GroupText(0, "LAYER");
    out.GroupText(2, LayerName(node).Buffer());
    out.GroupInt(70, 0);
    // A layer has a colour of its own (0 would be "by block", which a layer cannot be): white
    // when its mesh has no material.
    const int layerColour = colour > 0 ? colour : 7;
    out.GroupInt(62, node->GetVisibility() ? layerColour : -layerColour);
    out.GroupText(6, "CONTINUOUS");
}

bool VOxaWriterDxf::WorldPoints(VOxaNode* node, VOxaMesh* mesh, const VgeAMatrix& matrix,
                                std::string& refusal) {
    // The deformed shape is worked out on a copy of the points: the scene keeps its mesh.
    const VgeTVector* points = mesh->GetControlPoints();
    const VgeTVector* deformed = nullptr;
    if (mEvaluateDeformations && points && (mesh->GetShapeCount() > 0 || mesh->GetLinkCount() > 0)) {
        mDeformed.assign(points, points + mesh->GetControlPointsCount());
        VOxaGeometry* own = dynamic_cast<VOxaGeometry*>(node->GetNodeAttribute());
        if (mesh->GetShapeCount() > 0) ApplyShapeDeformation(mesh, mDeformed.data(), own);
        if (mesh->GetLinkCount() > 0) ApplySkinDeformation(matrix, mesh, mDeformed.data());
        deformed = mDeformed.data();
    }
    // A point that is not a finite number is written as it stands ("nan") when no polygon uses
    // it; one that a polygon uses cannot be written, and the Write fails.
    return VOxaGeometryWorldPoints(node, mesh, matrix, "DXF", mWorld, mNumbers, refusal, deformed, true);
}

bool VOxaWriterDxf::Extents(VOxaNode* root, double low[3], double high[3]) {
    bool any = false;
    const int n = root->GetChildCount();
    for (int c = 0; c < n; ++c)
        WalkNodes(root->GetChild(c), true, [&](VOxaNode* node) {
            // A mesh whose triangulated copy uses the same points is measured as it stands: no
            // copy is made for it (and none held for every node at once until its layer).
            VOxaMesh* own = node->GetMesh();
            VOxaMesh* mesh = own && SameUsedPoints(own) ? own : mMeshes ? mMeshes->Get(node) : nullptr;
            std::string refusal;
            if (!mesh || !WorldPoints(node, mesh, VOxaGeometryWorldMatrix(node, mStart), refusal)) return;
            for (size_t i = 0; i < mWorld.size(); ++i) {
                const VgeTVector& q = mWorld[i];
                if (!std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2])) continue;
                const double p[3] = {q[0] + 0.0, -q[2] + 0.0, q[1] + 0.0};  // no negative zero
                for (int a = 0; a < 3; ++a) {
                    if (!any || p[a] < low[a]) low[a] = p[a];
                    if (!any || p[a] > high[a]) high[a] = p[a];
                }
                any = true;
            }
        });
    return any;
}

bool VOxaWriterDxf::PlanShading(VOxaMesh* mesh) {
    DxfShadingFaces& records = mRecords;
    const size_t corners = records.mCorners.size();
    const int pointCount = (int)mWorld.size();
    const VOxaLayer* layer0 = mesh->GetLayerCount() > 0 ? mesh->GetLayer(0) : nullptr;
    if (!mShadingData || !layer0 || !layer0->GetNormals() || corners == 0) return false;

    // Corners of one control point whose normals agree (within 1e-4 a component) are one class:
    // one vertex, should the vertices be split.
    struct Class {
        VgeTVector mNormal;
        int mNext;  // the next class of the same control point, -1 at the last
    };
    std::vector<Class> classes;
    std::vector<int> classOf(corners, -1), head((size_t)pointCount, -1), tail((size_t)pointCount, -1);
    for (int r = 0, count = records.GetCount(); r < count; ++r) {
        for (int c = records.mStarts[(size_t)r]; c < records.mStarts[(size_t)r + 1]; ++c) {
            const int point = records.mCorners[(size_t)c];
            VgeTVector n;
            if (!mesh->GetPolygonVertexNormal(mRecordPolygon[(size_t)r], mRecordPosition[(size_t)c], n))
                return false;
            if (point < 0 || point >= pointCount) continue;
            const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
            n = length > 0.0 && std::isfinite(length)
                    ? VgeTVector(n[0] / length, n[1] / length, n[2] / length, 0.0)
                    : VgeTVector(0.0, 0.0, 0.0, 0.0);
            int found = -1;
            for (int k = head[(size_t)point]; k >= 0 && found < 0; k = classes[(size_t)k].mNext) {
                const VgeTVector& m = classes[(size_t)k].mNormal;
                if (std::fabs(m[0] - n[0]) <= 1e-4 && std::fabs(m[1] - n[1]) <= 1e-4 &&
                    std::fabs(m[2] - n[2]) <= 1e-4)
                    found = k;
            }
            if (found < 0) {
                found = (int)classes.size();
                classes.push_back(Class{n, -1});
                if (tail[(size_t)point] < 0)
                    head[(size_t)point] = found;
                else
                    classes[(size_t)tail[(size_t)point]].mNext = found;
                tail[(size_t)point] = found;
            }
            classOf[(size_t)c] = found;
        }
    }

    // The sets the reader makes by the angle: each one class, and each class one set?
    std::vector<int> sets;
    std::vector<VgeTVector> faceNormals;
    DxfShadingSets(mWorld.data(), pointCount, records, sets, faceNormals);
    std::vector<int> classSet(classes.size(), -1), setClass(corners, -1);
    bool same = true;
    for (size_t c = 0; c < corners && same; ++c) {
        const int k = classOf[c], set = sets[c];
        if (k < 0) continue;
        if (classSet[(size_t)k] < 0) classSet[(size_t)k] = set;
        if (setClass[(size_t)set] < 0) setClass[(size_t)set] = k;
        same = classSet[(size_t)k] == set && setClass[(size_t)set] == k;
    }
    if (same) return false;

    // The mesh's own smoothing masks, one per polygon or one for all.
    const VOxaLayerElementPolygonGroup* kept = layer0->GetPolygonGroups();
    const int polygons = mesh->GetPolygonCount();
    if (kept && kept->GetReferenceMode() == eDIRECT &&
        ((kept->GetMappingMode() == eBY_POLYGON && kept->GetDirectArray().GetCount() == polygons) ||
         (kept->GetMappingMode() == eALL_SAME && kept->GetDirectArray().GetCount() >= 1))) {
        const bool all = kept->GetMappingMode() == eALL_SAME;
        for (int k : mRecordPolygon)
            records.mMasks.push_back((uint32_t)kept->GetDirectArray().GetAt(all ? 0 : k));
        records.mMasked.assign(mRecordPolygon.size(), 1);
        return false;
    }

    // Else every face in one smoothing group, and a vertex of its own for each class of a
    // control point: faces smooth together where they share a vertex, as the normals do.
    records.mMasks.assign(mRecordPolygon.size(), 1u);
    records.mMasked.assign(mRecordPolygon.size(), 1);
    mSplitPoint.clear();
    std::vector<int> classNumber(classes.size(), -1);
    for (int point = 0; point < pointCount; ++point) {
        if (!mNumbers.empty() && mNumbers[(size_t)point] < 0) continue;
        if (head[(size_t)point] < 0) mSplitPoint.push_back(point);  // used by no face: kept
        for (int k = head[(size_t)point]; k >= 0; k = classes[(size_t)k].mNext) {
            classNumber[(size_t)k] = (int)mSplitPoint.size();
            mSplitPoint.push_back(point);
        }
    }
    mSplitNumber.resize(corners);
    for (size_t c = 0; c < corners; ++c)
        mSplitNumber[c] = classOf[c] >= 0 ? classNumber[(size_t)classOf[c]] : -1;
    return true;
}

void VOxaWriterDxf::WritePolyface(VOxaNode* node, VOxaMesh* mesh) {
    if (!mOut) return;
    VDxfGroupWriter& out = *mOut;
    const VString name = LayerName(node);
    const char* layer = name.Buffer();
    const size_t layerLength = std::strlen(layer);
    const int p = mesh->GetPolygonCount();
    const int mapping = mesh->GetMaterialMappingMode();
    const VArrayTemplate<int>* indices = mesh->GetMaterialIndices();
    const int materialCount = mesh->GetMaterialCount(0);
    int meshTrue = -1;
    const int colour = MeshColour(mesh, &meshTrue);

    // The colour number of each material of layer 0, and its 24-bit colour where no number
    // matches it, worked out once.
    std::vector<int> materialColour((size_t)(materialCount > 0 ? materialCount : 0), 0);
    std::vector<int> materialTrue(materialColour.size(), -1);
    std::vector<bool> hasMaterial(materialColour.size(), false);
    for (int m = 0; m < materialCount; ++m) {
        if (VOxaMaterial* material = mesh->GetMaterial(m, 0)) {
            materialColour[(size_t)m] = ColorToAci(material->GetDiffuse());
            materialTrue[(size_t)m] = TrueColour(material->GetDiffuse());
            hasMaterial[(size_t)m] = true;
        }
    }
    // The material at index i of the index array, -1 when there is none.
    auto indexedMaterial = [&](int i) {
        if (!indices || i < 0 || i >= indices->GetCount()) return -1;
        const int m = (*indices)[i];
        return m >= 0 && m < materialCount && hasMaterial[(size_t)m] ? m : -1;
    };
    auto writeTrue = [&](int rgb) {
        if (rgb >= 0) out.GroupInt(420, rgb);
    };

    const VgeAMatrix matrix = VOxaGeometryWorldMatrix(node, mStart);
    // A matrix that mirrors turns the faces inside out: their corners are written the other way
    // round, so that each face keeps facing as its normals do.
    const bool mirrored =
        VgeMatrixDeterminant3(reinterpret_cast<const double(*)[4]>((const double*)matrix)) < 0.0;

    std::string refusal;
    if (!WorldPoints(node, mesh, matrix, refusal)) {
        mError.SetLastError(eUNIDENTIFIED_ERROR, refusal.c_str());
        mRefused = true;
        return;
    }
    // The 1-based number of a control point among the vertices written.
    auto number = [&](int i) {
        return (!mNumbers.empty() && i >= 0 && i < (int)mNumbers.size() ? mNumbers[(size_t)i] : i) + 1;
    };

    // The face records: a polygon of up to four vertices is one, a larger one its triangles, a
    // fan or, for a polygon the fan would fold, its cut into ears.
    DxfShadingFaces& records = mRecords;
    records.mStarts.assign(1, 0);
    records.mCorners.clear();
    records.mMasks.clear();
    records.mMasked.clear();
    mRecordPolygon.clear();
    mRecordPosition.clear();
    for (int k = 0; k < p; ++k) {
        const int size = mesh->GetPolygonSize(k);
        auto add = [&](const int* positions, int n) {
            for (int i = 0; i < n; ++i) {
                const int j = mirrored ? n - 1 - i : i;
                records.mCorners.push_back(mesh->GetPolygonVertex(k, positions[j]));
                mRecordPosition.push_back(positions[j]);
            }
            records.mStarts.push_back((int)records.mCorners.size());
            mRecordPolygon.push_back(k);
        };
        if (size <= 4) {
            const int positions[4] = {0, 1, 2, 3};
            add(positions, std::max(size, 0));
            continue;
        }
        mCorners.resize((size_t)(size - 2) * 3);
        if (!VgeTriangulateConcavePolygon(mCorners.data(), size, mWorld.data(), (int)mWorld.size(),
                                          mesh->GetPolygonVertices(k))) {
            for (int j = 0; j < size - 2; ++j) {
                mCorners[(size_t)j * 3] = 0;
                mCorners[(size_t)j * 3 + 1] = j + 1;
                mCorners[(size_t)j * 3 + 2] = j + 2;
            }
        }
        for (int j = 0; j < size - 2; ++j)
            add(&mCorners[(size_t)j * 3], 3);
    }
    // Vertices split by normal (split shading) get numbers of their own; -1: the control point's.
    const bool split = PlanShading(mesh);

    int written = 0;
    for (size_t i = 0; i < mWorld.size(); ++i)
        if (mNumbers.empty() || mNumbers[i] >= 0) ++written;
    if (split) written = (int)mSplitPoint.size();
    const int recordCount = records.GetCount();

    out.GroupText(0, "POLYLINE");
    out.GroupText(8, layer, layerLength);
    if (materialCount > 0) {
        out.GroupInt(62, colour);
        writeTrue(meshTrue);
    }
    out.GroupInt(66, 1);
    out.GroupText(10, "0.0");
    out.GroupText(20, "0.0");
    out.GroupText(30, "0.0");
    out.GroupInt(70, 64);
    out.GroupInt(71, written);
    out.GroupInt(72, recordCount);

    auto writeVertex = [&](int i) {
        const VgeTVector& q = mWorld[(size_t)i];
        out.GroupText(0, "VERTEX");
        out.GroupText(8, layer, layerLength);
        if (mapping == 1) {
            const int m = indexedMaterial(i);
            if (m >= 0) {
                out.GroupInt(62, materialColour[(size_t)m]);
                writeTrue(materialTrue[(size_t)m]);
            }
        }
        // A point no face uses may be no number: written as such, not moved to 0.
        auto coordinate = [&](int code, double v) {
            if (std::isfinite(v))
                out.GroupReal(code, v);
            else
                out.GroupText(code, std::isnan(v) ? "nan" : v > 0.0 ? "inf" : "-inf");
        };
        if (!std::isfinite(q[0]) || !std::isfinite(q[1]) || !std::isfinite(q[2])) ++mNotNumbers;
        coordinate(10, q[0]);
        coordinate(20, -q[2]);
        coordinate(30, q[1]);
        out.GroupInt(70, 192);
    };
    if (split) {
        for (int i : mSplitPoint)
            writeVertex(i);
    } else {
        for (int i = 0; i < (int)mWorld.size(); ++i)
            if (mNumbers.empty() || mNumbers[(size_t)i] >= 0) writeVertex(i);
    }

    int f = colour, fTrue = meshTrue;
    for (int r = 0; r < recordCount; ++r) {
        const int k = mRecordPolygon[(size_t)r];
        const int size = mesh->GetPolygonSize(k);
        const bool further = r > 0 && mRecordPolygon[(size_t)r - 1] == k;
        out.GroupText(0, "VERTEX");
        out.GroupText(8, layer, layerLength);
        if (further) {
            if (f > 0) {
                out.Code(62);
                out.IntOneBlank(f);
                writeTrue(fTrue);
            }
        } else {
            f = colour;
            fTrue = meshTrue;
            if (mapping == 3) {
                const int m = indexedMaterial(k);
                if (m >= 0) {
                    f = materialColour[(size_t)m];
                    fTrue = materialTrue[(size_t)m];
                    out.GroupInt(62, f);
                    writeTrue(fTrue);
                }
            } else if (colour > 0) {
                out.GroupInt(62, colour);
                writeTrue(meshTrue);
            }
        }
        out.GroupText(10, "0.0");
        out.GroupText(20, "0.0");
        out.GroupText(30, "0.0");
        out.GroupInt(70, 128);
        // The vertices in polygon order: DXF faces, like the scene's polygons, are counter-
        // clockwise seen from their front. An edge the polygon hides (as a 3DFACE's flags or a
        // 3DS face's edge flags gave it) is written as the polyface hides it: the index of the
        // vertex that begins it negative. The triangles of a larger polygon show every edge.
        // Corners the other way round (a mirroring matrix) begin each edge at its other end: the
        // edge from record corner j to the next is the polygon's edge that begins at the next.
        unsigned hidden = 0;
        if (size <= 4) voxa_extras::HiddenEdgesOfGroup3ds(mesh->GetPolygonGroup(k), size, hidden);
        const int first = records.mStarts[(size_t)r], end = records.mStarts[(size_t)r + 1];
        for (int c = first, j = 0; c < end; ++c, ++j) {
            const int index = split ? mSplitNumber[(size_t)c] + 1 : number(records.mCorners[(size_t)c]);
            const int next = c + 1 < end ? c + 1 : first;
            const int edge = mirrored && size <= 4 ? mRecordPosition[(size_t)next] : j;
            out.GroupInt(71 + j, (hidden & (1u << edge)) ? -index : index);
        }
        if (!records.mMasked.empty()) {
            out.GroupText(1001, kDxfShadingApp);
            out.GroupInt(1071, (int)records.mMasks[(size_t)r]);
        }
    }
    out.GroupText(0, "SEQEND");
}
