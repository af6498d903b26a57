#ifndef OXA_ATTRIBUTES_VOXA_SURFACE_EVALUATOR_H
#define OXA_ATTRIBUTES_VOXA_SURFACE_EVALUATOR_H

#include <vector>

#include <oxa/base/oxa_export.h>
#include <oxa/base/vge_vector.h>

class VOXAWeightTable;

// Tessellates a tensor-product surface given by a grid of control points (u fastest) into a
// regular grid of vertices: positions, one normal per vertex (v tangent x u tangent, not
// normalised) and optionally the control-point weights of every vertex. Works on caller-owned
// arrays; owns only its tables. No operation reports an error: a direction whose set-up cannot
// be tessellated (too few control points, step below 1, a zero stride, an order outside 1..4,
// a count past the int range) has 0 vertices and Evaluate writes nothing.
class OXA_API VOXASurfaceEvaluator {
public:
    // One output vertex along one direction: the first control point of its segment (before
    // wrapping), and the four basis values and tangent factors of the segment's points.
    struct Sample {
        int mFirst;
        double mBasis[4];
        double mDerivative[4];
    };

    // A new evaluator: order 4, step 4, stride 1, open, no basis loaded.
    static VOXASurfaceEvaluator* Create();
    // Create, then SetUBasis / SetVBasis (codes 0 Bezier, 1 quadratic Bezier, 2 cardinal,
    // 3 B-spline, 4 linear).
    static VOXASurfaceEvaluator* CreatePatchEvaluator(int uBasis, int vBasis);
    // Deletes through the virtual destructor; nothing for null.
    static void Destroy(VOXASurfaceEvaluator* evaluator);

    VOXASurfaceEvaluator();
    VOXASurfaceEvaluator(const VOXASurfaceEvaluator&) = delete;
    VOXASurfaceEvaluator& operator=(const VOXASurfaceEvaluator&) = delete;
    virtual ~VOXASurfaceEvaluator();

    // Builds the tables when dirty, re-detects collapsed edges when pending, writes positions
    // and normals, then fills `table` (may be null) with (control point, vertex, weight).
    virtual void Evaluate(VOXAWeightTable* table);
    virtual void SetUClosed(int closed);
    virtual void SetVClosed(int closed);
    virtual void SetUStep(int step);
    virtual void SetVStep(int step);
    virtual bool IsUStartCollapsed();
    virtual bool IsUEndCollapsed();
    virtual bool IsVStartCollapsed();
    virtual bool IsVEndCollapsed();
    virtual void SetPointOutput(VgeTVector* points);
    // Vertex counts per direction (0 when the direction cannot be tessellated).
    virtual int GetUVertexCount();
    virtual int GetVVertexCount();
    virtual void SetNormalOutput(VgeTVector* normals);
    // Cardinal basis with that tension (order 4, stride 1); the step is kept.
    virtual void SetUTension(double tension);
    virtual void SetVTension(double tension);
    // Stores the grid (u fastest); negative counts count as 0. Returns 0.
    virtual int SetControlPoints(VgeTVector* points, int uCount, int vCount);
    virtual void SetData(int index, void* value);
    virtual void BuildUBasisTable();
    virtual void BuildVBasisTable();
    virtual void BuildPointWeights();
    virtual void BuildUTangentWeights();
    virtual void BuildVTangentWeights();
    virtual void BuildRationalWeights();
    virtual void EvaluatePoints();
    virtual void EvaluateWeightTable(VOXAWeightTable* table);
    // Lists the (up to 16) control points of the segment starting at (uFirst, vFirst) with
    // their tensor weights Bv_a x Bu_b, times `factors[control point]` when `factors` is not
    // null; answers the number listed.
    virtual int GatherControlPointWeights(const Sample& u, const Sample& v, const double* factors,
                                          int* indices, double* weights);
    // Adds (index, vertex, weight) to `table` for every weight that is not 0.0.
    virtual void AddVertexWeights(VOXAWeightTable* table, int vertex, int count, const int* indices,
                                  const double* weights);

    // Codes 0..4 load the matrix, order and stride of the basis, then step 4; other codes do
    // nothing.
    void SetUBasis(int code);
    void SetVBasis(int code);
    void SetUOrder(int order);
    void SetVOrder(int order);
    void SetUStride(int stride);
    void SetVStride(int stride);
    // 16 doubles, row r = basis function r as coefficients of t^3, t^2, t, 1.
    void LoadUBasisMatrix(const double* matrix);
    void LoadVBasisMatrix(const double* matrix);
    const double* GetUBasisMatrix() const { return &mU.mMatrix[0][0]; }
    // The closed flags as set (1 means closed).
    int GetUClosed() const { return mU.mClosed; }
    int GetVClosed() const { return mV.mClosed; }
    const double* GetVBasisMatrix() const { return &mV.mMatrix[0][0]; }

protected:
    struct Direction {
        int mClosed = 0;
        int mOrder = 4;
        int mStride = 1;
        int mStep = 4;
        double mTension = 0.0;
        double mMatrix[4][4] = {};
        double mDerivativeMatrix[4][3] = {};
        int mVertexCount = 0;             // cached; 0 = not computed
        std::vector<double> mBasis;       // (S + 1) x 4
        std::vector<double> mDerivative;  // (S + 1) x 4
        std::vector<Sample> mSamples;     // one per output vertex
    };

