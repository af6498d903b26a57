#ifndef OXA_ATTRIBUTES_VOXA_NURB_H
#define OXA_ATTRIBUTES_VOXA_NURB_H

#include <oxa/attributes/voxa_geometry.h>
#include <oxa/base/oxa_export.h>
#include <oxa/base/vstring.h>
#include <oxa/base/vstring_list.h>

// Form of a NURBS direction; the file spellings are "Periodic", "Closed" and "Open".
enum VOxaNurbForm : int { ePERIODIC = 0, eCLOSED = 1, eOPEN = 2 };

// The NURBS surface attribute (type 5, "Nurb"): u count x v count weighted control points
// (point (u, v) at index v x u count + u, its w the rational weight), an order, a form, a knot
// vector and a multiplicity array per direction, tessellation steps, a surface display mode and
// two transpose flags the writers obey.
//
// The surface does not check its data beyond keeping its arrays consistent: a knot vector
// always holds GetUKnotCount (GetVKnotCount) doubles and a multiplicity array GetUCount
// (GetVCount) ints, whatever the orders and counts given.
class OXA_API VOxaNurb : public VOxaGeometry {
public:
    // A surface with the values of Reset.
    explicit VOxaNurb(VOxaSdkManager* manager);
    // Reset (frees the knot and multiplicity arrays), then the geometry part.
    ~VOxaNurb() override;

    int GetAttributeType() const override { return eNurb; }
    VString GetTypeName() const override { return VString("Nurb"); }
    VStringList GetTypeFlags() const override { return VStringList(); }

    // Frees the knot vectors and multiplicities; orders, counts and steps 0, forms 2 (open),
    // surface mode 4, transpose flags off. Control points and layers are left as they are.
    void Reset();

    // Orders of the two directions; set them before InitControlPoints, which sizes the knot
    // vectors from them.
    void SetOrder(int uOrder, int vOrder);
    int GetUOrder() const { return mUOrder; }
    int GetVOrder() const { return mVOrder; }

    // Sizes the control points to u count x v count (emptied first, all zero), stores the
    // counts and forms, and reallocates the knot vectors (GetUKnotCount / GetVKnotCount
    // zeros) and the multiplicities (count entries, all 1). A negative count or a grid larger
    // than an int can count stores counts 0; a knot count that would be negative is 0, one too
    // large to allocate leaves that knot vector empty.
    void InitControlPoints(int uCount, VOxaNurbForm uForm, int vCount, VOxaNurbForm vForm);
    int GetUCount() const { return mUCount; }
    int GetVCount() const { return mVCount; }
    VOxaNurbForm GetUForm() const { return mUForm; }
    VOxaNurbForm GetVForm() const { return mVForm; }

    void SetStep(int uStep, int vStep);
    int GetUStep() const { return mUStep; }
    int GetVStep() const { return mVStep; }

    void SetSurfaceMode(int mode);
    int GetSurfaceMode() const { return mSurfaceMode; }

    // Number of doubles in the knot vector: count + order, plus (order - 1) for the periodic
    // and closed forms, never below 0 and never more than the vector holds (0 before
    // InitControlPoints).
    int GetUKnotCount() const;
    int GetVKnotCount() const;
    // The knot vectors (null before InitControlPoints or when empty); read and write in place.
    double* GetUKnotVector() const { return mUKnots; }
    double* GetVKnotVector() const { return mVKnots; }
    // The multiplicities (GetUCount / GetVCount ints; null when the count is 0 or they could not
    // be allocated).
    int* GetUMultiplicityVector() const { return mUMultiplicity; }
    int* GetVMultiplicityVector() const { return mVMultiplicity; }

    // When set, the writers write a copy with U and V exchanged (grid transposed).
    void SetTransposeUV(bool flag) { mTransposeUV = flag; }
    bool GetTransposeUV() const { return mTransposeUV; }
    // When set, the writers write a copy whose link indices are remapped to the transposed grid.
    void SetTransposeLinks(bool flag) { mTransposeLinks = flag; }
    bool GetTransposeLinks() const { return mTransposeLinks; }

    // Reset; the transpose flags, surface mode, orders and steps of `other`; its counts and
    // forms through InitControlPoints; its knots and multiplicities; then the geometry copy
    // (points, layers, links, shapes, pivot).
    VOxaNurb& operator=(const VOxaNurb& other);

private:
    // Knot count from the stored count, order and form, clamped at 0 (no overflow).
    static long long KnotCount(int count, int order, VOxaNurbForm form);

    int mUOrder = 0;
    int mVOrder = 0;
    int mUCount = 0;
    int mVCount = 0;
    int mUStep = 0;
    int mVStep = 0;
    VOxaNurbForm mUForm = eOPEN;
    VOxaNurbForm mVForm = eOPEN;
    double* mUKnots = nullptr;
    double* mVKnots = nullptr;
    // Number of doubles the knot vectors hold.
    int mUKnotSize = 0;
    int mVKnotSize = 0;
    int* mUMultiplicity = nullptr;
    int* mVMultiplicity = nullptr;
    int mSurfaceMode = 4;
    bool mTransposeUV = false;
    bool mTransposeLinks = false;
};

#endif  // OXA_ATTRIBUTES_VOXA_NURB_H
