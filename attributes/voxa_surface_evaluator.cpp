#include "attributes/voxa_surface_evaluator.h"

#include <climits>
#include <cmath>
#include <new>

#include "attributes/voxa_weight_table.h"
#include "base/vallocation_hook.h"

namespace {

const double kTolerance = 1e-8;

// Basis matrices of the patch bases, rows = basis functions as t^3, t^2, t, 1 coefficients.
const double kCubicBezier[16] = {-1, 3, -3, 1, 3, -6, 3, 0, -3, 3, 0, 0, 1, 0, 0, 0};
const double kQuadraticBezier[16] = {0, 1, -2, 1, 0, -2, 2, 0, 0, 1, 0, 0, 0, 0, 0, 0};
const double kBSpline[16] = {-1.0 / 6, 0.5, -0.5, 1.0 / 6, 0.5,     -1, 0, 2.0 / 3,
                             -0.5,     0.5, 0.5,  1.0 / 6, 1.0 / 6, 0,  0, 0};
const double kLinear[16] = {0, 0, -1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};

int ClampOrder(int order) {
    return order < 1 ? 1 : (order > 4 ? 4 : order);
}

// Wrapped index of a segment's a-th control point; `first` is never negative.
inline int Wrap(int first, int a, int count) {
    return (int)(((long long)first + a) % count);
}

}  // namespace

// --- Creation -----------------------------------------------------------------------------------

VOXASurfaceEvaluator* VOXASurfaceEvaluator::Create() {
    return oxa_alloc::Counted(new (std::nothrow) VOXASurfaceEvaluator());
}

VOXASurfaceEvaluator* VOXASurfaceEvaluator::CreatePatchEvaluator(int uBasis, int vBasis) {
    VOXASurfaceEvaluator* evaluator = Create();
    if (evaluator) {
        evaluator->SetUBasis(uBasis);
        evaluator->SetVBasis(vBasis);
    }
    return evaluator;
}

void VOXASurfaceEvaluator::Destroy(VOXASurfaceEvaluator* evaluator) {
    delete evaluator;
}

VOXASurfaceEvaluator::VOXASurfaceEvaluator() = default;
VOXASurfaceEvaluator::~VOXASurfaceEvaluator() = default;

// --- Set-up -------------------------------------------------------------------------------------

void VOXASurfaceEvaluator::SetUClosed(int closed) {
    mU.mClosed = closed;
    mU.mVertexCount = 0;
    mDirty = true;
}
void VOXASurfaceEvaluator::SetVClosed(int closed) {
    mV.mClosed = closed;
    mV.mVertexCount = 0;
    mDirty = true;
}

void VOXASurfaceEvaluator::SetStep(Direction& d, int step) {
    d.mStep = step;
    d.mVertexCount = 0;
    mDirty = true;
}
void VOXASurfaceEvaluator::SetUStep(int step) {
    SetStep(mU, step);
}
void VOXASurfaceEvaluator::SetVStep(int step) {
    SetStep(mV, step);
}

bool VOXASurfaceEvaluator::IsUStartCollapsed() {
    if (mDetectPending) DetectCollapsedEdges();
    return mUStartCollapsed;
}
bool VOXASurfaceEvaluator::IsUEndCollapsed() {
    if (mDetectPending) DetectCollapsedEdges();
    return mUEndCollapsed;
}
bool VOXASurfaceEvaluator::IsVStartCollapsed() {
    if (mDetectPending) DetectCollapsedEdges();
    return mVStartCollapsed;
}
bool VOXASurfaceEvaluator::IsVEndCollapsed() {
    if (mDetectPending) DetectCollapsedEdges();
    return mVEndCollapsed;
}

void VOXASurfaceEvaluator::SetPointOutput(VgeTVector* points) {
    mPointOutput = points;
}
void VOXASurfaceEvaluator::SetNormalOutput(VgeTVector* normals) {
    mNormalOutput = normals;
}

int VOXASurfaceEvaluator::PolynomialVertexCount(const Direction& d, int controlCount) {
    if (controlCount <= 0 || d.mStep < 1 || d.mStride < 1 || d.mOrder < 1 || d.mOrder > 4) return 0;
    long long samples = (long long)d.mStride * d.mStep;
    long long count;
    if (d.mClosed == 1) {
        // A closed direction has one segment per stride of control points (N segments for
        // stride 1), each of S vertices; the grid wraps around.
        long long segments = controlCount / d.mStride;
        count = segments * samples;
    } else {
        if (controlCount < d.mOrder) return 0;
        long long segments = (controlCount - d.mOrder) / d.mStride + 1;
        count = segments * samples + 1;
    }
    return count > INT_MAX ? 0 : (int)count;
}

