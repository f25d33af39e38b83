#pragma once

#include <vector>

#include "picture/JobProgress.h"
#include "tone/ToneRemap.h"

// The remapping pass computed point by point. A literal pass copies the whole
// scratch level, remaps the windows of its grid points, rebuilds the scratch
// pyramid of the whole plane and keeps one coefficient per grid point. Each kept
// coefficient depends only on the values of its own window (the window is exactly
// the reach of the reduces and the expand behind it, and mirroring at the borders
// stays inside it), so here each grid point remaps just the values it needs into
// a small private pyramid and computes its coefficient with the same arithmetic:
// the result is bit for bit the literal one, at a fraction of the work.

// Floats of private memory one thread needs for the points of level s.
size_t CoefficientWorkspaceSize(int s);

// The values of a plane that lie on a grid: every value v is k / scale for an
// integer 0 <= k < 65536, bit for bit (8-bit pictures give scale 1, 16-bit ones
// 256). A window holds at most a few hundred distinct values then, so each is
// remapped once and looked up. scale 0: no such grid.
struct ValueGrid {
  float scale = 0.0f;
  int first = 0;     // the lowest k of the plane
  int distinct = 0;  // highest k - first + 1
};
ValueGrid FindValueGrid(const float* plane, size_t count);

// Computes every coefficient of level s as the remapping passes replace it and
// stores it in laplace (level s, packed). gauss holds the Gaussian levels 0 .. s + 1 of the width x
// height plane; grid is that of the level the points remap (RemapLevelGeometry(s).scratchLevel).
// One workspace of CoefficientWorkspaceSize(s) floats per thread.
// Returns false when the cancel flag stopped it part way.
bool RemapLevelCoefficients(float* laplace, const float* const* gauss, int s, int width, int height,
                            const RemapCurve& curve, ValueGrid grid,
                            std::vector<std::vector<float>>& workspaces,
                            const JobProgress* progress);
