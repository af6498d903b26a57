// Memory that runs out in a read or a write: the importer and the exporter end it with "Not
// enough memory", never with success for less than the file holds, and a failed write leaves the
// file that was there as it was. The failures are made by the allocation switch of the growable
// arrays and the key storage, at every point from the first allocation on.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "animation/fcurve_node.h"
#include "attributes/voxa_camera.h"
#include "attributes/voxa_layer.h"
#include "attributes/voxa_link.h"
#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "attributes/voxa_texture.h"
#include "attributes/voxa_video.h"
#include "base/vallocation_hook.h"
#include "base/vstring_list.h"
#include "character/voxa_character.h"
#include "character/voxa_character_link.h"
#include "character/voxa_constraint_aim.h"
#include "character/voxa_constraint_parent.h"
#include "character/voxa_constraint_position.h"
#include "character/voxa_constraint_single_chain_ik.h"
#include "formats/motion/voxa_motion_export.h"
#include "objects/voxa_user_property.h"
#include "oxa_codec/voxa_exporter.h"
#include "oxa_codec/voxa_importer.h"
#include "oxa_codec/voxa_io_formats.h"
#include "oxa_codec/voxa_reader.h"
#include "oxa_codec/voxa_writer.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_node_attribute.h"
#include "scene/voxa_node_properties.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_scene_contents.h"
#include "scene/voxa_scene_info.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"
#include "tests/support/test_files.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define OXA_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define OXA_TEST_ASAN 1
#endif
#ifdef OXA_TEST_ASAN
#include <sanitizer/allocator_interface.h>
#endif

namespace {
long long LiveBytes() {
#ifdef OXA_TEST_ASAN
    return (long long)__sanitizer_get_current_allocated_bytes();
#else
    return 0;
#endif
}

// The heap bytes of the caller's own text.
long long HeapBytes(const std::string& text) {
#ifdef OXA_TEST_ASAN
    return __sanitizer_get_ownership(text.data()) ? (long long)__sanitizer_get_allocated_size(text.data())
                                                  : 0;
#else
    (void)text;
    return 0;
#endif
}
}  // namespace

// A read cut off part way may leave objects that it had made but not yet handed to their owner;
// what is checked here is the result of every run, not what such a run leaves.
extern "C" const char* __lsan_default_options() {
    return "detect_leaks=0";
}

