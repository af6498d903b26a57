// The public 3DS files of the shared corpus (../shared/corpus/3ds, or the folder named by
// OXA_PUBLIC_CORPUS) through a 3DS -> 3DS trip and through DXF and OBJ and back, both files judged
// by lib3ds: the normals lib3ds computes at every face corner (from shared vertices and smoothing
// groups, as editors shade a file), the faces, the vertices; for the direct trip also every
// material (as lib3ds reads it, and chunk by chunk), the size of the output against the source,
// the stored points and the master scale. Debian's model collection is taken along where it is
// installed. Without the folder or lib3ds's development package the test skips.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "formats/geometry/dxf/voxa_reader_dxf.h"
#include "formats/geometry/dxf/voxa_writer_dxf.h"
#include "formats/geometry/obj/voxa_reader_obj.h"
#include "formats/geometry/obj/voxa_writer_obj.h"
#include "oxa_codec/vstream_options.h"
#include "tests/formats/geometry/3ds/voxa_3ds_interop_test_util.h"
#include "tests/support/test_files.h"

#ifdef OXA_HAVE_LIB3DS
#include <lib3ds/material.h>
#endif

namespace fs = std::filesystem;

namespace {

// The folder of public 3DS files: OXA_PUBLIC_CORPUS/3ds, else shared/corpus/3ds beside one of
// the folders above the test data. Empty when there is none.
fs::path PublicFolder() {
    std::error_code error;
    if (const char* named = std::getenv("OXA_PUBLIC_CORPUS")) {
        const fs::path folder = fs::path(named) / "3ds";
        return fs::is_directory(folder, error) ? folder : fs::path();
    }
    for (fs::path at = fs::path(OXA_TEST_DATA_DIR).lexically_normal(); !at.empty(); at = at.parent_path()) {
        const fs::path folder = at / "shared" / "corpus" / "3ds";
        if (fs::is_directory(folder, error)) return folder;
        if (at == at.parent_path()) break;
    }
    return fs::path();
}

#ifdef OXA_HAVE_LIB3DS

constexpr double kPi = 3.14159265358979323846;

// One face corner as lib3ds shades it: world position (in master-scale units), unit normal, and
// whether that normal is ill-defined (see Corners).
struct Corner {
    std::array<double, 3> position;
    std::array<double, 3> normal;
    bool uncertain;
};

double Determinant(Lib3dsMatrix m) {
    return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
           m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
           m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// The corners of one mesh placed by `m`. The normals are lib3ds's; they are turned into the
// world by the inverse transpose of `m`, so that a node scaled unevenly keeps them across its
// faces. A normal is ill-defined where the face normals lib3ds adds there nearly cancel (its
// direction is then what is left of rounding), or where one of them is of a sliver whose normal
// the rounding of a float point turns by more than a degree: the same file with its points
// rounded otherwise shades such a corner otherwise.
void MeshCorners(Lib3dsMesh* mesh, Lib3dsMatrix m, double scale, std::vector<Corner>& out) {
    if (mesh->faces == 0) return;
    std::vector<Lib3dsVector> normals((size_t)mesh->faces * 3 + 3);
    lib3ds_mesh_calculate_normals(mesh, normals.data());
    // lib3ds reflects the points of an object whose local axes mirror across the object's own x
    // axis when it reads them (by R = axes * scale(-1, 1, 1) * axes^-1), but takes its face normals
    // from the points as stored, before that: there its normals are not those of the points it
    // places. The stored corners face out over the stored points (every closed part of the one
    // public scene of such objects bounds a positive volume as stored, and inside out as lib3ds
    // and assimp place it wherever the placing node mirrors too), so the normals of lib3ds's points
    // are its normals turned as normals turn under R: by R^-T, which is R^T (R is its own inverse).
    if (Determinant(mesh->matrix) < 0.0) {
        Lib3dsMatrix reflection, inverse;
        lib3ds_matrix_copy(reflection, mesh->matrix);
        lib3ds_matrix_scale_xyz(reflection, -1.0f, 1.0f, 1.0f);
        lib3ds_matrix_copy(inverse, mesh->matrix);
        lib3ds_matrix_inv(inverse);
        lib3ds_matrix_mult(reflection, inverse);
        for (Lib3dsVector& n : normals) {
            const double was[3] = {n[0], n[1], n[2]};
            for (int i = 0; i < 3; ++i)
                n[i] = (float)(reflection[i][0] * was[0] + reflection[i][1] * was[1] +
                               reflection[i][2] * was[2]);
        }
    }
    Lib3dsMatrix inverse;
    lib3ds_matrix_copy(inverse, m);
    lib3ds_matrix_inv(inverse);
    // Per face: its rounding-proof normal or not.
    std::vector<char> sliver(mesh->faces, 0);
    double largest = 0.0;
    for (Lib3dsDword i = 0; i < mesh->points; ++i)
        for (int j = 0; j < 3; ++j)
            largest = std::max(largest, (double)std::fabs(mesh->pointL[i].pos[j]));
    const double rounding = largest * 6e-8 * 4.0;
    // The faces at each point, in face order: those of point v are around[first[v], first[v + 1]).
    // A face stops at its first point out of range.
    std::vector<Lib3dsDword> first((size_t)mesh->points + 1, 0);
    for (Lib3dsDword f = 0; f < mesh->faces; ++f)
        for (int k = 0; k < 3 && mesh->faceL[f].points[k] < mesh->points; ++k)
            ++first[(size_t)mesh->faceL[f].points[k] + 1];
    for (Lib3dsDword v = 0; v < mesh->points; ++v)
        first[(size_t)v + 1] += first[v];
    std::vector<Lib3dsDword> around(first.back()), filled(first.begin(), first.end() - 1);
    for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
        const Lib3dsFace& face = mesh->faceL[f];
        double p[3][3];
        bool valid = true;
        for (int k = 0; k < 3; ++k) {
            if (face.points[k] >= mesh->points) {
                valid = false;
                break;
            }
            for (int j = 0; j < 3; ++j)
                p[k][j] = mesh->pointL[face.points[k]].pos[j];
            around[filled[face.points[k]]++] = f;
        }
        if (!valid) continue;
        double u[3], v[3], w[3];
        double longest = 0.0;
        for (int j = 0; j < 3; ++j) {
            u[j] = p[1][j] - p[0][j];
            v[j] = p[2][j] - p[0][j];
            w[j] = p[2][j] - p[1][j];
        }
        for (const double* e : {u, v, w})
            longest = std::max(longest, std::sqrt(e[0] * e[0] + e[1] * e[1] + e[2] * e[2]));
        const double c[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        const double height =
            longest > 0.0 ? std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]) / longest : 0.0;
        sliver[f] = !(height > 0.0) || rounding / height > 0.02;
    }
    std::vector<std::array<double, 3>> seen;
    for (Lib3dsDword f = 0; f < mesh->faces; ++f) {
        const Lib3dsFace& face = mesh->faceL[f];
        for (int k = 0; k < 3; ++k) {
            const Lib3dsDword v = face.points[k];
            if (v >= mesh->points) continue;
            // The unit face normals lib3ds adds at this corner, each direction once.
            bool uncertain = sliver[f] != 0;
            if (face.smoothing != 0) {
                seen.clear();
                double sum[3] = {0, 0, 0};
                for (Lib3dsDword at = first[v]; at < first[(size_t)v + 1]; ++at) {
                    const Lib3dsDword g = around[at];
                    const Lib3dsFace& other = mesh->faceL[g];
                    if (!(other.smoothing & face.smoothing)) continue;
                    const std::array<double, 3> n = {other.normal[0], other.normal[1], other.normal[2]};
                    bool again = false;
                    for (const auto& s : seen)
                        again = again || std::fabs(s[0] * n[0] + s[1] * n[1] + s[2] * n[2] - 1.0) < 1e-5;
                    if (again) continue;
                    seen.push_back(n);
                    for (int j = 0; j < 3; ++j)
                        sum[j] += n[j];
                    uncertain = uncertain || sliver[g] != 0;
                }
                uncertain = uncertain || std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]) < 0.1;
            }
            Corner corner;
            Lib3dsVector world;
            lib3ds_vector_transform(world, m, mesh->pointL[v].pos);
            const float* n = normals[(size_t)f * 3 + (size_t)k];
            double length = 0.0;
            for (int i = 0; i < 3; ++i) {
                corner.position[(size_t)i] = world[i] * scale;
                corner.normal[(size_t)i] = inverse[i][0] * n[0] + inverse[i][1] * n[1] + inverse[i][2] * n[2];
                length += corner.normal[(size_t)i] * corner.normal[(size_t)i];
            }
            length = std::sqrt(length);
            if (length > 0.0)
                for (double& c : corner.normal)
                    c /= length;
            corner.uncertain = uncertain;
            out.push_back(corner);
        }
    }
}

