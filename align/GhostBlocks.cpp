#include "align/GhostBlocks.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <memory>
#include <type_traits>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "picture/VectorClones.h"

namespace {

// Per sample of a picture row (components interleaved): the sums of the
// values and their squares, their lowest and highest, over the rows of one
// row of blocks; and per pixel how many of those rows held a clipped or black
// component. Loops over the flat row of samples, which the compiler
// vectorises; the blocks are folded from them once the rows are summed.
template <typename Sample>
struct SampleColumns {
  using Square = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;
  // Not zeroed when made: each row of blocks clears them first.
  size_t samples, pixels;
  std::unique_ptr<uint32_t[]> sum = std::make_unique_for_overwrite<uint32_t[]>(samples);
  std::unique_ptr<Square[]> squares = std::make_unique_for_overwrite<Square[]>(samples);
  std::unique_ptr<Sample[]> low = std::make_unique_for_overwrite<Sample[]>(samples);
  std::unique_ptr<Sample[]> high = std::make_unique_for_overwrite<Sample[]>(samples);
  std::unique_ptr<uint32_t[]> bounded = std::make_unique_for_overwrite<uint32_t[]>(pixels);

  void Clear() {
    std::fill_n(sum.get(), samples, 0u);
    std::fill_n(squares.get(), samples, Square{0});
    std::fill_n(low.get(), samples, std::numeric_limits<Sample>::max());
    std::fill_n(high.get(), samples, Sample{0});
    std::fill_n(bounded.get(), pixels, 0u);
  }
};

template <typename Sample, typename Square>
MELVARO_INLINE void AddSampleRow(const Sample* __restrict row, size_t samples,
                                 uint32_t* __restrict sum, Square* __restrict squares,
                                 Sample* __restrict low, Sample* __restrict high) {
  for (size_t i = 0; i < samples; ++i) {
    const Sample v = row[i];
    sum[i] += v;
    squares[i] += static_cast<Square>(v) * v;
    low[i] = std::min(low[i], v);
    high[i] = std::max(high[i], v);
  }
}
MELVARO_VECTOR_CLONES void AddSampleRow8(const uint8_t* row, size_t samples, uint32_t* sum,
                                         uint32_t* squares, uint8_t* low, uint8_t* high) {
  AddSampleRow(row, samples, sum, squares, low, high);
}
MELVARO_VECTOR_CLONES void AddSampleRow16(const uint16_t* row, size_t samples, uint32_t* sum,
                                          uint64_t* squares, uint16_t* low, uint16_t* high) {
  AddSampleRow(row, samples, sum, squares, low, high);
}

// Whether a pixel has a clipped or black one among its first k components.
template <typename Sample, int k, int stride>
MELVARO_INLINE void AddBoundedRow(const Sample* __restrict row, size_t width, uint32_t clipAt,
                                  uint32_t blackAt, uint32_t* __restrict bounded) {
  for (size_t x = 0; x < width; ++x) {
    uint32_t out = 0;
    for (int j = 0; j < k; ++j) {
      const uint32_t v = row[x * stride + j];
      out |= static_cast<uint32_t>(v >= clipAt) | static_cast<uint32_t>(v <= blackAt);
    }
    bounded[x] += out;
  }
}

template <typename Sample, int k, int stride>
MELVARO_VECTOR_CLONES void AddBoundedRowOf(const Sample* row, size_t width, uint32_t clipAt,
                                           uint32_t blackAt, uint32_t* bounded) {
  AddBoundedRow<Sample, k, stride>(row, width, clipAt, blackAt, bounded);
}

// One row of blocks: every sample summed over the block's rows, then folded
// into the blocks per component, in whole numbers as they are exact.
template <typename Sample, int k, int stride>
void ReduceBlockRow(const SBxPicBuf& picture, int r, SampleColumns<Sample>* columnsOf,
                    GhostBlocks* blocks) {
  using Sum = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;
  const int block = blocks->block;
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const uint32_t clipAt = static_cast<uint32_t>(std::ceil(kClipLevel * full));
  const uint32_t blackAt = static_cast<uint32_t>(std::floor(kBlackLevel * full));
  const size_t width = static_cast<size_t>(picture.width);
  SampleColumns<Sample>& at = *columnsOf;
  at.Clear();
  const int y0 = r * block, y1 = std::min(picture.height, y0 + block);
  for (int y = y0; y < y1; ++y) {
    const Sample* row = reinterpret_cast<const Sample*>(RowPtr(picture, y));
    if constexpr (sizeof(Sample) == 1) {
      AddSampleRow8(row, width * stride, at.sum.get(), at.squares.get(), at.low.get(),
                    at.high.get());
    } else {
      AddSampleRow16(row, width * stride, at.sum.get(), at.squares.get(), at.low.get(),
                     at.high.get());
    }
    AddBoundedRowOf<Sample, k, stride>(row, width, clipAt, blackAt, at.bounded.get());
  }
  for (int c = 0; c < blocks->columns; ++c) {
    const int x0 = c * block, x1 = std::min(picture.width, x0 + block);
    Sum s[k] = {}, q[k] = {};
    uint32_t bounded = 0, low = std::numeric_limits<Sample>::max(), high = 0;
    for (int x = x0; x < x1; ++x) {
      const size_t i = static_cast<size_t>(x) * stride;
      for (int j = 0; j < k; ++j) {
        s[j] += at.sum[i + j];
        q[j] += at.squares[i + j];
        low = std::min<uint32_t>(low, at.low[i + j]);
        high = std::max<uint32_t>(high, at.high[i + j]);
      }
      bounded += at.bounded[x];
    }
    const int pixels = (x1 - x0) * (y1 - y0);
    const double n = pixels;
    const size_t b = static_cast<size_t>(r) * blocks->columns + c;
    float spread = 0.0f;
    for (int j = 0; j < k; ++j) {
      const double m = static_cast<double>(s[j]) / n;
      const double variance = static_cast<double>(q[j]) / n - m * m;
      blocks->mean[b * k + j] = static_cast<float>(m / full);
      spread = std::max(spread, static_cast<float>(std::sqrt(std::max(0.0, variance)) / full));
    }
    blocks->spread[b] = spread;
    blocks->bounded[b] = static_cast<uint8_t>(255 * bounded / static_cast<uint32_t>(pixels));
    blocks->flags[b] = static_cast<uint8_t>((high >= clipAt ? kBlockClipped : 0) |
                                            (low <= blackAt ? kBlockBlack : 0));
  }
}

// The rows of blocks [first, end), sharing one set of sample columns.
template <typename Sample, int k, int stride>
void ReduceBlockRows(const SBxPicBuf& picture, int first, int end, GhostBlocks* blocks) {
  SampleColumns<Sample> columns{static_cast<size_t>(picture.width) * stride,
                                static_cast<size_t>(picture.width)};
  for (int r = first; r < end; ++r)
    ReduceBlockRow<Sample, k, stride>(picture, r, &columns, blocks);
}

// fn.template operator()<Sample, k, stride>() for the picture's layout: its
// depth, the k components compared and the components of a pixel.
template <typename Sample, typename Fn>
void ForComponents(uint32_t components, const Fn& fn) {
  switch (components) {
    case 1:
      return fn.template operator()<Sample, 1, 1>();
    case 2:
      return fn.template operator()<Sample, 1, 2>();
    case 3:
      return fn.template operator()<Sample, 3, 3>();
    default:
      return fn.template operator()<Sample, 3, 4>();
  }
}

template <typename Fn>
void ForLayout(const SBxPicBuf& picture, const Fn& fn) {
  if (picture.bitsPerComponent == 8) {
    ForComponents<uint8_t>(picture.components, fn);
  } else {
    ForComponents<uint16_t>(picture.components, fn);
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
  // Bands of a few rows of blocks, each band's sample columns its own.
  tbb::parallel_for(
      tbb::blocked_range<int>(0, blocks->rows, 4), [&](const tbb::blocked_range<int>& rows) {
        ForLayout(picture, [&]<typename Sample, int k, int stride>() {
          ReduceBlockRows<Sample, k, stride>(picture, rows.begin(), rows.end(), blocks);
        });
      });
  blocks->noise = NoiseOf(*blocks);
}

namespace {

template <int k>
MELVARO_INLINE float CellLumaOfK(const uint16_t* cell, const GhostCurve* curves) {
  static constexpr float kColour[3] = {0.114f, 0.587f, 0.299f};
  float sum = 0.0f;
  for (int j = 0; j < k; ++j) {
    const float v = static_cast<float>(cell[j]) / 65535.0f;
    sum += (k == 1 ? 1.0f : kColour[j]) * (curves ? curves[j].Map(v) : v);
  }
  return sum;
}

// The levels from which a sample makes its cell's mean a bound (BlockCells).
template <typename Sample>
struct CellBounds {
  static constexpr float kFull = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  Sample high = static_cast<Sample>(std::ceil(kCellHighLevel * kFull));
  Sample low = static_cast<Sample>(std::floor(kCellLowLevel * kFull));
};

}  // namespace

float CellLumaOf(const uint16_t* cell, int components, const GhostCurve* curves) {
  return components == 1 ? CellLumaOfK<1>(cell, curves) : CellLumaOfK<3>(cell, curves);
}

namespace {

// The cells of block b: each cell row's pixel rows summed per sample of the
// block's stretch (a short flat run the compiler unrolls), then folded into
// its cells per component, with the cells that hold a bounding sample.
template <typename Sample, int k, int stride>
uint16_t BlockCellsOf(const SBxPicBuf& picture, const GhostBlocks& blocks, int b, uint16_t* out) {
  const int side = blocks.block / kCellsPerSide;
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const CellBounds<Sample> bounds;
  uint16_t bounded = 0;
  const int cx0 = b % blocks.columns * kCellsPerSide, cy0 = b / blocks.columns * kCellsPerSide;
  const int cx1 = std::min(cx0 + kCellsPerSide, blocks.cellColumns);
  const int cy1 = std::min(cy0 + kCellsPerSide, blocks.cellRows);
  const int x0 = cx0 * side, x1 = std::min(picture.width, cx1 * side);
  const size_t samples = static_cast<size_t>(x1 - x0) * stride;
  // Sums of 16-bit samples over a cell's rows fit 32 bits while a cell is
  // under 65537 rows tall.
  std::vector<uint32_t> columns(samples);
  std::vector<uint8_t> beyond(samples);
  for (int cy = cy0; cy < cy1; ++cy) {
    const int y0 = cy * side, y1 = std::min(picture.height, y0 + side);
    std::fill(columns.begin(), columns.end(), 0u);
    std::fill(beyond.begin(), beyond.end(), uint8_t{0});
    for (int y = y0; y < y1; ++y) {
      const Sample* row =
          reinterpret_cast<const Sample*>(RowPtr(picture, y)) + static_cast<size_t>(x0) * stride;
      for (size_t i = 0; i < samples; ++i) {
        columns[i] += row[i];
        beyond[i] |= static_cast<uint8_t>((row[i] >= bounds.high) | (row[i] <= bounds.low));
      }
    }
    for (int cx = cx0; cx < cx1; ++cx) {
      const int left = cx * side, right = std::min(picture.width, left + side);
      uint32_t sum[k] = {};
      bool anyBeyond = false;
      for (int x = left; x < right; ++x)
        for (int j = 0; j < k; ++j) {
          sum[j] += columns[static_cast<size_t>(x - x0) * stride + j];
          anyBeyond |= beyond[static_cast<size_t>(x - x0) * stride + j] != 0;
        }
      if (anyBeyond)
        bounded |= static_cast<uint16_t>(1u << ((cy - cy0) * kCellsPerSide + (cx - cx0)));
      // On the 16-bit scale, which holds a mean to a step of either depth.
      const float scale = 65535.0f / (static_cast<float>((right - left) * (y1 - y0)) * full);
      uint16_t* cell = out + ((cy - cy0) * kCellsPerSide + (cx - cx0)) * k;
      for (int j = 0; j < k; ++j)
        cell[j] = static_cast<uint16_t>(static_cast<float>(sum[j]) * scale + 0.5f);
    }
  }
  return bounded;
}

}  // namespace

uint16_t BlockCells(const SBxPicBuf& picture, const GhostBlocks& blocks, int b, uint16_t* out) {
  uint16_t bounded = 0;
  ForLayout(picture, [&]<typename Sample, int k, int stride>() {
    bounded = BlockCellsOf<Sample, k, stride>(picture, blocks, b, out);
  });
  return bounded;
}

namespace {

// Adds a row of samples to the running sums and marks the samples at or
// beyond the bounds; one flat loop the compiler vectorises.
template <typename Sample>
MELVARO_INLINE void AddToColumns(const Sample* __restrict row, size_t samples, Sample high,
                                 Sample low, uint32_t* __restrict columns,
                                 uint8_t* __restrict beyond) {
  for (size_t i = 0; i < samples; ++i) {
    columns[i] += row[i];
    beyond[i] |= static_cast<uint8_t>((row[i] >= high) | (row[i] <= low));
  }
}
MELVARO_VECTOR_CLONES void AddToColumns8(const uint8_t* row, size_t samples, uint8_t high,
                                         uint8_t low, uint32_t* columns, uint8_t* beyond) {
  AddToColumns(row, samples, high, low, columns, beyond);
}
MELVARO_VECTOR_CLONES void AddToColumns16(const uint16_t* row, size_t samples, uint16_t high,
                                          uint16_t low, uint32_t* columns, uint8_t* beyond) {
  AddToColumns(row, samples, high, low, columns, beyond);
}

// The cells of a row of blocks: each cell row's pixel rows summed over the
// whole flat row of samples (vectorised), then folded into cells. A cell's
// sum fits 32 bits while its side is at most 256 pixels (blocks of 1024).
template <typename Sample, int k, int stride>
void RowCellsOf(const SBxPicBuf& picture, const GhostBlocks& blocks, int r, const uint8_t* wanted,
                uint16_t* out, uint16_t* bounded) {
  const int side = blocks.block / kCellsPerSide;
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const CellBounds<Sample> bounds;
  const size_t samples = static_cast<size_t>(picture.width) * stride;
  // Not zeroed when made: each cell row clears them first.
  const auto columns = std::make_unique_for_overwrite<uint32_t[]>(samples);
  const auto beyond = std::make_unique_for_overwrite<uint8_t[]>(samples);
  if (bounded != nullptr)
    for (int c = 0; c < blocks.columns; ++c)
      if (wanted == nullptr || wanted[c]) bounded[c] = 0;
  const int cy0 = r * kCellsPerSide, cy1 = std::min(cy0 + kCellsPerSide, blocks.cellRows);
  for (int cy = cy0; cy < cy1; ++cy) {
    const int y0 = cy * side, y1 = std::min(picture.height, y0 + side);
    std::fill_n(columns.get(), samples, 0u);
    std::fill_n(beyond.get(), samples, uint8_t{0});
    for (int y = y0; y < y1; ++y) {
      const Sample* row = reinterpret_cast<const Sample*>(RowPtr(picture, y));
      if constexpr (sizeof(Sample) == 1) {
        AddToColumns8(row, samples, bounds.high, bounds.low, columns.get(), beyond.get());
      } else {
        AddToColumns16(row, samples, bounds.high, bounds.low, columns.get(), beyond.get());
      }
    }
    // On the 16-bit scale, as BlockCells gives them; a cell cut at the right
    // edge has a scale of its own.
    const float wholeScale = 65535.0f / (static_cast<float>(side * (y1 - y0)) * full);
    for (int cx = 0; cx < blocks.cellColumns; ++cx) {
      if (wanted != nullptr && !wanted[cx / kCellsPerSide]) continue;
      const int left = cx * side, right = std::min(picture.width, left + side);
      uint32_t sum[k] = {};
      bool anyBeyond = false;
      for (int x = left; x < right; ++x)
        for (int j = 0; j < k; ++j) {
          sum[j] += columns[static_cast<size_t>(x) * stride + j];
          anyBeyond |= beyond[static_cast<size_t>(x) * stride + j] != 0;
        }
      const float scale = right - left == side
                              ? wholeScale
                              : 65535.0f / (static_cast<float>((right - left) * (y1 - y0)) * full);
      const int c = cx / kCellsPerSide;
      if (bounded != nullptr && anyBeyond)
        bounded[c] |=
            static_cast<uint16_t>(1u << ((cy - cy0) * kCellsPerSide + cx % kCellsPerSide));
      uint16_t* cell =
          out + ((c * kCellsPerSide + cy - cy0) * kCellsPerSide + cx % kCellsPerSide) * k;
      for (int j = 0; j < k; ++j)
        cell[j] = static_cast<uint16_t>(static_cast<float>(sum[j]) * scale + 0.5f);
    }
  }
}

}  // namespace

void BlockRowCells(const SBxPicBuf& picture, const GhostBlocks& blocks, int r,
                   const uint8_t* wanted, uint16_t* out, uint16_t* bounded) {
  ForLayout(picture, [&]<typename Sample, int k, int stride>() {
    RowCellsOf<Sample, k, stride>(picture, blocks, r, wanted, out, bounded);
  });
}

std::vector<float> CellLuma(const SBxPicBuf& picture, const GhostBlocks& blocks,
                            const GhostCurve* curves, std::vector<uint16_t>* boundedCells) {
  std::vector<float> luma(static_cast<size_t>(blocks.cellColumns) * blocks.cellRows);
  if (boundedCells) boundedCells->assign(static_cast<size_t>(blocks.Count()), 0);
  const size_t perBlock = kCellsPerSide * kCellsPerSide * static_cast<size_t>(blocks.components);
  tbb::parallel_for(0, blocks.rows, [&](int r) {
    // Every cell read is written; the slots of cells beyond the picture are not.
    const auto cells =
        std::make_unique_for_overwrite<uint16_t[]>(perBlock * static_cast<size_t>(blocks.columns));
    uint16_t* rowBounded =
        boundedCells ? boundedCells->data() + static_cast<size_t>(r) * blocks.columns : nullptr;
    BlockRowCells(picture, blocks, r, nullptr, cells.get(), rowBounded);
    const int cy0 = r * kCellsPerSide, cy1 = std::min(cy0 + kCellsPerSide, blocks.cellRows);
    for (int cy = cy0; cy < cy1; ++cy)
      for (int cx = 0; cx < blocks.cellColumns; ++cx) {
        const size_t at = static_cast<size_t>(cx / kCellsPerSide) * perBlock +
                          static_cast<size_t>((cy - cy0) * kCellsPerSide + cx % kCellsPerSide) *
                              blocks.components;
        luma[static_cast<size_t>(cy) * blocks.cellColumns + cx] =
            CellLumaOf(&cells[at], blocks.components, curves);
      }
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