// Every allocation of this program goes through here, so that a test can make one throwing
// allocation, the n-th from when it is armed, fail as if memory had run out, or the next nothrow
// one. (Nothrow allocations are otherwise left alone: not every caller of one counts its failure
// yet.)
namespace {
long long gAllocationsToFail = -1;  // below 0: none fails
long long gAllocationsSeen = 0;
long long gAllocationsRefused = 0;
bool gFailNextNothrow = false;
long long gNothrowToFail = -1;  // below 0: none fails
long long gNothrowSeen = 0;
long long gNothrowRefused = 0;
long long gAllowedLeft = -1;  // at 0 every allocation fails, throwing or not; below 0: off

void* Allocate(std::size_t size) noexcept {
    return std::malloc(size ? size : 1);
}

void* AllocateNothrow(std::size_t size) noexcept {
    if (gAllowedLeft == 0) return nullptr;
    if (gAllowedLeft > 0) --gAllowedLeft;
    if (gFailNextNothrow) {
        gFailNextNothrow = false;
        return nullptr;
    }
    if (gNothrowToFail >= 0 && gNothrowSeen++ == gNothrowToFail) {
        ++gNothrowRefused;
        return nullptr;
    }
    return Allocate(size);
}

void* AllocateOrThrow(std::size_t size) {
    if (gAllowedLeft == 0) {
        ++gAllocationsRefused;
        throw std::bad_alloc();
    }
    if (gAllowedLeft > 0) --gAllowedLeft;
    if (gAllocationsToFail >= 0 && gAllocationsSeen++ == gAllocationsToFail) {
        ++gAllocationsRefused;
        throw std::bad_alloc();
    }
    void* p = Allocate(size);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNothrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateNothrow(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}

namespace {

std::string TempPath(const std::string& name) {
    static const std::string folder = oxa_test::MakeProcessTempFolder("memory_");
    return folder + name;
}

// Three joints over 40 frames.
std::string SmallBvh() {
    std::string text =
        "HIERARCHY\nROOT Hips\n{\n  OFFSET 0 0 0\n"
        "  CHANNELS 6 Xposition Yposition Zposition Zrotation Xrotation Yrotation\n"
        "  JOINT Spine\n  {\n    OFFSET 0 10 0\n    CHANNELS 3 Zrotation Xrotation Yrotation\n"
        "    End Site\n    {\n      OFFSET 0 10 0\n    }\n  }\n}\n"
        "MOTION\nFrames: 40\nFrame Time: 0.0333333\n";
    for (int f = 0; f < 40; ++f)
        text += std::to_string(f) + " 1 2 " + std::to_string(f % 7) + " 3 4 5 " + std::to_string(f) + " 6\n";
    return text;
}

// A grid of 12 x 12 quads.
std::string GridObj(bool uvs = false) {
    std::string text;
    for (int y = 0; y <= 12; ++y)
        for (int x = 0; x <= 12; ++x) {
            text += "v " + std::to_string(x) + " " + std::to_string(y) + " 0\n";
            if (uvs) text += "vt " + std::to_string(x / 12.0) + " " + std::to_string(y / 12.0) + "\n";
        }
    auto corner = [uvs](int i) {
        return uvs ? std::to_string(i) + "/" + std::to_string(i) : std::to_string(i);
    };
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            const int a = y * 13 + x + 1;
            text +=
                "f " + corner(a) + " " + corner(a + 1) + " " + corner(a + 14) + " " + corner(a + 13) + "\n";
        }
    return text;
}

// Two markers over 30 frames.
std::string SmallTrc() {
    std::string text =
        "PathFileType\t3\t(X/Y/Z)\tsmall.trc\nDataRate\tCameraRate\tNumFrames\tNumMarkers\tUnits\n"
        "30\t30\t30\t2\tmm\nFrame#\tTime\tA\t\t\tB\nX1\tY1\tZ1\tX2\tY2\tZ2\n";
    for (int f = 0; f < 30; ++f)
        text += std::to_string(f + 1) + "\t" + std::to_string(f / 30.0) + "\t1\t2\t" + std::to_string(f) +
                "\t4\t5\t6\n";
    return text;
}

struct ReadResult {
    bool ok = false;
    int id = -1;
    std::string text;
    int children = 0;
    std::string scene;  // Describe's text, for a read that answered success
};

// What a read made, as text: every node, attribute, material, texture and video the manager
// holds, in its order, with the node's parent and global transform, each property's value and
// connection counts, every curve's default and keys in every take, and the mesh sizes; then the
// scene's takes.
std::string Describe(VOxaSdkManager* m, VOxaScene* s) {
    std::ostringstream out;
    out.precision(17);
    auto describe = [&out](const VOxaTakeNodeContainer* object) {
        out << object->GetName() << "\n";
        VArrayTemplate<VProperty*> properties;
        object->FillPropertyArray(properties);
        for (int i = 0; i < properties.GetCount(); ++i) {
            double values[4] = {0, 0, 0, 0};
            const int count = properties[i]->GetValue(values);
            out << " " << properties[i]->GetName() << " " << properties[i]->GetSrcCount() << "/"
                << properties[i]->GetDstCount() << ":";
            for (int k = 0; k < count && k < 4; ++k)
                out << " " << values[k];
            out << "\n";
        }
        for (int t = 0; t < object->GetTakeNodeCount(); ++t) {
            std::vector<VFCurveNode*> stack{object->GetTakeNode(t)->GetVFCurveNode()};
            out << " take " << object->GetTakeNodeName(t) << "\n";
            while (!stack.empty()) {
                const VFCurveNode* curveNode = stack.back();
                stack.pop_back();
                out << "  " << curveNode->GetName();
                if (const VFCurve* curve = curveNode->FCurveGet()) {
                    out << " " << curve->GetDefaultValue();
                    for (int k = 0; k < curve->KeyGetCount(); ++k)
                        out << " " << curve->KeyGetTime(k).Get() << ":" << curve->KeyGetValue(k);
                }
                out << "\n";
                for (int c = curveNode->GetCount() - 1; c >= 0; --c)
                    stack.push_back(curveNode->Get(c));
            }
        }
    };
    for (int i = 0; i < m->GetNodeCount(); ++i) {
        VOxaNode* node = m->GetNode(i);
        describe(node);
        // The transform evaluated at the start, as a program reads it.
        const VgeAMatrix& global = node->EvaluateGlobalTransform(VTime(0));
        for (int k = 0; k < 12; ++k)
            out << " " << global.mData[k / 3][k % 3];
        out << " parent " << (node->GetParent() ? node->GetParent()->GetName() : "-") << " children "
            << node->GetChildCount() << " attribute " << node->GetNodeAttributeType() << "\n";
        if (const VOxaMesh* mesh = node->GetMesh())
            out << " mesh " << mesh->GetControlPointsCount() << " " << mesh->GetPolygonCount() << " "
                << mesh->GetPolygonVertexCount() << "\n";
    }
    for (int i = 0; i < m->GetNodeAttributeCount(); ++i) {
        VArrayTemplate<VProperty*> channels;
        m->GetNodeAttribute(i)->CollectChannels(channels);
        out << "attribute " << m->GetNodeAttribute(i)->GetAttributeType();
        for (int k = 0; k < channels.GetCount(); ++k) {
            double values[4] = {0, 0, 0, 0};
            for (int v = 0, count = channels[k]->GetValue(values); v < count && v < 4; ++v)
                out << " " << values[v];
        }
        out << "\n";
    }
    for (int i = 0; i < m->GetMaterialCount(); ++i)
        describe(m->GetMaterial(i));
    for (int i = 0; i < m->GetTextureCount(); ++i)
        describe(m->GetTexture(i));
    for (int i = 0; i < m->GetVideoCount(); ++i)
        describe(m->GetVideo(i));
    VStringList takes;
    s->FillTakeNameArray(takes);
    for (int k = 0; k < takes.GetCount(); ++k)
        out << "take " << takes[k] << "\n";
    return out.str();
}

// Reads `path` into a new scene with `allowed` allocations through the switch (-1: no limit).
ReadResult ReadWith(const std::string& path, long long allowed) {
    ReadResult result;
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaScene* scene = manager->CreateScene();
    VOxaImporter* importer = manager->CreateImporter();
    oxa_alloc::Fail(allowed);
    result.ok = importer->Initialize(path.c_str()) && importer->Import(scene);
    oxa_alloc::Fail(-1);
    result.id = importer->GetError().GetLastErrorID();
    result.text = importer->GetError().GetLastErrorString().Buffer();
    result.children = scene->GetRootNode()->GetChildCount();
    delete manager;
    return result;
}

}  // namespace

TEST(memory, AReadThatRunsOutFailsWithThatErrorAtEveryPoint) {
    for (const auto& [name, text] :
         {std::make_pair("walk.bvh", SmallBvh()), std::make_pair("grid.obj", GridObj()),
          std::make_pair("small.trc", SmallTrc()),
          // Two faces of one layer: their points go into one mesh, whose room may not be had.
          std::make_pair("faces.dxf",
                         std::string("0\nSECTION\n2\nENTITIES\n"
                                     "0\n3DFACE\n8\nL\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n"
                                     "12\n1\n22\n1\n32\n0\n13\n1\n23\n1\n33\n0\n"
                                     "0\n3DFACE\n8\nL\n10\n2\n20\n0\n30\n0\n11\n3\n21\n0\n31\n0\n"
                                     "12\n3\n22\n1\n32\n0\n13\n3\n23\n1\n33\n0\n"
                                     "0\nENDSEC\n0\nEOF\n"))}) {
        const std::string path = TempPath(name);
        oxa_test::WriteFile(path, text);
        const ReadResult whole = ReadWith(path, -1);
        ASSERT_TRUE(whole.ok) << name << ": " << whole.text;
        int failed = 0;
        for (long long allowed = 0;; allowed += allowed < 64 ? 1 : allowed / 4) {
            const unsigned long long before = oxa_alloc::FailureCount();
            const ReadResult r = ReadWith(path, allowed);
            const bool ranOut = oxa_alloc::FailureCount() != before;
            if (!ranOut) {
                EXPECT_TRUE(r.ok) << name << " with " << allowed << " allocations: " << r.text;
                EXPECT_EQ(r.children, whole.children);
                break;
            }
            ++failed;
            ASSERT_FALSE(r.ok) << name << ": a read that ran out of memory after " << allowed
                               << " allocations answered success";
            EXPECT_EQ(r.id, VOxaReader::eNOT_ENOUGH_MEMORY) << name << " after " << allowed << ": " << r.text;
            EXPECT_EQ(r.text, "Not enough memory") << name << " after " << allowed;
        }
        // The DXF reader keeps its points in the reader's own storage until the mesh is made.
        EXPECT_GT(failed, std::string(name) == "faces.dxf" ? 1 : 3) << name;
    }
}

// A read of every format in which each throwing allocation in turn is refused, one at a time,
// wherever it is: in what is read, the scene being built, or the release of what was read: the read fails
// with "Not enough memory" (or, when what was refused was an index it can do without, reads all), the manager
// it read into is deleted without touching freed memory (every link made is whole or undone), and nothing the
// read made outlives that manager.
TEST(memory, AReadInWhichAnyOneAllocationThrowsFailsWithThatError) {
    const std::string source = TempPath("grid_for_3ds.obj"), path = TempPath("grid.3ds");
    const std::string dxf = TempPath("throwing_grid.dxf"), bvh = TempPath("throwing_walk.bvh");
    oxa_test::WriteFile(source, GridObj(true));
    oxa_test::WriteFile(bvh, SmallBvh());
    {
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = manager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(source.c_str()) && importer->Import(scene));
        VOxaExporter* exporter = manager->CreateExporter();
        ASSERT_TRUE(exporter->Initialize(path.c_str()) &&
                    exporter->SetFileFormat(VOxaFindWriterFormat("3ds")) && exporter->Export(scene));
        VOxaExporter* dxfExporter = manager->CreateExporter();
        ASSERT_TRUE(dxfExporter->Initialize(dxf.c_str()) && dxfExporter->Export(scene));
        delete manager;
    }
    const std::string corpus = std::string(OXA_EXAMPLES_DIR) + "/../fuzz/corpus/";
    const std::string asf = corpus + "asf/public_form.asf", amc = TempPath("public_form.amc");
    std::string motion = ":FULLY-SPECIFIED\n:DEGREES\n";
    for (int f = 1; f <= 3; ++f)
        motion += std::to_string(f) + "\nroot 1 2 3 4 5 6\nlfemur 1 2 " + std::to_string(f) +
                  "\nltibia 4\nlfoot 1 2 3\nlowerback 1 2 3 1\n";
    oxa_test::WriteFile(amc, motion);
    const struct {
        std::string file, skeleton;
    } rows[] = {
        {path, ""},
        {source, ""},
        {dxf, ""},
        {bvh, ""},
        {corpus + "obj/mtl_pair.obj", ""},
        {corpus + "dxf/layers_polylines.dxf", ""},
        {corpus + "bvh/two_joints.bvh", ""},
        {corpus + "brd/two_sensors.brd", ""},
        {corpus + "mov/one_object.mov", ""},
        {corpus + "vpm/two_segments.vpm", ""},
        {corpus + "aoa/two_frames.aoa", ""},
        {corpus + "mcd/three_frames.mcd", ""},
        {corpus + "trc/type4.trc", ""},
        {corpus + "htr/sample.htr", ""},
        {asf, ""},
        {amc, asf},
        {corpus + "c3d/intel_float.c3d", ""},
        {corpus + "reader_3ds/plain.3ds", ""},
        // Materials with maps, whose textures take channels of their own.
        {corpus + "reader_3ds/map_flags.3ds", ""},
        // Cameras, lights and keyed motion of every track kind, whose curves deliver as they are let go.
        {std::string(OXA_EXAMPLES_DIR) + "/scene.3ds", ""},
        {corpus + "reader_3ds/built.3ds", ""},
        {corpus + "reader_3ds/track_kinds_ease.3ds", ""},
    };
    for (const auto& row : rows) {
        // One read with allocation `index` refused (-1: none); answers whether one was, and
        // in `kept` what the read left once its manager was gone.
        auto read = [&row](long long index, ReadResult* r, long long* kept) -> bool {
            r->text.reserve(64);  // the caller's own bytes are not the read's
            const long long before = LiveBytes();
            VOxaSdkManager* manager = VOxaSdkManager::Create();
            VOxaScene* scene = manager->CreateScene();
            // AMC motion is read onto the skeleton an ASF read left in its options.
            VPlug* skeleton = nullptr;
            VStreamOptions* skeletonOptions = nullptr;
            if (!row.skeleton.empty()) {
                VOxaImporter* importer = manager->CreateImporter();
                skeletonOptions =
                    importer->Initialize(row.skeleton.c_str()) ? importer->GetReadOptions() : nullptr;
                if (skeletonOptions && importer->Import(manager->CreateScene(), skeletonOptions))
                    skeleton = static_cast<VStreamOptionsMotion*>(skeletonOptions)->GetAttachedObject();
            }
            VOxaImporter* importer = manager->CreateImporter();
            VStreamOptions* options = nullptr;
            if (importer->Initialize(row.file.c_str()) && skeleton) {
                options = importer->GetReadOptions();
                static_cast<VStreamOptionsMotion*>(options)->SetAttachedObject(skeleton, false);
            }
            const long long refused = gAllocationsRefused;
            gAllocationsSeen = 0;
            gAllocationsToFail = index;
            r->ok = importer->Import(scene, options);
            gAllocationsToFail = -1;
            r->id = importer->GetError().GetLastErrorID();
            r->text = importer->GetError().GetLastErrorString().Buffer();
            r->children = manager->GetNodeCount() + manager->GetNodeAttributeCount() +
                          manager->GetMaterialCount() + manager->GetTextureCount();
            if (r->ok) r->scene = Describe(manager, scene);
            delete manager;
            if (options) options->Destroy();
            if (skeletonOptions) skeletonOptions->Destroy();
            *kept = LiveBytes() - before - HeapBytes(r->scene);
            return gAllocationsRefused != refused;
        };
        ReadResult whole;
        long long kept = 0;
        read(-1, &whole, &kept);
        read(-1, &whole, &kept);  // working buffers kept between reads reach their size
        ASSERT_TRUE(whole.ok) << row.file << ": " << whole.text;
        int failed = 0;
        for (long long index = 0;; ++index) {
            ReadResult r;
            const bool refused = read(index, &r, &kept);
            EXPECT_LE(kept, 0) << row.file << ": allocation " << index << " refused kept " << kept
                               << " bytes";
            // An index or a reserve the read can do without may be refused: it then reads all.
            if (!refused || r.ok) {
                EXPECT_TRUE(r.ok) << row.file << " with allocation " << index << " refused: " << r.text;
                EXPECT_TRUE(r.scene == whole.scene) << row.file << " with allocation " << index << " refused";
                if (!refused) break;
                continue;
            }
            ++failed;
            EXPECT_EQ(r.text, "Not enough memory") << row.file << ": allocation " << index;
        }
        EXPECT_GT(failed, 50) << row.file;
    }
}