// Every face corner of the file as lib3ds places it at frame 0 (the meshes by their object
// nodes; a file without nodes, by the meshes themselves). Nodes that mirror are left out, as
// lib3ds's normals do not follow a mirror. `faces` counts the faces of every object node.
std::vector<Corner> Corners(Lib3dsFile* file, long& faces) {
    std::vector<Corner> out;
    faces = 0;
    size_t meshCorners = 0;  // as many as the corners of every mesh placed once
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next)
        meshCorners += (size_t)mesh->faces * 3;
    out.reserve(meshCorners);
    const double scale = file->master_scale > 0.0f ? file->master_scale : 1.0;
    if (file->nodes == nullptr) {
        Lib3dsMatrix identity;
        lib3ds_matrix_identity(identity);
        for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next) {
            faces += (long)mesh->faces;
            MeshCorners(mesh, identity, scale, out);
        }
        return out;
    }
    lib3ds_file_eval(file, 0.0f);
    interop3ds::Walk(file->nodes, [&](Lib3dsNode* node) {
        if (node->type != LIB3DS_OBJECT_NODE || std::string(node->name) == "$$$DUMMY") return;
        Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file, node->name);
        if (mesh == nullptr) return;
        faces += (long)mesh->faces;
        Lib3dsMatrix m, inverse;
        lib3ds_matrix_copy(inverse, mesh->matrix);
        lib3ds_matrix_inv(inverse);
        lib3ds_matrix_copy(m, node->matrix);
        lib3ds_matrix_translate_xyz(m, -node->data.object.pivot[0], -node->data.object.pivot[1],
                                    -node->data.object.pivot[2]);
        lib3ds_matrix_mult(m, inverse);
        if (Determinant(m) <= 0.0) return;
        MeshCorners(mesh, m, scale, out);
    });
    return out;
}

