#ifndef OXA_ATTRIBUTES_VOXA_LINK_H
#define OXA_ATTRIBUTES_VOXA_LINK_H

#include <oxa/base/oxa_export.h>
#include <oxa/base/varray.h>
#include <oxa/base/vge_matrix.h>
#include <oxa/base/vge_vector.h>
#include <oxa/base/vstring.h>

class VOxaDeformer;
class VOxaNode;
class VOxaSdkManager;

// One cluster of a skin: binds a set of control points of a geometry, each with a weight, to a
// driving node (usually a bone). It keeps the transforms needed to deform the geometry, each
// as translation T, rotation R (XYZ Euler degrees) and scaling S: the geometry's at binding
// time ("Transform"), the driving node's at binding time ("TransformLink"), an associate
// model's, and an optional parent transform ("TransformParent", marked by the parent flag).
//
// The manager makes and destroys links; a geometry lists them. No operation fails: a null node
// given to SetLink and a negative control-point index are ignored.
class OXA_API VOxaLink {
public:
    // Link modes (GetLinkMode).
    enum ELinkMode : int { eNormalize = 0, eAdditive = 1, eTotal1 = 2 };

    // An initialised link (Init).
    VOxaLink();
    VOxaLink(const VOxaLink&) = delete;
    VOxaLink& operator=(const VOxaLink&) = delete;
    virtual ~VOxaLink() = default;

    // Back to the initial state: no link and no associate model, empty names and user data,
    // link mode 1, every transform T = (0, 0, 0, 1), R = (0, 0, 0, 1), S = (1, 1, 1, 1), parent
    // flag off, no control points.
    void Init();

    // Keeps `node` and a copy of its current full name; a null node is ignored.
    void SetLink(VOxaNode* node);
    VOxaNode* GetLink() const { return mLink; }
    // The name the link node had when it was set.
    VString GetLinkName() const { return mLinkName; }

    // Keeps `node` (null: none) and its name ("" for null).
    void SetAssociateModel(VOxaNode* node);
    VOxaNode* GetAssociateModel() const { return mAssociateModel; }
    // The associate model's current name (refreshed from the node when there is one).
    VString GetAssociateModelName();

    // User data: an ID and a text, stored as given (null as "").
    void SetUserData(const char* id, const char* data);
    VString GetUserDataID() const { return mUserDataID; }
    VString GetUserData() const { return mUserData; }
    // The user data when `id` equals the stored ID ignoring letter case, else "".
    VString GetUserDataByID(const char* id) const;

    void SetLinkMode(int mode) { mLinkMode = mode; }
    int GetLinkMode() const { return mLinkMode; }

    // The vectors of the four transforms, stored and answered as given. Each getter copies the
    // vector into `out` and answers it. The parent setters also set the parent flag.
    void SetTransformR(const VgeTVector& v) { mTransform[kR] = v; }
    void SetTransformT(const VgeTVector& v) { mTransform[kT] = v; }
    void SetTransformS(const VgeTVector& v) { mTransform[kS] = v; }
    VgeTVector& GetTransformR(VgeTVector& out) const { return out = mTransform[kR]; }
    VgeTVector& GetTransformT(VgeTVector& out) const { return out = mTransform[kT]; }
    VgeTVector& GetTransformS(VgeTVector& out) const { return out = mTransform[kS]; }
    void SetTransformLinkR(const VgeTVector& v) { mTransformLink[kR] = v; }
    void SetTransformLinkT(const VgeTVector& v) { mTransformLink[kT] = v; }
    void SetTransformLinkS(const VgeTVector& v) { mTransformLink[kS] = v; }
    VgeTVector& GetTransformLinkR(VgeTVector& out) const { return out = mTransformLink[kR]; }
    VgeTVector& GetTransformLinkT(VgeTVector& out) const { return out = mTransformLink[kT]; }
    VgeTVector& GetTransformLinkS(VgeTVector& out) const { return out = mTransformLink[kS]; }
    void SetTransformAssociateModelR(const VgeTVector& v) { mTransformAssociate[kR] = v; }
    void SetTransformAssociateModelT(const VgeTVector& v) { mTransformAssociate[kT] = v; }
    void SetTransformAssociateModelS(const VgeTVector& v) { mTransformAssociate[kS] = v; }
    VgeTVector& GetTransformAssociateModelR(VgeTVector& out) const { return out = mTransformAssociate[kR]; }
    VgeTVector& GetTransformAssociateModelT(VgeTVector& out) const { return out = mTransformAssociate[kT]; }
    VgeTVector& GetTransformAssociateModelS(VgeTVector& out) const { return out = mTransformAssociate[kS]; }
    void SetTransformParentR(const VgeTVector& v);
    void SetTransformParentT(const VgeTVector& v);
    void SetTransformParentS(const VgeTVector& v);
    VgeTVector& GetTransformParentR(VgeTVector& out) const { return out = mTransformParent[kR]; }
    VgeTVector& GetTransformParentT(VgeTVector& out) const { return out = mTransformParent[kT]; }
    VgeTVector& GetTransformParentS(VgeTVector& out) const { return out = mTransformParent[kS]; }
    // True once a parent setter ran (or a copy brought the flag).
    bool IsTransformParentSet() const { return mTransformParentSet; }