// A read of each kind of file in which each nothrow allocation in turn fails, one at a time:
// whoever made it and went on without it, the read ends with "Not enough memory", never with
// success for less than the file holds.
TEST(memory, AReadInWhichAnyOneNothrowAllocationFailsSaysSo) {
    const std::string grid = TempPath("nothrow_grid.obj"), threeDs = TempPath("nothrow_grid.3ds");
    oxa_test::WriteFile(grid, GridObj(true));
    const std::string bvh = TempPath("nothrow_walk.bvh"), dxf = TempPath("nothrow_faces.dxf");
    oxa_test::WriteFile(bvh, SmallBvh());
    {
        VOxaSdkManager* manager = VOxaSdkManager::Create();
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = manager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(grid.c_str()) && importer->Import(scene));
        for (const std::string& path : {threeDs, dxf}) {
            VOxaExporter* exporter = manager->CreateExporter();
            ASSERT_TRUE(exporter->Initialize(path.c_str()) && exporter->Export(scene)) << path;
        }
        delete manager;
    }
    for (const std::string& path : {grid, threeDs, dxf, bvh}) {
        const ReadResult whole = ReadWith(path, -1);
        ASSERT_TRUE(whole.ok) << path << ": " << whole.text;
        int failed = 0;
        for (long long index = 0;; ++index) {
            ReadResult r;
            VOxaSdkManager* manager = VOxaSdkManager::Create();
            VOxaScene* scene = manager->CreateScene();
            VOxaImporter* importer = manager->CreateImporter();
            const long long refused = gNothrowRefused;
            gNothrowSeen = 0;
            gNothrowToFail = index;
            r.ok = importer->Initialize(path.c_str()) && importer->Import(scene);
            gNothrowToFail = -1;
            r.id = importer->GetError().GetLastErrorID();
            r.text = importer->GetError().GetLastErrorString().Buffer();
            r.children = scene->GetRootNode()->GetChildCount();
            delete manager;
            if (gNothrowRefused == refused) {
                EXPECT_TRUE(r.ok) << path << " with nothrow allocation " << index << " refused: " << r.text;
                EXPECT_EQ(r.children, whole.children);
                break;
            }
            ++failed;
            EXPECT_FALSE(r.ok) << path << ": nothrow allocation " << index
                               << " refused and the read answered success";
            EXPECT_EQ(r.text, "Not enough memory") << path << ": nothrow allocation " << index;
        }
        EXPECT_GT(failed, 0) << path;
    }
}