struct Shading {
    long same = 0, other = 0, uncertain = 0, noPosition = 0;
    double worst = 0.0;
    std::string where;
};

double ExtentOf(const std::vector<Corner>& corners) {
    double extent = 0.0;
    for (int j = 0; j < 3; ++j) {
        double low = 1e300, high = -1e300;
        for (const Corner& c : corners) {
            low = std::min(low, c.position[(size_t)j]);
            high = std::max(high, c.position[(size_t)j]);
        }
        extent = std::max(extent, high - low);
    }
    return extent > 0.0 ? extent : 1.0;
}

// A corner's cell: its position in steps of 1e-4 of the source's extent.
struct Cell {
    long long x, y, z;
    size_t index;  // the corner's
};

Cell CellOf(const std::array<double, 3>& p, double extent, size_t index) {
    return Cell{(long long)std::llround(p[0] / (extent * 1e-4)),
                (long long)std::llround(p[1] / (extent * 1e-4)),
                (long long)std::llround(p[2] / (extent * 1e-4)), index};
}

bool Before(const Cell& a, const Cell& b) {
    return a.x != b.x ? a.x < b.x : a.y != b.y ? a.y < b.y : a.z < b.z;
}

// The corners of a source file, taken once for every chain it goes through, with their cells
// sorted (x, y, z): the cells around a corner that share x and y are one run, so a corner's 27
// neighbouring cells are 9 runs found by bisection.
struct SourceCorners {
    std::vector<Corner> corners;
    long faces = 0;
    double extent = 1.0;
    std::vector<Cell> grid;
};

SourceCorners IndexCorners(Lib3dsFile* file) {
    SourceCorners source;
    source.corners = Corners(file, source.faces);
    if (source.corners.empty()) return source;
    source.extent = ExtentOf(source.corners);
    source.grid.reserve(source.corners.size());
    for (size_t i = 0; i < source.corners.size(); ++i)
        source.grid.push_back(CellOf(source.corners[i].position, source.extent, i));
    std::sort(source.grid.begin(), source.grid.end(), Before);
    return source;
}

