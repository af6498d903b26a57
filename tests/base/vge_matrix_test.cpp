#include "base/vge_matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "tests/base/vge_test_helpers.h"

using vgetest::AxisRotation;
using vgetest::Mat;
using vgetest::Mul;
using vgetest::Near3;
using vgetest::Near4;

namespace {

Mat Filled(double base) {
    Mat m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            m.m[i][j] = base + i * 4 + j;
    return m;
}

// p x m with the translation row, written out.
void Carry(double* out, const Mat& m, const double* p) {
    for (int c = 0; c < 3; ++c)
        out[c] = p[0] * m.m[0][c] + p[1] * m.m[1][c] + p[2] * m.m[2][c] + m.m[3][c];
}

// Scaling, then XYZ rotation, then translation, from the reference rotations.
Mat ReferenceTRS(const double* t, const double* r, const double* s) {
    Mat sc = vgetest::Identity();
    for (int i = 0; i < 3; ++i)
        sc.m[i][i] = s[i];
    Mat m = Mul(sc, Mul(Mul(AxisRotation(0, r[0]), AxisRotation(1, r[1])), AxisRotation(2, r[2])));
    for (int i = 0; i < 3; ++i)
        m.m[3][i] = t[i];
    return m;
}

}  // namespace

TEST(VgeMatrix, ProductsFollowRowVectorOrder) {
    vgetest::Rng rng;
    for (int n = 0; n < 50; ++n) {
        Mat a = vgetest::RandomAffine(rng), b = vgetest::RandomAffine(rng);
        Mat want = Mul(b, a);  // b then a

        // Affine product: p x out = (p x b) x a; column 3 of out is left alone.
        Mat out = Filled(50);
        VgeMatrixMultAffine(out.m, a.m, b.m);
        ASSERT_TRUE(Near3(out.m, want.m, 1e-12, 4));
        EXPECT_EQ(out.m[0][3], 53.0);
        double p[3] = {rng.Next(-3, 3), rng.Next(-3, 3), rng.Next(-3, 3)}, pb[3], pba[3], pout[3];
        Carry(pb, b, p);
        Carry(pba, a, pb);
        VgeMatrixMultPoint(pout, out.m, p);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(pout[i], pba[i], 1e-11);
        // In place on either operand.
        Mat a2 = a, b2 = b;
        VgeMatrixMultAffine(a2.m, a2.m, b.m);
        VgeMatrixMultAffine(b2.m, a.m, b2.m);
        EXPECT_TRUE(Near3(a2.m, want.m, 1e-12, 4));
        EXPECT_TRUE(Near3(b2.m, want.m, 1e-12, 4));

        // Full 4x4 product, in place.
        Mat f = a;
        VgeMatrixMult4(f.m, f.m, b.m);
        EXPECT_TRUE(Near4(f.m, want.m, 1e-12));

        // Rotation products: b x a for MultRotation and RMatrixMultPlain, a x b for RMatrixMult;
        // the translation row and column 3 are untouched.
        Mat r1 = Filled(50), r2 = Filled(50), r3 = Filled(50);
        VgeMatrixMultRotation(r1.m, a.m, b.m);
        VgeRMatrixMultPlain(r2.m, a.m, b.m);
        VgeRMatrixMult(r3.m, a.m, b.m);
        EXPECT_TRUE(Near3(r1.m, want.m, 1e-12));
        EXPECT_TRUE(Near3(r2.m, want.m, 1e-12));
        Mat ab = Mul(a, b);
        EXPECT_TRUE(Near3(r3.m, ab.m, 1e-12));
        EXPECT_EQ(r1.m[3][0], 62.0);
        EXPECT_EQ(r3.m[2][3], 61.0);
        Mat r4 = a;
        VgeMatrixMultRotation(r4.m, r4.m, b.m);
        EXPECT_TRUE(Near3(r4.m, want.m, 1e-12));
    }
}