    // The vertex count of a direction of the base class (0 when it cannot be tessellated).
    static int PolynomialVertexCount(const Direction& d, int controlCount);
    void SetStep(Direction& d, int step);
    void SetBasis(Direction& d, int code);
    void SetTension(Direction& d, double tension);
    void LoadMatrix(Direction& d, const double* matrix);
    void BuildPolynomialTable(Direction& d, int controlCount);
    void BuildTensor(std::vector<double>& out, bool du, bool dv);
    void DetectCollapsedEdges();
    void PatchCollapsedNormals();
    // Positions, tangents and normals; `weights` null for the polynomial case, else the
    // rational weights with `weighted` (3 doubles per control point) as the numerators.
    void EvaluateGrid(const double* weights, const double* weighted);
    void EvaluateTable(VOXAWeightTable* table, const double* factors);

    Direction mU, mV;
    VgeTVector* mControlPoints = nullptr;
    int mUCount = 0;
    int mVCount = 0;
    VgeTVector* mPointOutput = nullptr;
    VgeTVector* mNormalOutput = nullptr;
    std::vector<double> mPointWeights, mUTangentWeights, mVTangentWeights;
    std::vector<double> mUTangents, mVTangents;  // 3 doubles per vertex
    bool mDirty = true;
    bool mDetectPending = true;
    bool mUStartCollapsed = false, mUEndCollapsed = false;
    bool mVStartCollapsed = false, mVEndCollapsed = false;
};

// Rational B-spline surface over arbitrary knot vectors (Cox-de Boor bases, divided by the
// interpolated weight). Knots, weights and the weighted-point buffer stay the caller's.
// Knots that decrease or repeat, orders outside 1..4 and zero weights never make it read
// outside its arrays; a zero weight sum gives non-finite positions.
class OXA_API VOXANURBSurfaceEvaluator : public VOXASurfaceEvaluator {
public:
    // A new evaluator with the given orders (orders outside 1..4 give 0 vertices).
    static VOXANURBSurfaceEvaluator* Create(int uOrder, int vOrder);

    VOXANURBSurfaceEvaluator() = default;
    ~VOXANURBSurfaceEvaluator() override;

    int GetUVertexCount() override;
    int GetVVertexCount() override;
    // 0 weights (double*), 1 u knots (double*), 2 v knots (double*), 5 weighted-point buffer
    // (3 doubles per control point); clears both cached counts.
    void SetData(int index, void* value) override;
    void BuildUBasisTable() override;
    void BuildVBasisTable() override;
    void BuildPointWeights() override;
    void BuildUTangentWeights() override;
    void BuildVTangentWeights() override;
    void BuildRationalWeights() override;
    void EvaluatePoints() override;
    void EvaluateWeightTable(VOXAWeightTable* table) override;

    // Knot intervals above 1e-8 for i = k - 1 .. m - k - 1 (0 when k - 1 >= m - k or no knots).
    static int CountSpans(const double* knots, int knotCount, int order);
    // Cox-de Boor basis N(i, k) at t and its derivative; terms over denominators not above
    // 1e-8 count as 0. The caller keeps i + k within the knot vector.
    static double BasisValue(double t, int i, int k, const double* knots);
    static double BasisDerivative(double t, int i, int k, const double* knots);

    // Per direction: the offsets of the spans' first control points (valid after the tables
    // are built).
    const std::vector<int>& GetUSpanOffsets() const { return mUOffsets; }
    const std::vector<int>& GetVSpanOffsets() const { return mVOffsets; }

private:
    int KnotCount(const Direction& d, int controlCount) const;
    int RationalVertexCount(const Direction& d, const double* knots, int controlCount) const;
    void BuildKnotTable(Direction& d, const double* knots, int controlCount, std::vector<int>& offsets);

    double* mWeights = nullptr;
    double* mUKnots = nullptr;
    double* mVKnots = nullptr;
    double* mWeighted = nullptr;
    std::vector<int> mUOffsets, mVOffsets;
};

#endif  // OXA_ATTRIBUTES_VOXA_SURFACE_EVALUATOR_H