// Each corner of `out` against the corners of `source` at its position (within 1e-4 of the
// source's extent): within 5 degrees of one of their normals, or not.
Shading CompareShading(const SourceCorners& indexed, const std::vector<Corner>& out) {
    Shading result;
    const std::vector<Corner>& source = indexed.corners;
    const std::vector<Cell>& grid = indexed.grid;
    if (source.empty()) return result;
    const double extent = indexed.extent;
    // Another format's unit (DXF holds centimetres) is measured out by the extents.
    const double unit = out.empty() ? 1.0 : extent / ExtentOf(out);
    const double near = std::fabs(unit - 1.0) < 1e-3 ? 1.0 : unit;
    const double limit = std::cos(5.0 * kPi / 180.0);
    for (const Corner& c : out) {
        const Cell k = CellOf({c.position[0] * near, c.position[1] * near, c.position[2] * near}, extent, 0);
        double best = -2.0;
        bool found = false, uncertain = false;
        for (long long dx = -1; dx <= 1; ++dx)
            for (long long dy = -1; dy <= 1; ++dy) {
                const Cell first{k.x + dx, k.y + dy, k.z - 1, 0};
                size_t low = 0, high = grid.size();
                while (low < high) {
                    const size_t middle = low + (high - low) / 2;
                    if (Before(grid[middle], first))
                        low = middle + 1;
                    else
                        high = middle;
                }
                for (size_t g = low;
                     g < grid.size() && grid[g].x == first.x && grid[g].y == first.y && grid[g].z <= k.z + 1;
                     ++g) {
                    found = true;
                    const Corner& s = source[grid[g].index];
                    uncertain = uncertain || s.uncertain;
                    best = std::max(best, s.normal[0] * c.normal[0] + s.normal[1] * c.normal[1] +
                                              s.normal[2] * c.normal[2]);
                }
            }
        if (!found) {
            ++result.noPosition;
        } else if (best >= limit) {
            ++result.same;
        } else if (uncertain || c.uncertain) {
            ++result.uncertain;
        } else {
            ++result.other;
            const double degrees = std::acos(std::max(-1.0, std::min(1.0, best))) * 180.0 / kPi;
            if (degrees > result.worst) {
                result.worst = degrees;
                std::ostringstream text;
                text << "(" << c.position[0] << ", " << c.position[1] << ", " << c.position[2] << ")";
                result.where = text.str();
            }
        }
    }
    return result;
}

// The stored points (no keyframer) of each mesh of `out` that lie off every point of the source's
// mesh of its name, by more than 1e-5 of the source's extent (`bitExact`: whose bits are none of
// its points'); meshes the source has no name for (names cut to the format's length) are left out.
long MovedPoints(Lib3dsFile* source, Lib3dsFile* out, std::string& where, bool bitExact) {
    double low = 1e300, high = -1e300;
    for (Lib3dsMesh* m = source->meshes; m; m = m->next)
        for (Lib3dsDword i = 0; i < m->points; ++i)
            for (float c : m->pointL[i].pos)
                if (std::isfinite(c)) low = std::min(low, (double)c), high = std::max(high, (double)c);
    const double cell = high > low ? (high - low) * 1e-5 : 1e-5;
    using Cell = std::tuple<long long, long long, long long>;
    auto at = [&](const float* p, int d) { return (long long)std::floor(p[d] / cell); };
    long moved = 0;
    for (Lib3dsMesh* m = out->meshes; m; m = m->next) {
        Lib3dsMesh* s = lib3ds_file_mesh_by_name(source, m->name);
        if (s == nullptr) continue;
        std::set<Cell> grid;
        auto finite = [](const float* p) { return std::isfinite(p[0] + p[1] + p[2]); };
        for (Lib3dsDword i = 0; i < s->points; ++i)
            if (finite(s->pointL[i].pos))
                grid.emplace(at(s->pointL[i].pos, 0), at(s->pointL[i].pos, 1), at(s->pointL[i].pos, 2));
        std::set<std::string> stored;
        for (Lib3dsDword i = 0; i < s->points && bitExact; ++i)
            stored.emplace((const char*)s->pointL[i].pos, sizeof s->pointL[i].pos);
        for (Lib3dsDword i = 0; i < m->points; ++i) {
            const float* p = m->pointL[i].pos;
            bool near = bitExact ? stored.count(std::string((const char*)p, sizeof m->pointL[i].pos)) != 0
                                 : !finite(p);
            for (int k = 0; k < 27 && !near && !bitExact; ++k)
                near = grid.count(
                           Cell(at(p, 0) + k % 3 - 1, at(p, 1) + k / 3 % 3 - 1, at(p, 2) + k / 9 - 1)) != 0;
            if (!near && ++moved == 1) where = std::string(m->name) + " point " + std::to_string(i);
        }
    }
    return moved;
}

long Points(Lib3dsFile* file) {
    long points = 0;
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next)
        points += (long)mesh->points;
    return points;
}

