// Public 3DS files through the toolkit and back, their keyframer judged by lib3ds: the written
// keyframer section stays within 1.5 times the source's, no track gains keys beyond the source's
// (a constant track stays one key), and cameras and lights play their field of view, roll,
// hotspot and falloff as the source does at several frames. Skips without the files or lib3ds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/support/corpus.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/node.h>
#endif

namespace {

namespace fs = std::filesystem;

// The size of the keyframer chunk (0xB000) among the main chunk's children; 0 without one.
uint64_t KeyframerSize(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) { return (unsigned)data[at] | (unsigned)data[at + 1] << 8; };
    auto u32 = [&](size_t at) { return (uint32_t)u16(at) | (uint32_t)u16(at + 2) << 16; };
    if (data.size() < 6) return 0;
    const size_t end = std::min<size_t>(data.size(), u32(2));
    for (size_t at = 6; at + 6 <= end;) {
        const uint32_t length = u32(at + 2);
        if (length < 6) break;
        if (u16(at) == 0xB000) return length;
        at += length;
    }
    return 0;
}

std::vector<fs::path> Files() {
    std::vector<fs::path> files;
    const fs::path shared = "/work/shared/corpus/3ds";
    std::error_code error;
    if (fs::is_directory(shared, error))
        for (const auto& entry : fs::directory_iterator(shared, error))
            if (corpustest::Lower(entry.path().extension().string()) == ".3ds") files.push_back(entry.path());
    const corpustest::Corpus corpus = corpustest::FindCorpus("3ds");
    files.insert(files.end(), corpus.files.begin(), corpus.files.end());
    std::sort(files.begin(), files.end());
    return files;
}

#ifdef OXA_HAVE_LIB3DS

template <class K>
int Count(K* key) {
    int n = 0;
    for (; key != nullptr; key = key->next)
        ++n;
    return n;
}

// The key counts of every track of every node, by node name and kind.
void TrackCounts(Lib3dsNode* node, std::map<std::string, std::vector<int>>& out) {
    for (; node != nullptr; node = node->next) {
        const Lib3dsNodeData& d = node->data;
        std::vector<int> counts;
        switch (node->type) {
            case LIB3DS_OBJECT_NODE:
                counts = {Count(d.object.pos_track.keyL), Count(d.object.rot_track.keyL),
                          Count(d.object.scl_track.keyL)};
                break;
            case LIB3DS_CAMERA_NODE:
                counts = {Count(d.camera.pos_track.keyL), Count(d.camera.fov_track.keyL),
                          Count(d.camera.roll_track.keyL)};
                break;
            case LIB3DS_LIGHT_NODE:
                counts = {Count(d.light.pos_track.keyL), Count(d.light.col_track.keyL),
                          Count(d.light.hotspot_track.keyL), Count(d.light.falloff_track.keyL),
                          Count(d.light.roll_track.keyL)};
                break;
            default:
                break;
        }
        if (!counts.empty()) out[std::to_string(node->type) + " " + node->name] = counts;
        TrackCounts(node->childs, out);
    }
}

// The spline values of every key of every track of every node (frame, flags, tension,
// continuity, bias, ease to, ease from), by node name and kind and track.
using KeyList = std::vector<std::vector<double>>;

template <class K>
KeyList Keys(K* key) {
    KeyList keys;
    for (; key != nullptr; key = key->next)
        keys.push_back({(double)key->tcb.frame, (double)key->tcb.flags, key->tcb.tens, key->tcb.cont,
                        key->tcb.bias, key->tcb.ease_to, key->tcb.ease_from});
    return keys;
}

void TrackKeys(Lib3dsNode* node, std::map<std::string, KeyList>& out) {
    for (; node != nullptr; node = node->next) {
        const Lib3dsNodeData& d = node->data;
        const std::string name = std::to_string(node->type) + " " + node->name + " ";
        switch (node->type) {
            case LIB3DS_AMBIENT_NODE:
                out[name + "colour"] = Keys(d.ambient.col_track.keyL);
                break;
            case LIB3DS_OBJECT_NODE:
                out[name + "position"] = Keys(d.object.pos_track.keyL);
                out[name + "rotation"] = Keys(d.object.rot_track.keyL);
                out[name + "scale"] = Keys(d.object.scl_track.keyL);
                out[name + "morph"] = Keys(d.object.morph_track.keyL);
                out[name + "hide"] = Keys(d.object.hide_track.keyL);
                break;
            case LIB3DS_CAMERA_NODE:
                out[name + "position"] = Keys(d.camera.pos_track.keyL);
                out[name + "field of view"] = Keys(d.camera.fov_track.keyL);
                out[name + "roll"] = Keys(d.camera.roll_track.keyL);
                break;
            case LIB3DS_TARGET_NODE:
            case LIB3DS_SPOT_NODE:
                out[name + "position"] = Keys(d.target.pos_track.keyL);
                break;
            case LIB3DS_LIGHT_NODE:
                out[name + "position"] = Keys(d.light.pos_track.keyL);
                out[name + "colour"] = Keys(d.light.col_track.keyL);
                out[name + "hotspot"] = Keys(d.light.hotspot_track.keyL);
                out[name + "falloff"] = Keys(d.light.falloff_track.keyL);
                out[name + "roll"] = Keys(d.light.roll_track.keyL);
                break;
            default:
                break;
        }
        TrackKeys(node->childs, out);
    }
}

