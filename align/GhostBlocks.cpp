#include "align/GhostBlocks.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include <tbb/parallel_for.h>

namespace {

// One row of blocks in one pass over the pixels, summed in whole numbers.
template <typename Sample, int k>
void ReduceBlockRow(const SBxPicBuf& picture, int r, GhostBlocks* blocks) {
  using Sum = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;
  const int block = blocks->block;
  const size_t stride = picture.components;
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const uint32_t clipAt = static_cast<uint32_t>(std::ceil(kClipLevel * full));
  const uint32_t blackAt = static_cast<uint32_t>(std::floor(kBlackLevel * full));
  const int columns = blocks->columns;
  std::vector<Sum> sum(static_cast<size_t>(columns) * k), squares(sum.size());
  std::vector<uint32_t> bounded(columns, 0), low(columns, clipAt), high(columns, 0);
  const int y0 = r * block, y1 = std::min(picture.height, y0 + block);
  for (int y = y0; y < y1; ++y) {
    const Sample* row = reinterpret_cast<const Sample*>(RowPtr(picture, y));
    for (int bx = 0; bx < columns; ++bx) {
      const int x1 = std::min(picture.width, (bx + 1) * block);
      // A block's stretch of the row in locals, then added to the block: the
      // sums stay in registers.
      Sum s[k] = {}, q[k] = {};
      uint32_t stretchBounded = 0, stretchLow = clipAt, stretchHigh = 0;
      for (int x = bx * block; x < x1; ++x) {
        const Sample* pixel = row + static_cast<size_t>(x) * stride;
        uint32_t pixelLow = pixel[0], pixelHigh = pixel[0];
        for (int j = 0; j < k; ++j) {
          const uint32_t v = pixel[j];
          s[j] += v;
          q[j] += static_cast<Sum>(v) * v;
          pixelLow = std::min(pixelLow, v);
          pixelHigh = std::max(pixelHigh, v);
        }
        stretchBounded += pixelHigh >= clipAt || pixelLow <= blackAt;
        stretchLow = std::min(stretchLow, pixelLow);
        stretchHigh = std::max(stretchHigh, pixelHigh);
      }
      for (int j = 0; j < k; ++j) {
        sum[bx * k + j] += s[j];
        squares[bx * k + j] += q[j];
      }
      bounded[bx] += stretchBounded;
      low[bx] = std::min(low[bx], stretchLow);
      high[bx] = std::max(high[bx], stretchHigh);
    }
  }
  for (int c = 0; c < columns; ++c) {
    const int pixels = (std::min(picture.width, (c + 1) * block) - c * block) * (y1 - y0);
    const double n = pixels;
    const size_t b = static_cast<size_t>(r) * columns + c;
    float spread = 0.0f;
    for (int j = 0; j < k; ++j) {
      const double m = static_cast<double>(sum[c * k + j]) / n;
      const double variance = static_cast<double>(squares[c * k + j]) / n - m * m;
      blocks->mean[b * k + j] = static_cast<float>(m / full);
      spread = std::max(spread, static_cast<float>(std::sqrt(std::max(0.0, variance)) / full));
    }
    blocks->spread[b] = spread;
    blocks->bounded[b] = static_cast<uint8_t>(255 * bounded[c] / static_cast<uint32_t>(pixels));
    blocks->flags[b] = static_cast<uint8_t>((high[c] >= clipAt ? kBlockClipped : 0) |
                                            (low[c] <= blackAt ? kBlockBlack : 0));
  }
}

// The spread of the calmest tenth of the well-exposed blocks: there it is
// mostly noise.
float NoiseOf(const GhostBlocks& blocks) {
  std::vector<float> spreads;
  for (int b = 0; b < blocks.Count(); ++b)
    if (blocks.flags[b] == 0) spreads.push_back(blocks.spread[b]);
  if (spreads.empty()) return 0.0f;
  auto tenth = spreads.begin() + static_cast<std::ptrdiff_t>(spreads.size() / 10);
  std::nth_element(spreads.begin(), tenth, spreads.end());
  return *tenth;
}

}  // namespace