TEST(VgeMatrix, OrthogonalInverseIdentities) {
    vgetest::Rng rng;
    for (int n = 0; n < 50; ++n) {
        // Per-row scaling, negative scaling included: the rows stay orthogonal.
        Mat m = vgetest::RandomAffine(rng, n % 2 ? -3.0 : 0.2, 3.0);
        Mat inv = Filled(7);
        VgeMatrixInverseOrthogonal(inv.m, m.m);
        Mat id = vgetest::Identity();
        ASSERT_TRUE(Near4(Mul(m, inv).m, id.m, 1e-10)) << n;
        ASSERT_TRUE(Near4(Mul(inv, m).m, id.m, 1e-10)) << n;
        // In place.
        Mat m2 = m;
        VgeMatrixInverseOrthogonal(m2.m, m2.m);
        EXPECT_TRUE(Near4(m2.m, inv.m, 0.0));

        // (b x a^-1) x a = b.
        Mat b = vgetest::RandomAffine(rng);
        Mat q = vgetest::Identity();
        VgeMatrixMultInverse(q.m, m.m, b.m);
        EXPECT_TRUE(Near3(Mul(q, m).m, b.m, 1e-9, 4));
    }
    // A zero row gives a finite (zero) column instead of a division by zero.
    Mat z = vgetest::Identity();
    z.m[1][0] = z.m[1][1] = z.m[1][2] = 0.0;
    z.m[3][1] = 4.0;
    Mat inv;
    VgeMatrixInverseOrthogonal(inv.m, z.m);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_TRUE(std::isfinite(inv.m[i][j]));
    EXPECT_EQ(inv.m[1][1], 0.0);
}

TEST(VgeMatrix, ScalingWithNegativeDeterminant) {
    const double t[3] = {1, 2, 3}, r[3] = {25, -60, 140};
    const double scales[][3] = {{1, 2, 3}, {1, -2, 3}, {-1, -2, -3}, {-0.5, 4, -2}, {2, 0, 1}};
    for (const auto& s : scales) {
        Mat m = Filled(9);
        VgeMatrixFromTRS(m.m, t, r, s);
        Mat want = ReferenceTRS(t, r, s);
        ASSERT_TRUE(Near4(m.m, want.m, 1e-14));

        double det = s[0] * s[1] * s[2];
        EXPECT_EQ(VgeMatrixIsRightHanded(m.m), det >= 0);
        double got[3];
        VgeMatrixToScaling(got, m.m);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(got[i], (det < 0 ? -1 : 1) * std::fabs(s[i]), 1e-14);

        // Decomposing and recomposing gives the matrix back, mirrored ones included.
        VgeAMatrix a;
        VgeMatrixCopy(a.mData, m.m);
        if (det != 0) {
            VgeAMatrix back(a.GetT(), a.GetR(), a.GetS());
            EXPECT_TRUE(Near4(back.mData, m.m, 1e-12)) << s[0] << " " << s[1] << " " << s[2];
        }
        EXPECT_EQ(a.GetS()[3], 0.0);
        EXPECT_EQ(a.GetR()[3], 0.0);

        // Normalised rows have unit length (a zero row stays zero) and keep the rest.
        Mat nrm;
        VgeMatrixNormalizeRows(nrm.m, m.m);
        for (int i = 0; i < 3; ++i) {
            double len = std::sqrt(VgeDot3(nrm.m[i], nrm.m[i]));
            EXPECT_NEAR(len, s[i] != 0 ? 1.0 : 0.0, 1e-14);
        }
        EXPECT_EQ(nrm.m[3][2], 3.0);
    }
    // Scaling the rows back up rebuilds the matrix.
    Mat m = Filled(0), n;
    const double s[3] = {2, -3, 0.5};
    VgeMatrixFromTRS(m.m, t, r, s);
    VgeMatrixNormalizeRows(n.m, m.m);
    const double f[3] = {2, 3, 0.5};
    VgeMatrixScaleRows(n.m, n.m, f);
    EXPECT_TRUE(Near4(n.m, m.m, 1e-14));
}