// Naming the file and making its reader or writer are allocations too: refused, each is told as
// memory run out and nothing is thrown to the caller.
TEST(memory, InitializeThatRunsOutSaysSoAndThrowsNothing) {
    const std::string source = TempPath("init_source.obj"),
                      path = TempPath("init_" + std::string(200, 'n') + ".3ds");
    oxa_test::WriteFile(source, GridObj(false));
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    {
        VOxaScene* scene = manager->CreateScene();
        VOxaImporter* importer = manager->CreateImporter();
        ASSERT_TRUE(importer->Initialize(source.c_str()) && importer->Import(scene));
        VOxaExporter* exporter = manager->CreateExporter();
        ASSERT_TRUE(exporter->Initialize(path.c_str()) && exporter->Export(scene));
    }
    for (int writer = 0; writer < 2; ++writer) {
        int failed = 0;
        for (long long index = 0;; ++index) {
            VOxaImporter* importer = writer ? nullptr : manager->CreateImporter();
            VOxaExporter* exporter = writer ? manager->CreateExporter() : nullptr;
            const long long refused = gAllocationsRefused;
            gAllocationsSeen = 0;
            gAllocationsToFail = index;
            bool ok = false;
            try {
                ok = writer ? exporter->Initialize(path.c_str()) : importer->Initialize(path.c_str());
            } catch (...) {
                gAllocationsToFail = -1;
                FAIL() << (writer ? "Exporter" : "Importer") << "::Initialize threw with allocation " << index
                       << " refused";
            }
            gAllocationsToFail = -1;
            const VError& error = writer ? exporter->GetError() : importer->GetError();
            if (gAllocationsRefused == refused) {
                EXPECT_TRUE(ok) << error.GetLastErrorString().Buffer();
                if (importer) manager->DestroyImporter(importer);
                if (exporter) manager->DestroyExporter(exporter);
                break;
            }
            // A refusal the reader can do without (an optional reserve) may still open the file;
            // any other is told as memory run out.
            ++failed;
            if (!ok)
                EXPECT_EQ(std::string(error.GetLastErrorString().Buffer()), "Not enough memory")
                    << "allocation " << index;
            if (importer) manager->DestroyImporter(importer);
            if (exporter) manager->DestroyExporter(exporter);
        }
        if (!writer) EXPECT_GT(failed, 0) << "the importer allocated nothing";
    }
    delete manager;
}

// A mesh layer or layer element that cannot be made is counted as memory run out, so that a read
// that goes on without it (normals, UVs, materials) fails with that error instead of succeeding.
TEST(memory, ALayerOrLayerElementThatCannotBeMadeIsCounted) {
    VOxaSdkManager* manager = VOxaSdkManager::Create();
    VOxaMesh* mesh = manager->CreateMesh();
    mesh->InitControlPoints(3);
    unsigned long long before = oxa_alloc::FailureCount();
    gFailNextNothrow = true;
    mesh->InitNormals(3);
    EXPECT_EQ(mesh->GetLayer(0), nullptr);
    EXPECT_EQ(oxa_alloc::FailureCount(), before + 1) << "layer";
    mesh->InitNormals(3);
    ASSERT_NE(mesh->GetLayer(0), nullptr);
    VOxaMaterial* material = manager->CreateMaterial("m");
    VOxaTexture* texture = manager->CreateTexture("t");
    for (int element = 0; element < 3; ++element) {
        before = oxa_alloc::FailureCount();
        gFailNextNothrow = true;
        if (element == 0) mesh->InitTextureUVIndices(1);
        if (element == 1) EXPECT_LT(mesh->AddMaterial(material, 0), 0);
        if (element == 2) EXPECT_LT(mesh->AddTexture(texture, 0), 0);
        gFailNextNothrow = false;
        EXPECT_EQ(oxa_alloc::FailureCount(), before + 1) << "element " << element;
    }
    EXPECT_EQ(mesh->GetLayer(0)->GetUVs(), nullptr);
    EXPECT_EQ(mesh->GetLayer(0)->GetMaterials(), nullptr);
    EXPECT_EQ(mesh->GetLayer(0)->GetTextures(), nullptr);
    delete manager;
}

