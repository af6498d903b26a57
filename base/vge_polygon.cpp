#include "base/vge_polygon.h"

void VgeTriangulatePolygon(int* corners, int n) {
    if (n < 3) return;
    const int total = n - 2;
    int* out = corners;
    out[0] = 0;
    out[1] = 1;
    out[2] = 2;
    out += 3;
    int done = 1;
    int low = 3, high = n - 1, prevLow = 2, prevHigh = 0;
    while (low <= high && done < total) {
        out[0] = prevLow;
        out[1] = low;
        out[2] = prevHigh;
        out += 3;
        if (++done == total) break;
        out[0] = prevHigh;
        out[1] = low;
        out[2] = high;
        out += 3;
        ++done;
        prevLow = low;
        prevHigh = high;
        ++low;
        --high;
    }
}
