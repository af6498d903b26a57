// Node transform evaluation: the global matrix against an independent column-vector product,
// rotation order and pre/post-rotation, the inherit types, limits, the caches and the stamped
// pass, mirrored global matrices, the pivot-set global matrices and the pivot/property
// synchronisation round trips.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "animation/fcurve.h"
#include "scene/voxa_node.h"
#include "scene/voxa_sdk_manager.h"
#include "scene/voxa_take_node.h"

namespace {

const double kPi = 3.14159265358979323846;

// Column-vector 4x4 matrices (p' = M p), written independently of the library's row form.
struct Col {
    double m[4][4];
};

Col Identity() {
    Col c{};
    for (int i = 0; i < 4; ++i)
        c.m[i][i] = 1.0;
    return c;
}

Col Mul(const Col& a, const Col& b) {
    Col c{};
    for (int r = 0; r < 4; ++r)
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                c.m[r][j] += a.m[r][k] * b.m[k][j];
    return c;
}

Col Translate(double x, double y, double z) {
    Col c = Identity();
    c.m[0][3] = x;
    c.m[1][3] = y;
    c.m[2][3] = z;
    return c;
}

Col Scale(double x, double y, double z) {
    Col c = Identity();
    c.m[0][0] = x;
    c.m[1][1] = y;
    c.m[2][2] = z;
    return c;
}

// Right-handed rotation about one axis by `degrees`.
Col Axis(int axis, double degrees) {
    double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
    int u = (axis + 1) % 3, v = (axis + 2) % 3;
    Col r = Identity();
    r.m[u][u] = c;
    r.m[u][v] = -s;
    r.m[v][u] = s;
    r.m[v][v] = c;
    return r;
}

// Rotation order `order` (0 "Euler XYZ" .. 5 "Euler ZYX"): the first-named axis turns first.
Col Euler(const double* r, int order) {
    static const int kAxes[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}, {1, 0, 2}, {2, 0, 1}, {2, 1, 0}};
    const int* ax = kAxes[order];
    return Mul(Axis(ax[2], r[ax[2]]), Mul(Axis(ax[1], r[ax[1]]), Axis(ax[0], r[ax[0]])));
}

Col Transpose3(Col c) {
    for (int r = 0; r < 3; ++r)
        for (int k = r + 1; k < 3; ++k)
            std::swap(c.m[r][k], c.m[k][r]);
    return c;
}

// The row-form matrix must be the transpose of the column-form one (affine part).
void ExpectSame(const VgeAMatrix& row, const Col& col, const std::string& what, double tol = 1e-9) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(row[r][c], col.m[c][r], tol) << what << " element [" << r << "][" << c << "]";
}

void ExpectSame(const VgeAMatrix& a, const VgeAMatrix& b, const std::string& what, double tol = 1e-9) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[r][c], b[r][c], tol) << what << " element [" << r << "][" << c << "]";
}

// Transform values of one node, with everything the column formula takes.
struct Xf {
    double t[3] = {0, 0, 0}, r[3] = {0, 0, 0}, s[3] = {1, 1, 1};
    double roff[3] = {0, 0, 0}, rp[3] = {0, 0, 0}, soff[3] = {0, 0, 0}, sp[3] = {0, 0, 0};
    double pre[3] = {0, 0, 0}, post[3] = {0, 0, 0};
    int order = 0;
    bool rotationActive = false;
};

VgeTVector Vec(const double* v) {
    return VgeTVector(v[0], v[1], v[2], 1.0);
}

