// Point-by-point remapping passes of the tone mapper.
#include "tone/RemapCoefficients.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "picture/VectorClones.h"
#include "tone/TonePyramid.h"

namespace {

// The scratch pyramid of one grid point spans levels a .. s + 1: at most five.
constexpr int kMaxSpanLevels = 5;

// Grid values k / scale have k below this.
constexpr int kGridSteps = 65536;

using Floats = float __attribute__((vector_size(32)));
constexpr int kLanes = 8;

// The lowest and highest of rows values, width each, rows stride floats apart.
MELVARO_VECTOR_CLONES void WindowBounds(const float* src, size_t stride, int width, int rows,
                                        float* lowest, float* highest) {
  Floats lo = Floats{} + src[0], hi = lo;
  float l = src[0], h = src[0];
  for (int y = 0; y < rows; ++y, src += stride) {
    int x = 0;
    for (; x + kLanes <= width; x += kLanes) {
      Floats v;
      std::memcpy(&v, src + x, sizeof v);
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
    if (x < width && width >= kLanes) {  // the last eight again, overlapping
      Floats v;
      std::memcpy(&v, src + width - kLanes, sizeof v);
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
      x = width;
    }
    for (; x < width; ++x) {
      l = std::min(l, src[x]);
      h = std::max(h, src[x]);
    }
  }
  for (int k = 0; k < kLanes; ++k) {
    l = std::min(l, lo[k]);
    h = std::max(h, hi[k]);
  }
  *lowest = l;
  *highest = h;
}

// dst (packed) = table[src * scale - first] for rows of width values.
void LookUpRows(float* __restrict dst, const float* __restrict src, size_t stride, int width,
                int rows, const float* __restrict table, float scale, int first) {
  for (int y = 0; y < rows; ++y, src += stride, dst += width)
    for (int x = 0; x < width; ++x)
      dst[x] = table[static_cast<int>(src[x] * scale) - first];
}

// Up to 8 << Shifts table entries picked by in-register permutes: each of the
// table's eights is permuted by the index's low three bits and the higher bits
// choose among them. Cheaper than the gather for the small tables of most windows.
template <int Shifts>
__attribute__((target("avx2"))) inline __m256 PermutedLookUp(const __m256 (&t)[1 << Shifts],
                                                             __m256i k) {
  __m256 v[1 << Shifts];
  for (int i = 0; i < (1 << Shifts); ++i)
    v[i] = _mm256_permutevar8x32_ps(t[i], k);
  for (int b = 0; b < Shifts; ++b) {
    // Index bit 3 + b into each lane's sign bit, which blendv looks at.
    const __m256 pick = _mm256_castsi256_ps(_mm256_sll_epi32(k, _mm_cvtsi32_si128(28 - b)));
    for (int i = 0; i < (1 << (Shifts - b)); i += 2)
      v[i / 2] = _mm256_blendv_ps(v[i], v[i + 1], pick);
  }
  return v[0];
}

// Eight table positions: src * scale - first.
__attribute__((target("avx2"))) inline __m256i TableIndex(const float* src, __m256 scale,
                                                          __m256i first) {
  return _mm256_sub_epi32(_mm256_cvttps_epi32(_mm256_mul_ps(_mm256_loadu_ps(src), scale)), first);
}

// dst (packed) = table[src * scale - first], eight at a time through pick (the
// last eight of a row again, overlapping), one at a time in rows narrower than eight.
template <class Pick>
__attribute__((target("avx2"))) inline void LookUpRowsByEights(
    float* __restrict dst, const float* __restrict src, size_t stride, int width, int rows,
    const float* __restrict table, float scale, int first, const Pick& pick) {
  const __m256 s = _mm256_set1_ps(scale);
  const __m256i f = _mm256_set1_epi32(first);
  for (int y = 0; y < rows; ++y, src += stride, dst += width) {
    int x = 0;
    for (; x + kLanes <= width; x += kLanes)
      _mm256_storeu_ps(dst + x, pick(TableIndex(src + x, s, f)));
    if (x < width && width >= kLanes) {
      x = width - kLanes;
      _mm256_storeu_ps(dst + x, pick(TableIndex(src + x, s, f)));
      x = width;
    }
    for (; x < width; ++x)
      dst[x] = table[static_cast<int>(src[x] * scale) - first];
  }
}

template <int Shifts>
struct PermutedPick {
  __m256 eights[1 << Shifts];
  __attribute__((target("avx2"))) __m256 operator()(__m256i k) const {
    return PermutedLookUp<Shifts>(eights, k);
  }
};

template <int Shifts>
__attribute__((target("avx2"))) void LookUpRowsPermuted(float* __restrict dst,
                                                        const float* __restrict src, size_t stride,
                                                        int width, int rows,
                                                        const float* __restrict table, float scale,
                                                        int first) {
  PermutedPick<Shifts> pick;
  for (int i = 0; i < (1 << Shifts); ++i)
    pick.eights[i] = _mm256_loadu_ps(table + kLanes * i);
  LookUpRowsByEights(dst, src, stride, width, rows, table, scale, first, pick);
}

// The same with the processor's gather, for larger tables.
struct GatheredPick {
  const float* table;
  __attribute__((target("avx2"))) __m256 operator()(__m256i k) const {
    return _mm256_i32gather_ps(table, k, 4);
  }
};

__attribute__((target("avx2"))) void LookUpRowsGathered(float* __restrict dst,
                                                        const float* __restrict src, size_t stride,
                                                        int width, int rows,
                                                        const float* __restrict table, float scale,
                                                        int first) {
  LookUpRowsByEights(dst, src, stride, width, rows, table, scale, first, GatheredPick{table});
}

// Entries the table may have to hold: the permuted look-ups read whole eights.
constexpr int kMaxPermuted = 32;

// table holds distinct entries (and room for kMaxPermuted).
void LookUpWindow(float* dst, const float* src, size_t stride, int width, int rows,
                  const float* table, int distinct, float scale, int first) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (!avx2)
    LookUpRows(dst, src, stride, width, rows, table, scale, first);
  else if (distinct <= 8)
    LookUpRowsPermuted<0>(dst, src, stride, width, rows, table, scale, first);
  else if (distinct <= 16)
    LookUpRowsPermuted<1>(dst, src, stride, width, rows, table, scale, first);
  else if (distinct <= kMaxPermuted)
    LookUpRowsPermuted<2>(dst, src, stride, width, rows, table, scale, first);
  else
    LookUpRowsGathered(dst, src, stride, width, rows, table, scale, first);
}

struct Span {
  int lo = 0;  // inclusive
  int hi = 0;  // inclusive
  int Size() const { return hi - lo + 1; }
};

// Elements of level s + 1 that the expand at position p of level s reads: the
// grid samples among p - 2 .. p + 2, clipped (mirroring stays inside).
Span ExpandReach(int p, int levelSize) {
  return {(std::max(p - 2, 0) + 1) / 2, std::min(p + 2, levelSize - 1) / 2};
}

// Elements of a level that the reduce into the span `coarse` reads.
Span ReduceReach(const Span& coarse, int levelSize) {
  return {std::max(2 * coarse.lo - 2, 0), std::min(2 * coarse.hi + 2, levelSize - 1)};
}

// area = the window's values remapped about m. When they lie on a grid and take
// fewer distinct values than the window has, each of those is remapped once (the
// same function of the same float, so the same bits) and the window looked up.
void RemapWindow(const LevelArea& area, const float* src, size_t stride, int width, int rows,
                 float m, const RemapCurve& curve, ValueGrid grid, float* table) {
  const int count = width * rows;
  if (grid.scale > 0.0f) {
    float lo = 0.0f, hi = 0.0f;
    WindowBounds(src, stride, width, rows, &lo, &hi);
    const int first = static_cast<int>(lo * grid.scale);
    const int distinct = static_cast<int>(hi * grid.scale) - first + 1;
    if (distinct < count) {
      const float step = 1.0f / grid.scale;  // a power of two: k * step is exact
      for (int k = 0; k < distinct; ++k)
        table[k] = static_cast<float>(first + k) * step;
      RemapRow(table, table, distinct, m, curve);
      LookUpWindow(area.data, src, stride, width, rows, table, distinct, grid.scale, first);
      return;
    }
  }
  // The window's rows side by side, then remapped as one run of values.
  for (int y = 0; y < rows; ++y)
    std::memcpy(area.data + static_cast<ptrdiff_t>(y) * width, src + y * stride,
                sizeof(float) * static_cast<size_t>(width));
  RemapRow(area.data, area.data, count, m, curve);
}

// The coefficient at grid point (x, y) of level s.
float RemappedCoefficient(const float* const* gauss, int width, int height, int s,
                          const RemapLevel& g, int x, int y, const RemapCurve& curve,
                          ValueGrid grid, float* work) {
  const int a = g.scratchLevel;
  const int levels = g.shift + 2;  // a .. s + 1
  Span sx[kMaxSpanLevels], sy[kMaxSpanLevels];
  sx[levels - 1] = ExpandReach(x, width >> s);
  sy[levels - 1] = ExpandReach(y, height >> s);
  for (int i = levels - 2; i >= 0; --i) {
    sx[i] = ReduceReach(sx[i + 1], width >> (a + i));
    sy[i] = ReduceReach(sy[i + 1], height >> (a + i));
  }
  LevelArea area[kMaxSpanLevels];
  float* next = work;
  for (int i = 0; i < levels; ++i) {
    area[i] = LevelArea{next, sx[i].Size(), sx[i].lo, sy[i].lo};
    next += static_cast<ptrdiff_t>(sx[i].Size()) * sy[i].Size();
  }
  float* temp = next;
  // The reduce's row, then the look-up table (as large as the finest span).
  float* table = temp + 2 * sx[0].Size() + 8;

  const size_t wa = static_cast<size_t>(width >> a);
  const float m = gauss[s][static_cast<size_t>(y) * static_cast<size_t>(width >> s) + x];
  RemapWindow(area[0], gauss[a] + static_cast<size_t>(sy[0].lo) * wa + sx[0].lo, wa, sx[0].Size(),
              sy[0].Size(), m, curve, grid, table);
  for (int i = 0; i + 1 < levels; ++i) {
    ReduceArea(area[i + 1], sx[i + 1].lo, sy[i + 1].lo, sx[i + 1].hi + 1, sy[i + 1].hi + 1, area[i],
               width >> (a + i), height >> (a + i), temp);
  }
  float expanded = 0.0f;
  const LevelArea point{&expanded, 1, x, y};
  ExpandArea(point, x, y, x + 1, y + 1, area[levels - 1], width >> s, height >> s, temp);
  return *area[levels - 2].At(x, y) - expanded;
}

// Level 0 remaps the 9 x 9 values around each point about the point's own value.
constexpr int kFineSide = 9;
constexpr int kFineReach = kFineSide / 2;
constexpr float kReduceScale = 1.0f / 256.0f;
constexpr float kExpandScale = 1.0f / 64.0f;

inline float Taps5(float m2, float m1, float c, float p1, float p2) {
  return ((m2 + p2) + (m1 + p1) * 4.0f) + c * 6.0f;
}

// The coefficient of level 0 at (x, y) at least kFineReach from every border,
// from its window r (remapped, row by row): ReduceArea into level 1 and
// ExpandArea at the point written out for this one case, where no tap is
// mirrored, with the same operations in the same order (TonePyramid.h).
float FineCoefficient(const float (&r)[kFineSide][kFineSide], int x, int y) {
  // Level 1 around (x / 2, y / 2): g[j][i] at (x / 2 - 1 + i, y / 2 - 1 + j). An
  // odd x or y needs only i or j = 1 and 2. Window column of level-1 tap i is
  // 2i - (x odd), likewise for rows.
  const int ox = x & 1, oy = y & 1;
  float g[3][3] = {};
  for (int j = oy; j < 3; ++j) {
    const int rr = 2 * j - oy;
    float t[kFineSide];
    for (int c = 0; c < kFineSide; ++c)
      t[c] = Taps5(r[rr][c], r[rr + 1][c], r[rr + 2][c], r[rr + 3][c], r[rr + 4][c]);
    for (int i = ox; i < 3; ++i) {
      const float* p = t + (2 * i - ox);
      g[j][i] = Taps5(p[0], p[1], p[2], p[3], p[4]) * kReduceScale;
    }
  }
  float e[3] = {};
  for (int i = ox; i < 3; ++i)
    e[i] = oy == 0 ? (g[0][i] + g[2][i]) + g[1][i] * 6.0f : (g[1][i] + g[2][i]) * 4.0f;
  const float expanded =
      (ox == 0 ? (e[0] + e[2]) + e[1] * 6.0f : (e[1] + e[2]) * 4.0f) * kExpandScale;
  return r[kFineReach][kFineReach] - expanded;
}

// Remapped values of a grid plane about each of its own values: row i holds
// the plane's distinct values remapped about value i (level 0 remaps about the
// plane's values). Empty when the plane is not on a grid or has too many.
std::vector<float> FineTable(ValueGrid grid, const RemapCurve& curve) {
  constexpr int kMaxDistinct = 1024;
  std::vector<float> table;
  if (grid.scale <= 0.0f || grid.distinct > kMaxDistinct) return table;
  const int n = grid.distinct;
  table.resize(static_cast<size_t>(n) * static_cast<size_t>(n));
  const float step = 1.0f / grid.scale;
#pragma omp parallel for schedule(static)
  for (int i = 0; i < n; ++i) {
    float* row = table.data() + static_cast<size_t>(i) * static_cast<size_t>(n);
    for (int k = 0; k < n; ++k)
      row[k] = static_cast<float>(grid.first + k) * step;
    RemapRow(row, row, n, static_cast<float>(grid.first + i) * step, curve);
  }
  return table;
}

// One row of level-0 points: the ones near the borders through the general
// path, the others written out.
void FineRow(float* out, const float* const* gauss, int width, int height, int y,
             const RemapCurve& curve, ValueGrid grid, const std::vector<float>& table,
             float* work) {
  const RemapLevel g = RemapLevelGeometry(0);
  const float* plane = gauss[0];
  const bool inner = y >= kFineReach && y < height - kFineReach;
  for (int x = 0; x < width; ++x) {
    if (!inner || x < kFineReach || x >= width - kFineReach) {
      out[x] = RemappedCoefficient(gauss, width, height, 0, g, x, y, curve, grid, work);
      continue;
    }
    float r[kFineSide][kFineSide];
    const float* src =
        plane + static_cast<size_t>(y - kFineReach) * static_cast<size_t>(width) + (x - kFineReach);
    const float m = src[static_cast<size_t>(kFineReach) * static_cast<size_t>(width) + kFineReach];
    if (!table.empty()) {
      const float* about =
          table.data() + static_cast<size_t>(static_cast<int>(m * grid.scale) - grid.first) *
                             static_cast<size_t>(grid.distinct);
      for (int j = 0; j < kFineSide; ++j, src += width)
        for (int i = 0; i < kFineSide; ++i)
          r[j][i] = about[static_cast<int>(src[i] * grid.scale) - grid.first];
    } else {
      for (int j = 0; j < kFineSide; ++j, src += width)
        std::memcpy(r[j], src, sizeof r[j]);
      RemapRow(&r[0][0], &r[0][0], kFineSide * kFineSide, m, curve);
    }
    out[x] = FineCoefficient(r, x, y);
  }
}

}  // namespace