TEST(VgeMatrix, CompareAffine) {
    Mat a = vgetest::Identity();
    VgeEulerXYZToMatrix(a.m, 10, 20, 30);
    VgeMatrixSetTranslation(a.m, 1, 2, 3);
    Mat b = a;
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 0.0), 0);
    // Element [3][3] takes no part; column 3 of the rotation rows does when exact.
    b.m[3][3] = 5;
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 0.0), 0);
    b.m[1][3] = 1e-300;
    EXPECT_NE(VgeMatrixCompareAffine(a.m, b.m, 0.0), 0);
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 1e-6), 0);
    // Exact comparison answers like a memory comparison, as -1, 0 or 1.
    b = a;
    b.m[3][2] += 1.0;
    int c = VgeMatrixCompareAffine(a.m, b.m, 0.0);
    int want = std::memcmp(&a.m[3][2], &b.m[3][2], sizeof(double));
    EXPECT_EQ(c, want < 0 ? -1 : 1);
    EXPECT_EQ(VgeMatrixCompareAffine(b.m, a.m, 0.0), -c);
    // With a tolerance: 1 as soon as one element is off by more, never -1.
    b = a;
    b.m[2][1] -= 2e-6;
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 1e-6), 1);
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 3e-6), 0);
    b.m[2][1] = NAN;
    EXPECT_EQ(VgeMatrixCompareAffine(a.m, b.m, 1.0), 1);
}

TEST(VgeMatrix, PointsTakeTheTranslationVectorsDoNot) {
    // Both work in place.
    Mat r = vgetest::Identity();
    VgeEulerXYZToMatrix(r.m, 0, 0, 90);
    VgeMatrixSetTranslation(r.m, 10, 0, 0);
    double p[3] = {1, 0, 0};
    VgeMatrixMultVector3(p, r.m, p);
    EXPECT_NEAR(p[0], 0, 1e-15);
    EXPECT_NEAR(p[1], 1, 1e-15);
    VgeMatrixMultPoint(p, r.m, p);
    EXPECT_NEAR(p[0], 9, 1e-15);
    EXPECT_NEAR(p[1], 0, 1e-15);
}

TEST(VgeMatrix, VMatrixEquality) {
    VMatrix a, b;
    Mat id = vgetest::Identity();
    EXPECT_TRUE(Near4(a.mData, id.m, 0.0));
    EXPECT_TRUE(a == b);
    b[3][3] += 1e-6;  // at the tolerance: still equal
    EXPECT_TRUE(a == b);
    b[0][3] = 2e-6;
    EXPECT_TRUE(a != b);
    b = a;
    b[2][1] = NAN;
    EXPECT_FALSE(a == b);
}

TEST(VgeMatrix, AMatrixComposition) {
    VgeTVector t(1, -2, 3, 9), r(30, 45, -60, 9), s(2, 3, 4, 9);
    VgeAMatrix m(t, r, s);
    const double* flat = m;
    Mat want = ReferenceTRS(t.mData, r.mData, s.mData);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(flat[i], want.m[i / 4][i % 4], 1e-14) << i;

    EXPECT_TRUE(m.GetT() == VgeTVector(1, -2, 3, 0));
    EXPECT_EQ(m.GetT()[3], 0.0);
    EXPECT_TRUE(m.GetR() == VgeTVector(30, 45, -60, 0));
    EXPECT_TRUE(m.GetS() == VgeTVector(2, 3, 4, 0));

    // Each setter replaces one component and keeps the other two.
    VgeAMatrix a = m;
    a.SetR(VgeTVector(-10, 20, 5, 0));
    EXPECT_TRUE(a.GetT() == t);
    EXPECT_TRUE(a.GetS() == s);
    EXPECT_TRUE(a.GetR() == VgeTVector(-10, 20, 5, 0));
    // A mirrored scaling reads back with all three factors negative, the same matrix.
    a.SetS(VgeTVector(-1, 0.5, 7, 0));
    EXPECT_TRUE(a.GetT() == t);
    EXPECT_TRUE(a.GetS() == VgeTVector(-1, -0.5, -7, 0));
    a.SetT(VgeTVector(0, 0, 1, 0));
    EXPECT_TRUE(a.GetT() == VgeTVector(0, 0, 1, 0));
    EXPECT_TRUE(a.GetS() == VgeTVector(-1, -0.5, -7, 0));

    // Quaternions: SetQ keeps translation and scaling; GetQ reads the rotation back.
    VgeAMatrix q = m;
    VgeVector4 quat = m.GetQ();
    q.SetR(VgeTVector(0, 0, 0, 0));
    q.SetQ(quat);
    EXPECT_TRUE(Near4(q.mData, m.mData, 1e-12));
    EXPECT_NEAR(quat[0] * quat[0] + quat[1] * quat[1] + quat[2] * quat[2] + quat[3] * quat[3], 1.0, 1e-12);

    a.SetIdentity();
    Mat id = vgetest::Identity();
    EXPECT_TRUE(Near4(a.mData, id.m, 0.0));
}