    // Matrix setters: T, R and S of the transform become the matrix's translation, XYZ Euler
    // angles and row scalings (T and S with w = 0). The parent one also sets the parent flag.
    void SetTransformMatrix(const VgeAMatrix& matrix);
    void SetTransformLinkMatrix(const VgeAMatrix& matrix);
    void SetTransformAssociateModelMatrix(const VgeAMatrix& matrix);
    void SetTransformParentMatrix(const VgeAMatrix& matrix);
    // Matrix getters: `out` becomes the composition of the transform's T, R and S; answers it.
    VgeAMatrix& GetTransformMatrix(VgeAMatrix& out) const;
    VgeAMatrix& GetTransformLinkMatrix(VgeAMatrix& out) const;
    VgeAMatrix& GetTransformAssociateModelMatrix(VgeAMatrix& out) const;
    VgeAMatrix& GetTransformParentMatrix(VgeAMatrix& out) const;

    // Appends the pair (index, weight); a negative index is ignored.
    void AddControlPointIndex(int index, double weight);
    int GetControlPointIndicesCount() const { return mIndices.GetCount(); }
    // The indices and the weights, parallel, GetControlPointIndicesCount items each (null when
    // there are none).
    int* GetControlPointIndices() { return mIndices.GetArray(); }
    const int* GetControlPointIndices() const { return mIndices.GetArray(); }
    double* GetControlPointWeights() { return mWeights.GetArray(); }
    const double* GetControlPointWeights() const { return mWeights.GetArray(); }

    // Init, then everything of `other`: nodes, user data, link mode, the twelve vectors, the
    // parent flag and the control points in order.
    void CopyFrom(const VOxaLink& other);
    // Init, then, when `deformer` is a cluster: its link mode, user data, control points (pairs
    // up to the shorter of its two arrays; negative indices skipped), its four matrices through
    // the matrix setters and finally its parent flag. A skin or null leaves the link initialised.
    void CopyFromDeformer(const VOxaDeformer* deformer);

    // For a node that is being destroyed: the link and the associate model stop pointing at it
    // (their names stay). Nothing when the link holds neither.
    void ReleaseNode(const VOxaNode* node);

private:
    friend class VOxaGeometry;
    friend class VOxaSdkManager;

    enum { kT = 0, kR = 1, kS = 2 };
    static void InitTransform(VgeTVector trs[3]);
    static void SetFromMatrix(VgeTVector trs[3], const VgeAMatrix& matrix);
    static VgeAMatrix& Compose(const VgeTVector trs[3], VgeAMatrix& out);

    VOxaNode* mLink = nullptr;
    VString mLinkName;
    // How many entries of geometries' link lists hold this link (kept by VOxaGeometry), so that
    // destroying a link nobody holds looks at no geometry.
    int mHolderCount = 0;
    // The manager that made the link (CreateLink), null for one made otherwise.
    VOxaSdkManager* mManager = nullptr;
    int mLinkMode = eAdditive;
    VOxaNode* mAssociateModel = nullptr;
    VString mAssociateModelName;
    VString mUserDataID;
    VString mUserData;
    VgeTVector mTransform[3];
    VgeTVector mTransformLink[3];
    VgeTVector mTransformAssociate[3];
    bool mTransformParentSet = false;
    VgeTVector mTransformParent[3];
    VArrayTemplate<int> mIndices{256};
    VArrayTemplate<double> mWeights{256};
};

#endif  // OXA_ATTRIBUTES_VOXA_LINK_H