TEST(memory, AWriteThatRunsOutFailsAndLeavesTheFileAsItWas) {
    const std::string grid = TempPath("grid_source.obj"), mapped = TempPath("grid_uv_source.obj");
    oxa_test::WriteFile(grid, GridObj());
    // The 3DS writer gives each point and UV a vertex of its own in a copy of the mesh, kept in
    // that storage (a mesh without UVs it writes as it stands).
    oxa_test::WriteFile(mapped, GridObj(true));
    for (const auto& [source, extension] :
         {std::make_pair(mapped, "3ds"), std::make_pair(grid, "dxf"), std::make_pair(grid, "obj")}) {
        const std::string target = TempPath(std::string("out.") + extension);
        std::string whole;
        int failed = 0;
        for (long long allowed = -1;; allowed += allowed < 64 ? 1 : allowed / 4) {
            VOxaSdkManager* manager = VOxaSdkManager::Create();
            VOxaScene* scene = manager->CreateScene();
            VOxaImporter* importer = manager->CreateImporter();
            ASSERT_TRUE(importer->Initialize(source.c_str()) && importer->Import(scene));
            oxa_test::WriteFile(target, "old");
            VOxaExporter* exporter = manager->CreateExporter();
            ASSERT_TRUE(exporter->Initialize(target.c_str()));
            ASSERT_TRUE(exporter->SetFileFormat(VOxaFindWriterFormat(extension)));
            const unsigned long long before = oxa_alloc::FailureCount();
            oxa_alloc::Fail(allowed);
            const bool ok = exporter->Export(scene);
            oxa_alloc::Fail(-1);
            const bool ranOut = oxa_alloc::FailureCount() != before;
            const std::string error = exporter->GetError().GetLastErrorString().Buffer();
            const int id = exporter->GetError().GetLastErrorID();
            delete manager;
            const std::string written = oxa_test::ReadFile(target);
            if (allowed < 0) {
                ASSERT_TRUE(ok) << extension << ": " << error;
                whole = written;
                continue;
            }
            if (!ranOut) {
                EXPECT_TRUE(ok) << extension << " with " << allowed << " allocations: " << error;
                EXPECT_EQ(written, whole) << extension;
                break;
            }
            ++failed;
            ASSERT_FALSE(ok) << extension << ": a write that ran out of memory after " << allowed
                             << " allocations answered success";
            EXPECT_EQ(id, VOxaWriter::eNOT_ENOUGH_MEMORY)
                << extension << " after " << allowed << ": " << error;
            EXPECT_EQ(error, "Not enough memory") << extension << " after " << allowed;
            EXPECT_EQ(written, "old") << extension << " after " << allowed;
        }
        // The OBJ writer keeps nothing in the switched storage: it has nothing to fail there.
        if (std::string(extension) != "obj") {
            EXPECT_GT(failed, 0) << extension;
        }
        std::remove(target.c_str());
    }
}

// A write of every format in which each throwing allocation in turn is refused: it fails with
// "Not enough memory" and leaves the file as it was (or, when what was refused was an index it can
// do without, writes the whole file), nothing is closed or freed twice, and nothing the write made
// outlives the manager. AMC is left out: it is written with the skeleton an ASF write leaves.
TEST(memory, AWriteInWhichAnyOneAllocationThrowsFailsAndLeavesTheFileAsItWas) {
    const std::string grid = TempPath("throwing_write_grid.obj"), walk = TempPath("throwing_write_walk.bvh");
    oxa_test::WriteFile(grid, GridObj(true));
    oxa_test::WriteFile(walk, SmallBvh());
    const std::string markers = std::string(OXA_EXAMPLES_DIR) + "/../fuzz/corpus/trc/type4.trc";
    // Lights, cameras and keyed motion: the records of every kind the 3DS writer makes.
    const std::string lit = std::string(OXA_EXAMPLES_DIR) + "/scene.3ds";
    const std::pair<std::string, const char*> rows[] = {
        {grid, "3ds"},    {grid, "obj"},    {grid, "dxf"},    {walk, "bvh"},    {walk, "htr"},
        {walk, "asf"},    {markers, "trc"}, {markers, "c3d"}, {markers, "aoa"}, {markers, "mcd"},
        {markers, "brd"}, {markers, "mov"}, {markers, "vpm"}, {lit, "3ds"},
    };
    for (const auto& [source, extension] : rows) {
        const std::string target = TempPath(std::string("throwing_out.") + extension);
        // One write with allocation `index` refused (-1: none); answers whether one was.
        auto write = [&, extension = extension, source = source](long long index, bool* ok,
                                                                 std::string* error, long long* kept) {
            error->reserve(64);  // the caller's own bytes are not the write's
            const long long before = LiveBytes();
            VOxaSdkManager* manager = VOxaSdkManager::Create();
            VOxaScene* scene = manager->CreateScene();
            VOxaImporter* importer = manager->CreateImporter();
            VStreamOptions* read =
                importer->Initialize(source.c_str()) ? importer->GetReadOptions() : nullptr;
            EXPECT_TRUE(importer->Import(scene, read)) << source;
            VOxaExporter* exporter = manager->CreateExporter();
            const int format = VOxaFindWriterFormat(extension);
            EXPECT_TRUE(exporter->Initialize(target.c_str()) && exporter->SetFileFormat(format));
            VStreamOptions* options = exporter->GetWriteOptions();
            if (options && options->IsA(VStreamOptionsMotion::ClassId))
                EXPECT_TRUE(VOxaPrepareMotionExport(scene, format,
                                                    static_cast<VStreamOptionsMotion*>(options),
                                                    static_cast<VStreamOptionsMotion*>(read)));
            oxa_test::WriteFile(target, "old");
            // A name too long for some formats, which a write gives back whether it ends or fails.
            VOxaNode* named = scene->GetRootNode()->GetChild(0);
            named->SetName("a name of more than twenty characters");
            const int objects = manager->GetMaterialCount() + manager->GetNodeAttributeCount();
            const long long refused = gAllocationsRefused;
            gAllocationsSeen = 0;
            gAllocationsToFail = index;
            *ok = exporter->Export(scene, options);
            gAllocationsToFail = -1;
            *error = exporter->GetError().GetLastErrorString().Buffer();
            EXPECT_STREQ(named->GetNameWithoutPrefix(), "a name of more than twenty characters")
                << extension << ": " << index;
            EXPECT_EQ(manager->GetMaterialCount() + manager->GetNodeAttributeCount(), objects)
                << extension << ": " << index;
            delete manager;
            if (read) read->Destroy();
            if (options) options->Destroy();
            *kept = LiveBytes() - before;
            return gAllocationsRefused != refused;
        };
        bool ok = false;
        std::string error;
        long long kept = 0;
        write(-1, &ok, &error, &kept);
        ASSERT_TRUE(ok) << extension << ": " << error;
        const std::string whole = oxa_test::ReadFile(target);
        int failed = 0;
        for (long long index = 0;; ++index) {
            const bool refused = write(index, &ok, &error, &kept);
            EXPECT_LE(kept, 0) << extension << ": allocation " << index << " refused kept " << kept
                               << " bytes";
            if (!refused || ok) {
                EXPECT_TRUE(ok) << extension << " with allocation " << index << " refused: " << error;
                EXPECT_EQ(oxa_test::ReadFile(target), whole)
                    << extension << " with allocation " << index << " refused";
                if (!refused) break;
                continue;
            }
            ++failed;
            EXPECT_EQ(error, "Not enough memory") << extension << ": allocation " << index;
            EXPECT_EQ(oxa_test::ReadFile(target), "old") << extension << ": allocation " << index;
        }
        EXPECT_GT(failed, 3) << extension;
        std::remove(target.c_str());
    }
}

