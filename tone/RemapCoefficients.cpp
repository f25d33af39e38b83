// Point-wise remapping passes of the tone mapper, eight points per vector.
#include "tone/RemapCoefficients.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "picture/VectorClones.h"
#include "tone/RemapLanes.h"

namespace {

// The scratch pyramid of a group spans levels a .. s + 1: at most five.
constexpr int kMaxSpanLevels = 5;

// Grid values k / scale have k below this.
constexpr int kGridSteps = 65536;

// A group is kGroupColumns x kGroupRows neighbouring points of a level, the point
// (x0 + i, y0 + j) in lane j * kGroupColumns + i. A block rather than a row keeps
// the union of the eight windows small.
constexpr int kGroupColumns = 4;
constexpr int kGroupRows = kFloatLanes / kGroupColumns;

// Grid positions a group's look-up table may span; a window spanning more is
// remapped value by value.
constexpr int kMaxTableEntries = 16384;

struct Span {
  int lo = 0;  // inclusive
  int hi = 0;  // inclusive
  int Size() const { return hi - lo + 1; }
};

// Elements of level s + 1 that the expand at positions first .. last of level s
// reads: the grid samples among first - 2 .. last + 2, clipped (mirroring stays
// inside).
Span ExpandReach(int first, int last, int levelSize) {
  return {(std::max(first - 2, 0) + 1) / 2, std::min(last + 2, levelSize - 1) / 2};
}

// Elements of a level that the reduce into the span `coarse` reads.
Span ReduceReach(const Span& coarse, int levelSize) {
  return {std::max(2 * coarse.lo - 2, 0), std::min(2 * coarse.hi + 2, levelSize - 1)};
}

// The largest span of level a + i (i = levels - 1 at the top, level s + 1) that
// `points` neighbouring points of level s need.
int SpanBound(int points, int levels, int i) {
  int size = points / 2 + 3;
  for (int k = levels - 1; k > i; --k)
    size = 2 * size + 3;
  return size;
}

// One thread's private memory: the spans, the reduce's rows and the table, and
// a row's column bounds.
class Workspace {
 public:
  // Room for the groups of levels 0 .. levels - 1 of a plane `width` wide.
  void Prepare(int levels, int width) {
    present_.assign(kMaxTableEntries, 0);
    low_.resize(static_cast<size_t>(width));
    high_.resize(static_cast<size_t>(width));
    size_t lanes = 0;
    for (int s = 0; s < levels; ++s)
      lanes = std::max(lanes, LanesOfLevel(s));
    lanes_.Resize(lanes);
  }
  FloatLanes* Lanes() const { return lanes_.Data(); }
  uint16_t* ColumnLow() { return low_.data(); }
  uint16_t* ColumnHigh() { return high_.data(); }
  // kMaxTableEntries marks, all clear between groups.
  uint8_t* Present() { return present_.data(); }

 private:
  static size_t LanesOfLevel(int s) {
    const int levels = RemapLevelGeometry(s).shift + 2;
    size_t lanes = 0;
    for (int i = 0; i < levels; ++i)
      lanes += static_cast<size_t>(SpanBound(kGroupColumns, levels, i)) *
               static_cast<size_t>(SpanBound(kGroupRows, levels, i));
    // plus the reduce's rows and the table
    return lanes +
           kReduceRowsAtOnce * (2 * static_cast<size_t>(SpanBound(kGroupColumns, levels, 1)) + 3) +
           kMaxTableEntries;
  }