float GhostCurve::Map(float value) const {
  const float last = kGhostCurvePoints - 1;
  const float u = std::clamp(value, 0.0f, 1.0f) * last;
  const int i = std::min(static_cast<int>(u), kGhostCurvePoints - 2);
  const float t = u - static_cast<float>(i);
  return points[i] + t * (points[i + 1] - points[i]);
}

float GhostCurve::Slope(float value) const {
  const float last = kGhostCurvePoints - 1;
  const int i =
      std::min(static_cast<int>(std::clamp(value, 0.0f, 1.0f) * last), kGhostCurvePoints - 2);
  return (points[i + 1] - points[i]) * last;
}

int GhostBlockSide(int width, int height) {
  const int longer = std::max(width, height);
  return (std::max(8, (longer + 511) / 512) + kCellsPerSide - 1) / kCellsPerSide * kCellsPerSide;
}

bool GhostSupported(const SBxPicBuf& picture) {
  return !IsEmpty(picture) && (picture.bitsPerComponent == 8 || picture.bitsPerComponent == 16) &&
         picture.components >= 1 && picture.components <= 4 && picture.width >= 8 &&
         picture.height >= 8;
}

void ReduceToBlocks(const SBxPicBuf& picture, int block, GhostBlocks* blocks) {
  blocks->block = block;
  blocks->columns = (picture.width + block - 1) / block;
  blocks->rows = (picture.height + block - 1) / block;
  blocks->components = picture.components >= 3 ? 3 : 1;
  const size_t count = static_cast<size_t>(blocks->Count());
  blocks->mean.assign(count * blocks->components, 0.0f);
  blocks->spread.assign(count, 0.0f);
  blocks->flags.assign(count, 0);
  blocks->bounded.assign(count, 0);
  const int side = block / kCellsPerSide;
  blocks->cellColumns = (picture.width + side - 1) / side;
  blocks->cellRows = (picture.height + side - 1) / side;
  tbb::parallel_for(0, blocks->rows, [&](int r) {
    const bool colour = blocks->components == 3;
    if (picture.bitsPerComponent == 8) {
      colour ? ReduceBlockRow<uint8_t, 3>(picture, r, blocks)
             : ReduceBlockRow<uint8_t, 1>(picture, r, blocks);
    } else {
      colour ? ReduceBlockRow<uint16_t, 3>(picture, r, blocks)
             : ReduceBlockRow<uint16_t, 1>(picture, r, blocks);
    }
  });
  blocks->noise = NoiseOf(*blocks);
}

float CellLumaOf(const uint16_t* cell, int components, const GhostCurve* curves) {
  static constexpr float kColour[3] = {0.114f, 0.587f, 0.299f};
  float sum = 0.0f;
  for (int j = 0; j < components; ++j) {
    const float v = static_cast<float>(cell[j]) / 65535.0f;
    sum += (components == 1 ? 1.0f : kColour[j]) * (curves ? curves[j].Map(v) : v);
  }
  return sum;
}

namespace {

template <typename Sample>
uint16_t BlockCellsOf(const SBxPicBuf& picture, const GhostBlocks& blocks, int b, uint16_t* out) {
  using Sum = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;
  const int k = blocks.components, side = blocks.block / kCellsPerSide;
  const size_t stride = picture.components;
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const Sample highAt = static_cast<Sample>(std::ceil(kCellHighLevel * full));
  const Sample lowAt = static_cast<Sample>(std::floor(kCellLowLevel * full));
  uint16_t bounded = 0;
  const int cx0 = b % blocks.columns * kCellsPerSide, cy0 = b / blocks.columns * kCellsPerSide;
  const int cx1 = std::min(cx0 + kCellsPerSide, blocks.cellColumns);
  const int cy1 = std::min(cy0 + kCellsPerSide, blocks.cellRows);
  for (int cy = cy0; cy < cy1; ++cy)
    for (int cx = cx0; cx < cx1; ++cx) {
      const int x0 = cx * side, x1 = std::min(picture.width, x0 + side);
      const int y0 = cy * side, y1 = std::min(picture.height, y0 + side);
      Sum sum[kGhostMaxComponents] = {};
      Sample low = highAt, high = 0;
      for (int y = y0; y < y1; ++y) {
        const Sample* row = reinterpret_cast<const Sample*>(RowPtr(picture, y));
        for (int x = x0; x < x1; ++x)
          for (int j = 0; j < k; ++j) {
            const Sample v = row[static_cast<size_t>(x) * stride + j];
            sum[j] += v;
            low = std::min(low, v);
            high = std::max(high, v);
          }
      }
      if (high >= highAt || low <= lowAt)
        bounded |= static_cast<uint16_t>(1u << ((cy - cy0) * kCellsPerSide + (cx - cx0)));
      // On the 16-bit scale, which holds a mean to a step of either depth.
      const float scale = 65535.0f / (static_cast<float>((x1 - x0) * (y1 - y0)) * full);
      uint16_t* cell = out + ((cy - cy0) * kCellsPerSide + (cx - cx0)) * k;
      for (int j = 0; j < k; ++j)
        cell[j] = static_cast<uint16_t>(static_cast<float>(sum[j]) * scale + 0.5f);
    }
  return bounded;
}

}  // namespace

