#include "formats/geometry/obj/voxa_reader_obj.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_set>

#include "attributes/voxa_layer.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_nurb.h"
#include "attributes/voxa_texture.h"
#include "base/vallocation_hook.h"
#include "base/vpath.h"
#include "formats/geometry/obj/voxa_obj_line.h"
#include "formats/geometry/obj/voxa_obj_mtllib.h"
#include "formats/geometry/obj/voxa_obj_text.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_global_light_settings.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

using voxa_obj::NextWord;
using voxa_obj::ParseDouble;
using voxa_obj::ParseInt;
using voxa_obj::Trim;

namespace {

using voxa_obj::kKeywordLength;

std::string LowerCopy(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = voxa_obj::LowerAscii(c);
    return out;
}

// Reads up to `count` doubles as "%lf%lf..." does: stops at the first that does not parse.
int ParseDoubles(std::string_view rest, double* out, int count) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    int n = 0;
    while (n < count) {
        const char* q = ParseDouble(p, end, out[n]);
        if (q == nullptr) break;
        p = q;
        ++n;
    }
    return n;
}

// Numbers the indices of one kind (vertices, UVs or normals) that a group's corners name, each
// once, in the order met. The map from index read to number is one block for the whole read,
// sized to what was read, and each group clears the entries it set: a lookup is one array read,
// and a file of many groups costs no more than their corners.
class VIndexNumbering {
public:
    VIndexNumbering(std::vector<int>& map, size_t count, size_t expected) : mMap(map) {
        if (mMap.size() < count) mMap.resize(count, -1);
        mUsed.reserve(expected);
    }
    VIndexNumbering(const VIndexNumbering&) = delete;
    VIndexNumbering& operator=(const VIndexNumbering&) = delete;
    ~VIndexNumbering() {
        if (!mMap.empty())
            for (int i : mUsed)
                mMap[(size_t)i] = -1;
    }
    // Frees the map when no other group is numbered after this one.
    void FreeMap() { std::vector<int>().swap(mMap); }
    // The number of the index `i` read (>= 0), the next one when new.
    int Share(int i) {
        if ((size_t)i >= mMap.size()) mMap.resize((size_t)i + 1, -1);
        int& number = mMap[(size_t)i];
        if (number < 0) {
            number = (int)mUsed.size();
            mUsed.push_back(i);
        }
        return number;
    }
    // Starts loading the entry of `i` (a hint; changes nothing).
    void Prefetch(int i) const {
        if ((size_t)i < mMap.size()) __builtin_prefetch(&mMap[(size_t)i]);
    }
    size_t Count() const { return mUsed.size(); }
    // The index read that got `number`.
    int Get(int number) const { return mUsed[(size_t)number]; }

private:
    std::vector<int>& mMap;
    std::vector<int> mUsed;
};

// The MTL keywords of the material's map roles, in role order; each role is read from the first
// keyword listed for it (and "map_Bump" and "bump" as "map_bump").
static_assert(VOxaMaterial::eMAP_ROLE_COUNT == 7, "one keyword per map role");
const char* const kMapKeywords[] = {"map_Ks", "map_Ns", "map_d", "map_bump", "map_Ke", "refl", "map_Ka"};

// The map slot of an MTL keyword (a role, or the colour map after them), -1 for other keywords.
int MapIndex(std::string_view keyword) {
    if (keyword == "map_Kd") return 7;
    for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT; ++role)
        if (keyword == kMapKeywords[role]) return role;
    if (keyword == "bump" || keyword == "map_Bump") return VOxaMaterial::eMAP_BUMP;
    return -1;
}

bool IsRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// The folder of `path` as an absolute path, so that a texture named in that file is still found
// after the working directory changes; "" when it cannot be made.
std::string AbsoluteFolderOf(const std::string& path) {
    const VString folder = GetDirectoryName(path.c_str());
    std::error_code error;
    std::filesystem::path absolute =
        std::filesystem::absolute(folder.IsEmpty() ? "." : folder.Buffer(), error);
    return error ? std::string() : absolute.lexically_normal().string();
}

}  // namespace

VOxaReader* CreateObjReader(VOxaSdkManager* manager) {
    return oxa_alloc::Counted(new (std::nothrow) VOxaReaderObj(manager));
}

VOxaReaderObj::VOxaReaderObj(VOxaSdkManager* manager) : VOxaReader(manager) {}

VOxaReaderObj::~VOxaReaderObj() {
    FileClose();
}

bool VOxaReaderObj::FileOpen(const char* path) {
    if (mFile != nullptr) FileClose();
    // Only regular files: a device or a pipe could feed an endless line.
    if (path == nullptr || !IsRegularFile(path) || (mFile = std::fopen(path, "rb")) == nullptr) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    mObjPath = path;
    return true;
}

bool VOxaReaderObj::FileClose() {
    bool ok = true;
    if (mFile != nullptr) ok = std::fclose(mFile) == 0;
    mFile = nullptr;
    mObjPath = "";
    return ok;
}

bool VOxaReaderObj::IsFileOpen() {
    return mFile != nullptr;
}

VStreamOptions* VOxaReaderObj::GetReadOptions() {
    return VStreamOptionsObj::Create();
}

void VOxaReaderObj::Clear() {
    mNodeRenaming.Clear();
    mNormalsSeen = mMtllibSeen = mTexturedMaterialSeen = mUVsSeen = false;
    mGroups.clear();
    std::vector<int>().swap(mPointNumbers);
    std::vector<int>().swap(mUVNumbers);
    std::vector<int>().swap(mNormalNumbers);
    mGroupIndex.Clear();
    mGroupNames.Clear();
    mGroupSpelling.Clear();
    mMaterials.clear();
    mMaterialIndex.clear();
    mLibraries.clear();
    mVertices.clear();
    mVertexRuns.clear();
    mReferenced.clear();
    mUVs.clear();
    mUVWs.clear();
    mNormals.clear();
    mParameterVertexCount = 0;
    mVertexCount = mUVCount = mNormalCount = 0;
    mWarnings.clear();
}

int VOxaReaderObj::ResolveIndex(int i, int count) {
    if (i >= 1 && i <= count) return i - 1;
    if (i < 0 && i >= -count) return count + i;
    return -1;
}

namespace {

// Cuts the corner text [p, end) at "/" into up to three numbers (missing ones 0); bit i of
// `present` is set when part i holds a number. False when a number's digits do not fit an int.
// Text after a number up to the next "/" is ignored, as "%d" leaves it.
inline bool CutCorner(const char* p, const char* end, int values[3], int& present) {
    values[0] = values[1] = values[2] = 0;
    present = 0;
    for (int part = 0; part < 3; ++part) {
        const char* stop = p;
        while (stop < end && *stop != '/')
            ++stop;
        if (stop > p) {
            if (ParseInt(p, stop, values[part]) != nullptr) {
                present |= 1 << part;
            } else {
                const char* s = voxa_obj::SkipSpace(p, stop);
                if (s < stop && (*s == '+' || *s == '-')) ++s;
                if (s < stop && *s >= '0' && *s <= '9') return false;  // digits that overflow an int
                values[part] = 0;
            }
        }
        if (stop >= end) break;
        p = stop + 1;
    }
    return true;
}

// The common corner in one pass: up to three parts separated by "/", each empty or an optional
// "-" and at most nine digits, the last followed by white space or the end. Sets the values
// (missing ones 0) and `present` as CutCorner does, and moves p past the corner; false, p
// unchanged, for anything else, which CutCorner reads.
inline bool FastCorner(const char*& p, const char* end, int values[3], int& present) {
    const char* q = p;
    values[0] = values[1] = values[2] = 0;
    present = 0;
    for (int part = 0;; ++part) {
        const bool negative = q < end && *q == '-';
        if (negative) ++q;
        const char* digits = q;
        int v = 0;
        while (q < end && (unsigned)(*q - '0') < 10u && q - digits < 9) {
            v = v * 10 + (*q - '0');
            ++q;
        }
        if (negative && q == digits) return false;
        if (q > digits) present |= 1 << part;
        values[part] = negative ? -v : v;
        if (q >= end || voxa_obj::IsSpace(*q)) break;
        if (*q != '/' || part == 2) return false;
        ++q;
    }
    p = q;
    return true;
}

}  // namespace

