// The object coordinate system of a DXF entity: planar entities (SOLID, TRACE) and block
// references (INSERT) hold their points in a system whose Z axis is the entity's extrusion
// direction (groups 210, 220, 230). Its X and Y axes follow from that direction by the format's
// arbitrary axis rule: X is the world Y axis crossed with the direction when the direction lies
// within 1/64 of the world Z axis in x and y, else the world Z axis crossed with it; Y is the
// direction crossed with X.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_OCS_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_OCS_H

#include <oxa/base/oxa_export.h>

#include <cmath>

struct OXA_API DxfOcs {
    // The axes in world (DXF) coordinates, unit length.
    double x[3] = {1.0, 0.0, 0.0};
    double y[3] = {0.0, 1.0, 0.0};
    double z[3] = {0.0, 0.0, 1.0};

    DxfOcs() = default;
    // The system of an extrusion direction. A direction of zero length or with a component that
    // is not a finite number leaves the world system, as does (0, 0, 1) itself.
    DxfOcs(double nx, double ny, double nz) {
        const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
        if (!(length > 0.0) || !std::isfinite(length)) return;
        z[0] = nx / length, z[1] = ny / length, z[2] = nz / length;
        if (z[0] == 0.0 && z[1] == 0.0 && z[2] > 0.0) {
            z[2] = 1.0;
            return;
        }
        const double limit = 1.0 / 64.0;
        const double world[3] = {0.0, std::fabs(z[0]) < limit && std::fabs(z[1]) < limit ? 1.0 : 0.0,
                                 std::fabs(z[0]) < limit && std::fabs(z[1]) < limit ? 0.0 : 1.0};
        Cross(world, z, x);
        Normalize(x);
        Cross(z, x, y);
        Normalize(y);
    }

    // True for the world system: points are taken as they are.
    bool IsWorld() const { return z[0] == 0.0 && z[1] == 0.0 && z[2] == 1.0; }

    // The world coordinates of a point given in this system.
    void ToWorld(const double in[3], double out[3]) const {
        const double a = in[0], b = in[1], c = in[2];
        for (int i = 0; i < 3; ++i)
            out[i] = a * x[i] + b * y[i] + c * z[i];
    }

private:
    static void Cross(const double a[3], const double b[3], double out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    }
    static void Normalize(double v[3]) {
        const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (length > 0.0)
            for (int i = 0; i < 3; ++i)
                v[i] /= length;
    }
};

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_OCS_H