#ifdef OXA_TEST_ASAN
// What a row's call acts on: two nodes of a scene, the first with a camera and a child, a
// subtree in no scene whose child holds a mesh with a material, and for the rows that need them
// constraints and characters whose targets are the first node.
struct RowScene {
    VOxaScene* scene;
    VOxaNode *a, *b, *d;
    VOxaCamera* camera;
    VOxaConstraintPosition* position = nullptr;
    VOxaConstraintParent* parent = nullptr;
    VOxaConstraintAim* aim = nullptr;
    VOxaConstraintSingleChainIK* ik = nullptr;
    VOxaCharacter *character = nullptr, *input = nullptr;
} gRow;

RowScene MakeRowScene(VOxaSdkManager* m, bool constraints) {
    RowScene row{m->CreateScene(), m->CreateNode("a"), m->CreateNode("b"), m->CreateNode("d"),
                 m->CreateCamera()};
    if (constraints) {
        row.position =
            static_cast<VOxaConstraintPosition*>(m->CreateConstraint("p", VOxaConstraint::ePosition));
        row.parent = static_cast<VOxaConstraintParent*>(m->CreateConstraint("q", VOxaConstraint::eParent));
        row.aim = static_cast<VOxaConstraintAim*>(m->CreateConstraint("r", VOxaConstraint::eAim));
        row.ik = static_cast<VOxaConstraintSingleChainIK*>(
            m->CreateConstraint("s", VOxaConstraint::eSingleChainIK));
        row.character = m->CreateCharacter("t");
        row.input = m->CreateCharacter("u");
        row.position->SetConstrainedObject(row.a);
        row.aim->SetWorldUpObject(row.a);
        row.ik->SetFirstJoint(row.a);
        VOxaCharacterLink link;
        link.mNode = row.a;
        row.character->SetCharacterLink(1, link);
    }
    row.a->SetNodeAttribute(row.camera);
    row.a->AddChild(m->CreateNode("c"));
    row.scene->GetRootNode()->AddChild(row.a);
    row.scene->GetRootNode()->AddChild(row.b);
    row.scene->GetContents()->AddMaterial(m->CreateMaterial("m"));
    VOxaMesh* mesh = m->CreateMesh();
    mesh->InitControlPoints(3);
    mesh->AddMaterial(m->CreateMaterial("e"), 0);
    VOxaNode* e = m->CreateNode("e");
    e->SetNodeAttribute(mesh);
    row.d->AddChild(e);
    return row;
}

// What is wrong with the scene's lists and links ("" when nothing): every node below the root is
// listed and knows the scene, is its children's parent and has its meshes' materials listed;
// every listed node hangs below the root.
std::string Broken(VOxaScene* scene) {
    VOxaSceneContents* contents = scene->GetContents();
    std::vector<VOxaNode*> stack{scene->GetRootNode()};
    int reached = 0;
    for (; !stack.empty(); ++reached) {
        VOxaNode* node = stack.back();
        stack.pop_back();
        if (!contents->ContainsNode(node) || node->GetSceneContents() != contents)
            return std::string(node->GetName()) + " is not listed";
        const VOxaMesh* mesh = node->GetMesh();
        for (int k = 0, n = mesh ? mesh->GetMaterialCount(0) : 0; k < n; ++k) {
            if (contents->GetMaterialByName(mesh->GetMaterial(k, 0)->GetName()) != mesh->GetMaterial(k, 0))
                return std::string(mesh->GetMaterial(k, 0)->GetName()) + " is not listed";
        }
        for (int i = 0; i < node->GetChildCount(); ++i) {
            if (node->GetChild(i)->GetParent() != node) return std::string(node->GetName()) + " lost a child";
            stack.push_back(node->GetChild(i));
        }
    }
    if (reached != contents->GetNodeCount()) return "nodes listed outside the root";
    return "";
}

