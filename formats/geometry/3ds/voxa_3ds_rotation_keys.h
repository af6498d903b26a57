// A node's 3DS rotation track as a file held it. The 3DS reader keeps it on the node; the 3DS
// writer writes it back unchanged while the node's rotation curves still turn as the track does,
// so that a file's rotation keys come back as they were, however the scene's Euler curves hold
// the turns between them.
#ifndef OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_ROTATION_KEYS_H
#define OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_ROTATION_KEYS_H

#include <cstdint>
#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/formats/geometry/3ds/ftk.h>

class VOxaNode;

// The node property that holds the keys, as text: a line per key with its frame, spline flags,
// the spline values the flags name (tension, continuity, bias, ease to, ease from) and its angle
// and axis x, y, z.
constexpr const char* kKeptRotationKeysProperty = "3DS Rotation Keys";

// The node property that holds an object's hidden flag as a file gave it beside a hide track
// (whose frame 0 gives the node's visibility).
constexpr const char* kKeptHiddenProperty = "3DS Hidden";

// Keeps `count` keys (4 values each in `values`) on the node, replacing any kept before.
void KeepRotationKeys(VOxaNode* node, const Ftk::KeyHeader* keys, const float* values, uint32_t count);
// The keys kept on the node: false (both vectors empty) when it holds none or the text does not
// read as whole keys with finite values.
bool KeptRotationKeys(const VOxaNode* node, std::vector<Ftk::KeyHeader>& keys, std::vector<float>& values);

// The same for any track of `width` values a key, under the node property `name`.
constexpr const char* kKeptFalloffKeysProperty = "3DS Falloff Keys";
constexpr const char* kKeptSpotRollKeysProperty = "3DS Roll Keys";
// Tracks the scene holds as curves as well, kept so that a 3DS writer can put back the file's own
// keys (spline values, ease included) while the curves still play them. Positions are in the
// file's axes, in scene units; scales and colours as the file has them; the field of view is the
// file's horizontal angle.
constexpr const char* kKeptPositionKeysProperty = "3DS Position Keys";
constexpr const char* kKeptScaleKeysProperty = "3DS Scale Keys";
constexpr const char* kKeptColorKeysProperty = "3DS Color Keys";
constexpr const char* kKeptHotspotKeysProperty = "3DS Hotspot Keys";
constexpr const char* kKeptFieldOfViewKeysProperty = "3DS Field Of View Keys";
constexpr const char* kKeptCameraRollKeysProperty = "3DS Roll Keys";
// A hide track's keys (no values), written back while the node's visibility turns at their frames.
constexpr const char* kKeptHideKeysProperty = "3DS Hide Keys";
void KeepTrackKeys(VOxaNode* node, const char* name, const Ftk::KeyHeader* keys, const float* values,
                   uint32_t count, int width);
bool KeptTrackKeys(const VOxaNode* node, const char* name, int width, std::vector<Ftk::KeyHeader>& keys,
                   std::vector<float>& values);

// The flags word of a kept track's header (whether the track repeats or loops past its keys,
// axis locks) and its two reserved words, kept beside the track's keys under the property `name`
// followed by " Flags", " Reserved 1" and " Reserved 2" when the file set any bit. KeptTrackFlags
// gives 0 for none; KeptTrackHeader puts all three back in `track`.
void KeepTrackFlags(VOxaNode* node, const char* name, const Ftk::Track& track);
void KeptTrackHeader(const VOxaNode* node, const char* name, Ftk::Track& track);
uint16_t KeptTrackFlags(const VOxaNode* node, const char* name);

// A morph track: keys that each name the mesh object the node's mesh turns into, kept as the
// key lines above with the name (blanks kept, backslash and line end escaped) closing each line;
// with the morph smoothing angle when the node's record set it.
constexpr const char* kKeptMorphKeysProperty = "3DS Morph Keys";
constexpr const char* kKeptMorphSmoothProperty = "3DS Morph Smooth";
void KeepMorphKeys(VOxaNode* node, const Ftk::KeyHeader* keys, const Ftk::MorphName* names, uint32_t count);
bool KeptMorphKeys(const VOxaNode* node, std::vector<Ftk::KeyHeader>& keys,
                   std::vector<Ftk::MorphName>& names);

// The colour track of the file's ambient light node, kept on the scene's root node (3 values a
// key), and the node's two flag words.
constexpr const char* kKeptAmbientKeysProperty = "3DS Ambient Keys";
constexpr const char* kKeptAmbientFlagsProperty = "3DS Ambient Flags";

// The tracks of an object's keyframer node that no object uses (Ftk::kObjectOtherTrackTags, in
// that order), kept as the file keys them.
constexpr const char* kKeptObjectOtherKeysProperties[] = {
    "3DS Object Field Of View Keys", "3DS Object Roll Keys", "3DS Object Color Keys",
    "3DS Object Hotspot Keys", "3DS Object Falloff Keys"};

// The two flag words of the node's keyframer node (and of its target's, kept on the target's
// node), as flags1 + 65536 flags2; absent when both are 0.
constexpr const char* kKeptNodeFlagsProperty = "3DS Node Flags";
void KeepNodeFlags(VOxaNode* node, uint16_t flags1, uint16_t flags2);
void KeptNodeFlags(const VOxaNode* node, uint16_t& flags1, uint16_t& flags2);

// Marks the node of a mesh object that the file's keyframer gave no node, in a file with nodes:
// a 3DS writer writes the object without one.
constexpr const char* kWithoutNodeProperty = "3DS Without Node";

// Marks the scene's root node when the file's keyframer had no segment of its own: a 3DS writer
// writes none while the take spans the whole animation from frame 0.
constexpr const char* kNoSegmentProperty = "3DS No Segment";
// The keyframer's current frame (0xB009), which the scene has no field for: kept on the root so
// that a written file holds it again.
constexpr const char* kCurrentFrameProperty = "3DS Current Frame";
// A keyframer length below 0 (a range wholly before frame 0), which no take span gives back.
constexpr const char* kNegativeLengthProperty = "3DS Negative Length";

// Marks the node's rotation curves (its current take's Euler curves, and for an axis without
// keys its default angle) as the ones made from the keys it keeps; RotationCurvesKept tells
// whether they are still those curves.
void KeepRotationCurves(VOxaNode* node);
bool RotationCurvesKept(VOxaNode* node);

// XYZ Euler degrees of the rotation matrix m (row-vector form, as VgeEulerXYZToMatrix makes it),
// as exact near +-90 degrees about Y as away from it: the X angle is worked out after the Z
// angle, so that no turn is rounded to the pole.
void RotationToEulerXYZ(const double m[4][4], double angles[3]);

#endif  // OXA_FORMATS_GEOMETRY_3DS_VOXA_3DS_ROTATION_KEYS_H
