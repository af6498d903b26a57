// Continuity of Euler angles from one sample to the next, for the readers that decompose a
// rotation per frame: a decomposition always lands in the principal range, so a joint turning
// past +-180 degrees would jump by a whole turn between two frames.
#ifndef OXA_ANIMATION_EULER_CONTINUITY_H
#define OXA_ANIMATION_EULER_CONTINUITY_H

#include <oxa/base/oxa_export.h>

// The axis triple of the XYZ order: angle 0 about X, 1 about Y, 2 about Z.
extern OXA_API const int kEulerAxesXYZ[3];

// Writes into `out` the Euler angles (degrees) equivalent to `current` that lie nearest
// `previous`: of the set itself and the other set of the same rotation, (a + 180, 180 - b,
// c + 180) for the angles a, b, c about the first, middle and last axis of `axes` (indexes into
// the triples), each angle moved by whole turns towards the previous one, the one whose squared
// distance to `previous` is smaller; a tie keeps the set itself. `out` may be `current`.
// Non-finite angles are copied unchanged.
OXA_API void MakeEulerContinuous(const double current[3], double out[3], const double previous[3],
                                 const int axes[3] = kEulerAxesXYZ);

#endif  // OXA_ANIMATION_EULER_CONTINUITY_H