int VOXASurfaceEvaluator::GetUVertexCount() {
    if (mU.mVertexCount == 0) mU.mVertexCount = PolynomialVertexCount(mU, mUCount);
    return mU.mVertexCount;
}
int VOXASurfaceEvaluator::GetVVertexCount() {
    if (mV.mVertexCount == 0) mV.mVertexCount = PolynomialVertexCount(mV, mVCount);
    return mV.mVertexCount;
}

void VOXASurfaceEvaluator::LoadMatrix(Direction& d, const double* matrix) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c)
            d.mMatrix[r][c] = matrix[r * 4 + c];
        d.mDerivativeMatrix[r][0] = 3.0 * d.mMatrix[r][0];
        d.mDerivativeMatrix[r][1] = 2.0 * d.mMatrix[r][1];
        d.mDerivativeMatrix[r][2] = d.mMatrix[r][2];
    }
    mDirty = true;
}
void VOXASurfaceEvaluator::LoadUBasisMatrix(const double* matrix) {
    LoadMatrix(mU, matrix);
}
void VOXASurfaceEvaluator::LoadVBasisMatrix(const double* matrix) {
    LoadMatrix(mV, matrix);
}

void VOXASurfaceEvaluator::SetTension(Direction& d, double t) {
    d.mTension = t;
    const double m[16] = {-t / 2,    t,     -t / 2, 0, 2 - t / 2, t / 2 - 3, 0, 1,
                          t / 2 - 2, 3 - t, t / 2,  0, t / 2,     -t / 2,    0, 0};
    LoadMatrix(d, m);
    d.mOrder = 4;
    d.mStride = 1;
    d.mVertexCount = 0;
}
void VOXASurfaceEvaluator::SetUTension(double tension) {
    SetTension(mU, tension);
}
void VOXASurfaceEvaluator::SetVTension(double tension) {
    SetTension(mV, tension);
}

void VOXASurfaceEvaluator::SetBasis(Direction& d, int code) {
    switch (code) {
        case 0:
            LoadMatrix(d, kCubicBezier);
            d.mOrder = 4;
            d.mStride = 3;
            break;
        case 1:
            LoadMatrix(d, kQuadraticBezier);
            d.mOrder = 3;
            d.mStride = 2;
            break;
        case 2:
            SetTension(d, 1.0);
            break;
        case 3:
            LoadMatrix(d, kBSpline);
            d.mOrder = 4;
            d.mStride = 1;
            break;
        case 4:
            LoadMatrix(d, kLinear);
            d.mOrder = 2;
            d.mStride = 1;
            break;
        default:
            return;
    }
    SetStep(d, 4);
}
void VOXASurfaceEvaluator::SetUBasis(int code) {
    SetBasis(mU, code);
}
void VOXASurfaceEvaluator::SetVBasis(int code) {
    SetBasis(mV, code);
}

void VOXASurfaceEvaluator::SetUOrder(int order) {
    mU.mOrder = order;
    mU.mVertexCount = 0;
    mDirty = true;
}
void VOXASurfaceEvaluator::SetVOrder(int order) {
    mV.mOrder = order;
    mV.mVertexCount = 0;
    mDirty = true;
}
void VOXASurfaceEvaluator::SetUStride(int stride) {
    mU.mStride = stride;
    mU.mVertexCount = 0;
    mDirty = true;
}
void VOXASurfaceEvaluator::SetVStride(int stride) {
    mV.mStride = stride;
    mV.mVertexCount = 0;
    mDirty = true;
}

int VOXASurfaceEvaluator::SetControlPoints(VgeTVector* points, int uCount, int vCount) {
    if (uCount < 0) uCount = 0;
    if (vCount < 0) vCount = 0;
    // The segment lists depend on the counts: other counts need new tables.
    if (uCount != mUCount || vCount != mVCount) mDirty = true;
    mControlPoints = points;
    mUCount = uCount;
    mVCount = vCount;
    mDetectPending = true;
    mU.mVertexCount = 0;
    mV.mVertexCount = 0;
    return 0;
}

