#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "picture/SBxPicBuf.h"

// Ghost weights: for every picture of a series, a weight in [0, 1] per pixel
// that is low where the picture shows something other than the reference
// picture (a person who walked, a car that passed) and 1 where the two agree.
// The fusion multiplies its own weights by them, so a moving thing appears
// once, solid, as the reference shows it.
//
// How: every picture is reduced to blocks (means and spreads per component,
// and whether a block holds clipped or black pixels). The picture's values are
// mapped onto the reference's brightness by a monotone curve per component,
// estimated from the blocks well exposed in both (the median reference value
// for each picture value of their joint histogram), so exposure values need
// not be known. A block disagrees where the mapped picture and the reference
// differ by more than their noise, the block's texture (what a residual
// misalignment moves) and a small share of the value explain; a clipped or
// black block is a bound and disagrees only beyond it. Inside a block, the
// pattern of its 4 x 4 cells is compared too, over the cells both pictures
// expose well (a bright frame clips a few pixels of most textured blocks):
// what a shift of up to a cell or a slightly different contrast cannot make
// of the reference's pattern is a changed texture (leaves, water) even where
// mean and spread stay. Decisions are made on regions: an isolated block is
// dropped as noise, a rejected region grows by a block to take in its edges,
// and the weight falls off smoothly over a few blocks around it, so the
// pyramid blend leaves no seam.
//
// Where the reference is clipped or black it says nothing; there the first
// picture in input order that exposes the block far better and is kept there
// takes over as the stand-in (a few clipped or black pixels, a glint, make
// its values bounds, as the reference's are), and later pictures are
// compared with it (a better exposed picture that agrees replaces it), so a
// moving thing in a blown-out sky is kept once and not lost to a hole. The
// stand-in's weights are final when it is added, so a later picture that
// shows the thing elsewhere is kept out there, whichever of the two lies
// nearer the reference in the bracket: the thing appears once, solid, where
// the first picture has it.
//
// Memory does not grow with the number of pictures: the detector keeps the
// reference's blocks, the luminance of its cells and the stand-ins, about
// 20 MB for 12 megapixels.

// Strength of the rejection: 0 rejects nothing; larger values reject smaller
// disagreements (each step of 2.5 halves the tolerated difference around 5).
constexpr int kGhostStrengthMax = 10;

// The monotone map of one component's values (0..1) onto the reference's
// scale, through `kGhostCurvePoints` evenly spaced points; values between are
// interpolated, and the map may exceed 1 where the picture is darker than the
// reference (it then tells what the clipped reference would have shown).
constexpr int kGhostCurvePoints = 65;
struct GhostCurve {
  std::array<float, kGhostCurvePoints> points{};
  float Map(float value) const;
  // The slope at `value`: how much the picture's noise grows in the mapping.
  float Slope(float value) const;
};

// The weights of one picture, held at the detector's block resolution: block
// (c, r) covers pixels [c * block, (c + 1) * block) x [r * block, ...), and the
// weight between block centres is interpolated linearly.
struct GhostWeights {
  int width = 0;  // the picture's size
  int height = 0;
  int block = 1;    // block side in pixels
  int columns = 0;  // blocks per row and column
  int rows = 0;
  std::vector<float> values;  // per block, rows packed; empty means all 1
  // Share of the picture's blocks that were rejected (0..1).
  float rejected = 0.0f;

  // Nothing lowered: a caller may leave its weights as they are.
  bool AllOne() const { return values.empty(); }
  // The weights of pixels x0..x0+count-1 of row y (within the picture).
  void Row(int y, int x0, int count, float* out) const;
  // Per row of the picture, whether Row gives exactly 1 all along it: rows a
  // caller may skip, since a lowered region covers few of them.
  std::vector<uint8_t> OneRows() const;

 private:
  // The two rows of blocks whose weights row y interpolates, and its share of
  // the second.
  void BlockRows(int y, int* r0, int* r1, float* t) const;
};

// Every pixel's weight as an 8-bit (0..255) or 32-bit float (0..1) plane of
// one component: an empty picture is allocated at 8 bits, a non-empty one must
// have the weights' size and one component. True on failure (nothing written).
bool ExpandGhostWeights(const GhostWeights& weights, SBxPicBuf* plane);
// The same over `region` of the picture (lying inside it): an empty plane is allocated with
// the region's size, a non-empty one must have it.
bool ExpandGhostWeights(const GhostWeights& weights, const CBxRect& region, SBxPicBuf* plane);

struct GhostDetectorState;

// Contract for a streaming caller (as the series aligner takes pictures):
// - Start with the reference picture (8 or 16 bits, 1 to 4 components, the
//   first three compared), then Add every picture 0..count-1 in increasing
//   order, each once, the reference's too (its pictures is not looked at and
//   gets weights all 1). Pictures already moved onto the reference's frame.
// - The weights of a picture are final when Add returns: nothing is held back.
// - Results depend on the pictures and their order only, not on the thread
//   count. Not thread-safe: one caller at a time.
class GhostDetector {
 public:
  GhostDetector();
  ~GhostDetector();
  GhostDetector(const GhostDetector&) = delete;
  GhostDetector& operator=(const GhostDetector&) = delete;

  // True when the reference is not supported (no pixels, another depth, a
  // side below 8), the numbers make no series, or memory ran out; every Add
  // then gives weights all 1. Strength is limited to 0..kGhostStrengthMax.
  bool Start(const SBxPicBuf& reference, int count, int referenceIndex, int strength);
  // Picture `index`, the next in input order. `weights` is always filled
  // (all 1 when the picture cannot be compared). True when there is no
  // series, `index` is not the next one, the picture's size or depth differs
  // from the reference's, one is colour and the other not, or memory ran out.
  bool Add(int index, const SBxPicBuf& picture, GhostWeights* weights);
  // Gives the last added picture back what its lowered weights would take
  // from the fusion (GhostRepair.h): `reference` is the picture Start was
  // given, `picture` and `weights` those of the last Add. True (nothing
  // changed) when they do not fit; may be skipped, the weights alone keep the
  // moving thing out.
  bool Repair(const SBxPicBuf& reference, SBxPicBuf* picture, GhostWeights* weights) const;
  // The map of the last added picture onto the reference, per component
  // (identity for the reference and for pictures that could not be compared).
  const GhostCurve& LastCurve(int component) const;
  // Memory held, in bytes.
  size_t Bytes() const;

 private:
  std::unique_ptr<GhostDetectorState> state_;
};
