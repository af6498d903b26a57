// The values of 3DS lights, cameras, backgrounds, atmosphere and shadow settings that a scene has
// no place of its own for. The 3DS reader keeps them as properties (on the light or camera, or on
// the root node for the scene-wide ones); the 3DS writer puts them back, so that a file read and
// written again keeps them.
#ifndef OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_SCENE_VALUES_H
#define OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_SCENE_VALUES_H

#include <cstdint>
#include <string>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk.h>

class VOxaCamera;
class VOxaLight;
class VOxaMesh;
class VOxaNode;

// Keeps the light record's switches, ranges (times `scale`, the reader's unit factor) and spot
// values on the light.
void Keep3dsLightValues(VOxaLight* light, const Ftk::Light& record, double scale);
// Sets the record's fields from the values kept on the light (the ones it has none of keep theirs)
// and its projector from the light's gobo file name.
void Put3dsLightValues(const VOxaLight* light, Ftk::Light& record);
// Keeps the camera record's cone display and its ranges (times `scale`, as its planes are read).
void Keep3dsCameraValues(VOxaCamera* camera, const Ftk::Camera& record, double scale);
// The cone display and the near and far range: the camera's near plane and a tenth of its far
// plane, or the ranges kept from a file while the planes are still the ones they gave.
void Put3dsCameraValues(const VOxaCamera* camera, Ftk::Camera& record);

// Keeps the mesh record's object flags (all but hidden, which the node has, and procedural) and
// mesh colour on the node of the object.
void Keep3dsObjectValues(VOxaNode* node, const Ftk::Mesh& record);
// Sets the record's object flags and mesh colour from the values kept on the node; a node without
// them leaves the record's.
void Put3dsObjectValues(const VOxaNode* node, Ftk::Mesh& record);

// Keeps the database's background, layer fog, distance cue and shadow settings on the root node
// (distances times `scale`).
void Keep3dsSceneValues(VOxaNode* root, Ftk::Database* database, const Ftk::Background* background,
                        double scale);
// Puts the kept values into the settings block (before it is put) ...
void Put3dsShadowSettings(const VOxaNode* root, Ftk::MeshSettings& settings);
// ... and the layer fog, distance cue and the other shadow values into the database (distances
// times `scale`).
void Put3dsSceneValues(const VOxaNode* root, Ftk::Database* database, double scale = 1.0);
// True when the root node holds a kept background; fills `background` with it.
bool Kept3dsBackground(const VOxaNode* root, Ftk::Background& background);

// The units of a file read: the scene length of one file unit (what the reader multiplied
// lengths by) and the file's master scale, kept on the root node so that a 3DS writer gives the
// scene back in the file's own units under its master scale.
void Keep3dsFileUnits(VOxaNode* root, double unit, float masterScale);
bool Kept3dsFileUnits(const VOxaNode* root, double& unit, float& masterScale);
// The scene name of the file's keyframer header, kept on the root node.
void Keep3dsKeyframerName(VOxaNode* root, const std::string& name);
bool Kept3dsKeyframerName(const VOxaNode* root, std::string& name);

// Where a file read stored a mesh object: its local axes as the file held them, whether the
// reader placed the points through their inverse (not for an object without keyframer node,
// nor for axes without inverse), the pivot it took off them (scene axes and units) and the
// points as the file held them (x, y, z of each; empty when they were not kept) with their
// flags (chunk 0x4111, of the first points when the file held fewer; empty when it held none
// but zeros).
struct Stored3dsMesh {
    float mAxes[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    bool mPlaced = false;
    double mPivot[3] = {0.0, 0.0, 0.0};
    std::vector<float> mPoints;
    std::vector<uint16_t> mPointFlags;
};
// Keeps them on the node with a mark of the mesh's control points as they are now.
void Keep3dsStoredMesh(VOxaNode* node, const Stored3dsMesh& stored, const VOxaMesh* mesh);
// The values kept on the node, while `mesh` still holds the control points it was read with.
bool Kept3dsStoredMesh(const VOxaNode* node, const VOxaMesh* mesh, Stored3dsMesh& stored);

#endif  // OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_SCENE_VALUES_H