// An object whose making runs out of memory at any one allocation is null, as its create
// operation promises (nothing is thrown), and keeps nothing once its manager is gone: what the
// constructor made before the failure is released with the failure, and an object made but not
// listed is unmade. The manager itself is one of them.
TEST(memory, AnObjectWhoseMakingRunsOutOfMemoryIsNullAndKeepsNothing) {
    const std::pair<const char*, bool (*)(VOxaSdkManager*)> makers[] = {
        {"manager", nullptr},
        {"node", [](VOxaSdkManager* m) { return m->CreateNode("made under pressure") != nullptr; }},
        {"material", [](VOxaSdkManager* m) { return m->CreateMaterial("m") != nullptr; }},
        {"texture", [](VOxaSdkManager* m) { return m->CreateTexture("t") != nullptr; }},
        {"camera", [](VOxaSdkManager* m) { return m->CreateCamera() != nullptr; }},
        {"light", [](VOxaSdkManager* m) { return m->CreateLight() != nullptr; }},
        {"importer", [](VOxaSdkManager* m) { return m->CreateImporter() != nullptr; }},
        {"scene", [](VOxaSdkManager* m) { return m->CreateScene() != nullptr; }},
        // Constraints, characters and deformers: listed when made, and nothing listed when not.
        {"constraint",
         [](VOxaSdkManager* m) {
             bool all = true;
             for (int type = VOxaConstraint::ePosition; type <= VOxaConstraint::eAim; ++type) {
                 const int before = m->GetConstraintCount();
                 const bool made = m->CreateConstraint("c", type) != nullptr;
                 EXPECT_EQ(m->GetConstraintCount(), before + made) << type;
                 all = all && made;
             }
             return all;
         }},
        {"character",
         [](VOxaSdkManager* m) {
             const int listed = m->GetConstraintCount(), index = gRow.scene->CreateCharacter("Body");
             EXPECT_EQ(gRow.scene->GetCharacterCount(), index + 1);
             EXPECT_EQ(m->GetConstraintCount(), listed + (index >= 0));
             return index >= 0 && gRow.scene->CreateControlSetPlug("P") == 0 &&
                    gRow.scene->CreateCharacterPose("Q") == 0;
         }},
        {"deformer",
         [](VOxaSdkManager* m) {
             VOxaDeformer* skin = m->CreateDeformer("s", "Skin");
             return m->CreateDeformer("c", "Cluster") && skin;
         }},
        // Calls beyond making, on the row scene: each succeeds or answers its failure, and the
        // manager stays whole.
        {"copy", [](VOxaSdkManager*) { return &gRow.b->Copy(*gRow.a) == gRow.b; }},
        {"attribute",
         [](VOxaSdkManager*) {
             return gRow.b->SetNodeAttribute(gRow.camera), gRow.b->GetNodeAttribute() == gRow.camera;
         }},
        {"child", [](VOxaSdkManager*) { return gRow.b->AddChild(gRow.a->GetChild(0)); }},
        // A subtree joins the scene with its mesh's material, or stays out of it whole.
        {"subtree",
         [](VOxaSdkManager*) {
             if (gRow.scene->GetRootNode()->AddChild(gRow.d)) return true;
             VOxaNode* e = gRow.d->GetChild(0);
             EXPECT_EQ(gRow.scene->GetRootNode()->GetError().GetLastErrorID(), VOxaNode::eNotEnoughMemory);
             EXPECT_TRUE(!gRow.d->GetParent() && !gRow.d->GetSceneContents() && !e->GetSceneContents() &&
                         !gRow.scene->GetContents()->GetMaterialByName("Material::e"));
             return false;
         }},
        // A source added with its weight, or not at all with the constraint's error.
        {"source",
         [](VOxaSdkManager*) {
             bool all = true;
             auto added = [&all](VOxaConstraint* c, int count, double weight) {
                 all = all && count == 1;
                 EXPECT_EQ(weight, count == 1 ? 50 : 100) << c->GetName();
                 if (count != 1) EXPECT_STREQ(c->GetLastErrorString(), "Not enough memory") << c->GetName();
             };
             gRow.position->AddSource(gRow.b, 50);
             added(gRow.position, gRow.position->GetSourceCount(), gRow.position->GetSourceWeight(gRow.b));
             gRow.parent->AddSource(gRow.b, 50);
             added(gRow.parent, gRow.parent->GetSourceCount(), gRow.parent->GetSourceWeight(gRow.b));
             gRow.aim->AddAimAtObject(gRow.b, 50);
             added(gRow.aim, gRow.aim->GetAimAtObjectCount(), gRow.aim->GetAimAtObjectWeight(gRow.b));
             gRow.ik->AddPoleVectorObject(gRow.b, 50);
             added(gRow.ik, gRow.ik->GetPoleVectorObjectCount(), gRow.ik->GetPoleVectorObjectWeight(gRow.b));
             return all;
         }},
        // A target replaced, or kept with the error.
        {"target",
         [](VOxaSdkManager*) {
             bool all = true;
             auto moved = [&all](VOxaConstraint* c, VOxaObject* now, VOxaObject* was) {
                 all = all && now == gRow.b;
                 if (now != gRow.b) EXPECT_EQ(now, was) << c->GetName();
                 if (now != gRow.b)
                     EXPECT_STREQ(c->GetLastErrorString(), "Not enough memory") << c->GetName();
             };
             gRow.position->SetConstrainedObject(gRow.b);
             moved(gRow.position, gRow.position->GetConstrainedObject(), gRow.a);
             gRow.aim->SetWorldUpObject(gRow.b);
             moved(gRow.aim, gRow.aim->GetWorldUpObject(), gRow.a);
             gRow.ik->SetFirstJoint(gRow.b);
             moved(gRow.ik, gRow.ik->GetFirstJoint(), gRow.a);
             VOxaCharacterLink link;
             link.mNode = gRow.b;
             const bool linked = gRow.character->SetCharacterLink(1, link);
             gRow.character->GetCharacterLink(1, &link);
             EXPECT_EQ(linked, link.mNode == gRow.b);
             moved(gRow.character, link.mNode, gRow.a);
             gRow.character->SetInput(VOxaCharacter::eInputCharacter, gRow.input);
             moved(gRow.character, gRow.character->GetInputObject() == gRow.input ? gRow.b : nullptr,
                   nullptr);
             return all;
         }},
        {"take",
         [](VOxaSdkManager*) { return gRow.scene->CreateTake("T") && gRow.scene->SetCurrentTake("T"); }},
        // A handle made while the scene's objects still owe theirs: they are made first, or later.
        {"user property",
         [](VOxaSdkManager* m) {
             const bool made = m->CreateUserProperty(m, "Weight", "Real") != nullptr;
             EXPECT_GT(gRow.a->GetUserPropertyCount(), 0);
             return made;
         }},
        // A getter that makes what it answers (a child view, channels left to be made) answers
        // it, or null with its object's error; a cleared scene is cleared as far as it went.
        {"children",
         [](VOxaSdkManager*) { return gRow.d->GetChildCount() == 1 && gRow.d->GetChild(0) != nullptr; }},
        {"channel",
         [](VOxaSdkManager*) {
             VOxaTakeNode* take = gRow.b->GetDefaultTakeNode();
             if (take->GetTranslationX() && take->GetVisibility()) return true;
             EXPECT_EQ(take->GetLastErrorID(), VOxaTakeNode::eNotEnoughMemory);
             return false;
         }},
        {"clear",
         [](VOxaSdkManager*) {
             gRow.scene->Clear();
             if (gRow.scene->GetRootNode()->GetChildCount() == 0) return true;
             EXPECT_EQ(gRow.scene->GetLastErrorID(), VOxaScene::eNotEnoughMemory);
             return false;
         }},
        // A subtree leaves the scene, with memory or without.
        {"detach",
         [](VOxaSdkManager*) {
             gRow.scene->GetRootNode()->RemoveChild(gRow.a);
             const bool out = !gRow.a->GetParent() && !gRow.a->GetSceneContents() &&
                              !gRow.a->GetChild(0)->GetSceneContents();
             EXPECT_TRUE(out);
             return out;
         }},
    };
    for (const auto& [name, make] : makers) {
        // One round: the making fails at allocation `index`; answers whether one failed.
        auto round = [make = make, name = name](long long index, bool* made) {
            SCOPED_TRACE(std::string(name) + ", allocation " + std::to_string(index));
            VOxaSdkManager* manager = make ? VOxaSdkManager::Create() : nullptr;
            if (manager)
                gRow = MakeRowScene(manager, !std::strcmp(name, "source") || !std::strcmp(name, "target"));
            const long long refused = gAllocationsRefused;
            gAllocationsSeen = 0;
            gAllocationsToFail = index;
            if (make) {
                *made = make(manager);
            } else {
                manager = VOxaSdkManager::Create();
                *made = manager != nullptr;
            }
            gAllocationsToFail = -1;
            if (make) EXPECT_EQ(Broken(gRow.scene), "");
            delete manager;
            return gAllocationsRefused != refused;
        };
        int failed = 0;
        for (long long index = 0;; ++index) {
            // The first round at an index may size tables kept for all managers; a second round
            // that fails the same way holds no more. The tables only grow, and less the second
            // time: a first round that keeps nothing answers for the second.
            bool made = false;
            long long before = LiveBytes();
            bool refused = round(index, &made);
            long long kept = LiveBytes() - before;
            if (kept > 0) {
                before = LiveBytes();
                refused = round(index, &made);
                kept = LiveBytes() - before;
            }
            EXPECT_LE(kept, 0) << name << ": allocation " << index << " refused kept " << kept << " bytes";
            if (!refused) {
                EXPECT_TRUE(made) << name;
                break;
            }
            ++failed;
        }
        EXPECT_GT(failed, 0) << name;
    }
}
#endif