bool VOxaReaderObj::ParseFaceCorner(std::string_view text, int& v, int& t, int& n) {
    int values[3], present;
    if (!CutCorner(text.data(), text.data() + text.size(), values, present)) return false;
    v = values[0];
    t = values[1];
    n = values[2];
    return v != 0;
}

bool VOxaReaderObj::ReadLine(voxa_obj::VLineSource& source, std::string_view& keyword,
                             std::string_view& rest) {
    return voxa_obj::NextKeywordLine(source, mKeywordBuffer, mLineBuffer, keyword, rest);
}

int VOxaReaderObj::FindOrAddGroup(const std::string& name, int object) {
    // Groups of one object merge by name as read; those of different objects never do.
    std::string key = std::to_string(object) + ':' + name;
    bool added = false;
    const int entry = mGroupIndex.Insert(key, (long long)mGroups.size(), &added);
    if (!added) return (int)mGroupIndex.Value(entry);
    // The node name is one word; names that only the case or a blank against '_' tell apart
    // would give one node name (or names that programs merge): the later group is numbered.
    const std::string word = voxa_obj::ObjName(name);
    const std::string nodeName = mGroupNames.Take(word);
    bool first = false;
    const int spelled = mGroupSpelling.Insert(LowerCopy(word), entry, &first);
    // The name as read of the group that first gave the node name: its key after the object.
    std::string_view firstName = mGroupIndex.Text((int)mGroupSpelling.Value(spelled));
    firstName.remove_prefix(firstName.find(':') + 1);
    // The same name in another object is numbered as nodes of one name are, without a word.
    if (nodeName != word && (first || firstName != name)) {
        mWarnings += "Group \"";
        mWarnings += name;
        mWarnings += "\" is named \"";
        mWarnings += nodeName;
        mWarnings += "\": another group's name differs from it only in case or blanks\n";
    }
    std::unique_ptr<Container> container(new Container());
    container->mName = nodeName.c_str();
    mGroups.push_back(std::move(container));
    return (int)mGroups.size() - 1;
}