void VOXASurfaceEvaluator::SetData(int, void*) {}

// --- Tables -------------------------------------------------------------------------------------

void VOXASurfaceEvaluator::BuildPolynomialTable(Direction& d, int controlCount) {
    d.mBasis.clear();
    d.mDerivative.clear();
    d.mSamples.clear();
    int count = PolynomialVertexCount(d, controlCount);
    d.mVertexCount = count;
    if (count == 0) return;
    const int samples = d.mStride * d.mStep;  // fits: count >= samples
    d.mBasis.resize(((size_t)samples + 1) * 4);
    d.mDerivative.resize(((size_t)samples + 1) * 4);
    double t = 0.0;
    for (int k = 0; k <= samples; ++k) {
        for (int r = 0; r < 4; ++r) {
            const double* m = d.mMatrix[r];
            const double* dm = d.mDerivativeMatrix[r];
            d.mBasis[k * 4 + r] = ((m[0] * t + m[1]) * t + m[2]) * t + m[3];
            d.mDerivative[k * 4 + r] = (dm[0] * t + dm[1]) * t + dm[2];
        }
        t += 1.0 / samples;
    }
    const double factor = 1.0 / (2.0 * samples);
    d.mSamples.resize(count);
    int segment = 0, k = 0;
    for (int v = 0; v < count; ++v) {
        Sample& s = d.mSamples[v];
        s.mFirst = segment * d.mStride;
        for (int r = 0; r < 4; ++r) {
            s.mBasis[r] = d.mBasis[k * 4 + r];
            s.mDerivative[r] = d.mDerivative[k * 4 + r] * factor;
        }
        if (++k == samples && v + 2 < count) {
            k = 0;
            ++segment;
        }
    }
}

void VOXASurfaceEvaluator::BuildUBasisTable() {
    BuildPolynomialTable(mU, mUCount);
}
void VOXASurfaceEvaluator::BuildVBasisTable() {
    BuildPolynomialTable(mV, mVCount);
}

void VOXASurfaceEvaluator::BuildTensor(std::vector<double>& out, bool du, bool dv) {
    out.clear();
    if (mU.mBasis.empty() || mV.mBasis.empty()) return;
    const size_t nu = mU.mBasis.size() / 4, nv = mV.mBasis.size() / 4;
    const double fu = du ? 1.0 / (2.0 * (double)(nu - 1)) : 1.0;
    const double fv = dv ? 1.0 / (2.0 * (double)(nv - 1)) : 1.0;
    const std::vector<double>& bu = du ? mU.mDerivative : mU.mBasis;
    const std::vector<double>& bv = dv ? mV.mDerivative : mV.mBasis;
    out.resize(nu * nv * 16);
    double* o = out.data();
    for (size_t l = 0; l < nv; ++l)
        for (size_t k = 0; k < nu; ++k)
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                    *o++ = bv[l * 4 + a] * fv * bu[k * 4 + b] * fu;
}

void VOXASurfaceEvaluator::BuildPointWeights() {
    BuildTensor(mPointWeights, false, false);
}
void VOXASurfaceEvaluator::BuildUTangentWeights() {
    BuildTensor(mUTangentWeights, true, false);
}
void VOXASurfaceEvaluator::BuildVTangentWeights() {
    BuildTensor(mVTangentWeights, false, true);
}
void VOXASurfaceEvaluator::BuildRationalWeights() {}

// --- Evaluation ---------------------------------------------------------------------------------

void VOXASurfaceEvaluator::Evaluate(VOXAWeightTable* table) {
    if (mDirty || mU.mSamples.size() != (size_t)GetUVertexCount() ||
        mV.mSamples.size() != (size_t)GetVVertexCount()) {
        BuildUBasisTable();
        BuildVBasisTable();
        BuildPointWeights();
        BuildUTangentWeights();
        BuildVTangentWeights();
        BuildRationalWeights();
        const size_t vertices = mU.mSamples.size() * mV.mSamples.size();
        mUTangents.assign(vertices * 3, 0.0);
        mVTangents.assign(vertices * 3, 0.0);
        mDirty = false;
    }
    if (mDetectPending) DetectCollapsedEdges();
    EvaluatePoints();
    if (table) EvaluateWeightTable(table);
}