TEST(VgeMatrix, AMatrixWithAZeroScaleRow) {
    // Scaling X by 0 leaves row 0 empty: the rotation read from the other rows stays finite.
    for (int row = 0; row < 3; ++row) {
        double scale[3] = {2, 3, 4};
        scale[row] = 0;
        VgeAMatrix m(VgeTVector(1, 2, 3, 0), VgeTVector(30, 0, 0, 0),
                     VgeTVector(scale[0], scale[1], scale[2], 0));
        VgeTVector r = m.GetR();
        VgeVector4 q = m.GetQ();
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(std::isfinite(r[i])) << "row " << row << ", angle " << i;
            EXPECT_TRUE(std::isfinite(q[i])) << "row " << row << ", component " << i;
        }
        if (row == 0) {
            // The turn about X is held by rows 1 and 2 alone.
            EXPECT_NEAR(r[0], 30.0, 1e-12);
            EXPECT_NEAR(r[1], 0.0, 1e-12);
            EXPECT_NEAR(r[2], 0.0, 1e-12);
        }
    }
}

TEST(VgeMatrix, AMatrixCopyKeepsTheAffineElementsOnly) {
    VgeAMatrix src(VgeTVector(1, 2, 3, 0), VgeTVector(10, 20, 30, 0), VgeTVector(1, 1, 1, 0));
    src[0][3] = 5;  // a non-affine column, as a scaled matrix sum can leave
    src[3][3] = 6;
    VgeAMatrix copy(src);
    EXPECT_EQ(copy[0][3], 0.0);
    EXPECT_EQ(copy[3][3], 1.0);
    EXPECT_TRUE(Near3(copy.mData, src.mData, 0.0, 4));
    VgeAMatrix dst;
    dst[1][3] = 8;
    dst = src;
    EXPECT_EQ(dst[0][3], 0.0);
    EXPECT_EQ(dst[1][3], 8.0);
    EXPECT_TRUE(Near3(dst.mData, src.mData, 0.0, 4));
}

TEST(VgeMatrix, AMatrixProductInverseAndNormals) {
    VgeAMatrix a(VgeTVector(1, 2, 3, 0), VgeTVector(10, 80, -30, 0), VgeTVector(1, 2, 3, 0));
    VgeAMatrix b(VgeTVector(-4, 0, 2, 0), VgeTVector(90, 0, 45, 0), VgeTVector(0.5, 0.5, -2, 0));
    VgeTVector p(0.3, -1.2, 2.5, 1);

    // b * a is "a then b".
    VgeTVector viaProduct = (b * a).MultT(p);
    VgeTVector stepwise = b.MultT(a.MultT(p));
    EXPECT_TRUE(viaProduct == stepwise);
    EXPECT_EQ(viaProduct[3], 0.0);

    // The inverse undoes the matrix; the matrix is left unchanged.
    VgeAMatrix inv = a.Inverse();
    EXPECT_TRUE(inv.MultT(a.MultT(p)) == VgeTVector(0.3, -1.2, 2.5, 0));
    EXPECT_TRUE(a.GetT() == VgeTVector(1, 2, 3, 0));

    // The transpose of the inverse carries normals: a normal of a plane stays perpendicular to
    // the plane's directions after the (non-uniformly scaled) transform.
    VgeAMatrix normalMatrix = a.Inverse().Transpose();
    VgeTVector n(1, 1, 0, 0), d1(1, -1, 0, 0), d2(0, 0, 1, 0);
    VgeTVector n2 = normalMatrix.MultT(n);
    VgeTVector e1 = a.MultT(d1) - a.MultT(VgeTVector()), e2 = a.MultT(d2) - a.MultT(VgeTVector());
    EXPECT_NEAR(n2.DotProduct(e1), 0.0, 1e-12);
    EXPECT_NEAR(n2.DotProduct(e2), 0.0, 1e-12);
    EXPECT_GT(n2.Length(), 0.0);
}