// T Roff Rp Rpre R Rpost^-1 Rp^-1 Soff Sp S Sp^-1; pre/post and order only through the rotation
// evaluator (rotation active), else the XYZ rotation alone.
Col LocalReference(const Xf& u) {
    Col rot = u.rotationActive ? Mul(Euler(u.pre, 0), Mul(Euler(u.r, u.order), Transpose3(Euler(u.post, 0))))
                               : Euler(u.r, 0);
    Col m = Translate(u.t[0], u.t[1], u.t[2]);
    m = Mul(m, Translate(u.roff[0], u.roff[1], u.roff[2]));
    m = Mul(m, Translate(u.rp[0], u.rp[1], u.rp[2]));
    m = Mul(m, rot);
    m = Mul(m, Translate(-u.rp[0], -u.rp[1], -u.rp[2]));
    m = Mul(m, Translate(u.soff[0], u.soff[1], u.soff[2]));
    m = Mul(m, Translate(u.sp[0], u.sp[1], u.sp[2]));
    m = Mul(m, Scale(u.s[0], u.s[1], u.s[2]));
    return Mul(m, Translate(-u.sp[0], -u.sp[1], -u.sp[2]));
}

class scene_NodeEval : public ::testing::Test {
protected:
    void SetUp() override { mManager = VOxaSdkManager::Create(); }
    void TearDown() override { delete mManager; }

    VOxaNode* Make(const char* name) { return mManager->CreateNode(name); }

