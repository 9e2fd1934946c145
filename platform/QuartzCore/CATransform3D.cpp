#include "QuartzCore/CATransform3D.h"

#include <cmath>

const CATransform3D CATransform3DIdentity{};

namespace {
using M = CGFloat[4][4];

CATransform3D fromArray(const double m[4][4]) {
    CATransform3D t;
    CGFloat* p = &t.m11;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            p[i * 4 + j] = CGFloat(m[i][j]);
    }
    return t;
}

void toArray(const CATransform3D& t, double m[4][4]) {
    const CGFloat* p = &t.m11;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            m[i][j] = p[i * 4 + j];
    }
}
}  // namespace

bool CATransform3DIsIdentity(CATransform3D t) {
    return CATransform3DEqualToTransform(t, CATransform3DIdentity);
}

bool CATransform3DEqualToTransform(CATransform3D a, CATransform3D b) {
    const CGFloat* p = &a.m11;
    const CGFloat* q = &b.m11;
    for (int i = 0; i < 16; ++i) {
        if (p[i] != q[i]) return false;
    }
    return true;
}

CATransform3D CATransform3DMakeTranslation(CGFloat tx, CGFloat ty, CGFloat tz) {
    CATransform3D t;
    t.m41 = tx;
    t.m42 = ty;
    t.m43 = tz;
    return t;
}

CATransform3D CATransform3DMakeScale(CGFloat sx, CGFloat sy, CGFloat sz) {
    CATransform3D t;
    t.m11 = sx;
    t.m22 = sy;
    t.m33 = sz;
    return t;
}

CATransform3D CATransform3DMakeRotation(CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
    double len = std::sqrt(double(x) * x + double(y) * y + double(z) * z);
    if (len == 0) return CATransform3DIdentity;
    double ux = x / len, uy = y / len, uz = z / len;
    double c = std::cos(double(angle)), s = std::sin(double(angle)), k = 1 - c;
    // Row-vector form: the transpose of the usual column rotation.
    double m[4][4] = {{c + ux * ux * k, ux * uy * k + uz * s, ux * uz * k - uy * s, 0},
                      {ux * uy * k - uz * s, c + uy * uy * k, uy * uz * k + ux * s, 0},
                      {ux * uz * k + uy * s, uy * uz * k - ux * s, c + uz * uz * k, 0},
                      {0, 0, 0, 1}};
    return fromArray(m);
}

CATransform3D CATransform3DConcat(CATransform3D a, CATransform3D b) {
    double x[4][4], y[4][4], r[4][4];
    toArray(a, x);
    toArray(b, y);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r[i][j] = 0;
            for (int k = 0; k < 4; ++k)
                r[i][j] += x[i][k] * y[k][j];
        }
    }
    return fromArray(r);
}

CATransform3D CATransform3DTranslate(CATransform3D t, CGFloat tx, CGFloat ty, CGFloat tz) {
    return CATransform3DConcat(CATransform3DMakeTranslation(tx, ty, tz), t);
}

CATransform3D CATransform3DScale(CATransform3D t, CGFloat sx, CGFloat sy, CGFloat sz) {
    return CATransform3DConcat(CATransform3DMakeScale(sx, sy, sz), t);
}

CATransform3D CATransform3DRotate(CATransform3D t, CGFloat angle, CGFloat x, CGFloat y, CGFloat z) {
    return CATransform3DConcat(CATransform3DMakeRotation(angle, x, y, z), t);
}

CATransform3D CATransform3DInvert(CATransform3D t) {
    double a[4][8];
    double m[4][4];
    toArray(t, m);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            a[i][j] = m[i][j];
            a[i][j + 4] = i == j ? 1 : 0;
        }
    }
    // Gauss-Jordan with partial pivoting.
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r) {
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        }
        if (std::fabs(a[pivot][col]) < 1e-12) return t;
        if (pivot != col) {
            for (int j = 0; j < 8; ++j)
                std::swap(a[pivot][j], a[col][j]);
        }
        double p = a[col][col];
        for (int j = 0; j < 8; ++j)
            a[col][j] /= p;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            double f = a[r][col];
            for (int j = 0; j < 8; ++j)
                a[r][j] -= f * a[col][j];
        }
    }
    double inv[4][4];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j)
            inv[i][j] = a[i][j + 4];
    }
    return fromArray(inv);
}

CATransform3D CATransform3DMakeAffineTransform(CGAffineTransform m) {
    CATransform3D t;
    t.m11 = m.a;
    t.m12 = m.b;
    t.m21 = m.c;
    t.m22 = m.d;
    t.m41 = m.tx;
    t.m42 = m.ty;
    return t;
}

bool CATransform3DIsAffine(CATransform3D t) {
    return t.m13 == 0 && t.m14 == 0 && t.m23 == 0 && t.m24 == 0 && t.m31 == 0 && t.m32 == 0 &&
           t.m33 == 1 && t.m34 == 0 && t.m43 == 0 && t.m44 == 1;
}

CGAffineTransform CATransform3DGetAffineTransform(CATransform3D t) {
    return CGAffineTransformMake(t.m11, t.m12, t.m21, t.m22, t.m41, t.m42);
}