uint16_t BlockCells(const SBxPicBuf& picture, const GhostBlocks& blocks, int b, uint16_t* out) {
  return picture.bitsPerComponent == 8 ? BlockCellsOf<uint8_t>(picture, blocks, b, out)
                                       : BlockCellsOf<uint16_t>(picture, blocks, b, out);
}

std::vector<float> CellLuma(const SBxPicBuf& picture, const GhostBlocks& blocks,
                            const GhostCurve* curves, std::vector<uint16_t>* boundedCells) {
  std::vector<float> luma(static_cast<size_t>(blocks.cellColumns) * blocks.cellRows);
  if (boundedCells) boundedCells->assign(static_cast<size_t>(blocks.Count()), 0);
  tbb::parallel_for(0, blocks.Count(), [&](int b) {
    uint16_t cells[kCellsPerSide * kCellsPerSide * kGhostMaxComponents];
    const uint16_t bounded = BlockCells(picture, blocks, b, cells);
    if (boundedCells) (*boundedCells)[b] = bounded;
    const int cx0 = b % blocks.columns * kCellsPerSide, cy0 = b / blocks.columns * kCellsPerSide;
    const int cx1 = std::min(cx0 + kCellsPerSide, blocks.cellColumns);
    const int cy1 = std::min(cy0 + kCellsPerSide, blocks.cellRows);
    for (int cy = cy0; cy < cy1; ++cy)
      for (int cx = cx0; cx < cx1; ++cx)
        luma[static_cast<size_t>(cy) * blocks.cellColumns + cx] =
            CellLumaOf(&cells[((cy - cy0) * kCellsPerSide + (cx - cx0)) * blocks.components],
                       blocks.components, curves);
  });
  return luma;
}

namespace {

constexpr int kPictureBins = 64;
constexpr int kReferenceBins = 256;

struct CurvePoint {
  double picture = 0.0;    // mean picture value of the bin
  double reference = 0.0;  // median reference value
  double weight = 0.0;     // blocks
};

// Non-decreasing least-squares fit of the reference values (pool adjacent
// violators): a brighter picture value never maps darker.
void MakeMonotone(std::vector<CurvePoint>* points) {
  struct Pool {
    double weight, sum;
    size_t first, last;
    double Value() const { return sum / weight; }
  };
  std::vector<Pool> pools;
  for (size_t i = 0; i < points->size(); ++i) {
    const CurvePoint& p = (*points)[i];
    pools.push_back({p.weight, p.weight * p.reference, i, i});
    while (pools.size() > 1 && pools[pools.size() - 2].Value() > pools.back().Value()) {
      const Pool top = pools.back();
      pools.pop_back();
      pools.back().weight += top.weight;
      pools.back().sum += top.sum;
      pools.back().last = top.last;
    }
  }
  for (const Pool& pool : pools)
    for (size_t i = pool.first; i <= pool.last; ++i)
      (*points)[i].reference = pool.Value();
}

}  // namespace