bool VOxaReaderObj::Read(VOxaScene* scene, VStreamOptions* options) {
    if (options == nullptr || !options->IsA(VStreamOptionsObj::ClassId)) {
        mError.SetLastErrorID(eSTREAM_OPTIONS_NOT_SET);
        return false;
    }
    if (mFile == nullptr) {
        mError.SetLastErrorID(eFILE_NOT_OPENED);
        return false;
    }
    if (scene == nullptr || scene->GetRootNode() == nullptr) {
        mError.SetLastErrorID(eUNIDENTIFIED_ERROR);
        return false;
    }
    Clear();
    mCreateReferenceNode = static_cast<VStreamOptionsObj*>(options)->GetOptionValue(
                               VStreamOptionsObj::eCREATE_REFERENCE_NODE) == 1;
    std::rewind(mFile);

    voxa_obj::VLineSource source(mFile);
    if (!voxa_obj::SkipByteOrderMark(source)) {
        mError.SetLastErrorID(eFILE_CORRUPTED);
        mMessageText += "UTF-16 text is not supported\n";
        return false;
    }

    std::string groupName("default");  // as read
    int object = 0;                    // counts the "o" lines met
    int group = -1;                    // container of the current group, looked up at the first face
    bool inRun = false;                // a "v" line stood in the current group
    int smoothing = 0;
    int material = -1;
    int curveType = 0;
    bool rational = false;
    int uDegree = 0, vDegree = 0;
    bool ok = true;
    // A line the reader cannot take ends the read, naming the line and what was wrong there.
    auto refuse = [&](const char* what) {
        char text[160];
        std::snprintf(text, sizeof text, "%s: line %lld: %s", mError.GetErrorString(eFILE_CORRUPTED),
                      source.LineNumber(), what);
        mError.SetLastError(eFILE_CORRUPTED, text);
        ok = false;
    };

    // Faces of fewer than three corners, dropped.
    long long shortFaces = 0;
    constexpr long long kShortFacesNamed = 10;

    std::string_view keyword, rest;
    while (ok && ReadLine(source, keyword, rest)) {
        const char k0 = keyword[0];
        if (k0 == '#') continue;
        if (keyword == "v") {
            double x[4] = {0.0, 0.0, 0.0, 1.0};
            if (ParseDoubles(rest, x, 4) < 3) {
                refuse("a vertex (v) needs three numbers");
                break;
            }
            if (!inRun) mVertexRuns.push_back(VertexRun{(int)mVertices.size(), object, groupName});
            inRun = true;
            mVertices.emplace_back(x[0], x[1], x[2], x[3]);
        } else if (keyword == "f") {
            if (group < 0) group = FindOrAddGroup(groupName, object);
            Container& container = *mGroups[(size_t)group];
            const size_t corners = container.mCorners.size();
            Polygon polygon{(int)corners, 0, smoothing, material, true, true};
            std::string error;
            if (!ParseFace(container, rest, error)) {
                container.mCorners.truncate(corners);
                refuse(error.c_str());
                break;
            }
            if (container.mCorners.size() - corners < 3) {
                // A face needs three corners; a shorter one is dropped, saying where. A file of
                // many such faces names the first few and counts the rest.
                const size_t count = container.mCorners.size() - corners;
                container.mCorners.truncate(corners);
                if (++shortFaces <= kShortFacesNamed) {
                    char text[128];
                    std::snprintf(text, sizeof text,
                                  "line %lld: a face (f) with %d corner%s was dropped: a face needs three\n",
                                  source.LineNumber(), (int)count, count == 1 ? "" : "s");
                    Warn(text);
                }
                continue;
            }
            polygon.mCount = (int)(container.mCorners.size() - corners);
            // The vertices a face names are no loose points; marked while the corners are at hand.
            if (mReferenced.size() < mVertices.size()) mReferenced.resize(mVertices.size(), 0);
            for (size_t c = corners; c < container.mCorners.size(); ++c) {
                mReferenced[(size_t)container.mCorners[c].mVertex] = 1;
                if (container.mCorners[c].mNormal < 0) polygon.mHasNormals = false;
                if (container.mCorners[c].mUV < 0)
                    polygon.mHasUVs = false;
                else
                    container.mSomeUVs = true;
            }
            if (!polygon.mHasNormals) container.mAllNormals = false;
            if (!polygon.mHasUVs) container.mAllUVs = false;
            container.mPolygons.push_back(polygon);
        } else if (keyword == "vn") {
            mNormalsSeen = true;
            double x[3];
            if (ParseDoubles(rest, x, 3) < 3) {
                refuse("a normal (vn) needs three numbers");
                break;
            }
            mNormals.emplace_back(x[0], x[1], x[2], 0.0);
        } else if (keyword == "vt") {
            mUVsSeen = true;
            double x[3] = {0.0, 0.0, 0.0};
            const int given = ParseDoubles(rest, x, 3);
            if (given < 1) {
                refuse("a texture vertex (vt) needs a number");
                break;
            }
            mUVs.emplace_back(x[0], x[1]);
            // A third coordinate is kept; the lines before the first one get "none".
            if (given == 3 || !mUVWs.empty()) {
                mUVWs.resize(mUVs.size() - 1, std::nan(""));
                mUVWs.push_back(given == 3 ? x[2] : std::nan(""));
            }
        } else if (keyword == "vp") {
            double x[3];
            if (ParseDoubles(rest, x, 3) < 1) {
                refuse("a parameter vertex (vp) needs a number");
                break;
            }
            // Parameter vertices are checked and counted; nothing reads their values.
            ++mParameterVertexCount;
        } else if (keyword == "mtllib") {
            mMtllibSeen = true;
            if (rest.empty()) Warn("Unable to load material library: \"mtllib\" names no file\n");
            const size_t loaded = mLibraries.size();
            LoadMaterialLibrary(rest);
            // Materials named before their library was read take its values now (each library
            // is read once, so this walk happens at most once per library).
            if (mLibraries.size() > loaded)
                for (MaterialSlot& slot : mMaterials)
                    if (!slot.mResolved) ResolveMaterial(slot);
        } else if (keyword == "usemtl") {
            // The name is the rest of the line: "red mat one" and "red mat two" are two materials.
            if (rest.empty()) continue;
            std::string key(rest);
            auto it = mMaterialIndex.find(key);
            if (it != mMaterialIndex.end()) {
                material = it->second;
                continue;
            }
            VString name(key.c_str());
            // The material exists at once, with its default values until a library defines it.
            VOxaMaterial* newMaterial = mManager ? mManager->CreateMaterial(name.Buffer()) : nullptr;
            mMaterials.push_back(MaterialSlot{name, newMaterial, nullptr, false});
            ResolveMaterial(mMaterials.back());
            material = (int)mMaterials.size() - 1;
            mMaterialIndex.emplace(std::move(key), material);
        } else if (keyword == "g" || keyword == "o") {
            // Each object starts a node of its own; a group inside it names the node its faces
            // go to. Blanks in a name become '_'.
            if (keyword == "o") ++object;
            groupName = rest.empty() ? std::string("default") : std::string(rest);
            group = -1;
            inRun = false;
        } else if (keyword == "s") {
            int value;
            double wide;
            if (ParseInt(rest.data(), rest.data() + rest.size(), value) != nullptr) smoothing = value;
            // A 3DS smoothing mask of the top bit, as an unsigned number: kept by its bits.
            else if (ParseDouble(rest.data(), rest.data() + rest.size(), wide) != nullptr && wide >= 0.0 &&
                     wide <= 4294967295.0 && wide == std::floor(wide))
                smoothing = (int)(uint32_t)wide;
            else if (rest.substr(0, 3) == "off")
                smoothing = 0;
        } else if (keyword == "mg") {
            // Merging groups are not kept.
        } else if (keyword == "cstype") {
            std::string_view first, second;
            const char* end = rest.data() + rest.size();
            const char* p = NextWord(rest.data(), end, first);
            if (p == nullptr) continue;
            first = first.substr(0, kKeywordLength);
            std::string_view type = first;
            if (first == "rat") {
                rational = true;
                if (NextWord(p, end, second) == nullptr) continue;
                type = second.substr(0, kKeywordLength);
            }
            if (type == "bmatrix")
                curveType = 1;
            else if (type == "bezier")
                curveType = 2;
            else if (type == "bspline")
                curveType = 3;
            else if (type == "cardinal")
                curveType = 4;
            else if (type == "taylor")
                curveType = 5;
        } else if (keyword == "deg") {
            const char* end = rest.data() + rest.size();
            const char* p = ParseInt(rest.data(), end, uDegree);
            if (p != nullptr) ParseInt(p, end, vDegree);
        } else if (keyword == "bmat" || keyword == "step") {
            // Read and not used.
        } else if (keyword == "curv" || keyword == "curv2") {
            if (keyword == "curv") MarkReferenced(rest, 2);
            while (ReadLine(source, keyword, rest) && keyword != "end") {
            }
        } else if (keyword == "surf") {
            if (curveType == 0) {
                refuse("a surface (surf) comes before any curve type (cstype)");
                break;
            }
            Surface surface;
            surface.mType = curveType;
            surface.mRational = rational;
            surface.mUDegree = uDegree;
            surface.mVDegree = vDegree;
            surface.mMaterial = material;
            ParseSurface(surface, rest);
            while (ReadLine(source, keyword, rest) && keyword != "end") {
                if (keyword == "parm") ParseSurfaceParameters(surface, rest);
            }
            VOxaNurb* nurb = BuildNurbs(surface);
            if (nurb != nullptr) {
                VOxaObjectName name(voxa_obj::ObjName(groupName).c_str());
                mNodeRenaming.Rename(name);
                VOxaNode* node = mManager->CreateNode(name.GetCurrent());
                if (node != nullptr) {
                    node->SetNodeAttribute(nurb);
                    scene->GetRootNode()->AddChild(node);
                } else {
                    mManager->DestroyNodeAttribute(nurb);
                }
            } else {
                Warn("Object not supported : surf\n");
            }
        } else {
            // Lines and points are not read; their vertices are not loose points either.
            if (keyword == "l" || keyword == "p") MarkReferenced(rest, 0);
            mWarnings += "Object not supported : ";
            mWarnings += keyword;
            mWarnings += "\n";
        }
    }
    if (shortFaces > kShortFacesNamed) {
        char text[128];
        std::snprintf(text, sizeof text, "%lld faces (f) of fewer than three corners were dropped in all\n",
                      shortFaces);
        Warn(text);
    }
    for (const MaterialSlot& slot : mMaterials) {
        if (slot.mResolved) continue;
        mWarnings += "Unable to read material \"";
        mWarnings += slot.mName.Buffer();
        mWarnings += "\" in .mtl file\n";
    }
    mLibraries.clear();
    if (source.Failed()) {
        mError.SetLastErrorID(eFILE_CORRUPTED);
        ok = false;
    }
    if (ok) GatherLooseVertices();
    mVertexCount = (int)mVertices.size();
    mUVCount = (int)mUVs.size();
    mNormalCount = (int)mNormals.size();
    if (ok) ok = BuildScene(scene);
    // Every failure names a reason: a line cut short or a group left without a usable face.
    if (!ok && mError.GetLastErrorID() < 0) mError.SetLastErrorID(eFILE_CORRUPTED);
    // The tables of the groups are done with once the scene is built.
    mGroups.clear();
    std::vector<int>().swap(mPointNumbers);
    std::vector<int>().swap(mUVNumbers);
    std::vector<int>().swap(mNormalNumbers);
    mGroupIndex.Clear();
    mGroupNames.Clear();
    mGroupSpelling.Clear();
    mMessageText += mWarnings.c_str();
    mWarnings.clear();
    return ok;
}