void VOXASurfaceEvaluator::EvaluatePoints() {
    EvaluateGrid(nullptr, nullptr);
    PatchCollapsedNormals();
}

void VOXASurfaceEvaluator::EvaluateGrid(const double* weights, const double* weighted) {
    const int U = (int)mU.mSamples.size(), V = (int)mV.mSamples.size();
    if (U == 0 || V == 0 || !mPointOutput || !mNormalOutput || !mControlPoints || mUCount <= 0 ||
        mVCount <= 0)
        return;
    if (mUTangents.size() != (size_t)U * V * 3) {
        mUTangents.assign((size_t)U * V * 3, 0.0);
        mVTangents.assign((size_t)U * V * 3, 0.0);
    }
    const int ku = ClampOrder(mU.mOrder), kv = ClampOrder(mV.mOrder);
    // Wrapped control columns of every u vertex, computed once per evaluation.
    std::vector<int> columns((size_t)U * 4);
    for (int i = 0; i < U; ++i)
        for (int b = 0; b < 4; ++b)
            columns[(size_t)i * 4 + b] = Wrap(mU.mSamples[i].mFirst, b, mUCount);
    size_t vertex = 0;
    for (int j = 0; j < V; ++j) {
        const Sample& sv = mV.mSamples[j];
        int rows[4];
        for (int a = 0; a < 4; ++a)
            rows[a] = Wrap(sv.mFirst, a, mVCount) * mUCount;
        for (int i = 0; i < U; ++i, ++vertex) {
            const Sample& su = mU.mSamples[i];
            const int* col = &columns[(size_t)i * 4];
            double p[3] = {0, 0, 0}, tu[3] = {0, 0, 0}, tv[3] = {0, 0, 0};
            double w = 0.0, wu = 0.0, wv = 0.0;
            for (int a = 0; a < kv; ++a) {
                double rp[3] = {0, 0, 0}, rd[3] = {0, 0, 0}, rw = 0.0, rwd = 0.0;
                for (int b = 0; b < ku; ++b) {
                    const int index = rows[a] + col[b];
                    const double* c = weighted ? weighted + (size_t)index * 3 : mControlPoints[index].mData;
                    const double bu = su.mBasis[b], dbu = su.mDerivative[b];
                    rp[0] += bu * c[0];
                    rp[1] += bu * c[1];
                    rp[2] += bu * c[2];
                    rd[0] += dbu * c[0];
                    rd[1] += dbu * c[1];
                    rd[2] += dbu * c[2];
                    if (weights) {
                        rw += bu * weights[index];
                        rwd += dbu * weights[index];
                    }
                }
                const double bv = sv.mBasis[a], dbv = sv.mDerivative[a];
                for (int x = 0; x < 3; ++x) {
                    p[x] += bv * rp[x];
                    tu[x] += bv * rd[x];
                    tv[x] += dbv * rp[x];
                }
                w += bv * rw;
                wu += bv * rwd;
                wv += dbv * rw;
            }
            if (weights) {
                for (int x = 0; x < 3; ++x) {
                    p[x] /= w;
                    tu[x] = (tu[x] - p[x] * wu) / w;
                    tv[x] = (tv[x] - p[x] * wv) / w;
                }
            }
            VgeTVector& out = mPointOutput[vertex];
            out.mData[0] = p[0];
            out.mData[1] = p[1];
            out.mData[2] = p[2];
            double* su3 = &mUTangents[vertex * 3];
            double* sv3 = &mVTangents[vertex * 3];
            for (int x = 0; x < 3; ++x) {
                su3[x] = tu[x];
                sv3[x] = tv[x];
            }
            VgeTVector& n = mNormalOutput[vertex];
            n.mData[0] = tv[1] * tu[2] - tv[2] * tu[1];
            n.mData[1] = tv[2] * tu[0] - tv[0] * tu[2];
            n.mData[2] = tv[0] * tu[1] - tv[1] * tu[0];
        }
    }
}

