// The drawing units of a DXF file (header variable "$INSUNITS") as lengths in centimetres.
#ifndef OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_UNITS_H
#define OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_UNITS_H

#include <cmath>

// Centimetres per unit of each code: 0 unitless, 1 inches, 2 feet, 3 miles, 4 millimetres,
// 5 centimetres, 6 metres, 7 kilometres, 8 microinches, 9 mils, 10 yards, 11 angstroms,
// 12 nanometres, 13 microns, 14 decimetres, 15 decametres, 16 hectometres, 17 gigametres,
// 18 astronomical units, 19 light years, 20 parsecs, 21 US survey feet.
constexpr double kDxfUnitCentimetres[] = {0.0,
                                          2.54,
                                          30.48,
                                          160934.4,
                                          0.1,
                                          1.0,
                                          100.0,
                                          100000.0,
                                          2.54e-6,
                                          2.54e-3,
                                          91.44,
                                          1e-8,
                                          1e-7,
                                          1e-4,
                                          10.0,
                                          1000.0,
                                          10000.0,
                                          1e11,
                                          1.495978707e13,
                                          9.4607304725808e17,
                                          3.0856775814913673e18,
                                          120000.0 / 3937.0};
constexpr int kDxfUnitCount = (int)(sizeof kDxfUnitCentimetres / sizeof kDxfUnitCentimetres[0]);

// The length of a unit code in centimetres; 0 for unitless and for codes the format does not have.
inline double DxfUnitCentimetres(int code) {
    return code > 0 && code < kDxfUnitCount ? kDxfUnitCentimetres[code] : 0.0;
}

// The code of a unit length in centimetres (within a relative 1e-9), -1 when none has it.
inline int DxfUnitCode(double centimetres) {
    for (int code = 1; code < kDxfUnitCount; ++code)
        if (std::fabs(centimetres - kDxfUnitCentimetres[code]) <= 1e-9 * kDxfUnitCentimetres[code])
            return code;
    return -1;
}

#endif  // OXA_FORMATS_GEOMETRY_DXF_VOXA_DXF_UNITS_H
