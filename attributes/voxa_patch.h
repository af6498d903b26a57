#ifndef OXA_ATTRIBUTES_VOXA_PATCH_H
#define OXA_ATTRIBUTES_VOXA_PATCH_H

#include <oxa/attributes/voxa_geometry.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>

// Polynomial basis of a patch direction; the file spellings are "Bezier", "BezierQuadric",
// "Cardinal", "BSpline" and "Linear".
enum VOxaPatchType : int { eBEZIER = 0, eBEZIER_QUADRIC = 1, eCARDINAL = 2, eBSPLINE = 3, eLINEAR = 4 };

// The parametric patch attribute (type 6, "Patch"): a grid of u count x v count control points
// (point (u, v) at index v x u count + u) with a basis type, a tessellation step, a closed flag
// and two cap flags per direction, and a surface display mode.
//
// The patch does not check its data: types, steps and flags are stored as given and whoever
// evaluates the surface checks them. Only the counts are kept consistent with the points.
class OXA_API VOxaPatch : public VOxaGeometry {
public:
    // A patch with the values of Reset.
    explicit VOxaPatch(VOxaSdkManager* manager);
    // Reset, then the geometry part.
    ~VOxaPatch() override;

    int GetAttributeType() const override { return ePatch; }
    VString GetTypeName() const override { return VString("Patch"); }
    VStringList GetTypeFlags() const override { return VStringList(); }

    // Types 4 (linear), counts 0, steps 0, closed and cap flags off, surface mode 4. The control
    // points and layers are left as they are.
    void Reset();

    // Stores the counts and types and sizes the control points to u count x v count (emptied
    // first, all zero). A negative count, or a grid larger than an int can count, stores
    // counts 0 and leaves no points.
    void InitControlPoints(int uCount, VOxaPatchType uType, int vCount, VOxaPatchType vType);
    int GetUCount() const { return mUCount; }
    int GetVCount() const { return mVCount; }
    VOxaPatchType GetUType() const { return mUType; }
    VOxaPatchType GetVType() const { return mVType; }

    // Tessellation steps between control points.
    void SetStep(int uStep, int vStep);
    int GetUStep() const { return mUStep; }
    int GetVStep() const { return mVStep; }

    void SetClosed(bool uClosed, bool vClosed);
    bool GetUClosed() const { return mUClosed; }
    bool GetVClosed() const { return mVClosed; }

    void SetUCapped(bool first, bool second);
    bool GetUCappedFirst() const { return mUCapped[0]; }
    bool GetUCappedSecond() const { return mUCapped[1]; }
    void SetVCapped(bool first, bool second);
    bool GetVCappedFirst() const { return mVCapped[0]; }
    bool GetVCappedSecond() const { return mVCapped[1]; }

    void SetSurfaceMode(int mode);
    int GetSurfaceMode() const { return mSurfaceMode; }

    // Reset; the surface mode, steps, closed and cap flags, counts and types of `other`; then
    // the geometry copy (points, layers, links, shapes, pivot).
    VOxaPatch& operator=(const VOxaPatch& other);

private:
    VOxaPatchType mUType = eLINEAR;
    VOxaPatchType mVType = eLINEAR;
    int mUCount = 0;
    int mVCount = 0;
    int mUStep = 0;
    int mVStep = 0;
    bool mUClosed = false;
    bool mVClosed = false;
    bool mUCapped[2] = {false, false};
    bool mVCapped[2] = {false, false};
    int mSurfaceMode = 4;
};

#endif  // OXA_ATTRIBUTES_VOXA_PATCH_H