void VOXASurfaceEvaluator::DetectCollapsedEdges() {
    mDetectPending = false;
    mUStartCollapsed = mUEndCollapsed = mVStartCollapsed = mVEndCollapsed = false;
    if (!mControlPoints || mUCount <= 0 || mVCount <= 0) return;
    const VgeTVector* p = mControlPoints;
    const int nu = mUCount, nv = mVCount;
    auto rowCollapsed = [&](int j) {
        if (j < 0 || j >= nv) return false;
        double s[3] = {0, 0, 0};
        for (int i = 0; i + 1 < nu; ++i)
            for (int x = 0; x < 3; ++x)
                s[x] += std::fabs(p[(size_t)j * nu + i + 1].mData[x] - p[(size_t)j * nu + i].mData[x]);
        return s[0] < kTolerance && s[1] < kTolerance && s[2] < kTolerance;
    };
    auto columnCollapsed = [&](int i) {
        if (i < 0 || i >= nu) return false;
        double s[3] = {0, 0, 0};
        for (int j = 0; j + 1 < nv; ++j)
            for (int x = 0; x < 3; ++x)
                s[x] += std::fabs(p[(size_t)(j + 1) * nu + i].mData[x] - p[(size_t)j * nu + i].mData[x]);
        return s[0] < kTolerance && s[1] < kTolerance && s[2] < kTolerance;
    };
    mVStartCollapsed = rowCollapsed(0) || rowCollapsed(1);
    mVEndCollapsed = rowCollapsed(nv - 2) || rowCollapsed(nv - 1);
    mUStartCollapsed = columnCollapsed(0) || columnCollapsed(1);
    mUEndCollapsed = columnCollapsed(nu - 2) || columnCollapsed(nu - 1);
}

void VOXASurfaceEvaluator::PatchCollapsedNormals() {
    const int U = (int)mU.mSamples.size(), V = (int)mV.mSamples.size();
    if (U < 2 || V < 2 || !mNormalOutput || mUTangents.size() != (size_t)U * V * 3) return;
    auto cross = [&](int vi, int vj, int ui, int uj) {
        const double* tv = &mVTangents[((size_t)vj * U + vi) * 3];
        const double* tu = &mUTangents[((size_t)uj * U + ui) * 3];
        return VgeTVector(tv[1] * tu[2] - tv[2] * tu[1], tv[2] * tu[0] - tv[0] * tu[2],
                          tv[0] * tu[1] - tv[1] * tu[0], 0.0);
    };
    auto put = [&](size_t index, const VgeTVector& n) {
        for (int x = 0; x < 3; ++x)
            mNormalOutput[index].mData[x] = n.mData[x];
    };
    if (mUStartCollapsed) {
        VgeTVector n = cross(1, 0, 0, 0);
        for (int j = 0; j < V; ++j)
            put((size_t)j * U, n);
    }
    if (mUEndCollapsed) {
        VgeTVector n = cross(U - 2, 0, U - 1, 0);
        for (int j = 0; j < V; ++j)
            put((size_t)j * U + U - 1, n);
    }
    if (mVStartCollapsed) {
        VgeTVector n = cross(0, 0, 0, 1);
        for (int i = 0; i < U; ++i)
            put((size_t)i, n);
    }
    if (mVEndCollapsed) {
        VgeTVector n = cross(0, V - 1, 0, V - 2);
        for (int i = 0; i < U; ++i)
            put((size_t)(V - 1) * U + i, n);
    }
}

int VOXASurfaceEvaluator::GatherControlPointWeights(const Sample& u, const Sample& v, const double* factors,
                                                    int* indices, double* weights) {
    const int ku = ClampOrder(mU.mOrder), kv = ClampOrder(mV.mOrder);
    int n = 0;
    for (int a = 0; a < kv; ++a) {
        const int row = Wrap(v.mFirst, a, mVCount) * mUCount;
        for (int b = 0; b < ku; ++b) {
            const int index = row + Wrap(u.mFirst, b, mUCount);
            indices[n] = index;
            weights[n] = v.mBasis[a] * u.mBasis[b] * (factors ? factors[index] : 1.0);
            ++n;
        }
    }
    return n;
}

void VOXASurfaceEvaluator::AddVertexWeights(VOXAWeightTable* table, int vertex, int count, const int* indices,
                                            const double* weights) {
    if (vertex < 0 || vertex >= table->GetRowCount(1)) return;
    const int sources = table->GetRowCount(0);
    for (int n = 0; n < count; ++n) {
        if (weights[n] != 0.0 && indices[n] >= 0 && indices[n] < sources)
            table->Add(indices[n], vertex, weights[n]);
    }
}