    static void SetDefaults(VOxaTakeNode* take, const double* t, const double* r, const double* s) {
        VFCurve* curves[9] = {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                              take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                              take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
        const double* values[3] = {t, r, s};
        for (int i = 0; i < 9; ++i)
            curves[i]->SetDefaultValue((float)values[i / 3][i % 3]);
    }

    static void Apply(VOxaNode* node, const Xf& u) {
        SetDefaults(node->GetDefaultTakeNode(), u.t, u.r, u.s);
        node->SetRotationOffset(0, Vec(u.roff));
        node->SetRotationPivot(0, Vec(u.rp));
        node->SetScalingOffset(0, Vec(u.soff));
        node->SetScalingPivot(0, Vec(u.sp));
        node->SetPreRotation(0, Vec(u.pre));
        node->SetPostRotation(0, Vec(u.post));
        node->SetRotationOrder(0, (ERotationOrder)u.order);
        node->SetRotationActive(u.rotationActive);
    }

    VOxaSdkManager* mManager = nullptr;
};

Xf Pivoted(int order, bool active) {
    return Xf{{1.5, -2, 3}, {30, -45, 60}, {2, 0.5, 1.25}, {0.5, 1, -1}, {1, 2, 3}, {-0.25, 0.5, 2},
              {3, -1, 0.5}, {10, 20, -30}, {-15, 25, 40},  order,        active};
}

TEST_F(scene_NodeEval, GlobalMatrixOfPivotsOffsetsOrderAndPrePost) {
    for (int order = 0; order < 6; ++order) {
        for (int active = 0; active < 2; ++active) {
            VOxaNode* node = Make(("N" + std::to_string(order) + std::to_string(active)).c_str());
            Xf u = Pivoted(order, active != 0);
            Apply(node, u);
            const std::string what = "order " + std::to_string(order) + (active ? " active" : " inactive");
            ExpectSame(node->GetDefaultGlobalTransform(), LocalReference(u), what + " default");
            ExpectSame(node->EvaluateGlobalTransform(VTime(0)), LocalReference(u), what + " take");
            // The local matrix keeps only T, XYZ rotation and S.
            Xf plain;
            for (int i = 0; i < 3; ++i)
                plain.t[i] = u.t[i], plain.r[i] = u.r[i], plain.s[i] = u.s[i];
            ExpectSame(node->EvaluateLocalTransform(VTime(0)), LocalReference(plain), what + " local");
            ExpectSame(node->GetDefaultLocalTransform(), LocalReference(plain), what + " default local");
        }
    }

    // The limit-space flag keeps the order and pre/post out of evaluation.
    VOxaNode* node = Make("LimitSpace");
    Xf u = Pivoted(5, true);
    Apply(node, u);
    node->SetUseRotationSpaceForLimitOnly(0, true);
    u.rotationActive = false;
    ExpectSame(node->EvaluateGlobalTransform(VTime(0)), LocalReference(u), "limit space only");

    // Spheric order with zero angles is the identity rotation.
    VOxaNode* spheric = Make("Spheric");
    Xf z;
    z.order = 6;
    z.rotationActive = true;
    Apply(spheric, z);
    ExpectSame(spheric->EvaluateGlobalTransform(VTime(0)), Identity(), "spheric zero");
}

TEST_F(scene_NodeEval, InheritTypes) {
    VOxaNode* grand = Make("Grand");
    VOxaNode* parent = Make("Parent");
    VOxaNode* child = Make("Child");
    grand->AddChild(parent);
    parent->AddChild(child);
    Xf g, p, c;
    g.t[0] = 1, g.r[2] = 30;
    p.t[1] = 2, p.r[0] = 20, p.r[2] = 90, p.s[0] = 2, p.s[1] = 1, p.s[2] = 0.5;
    c.t[2] = 3, c.r[2] = 45, c.r[1] = 10, c.s[0] = 1.5, c.rp[0] = 1, c.sp[1] = 2;
    Apply(grand, g);
    Apply(parent, p);
    Apply(child, c);
    parent->SetTransformInheritType(eINHERIT_RrSs_ALT);

    // Type 1: the full product of the locals.
    child->SetTransformInheritType(eINHERIT_RrSs_ALT);
    const Col full = Mul(LocalReference(g), Mul(LocalReference(p), LocalReference(c)));
    ExpectSame(child->EvaluateGlobalTransform(VTime(0)), full, "inherit 1");

    // Type 0: rotation is inherited whole but the scaling stays diagonal, so each row of the
    // global 3x3 part has length S * the parent's global scaling on that axis, and the result
    // differs from the full product under this non-uniformly scaled, rotated parent.
    child->SetTransformInheritType(eINHERIT_RrSs);
    child->SetCurrentTakeNode(0);
    const VgeAMatrix& m0 = child->EvaluateGlobalTransform(VTime(0));
    const double pScale[3] = {2, 1, 0.5};
    double largest = 0;
    for (int r = 0; r < 3; ++r) {
        EXPECT_NEAR(std::sqrt(m0[r][0] * m0[r][0] + m0[r][1] * m0[r][1] + m0[r][2] * m0[r][2]),
                    c.s[r] * pScale[r], 1e-9)
            << "inherit 0 row " << r;
        for (int k = 0; k < 3; ++k)
            largest = std::max(largest, std::fabs(m0[r][k] - full.m[k][r]));
    }
    EXPECT_GT(largest, 1e-3) << "inherit 0 must differ from the full product here";
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(m0[3][k], full.m[k][3], 1e-9) << "inherit 0 translation " << k;

    // Type 2: the parent's own local scaling does not reach the child.
    child->SetTransformInheritType(eINHERIT_Rrs);
    child->SetCurrentTakeNode(0);
    Xf pNoScale = p;
    pNoScale.s[0] = pNoScale.s[1] = pNoScale.s[2] = 1;
    Col rrs = Mul(LocalReference(g), Mul(LocalReference(pNoScale), LocalReference(c)));
    // The translation still goes through the parent's scaled matrix.
    const Col placed = Mul(Mul(LocalReference(g), LocalReference(p)), LocalReference(c));
    for (int k = 0; k < 3; ++k)
        rrs.m[k][3] = placed.m[k][3];
    ExpectSame(child->EvaluateGlobalTransform(VTime(0)), rrs, "inherit 2");

    // A zero parent scale under type 2 gives non-finite values, without a crash (at another
    // time, as a curve answers its remembered value again at the time last asked).
    Xf flat = p;
    flat.s[1] = 0;
    Apply(parent, flat);
    parent->SetCurrentTakeNode(0);
    child->SetCurrentTakeNode(0);
    const VgeAMatrix& bad = child->EvaluateGlobalTransform(VTime(2));
    bool finite = true;
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k)
            finite = finite && std::isfinite(bad[r][k]);
    EXPECT_FALSE(finite);
    child->UpdateLocalTRSFromDefault();
    parent->UpdateLocalTRSFromDefault();
    grand->UpdateLocalTRSFromDefault();
    child->UpdateGlobalTransform(7);
}

