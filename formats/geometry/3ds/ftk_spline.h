// How 3DS players move between the keys of a keyframer track. Positions, scales, colours and
// single values follow a Kochanek-Bartels spline whose tangents are scaled by the spacing of the
// keys around each key; rotations follow a quaternion spline through keys that each turn
// relative to the key before. The reader makes curves that follow these paths and the writer
// checks that the keys it writes give the scene's own.
#ifndef OXA_FORMATS_GEOMETRY_3DS_FTK_SPLINE_H
#define OXA_FORMATS_GEOMETRY_3DS_FTK_SPLINE_H

#include <oxa/base/oxa_export.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace Ftk {

// A key as the spline sees it: its frame (keys in ascending frames) and its parameters.
struct SplineKey {
    int32_t frame = 0;
    float tension = 0.0f, continuity = 0.0f, bias = 0.0f;
};

// The tangents of a key as multiples of the change from the key before (g1) and of the change to
// the key after (g3), in the units of the segment each serves: incoming = in[0] g1 + in[1] g3,
// outgoing = out[0] g1 + out[1] g3. Interior keys take the Kochanek-Bartels tangents of their
// tension, continuity and bias, scaled by the spacing of the keys around them (a scale that
// moves toward 1 as the continuity moves away from 0); the end keys take the change along their
// one segment, whatever their parameters.
struct SplineTangent {
    double in[2] = {1.0, 0.0};
    double out[2] = {0.0, 1.0};
};
SplineTangent SplineTangentAt(const SplineKey* keys, size_t count, size_t k);

// The slopes (value per frame) of channel `a` of a track of `width` values a key at key k:
// arriving (meaningless at the first key) and leaving (meaningless at the last).
void SplineSlopes(const SplineKey* keys, const float* values, size_t count, int width, int a, size_t k,
                  double& arriving, double& leaving);

// The track's value at `frame` (keys hold before the first and after the last): `width` values
// into `out`. Needs at least one key.
void EvaluateSpline(const SplineKey* keys, const float* values, size_t count, int width, double frame,
                    double* out);

struct Quat {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
};

// The orientation of a rotation track between its keys, in the file's axes. Each key turns by
// its angle (radians) about its axis from the orientation of the key before (the first from
// none); between two keys the orientation moves along that turn, more than half a turn
// included, bent toward the neighbouring keys by a quaternion spline whose inner points come from
// the keys' tangents, taken over the shorter form of each turn.
class RotationPath {
public:
    // `values`: angle, axis x, y, z for each key.
    RotationPath(const SplineKey* keys, const float* values, size_t count);
    size_t KeyCount() const { return mKeys.size(); }
    const Quat& AtKey(size_t k) const { return mOrientation[k]; }
    // The orientation at fraction u of the segment from key k to key k + 1.
    Quat Between(size_t k, double u) const;
    // The orientation at `frame`; the end keys hold outside the keys.
    Quat At(double frame) const;

private:
    std::vector<SplineKey> mKeys;
    std::vector<Quat> mOrientation, mOut, mIn;
    std::vector<std::array<double, 3>> mTurn;
};

}  // namespace Ftk

#endif  // OXA_FORMATS_GEOMETRY_3DS_FTK_SPLINE_H