bool VOxaReaderObj::LoadMaterialLibrary(std::string_view restView) {
    // A copy: reading the libraries reuses the line buffers that the view may point into.
    const std::string rest(restView);
    bool any = false;
    bool ok = true;
    voxa_obj::ForEachLibraryName(mObjPath.Buffer(), rest, [&](std::string_view name) {
        any = true;
        // A library is named relative to the OBJ file's folder; the name as it stands (from the
        // working directory) is tried after that.
        const std::string path = voxa_obj::LibraryPath(mObjPath.Buffer(), name);
        for (const MtlLibrary& library : mLibraries)
            if (library.mPath == path) return;  // read once, however often it is named
        std::FILE* file = IsRegularFile(path) ? std::fopen(path.c_str(), "rb") : nullptr;
        MtlLibrary library;
        library.mPath = path;
        const bool parsed = file != nullptr && ParseMaterialFile(file, library);
        if (file != nullptr) std::fclose(file);
        if (!parsed) {
            mWarnings += "Unable to load material library \"";
            mWarnings += name;
            mWarnings += "\"\n";
            ok = false;
            return;
        }
        mLibraries.push_back(std::move(library));
    });
    return any && ok;
}

bool VOxaReaderObj::ParseMaterialFile(std::FILE* file, MtlLibrary& library) {
    voxa_obj::VLineSource source(file, 1 << 16);
    // A UTF-8 byte-order mark is no part of the first line.
    if (source.Peek(3) == "\xEF\xBB\xBF") source.Skip(3);
    std::string_view keyword, rest;
    MtlRecord* record = nullptr;
    std::unordered_set<std::string> unread;  // keywords named in a warning, once each
    while (ReadLine(source, keyword, rest)) {
        if (keyword == "newmtl") {
            // The name is the rest of the line, as "usemtl" takes it.
            library.mRecords.emplace_back();
            record = &library.mRecords.back();
            record->mName.assign(rest);
            library.mFirst.emplace(record->mName, (int)library.mRecords.size() - 1);
            continue;
        }
        if (record == nullptr) continue;
        // A value that is not a finite number says nothing of the material: the line is
        // dropped, saying where.
        auto finite = [&](const double* x, int n) {
            for (int i = 0; i < n; ++i)
                if (!std::isfinite(x[i])) {
                    char text[160];
                    std::snprintf(text, sizeof text, "material library \"%s\": line %lld: \"%.*s\" ",
                                  GetFileName(library.mPath.c_str(), true).Buffer(), source.LineNumber(),
                                  (int)std::min<size_t>(keyword.size(), 20), keyword.data());
                    mWarnings += text;
                    mWarnings += "is not a finite number and was dropped\n";
                    return false;
                }
            return true;
        };
        int color = keyword == "Ka"   ? 0
                    : keyword == "Kd" ? 1
                    : keyword == "Ks" ? 2
                    : keyword == "Ke" ? 3
                                      : -1;
        if (color >= 0) {
            double x[3];
            const int n = ParseDoubles(rest, x, 3);
            // One value is a grey: green and blue as red.
            if (n == 1) x[1] = x[2] = x[0];
            if ((n == 3 || n == 1) && finite(x, 3)) {
                std::memcpy(record->mColor[color], x, sizeof(x));
                record->mHasColor[color] = true;
            }
        } else if (keyword == "Ns") {
            double x;
            if (ParseDoubles(rest, &x, 1) == 1 && finite(&x, 1)) {
                record->mHasNs = true;
                record->mNs = x;
            }
        } else if (keyword == "d") {
            double x;
            if (ParseDoubles(rest, &x, 1) == 1 && finite(&x, 1)) {
                record->mHasDissolve = true;
                record->mDissolve = x;
            }
        } else if (keyword == "Tr") {
            double x;
            if (ParseDoubles(rest, &x, 1) == 1 && finite(&x, 1)) {
                record->mHasTransparency = true;
                record->mTransparency = x;
            }
        } else if (const int map = MapIndex(keyword); map >= 0) {
            record->mHasMap[map] = voxa_obj::ParseMapLine(rest, record->mMaps[map]);
        } else if (const int kept = voxa_obj::KeptStatementIndex(keyword); kept >= 0) {
            if (kept == 0) {  // "illum": its model also decides whether there is a highlight
                int value;
                record->mIllum = ParseInt(rest.data(), rest.data() + rest.size(), value) ? value : 2;
            }
            auto same = [&](const std::pair<int, std::string>& k) { return k.first == kept; };
            auto it = std::find_if(record->mKept.begin(), record->mKept.end(), same);
            if (it == record->mKept.end()) it = record->mKept.insert(it, {kept, std::string()});
            it->second.assign(rest);
        } else if (unread.insert(std::string(keyword)).second) {
            mWarnings += "material library \"";
            mWarnings += GetFileName(library.mPath.c_str(), true).Buffer();
            mWarnings += "\": \"";
            mWarnings += keyword;
            mWarnings += "\" is not read\n";
        }
    }
    return !source.Failed();
}

bool VOxaReaderObj::ResolveMaterial(MaterialSlot& slot) {
    VOxaMaterial* material = slot.mMaterial;
    if (material == nullptr) return false;
    const MtlRecord* record = nullptr;
    const MtlLibrary* from = nullptr;
    const std::string name(slot.mName.Buffer(), (size_t)slot.mName.GetLen());
    for (const MtlLibrary& library : mLibraries) {
        auto it = library.mFirst.find(name);
        if (it != library.mFirst.end()) {
            record = &library.mRecords[(size_t)it->second];
            from = &library;
            break;
        }
    }
    if (record == nullptr) {
        // A material no library describes states nothing either: no ambient colour, no highlight
        // and no illumination model are written back for it.
        material->SetAmbient(VOxaColor(0.0, 0.0, 0.0, 1.0));
        material->SetDefaultSpecular(VgeTVector(0.0, 0.0, 0.0, 0.0));
        material->SetShininess(0.0);
        voxa_obj::SetKeptStatement(material, "illum", "");
        return false;
    }
    slot.mResolved = true;
    for (int c = 0; c < 4; ++c) {
        if (!record->mHasColor[c]) continue;
        const double* x = record->mColor[c];
        if (c == 2 || c == 3) {
            // A highlight or glow above 1 is kept (a strong highlight, a bright glow); below 0,
            // or not a number, it is none.
            VgeTVector color;
            for (int i = 0; i < 3; ++i)
                color[i] = std::isfinite(x[i]) ? std::max(x[i], 0.0) : 0.0;
            (c == 2) ? material->SetDefaultSpecular(color) : material->SetDefaultEmissive(color);
            continue;
        }
        const VOxaColor color(x[0], x[1], x[2], 1.0);  // clamps
        if (c == 0)
            material->SetAmbient(color);
        else
            material->SetDiffuse(color);
    }
    // What the file does not state is what the format takes for it: no ambient colour, no
    // highlight.
    if (!record->mHasColor[0]) material->SetAmbient(VOxaColor(0.0, 0.0, 0.0, 1.0));
    if (!record->mHasColor[2]) material->SetDefaultSpecular(VgeTVector(0.0, 0.0, 0.0, 0.0));
    material->SetShininess(record->mHasNs ? record->mNs * 0.01 : 0.0);
    for (const auto& kept : record->mKept)
        voxa_obj::SetKeptStatement(material, voxa_obj::kKeptStatements[kept.first], kept.second);
    // No illumination model stated is kept as an empty one, so that none is written back.
    if (std::none_of(record->mKept.begin(), record->mKept.end(), [](const auto& k) { return k.first == 0; }))
        voxa_obj::SetKeptStatement(material, "illum", "");
    if (record->mHasDissolve)
        material->SetOpacity(record->mDissolve);
    else if (record->mHasTransparency)
        material->SetOpacity(1.0 - record->mTransparency);
    if (record->mHasDissolve && record->mHasTransparency) {
        // "d" gives the opacity; the "Tr" beside it, which readers take either way (and which
        // may disagree with it), is written back as the file gave it while the opacity stays.
        std::string text;
        voxa_obj::AppendShortest(text, record->mTransparency);
        voxa_obj::KeepTransparency(material, text, material->GetOpacity());
    }
    if (record->mHasMap[kDiffuseMap]) {
        slot.mTexture = MakeMapTexture(slot.mName.Buffer(), record->mMaps[kDiffuseMap], *from);
        if (slot.mTexture != nullptr) mTexturedMaterialSeen = true;
    }
    for (int role = 0; role < VOxaMaterial::eMAP_ROLE_COUNT; ++role) {
        if (!record->mHasMap[role]) continue;
        const std::string textureName = name + "_" + kMapKeywords[role];
        material->SetMap(
            static_cast<VOxaMaterial::EMapRole>(role),
            MakeMapTexture(textureName.c_str(), record->mMaps[role], *from, role == VOxaMaterial::eMAP_BUMP));
    }
    if (record->mIllum < 2) material->SetShininess(0.0);
    return true;
}