TEST_F(scene_NodeEval, UnknownInheritTypeLeavesTheMatrixAsItWas) {
    VOxaNode* node = Make("Unknown");
    node->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    const VgeAMatrix before = node->GetDefaultGlobalTransform();
    node->SetTransformInheritType((ETransformInheritType)3);
    node->SetLclTranslation(VgeTVector(7, 8, 9, 0));
    // Computed afresh after the change, but an inherit type outside 0..2 writes no matrix.
    const VgeAMatrix& after = node->GetDefaultGlobalTransform();
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(after[r][c], before[r][c]) << r << c;
    EXPECT_EQ(node->GetDefaultLocalTransform()[3][0], 7.0);
}

TEST_F(scene_NodeEval, LimitsClampMinimumFirst) {
    VOxaNode* node = Make("Limited");
    VOxaNodeProperties* p = node->GetNodeProperties();
    // Translation X: minimum 10 above maximum 5 gives 5. Y equals its minimum and stays.
    p->SetTranslationMin(VgeTVector(10, 2, 0, 0));
    p->SetTranslationMax(VgeTVector(5, 0, 0, 0));
    p->SetTranslationMinX(true);
    p->SetTranslationMaxX(true);
    p->SetTranslationMinY(true);
    // Rotation Z capped at 40; scaling Y raised to 0.5.
    p->SetRotationMax(VgeTVector(0, 0, 40, 0));
    p->SetRotationMaxZ(true);
    p->SetScalingMin(VgeTVector(0, 0.5, 0, 0));
    p->SetScalingMinY(true);
    node->UpdatePivotsFromProperties();

    Xf u;
    u.t[0] = 7, u.t[1] = 2, u.t[2] = -3;
    u.r[2] = 75;
    u.s[1] = 0.25;
    Apply(node, u);
    Xf clamped = u;
    clamped.t[0] = 5, clamped.r[2] = 40, clamped.s[1] = 0.5;
    ExpectSame(node->GetDefaultLocalTransform(), LocalReference(clamped), "limited local");
    ExpectSame(node->EvaluateGlobalTransform(VTime(0)), LocalReference(clamped), "limited global");
    const VOxaTransformCache& cache = node->GetTakeTransformCache();
    EXPECT_EQ(cache.mLocalTranslation[0], 5.0);
    EXPECT_EQ(cache.mLocalTranslation[1], 2.0);

    // NaN passes the limits unchanged.
    node->GetDefaultTakeNode()->GetTranslationX()->SetDefaultValue(std::numeric_limits<float>::quiet_NaN());
    node->SetCurrentTakeNode(0);
    node->EvaluateLocalTransform(VTime(2));
    EXPECT_TRUE(std::isnan(node->GetTakeTransformCache().mLocalTranslation[0]));
}

