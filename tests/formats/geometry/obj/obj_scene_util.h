// A small scene for the round-trip and interop tests: a cube of quads with per-point normals and
// UVs and a material, and a textured triangle fan, both with distinct positions.
#ifndef OXA_TESTS_FORMATS_GEOMETRY_OBJ_OBJ_SCENE_UTIL_H
#define OXA_TESTS_FORMATS_GEOMETRY_OBJ_OBJ_SCENE_UTIL_H

#include "attributes/voxa_material.h"
#include "attributes/voxa_texture.h"
#include "tests/formats/geometry/obj/obj_test_util.h"

namespace objtest {

struct SampleScene {
    int points = 0;
    int polygons = 0;
};

inline SampleScene BuildSampleScene(VOxaSdkManager& manager, VOxaScene* scene) {
    SampleScene counts;
    std::vector<VgeTVector> cube;
    for (int i = 0; i < 8; ++i)
        cube.emplace_back(i & 1 ? 1.5 : -1.5, i & 2 ? 2.0 : -2.0, i & 4 ? 0.5 : -0.5, 1.0);
    std::vector<std::vector<int>> quads = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    VOxaMesh* box = AddMesh(manager, scene, "Box", cube, quads);
    box->InitNormals(8);
    box->InitTextureUVIndices(1);
    for (int i = 0; i < 8; ++i) {
        VgeTVector n = cube[(size_t)i];
        n[3] = 0.0;
        n.Normalize();
        box->GetNormals()[i] = n;
        box->AddTextureUV(VgeVector2(i * 0.125, 1.0 - i * 0.0625));
    }
    VOxaMaterial* red = manager.CreateMaterial("Red");
    red->SetDiffuse(VOxaColor(0.75, 0.125, 0.25, 1.0));
    red->SetAmbient(VOxaColor(0.5, 0.0, 0.0, 1.0));
    red->SetOpacity(0.5);
    box->AddMaterial(red, 0);
    box->InitMaterialIndices(4);
    // UVs travel with a textured material only (the reader drops those met before one).
    VOxaTexture* paint = manager.CreateTexture("paint");
    paint->SetFileName("paint.png");
    box->AddTexture(paint, 0);
    box->InitTextureIndices(4);
    counts.points += 8;
    counts.polygons += 6;

    std::vector<VgeTVector> fan;
    for (int i = 0; i < 6; ++i)
        fan.emplace_back(5.0 + i, (double)(i * i), 1.0, 1.0);
    VOxaMesh* strip = AddMesh(manager, scene, "Fan", fan, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 5}});
    strip->InitNormals(6);
    for (int i = 0; i < 6; ++i)
        strip->GetNormals()[i] = VgeTVector(0, 0, 1, 0);
    counts.points += 6;
    counts.polygons += 4;
    return counts;
}

}  // namespace objtest

#endif
