// Lights, cameras, backgrounds, atmosphere and shadow settings of 3DS files as lib3ds reads them,
// before and after a trip through our reader and writer; and a file holding every chunk lib3ds
// reads, compared in lib3ds after the trip. Without lib3ds's development package the tests skip.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "attributes/voxa_camera.h"
#include "formats/geometry/3ds/voxa_reader_3ds.h"
#include "formats/geometry/3ds/voxa_writer_3ds.h"
#include "oxa_codec/vstream_options.h"
#include "scene/voxa_node.h"
#include "scene/voxa_scene.h"
#include "scene/voxa_sdk_manager.h"
#include "tests/support/test_files.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/camera.h>
#include <lib3ds/file.h>
#include <lib3ds/light.h>
#include <lib3ds/material.h>
#include <lib3ds/matrix.h>
#include <lib3ds/mesh.h>
#include <lib3ds/node.h>
#include <lib3ds/vector.h>
#endif

namespace {

std::string Folder() {
    static const std::string folder = oxa_test::MakeProcessTempFolder("lights3ds_");
    return folder;
}

// A chunk: tag, own data, sub-chunks; its bytes with the length worked out.
struct Chunk {
    uint16_t tag;
    std::string data;
    std::vector<Chunk> children;
    std::string Bytes() const {
        std::string body = data;
        for (const Chunk& child : children)
            body += child.Bytes();
        const uint32_t length = (uint32_t)body.size() + 6;
        std::string out(6, '\0');
        for (int i = 0; i < 2; ++i)
            out[i] = (char)(tag >> (8 * i));
        for (int i = 0; i < 4; ++i)
            out[2 + i] = (char)(length >> (8 * i));
        return out + body;
    }
};

std::string Le(uint32_t bits, int width) {
    std::string out;
    for (int i = 0; i < width; ++i)
        out += (char)(bits >> (8 * i));
    return out;
}
std::string F(std::initializer_list<float> values) {
    std::string out;
    for (float value : values) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        out += Le(bits, 4);
    }
    return out;
}
std::string Z(const char* text) {
    return std::string(text) + '\0';
}
Chunk Color(float r, float g, float b) {
    return Chunk{0x0010, F({r, g, b}), {}};
}

// The editor chunks of the lights, cameras, background, atmosphere and shadow settings, each field
// away from its default.
std::vector<Chunk> EditorValues(bool gradientInUse) {
    std::vector<Chunk> out;
    out.push_back({0x1100, Z("sunset_sky_2.jpg"), {}});
    out.push_back({0x1200, "", {Color(0.2f, 0.3f, 0.4f)}});
    out.push_back({0x1300, F({0.4f}), {Color(1, 0, 0), Color(0, 1, 0), Color(0, 0, 1)}});
    out.push_back({(uint16_t)(gradientInUse ? 0x1301 : 0x1101), "", {}});
    out.push_back({0x1400, F({0.7f}), {}});
    out.push_back({0x1410, F({2.5f}), {}});
    out.push_back({0x1420, Le(1024, 2), {}});
    out.push_back({0x1430, Le(5, 2), {}});
    out.push_back({0x1440, Le(7, 4), {}});
    out.push_back({0x1450, F({2.5f}), {}});
    out.push_back({0x1460, F({0.25f}), {}});
    out.push_back({0x2200, F({1, 2, 900, 80}), {Color(0.5f, 0, 0), Chunk{0x2210, "", {}}}});
    out.push_back({0x2302, F({-5, 50, 30}) + Le(0x100003, 4), {Color(0, 0.6f, 0)}});
    out.push_back({0x2300, F({3, 10, 700, 90}), {Chunk{0x2310, "", {}}}});
    out.push_back({0x2303, "", {}});
    out.push_back({0x2301, "", {}});
    Chunk omni{0x4600,
               F({10, 20, 30}),
               {Color(1, 0.5f, 0.25f), Chunk{0x4620, "", {}}, Chunk{0x465A, F({300}), {}},
                Chunk{0x4659, F({50}), {}}, Chunk{0x465B, F({1.5f}), {}}, Chunk{0x4654, Z("Box"), {}},
                Chunk{0x4654, Z("Spot"), {}}, Chunk{0x4625, "", {}}}};
    out.push_back({0x4000, Z("Omni"), {omni}});
    Chunk spot{0x4610, F({5, 0, 0, 20, 30}), {}};
    spot.children = {{0x4656, F({15}), {}}, {0x4657, F({1.5f}), {}},
                     {0x4630, "", {}},      {0x4641, F({2, 4}) + Le(256, 2), {}},
                     {0x4627, "", {}},      {0x4658, F({0.5f}), {}},
                     {0x4651, "", {}},      {0x4650, "", {}},
                     {0x4652, "", {}},      {0x4653, Z("proj.gif"), {}}};
    out.push_back({0x4000,
                   Z("Spot"),
                   {Chunk{0x4600,
                          F({0, 0, 100}),
                          {Color(1, 1, 1), Chunk{0x465A, F({1000}), {}}, Chunk{0x4659, F({10}), {}},
                           Chunk{0x465B, F({1}), {}}, spot}}}});
    Chunk camera{
        0x4700, F({0, -100, 0, 0, 0, 0, 5, 60}), {Chunk{0x4710, "", {}}, Chunk{0x4720, F({20, 2000}), {}}}};
    out.push_back({0x4000, Z("Cam"), {camera}});
    // Ranges beyond what a camera's planes hold: a near range of 0, a far one past 60000.
    Chunk far{0x4700, F({0, -50, 0, 0, 0, 0, 0, 50}), {Chunk{0x4720, F({0, 100000}), {}}}};
    out.push_back({0x4000, Z("Far"), {far}});
    return out;
}