// A chain of three nodes with keyed curves on a second take, non-XYZ orders, pivots and all three
// inherit types: the cached, the freshly computed and the stamped evaluations agree.
TEST_F(scene_NodeEval, CachedFreshAndStampedAgree) {
    VOxaNode* nodes[3] = {Make("A"), Make("B"), Make("C")};
    nodes[0]->AddChild(nodes[1]);
    nodes[1]->AddChild(nodes[2]);
    const ETransformInheritType inherit[3] = {eINHERIT_RrSs, eINHERIT_RrSs_ALT, eINHERIT_Rrs};
    for (int n = 0; n < 3; ++n) {
        Xf u = Pivoted(2 + n, true);
        Apply(nodes[n], u);
        nodes[n]->SetTransformInheritType(inherit[n]);
        VOxaTakeNode* take = nodes[n]->AddTakeNode("Take1");
        ASSERT_NE(take, nullptr);
        VFCurve* curves[9] = {take->GetTranslationX(),   take->GetTranslationY(),   take->GetTranslationZ(),
                              take->GetEulerRotationX(), take->GetEulerRotationY(), take->GetEulerRotationZ(),
                              take->GetScaleX(),         take->GetScaleY(),         take->GetScaleZ()};
        for (int i = 0; i < 9; ++i) {
            curves[i]->KeyAppendFast(VTime(0), i < 6 ? (float)(10 * n + i) : 1.0f);
            curves[i]->KeyAppendFast(VTime::kOneSecond, i < 3   ? (float)(i - n)
                                                        : i < 6 ? 170.0f
                                                                : 2.0f - n * 0.5f);
        }
        nodes[n]->SetCurrentTakeNode("Take1");
    }

    for (int step = 0; step <= 6; ++step) {
        const VTime time(VTime::kOneSecond * step / 5);
        const std::string what = "step " + std::to_string(step);
        VgeAMatrix cached = nodes[2]->EvaluateGlobalTransform(time);
        VgeAMatrix again = nodes[2]->EvaluateGlobalTransform(time);
        ExpectSame(again, cached, what + " repeat");
        // Fresh: caches reset by a take change, then the leaf first (the parents follow).
        for (VOxaNode* node : nodes)
            node->SetCurrentTakeNode("Take1");
        ExpectSame(nodes[2]->EvaluateGlobalTransform(time), cached, what + " fresh");
        // Stamped pass over the whole chain.
        nodes[0]->UpdateLocalTRS(time, true);
        nodes[0]->UpdateGlobalTransform(100 + step, true);
        ExpectSame(nodes[2]->GetGlobalTransform(), cached, what + " stamped", 1e-7);
        // Parents in the cache hold their own global matrices at that time.
        ExpectSame(nodes[1]->GetGlobalTransform(), nodes[1]->EvaluateGlobalTransform(time), what + " parent",
                   1e-7);
    }

    // A repeated time reads no curve: a changed key shows only at another time.
    VTime t0(0);
    VgeAMatrix before = nodes[0]->EvaluateLocalTransform(t0);
    nodes[0]->GetCurrentTakeNode()->GetTranslationX()->KeySetValue(0, 99.0f);
    ExpectSame(nodes[0]->EvaluateLocalTransform(t0), before, "cached time");
    EXPECT_NE(nodes[0]->EvaluateLocalTransform(VTime(1))[3][0], before[3][0]);
    EXPECT_NEAR(nodes[0]->EvaluateLocalTransform(t0)[3][0], 99.0, 1e-9);

    // The stamped pass computes a node once per stamp: a local change shows only with a new one.
    VgeAMatrix stamped = nodes[2]->GetGlobalTransform();
    nodes[0]->UpdateLocalTRS(VTime(VTime::kOneSecond / 3), true);
    nodes[2]->UpdateGlobalTransform(106);
    ExpectSame(nodes[2]->GetGlobalTransform(), stamped, "same stamp");
    nodes[2]->UpdateGlobalTransform(107);
    ExpectSame(nodes[2]->GetGlobalTransform(),
               nodes[2]->EvaluateGlobalTransform(VTime(VTime::kOneSecond / 3)), "new stamp", 1e-7);

    // The default take's stamped pass matches the default evaluation.
    nodes[0]->UpdateLocalTRSFromDefault(true);
    nodes[0]->SetEvaluationStamp(-5, true);
    nodes[0]->UpdateGlobalTransform(1, true);
    ExpectSame(nodes[2]->GetGlobalTransform(), nodes[2]->GetDefaultGlobalTransform(), "default stamped",
               1e-7);
}

TEST_F(scene_NodeEval, TakeCacheClearedOnlyByTakeChangeAndCopy) {
    VOxaNode* node = Make("Cached");
    Xf u;
    u.t[0] = 1;
    Apply(node, u);
    EXPECT_EQ(node->GetDefaultGlobalTransform()[3][0], 1.0);
    node->EvaluateGlobalTransform(VTime(0));
    VFCurve* x = node->GetDefaultTakeNode()->GetTranslationX();
    x->SetDefaultValue(4.0f);
    // The default cache follows the change; the take cache keeps its result at the same time.
    EXPECT_EQ(node->GetDefaultGlobalTransform()[3][0], 4.0);
    EXPECT_EQ(node->GetDefaultLocalTransform()[3][0], 4.0);
    EXPECT_EQ(node->EvaluateGlobalTransform(VTime(0))[3][0], 1.0);
    node->SetCurrentTakeNode("Default");
    EXPECT_EQ(node->GetDefaultGlobalTransform()[3][0], 4.0);
    // (Another time: a curve answers its remembered value again at the time last asked.)
    EXPECT_EQ(node->EvaluateGlobalTransform(VTime(2))[3][0], 4.0);

    // A copy resets the caches and the stamp.
    VOxaNode* other = Make("Other");
    node->UpdateLocalTRS(VTime(0));
    node->UpdateGlobalTransform(3);
    x->SetDefaultValue(6.0f);
    node->Copy(*other);
    EXPECT_EQ(node->GetStampedTransform().mStamp, -1);
    EXPECT_FALSE(node->GetTakeTransformCache().mGlobalValid);
    EXPECT_FALSE(node->GetDefaultTransformCache().mLocalValid);
}