  LaneStore lanes_;
  std::vector<uint16_t> low_, high_;
  std::vector<uint8_t> present_;
};

// What every group of a level shares.
struct LevelWork {
  const float* const* gauss = nullptr;
  int width = 0;  // of level 0
  int height = 0;
  int s = 0;
  RemapLevel geometry;
  RemapCurve curve;
  ValueGrid grid;                       // of the scratch level
  const uint16_t* positions = nullptr;  // its values' positions on the grid, when on one
  const float* fineTable = nullptr;     // level 0 on a small grid: see FineTable
  float* laplace = nullptr;             // level s, packed
};

// The spans of levels a .. s + 1 (along one side, `size` at level 0) that the
// points first .. last of level s need, spans[i] at level a + i.
void GroupSpans(int first, int last, int size, const LevelWork& job, Span* spans) {
  const int a = job.geometry.scratchLevel, levels = job.geometry.shift + 2;
  spans[levels - 1] = ExpandReach(first, last, size >> job.s);
  for (int i = levels - 2; i >= 0; --i)
    spans[i] = ReduceReach(spans[i + 1], size >> (a + i));
}

// What the groups of one row share: their spans down the levels and, on a grid,
// the lowest and highest position in each column of their scratch rows.
struct GroupRow {
  int y0 = 0;
  int y1 = 0;
  Span sy[kMaxSpanLevels];
  uint16_t* low = nullptr;
  uint16_t* high = nullptr;
};

void PrepareGroupRow(GroupRow* row, const LevelWork& job) {
  GroupSpans(row->y0, row->y1 - 1, job.height, job, row->sy);
  if (job.positions == nullptr) return;
  const size_t wa = static_cast<size_t>(job.width >> job.geometry.scratchLevel);
  const uint16_t* p = job.positions + static_cast<size_t>(row->sy[0].lo) * wa;
  std::copy(p, p + wa, row->low);
  std::copy(p, p + wa, row->high);
  for (int y = row->sy[0].lo + 1; y <= row->sy[0].hi; ++y) {
    p += wa;
    for (size_t x = 0; x < wa; ++x) {
      row->low[x] = std::min(row->low[x], p[x]);
      row->high[x] = std::max(row->high[x], p[x]);
    }
  }
}

// table[j] = the grid value (first + j) / scale remapped about each lane's reference.
[[gnu::always_inline]] inline void FillTable(FloatLanes* table, int first, int distinct,
                                             const FloatLanes& m, const LevelWork& job) {
  const ValueGrid grid = job.grid;
  if (job.fineTable != nullptr) {
    // Level 0: the references are values of the grid, whose remaps are at hand.
    const float* about[kFloatLanes];
    for (int k = 0; k < kFloatLanes; ++k)
      about[k] =
          job.fineTable +
          static_cast<ptrdiff_t>(static_cast<int>(m[k] * grid.scale) - grid.first) * grid.distinct +
          (first - grid.first);
    for (int j = 0; j < distinct; ++j)
      for (int k = 0; k < kFloatLanes; ++k)
        table[j][k] = about[k][j];
    return;
  }
  const float step = 1.0f / grid.scale;  // a power of two: k * step is exact
  for (int j = 0; j < distinct; ++j)
    table[j] = RemapLanes(FloatLanes{} + static_cast<float>(first + j) * step, m, job.curve);
}

// On a grid, table[p - lo] = the value at grid position p remapped about each
// lane's reference, for every position p the span (sx, sy) holds, when that is
// cheaper than remapping its values one by one: each distinct value is remapped
// once (the same function of the same float: the same bits). A span whose
// positions are spread thin is looked over first (`present`: marks kept clear)
// so that only the positions it holds are remapped. Returns false when the
// span is better remapped value by value.
[[gnu::always_inline]] inline bool MakeLookUpTable(FloatLanes* table, int* lo, uint8_t* present,
                                                   const GroupRow& row, const Span& sx,
                                                   const Span& sy, const FloatLanes& m,
                                                   const LevelWork& job) {
  if (job.positions == nullptr) return false;
  *lo = *std::min_element(row.low + sx.lo, row.low + sx.hi + 1);
  const int range = *std::max_element(row.high + sx.lo, row.high + sx.hi + 1) - *lo + 1;
  const int count = sx.Size() * sy.Size();
  if (range > kMaxTableEntries) return false;
  if (job.fineTable != nullptr || range <= count / 16) {  // every position of the range
    if (range >= count) return false;
    FillTable(table, job.grid.first + *lo, range, m, job);
    return true;
  }
  const size_t wa = static_cast<size_t>(job.width >> job.geometry.scratchLevel);
  for (int y = sy.lo; y <= sy.hi; ++y) {
    const uint16_t* p = job.positions + static_cast<size_t>(y) * wa;
    for (int x = sx.lo; x <= sx.hi; ++x)
      present[p[x] - *lo] = 1;
  }
  int distinct = 0;
  for (int j = 0; j < range; ++j)
    distinct += present[j];
  if (distinct > count - count / 4) {
    std::fill(present, present + range, uint8_t{0});
    return false;
  }
  const float step = 1.0f / job.grid.scale;  // a power of two: k * step is exact
  for (int j = 0; j < range; ++j)
    if (present[j] != 0) {
      const float v = static_cast<float>(job.grid.first + *lo + j) * step;
      table[j] = RemapLanes(FloatLanes{} + v, m, job.curve);
      present[j] = 0;
    }
  return true;
}

// area = the window of the scratch level (rows x width values from src, rows
// stride apart) remapped about each lane's reference, value by value.
[[gnu::always_inline]] inline void RemapSpan(const LaneArea& area, const float* src, size_t stride,
                                             int width, int rows, const FloatLanes& m,
                                             const RemapCurve& curve) {
  FloatLanes* out = area.data;
  for (int y = 0; y < rows; ++y, src += stride, out += width)
    for (int x = 0; x < width; ++x)
      out[x] = RemapLanes(FloatLanes{} + src[x], m, curve);
}

// The coefficients of the points x0 <= x < x1, y0 <= y < y1 of level s (at most
// kGroupColumns x kGroupRows of them). Built for AVX2 and for the baseline: the
// lanes compute the same values on both.
MELVARO_VECTOR_CLONES void GroupCoefficients(const LevelWork& job, int x0, int x1,
                                             const GroupRow& row, Workspace& workspace) {
  const int s = job.s, a = job.geometry.scratchLevel;
  const int levels = job.geometry.shift + 2;  // a .. s + 1
  const int ws = job.width >> s, hs = job.height >> s, y0 = row.y0, y1 = row.y1;
  Span sx[kMaxSpanLevels];
  GroupSpans(x0, x1 - 1, job.width, job, sx);
  const Span* sy = row.sy;
  LaneArea area[kMaxSpanLevels];
  FloatLanes* next = workspace.Lanes();
  for (int i = 0; i < levels; ++i) {
    area[i] = LaneArea{next, sx[i].Size(), sx[i].lo, sy[i].lo};
    next += static_cast<ptrdiff_t>(sx[i].Size()) * sy[i].Size();
  }
  FloatLanes* temp = next;  // the reduce's rows, for the widest output
  FloatLanes* table = temp + kReduceRowsAtOnce * (2 * sx[1].Size() + 3);

  // Each lane's reference; lanes past the group's last column or row repeat it.
  FloatLanes m;
  for (int k = 0; k < kFloatLanes; ++k) {
    const int x = std::min(x0 + k % kGroupColumns, x1 - 1);
    const int y = std::min(y0 + k / kGroupColumns, y1 - 1);
    m[k] = job.gauss[s][static_cast<size_t>(y) * static_cast<size_t>(ws) + x];
  }
  // The scratch span remapped: looked up by the first reduce where a table of its
  // values is cheaper, else written out value by value.
  const size_t wa = static_cast<size_t>(job.width >> a);
  LookedUpArea lookedUp{job.positions, static_cast<ptrdiff_t>(wa), 0, 0, table, 0};
  const bool looked =
      MakeLookUpTable(table, &lookedUp.offset, workspace.Present(), row, sx[0], sy[0], m, job);
  if (looked) {
    ReduceArea(area[1], sx[1].lo, sy[1].lo, sx[1].hi + 1, sy[1].hi + 1, lookedUp, job.width >> a,
               job.height >> a, temp);
  } else {
    RemapSpan(area[0], job.gauss[a] + static_cast<size_t>(sy[0].lo) * wa + sx[0].lo, wa,
              sx[0].Size(), sy[0].Size(), m, job.curve);
    ReduceArea(area[1], sx[1].lo, sy[1].lo, sx[1].hi + 1, sy[1].hi + 1, area[0], job.width >> a,
               job.height >> a, temp);
  }
  for (int i = 1; i + 1 < levels; ++i) {
    ReduceArea(area[i + 1], sx[i + 1].lo, sy[i + 1].lo, sx[i + 1].hi + 1, sy[i + 1].hi + 1, area[i],
               job.width >> (a + i), job.height >> (a + i), temp);
  }
  // The remapped value of level s at a point of lane k (level 0 is not written out
  // when it was looked up).
  auto remapped = [&](int x, int y, int k) {
    if (levels > 2 || !looked) return (*area[levels - 2].At(x, y))[k];
    return table[job.positions[static_cast<size_t>(y) * wa + x] - lookedUp.offset][k];
  };
  // The expand at the points: element (x, y) lands in lane (y - y0) * kGroupColumns + x - x0,
  // the point's own.
  FloatLanes expanded[kFloatLanes];
  const LaneArea points{expanded, kGroupColumns, x0, y0};
  ExpandArea(points, x0, y0, x1, y1, area[levels - 1], ws, hs, temp);
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const int k = (y - y0) * kGroupColumns + (x - x0);
      job.laplace[static_cast<size_t>(y) * static_cast<size_t>(ws) + x] =
          remapped(x, y, k) - (*points.At(x, y))[k];
    }
}