void VOXASurfaceEvaluator::EvaluateTable(VOXAWeightTable* table, const double* factors) {
    const int U = (int)mU.mSamples.size(), V = (int)mV.mSamples.size();
    if (!table || U == 0 || V == 0 || mUCount <= 0 || mVCount <= 0) return;
    int indices[16];
    double weights[16];
    int vertex = 0;
    for (int j = 0; j < V; ++j)
        for (int i = 0; i < U; ++i, ++vertex) {
            int n = GatherControlPointWeights(mU.mSamples[i], mV.mSamples[j], factors, indices, weights);
            AddVertexWeights(table, vertex, n, indices, weights);
        }
}

void VOXASurfaceEvaluator::EvaluateWeightTable(VOXAWeightTable* table) {
    EvaluateTable(table, nullptr);
}

// --- NURBS evaluator ----------------------------------------------------------------------------

VOXANURBSurfaceEvaluator* VOXANURBSurfaceEvaluator::Create(int uOrder, int vOrder) {
    VOXANURBSurfaceEvaluator* evaluator = oxa_alloc::Counted(new (std::nothrow) VOXANURBSurfaceEvaluator());
    if (evaluator) {
        evaluator->SetUOrder(uOrder);
        evaluator->SetVOrder(vOrder);
    }
    return evaluator;
}

VOXANURBSurfaceEvaluator::~VOXANURBSurfaceEvaluator() = default;

int VOXANURBSurfaceEvaluator::CountSpans(const double* knots, int m, int k) {
    if (!knots || k - 1 >= m - k) return 0;
    int spans = 0;
    for (int i = k - 1; i <= m - k - 1; ++i)
        if (knots[i + 1] - knots[i] > kTolerance) ++spans;
    return spans;
}

double VOXANURBSurfaceEvaluator::BasisValue(double t, int i, int k, const double* knots) {
    if (k <= 1) return (knots[i] <= t && t < knots[i + 1]) ? 1.0 : 0.0;
    double value = 0.0;
    const double d1 = knots[i + k - 1] - knots[i];
    if (d1 > kTolerance) value += (t - knots[i]) / d1 * BasisValue(t, i, k - 1, knots);
    const double d2 = knots[i + k] - knots[i + 1];
    if (d2 > kTolerance) value += (knots[i + k] - t) / d2 * BasisValue(t, i + 1, k - 1, knots);
    return value;
}

double VOXANURBSurfaceEvaluator::BasisDerivative(double t, int i, int k, const double* knots) {
    if (k <= 1) return 0.0;
    double value = 0.0;
    const double d1 = knots[i + k - 1] - knots[i];
    if (d1 > kTolerance)
        value += (BasisValue(t, i, k - 1, knots) + (t - knots[i]) * BasisDerivative(t, i, k - 1, knots)) / d1;
    const double d2 = knots[i + k] - knots[i + 1];
    if (d2 > kTolerance)
        value += ((knots[i + k] - t) * BasisDerivative(t, i + 1, k - 1, knots) -
                  BasisValue(t, i + 1, k - 1, knots)) /
                 d2;
    return value;
}

int VOXANURBSurfaceEvaluator::KnotCount(const Direction& d, int controlCount) const {
    long long m = (long long)controlCount + d.mOrder + (d.mClosed == 1 ? d.mOrder - 1 : 0);
    return m > INT_MAX ? 0 : (int)m;
}

int VOXANURBSurfaceEvaluator::RationalVertexCount(const Direction& d, const double* knots,
                                                  int controlCount) const {
    if (!knots || controlCount <= 0 || d.mOrder < 1 || d.mOrder > 4 || d.mStep < 1) return 0;
    const int spans = CountSpans(knots, KnotCount(d, controlCount), d.mOrder);
    if (spans == 0) return 0;
    long long count = (long long)spans * d.mStep + (d.mClosed == 1 ? 0 : 1);
    return count > INT_MAX ? 0 : (int)count;
}

int VOXANURBSurfaceEvaluator::GetUVertexCount() {
    if (mU.mVertexCount == 0) mU.mVertexCount = RationalVertexCount(mU, mUKnots, mUCount);
    return mU.mVertexCount;
}
int VOXANURBSurfaceEvaluator::GetVVertexCount() {
    if (mV.mVertexCount == 0) mV.mVertexCount = RationalVertexCount(mV, mVKnots, mVCount);
    return mV.mVertexCount;
}

