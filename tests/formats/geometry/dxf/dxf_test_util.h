// Small DXF texts built group by group, and a reader set up over them.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_DXF_DXF_TEST_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_DXF_DXF_TEST_UTIL_H

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "attributes/voxa_material.h"
#include "attributes/voxa_mesh.h"
#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"

namespace dxftest {

using Groups = std::vector<std::pair<int, std::string>>;

inline std::string Text(const Groups& groups) {
    std::string text;
    char code[16];
    for (const auto& g : groups) {
        std::snprintf(code, sizeof code, "%3d\n", g.first);
        text += code;
        text += g.second;
        text += "\n";
    }
    return text;
}

inline Groups Join(std::initializer_list<Groups> parts) {
    Groups all;
    for (const Groups& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Groups Section(const char* name, const Groups& content) {
    return Join({{{0, "SECTION"}, {2, name}}, content, {{0, "ENDSEC"}}});
}

// A LAYER table of (name, colour) entries.
inline Groups Layers(const std::vector<std::pair<std::string, int>>& layers) {
    Groups g{{0, "TABLE"}, {2, "LAYER"}, {70, std::to_string(layers.size())}};
    for (const auto& l : layers) {
        g.push_back({0, "LAYER"});
        g.push_back({2, l.first});
        g.push_back({70, "0"});
        g.push_back({62, std::to_string(l.second)});
    }
    g.push_back({0, "ENDTAB"});
    return g;
}

inline std::string Num(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// A 3DFACE on `layer` (colour 0: no 62 group).
inline Groups Face(const std::string& layer, std::vector<std::vector<double>> corners, int colour = 0) {
    Groups g{{0, "3DFACE"}, {8, layer}};
    if (colour) g.push_back({62, std::to_string(colour)});
    for (size_t k = 0; k < corners.size(); ++k) {
        g.push_back({10 + (int)k, Num(corners[k][0])});
        g.push_back({20 + (int)k, Num(corners[k][1])});
        g.push_back({30 + (int)k, Num(corners[k][2])});
    }
    return g;
}

inline Groups Line(const std::string& layer, std::vector<double> a, std::vector<double> b, int colour = 0) {
    Groups g{{0, "LINE"}, {8, layer}};
    if (colour) g.push_back({62, std::to_string(colour)});
    g.insert(g.end(), {{10, Num(a[0])}, {20, Num(a[1])}, {30, Num(a[2])}});
    g.insert(g.end(), {{11, Num(b[0])}, {21, Num(b[1])}, {31, Num(b[2])}});
    return g;
}

// A 3D polyline (flags 8, or 9 when closed) through the points.
inline Groups Polyline3D(const std::string& layer, const std::vector<std::vector<double>>& points,
                         bool closed) {
    Groups g{{0, "POLYLINE"}, {8, layer}, {66, "1"}, {70, closed ? "9" : "8"}};
    for (const auto& p : points) {
        g.insert(g.end(),
                 {{0, "VERTEX"}, {8, layer}, {10, Num(p[0])}, {20, Num(p[1])}, {30, Num(p[2])}, {70, "32"}});
    }
    g.push_back({0, "SEQEND"});
    return g;
}

// A polyface mesh: position vertices, then face records of 1-based indices.
inline Groups Polyface(const std::string& layer, const std::vector<std::vector<double>>& points,
                       const std::vector<std::vector<int>>& faces, int colour = 0) {
    Groups g{{0, "POLYLINE"}, {8, layer}};
    if (colour) g.push_back({62, std::to_string(colour)});
    g.insert(g.end(), {{66, "1"}, {70, "64"}});
    for (const auto& p : points) {
        g.insert(g.end(), {{0, "VERTEX"}, {10, Num(p[0])}, {20, Num(p[1])}, {30, Num(p[2])}, {70, "192"}});
    }
    for (const auto& f : faces) {
        g.insert(g.end(), {{0, "VERTEX"}, {70, "128"}});
        for (size_t j = 0; j < f.size(); ++j)
            g.push_back({71 + (int)j, std::to_string(f[j])});
    }
    g.push_back({0, "SEQEND"});
    return g;
}

inline Groups Insert(const std::string& block, std::vector<double> at = {0, 0, 0},
                     std::vector<double> scale = {}, double angle = 0) {
    Groups g{{0, "INSERT"}, {8, "0"}, {2, block}, {10, Num(at[0])}, {20, Num(at[1])}, {30, Num(at[2])}};
    if (!scale.empty()) g.insert(g.end(), {{41, Num(scale[0])}, {42, Num(scale[1])}, {43, Num(scale[2])}});
    if (angle != 0) g.push_back({50, Num(angle)});
    return g;
}

inline Groups Block(const std::string& name, const Groups& content, std::vector<double> base = {0, 0, 0}) {
    return Join({{{0, "BLOCK"},
                  {8, "0"},
                  {2, name},
                  {70, "0"},
                  {10, Num(base[0])},
                  {20, Num(base[1])},
                  {30, Num(base[2])},
                  {3, name}},
                 content,
                 {{0, "ENDBLK"}}});
}

// A whole file: optional tables and blocks, then the entities.
inline std::string File(const Groups& entities, const Groups& tables = {}, const Groups& blocks = {},
                        bool blocksAfterEntities = false) {
    Groups all = Section("HEADER", {{9, "$ACADVER"}, {1, "AC1009"}});
    if (!tables.empty()) all = Join({all, Section("TABLES", tables)});
    if (!blocks.empty() && !blocksAfterEntities) all = Join({all, Section("BLOCKS", blocks)});
    all = Join({all, Section("ENTITIES", entities)});
    if (!blocks.empty() && blocksAfterEntities) all = Join({all, Section("BLOCKS", blocks)});
    all.push_back({0, "EOF"});
    return Text(all);
}

// Grouping-mode option values (option 6): 0 layer, 1 block, 2 entity.
enum { kLayer = 0, kBlock = 1, kEntity = 2 };

// A manager, a scene and a reader that reads texts from memory.
struct Reading {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReaderDxf reader{&manager};
    std::vector<std::string> texts;  // kept alive while the reader may read them

    bool Read(const std::string& text, int mode = kLayer, bool weld = true, bool reference = false,
              const char* name = "test.dxf") {
        texts.push_back(text);
        reader.OpenMemory(texts.back().data(), texts.back().size(), name);
        std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
        auto* dxf = static_cast<VStreamOptionsDxf*>(options.get());
        dxf->SetOptionValue(VStreamOptionsDxf::eLAYER_BLOCK_ENTITY, mode);
        dxf->SetOptionValue(VStreamOptionsDxf::eWELD_VERTICES, weld ? 1 : 0);
        dxf->SetOptionValue(VStreamOptionsDxf::eCREATE_REFERENCE_NODE, reference ? 1 : 0);
        return reader.Read(scene, options.get());
    }
    VOxaNode* Root() { return scene->GetRootNode(); }
    VOxaNode* Child(int i) { return Root()->GetChild(i); }
    std::string Name(VOxaNode* node) { return node ? node->GetName() : "(null)"; }
};

// Polygon k of a mesh as its control points, each (x, y, z).
inline std::vector<std::vector<double>> PolygonPoints(VOxaMesh* mesh, int k) {
    std::vector<std::vector<double>> out;
    for (int j = 0; j < mesh->GetPolygonSize(k); ++j) {
        const VgeTVector& p = mesh->GetControlPoints()[mesh->GetPolygonVertex(k, j)];
        out.push_back({p[0], p[1], p[2]});
    }
    return out;
}

inline std::vector<int> Polygon(VOxaMesh* mesh, int k) {
    std::vector<int> out;
    for (int j = 0; j < mesh->GetPolygonSize(k); ++j)
        out.push_back(mesh->GetPolygonVertex(k, j));
    return out;
}

// The diffuse colour of the material polygon k uses (by polygon) as a colour number's RGB.
inline VOxaMaterial* PolygonMaterial(VOxaMesh* mesh, int k) {
    VArrayTemplate<int>* indices = mesh->GetMaterialIndices();
    if (!indices || k >= indices->GetCount()) return nullptr;
    return mesh->GetMaterial((*indices)[k], 0);
}

}  // namespace dxftest

#endif