size_t CoefficientWorkspaceSize(int s) {
  const RemapLevel g = RemapLevelGeometry(s);
  // Spans from the top: 3 elements at level s + 1, then 2n + 3 per level down.
  size_t total = 0, size = 3, widest = 3;
  for (int i = 0; i < g.shift + 2; ++i) {
    total += size * size;
    widest = size;
    size = 2 * size + 3;
  }
  // plus the reduce's row and the table
  return total + 2 * widest + 8 + widest * widest + kMaxPermuted;
}

ValueGrid FindValueGrid(const float* plane, size_t count) {
  for (const float scale : {1.0f, 256.0f}) {
    const float step = 1.0f / scale;
    bool onGrid = count > 0;
    int lo = kGridSteps, hi = 0;
    for (size_t i = 0; i < count && onGrid; ++i) {
      const float k = plane[i] * scale;
      // Rejects NaN, negative zero and values off the grid or out of its range.
      onGrid = k >= 0.0f && k < static_cast<float>(kGridSteps) &&
               std::bit_cast<uint32_t>(static_cast<float>(static_cast<int>(k)) * step) ==
                   std::bit_cast<uint32_t>(plane[i]);
      lo = std::min(lo, static_cast<int>(k));
      hi = std::max(hi, static_cast<int>(k));
    }
    if (onGrid) return ValueGrid{scale, lo, hi - lo + 1};
  }
  return ValueGrid{};
}

