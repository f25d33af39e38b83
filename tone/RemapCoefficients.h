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

// One thread's private memory for the points of a level: lanes on whole vectors
// (the AVX2 build stores them aligned; a std::vector of them is aligned for the
// baseline build's vectors only).
class CoefficientWorkspace {
 public:
  // Room for the points of level s whose scratch level is scratchWidth wide;
  // throws std::bad_alloc when memory runs out.
  void PrepareForLevel(int s, int scratchWidth);
  FloatLanes* Lanes() const { return lanes_; }
  uint16_t* ColumnLow() { return low_.data(); }
  uint16_t* ColumnHigh() { return high_.data(); }

 private:
  std::vector<float> store_;
  FloatLanes* lanes_ = nullptr;
  std::vector<uint16_t> low_, high_;
};

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

// Computes every coefficient of level s as the remapping passes replace it and
// stores it in laplace (level s, packed). gauss holds the Gaussian levels 0 .. s + 1 of the width x
// height plane; scratch describes the level the points remap (RemapLevelGeometry(s).scratchLevel).
// One workspace per thread.
// Returns false when the cancel flag stopped it part way.
bool RemapLevelCoefficients(float* laplace, const float* const* gauss, int s, int width, int height,
                            const RemapCurve& curve, const ScratchValues& scratch,
                            std::vector<CoefficientWorkspace>& workspaces,
                            const JobProgress* progress);
