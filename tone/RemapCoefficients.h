#pragma once

#include <cstdint>
#include <vector>

#include "picture/JobProgress.h"
#include "tone/TonePyramid.h"
#include "tone/ToneRemap.h"

// The remapping passes computed point by point. A literal pass copies the whole
// scratch level, remaps the windows of its grid points, rebuilds the scratch
// pyramid of the whole plane and keeps one coefficient per grid point. Each kept
// coefficient depends only on the values of its own window (the window is exactly
// the reach of the reduces and the expand behind it, and mirroring at the borders
// stays inside it), and every value the pyramid computes is the same expression of
// the same inputs wherever it is computed. So the coefficient of a point is that
// of the scratch level remapped as a whole about the point's reference, computed
// over just the span of each level it needs.
//
// Points go in groups of eight neighbours, one per vector lane: every element of
// the group's spans holds the eight remaps of one value, one about each point's
// reference, and the small pyramid is built for all eight at once. Each lane goes
// through the operations of the plain version: the result is the literal one bit
// for bit.

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

// The level whose values the points of a level remap: its grid, and when it has
// one, each value as its position on it (k - grid.first).
struct ScratchValues {
  ValueGrid grid;
  std::vector<uint16_t> positions;
};
// Throws std::bad_alloc when memory runs out.
ScratchValues FindScratchValues(const float* plane, size_t count);

// A plane's pyramid as the remapping passes read and replace it.
struct RemapPyramid {
  const float* const* gauss = nullptr;  // Gaussian levels 0 .. levels
  float* const* laplace = nullptr;      // Laplacian levels 0 .. levels - 1, each packed
  int width = 0;                        // of level 0
  int height = 0;
  int levels = 0;
};

// Computes every coefficient of every Laplacian level as the remapping passes
// replace it. The rows of groups of all levels, the coarsest level first, are
// one list that the threads share: the levels are independent of each other, so
// no thread waits for another until the end. Advances progress by 2 as each
// level begins. Returns false when the cancel flag stopped it part way; throws
// std::bad_alloc when memory runs out (before any coefficient is replaced).
bool RemapCoefficients(const RemapPyramid& pyramid, const RemapCurve& curve, JobProgress* progress);
