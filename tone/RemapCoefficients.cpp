// Point-by-point remapping passes of the tone mapper.
#include "tone/RemapCoefficients.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

#include "tone/TonePyramid.h"

namespace {

// The scratch pyramid of one grid point spans levels a .. s + 1: at most five.
constexpr int kMaxSpanLevels = 5;

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

// The coefficient at grid point (x, y) of level s.
float RemappedCoefficient(const float* const* gauss, int width, int height, int s,
                          const RemapLevel& g, int x, int y, const RemapCurve& curve, float* work) {
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

  const size_t wa = static_cast<size_t>(width >> a);
  const float m = gauss[s][static_cast<size_t>(y) * static_cast<size_t>(width >> s) + x];
  // The window's rows side by side, then remapped as one run of values.
  for (int yy = sy[0].lo; yy <= sy[0].hi; ++yy) {
    std::memcpy(area[0].At(sx[0].lo, yy), gauss[a] + static_cast<size_t>(yy) * wa + sx[0].lo,
                sizeof(float) * static_cast<size_t>(sx[0].Size()));
  }
  RemapRow(area[0].data, area[0].data, sx[0].Size() * sy[0].Size(), m, curve);
  for (int i = 0; i + 1 < levels; ++i) {
    ReduceArea(area[i + 1], sx[i + 1].lo, sy[i + 1].lo, sx[i + 1].hi + 1, sy[i + 1].hi + 1, area[i],
               width >> (a + i), height >> (a + i), temp);
  }
  float expanded = 0.0f;
  const LevelArea point{&expanded, 1, x, y};
  ExpandArea(point, x, y, x + 1, y + 1, area[levels - 1], width >> s, height >> s, temp);
  return *area[levels - 2].At(x, y) - expanded;
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
  return total + 2 * widest + 8;  // plus the reduce's row
}

bool RemapLevelCoefficients(float* laplace, const float* const* gauss, int s, int width, int height,
                            const RemapCurve& curve, std::vector<std::vector<float>>& workspaces,
                            const JobProgress* progress) {
  const RemapLevel g = RemapLevelGeometry(s);
  const int ws = width >> s, hs = height >> s;
  // Every point of the level, up to its right and bottom edges.
  const int columns = ws, rows = hs;
  if (workspaces.empty()) return true;
  const int team = static_cast<int>(workspaces.size());
  std::atomic<bool> stopped{false};
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
      for (int x = 0; x < columns; ++x)
        out[x] = RemappedCoefficient(gauss, width, height, s, g, x, y, curve, work);
    }
  }
  return !stopped.load();
}