VOxaTexture* VOxaReaderObj::MakeMapTexture(const char* name, const voxa_obj::MapLine& map,
                                           const MtlLibrary& from, bool bump) {
    VOxaTexture* texture = mManager ? mManager->CreateTexture(name) : nullptr;
    if (texture == nullptr) return nullptr;
    texture->SetFileName(map.mFile.c_str());
    // The image's name counts from the MTL file's folder.
    texture->SetSourceFolder(AbsoluteFolderOf(from.mPath).c_str());
    if (map.mHasScale) texture->SetScale(map.mScale[0], map.mScale[1]);
    if (map.mHasOffset) texture->SetTranslation(map.mOffset[0], map.mOffset[1]);
    std::string options = map.mOptions;
    // "-clamp" is the texture's wrap mode; a bump map's "-bm" its strength.
    std::string value;
    if (voxa_obj::TakeMapOption(options, "-clamp", value)) {
        const int wrap = value == "on" ? 1 : 0;
        texture->SetWrapMode(wrap, wrap);
    }
    double multiplier;
    if (bump && voxa_obj::TakeMapOption(options, "-bm", value) &&
        voxa_obj::ParseDouble(value.data(), value.data() + value.size(), multiplier) ==
            value.data() + value.size() &&
        std::isfinite(multiplier))
        texture->SetDefaultAlpha(multiplier);
    if (!options.empty()) voxa_obj::SetMapOptions(texture, options.c_str());
    return texture;
}

namespace {

// Why a face's index cannot be taken: "a face (f) names vertex 12 of 3".
std::string BadIndex(const char* what, int index, int count) {
    if (index == 0) return std::string("a face (f) names ") + what + " 0 (indices count from 1)";
    return std::string("a face (f) names ") + what + " " + std::to_string(index) + " of " +
           std::to_string(count);
}

}  // namespace

bool VOxaReaderObj::ParseFace(Container& container, std::string_view rest, std::string& error) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    const int vertexCount = (int)mVertices.size();
    const int normalCount = (int)mNormals.size();
    const int uvCount = (int)mUVs.size();
    for (;;) {
        p = voxa_obj::SkipSpace(p, end);
        if (p >= end) break;
        const char* start = p;
        int values[3], present;
        if (!FastCorner(p, end, values, present)) {
            while (p < end && !voxa_obj::IsSpace(*p))
                ++p;
            if (!CutCorner(start, p, values, present)) {
                error = "a face (f) has an index too large to read";
                return false;
            }
        }
        if ((present & 1) == 0) {
            error = "a face (f) has a corner without a vertex index";
            return false;
        }
        Corner corner{ResolveIndex(values[0], vertexCount), -1, -1};
        if (corner.mVertex < 0) {
            error = BadIndex("vertex", values[0], vertexCount);
            return false;
        }
        if (present & 2) {
            corner.mUV = ResolveIndex(values[1], uvCount);
            if (corner.mUV < 0) {
                error = BadIndex("texture coordinate", values[1], uvCount);
                return false;
            }
        }
        if (present & 4) {
            corner.mNormal = ResolveIndex(values[2], normalCount);
            if (corner.mNormal < 0) {
                error = BadIndex("normal", values[2], normalCount);
                return false;
            }
        }
        container.mCorners.push_back(corner);
    }
    return true;
}