bool RemapLevelCoefficients(float* laplace, const float* const* gauss, int s, int width, int height,
                            const RemapCurve& curve, ValueGrid grid,
                            std::vector<std::vector<float>>& workspaces,
                            const JobProgress* progress) {
  const RemapLevel g = RemapLevelGeometry(s);
  const int ws = width >> s, hs = height >> s;
  // Every point of the level, up to its right and bottom edges.
  const int columns = ws, rows = hs;
  if (workspaces.empty()) return true;
  const int team = static_cast<int>(workspaces.size());
  std::atomic<bool> stopped{false};
  const std::vector<float> fineTable = s == 0 ? FineTable(grid, curve) : std::vector<float>();
  // Rows of points handed out one at a time: a thread that the system holds back
  // does not hold up the others, and the cancel flag is looked at every row.
#pragma omp parallel num_threads(team)
  {
    float* work = workspaces[static_cast<size_t>(omp_get_thread_num())].data();
#pragma omp for schedule(dynamic, 1)
    for (int y = 0; y < rows; ++y) {
      if (stopped.load(std::memory_order_relaxed)) continue;
      if (progress != nullptr && progress->CancelRequested()) {
        stopped.store(true, std::memory_order_relaxed);
        continue;
      }
      float* out = laplace + static_cast<size_t>(y) * static_cast<size_t>(ws);
      if (s == 0) {
        FineRow(out, gauss, width, height, y, curve, grid, fineTable, work);
        continue;
      }
      for (int x = 0; x < columns; ++x)
        out[x] = RemappedCoefficient(gauss, width, height, s, g, x, y, curve, grid, work);
    }
  }
  return !stopped.load();
}