// The vertices of every object as its nodes place it (each instance) and of each object no node
// places: what a format that holds no instances gives.
long PlacedPoints(Lib3dsFile* file) {
    auto used = [](const Lib3dsMesh* mesh) { return (long)mesh->points; };
    long points = 0;
    std::set<std::string> placed;
    interop3ds::Walk(file->nodes, [&](Lib3dsNode* node) {
        if (node->type != LIB3DS_OBJECT_NODE || std::string(node->name) == "$$$DUMMY") return;
        if (Lib3dsMesh* mesh = lib3ds_file_mesh_by_name(file, node->name)) {
            points += used(mesh);
            placed.insert(mesh->name);
        }
    });
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next)
        if (!placed.count(mesh->name)) points += used(mesh);
    return points;
}

long MeshFaces(Lib3dsFile* file) {
    long faces = 0;
    for (Lib3dsMesh* mesh = file->meshes; mesh; mesh = mesh->next)
        faces += (long)mesh->faces;
    return faces;
}

// A material as lib3ds reads it, in whole steps of the file's percentages and bytes, with the
// values lib3ds gives chunks a file leaves out (shininess 10%, a map's flag word 0x10).
std::string MaterialText(const Lib3dsMaterial* m) {
    std::ostringstream text;
    auto colour = [&](const char* what, const Lib3dsRgba c) {
        text << what << " " << std::lround(c[0] * 255) << " " << std::lround(c[1] * 255) << " "
             << std::lround(c[2] * 255) << "; ";
    };
    auto map = [&](const char* what, const Lib3dsTextureMap& t, bool flags) {
        if (t.name[0] == '\0') return;
        // A map names its image as the image beside the file is named (CWALL02.JPG for
        // CWALL02.jpg): the case of a name is no difference.
        std::string image = t.name;
        for (char& c : image)
            c = (char)std::tolower((unsigned char)c);
        text << what << " " << image << " " << std::lround(t.percent * 100) << "%";
        if (flags) text << " flags " << t.flags;
        text << "; ";
    };
    colour("ambient", m->ambient);
    colour("diffuse", m->diffuse);
    text << "shininess " << std::lround(m->shininess * 100) << " ";
    text << "transparency " << std::lround(m->transparency * 100) << " falloff "
         << std::lround(m->falloff * 100) << " additive " << (int)m->additive << " use-falloff "
         << (int)m->use_falloff << " two-sided " << (int)m->two_sided << " self-illum "
         << std::lround(m->self_ilpct * 100) << "; ";
    map("texture1", m->texture1_map, true);
    map("texture2", m->texture2_map, true);
    map("opacity", m->opacity_map, true);
    map("bump", m->bump_map, true);
    map("specular", m->specular_map, true);
    map("reflection", m->reflection_map, true);
    text << "shading " << m->shading << " blur " << (int)m->use_blur << " " << std::lround(m->blur * 100)
         << " decal " << (int)m->map_decal << " self-illuminated " << (int)m->self_illum << " wire "
         << (int)m->use_wire << " reflection flags " << m->autorefl_map.flags;
    return text.str();
}

// The tag and length of the chunk at `at` in `bytes`, false past `end` or for a length that
// does not fit.
bool ChunkAt(const std::string& bytes, size_t at, size_t end, unsigned& tag, uint32_t& length) {
    if (at + 6 > end) return false;
    tag = (uint8_t)bytes[at] | (uint8_t)bytes[at + 1] << 8;
    length = 0;
    for (int i = 0; i < 4; ++i)
        length |= (uint32_t)(uint8_t)bytes[at + 2 + i] << (8 * i);
    return length >= 6 && length <= end - at;
}

// Each keyframer track's tag and the ten bytes after its own header: flags and two reserved words.
std::multiset<std::string> TrackHeaders(const std::string& path) {
    const std::string bytes = oxa_test::ReadFile(path);
    std::multiset<std::string> out;
    std::function<void(size_t, size_t)> walk = [&](size_t at, size_t end) {
        unsigned tag = 0;
        uint32_t length = 0;
        while (ChunkAt(bytes, at, end, tag, length)) {
            if (tag == 0x4D4D || tag == 0xB000 || (tag >= 0xB001 && tag <= 0xB007)) walk(at + 6, at + length);
            if (tag >= 0xB020 && tag <= 0xB029 && length >= 16)
                out.insert(bytes.substr(at, 2) + bytes.substr(at + 6, 10));
            at += length;
        }
    };
    walk(0, bytes.size());
    return out;
}

