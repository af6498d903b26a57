#include "animation/euler_continuity.h"

#include <cmath>

const int kEulerAxesXYZ[3] = {0, 1, 2};

namespace {

// `angle` moved by whole turns so that it lies within half a turn of `reference`.
double TurnToward(double angle, double reference) {
    double turns = std::nearbyint((reference - angle) / 360.0);
    return angle + 360.0 * turns;
}

}  // namespace

void MakeEulerContinuous(const double current[3], double out[3], const double previous[3],
                         const int axes[3]) {
    const int i = axes[0], j = axes[1], k = axes[2];
    const double a = current[i], b = current[j], c = current[k];
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c) || !std::isfinite(previous[i]) ||
        !std::isfinite(previous[j]) || !std::isfinite(previous[k])) {
        out[i] = a;
        out[j] = b;
        out[k] = c;
        return;
    }
    const double plain[3] = {TurnToward(a, previous[i]), TurnToward(b, previous[j]),
                             TurnToward(c, previous[k])};
    const double flipped[3] = {TurnToward(a + 180.0, previous[i]), TurnToward(180.0 - b, previous[j]),
                               TurnToward(c + 180.0, previous[k])};
    const double ref[3] = {previous[i], previous[j], previous[k]};
    double dp = 0.0, df = 0.0;
    for (int n = 0; n < 3; ++n) {
        dp += (plain[n] - ref[n]) * (plain[n] - ref[n]);
        df += (flipped[n] - ref[n]) * (flipped[n] - ref[n]);
    }
    const double* best = df < dp ? flipped : plain;
    out[i] = best[0];
    out[j] = best[1];
    out[k] = best[2];
}