TEST_F(scene_NodeEval, MirroredSetGlobalTransform) {
    VOxaNode* node = Make("Mirror");
    VgeAMatrix m(VgeTVector(1, 2, 3, 0), VgeTVector(20, -35, 50, 0), VgeTVector(2, 3, 4, 0));
    for (int c = 0; c < 3; ++c)
        m[1][c] = -m[1][c];  // a mirror
    node->SetGlobalTransform(m);
    ExpectSame(node->GetGlobalTransform(), m, "stored");
    const VOxaStampedTransform& st = node->GetStampedTransform();
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(st.mGlobalScaling[i][i], 0.0) << "factor " << i;
        EXPECT_EQ(st.mGlobalTranslation[i], m[3][i]);
    }
    EXPECT_NEAR(VgeMatrixDeterminant3(st.mGlobalRotation.mData), 1.0, 1e-9);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(st.mGlobalScaling[r][r] * st.mGlobalRotation[r][c], m[r][c], 1e-12) << r << c;
}

TEST_F(scene_NodeEval, PivotSetGlobalMatrices) {
    VOxaNode* parent = Make("P");
    VOxaNode* child = Make("C");
    parent->AddChild(child);
    parent->SetLclTranslation(VgeTVector(1, 2, 3, 0));
    parent->SetLclRotation(VgeTVector(0, 0, 90, 0));
    parent->SetLclScaling(VgeTVector(2, 2, 2, 0));
    child->SetLclTranslation(VgeTVector(4, 0, 0, 0));
    child->SetLclRotation(VgeTVector(10, 0, 0, 0));
    const double prp[3] = {0.5, 0, 0}, ppost[3] = {0, 0, 30};
    const double crp[3] = {0, 1, 0}, croff[3] = {0, 0, 2}, cpre[3] = {0, 45, 0}, cpost[3] = {15, 0, 0};
    parent->SetRotationPivot(1, Vec(prp));
    parent->SetPostRotation(1, Vec(ppost));
    parent->SetPivotState(1, 0);
    child->SetRotationPivot(1, Vec(crp));
    child->SetRotationOffset(1, Vec(croff));
    child->SetPreRotation(1, Vec(cpre));
    child->SetPostRotation(1, Vec(cpost));
    child->SetPivotState(1, 0);

    // Column form of S x Post x R x Pre x T' (row form), the post-rotation not inverted.
    const double zero[3] = {0, 0, 0};
    auto local = [&](const double* t, const double* r, double s, const double* pre, const double* post) {
        return Mul(Translate(t[0], t[1], t[2]),
                   Mul(Euler(pre, 0), Mul(Euler(r, 0), Mul(Euler(post, 0), Scale(s, s, s)))));
    };
    const double pt[3] = {1 + 0.5, 2, 3}, pr[3] = {0, 0, 90};
    const Col pg = local(pt, pr, 2, zero, ppost);
    // Child T' = T + Rp - parent Rp turned by transpose(parent post) + Roff.
    Col back = Transpose3(Euler(ppost, 0));  // row-form transpose(post) in column form
    double shift[3];
    for (int i = 0; i < 3; ++i)
        shift[i] = back.m[i][0] * prp[0] + back.m[i][1] * prp[1] + back.m[i][2] * prp[2];
    const double ct[3] = {4 + crp[0] - shift[0] + croff[0], 0 + crp[1] - shift[1] + croff[1],
                          0 + crp[2] - shift[2] + croff[2]};
    const double cr[3] = {10, 0, 0};
    const Col cg = Mul(pg, local(ct, cr, 1, cpre, cpost));
    ExpectSame(child->GetPivotGlobalMatrix(1), cg, "set 1 child");
    ExpectSame(parent->GetPivotGlobalMatrix(1), pg, "set 1 parent");

    VgeTVector v;
    child->GetPivotGlobalTranslation(v, 1);
    for (int a = 0; a < 3; ++a)
        EXPECT_NEAR(v[a], cg.m[a][3], 1e-9) << "axis " << a;
    EXPECT_NEAR(parent->GetPivotGlobalScaling(v, 1)[2], 2.0, 1e-9);
    EXPECT_NEAR(parent->GetPivotGlobalRotation(v, 1)[2], 120.0, 1e-9);  // post-rotation 30, then 90

    // Set 0 is not active: the plain products of the "Lcl" values.
    const Col plain = Mul(local(VgeTVector(1, 2, 3, 0).mData, pr, 2, zero, zero),
                          local(VgeTVector(4, 0, 0, 0).mData, cr, 1, zero, zero));
    ExpectSame(child->GetPivotGlobalMatrix(0), plain, "set 0");

    // A transform change makes the cached matrix stale: the next request computes it afresh.
    parent->SetLclTranslation(VgeTVector(-1, 2, 3, 0));
    EXPECT_NEAR(child->GetPivotGlobalMatrix(0)[3][0], plain.m[0][3] - 2.0, 1e-9);
    EXPECT_NEAR(child->GetPivotGlobalMatrix(0, true)[3][0], plain.m[0][3] - 2.0, 1e-9);
}