// Every chunk of each material block of a 3DS file, by material name: the tags from the block
// down, then the data, as hex.
std::map<std::string, std::multiset<std::string>> MaterialChunks(const std::string& path) {
    static const std::set<unsigned> kContainers = {0xA010, 0xA020, 0xA030, 0xA040, 0xA041, 0xA050, 0xA052,
                                                   0xA053, 0xA084, 0xA200, 0xA204, 0xA210, 0xA220, 0xA230,
                                                   0xA33A, 0xA33C, 0xA33D, 0xA33E, 0xA340, 0xA342, 0xA344,
                                                   0xA346, 0xA348, 0xA34A, 0xA34C};
    const std::string bytes = oxa_test::ReadFile(path);
    std::map<std::string, std::multiset<std::string>> out;
    std::string material;
    // `tags`: empty above a material block, else the path from the block ("" within it is "/").
    std::function<void(size_t, size_t, const std::string&)> walk = [&](size_t at, size_t end,
                                                                       const std::string& tags) {
        unsigned tag = 0;
        uint32_t length = 0;
        while (ChunkAt(bytes, at, end, tag, length)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "%04X/", tag);
            if (tags.empty()) {
                if (tag == 0x4D4D || tag == 0x3D3D) walk(at + 6, at + length, tags);
                if (tag == 0xAFFF) walk(at + 6, at + length, "/");
            } else if (kContainers.count(tag)) {
                walk(at + 6, at + length, tags + hex);
            } else {
                const std::string data = bytes.substr(at + 6, length - 6);
                if (tag == 0xA000) material = data.substr(0, data.find('\0'));
                std::string text = tags.substr(1) + hex;
                for (unsigned char c : data) {
                    // A map's file name without case: the writer takes the case of the image
                    // beside the output.
                    if (tag == 0xA300) c = (unsigned char)std::toupper(c);
                    std::snprintf(hex, sizeof hex, "%02x", c);
                    text += hex;
                }
                out[material].insert(text);
            }
            at += length;
        }
    };
    walk(0, bytes.size(), std::string());
    return out;
}

// Whether a chunk a written material lacks reads in lib3ds as the value it has when absent: a
// map's blur, offsets and rotation of 0, scales of 1, black tints.
bool ReadsAsAbsent(const std::string& chunk) {
    const std::string tag = chunk.substr(chunk.rfind('/') - 4, 4);
    const std::string data = chunk.substr(chunk.rfind('/') + 1);
    if (tag == "A353" || tag == "A358" || tag == "A35A" || tag == "A35C") return data == "00000000";
    if (tag == "A354" || tag == "A356") return data == "0000803f";
    return tag >= "A360" && tag <= "A368" && data == "000000";
}

#endif  // OXA_HAVE_LIB3DS

}  // namespace