// Letting go needs no memory: a manager deleted or emptied, or a scene or a subtree destroyed with
// its nodes, while every allocation is refused throws nothing, leaves what it leaves with memory
// to spare, and keeps nothing once the manager is gone.
TEST(memory, LettingGoWithEveryAllocationRefusedEndsAsWithMemory) {
    const std::string examples = OXA_EXAMPLES_DIR;
    auto read = [](VOxaSdkManager* m, VOxaScene* s, const std::string& path) {
        VOxaImporter* importer = m->CreateImporter();
        return importer->Initialize(path.c_str()) && importer->Import(s);
    };
    const std::pair<const char*, std::function<bool(VOxaSdkManager*, VOxaScene*)>> rows[] = {
        // Cameras, lights and keyed tracks; materials with maps, and another scene's that stay.
        {"3ds",
         [&](VOxaSdkManager* m, VOxaScene* s) {
             return read(m, s, examples + "/scene.3ds") &&
                    read(m, s, examples + "/../fuzz/corpus/reader_3ds/map_flags.3ds") &&
                    read(m, m->CreateScene(), examples + "/../fuzz/corpus/reader_3ds/map_flags.3ds");
         }},
        {"bvh takes",
         [&](VOxaSdkManager* m, VOxaScene* s) {
             return read(m, s, examples + "/walk.bvh") && s->CreateTake("Second") &&
                    s->SetCurrentTake("Second");
         }},
        {"chain",
         [](VOxaSdkManager* m, VOxaScene* s) {
             VOxaNode* parent = s->GetRootNode();
             for (int i = 0; i < 10000 && parent; ++i)
                 parent = parent->AddChild(m->CreateNode("N")) ? parent->GetChild(0) : nullptr;
             return parent != nullptr;
         }},
        // A character and a constraint on two nodes, handles of every kind, and the other objects.
        {"objects",
         [](VOxaSdkManager* m, VOxaScene* s) {
             VOxaNode *hips = m->CreateNode("Hips"), *target = m->CreateNode("Target");
             VOxaCharacterLink link;
             link.mNode = hips;
             auto* constraint =
                 static_cast<VOxaConstraintPosition*>(m->CreateConstraint("C", VOxaConstraint::ePosition));
             constraint->AddSource(target, 50);
             constraint->SetConstrainedObject(hips);
             hips->AddUserProperty(m->CreateUserProperty(m, "Weight", "Real"));
             m->CreateLink()->SetLink(hips);
             s->SetSceneInfo(m->CreateSceneInfo());
             return s->GetRootNode()->AddChild(hips) && s->GetRootNode()->AddChild(target) &&
                    s->GetCharacter(s->CreateCharacter("Body"))->SetCharacterLink(1, link) &&
                    s->AddConstraint(constraint) &&
                    m->CreateUserProperty(hips->FindUserPropertyByName("Weight")->GetProperty()) &&
                    m->CreateUserProperty(m, "Free", "Real") && m->CreateVideo("V") &&
                    m->CreateGenericNode("G") && m->CreateDeformer("D", "Cluster") &&
                    s->AddPose(m->CreatePose("P", 1)) &&
                    s->GetSceneInfo()->SetSceneThumbnail(m->CreateThumbnail());
         }},
    };
    for (const auto& [name, build] : rows) {
        for (int action = 0; action < 5; ++action) {
            // One round in which the action may make `allowed` allocations and is refused every
            // one after them (-1: none refused); `left` tells what the manager holds after the
            // action (nothing when deleted). Answers whether one was refused.
            auto round = [&, name = name, build = build](long long allowed, std::string* left,
                                                         long long* kept) {
                left->clear();
                const long long before = LiveBytes(), refused = gAllocationsRefused;
                VOxaSdkManager* m = VOxaSdkManager::Create();
                VOxaScene* scene = m->CreateScene();
                EXPECT_TRUE(build(m, scene)) << name;
                VOxaNode* top = scene->GetRootNode()->GetChild(0);
                gAllowedLeft = allowed;
                oxa_alloc::Fail(allowed);
                if (action == 0) delete m;
                if (action == 1) m->DestroyAllObjects();
                if (action == 2) m->DestroyScene(scene, true);
                if (action == 3) m->DestroyNode(top, true);
                if (action == 4) m->DestroyNode(top, false);
                gAllowedLeft = -1;
                oxa_alloc::Fail(-1);
                if (action > 0) {
                    for (int count : {m->GetSceneCount(), m->GetNodeCount(), m->GetNodeAttributeCount(),
                                      m->GetMaterialCount(), m->GetTextureCount(), m->GetVideoCount(),
                                      m->GetPoseCount(), m->GetUserPropertyCount(), m->GetConstraintCount()})
                        *left += std::to_string(count) + " ";
                    for (int i = 0; i < m->GetLinkCount(); ++i)
                        *left += m->GetLink(i)->GetLink() ? "linked " : "";
                    delete m;
                }
                *kept = LiveBytes() - before;
                return gAllocationsRefused != refused;
            };
            std::string whole, left;
            long long kept = 0;
            left.reserve(64);  // the caller's own bytes are not the manager's
            round(-1, &whole, &kept);
            for (long long allowed = 0;; allowed += allowed < 8 ? 1 : allowed) {
                const bool refused = round(allowed, &left, &kept);
                EXPECT_EQ(left, whole) << name << ", action " << action << ", " << allowed << " allowed";
                EXPECT_LE(kept, 0) << name << ", action " << action << ", " << allowed << " allowed";
                if (!refused) break;
            }
        }
    }
}