TEST_F(scene_NodeEval, NeutralTestRoundTrips) {
    // Each of pre-rotation, post-rotation and the limit-space flag alone makes the properties
    // non-neutral: set 0 takes them over and writing back keeps them.
    for (int which = 0; which < 3; ++which) {
        VOxaNode* node = Make(("Round" + std::to_string(which)).c_str());
        VOxaNodeProperties* p = node->GetNodeProperties();
        if (which == 0) p->SetPreRotation(VgeTVector(0, 30, 0, 0));
        if (which == 1) p->SetPostRotation(VgeTVector(-20, 0, 0, 0));
        if (which == 2) p->SetRotationSpaceForLimitOnly(true);
        node->UpdatePivotsFromProperties();
        EXPECT_EQ(node->GetPreRotation(0)[1], which == 0 ? 30.0 : 0.0) << which;
        EXPECT_EQ(node->GetPostRotation(0)[0], which == 1 ? -20.0 : 0.0) << which;
        EXPECT_EQ(node->GetUseRotationSpaceForLimitOnly(0), which == 2) << which;
        int state = 1;
        node->GetPivotState(0, state);
        EXPECT_EQ(state, 0) << which;
        EXPECT_EQ(p->GetTransformSettings().mRotation.mFlags & 3, which == 0   ? 1
                                                                  : which == 1 ? 2
                                                                               : 0)
            << which;

        p->SetPreRotation(VgeTVector(0, 0, 0, 0));
        p->SetPostRotation(VgeTVector(0, 0, 0, 0));
        p->SetRotationSpaceForLimitOnly(false);
        node->UpdatePropertiesFromPivots();
        EXPECT_EQ(p->GetPreRotation()[1], which == 0 ? 30.0 : 0.0) << which;
        EXPECT_EQ(p->GetPostRotation()[0], which == 1 ? -20.0 : 0.0) << which;
        EXPECT_EQ(p->GetRotationSpaceForLimitOnly(), which == 2) << which;
    }

    // Neutral properties leave set 0 as it is.
    VOxaNode* node = Make("Neutral");
    node->SetRotationPivot(0, VgeTVector(1, 2, 3, 0));
    node->UpdatePivotsFromProperties();
    EXPECT_EQ(node->GetRotationPivot(0)[2], 3.0);
}

}  // namespace
