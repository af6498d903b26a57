#ifndef OXA_FORMATS_MOTION_VOXA_MOTION_EXPORT_H
#define OXA_FORMATS_MOTION_VOXA_MOTION_EXPORT_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>

class VOxaScene;
class VStreamOptionsMotion;

// Getting a scene that a reader made ready for a motion writer, as oxa-convert does. The motion
// writers write the nodes a host marked; readers mark none. The skeleton writers (BVH, HTR, ASF,
// AMC) start from the first marked node on the chain of only children below the scene's root; the
// marker writers (TRC, C3D, AOA, MCD, BRD, MOV, VPM) write every marked node.

// Which writers a row of the writer table is: a skeleton writer, a marker writer, or neither.
enum class VOxaMotionWriterKind { eNone, eSkeleton, eMarkers };
OXA_API VOxaMotionWriterKind VOxaGetMotionWriterKind(int writerFormat);

// Marks what the writer of table row `writerFormat` writes and sets the writer's `options` to
// match. When no node of `scene` is marked yet, every node below the root that carries an
// attribute other than an optical reference is marked; for a skeleton writer, the node where the
// chain below the root forks into markers side by side becomes their motion root. Marker writers
// are told to place each node where it is in the world; skeleton writers keep translation channels
// for markers, and for joints that move by translation in the current take. Nothing happens for a
// row that is no motion writer, or null arguments.
OXA_API void VOxaMarkMotionToWrite(VOxaScene* scene, int writerFormat, VStreamOptionsMotion* options);

// Gives the writer's `options` the rate of what was read: the rate the reader's `read` options
// found in the file, else the scene's own time mode (the rate at which geometry readers key).
OXA_API void VOxaUseSourceRate(VStreamOptionsMotion* options, const VStreamOptionsMotion* read,
                               VOxaScene* scene);

// Sets the frames the writer writes at the rate `options` hold: the current take's span (or the
// span of the scene's animation when the take has none), one frame a period. `readFrames` is the
// frame count the reader gave that take (-1 when unknown): a take of one frame spans one instant,
// as a take of none does. A take whose span runs more than 10,000 frames past the last key of the
// scene's animation is cut at that key (at the take's start when no key lies after it), and
// `warning` says so. Options that already name a frame count keep it. False, with the reason in
// `error` and no frames set, when the span holds more frames than a writer writes (1e9).
OXA_API bool VOxaSetMotionFramesToWrite(VStreamOptionsMotion* options, VOxaScene* scene, int readFrames,
                                        VString* error = nullptr, VString* warning = nullptr);

// All three for a plain conversion: marks, takes the source's rate and frame count from `read`
// (null when the source was not a motion file) and sets the frames. False, with the reason in
// `error`, when the frames cannot be written.
OXA_API bool VOxaPrepareMotionExport(VOxaScene* scene, int writerFormat, VStreamOptionsMotion* options,
                                     const VStreamOptionsMotion* read, VString* error = nullptr);

#endif  // OXA_FORMATS_MOTION_VOXA_MOTION_EXPORT_H
