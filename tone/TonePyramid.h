#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The tone mapper's own 5 x 5 Gaussian pyramid on float planes.
//
// Reduce: the picture is filtered with (1 4 6 4 1)/16 in both directions and every
// second sample is kept (destination (X, Y) is centred on source (2X, 2Y)); a
// destination has (n + 1) / 2 samples per line of n.
// Expand: the source is spread onto every second sample of a grid of the
// destination's size (zeros in between), filtered with the same kernel and
// multiplied by 4; a destination has 2n or 2n - 1 samples per line of n.
// Borders mirror without repeating the end sample (reflect-101) on the grid being
// filtered: the source for reduce, the zero-filled destination grid for expand.
//
// The exact arithmetic, which defines every result of the tone mapper (single
// precision, evaluated in this order, the vertical pass first):
//   reduce, each pass:  t = ((p[-2] + p[2]) + (p[-1] + p[1]) * 4) + p[0] * 6
//           result:     horizontal(vertical) * (1 / 256)
//   expand, a sample on the grid (even position):  t = (p[-1] + p[1]) + p[0] * 6
//           between grid samples (odd position):   t = (p[0] + p[1]) * 4
//           (p indexing the source line, neighbours found through the mirrored grid)
//           result:     horizontal(vertical) * (1 / 64)
// Every output is the same expression of the same inputs whichever rectangle is
// computed, so a part of a level computed alone equals the same part of the
// whole level bit for bit.

// Position of sample p on a line of n samples mirrored at both ends without
// repeating the end sample: ... 2 1 | 0 1 ... n-2 n-1 | n-2 n-3 ...
inline int Reflect101(int p, int n) {
  if (n == 1) return 0;
  while (p < 0 || p >= n)
    p = p < 0 ? -p : 2 * (n - 1) - p;
  return p;
}

// Eight values of one pyramid element side by side: the same element of eight
// differently remapped planes. Each lane goes through the very operations of a
// plain float, so each lane holds what the float version computes.
using FloatLanes = float __attribute__((vector_size(32)));
constexpr int kFloatLanes = 8;

// Lanes in memory of their own, aligned to whole vectors: the AVX2 build loads
// and stores lanes as aligned vectors. (A std::vector of lanes is aligned only as
// the baseline build's vectors are, half that: keep lanes in a LaneStore.)
class LaneStore {
 public:
  explicit LaneStore(size_t count = 0) { Resize(count); }
  // Room for count lanes (what they held is lost); throws std::bad_alloc when
  // memory runs out.
  void Resize(size_t count);
  FloatLanes* Data() const { return lanes_; }
  FloatLanes& operator[](size_t i) const { return lanes_[i]; }

 private:
  std::vector<float> store_;
  FloatLanes* lanes_ = nullptr;
};

// A rectangle of one pyramid level held in memory: element (x, y) of the level,
// in the level's own coordinates, is data[(y - top) * stride + (x - left)].
template <class Element>
struct PyramidArea {
  Element* data = nullptr;
  ptrdiff_t stride = 0;
  int left = 0;
  int top = 0;

  Element* At(int x, int y) const { return data + (y - top) * stride + (x - left); }
};
using LevelArea = PyramidArea<float>;
using LaneArea = PyramidArea<FloatLanes>;

// Destination rows a reduce computes at once.
constexpr int kReduceRowsAtOnce = 2;

// Computes the destination elements x0 <= x < x1, y0 <= y < y1 of the reduce of a
// srcWidth x srcHeight level. src must hold every source element those outputs
// read; temp must hold kReduceRowsAtOnce * (2 * (x1 - x0) + 3) elements.
void ReduceArea(const LevelArea& dst, int x0, int y0, int x1, int y1, const LevelArea& src,
                int srcWidth, int srcHeight, float* temp);
void ReduceArea(const LaneArea& dst, int x0, int y0, int x1, int y1, const LaneArea& src,
                int srcWidth, int srcHeight, FloatLanes* temp);

// A rectangle of a level of lanes kept as positions in a table of lanes: element
// (x, y) is table[index[(y - top) * stride + (x - left)] - offset]. Reducing it
// gives what reducing the looked-up rectangle gives, without writing it out.
struct LookedUpArea {
  const uint16_t* index = nullptr;
  ptrdiff_t stride = 0;
  int left = 0;
  int top = 0;
  const FloatLanes* table = nullptr;
  int offset = 0;
};
void ReduceArea(const LaneArea& dst, int x0, int y0, int x1, int y1, const LookedUpArea& src,
                int srcWidth, int srcHeight, FloatLanes* temp);

// Computes the destination elements x0 <= x < x1, y0 <= y < y1 of the expand of a
// level into a dstWidth x dstHeight level. src must hold every source element
// those outputs read; temp must hold (x1 - x0) / 2 + 3 elements.
void ExpandArea(const LevelArea& dst, int x0, int y0, int x1, int y1, const LevelArea& src,
                int dstWidth, int dstHeight, float* temp);
void ExpandArea(const LaneArea& dst, int x0, int y0, int x1, int y1, const LaneArea& src,
                int dstWidth, int dstHeight, FloatLanes* temp);

// Whole packed planes: dst gets (srcWidth + 1) / 2 x (srcHeight + 1) / 2 elements.
void ToneReduce(float* dst, const float* src, int srcWidth, int srcHeight);
// dst gets dstWidth x dstHeight elements, each 2 * src - 1 or 2 * src.
void ToneExpand(float* dst, int dstWidth, int dstHeight, const float* src, int srcWidth,
                int srcHeight);