// Level 0 remaps about values of the plane itself: on a small grid, row i of
// this table holds the grid's values remapped about value i, once for the level.
// Empty when the plane is not on a grid or has too many values.
std::vector<float> FineTable(ValueGrid grid, const RemapCurve& curve) {
  constexpr int kMaxDistinct = 1024;
  std::vector<float> table;
  if (grid.scale <= 0.0f || grid.distinct > kMaxDistinct) return table;
  const int n = grid.distinct;
  table.resize(static_cast<size_t>(n) * static_cast<size_t>(n));
  const float step = 1.0f / grid.scale;
  for (int i = 0; i < n; ++i) {
    float* row = table.data() + static_cast<size_t>(i) * static_cast<size_t>(n);
    for (int k = 0; k < n; ++k)
      row[k] = static_cast<float>(grid.first + k) * step;
    RemapRow(row, row, n, static_cast<float>(grid.first + i) * step, curve);
  }
  return table;
}

}  // namespace

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

ScratchValues FindScratchValues(const float* plane, size_t count) {
  ScratchValues values;
  values.grid = FindValueGrid(plane, count);
  if (values.grid.scale > 0.0f) {
    values.positions.resize(count);
    const float scale = values.grid.scale;
    const int first = values.grid.first;
    for (size_t i = 0; i < count; ++i)
      values.positions[i] = static_cast<uint16_t>(static_cast<int>(plane[i] * scale) - first);
  }
  return values;
}

