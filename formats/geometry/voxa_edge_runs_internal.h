// The walk over the runs of a mesh's edges that the smoothing rules share (the DXF reader's small
// angle, the 3DS writer's smoothing masks).
#pragma once

#include <cstddef>
#include <vector>

// Calls pair(x, y) for the faces' edges x before y that meet along one edge of a mesh, as a
// smoothing rule judges them: `edges` are sorted so that those between one pair of vertices (mLow,
// mHigh) follow each other. Every two of a run of up to 8 are paired; in a longer run (an edge of
// many faces, no surface) only neighbours, which keeps the walk linear.
template <typename Edge, typename Pair>
void VOxaForEachEdgePair(const std::vector<Edge>& edges, Pair pair) {
    for (size_t start = 0; start < edges.size();) {
        size_t end = start + 1;
        while (end < edges.size() && edges[end].mLow == edges[start].mLow &&
               edges[end].mHigh == edges[start].mHigh)
            ++end;
        const size_t run = end - start;
        for (size_t i = start; i < end; ++i)
            for (size_t j = i + 1; j < end && (run <= 8 || j == i + 1); ++j)
                pair(edges[i], edges[j]);
        start = end;
    }
}