std::string MainChunk(const std::vector<Chunk>& editor) {
    Chunk data{0x3D3D, "", {Chunk{0x3D3E, Le(3, 4), {}}, Chunk{0x0100, F({1}), {}}}};
    for (const Chunk& chunk : editor)
        data.children.push_back(chunk);
    return Chunk{0x4D4D, "", {Chunk{0x0002, Le(3, 4), {}}, data}}.Bytes();
}

void Save(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Our reader, then our writer, in a manager of their own; `change` may change the scene between.
bool Trip(const std::string& from, const std::string& to, void (*change)(VOxaSdkManager&) = nullptr) {
    VOxaSdkManager manager;
    VOxaScene* scene = manager.CreateScene();
    VOxaReader3DS reader(&manager);
    VStreamOptions* readOptions = reader.GetReadOptions();
    bool ok = reader.FileOpen(from.c_str()) && reader.Read(scene, readOptions);
    reader.FileClose();
    readOptions->Destroy();
    if (!ok) return false;
    if (change) change(manager);
    VOxaWriter3DS writer(&manager);
    VStreamOptions* writeOptions = writer.GetWriteOptions();
    ok = writer.FileCreate(to.c_str()) && writer.Write(scene, writeOptions) && writer.FileClose();
    writeOptions->Destroy();
    return ok;
}

#ifdef OXA_HAVE_LIB3DS

// A value near 0 as 0 (and never -0), for the printed values.
double Clean(double value) {
    return (std::fabs(value) < 5e-5 ? 0.0 : value) + 0.0;
}

// Distances divided by the factor between two files' units.
struct Distance {
    double factor;
};
double operator/(double value, const Distance& d) {
    return Clean(value / d.factor);
}

struct Lib3dsOwner {
    Lib3dsFile* file;
    explicit Lib3dsOwner(const std::string& path) : file(lib3ds_file_load(path.c_str())) {}
    ~Lib3dsOwner() {
        if (file) lib3ds_file_free(file);
    }
};

// lib3ds's view of the lights, cameras, background, atmosphere and shadow settings, one line per
// item, distances divided by `factor`. lib3ds reads the attenuation flag as a float out of the
// bytes after it: only whether it is set counts.
std::string SceneValues(Lib3dsFile* f, double scale) {
    std::ostringstream out;
    out.precision(6);
    const Distance factor{scale};
    for (Lib3dsLight* l = f->lights; l; l = l->next) {
        out << "L " << l->name << " spot " << (int)l->spot_light << " cone " << (int)l->see_cone << " col "
            << l->color[0] << " " << l->color[1] << " " << l->color[2] << " pos " << l->position[0] / factor
            << " " << l->position[1] / factor << " " << l->position[2] / factor << " off " << (int)l->off
            << " range " << l->outer_range / factor << " " << l->inner_range / factor << " mult "
            << l->multiplier << " att " << (l->attenuation != 0.0f) << "\n";
        if (l->spot_light)
            out << "S " << l->name << " tgt " << l->spot[0] / factor << " " << l->spot[1] / factor << " "
                << l->spot[2] / factor << " hot " << l->hot_spot << " fall " << l->fall_off << " roll "
                << l->roll << " rect " << (int)l->rectangular_spot << " shad " << (int)l->shadowed << " bias "
                << l->shadow_bias << " filter " << l->shadow_filter << " size " << l->shadow_size
                << " aspect " << l->spot_aspect << " proj " << (int)l->use_projector << " '" << l->projector
                << "' over " << (int)l->spot_overshoot << " ray " << (int)l->ray_shadows << " rbias "
                << l->ray_bias << "\n";
    }
    for (Lib3dsCamera* c = f->cameras; c; c = c->next)
        out << "C " << c->name << " pos " << c->position[0] / factor << " " << c->position[1] / factor << " "
            << c->position[2] / factor << " roll " << c->roll << " fov " << c->fov << " cone "
            << (int)c->see_cone << " range " << c->near_range / factor << " " << c->far_range / factor
            << "\n";
    const Lib3dsBackground& b = f->background;
    out << "bitmap " << (int)b.bitmap.use << " '" << b.bitmap.name << "'\nsolid " << (int)b.solid.use << " "
        << b.solid.col[0] << " " << b.solid.col[1] << " " << b.solid.col[2] << "\ngradient "
        << (int)b.gradient.use << " " << b.gradient.percent;
    for (const Lib3dsRgb* col : {&b.gradient.top, &b.gradient.middle, &b.gradient.bottom})
        out << " " << (*col)[0] << " " << (*col)[1] << " " << (*col)[2];
    const Lib3dsAtmosphere& a = f->atmosphere;
    out << "\nfog " << (int)a.fog.use << " " << a.fog.col[0] << " " << a.fog.col[1] << " " << a.fog.col[2]
        << " bg " << (int)a.fog.fog_background << " " << a.fog.near_plane / factor << " "
        << a.fog.near_density << " " << a.fog.far_plane / factor << " " << a.fog.far_density << "\nlayer "
        << (int)a.layer_fog.use << " " << a.layer_fog.flags << " " << a.layer_fog.col[0] << " "
        << a.layer_fog.col[1] << " " << a.layer_fog.col[2] << " " << a.layer_fog.near_y / factor << " "
        << a.layer_fog.far_y / factor << " " << a.layer_fog.density << "\ncue " << (int)a.dist_cue.use << " "
        << (int)a.dist_cue.cue_background << " " << a.dist_cue.near_plane / factor << " "
        << a.dist_cue.near_dimming << " " << a.dist_cue.far_plane / factor << " " << a.dist_cue.far_dimming
        << "\n";
    const Lib3dsShadow& s = f->shadow;
    out << "shadow " << s.map_size << " " << s.lo_bias << " " << s.hi_bias << " " << s.samples << " "
        << s.range << " " << s.filter << " " << s.ray_bias << "\n";
    return out.str();
}

// The factor between the distances of two files: the ratio of their master scales.
double Factor(Lib3dsFile* source, Lib3dsFile* output) {
    return source->master_scale > 0 && output->master_scale > 0 ? source->master_scale / output->master_scale
                                                                : 1.0;
}

TEST(Lights3dsInterop, LightCameraBackgroundAtmosphereAndShadowValuesSurviveATrip) {
    for (bool gradient : {false, true}) {
        SCOPED_TRACE(gradient ? "gradient in use" : "bitmap in use");
        const std::string source = Folder() + "/values.3ds", output = Folder() + "/values_out.3ds";
        Save(source, MainChunk(EditorValues(gradient)));
        ASSERT_TRUE(Trip(source, output));
        Lib3dsOwner in(source), out(output);
        ASSERT_TRUE(in.file && out.file);
        const std::string expected = SceneValues(in.file, 1.0);
        // The source as lib3ds reads it holds the values the file was built with.
        EXPECT_NE(expected.find(
                      "L Omni spot 0 cone 0 col 1 0.5 0.25 pos 10 20 30 off 1 range 300 50 mult 1.5 att 1"),
                  std::string::npos)
            << expected;
        EXPECT_NE(
            expected.find("S Spot tgt 5 0 0 hot 20 fall 30 roll 15 rect 1 shad 1 bias 2 filter 4 size 256 "
                          "aspect 1.5 proj 1 'proj.gif' over 1 ray 1 rbias 0.5"),
            std::string::npos)
            << expected;
        EXPECT_NE(expected.find("cone 1 range 20 2000"), std::string::npos) << expected;
        EXPECT_NE(expected.find("shadow 1024 0.7 2.5 5 7 2.5 0.25"), std::string::npos) << expected;
        EXPECT_NE(expected.find("solid 0 0.2 0.3 0.4"), std::string::npos) << expected;
        EXPECT_NE(expected.find("cue 1 1 3 10 700 90"), std::string::npos) << expected;
        EXPECT_NE(
            expected.find(gradient ? "gradient 1 0.4 1 0 0 0 1 0 0 0 1" : "bitmap 1 'sunset_sky_2.jpg'"),
            std::string::npos)
            << expected;
        EXPECT_EQ(SceneValues(out.file, Factor(in.file, out.file)), expected);
        // lib3ds takes the layer fog's use flag for the fog's: the flags themselves, as the
        // format puts them (a chunk of its header alone), are looked for in the bytes.
        std::ifstream written(output, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
        EXPECT_NE(bytes.find(Chunk{0x2303, "", {}}.Bytes()), std::string::npos) << "layer fog in use";
        EXPECT_NE(bytes.find(Chunk{0x2301, "", {}}.Bytes()), std::string::npos) << "distance cue in use";
        EXPECT_EQ(bytes.find(Chunk{0x2201, "", {}}.Bytes()), std::string::npos) << "fog not in use";
        // lib3ds skips a light's excluded objects: they are looked for in the bytes too.
        EXPECT_NE(bytes.find(Chunk{0x4654, Z("Box"), {}}.Bytes()), std::string::npos) << "excluded Box";
        EXPECT_NE(bytes.find(Chunk{0x4654, Z("Spot"), {}}.Bytes()), std::string::npos) << "excluded Spot";
    }
    // A gradient not in use, at its default middle and with only its bottom's blue set, comes back
    // as well.
    const std::string plain = Folder() + "/gradient.3ds", plainOut = Folder() + "/gradient_out.3ds";
    Save(plain, MainChunk({Chunk{0x1300, F({0.5f}), {Color(0, 0, 0), Color(0, 0, 0), Color(0, 0, 0.5f)}}}));
    ASSERT_TRUE(Trip(plain, plainOut));
    Lib3dsOwner g(plain), gOut(plainOut);
    ASSERT_TRUE(g.file && gOut.file);
    auto gradientLine = [](const std::string& values) {
        const size_t at = values.find("gradient ");
        return at == std::string::npos ? std::string() : values.substr(at, values.find('\n', at) - at);
    };
    EXPECT_EQ(gradientLine(SceneValues(gOut.file, 1.0)), "gradient 0 0.5 0 0 0 0 0 0 0 0 0.5");
    // Planes changed after reading are written as the ranges (in the file's units, 2.54 to the
    // scene's centimetre).
    const std::string source = Folder() + "/values.3ds", output = Folder() + "/planes_out.3ds";
    ASSERT_TRUE(Trip(source, output, [](VOxaSdkManager& manager) {
        for (int i = 0; i < manager.GetNodeCount(); ++i)
            if (VOxaCamera* camera = manager.GetNode(i)->GetCamera()) {
                camera->SetFarPlane(2.54 * 5000.0);
                camera->SetNearPlane(2.54 * 30.0);
            }
    }));
    Lib3dsOwner in(source), out(output);
    ASSERT_TRUE(in.file && out.file);
    const std::string values = SceneValues(out.file, Factor(in.file, out.file));
    EXPECT_NE(values.find("C Cam pos 0 -100 0 roll 5 fov 40 cone 1 range 30 500"), std::string::npos)
        << values;
    EXPECT_NE(values.find("C Far pos 0 -50 0 roll 0 fov 48 cone 0 range 30 500"), std::string::npos)
        << values;
}

// A texture map's values as lib3ds reads them.
std::string MapValues(const Lib3dsTextureMap& m) {
    std::ostringstream out;
    out << "'" << m.name << "' " << m.flags << " " << m.percent << " " << m.blur << " " << Clean(m.scale[0])
        << " " << Clean(m.scale[1]) << " " << Clean(m.offset[0]) << " " << Clean(m.offset[1]) << " "
        << Clean(m.rotation);
    return out.str();
}

// lib3ds's view of the materials and of every mesh's faces (corners, UVs, smoothing, material)
// where its keyframer node puts them at frames 0, 5 and 10, distances divided by `factor`. Face
// flags are left out (the writer writes its own); vertices are compared per face corner, so that
// a vertex shared or split the other way does not count.
std::string ModelValues(Lib3dsFile* f, double factor) {
    std::ostringstream out;
    out.precision(5);
    // Materials by their place: the writer may give them names of its own.
    std::vector<std::string> names;
    for (Lib3dsMaterial* m = f->materials; m; m = m->next) {
        names.push_back(m->name);
        out << "M";
        for (const Lib3dsRgba* c : {&m->ambient, &m->diffuse, &m->specular})
            out << " " << (*c)[0] << " " << (*c)[1] << " " << (*c)[2];
        out << " shin " << m->shininess << " " << m->shin_strength << " transp " << m->transparency << " two "
            << (int)m->two_sided << " self " << m->self_ilpct << " shading " << m->shading << "\n  tex "
            << MapValues(m->texture1_map) << "\n  bump " << MapValues(m->bump_map) << "\n  refl "
            << MapValues(m->reflection_map) << "\n";
    }
    auto material = [&](const char* name) {
        for (size_t i = 0; i < names.size(); ++i)
            if (names[i] == name) return (int)i;
        return -1;
    };
    for (float frame : {0.0f, 5.0f, 10.0f}) {
        lib3ds_file_eval(f, frame);
        for (Lib3dsNode* node = f->nodes; node; node = node->next) {
            if (node->type != LIB3DS_OBJECT_NODE) continue;
            Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(f, node->name);
            if (!mesh) continue;
            // The faces where the node puts them: the node's matrix less its pivot, after the
            // inverse of the mesh's own matrix.
            Lib3dsMatrix inverse, m;
            lib3ds_matrix_copy(inverse, mesh->matrix);
            lib3ds_matrix_inv(inverse);
            lib3ds_matrix_copy(m, node->matrix);
            lib3ds_matrix_translate_xyz(m, -node->data.object.pivot[0], -node->data.object.pivot[1],
                                        -node->data.object.pivot[2]);
            lib3ds_matrix_mult(m, inverse);
            out << "N " << frame << " " << node->name << " faces " << mesh->faces << "\n";
            for (Lib3dsDword i = 0; i < mesh->faces; ++i) {
                const Lib3dsFace& face = mesh->faceL[i];
                out << " f " << material(face.material) << " smooth " << face.smoothing;
                for (int k = 0; k < 3; ++k) {
                    const Lib3dsWord p = face.points[k];
                    if (p >= mesh->points) {
                        out << " bad";
                        continue;
                    }
                    Lib3dsVector world;
                    lib3ds_vector_transform(world, m, mesh->pointL[p].pos);
                    for (int j = 0; j < 3; ++j)
                        out << " " << Clean(world[j] / factor);
                    if (p < mesh->texels)
                        out << " uv " << Clean(mesh->texelL[p][0]) << " " << Clean(mesh->texelL[p][1]);
                }
                out << "\n";
            }
        }
    }
    return out.str();
}

// The file's top chunks with `extra` added to its editor chunk (lengths worked out again).
std::string WithEditorChunks(const std::string& file, const std::vector<Chunk>& extra) {
    auto length = [&](size_t at) {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value |= (uint32_t)(uint8_t)file[at + 2 + i] << (8 * i);
        return value;
    };
    std::string added;
    for (const Chunk& chunk : extra)
        added += chunk.Bytes();
    std::string body;
    for (size_t at = 6; at + 6 <= file.size();) {
        const uint32_t size = length(at);
        if (size < 6 || at + size > file.size()) break;
        std::string chunk = file.substr(at, size);
        if ((uint8_t)chunk[0] == 0x3D && (uint8_t)chunk[1] == 0x3D) {
            chunk += added;
            const uint32_t grown = (uint32_t)chunk.size();
            for (int i = 0; i < 4; ++i)
                chunk[2 + i] = (char)(grown >> (8 * i));
        }
        body += chunk;
        at += size;
    }
    Chunk main{0x4D4D, body, {}};
    return main.Bytes();
}

TEST(Lights3dsInterop, EveryChunkLib3dsReadsSurvivesATrip) {
    // Materials, a mesh and its keyframer node as lib3ds writes them ...
    Lib3dsFile* f = lib3ds_file_new();
    Lib3dsMaterial* red = lib3ds_material_new();
    std::strcpy(red->name, "Red");
    const float colors[3][3] = {{0.1f, 0.2f, 0.3f}, {0.8f, 0.1f, 0.1f}, {0.5f, 0.5f, 0.6f}};
    Lib3dsRgba* slots[3] = {&red->ambient, &red->diffuse, &red->specular};
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 3; ++j)
            (*slots[c])[j] = colors[c][j];
    red->shininess = 0.5f;
    red->shin_strength = 0.25f;
    red->transparency = 0.25f;
    red->two_sided = LIB3DS_TRUE;
    red->shading = 3;
    std::strcpy(red->texture1_map.name, "tex.png");
    red->texture1_map.percent = 0.75f;
    red->texture1_map.scale[0] = 2.0f;
    red->texture1_map.scale[1] = 3.0f;
    red->texture1_map.offset[0] = 0.25f;
    red->texture1_map.rotation = 30.0f;
    std::strcpy(red->bump_map.name, "bump.png");
    red->bump_map.percent = 0.5f;
    lib3ds_file_insert_material(f, red);

    Lib3dsMesh* mesh = lib3ds_mesh_new("Box");
    lib3ds_mesh_new_point_list(mesh, 4);
    lib3ds_mesh_new_texel_list(mesh, 4);
    const float points[4][3] = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 5}};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 3; ++j)
            mesh->pointL[i].pos[j] = points[i][j];
        mesh->texelL[i][0] = 0.25f + 0.05f * points[i][0];
        mesh->texelL[i][1] = 0.125f + 0.05f * points[i][1];
    }
    lib3ds_mesh_new_face_list(mesh, 2);
    const Lib3dsWord corners[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (int i = 0; i < 2; ++i) {
        std::strcpy(mesh->faceL[i].material, "Red");
        mesh->faceL[i].smoothing = 1u << i;
        for (int k = 0; k < 3; ++k)
            mesh->faceL[i].points[k] = corners[i][k];
    }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            mesh->matrix[r][c] = r == c ? 1.0f : 0.0f;
    lib3ds_file_insert_mesh(f, mesh);

    Lib3dsNode* node = lib3ds_node_new_object();
    std::strcpy(node->name, "Box");
    node->node_id = 0;
    node->parent_id = LIB3DS_NO_PARENT;
    for (int k = 0; k < 2; ++k) {
        Lib3dsLin3Key* position = lib3ds_lin3_key_new();
        position->tcb.frame = 10 * k;
        position->value[0] = 20.0f * k;
        position->value[2] = 5.0f;
        lib3ds_lin3_track_insert(&node->data.object.pos_track, position);
        Lib3dsLin3Key* scale = lib3ds_lin3_key_new();
        scale->tcb.frame = 10 * k;
        scale->value[0] = scale->value[1] = scale->value[2] = 1.0f + k;
        lib3ds_lin3_track_insert(&node->data.object.scl_track, scale);
        Lib3dsQuatKey* rotation = lib3ds_quat_key_new();
        rotation->tcb.frame = 10 * k;
        rotation->axis[2] = 1.0f;
        rotation->angle = k ? 0.5f : 0.0f;
        lib3ds_quat_track_insert(&node->data.object.rot_track, rotation);
    }
    lib3ds_file_insert_node(f, node);
    f->frames = 10;
    const std::string built = Folder() + "/lib3ds_built.3ds";
    ASSERT_TRUE(lib3ds_file_save(f, built.c_str()));
    lib3ds_file_free(f);

    // ... with the lights, cameras, background, atmosphere and shadow chunks added (lib3ds's own
    // writer leaves some of them out).
    std::ifstream in(built, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string source = Folder() + "/every_chunk.3ds", output = Folder() + "/every_chunk_out.3ds";
    Save(source, WithEditorChunks(bytes, EditorValues(false)));
    ASSERT_TRUE(Trip(source, output));
    Lib3dsOwner from(source), to(output);
    ASSERT_TRUE(from.file && to.file);
    const double factor = Factor(from.file, to.file);
    EXPECT_EQ(SceneValues(to.file, factor), SceneValues(from.file, 1.0));
    const std::string model = ModelValues(from.file, 1.0);
    EXPECT_NE(model.find("tex 'tex.png'"), std::string::npos) << model;
    EXPECT_EQ(ModelValues(to.file, factor), model);
}

#endif  // OXA_HAVE_LIB3DS

}  // namespace