bool RemapCoefficients(const RemapPyramid& pyramid, const RemapCurve& curve,
                       JobProgress* progress) {
  const int levels = pyramid.levels;
  // What each level's groups share; the scratch levels are looked at once each.
  std::vector<ScratchValues> scratch(static_cast<size_t>(levels));
  std::vector<LevelWork> jobs(static_cast<size_t>(levels));
  std::vector<float> fineTable;
  for (int s = 0; s < levels; ++s) {
    LevelWork& job = jobs[static_cast<size_t>(s)];
    job.gauss = pyramid.gauss, job.width = pyramid.width, job.height = pyramid.height, job.s = s;
    job.geometry = RemapLevelGeometry(s), job.curve = curve;
    job.laplace = pyramid.laplace[s];
    const int a = job.geometry.scratchLevel;
    ScratchValues& values = scratch[static_cast<size_t>(a)];
    if (s == 0 || a != jobs[static_cast<size_t>(s) - 1].geometry.scratchLevel)
      values = FindScratchValues(pyramid.gauss[a], static_cast<size_t>(pyramid.width >> a) *
                                                       static_cast<size_t>(pyramid.height >> a));
    job.grid = values.grid;
    job.positions = values.positions.empty() ? nullptr : values.positions.data();
    if (s == 0) {
      fineTable = FineTable(values.grid, curve);
      job.fineTable = fineTable.empty() ? nullptr : fineTable.data();
    }
  }
  // The rows of groups, the coarsest level first: its rows take longest, and the
  // short ones at the end keep the threads finishing together.
  struct Item {
    int s;
    int row;
  };
  std::vector<Item> items;
  for (int s = levels - 1; s >= 0; --s)
    for (int row = 0; row * kGroupRows < pyramid.height >> s; ++row)
      items.push_back(Item{s, row});
  const int team = std::max(omp_get_max_threads(), 1);
  std::vector<Workspace> workspaces(static_cast<size_t>(team));
  for (Workspace& w : workspaces)
    w.Prepare(levels, pyramid.width);

  std::atomic<bool> stopped{false};
  const int count = static_cast<int>(items.size());
  // Rows handed out one at a time: a thread that the system holds back does not
  // hold up the others, and the cancel flag is looked at every row.
#pragma omp parallel num_threads(team)
  {
    Workspace& work = workspaces[static_cast<size_t>(omp_get_thread_num())];
    GroupRow group;
    group.low = work.ColumnLow(), group.high = work.ColumnHigh();
#pragma omp for schedule(dynamic, 1)
    for (int i = 0; i < count; ++i) {
      if (stopped.load(std::memory_order_relaxed)) continue;
      const Item item = items[static_cast<size_t>(i)];
      if (item.row == 0) {
        // A level begins: one thread at a time tells the progress, and none
        // after the cancel flag was raised.
#pragma omp critical(toneRemapProgress)
        if (progress != nullptr && !progress->CancelRequested()) progress->Advance(2);
      }
      if (progress != nullptr && progress->CancelRequested()) {
        stopped.store(true, std::memory_order_relaxed);
        continue;
      }
      const LevelWork& job = jobs[static_cast<size_t>(item.s)];
      const int ws = pyramid.width >> item.s, hs = pyramid.height >> item.s;
      group.y0 = item.row * kGroupRows, group.y1 = std::min(group.y0 + kGroupRows, hs);
      PrepareGroupRow(&group, job);
      for (int x0 = 0; x0 < ws; x0 += kGroupColumns)
        GroupCoefficients(job, x0, std::min(x0 + kGroupColumns, ws), group, work);
    }
  }
  return !stopped.load();
}