bool VOxaReaderObj::ComputeMissingNormals(Container& container, const std::vector<int>& order) {
    if (container.mPolygons.empty()) return false;
    std::vector<VgeTVector> faceNormals(container.mPolygons.size());
    std::vector<char> faceDone(container.mPolygons.size(), 0);
    std::vector<int> faceIndex(container.mPolygons.size(), -1);  // a face's own normal, once added
    auto faceNormal = [&](int p) -> const VgeTVector& {
        if (!faceDone[(size_t)p]) {
            // Newell's method over every corner: a polygon whose first three corners lie on a
            // line still gets its normal.
            const Polygon& polygon = container.mPolygons[(size_t)p];
            auto corner = [&](int k) -> const Corner& {
                return container.mCorners[(size_t)polygon.mFirst + (size_t)k];
            };
            VgeTVector n(0.0, 0.0, 0.0, 0.0);
            for (int k = 0; k < polygon.mCount; ++k) {
                const VgeTVector& a = mVertices[(size_t)corner(k).mVertex];
                const VgeTVector& b = mVertices[(size_t)corner((k + 1) % polygon.mCount).mVertex];
                n[0] += (a[1] - b[1]) * (a[2] + b[2]);
                n[1] += (a[2] - b[2]) * (a[0] + b[0]);
                n[2] += (a[0] - b[0]) * (a[1] + b[1]);
            }
            n.Normalize();
            n[3] = 0.0;
            faceNormals[(size_t)p] = n;
            faceDone[(size_t)p] = 1;
        }
        return faceNormals[(size_t)p];
    };

    // `order` lists the polygons by smoothing group; walk each group's run.
    struct Use {
        int mVertex;
        int mPolygon;
        int mCorner;  // position in the corner array
    };
    std::vector<Use> uses;
    size_t at = 0;
    while (at < order.size()) {
        const int g = container.mPolygons[(size_t)order[at]].mSmoothing;
        size_t stop = at;
        while (stop < order.size() && container.mPolygons[(size_t)order[stop]].mSmoothing == g)
            ++stop;
        if (g == 0) {
            for (size_t i = at; i < stop; ++i) {
                const int p = order[i];
                Polygon& polygon = container.mPolygons[(size_t)p];
                if (polygon.mHasNormals) continue;
                mNormals.push_back(faceNormal(p));
                const int index = (int)mNormals.size() - 1;
                for (int k = 0; k < polygon.mCount; ++k)
                    container.mCorners[(size_t)(polygon.mFirst + k)].mNormal = index;
                polygon.mHasNormals = true;
            }
        } else {
            uses.clear();
            for (size_t i = at; i < stop; ++i) {
                const int p = order[i];
                const Polygon& polygon = container.mPolygons[(size_t)p];
                for (int k = 0; k < polygon.mCount; ++k)
                    uses.push_back(
                        Use{container.mCorners[(size_t)(polygon.mFirst + k)].mVertex, p, polygon.mFirst + k});
            }
            std::stable_sort(uses.begin(), uses.end(),
                             [](const Use& a, const Use& b) { return a.mVertex < b.mVertex; });
            size_t u = 0;
            while (u < uses.size()) {
                size_t e = u;
                VgeTVector sum;
                bool missing = false;
                for (; e < uses.size() && uses[e].mVertex == uses[u].mVertex; ++e) {
                    const Corner& corner = container.mCorners[(size_t)uses[e].mCorner];
                    if (corner.mNormal < 0) {
                        missing = true;
                        sum += faceNormal(uses[e].mPolygon);
                    } else {
                        sum += mNormals[(size_t)corner.mNormal];
                    }
                }
                // Unit normals that cancel (faces back to back in one smoothing group) leave
                // no direction: each corner then takes its own face's normal.
                const double length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
                if (missing && length > 1e-6 * (double)(e - u)) {
                    sum.Normalize();
                    sum[3] = 0.0;
                    mNormals.push_back(sum);
                    const int index = (int)mNormals.size() - 1;
                    for (size_t i = u; i < e; ++i) {
                        Corner& corner = container.mCorners[(size_t)uses[i].mCorner];
                        if (corner.mNormal < 0) corner.mNormal = index;
                    }
                } else if (missing) {
                    for (size_t i = u; i < e; ++i) {
                        Corner& corner = container.mCorners[(size_t)uses[i].mCorner];
                        if (corner.mNormal >= 0) continue;
                        int& own = faceIndex[(size_t)uses[i].mPolygon];
                        if (own < 0) {
                            mNormals.push_back(faceNormal(uses[i].mPolygon));
                            own = (int)mNormals.size() - 1;
                        }
                        corner.mNormal = own;
                    }
                }
                u = e;
            }
            for (size_t i = at; i < stop; ++i)
                container.mPolygons[(size_t)order[i]].mHasNormals = true;
        }
        at = stop;
    }
    container.mAllNormals = true;
    return true;
}