TEST(Voxa3dsTracksRealfiles, KeyframerInProportionAndPlayedAlike) {
    const std::vector<fs::path> files = Files();
    if (files.empty()) GTEST_SKIP() << "no public 3DS files found";
    const fs::path dir = fs::temp_directory_path() / "oxa_3ds_tracks_realfiles";
    fs::create_directories(dir);
    int compared = 0, tracks = 0, tracksChanged = 0;
    for (const fs::path& path : files) {
        SCOPED_TRACE(path.string());
        interop3ds::Session session;
        if (!session.Read(path.string())) continue;
        const std::string out = (dir / (path.filename().string() + ".3ds")).string();
        ASSERT_TRUE(session.Write(out));
        const uint64_t before = KeyframerSize(path), after = KeyframerSize(out);
        // A file without a keyframer gets one written: a node of one-key tracks for each object.
        if (before > 0)
            EXPECT_LE(after, before * 3 / 2 + 512) << "keyframer " << before << " -> " << after << " bytes";
        Lib3dsFile* source = lib3ds_file_load(path.string().c_str());
        Lib3dsFile* written = lib3ds_file_load(out.c_str());
        if (source != nullptr && written != nullptr) {
            std::map<std::string, std::vector<int>> a, b;
            TrackCounts(source->nodes, a);
            TrackCounts(written->nodes, b);
            for (const auto& entry : b) {
                auto found = a.find(entry.first);
                if (found == a.end() || found->second.size() != entry.second.size()) continue;
                for (size_t t = 0; t < entry.second.size(); ++t)
                    EXPECT_LE(entry.second[t], std::max(found->second[t], 1) + 2)
                        << entry.first << " track " << t;
            }
            // Every track of the source comes back with the same keys, spline values included.
            std::map<std::string, KeyList> keysBefore, keysAfter;
            TrackKeys(source->nodes, keysBefore);
            TrackKeys(written->nodes, keysAfter);
            for (const auto& entry : keysBefore) {
                // (A node the written file names otherwise is left to the tests of names.)
                auto found = keysAfter.find(entry.first);
                if (found == keysAfter.end()) continue;
                ++tracks;
                if (found->second == entry.second) continue;
                ++tracksChanged;
                ADD_FAILURE() << entry.first << ": " << entry.second.size() << " keys -> "
                              << found->second.size();
            }
            const int first = source->segment_from, last = source->segment_to;
            for (int frame : {first, first + (last - first) / 3, first + (last - first) / 2, last}) {
                lib3ds_file_eval(source, (Lib3dsFloat)frame);
                lib3ds_file_eval(written, (Lib3dsFloat)frame);
                for (Lib3dsCamera* c = source->cameras; c != nullptr; c = c->next) {
                    Lib3dsNode* from = lib3ds_file_node_by_name(source, c->name, LIB3DS_CAMERA_NODE);
                    Lib3dsNode* to = lib3ds_file_node_by_name(written, c->name, LIB3DS_CAMERA_NODE);
                    if (from == nullptr || to == nullptr) continue;
                    EXPECT_NEAR(to->data.camera.fov, from->data.camera.fov, 1e-3)
                        << c->name << " frame " << frame;
                    EXPECT_NEAR(to->data.camera.roll, from->data.camera.roll, 1e-3)
                        << c->name << " frame " << frame;
                }
                for (Lib3dsLight* l = source->lights; l != nullptr; l = l->next) {
                    Lib3dsNode* from = lib3ds_file_node_by_name(source, l->name, LIB3DS_LIGHT_NODE);
                    Lib3dsNode* to = lib3ds_file_node_by_name(written, l->name, LIB3DS_LIGHT_NODE);
                    if (from == nullptr || to == nullptr || !l->spot_light) continue;
                    EXPECT_NEAR(to->data.light.hotspot, from->data.light.hotspot, 1e-3)
                        << l->name << " frame " << frame;
                    EXPECT_NEAR(to->data.light.falloff, from->data.light.falloff, 1e-3)
                        << l->name << " frame " << frame;
                    EXPECT_NEAR(to->data.light.roll, from->data.light.roll, 1e-3)
                        << l->name << " frame " << frame;
                }
            }
            ++compared;
        }
        if (source) lib3ds_file_free(source);
        if (written) lib3ds_file_free(written);
    }
    EXPECT_GT(compared, 0);
    std::printf("%d files compared; %d of %d tracks with other keys\n", compared, tracksChanged, tracks);
}

#else
TEST(Voxa3dsTracksRealfiles, NeedsLib3ds) {
    GTEST_SKIP() << "lib3ds development package not installed";
}
#endif

}  // namespace