TEST(public3ds_realfiles, TripKeepsShadingFacesMaterialsAndSize) {
    const fs::path folder = PublicFolder();
    if (folder.empty()) GTEST_SKIP() << "no public 3DS files (shared/corpus/3ds, or OXA_PUBLIC_CORPUS/3ds)";
#ifndef OXA_HAVE_LIB3DS
    GTEST_SKIP() << "lib3ds (lib3ds-dev) is not installed";
#else
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        for (char& c : extension)
            c = (char)std::tolower((unsigned char)c);
        if (entry.is_regular_file() && extension == ".3ds") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << folder;
    // Debian's model collection (assimp-testmodels) holds public 3DS files too.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/usr/share/assimp/models/3DS", error))
        if (entry.path().extension() == ".3ds" || entry.path().extension() == ".3DS")
            files.push_back(entry.path());
    oxa_test::ScratchDir dir("oxa_public3ds_", "trip");
    // Each source's corners as lib3ds shades them, taken in the first chain for all three.
    std::map<std::string, SourceCorners> sourceCorners;
    // Each file 3DS -> 3DS, through DXF (3DS -> DXF -> 3DS) and through OBJ (3DS -> OBJ -> 3DS):
    // neither holds instances, nor every material value; DXF's shading rides on shared vertices
    // and smoothing masks, OBJ's on its normals and smoothing groups.
    for (const std::string through : {"", "DXF", "OBJ"}) {
        const bool throughDxf = through == "DXF", throughObj = through == "OBJ";
        const std::string chain = through.empty() ? "3DS -> 3DS" : "3DS -> " + through + " -> 3DS";
        SCOPED_TRACE(chain);
        int tripped = 0, refused = 0, shadedAsSource = 0, overSize = 0, storedAsSource = 0;
        long tracks = 0, tracksKept = 0;
        long corners = 0, shadedOtherwise = 0, sourceVertices = 0, writtenVertices = 0, materialChunks = 0;
        double largestRatio = 0.0;
        std::string largestFile, sizes;
        for (const fs::path& path : files) {
            const std::string name = path.filename().string();
            interop3ds::Session session;
            if (!session.Read(path.string())) {
                ++refused;
                continue;
            }
            const std::string out = dir / "out.3ds";
            if (throughDxf) {
                const std::string dxf = dir / "out.dxf";
                ASSERT_TRUE(session.Write<VOxaWriterDxf>(dxf)) << name << ": " << session.messages;
                interop3ds::Session back;
                VOxaReaderDxf reader(&back.manager);
                std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
                ASSERT_TRUE(reader.FileOpen(dxf.c_str()) && reader.Read(back.scene, options.get())) << name;
                reader.FileClose();
                ASSERT_TRUE(back.Write(out)) << name << ": " << back.messages;
            } else if (throughObj) {
                const std::string obj = dir / "out.obj";
                ASSERT_TRUE(session.Write<VOxaWriterObj>(obj)) << name << ": " << session.messages;
                interop3ds::Session back;
                VOxaReaderObj reader(&back.manager);
                std::unique_ptr<VStreamOptions> options(reader.GetReadOptions());
                ASSERT_TRUE(reader.FileOpen(obj.c_str()) && reader.Read(back.scene, options.get())) << name;
                reader.FileClose();
                ASSERT_TRUE(back.Write(out)) << name << ": " << back.messages;
            } else {
                ASSERT_TRUE(session.Write(out)) << name << ": " << session.messages;
            }
            interop3ds::File3ds source(path.string()), written(out);
            if (source.file == nullptr) continue;  // our reader reads what lib3ds does not
            ASSERT_NE(written.file, nullptr) << name;
            ++tripped;

            // Faces: every face of every mesh, and every face an object node shows.
            auto judged = sourceCorners.find(path.string());
            if (judged == sourceCorners.end())
                judged = sourceCorners.emplace(path.string(), IndexCorners(source.file)).first;
            const SourceCorners& a = judged->second;
            const long sourceFaces = a.faces;
            long writtenFaces = 0;
            const std::vector<Corner> b = Corners(written.file, writtenFaces);
            if (!throughDxf) EXPECT_EQ(writtenFaces, sourceFaces) << name;
            if (source.file->nodes == nullptr)
                EXPECT_EQ(MeshFaces(written.file), MeshFaces(source.file)) << name;

            // Shading: lib3ds's normal at every corner of the output is the source's there (through
            // DXF or OBJ at 99 corners of 100 at least).
            const Shading shading = CompareShading(a, b);
            corners += (long)b.size();
            shadedOtherwise += shading.other;
            EXPECT_LE(shading.other, through.empty() ? 0L : (long)b.size() / 100)
                << name << ": " << shading.other << " of " << b.size()
                << " corners shaded otherwise, the worst " << shading.worst << " degrees at "
                << shading.where;
            EXPECT_LE(shading.noPosition, (long)b.size() / 50) << name;
            if (shading.other == 0) ++shadedAsSource;

            // Vertices: about as many per face as the source has (vertices split only for UVs and
            // the limits of the format); a mesh of several nodes that place it otherwise (mirrored)
            // is written once for each, so the count is taken per face. DXF and OBJ hold no instances: the
            // vertices of every instance, within 1 in 100.
            const long sourcePoints = Points(source.file), writtenPoints = Points(written.file);
            const long meshFaces = MeshFaces(source.file), writtenMeshFaces = MeshFaces(written.file);
            sourceVertices += through.empty() ? sourcePoints : PlacedPoints(source.file);
            writtenVertices += writtenPoints;
            if (!through.empty()) {
                // Points that are not numbers among them, while no face uses them.
                EXPECT_GE(writtenPoints * 100, PlacedPoints(source.file) * 99) << name;
                EXPECT_LE(writtenPoints * 100, PlacedPoints(source.file) * 101) << name;
                if (throughDxf) continue;
            }
            if (meshFaces > 0 && writtenMeshFaces > 0)
                EXPECT_LE((double)writtenPoints / writtenMeshFaces,
                          (double)sourcePoints / meshFaces * 1.05 + 1e-9)
                    << name << ": " << sourcePoints << " vertices became " << writtenPoints;
            if (throughObj) continue;  // materials, stored points and sizes: the direct trip's
            // Stored points and master scale: the source's, so that a reader without keyframer or
            // master scale sees the model as it was.
            std::string where;
            // Direct, every point's bits (NaN and zero signs among them) are a stored point's.
            const long moved = MovedPoints(source.file, written.file, where, through.empty());
            EXPECT_EQ(moved, 0) << name << ": stored points moved, the first " << where;
            // Track headers (flags and reserved words) as the source's.
            const std::multiset<std::string> sourceTracks = TrackHeaders(path.string()),
                                             writtenTracks = TrackHeaders(out);
            tracks += (long)sourceTracks.size();
            for (const std::string& header : sourceTracks)
                if (writtenTracks.count(header) >= sourceTracks.count(header)) ++tracksKept;
            // The mesh matrices bit for bit, the sign of a zero among them.
            for (Lib3dsMesh* m = written.file->meshes; m; m = m->next)
                if (Lib3dsMesh* s = lib3ds_file_mesh_by_name(source.file, m->name))
                    EXPECT_EQ(std::memcmp(s->matrix, m->matrix, sizeof m->matrix), 0)
                        << name << ": " << m->name;
            EXPECT_EQ(written.file->master_scale, source.file->master_scale) << name;
            if (source.file->nodes != nullptr)  // else lib3ds's own name
                EXPECT_STREQ(written.file->name, source.file->name) << name << ": keyframer header name";
            if (moved == 0 && written.file->master_scale == source.file->master_scale) ++storedAsSource;

            // Materials: every one, whether a face uses it or not, as lib3ds reads it and chunk by
            // chunk (the written block holds each chunk of the source's, or reads as without it).
            const auto sourceChunks = MaterialChunks(path.string()), writtenChunks = MaterialChunks(out);
            for (Lib3dsMaterial* m = source.file->materials; m; m = m->next) {
                const std::string wanted = MaterialText(m);
                // A name longer than the writer keeps is written as another (and said so).
                Lib3dsMaterial* kept = lib3ds_file_material_by_name(written.file, m->name);
                for (Lib3dsMaterial* o = written.file->materials; o && !kept; o = o->next)
                    if (MaterialText(o) == wanted) kept = o;
                EXPECT_NE(kept, nullptr) << name << ": material " << m->name << ": " << wanted;
                if (kept == nullptr) continue;
                EXPECT_EQ(MaterialText(kept), wanted) << name << ": material " << m->name;
                const auto from = sourceChunks.find(m->name), to = writtenChunks.find(kept->name);
                if (from == sourceChunks.end() || to == writtenChunks.end()) continue;
                for (const std::string& chunk : from->second) {
                    ++materialChunks;
                    // Names aside (a long one is cut).
                    if (chunk.compare(0, 5, "A000/") == 0) continue;
                    const bool found = to->second.count(chunk) > 0 || ReadsAsAbsent(chunk);
                    EXPECT_TRUE(found) << name << ": material " << m->name << " lost the chunk " << chunk;
                }
            }

            // Size: within 1.5 times the source (nodes that share one mesh share one object).
            struct stat sourceStat {
            }, writtenStat{};
            if (stat(path.c_str(), &sourceStat) == 0 && stat(out.c_str(), &writtenStat) == 0 &&
                sourceStat.st_size > 0) {
                const double ratio = (double)writtenStat.st_size / (double)sourceStat.st_size;
                if (ratio > 1.5) {
                    ++overSize;
                    sizes += " " + name + " " + std::to_string(ratio).substr(0, 4);
                    ADD_FAILURE() << name << " comes back " << ratio << " times its size";
                }
                if (ratio > largestRatio) {
                    largestRatio = ratio;
                    largestFile = name;
                }
            }
        }
        EXPECT_GT(tripped, (int)files.size() / 2);
        EXPECT_LE(shadedOtherwise, corners / 100);
        std::cout << chain << ": public 3DS files: " << files.size() << ", read and written " << tripped
                  << ", refused " << refused << ", shaded as their source in lib3ds " << shadedAsSource
                  << " (corners shaded otherwise " << shadedOtherwise << " of " << corners << "; vertices "
                  << sourceVertices << " -> " << writtenVertices << ")";
        if (through.empty()) {
            std::cout << ", stored points and master scale as their source " << storedAsSource
                      << ", material chunks " << materialChunks << ", track headers as their source "
                      << tracksKept << " of " << tracks;
            // A handful of camera and target tracks are rebuilt from the camera's placement.
            EXPECT_GE(tracksKept * 1000, tracks * 995);
        }
        std::cout << "; outputs over 1.5 times their source " << overSize << " (largest " << largestRatio
                  << " times, " << largestFile << "):" << sizes << "\n";
    }
#endif
}