VOxaMesh* VOxaReaderObj::BuildGroupMesh(Container& container, bool last) {
    const size_t polygonCount = container.mPolygons.size();
    const size_t cornerCount = container.mCorners.size();
    // The polygons by smoothing group, ascending, each group in the order read. Files with one
    // smoothing group (or none) are in order already and are walked as they stand, which lets
    // the walk free their blocks behind it.
    bool sorted = true;
    for (size_t i = 1; i < polygonCount && sorted; ++i)
        sorted = container.mPolygons[i - 1].mSmoothing <= container.mPolygons[i].mSmoothing;
    std::vector<int> order;
    if (!sorted || !container.mAllNormals) {
        order.resize(polygonCount);
        for (size_t i = 0; i < polygonCount; ++i)
            order[i] = (int)i;
        if (!sorted)
            std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
                return container.mPolygons[(size_t)a].mSmoothing < container.mPolygons[(size_t)b].mSmoothing;
            });
    }
    if (!container.mAllNormals && !ComputeMissingNormals(container, order)) return nullptr;
    mNormalCount = (int)mNormals.size();
    // Known once every library is read: a material may be defined after its faces.
    for (size_t i = 0; i < polygonCount; ++i) {
        const Polygon& polygon = container.mPolygons[i];
        if (polygon.mMaterial >= 0 && mMaterials[(size_t)polygon.mMaterial].mTexture != nullptr) {
            container.mSomeTexture = true;
            break;
        }
    }
    VOxaMesh* mesh = mManager ? mManager->CreateMesh() : nullptr;
    if (mesh == nullptr) return nullptr;

    mesh->InitMaterialIndices(mMtllibSeen ? eBY_POLYGON : eALL_SAME);
    // One UV index per polygon vertex (-1: none), in the order the polygons are added, written
    // into the mesh as they come: its array comes zeroed from the system, and its pages take
    // memory only as they are written, while the group's own are freed.
    VArrayTemplate<int>* uvSlots = nullptr;
    size_t uvSlotCount = 0;
    if (container.mSomeUVs) {
        mesh->InitTextureUVIndices(eBY_POLYGON_VERTEX);
        VOxaLayerElementUV* element = mesh->GetLayer(0) ? mesh->GetLayer(0)->GetUVs() : nullptr;
        uvSlots = element ? &element->GetIndexArray() : nullptr;
        if (uvSlots != nullptr && (cornerCount > (size_t)INT_MAX || !uvSlots->SetCount((int)cornerCount)))
            uvSlots = nullptr;
    }
    // Polygons of an untextured material get texture index -1: none, not another's texture.
    if (container.mSomeTexture) mesh->InitTextureIndices(eBY_POLYGON);
    mesh->ReservePolygons((int)polygonCount, (int)cornerCount);

    // One pass over the corners: each file vertex the group uses becomes one control point, however
    // many UVs and normals meet at it, so that the faces the file joins stay joined; the UVs and
    // normals go by corner, each one the group uses once. The polygons go into the mesh as they
    // are met; the group's blocks are freed behind the pass, so the group and the mesh are not
    // both held whole.
    VIndexNumbering points(mPointNumbers, mVertices.size(), std::min(cornerCount, mVertices.size()));
    VIndexNumbering uvTable(mUVNumbers, container.mSomeUVs ? mUVs.size() : 0,
                            container.mSomeUVs ? std::min(cornerCount, mUVs.size()) : 0);
    VIndexNumbering normalTable(mNormalNumbers, mNormals.size(), std::min(cornerCount, mNormals.size()));
    // One normal per control point while no point meets two: then they are kept by point, and
    // the corners' normals are gathered only from the first point that meets two on.
    std::vector<int> pointNormal;
    pointNormal.reserve(std::min(cornerCount, mVertices.size()));
    bool normalsByPoint = true;
    voxa_obj::VChunkedArray<int> normalSlots;
    auto normalsByCorner = [&] {
        normalsByPoint = false;
        const int* cornerPoints = mesh->GetPolygonVertices();
        const int cornersSoFar = mesh->GetPolygonVertexCount();
        for (int i = 0; i < cornersSoFar; ++i)
            normalSlots.push_back(pointNormal[(size_t)cornerPoints[i]]);
    };
    // The smoothing group of each polygon, kept when one of them is in a group.
    std::vector<int> smoothing;
    bool smoothed = false;
    smoothing.reserve(polygonCount);
    // Per material slot, its index and its texture's index in the mesh (-2: not added yet).
    std::vector<int> materialIndex(mMaterials.size(), -2), textureIndex(mMaterials.size(), -2);
    for (size_t i = 0; i < polygonCount; ++i) {
        const size_t p = order.empty() ? i : (size_t)order[i];
        const Polygon polygon = container.mPolygons[p];
        int m = 0, t = -1;
        if (mMtllibSeen && polygon.mMaterial >= 0) {
            const size_t s = (size_t)polygon.mMaterial;
            if (materialIndex[s] == -2) {
                VOxaMaterial* material = mMaterials[s].mMaterial;
                int index = material ? mesh->AddMaterial(material, 0) : -1;
                if (index < 0 && material)
                    index = mesh->GetMaterialIndex(material->GetNameWithoutPrefix(), 0);
                materialIndex[s] = index < 0 ? 0 : index;
            }
            m = materialIndex[s];
            if (mMaterials[s].mTexture != nullptr) {
                if (textureIndex[s] == -2) textureIndex[s] = mesh->AddTexture(mMaterials[s].mTexture, 0);
                t = textureIndex[s];
            }
        }
        mesh->BeginPolygon(m, container.mSomeTexture ? t : -1, -1);
        smoothing.push_back(polygon.mSmoothing);
        smoothed = smoothed || polygon.mSmoothing != 0;
        for (int k = 0; k < polygon.mCount; ++k) {
            const size_t c = (size_t)polygon.mFirst + (size_t)k;
            // The table's slots are spread at random: in a walk in file order, the corners some
            // way ahead are looked up early, so the lookups do not wait for memory one by one.
            if (sorted && c + 16 < cornerCount) points.Prefetch(container.mCorners[c + 16].mVertex);
            const Corner& corner = container.mCorners[c];
            const int point = points.Share(corner.mVertex);
            const int normal = corner.mNormal >= 0 ? normalTable.Share(corner.mNormal) : -1;
            if (uvSlots != nullptr)
                (*uvSlots)[(int)uvSlotCount++] = corner.mUV >= 0 ? uvTable.Share(corner.mUV) : -1;
            if (!normalsByPoint) {
                normalSlots.push_back(normal);
            } else if ((size_t)point == pointNormal.size()) {
                pointNormal.push_back(normal);
            } else if (pointNormal[(size_t)point] != normal) {
                normalsByCorner();
                normalSlots.push_back(normal);
            }
            mesh->AddPolygonVertex(point, -1);
        }
        mesh->EndPolygon();
        if (sorted && (i & 1023) == 0) {
            container.mCorners.ReleaseBefore((size_t)polygon.mFirst);
            container.mPolygons.ReleaseBefore(i);
        }
    }
    container.mCorners.clear();
    container.mPolygons.clear();
    // The group's loose vertices follow the points its faces use; having no normal, they leave
    // the normals by corner.
    if (!container.mLoose.empty() && normalsByPoint) normalsByCorner();
    for (int v : container.mLoose)
        points.Share(v);
    if (last) {
        points.FreeMap();
        uvTable.FreeMap();
        normalTable.FreeMap();
    }
    const int pointCount = (int)points.Count();
    const int uvCount = (int)uvTable.Count();
    const int normalCount = (int)normalTable.Count();
    VOxaLayer* layer0 = mesh->GetLayer(0);
    if (uvSlots != nullptr) uvSlots->SetCount((int)uvSlotCount);

    // The control points, normals and UVs from the tables; the last group frees what was read as
    // soon as the mesh holds it.
    mesh->InitControlPoints(pointCount);
    if (VgeTVector* controlPoints = mesh->GetControlPoints())
        for (int i = 0; i < pointCount; ++i)
            controlPoints[i] = mVertices[(size_t)points.Get(i)];
    if (last) std::vector<VgeTVector>().swap(mVertices);
    auto normalOf = [&](int slot) {
        return slot >= 0 ? mNormals[(size_t)normalTable.Get(slot)] : VgeTVector(0.0, 0.0, 0.0, 0.0);
    };
    if (normalsByPoint) {
        mesh->InitNormals(pointCount);
        if (VgeTVector* normals = mesh->GetNormals())
            for (int i = 0; i < pointCount; ++i)
                normals[i] = normalOf(pointNormal[(size_t)i]);
    } else if (polygonCount > 0) {
        mesh->InitNormals(normalCount);
        VOxaLayerElementNormal* element = layer0 ? layer0->GetNormals() : nullptr;
        if (element != nullptr && element->GetDirectArray().GetCount() == normalCount &&
            element->GetIndexArray().SetCount((int)normalSlots.size())) {
            element->SetMappingMode(eBY_POLYGON_VERTEX);
            element->SetReferenceMode(eINDEX_TO_DIRECT);
            VgeTVector* normals = element->GetDirectArray().GetArray();
            for (int i = 0; i < normalCount; ++i)
                normals[i] = normalOf(i);
            int* to = element->GetIndexArray().GetArray();
            for (size_t i = 0; i < normalSlots.size(); ++i)
                to[i] = normalSlots[i];
        }
    }
    normalSlots.clear();
    if (last) std::vector<VgeTVector>().swap(mNormals);
    // The smoothing groups, for a writer to put back (faces of one group smooth together).
    if (smoothed && layer0 != nullptr && layer0->GetPolygonGroups() == nullptr) {
        if (auto* groups = oxa_alloc::Counted(new (std::nothrow) VOxaLayerElementPolygonGroup)) {
            groups->SetMappingMode(eBY_POLYGON);
            groups->SetReferenceMode(eDIRECT);
            layer0->SetPolygonGroups(groups);
            if (groups->GetDirectArray().SetCount((int)smoothing.size()))
                std::copy(smoothing.begin(), smoothing.end(), groups->GetDirectArray().GetArray());
        }
    }
    if (uvCount > 0) {
        VOxaLayerElementUV* element = layer0 ? layer0->GetUVs() : nullptr;
        if (element != nullptr && element->GetDirectArray().SetCount(uvCount)) {
            VgeVector2* uvs = element->GetDirectArray().GetArray();
            for (int i = 0; i < uvCount; ++i)
                uvs[i] = mUVs[(size_t)uvTable.Get(i)];
            // The w values, only for a group that uses a UV with one.
            bool someW = false;
            for (int i = 0; i < uvCount && !mUVWs.empty() && !someW; ++i)
                someW = !std::isnan(mUVWs[(size_t)uvTable.Get(i)]);
            if (someW && element->GetWArray().SetCount(uvCount)) {
                double* ws = element->GetWArray().GetArray();
                for (int i = 0; i < uvCount; ++i)
                    ws[i] = mUVWs[(size_t)uvTable.Get(i)];
            }
        }
    }
    if (last) std::vector<VgeVector2>().swap(mUVs);
    if (last) std::vector<double>().swap(mUVWs);
    return mesh;
}

void VOxaReaderObj::ParseSurface(Surface& surface, std::string_view rest) {
    MarkReferenced(rest, 4);
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view word;
    double range[4] = {0.0, 0.0, 0.0, 0.0};
    for (int i = 0; i < 4; ++i) {
        p = NextWord(p, end, word);
        if (p == nullptr) return;
        ParseDouble(word.data(), word.data() + word.size(), range[i]);
    }
    surface.mS0 = range[0];
    surface.mS1 = range[1];
    surface.mT0 = range[2];
    surface.mT1 = range[3];
    const int vertexCount = (int)mVertices.size();
    while ((p = NextWord(p, end, word)) != nullptr) {
        int v, t, n;
        if (!ParseFaceCorner(word, v, t, n)) return;
        const int index = ResolveIndex(v, vertexCount);
        if (index >= 0) surface.mControlPoints.push_back(index);
    }
}