bool EstimateGhostCurve(const GhostBlocks& picture, const GhostBlocks& reference, int k,
                        GhostCurve* curve) {
  for (int i = 0; i < kGhostCurvePoints; ++i)
    curve->points[i] = static_cast<float>(i) / (kGhostCurvePoints - 1);
  // A gain first, from the blocks well exposed in both: blocks far from it
  // (what moved, in quantity enough to bend a bin) stay out of the curve.
  const int components = picture.components;
  std::vector<float> ratios;
  for (int b = 0; b < picture.Count(); ++b) {
    if (picture.flags[b] != 0 || reference.flags[b] != 0) continue;
    const float p = picture.mean[static_cast<size_t>(b) * components + k];
    const float r = reference.mean[static_cast<size_t>(b) * components + k];
    if (p >= 0.1f && r >= 0.1f && p <= 0.9f && r <= 0.9f) ratios.push_back(r / p);
  }
  // Too little in common (a night frame nearly all black) tells nothing.
  if (ratios.size() < std::max<size_t>(16, static_cast<size_t>(picture.Count()) / 50)) return false;
  auto middle = ratios.begin() + static_cast<std::ptrdiff_t>(ratios.size() / 2);
  std::nth_element(ratios.begin(), middle, ratios.end());
  const float gain = *middle;
  // The joint histogram of the blocks well exposed in both.
  std::vector<uint32_t> joint(static_cast<size_t>(kPictureBins) * kReferenceBins, 0);
  std::vector<double> pictureSum(kPictureBins, 0.0);
  std::vector<uint32_t> binCount(kPictureBins, 0);
  uint32_t total = 0;
  for (int b = 0; b < picture.Count(); ++b) {
    if (picture.flags[b] != 0 || reference.flags[b] != 0) continue;
    const float p = picture.mean[static_cast<size_t>(b) * components + k];
    const float r = reference.mean[static_cast<size_t>(b) * components + k];
    // A camera's tone curve bends an exposure step away from a pure gain,
    // but not this far.
    if (std::abs(r - gain * p) > 0.05f + 0.3f * std::max(r, gain * p)) continue;
    const int pb = std::min(static_cast<int>(p * kPictureBins), kPictureBins - 1);
    const int rb = std::min(static_cast<int>(r * kReferenceBins), kReferenceBins - 1);
    ++joint[static_cast<size_t>(pb) * kReferenceBins + rb];
    pictureSum[pb] += p;
    ++binCount[pb];
    ++total;
  }
  // Each picture bin with enough blocks gives its median reference value, read
  // between the reference bins' edges; a moving thing is an outlier there.
  const uint32_t enough = std::max<uint32_t>(3, total / 2000);
  std::vector<CurvePoint> points;
  for (int pb = 0; pb < kPictureBins; ++pb) {
    if (binCount[pb] < enough) continue;
    const uint32_t* row = &joint[static_cast<size_t>(pb) * kReferenceBins];
    const double half = binCount[pb] / 2.0;
    double below = 0.0;
    int rb = 0;
    while (below + row[rb] < half)
      below += row[rb++];
    const double median = (rb + (half - below) / std::max<uint32_t>(row[rb], 1)) / kReferenceBins;
    points.push_back({pictureSum[pb] / binCount[pb], median, static_cast<double>(binCount[pb])});
  }
  if (points.size() < 2) return false;
  MakeMonotone(&points);
  // Between the points linear; beyond them a constant ratio, as a power-law
  // tone curve gives for a change of exposure.
  const double lowRatio = points.front().reference / std::max(points.front().picture, 1e-3);
  const double highRatio = points.back().reference / std::max(points.back().picture, 1e-3);
  size_t segment = 0;
  for (int i = 0; i < kGhostCurvePoints; ++i) {
    const double v = static_cast<double>(i) / (kGhostCurvePoints - 1);
    double mapped;
    if (v <= points.front().picture) {
      mapped = v * lowRatio;
    } else if (v >= points.back().picture) {
      mapped = v * highRatio;
    } else {
      while (points[segment + 1].picture < v)
        ++segment;
      const CurvePoint& a = points[segment];
      const CurvePoint& b = points[segment + 1];
      mapped =
          a.reference + (v - a.picture) / (b.picture - a.picture) * (b.reference - a.reference);
    }
    curve->points[i] = static_cast<float>(mapped);
  }
  // The extrapolated ends may cross the fitted part where the ratio changes.
  for (int i = 1; i < kGhostCurvePoints; ++i)
    curve->points[i] = std::max(curve->points[i], curve->points[i - 1]);
  return true;
}