void VOXANURBSurfaceEvaluator::SetData(int index, void* value) {
    switch (index) {
        case 0:
            mWeights = static_cast<double*>(value);
            break;
        case 1:
            mUKnots = static_cast<double*>(value);
            mDirty = true;
            break;
        case 2:
            mVKnots = static_cast<double*>(value);
            mDirty = true;
            break;
        case 5:
            mWeighted = static_cast<double*>(value);
            break;
        default:
            break;
    }
    mU.mVertexCount = 0;
    mV.mVertexCount = 0;
}

void VOXANURBSurfaceEvaluator::BuildKnotTable(Direction& d, const double* knots, int controlCount,
                                              std::vector<int>& offsets) {
    d.mSamples.clear();
    offsets.clear();
    const int count = RationalVertexCount(d, knots, controlCount);
    d.mVertexCount = count;
    if (count == 0) return;
    const int k = d.mOrder, m = KnotCount(d, controlCount);
    const int spans = CountSpans(knots, m, k);
    const bool open = d.mClosed != 1;
    d.mSamples.reserve(count);
    offsets.reserve(spans);
    int q = 0;
    for (int span = 0; span < spans; ++span) {
        int offset = span == 0 ? 0 : 1;
        while (k + q < m && knots[k + q] - knots[k + q - 1] < kTolerance) {
            ++q;
            ++offset;
        }
        // Functions q .. q + k - 1 read knots up to q + 2k - 1: past that the knots are bad
        // (decreasing or fewer than counted) and the remaining vertices stay zero-weighted.
        if (q + 2 * k > m) break;
        offsets.push_back(offset);
        const double t0 = knots[k + q - 1], t1 = knots[k + q];
        const double spacing = (t1 - t0) / (d.mStep + kTolerance);
        const int samples = d.mStep + (open && span == spans - 1 ? 1 : 0);
        double t = t0;
        for (int s = 0; s < samples; ++s) {
            Sample sample;
            sample.mFirst = q;
            for (int i = 0; i < 4; ++i) {
                sample.mBasis[i] = i < k ? BasisValue(t, q + i, k, knots) : 0.0;
                sample.mDerivative[i] = i < k ? BasisDerivative(t, q + i, k, knots) : 0.0;
            }
            d.mSamples.push_back(sample);
            t += spacing;
        }
        ++q;
    }
    Sample empty = {0, {0, 0, 0, 0}, {0, 0, 0, 0}};
    d.mSamples.resize(count, empty);
}

void VOXANURBSurfaceEvaluator::BuildUBasisTable() {
    BuildKnotTable(mU, mUKnots, mUCount, mUOffsets);
}
void VOXANURBSurfaceEvaluator::BuildVBasisTable() {
    BuildKnotTable(mV, mVKnots, mVCount, mVOffsets);
}

// The rational tensor products are formed per vertex from the two basis tables: full tables
// per vertex would cost 48 doubles a vertex for no gain in speed.
void VOXANURBSurfaceEvaluator::BuildPointWeights() {
    mPointWeights.clear();
}
void VOXANURBSurfaceEvaluator::BuildUTangentWeights() {
    mUTangentWeights.clear();
}
void VOXANURBSurfaceEvaluator::BuildVTangentWeights() {
    mVTangentWeights.clear();
}
void VOXANURBSurfaceEvaluator::BuildRationalWeights() {}

void VOXANURBSurfaceEvaluator::EvaluatePoints() {
    if (!mControlPoints || mUCount <= 0 || mVCount <= 0) return;
    const size_t points = (size_t)mUCount * mVCount;
    std::vector<double> ones;
    const double* weights = mWeights;
    if (!weights) {
        ones.assign(points, 1.0);
        weights = ones.data();
    }
    std::vector<double> own;
    double* weighted = mWeighted;
    if (!weighted) {
        own.resize(points * 3);
        weighted = own.data();
    }
    for (size_t c = 0; c < points; ++c)
        for (int x = 0; x < 3; ++x)
            weighted[c * 3 + x] = weights[c] * mControlPoints[c].mData[x];
    EvaluateGrid(weights, weighted);
    GetUVertexCount();
    GetVVertexCount();
    PatchCollapsedNormals();
}

void VOXANURBSurfaceEvaluator::EvaluateWeightTable(VOXAWeightTable* table) {
    if (!mWeights) {
        EvaluateTable(table, nullptr);
        return;
    }
    EvaluateTable(table, mWeights);
}