void VOxaReaderObj::MarkReferenced(std::string_view rest, int skip) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view word;
    for (int i = 0; (p = NextWord(p, end, word)) != nullptr; ++i) {
        int v, t, n;
        const int index =
            i >= skip && ParseFaceCorner(word, v, t, n) ? ResolveIndex(v, (int)mVertices.size()) : -1;
        if (index < 0) continue;
        if (mReferenced.size() <= (size_t)index) mReferenced.resize(mVertices.size(), 0);
        mReferenced[(size_t)index] = 1;
    }
}

void VOxaReaderObj::GatherLooseVertices() {
    if (mVertices.empty()) return;
    mReferenced.resize(mVertices.size(), 0);
    for (size_t r = 0; r < mVertexRuns.size(); ++r) {
        const VertexRun& run = mVertexRuns[r];
        const int stop = r + 1 < mVertexRuns.size() ? mVertexRuns[r + 1].mFirst : (int)mVertices.size();
        Container* container = nullptr;
        for (int v = run.mFirst; v < stop; ++v) {
            if (mReferenced[(size_t)v]) continue;
            if (container == nullptr)
                container = mGroups[(size_t)FindOrAddGroup(run.mGroup, run.mObject)].get();
            container->mLoose.push_back(v);
        }
    }
    std::vector<char>().swap(mReferenced);
    std::vector<VertexRun>().swap(mVertexRuns);
}

void VOxaReaderObj::ParseSurfaceParameters(Surface& surface, std::string_view rest) {
    const char* p = rest.data();
    const char* end = p + rest.size();
    std::string_view direction, word;
    p = NextWord(p, end, direction);
    if (p == nullptr || NextWord(p, end, word) == nullptr) return;
    std::vector<double>* out = nullptr;
    if (direction[0] == 'u')
        out = &surface.mUParameters;
    else if (direction[0] == 'v')
        out = &surface.mVParameters;
    else
        return;
    while ((p = NextWord(p, end, word)) != nullptr) {
        double value;
        if (ParseDouble(word.data(), word.data() + word.size(), value) == nullptr) break;
        out->push_back(value);
    }
}

VOxaNurb* VOxaReaderObj::BuildNurbs(const Surface& surface) {
    if (surface.mType != 3 || !surface.mRational || mManager == nullptr) return nullptr;
    const long long nu = (long long)surface.mUParameters.size() - surface.mUDegree - 1;
    const long long nv = (long long)surface.mVParameters.size() - surface.mVDegree - 1;
    if (surface.mUDegree < 1 || surface.mVDegree < 1 || nu < 1 || nv < 1 ||
        (long long)surface.mControlPoints.size() != nu * nv)
        return nullptr;
    VOxaNurb* nurb = mManager->CreateNurb();
    if (nurb == nullptr) return nullptr;
    // The file's u direction becomes the surface's v direction and the other way round.
    nurb->SetOrder(surface.mVDegree + 1, surface.mUDegree + 1);
    nurb->InitControlPoints((int)nv, eOPEN, (int)nu, eOPEN);
    nurb->SetStep(3, 3);
    if (nurb->GetControlPointsCount() != nu * nv) {
        mManager->DestroyNodeAttribute(nurb);
        return nullptr;
    }
    double* uKnots = nurb->GetUKnotVector();
    double* vKnots = nurb->GetVKnotVector();
    const size_t uKnotCount = std::min((size_t)nurb->GetUKnotCount(), surface.mVParameters.size());
    const size_t vKnotCount = std::min((size_t)nurb->GetVKnotCount(), surface.mUParameters.size());
    if (uKnots != nullptr)
        std::copy(surface.mVParameters.begin(), surface.mVParameters.begin() + (long)uKnotCount, uKnots);
    if (vKnots != nullptr)
        std::copy(surface.mUParameters.begin(), surface.mUParameters.begin() + (long)vKnotCount, vKnots);
    VgeTVector* points = nurb->GetControlPoints();
    for (size_t i = 0; i < surface.mControlPoints.size(); ++i) {
        const size_t at = (size_t)((long long)i % nu * nv + (long long)i / nu);
        points[at] = mVertices[(size_t)surface.mControlPoints[i]];
    }
    if (surface.mMaterial >= 0) {
        const MaterialSlot& slot = mMaterials[(size_t)surface.mMaterial];
        if (slot.mMaterial != nullptr) nurb->AddMaterial(slot.mMaterial, 0);
        if (slot.mTexture != nullptr) {
            slot.mTexture->SetUVSwap(true);
            nurb->AddTexture(slot.mTexture, 0);
        }
    }
    return nurb;
}

bool VOxaReaderObj::BuildScene(VOxaScene* scene) {
    VOxaNode* parent = scene->GetRootNode();
    if (mCreateReferenceNode) {
        VString name = GetFileName(mObjPath.Buffer(), false);
        name += "_root";
        VOxaNode* reference = mManager ? mManager->CreateNode(name.Buffer()) : nullptr;
        if (reference == nullptr) return false;
        parent->AddChild(reference);
        parent = reference;
    }
    // The groups in the order of their names, without regard to case. The names are sorted as
    // lower-case copies lying back to back, so that the comparisons do not go out to each
    // group's own memory.
    std::string folded;
    std::vector<std::pair<size_t, size_t>> spans(mGroups.size());
    for (size_t g = 0; g < mGroups.size(); ++g) {
        const char* name = mGroups[g]->mName.Buffer();
        spans[g].first = folded.size();
        for (; *name; ++name)
            folded += voxa_obj::LowerAscii(*name);
        spans[g].second = folded.size() - spans[g].first;
    }
    std::vector<int> order(mGroups.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = (int)i;
    // Groups of one name keep their order in the file (the index decides), so no working
    // buffer is needed that could be refused.
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        const std::string_view nameA(folded.data() + spans[(size_t)a].first, spans[(size_t)a].second);
        const std::string_view nameB(folded.data() + spans[(size_t)b].first, spans[(size_t)b].second);
        const int c = nameA.compare(nameB);
        return c != 0 ? c < 0 : a < b;
    });
    std::string().swap(folded);
    std::vector<std::pair<size_t, size_t>>().swap(spans);
    for (size_t i = 0; i < order.size(); ++i) {
        const int g = order[i];
        Container& container = *mGroups[(size_t)g];
        VOxaObjectName name(container.mName.Buffer());
        mNodeRenaming.Rename(name);
        VOxaNode* node = mManager ? mManager->CreateNode(name.GetCurrent()) : nullptr;
        if (node == nullptr) return false;
        VOxaMesh* mesh = BuildGroupMesh(container, i + 1 == order.size());
        if (mesh == nullptr) {
            mManager->DestroyNode(node);
            return false;
        }
        node->SetNodeAttribute(mesh);
        if (mTexturedMaterialSeen) node->SetShadingMode(5);
        parent->AddChild(node);
        // The group's faces are not needed any more: free them before the next group is built.
        mGroups[(size_t)g].reset();
    }
    return true;
}
