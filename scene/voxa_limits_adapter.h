#ifndef OXA_SCENE_VOXA_LIMITS_ADAPTER_H
#define OXA_SCENE_VOXA_LIMITS_ADAPTER_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VOxaNode;
class VOxaNodeLimits;

// A short-lived view of one node's limits (and of a few values of its pivot set 0) in the shape
// of the version-5 "Limits" block and of the skeleton motion formats: per kind (0 translation,
// 1 rotation, 2 scaling) an auto switch, an enable switch and default, minimum and maximum
// vectors, plus a rotation type, a rotation clamp type, a rotation axis and an axis length.
//
// Kind numbers other than 0, 1 and 2 are ignored by the setters and give a neutral result in the
// getters (auto true, enable false, the zero vector). Values are stored as given: a file may hold
// any number, and nothing here converts one to an integer. Nothing is reported.
class OXA_API VOxaNodeLimitsAdapter {
public:
    // Keeps `limits` (not owned; the limits of an existing node); axis length 1.0.
    explicit VOxaNodeLimitsAdapter(VOxaNodeLimits* limits);

    // Kind 0 and 2: the kind's limits-active switch becomes `!automatic`. Kind 1: likewise for
    // rotation (so "RotationActive" follows), and a non-automatic rotation also sets the node's
    // set-0 "limit space for limits only" flag.
    void SetAuto(int kind, bool automatic);
    bool GetAuto(int kind) const;
    // When the kind's per-axis flags are not already in the wanted overall state (any set for
    // enable, none for disable), sets all six minimum and maximum flags to `enable`.
    void SetEnable(int kind, bool enable);
    bool GetEnable(int kind) const;
    // Kind 0 and 2: minimum and maximum both become `value`. Kind 1: the node's set-0
    // pre-rotation.
    void SetDefault(int kind, const VgeTVector& value);
    // Kind 0 and 2: the minimum; kind 1: the set-0 pre-rotation.
    VgeTVector GetDefault(int kind) const;
    void SetMin(int kind, const VgeTVector& value);
    void SetMax(int kind, const VgeTVector& value);
    VgeTVector GetMin(int kind) const;
    VgeTVector GetMax(int kind) const;
    // The set-0 rotation order becomes "Euler XYZ" for true and "Spheric XYZ" for false.
    void SetRotationType(bool euler);
    // 0 when the set-0 rotation order is "Spheric XYZ", else 1.
    int GetRotationType() const;
    // Stores nothing: the clamp type is read back from the rotation order, which
    // SetRotationType already sets.
    void SetRotationClampType(int type);
    // 1 when the set-0 rotation order is "Spheric XYZ", else 0.
    int GetRotationClampType() const;
    // The node's set-0 post-rotation.
    void SetRotationAxis(const VgeTVector& axis);
    VgeTVector GetRotationAxis() const;
    void SetAxisLength(double length) { mAxisLength = length; }
    double GetAxisLength() const { return mAxisLength; }

    // Derives the limits whose kind is automatic (limits-active switch off) from `node`'s rest
    // pose (its default transforms): the translation limits from its local translation, the
    // rotation default and axis from the frame that points along the node's bone, the scaling
    // limits from its local scaling; also the axis length and the rotation type. Nothing happens
    // for a null node, a node without parent or when no kind is automatic.
    void SetDefaultsFromNode(VOxaNode* node);

private:
    VOxaNode* Node() const;

    VOxaNodeLimits* mLimits;
    double mAxisLength = 1.0;
};

#endif  // OXA_SCENE_VOXA_LIMITS_ADAPTER_H
