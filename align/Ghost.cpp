#include "align/Ghost.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <new>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "align/GhostBlocks.h"
#include "align/GhostRegions.h"
#include "align/GhostRepair.h"
#include "picture/CBxPicBufAPI.h"

struct GhostDetectorState {
  int width = 0;
  int height = 0;
  uint32_t bits = 0;
  int count = 0;
  int referenceIndex = 0;
  int next = 0;
  // Tolerated differences are multiplied by this; 0 rejects nothing.
  float tolerance = 1.0f;
  bool rejectsNothing = false;
  GhostBlocks reference;
  // The luminance of the reference's cells (its cells' components dropped),
  // and per block the cells holding a sample near either end (BlockCells).
  std::vector<float> referenceLuma;
  std::vector<uint16_t> referenceBoundedCells;
  // Where the reference is clipped or black: the stand-in's mapped values,
  // spread and noise on the reference's scale, and how far its own mean lies
  // from mid-grey (smaller is better exposed; negative: no stand-in yet).
  std::vector<float> standIn;
  std::vector<float> standInSpread;
  std::vector<float> standInNoise;
  std::vector<float> standInResolution;
  std::vector<float> standInDistance;
  // Whether the stand-in's block held clipped or black pixels (its values
  // are then bounds, as a reference's are), and its black level.
  std::vector<uint8_t> standInFlags;
  std::vector<float> standInBlackRoom;
  std::array<GhostCurve, kGhostMaxComponents> curves;
};

namespace {

void IdentityCurves(GhostDetectorState* s) {
  for (GhostCurve& curve : s->curves)
    for (int i = 0; i < kGhostCurvePoints; ++i)
      curve.points[i] = static_cast<float>(i) / (kGhostCurvePoints - 1);
}

void AllOne(const GhostDetectorState* s, int width, int height, GhostWeights* weights) {
  *weights = GhostWeights{};
  weights->width = width;
  weights->height = height;
  if (s) {
    weights->block = s->reference.block;
    weights->columns = s->reference.columns;
    weights->rows = s->reference.rows;
  }
}

// What is known of a value: exactly it, at least it (clipped) or at most it
// (black).
struct Bounded {
  float low;
  float high;
};

// A block with clipped pixels shows at least its mean; one with black pixels
// at most its mean and what its black pixels may hide (`blackRoom`).
Bounded Bound(float value, uint8_t flags, float blackRoom) {
  const float inf = std::numeric_limits<float>::infinity();
  return {(flags & kBlockBlack) ? -inf : value, (flags & kBlockClipped) ? inf
                                                : (flags & kBlockBlack) ? value + blackRoom
                                                                        : value};
}

// How far two bounded values are certainly apart (0 when they may agree).
float Apart(Bounded a, Bounded b) {
  if (a.low > b.high) return a.low - b.high;
  if (b.low > a.high) return b.low - a.high;
  return 0.0f;
}

struct Side {
  const float* mean;
  float spread;
  float noise;
  // What a few levels of the picture's own quantisation, compression and
  // tone curve amount to on the reference's scale.
  float resolution;
  // The black level on the reference's scale.
  float blackRoom;
  uint8_t flags;
};

// A stand-in leaves at most half of its block's pixels clipped or black, and
// fewer than half as many as the reference does (shares of 255).
constexpr uint8_t kMostlyBounded = 255 / 2;

// A few levels of 255 of a picture's own scale.
constexpr float kResolution = 0.01f;

// The disagreement of a block over what noise, texture and the mapping's
// imprecision explain: above 1, the two show different things.
float BlockScore(const Side& picture, const Side& target, int components, float pixels,
                 float tolerance) {
  const float noise = std::sqrt(picture.noise * picture.noise + target.noise * target.noise);
  const float texture = std::min(picture.spread, target.spread);
  const float resolution = picture.resolution + target.resolution;
  float score = 0.0f;
  float meanLevel = 0.0f;
  for (int k = 0; k < components; ++k) {
    const float level = std::max(target.mean[k], 0.0f);
    meanLevel += level / static_cast<float>(components);
    // Beyond the reference's range the mapping is extrapolated: trust it less.
    const float share = level > 1.0f ? 0.08f : 0.05f;
    const float allowed =
        tolerance * (resolution + share * level + 4.0f * noise / std::sqrt(pixels) + texture);
    const float apart = Apart(Bound(picture.mean[k], picture.flags, picture.blackRoom),
                              Bound(target.mean[k], target.flags, target.blackRoom));
    score = std::max(score, apart / allowed);
  }
  // A texture that appears or vanishes changes the spread even where the mean
  // stays; clipped blocks' spreads say nothing.
  if ((picture.flags | target.flags) == 0) {
    const float share = meanLevel > 1.0f ? 0.08f : 0.05f;
    const float allowed = tolerance * (resolution + share * meanLevel + 3.0f * noise +
                                       0.6f * std::max(picture.spread, target.spread));
    score = std::max(score, std::abs(picture.spread - target.spread) / allowed);
  }
  return score;
}

// Cells of a block that must be exposed well on both sides for its
// structure to be compared: fewer tell too little against noise.
constexpr int kDetailCells = kCellsPerSide * kCellsPerSide / 2;

double Determinant(const double m[3][3]) {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
         m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

// What a residual misalignment or a slightly different contrast leaves of a
// block's pattern: the difference of the two pictures' cells (`difference`,
// their means taken out) fitted by the reference's cells (`level`) and their
// gradients, the shift limited to a cell and the contrast to a third; the
// root mean square of what the fit leaves. A mirrored or replaced texture is
// not such a fit and stays.
float UnexplainedDetail(const float* difference, const float* level, const float* gx,
                        const float* gy, int n) {
  const float* x[3] = {level, gx, gy};
  double m[3][3] = {}, v[3] = {};
  for (int i = 0; i < n; ++i)
    for (int a = 0; a < 3; ++a) {
      v[a] += static_cast<double>(x[a][i]) * difference[i];
      for (int b = 0; b < 3; ++b)
        m[a][b] += static_cast<double>(x[a][i]) * x[b][i];
    }
  // A little ridge keeps a flat block's system solvable.
  const double ridge = 1e-6 + 1e-3 * (m[0][0] + m[1][1] + m[2][2]);
  for (int a = 0; a < 3; ++a)
    m[a][a] += ridge;
  const double det = Determinant(m);
  double fit[3] = {};
  for (int a = 0; a < 3; ++a) {  // Cramer's rule
    double replaced[3][3];
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c)
        replaced[r][c] = c == a ? v[r] : m[r][c];
    fit[a] = Determinant(replaced) / det;
  }
  const float contrast = static_cast<float>(std::clamp(fit[0], -1.0 / 3.0, 1.0 / 3.0));
  const float sx = static_cast<float>(std::clamp(fit[1], -1.0, 1.0));
  const float sy = static_cast<float>(std::clamp(fit[2], -1.0, 1.0));
  float squares = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float e = difference[i] - contrast * level[i] - sx * gx[i] - sy * gy[i];
    squares += e * e;
  }
  return std::sqrt(squares / static_cast<float>(n));
}

// The structure of a block: how far the pattern of its cells that both
// pictures expose well differs from the reference's, beyond what noise, a
// residual misalignment and the mapping's imprecision explain. Catches a
// thing that moved over ground of its own brightness and contrast, in a
// partly clipped block too (a bright frame clips a few pixels of most
// textured blocks). The picture's `cells` of the block and the cells of
// either side that hold a bounding sample (BlockCells) are summed from its
// pixels a row of blocks at a time: only the reference's luminance is kept
// whole.
float DetailScore(const uint16_t* cells, uint16_t pictureBounded, const GhostCurve* curves,
                  const std::vector<float>& reference, uint16_t referenceBounded,
                  const GhostBlocks& blocks, int b, float noise, float texture, float resolution,
                  float tolerance) {
  const uint32_t bounded = static_cast<uint32_t>(pictureBounded | referenceBounded);
  const int bx = b % blocks.columns, by = b / blocks.columns;
  const int x0 = bx * kCellsPerSide, x1 = std::min(x0 + kCellsPerSide, blocks.cellColumns);
  const int y0 = by * kCellsPerSide, y1 = std::min(y0 + kCellsPerSide, blocks.cellRows);
  const auto at = [&](int x, int y) {
    return reference[static_cast<size_t>(std::clamp(y, 0, blocks.cellRows - 1)) *
                         blocks.cellColumns +
                     std::clamp(x, 0, blocks.cellColumns - 1)];
  };
  constexpr int kCells = kCellsPerSide * kCellsPerSide;
  float difference[kCells], level[kCells], gx[kCells], gy[kCells];
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const int cell = (y - y0) * kCellsPerSide + (x - x0);
      if (bounded & (1u << cell)) continue;
      level[n] = at(x, y);
      difference[n] =
          CellLumaOf(&cells[cell * blocks.components], blocks.components, curves) - level[n];
      gx[n] = (at(x + 1, y) - at(x - 1, y)) / 2.0f;
      gy[n] = (at(x, y + 1) - at(x, y - 1)) / 2.0f;
      ++n;
    }
  if (n < std::min(kDetailCells, (x1 - x0) * (y1 - y0))) return 0.0f;
  // The difference of the means is the block's, scored by BlockScore.
  for (float* values : {difference, level, gx, gy}) {
    float mean = 0.0f;
    for (int i = 0; i < n; ++i)
      mean += values[i];
    mean /= static_cast<float>(n);
    for (int i = 0; i < n; ++i)
      values[i] -= mean;
  }
  const float cellSide = static_cast<float>(blocks.block / kCellsPerSide);
  const float allowed = tolerance * (resolution + 3.0f * noise / cellSide + 0.4f * texture);
  return UnexplainedDetail(difference, level, gx, gy, n) / allowed;
}

// The picture's block b on the reference's scale; `mapped` receives its k
// mapped means.
Side MappedSide(const GhostDetectorState& s, const GhostBlocks& blocks, int b, int k,
                float blackRoom, float* mapped) {
  float slope = 0.0f;
  for (int c = 0; c < k; ++c) {
    const float v = blocks.mean[static_cast<size_t>(b) * blocks.components + c];
    mapped[c] = s.curves[c].Map(v);
    slope = std::max(slope, s.curves[c].Slope(v));
  }
  return Side{mapped,    slope * blocks.spread[b], slope * blocks.noise, slope * kResolution,
              blackRoom, blocks.flags[b]};
}

// Where the reference says nothing, a picture that exposes most of the block,
// far more of it than the reference (`mayStandIn`), agrees with what is known
// there and is kept in the fusion there becomes (or refines) the stand-in:
// one kept out, if only as the edge of a region that disagrees with the
// reference beside the clipped area, must not decide what later pictures are
// compared with. One with clipped or black pixels stands in until a picture
// without them comes. Rows of blocks over the TBB pool.
void UpdateStandIns(GhostDetectorState* s, const GhostBlocks& blocks, int k, float blackRoom,
                    const std::vector<uint8_t>& mayStandIn, const GhostWeights& weights) {
  const auto standIn = [&](int b) {
    if (!mayStandIn[b] || (!weights.AllOne() && weights.values[b] < 1.0f)) return;
    float own = 0.0f;
    for (int c = 0; c < k; ++c)
      own += blocks.mean[static_cast<size_t>(b) * blocks.components + c] / static_cast<float>(k);
    const float distance = std::abs(own - 0.5f) + (blocks.flags[b] != 0 ? 1.0f : 0.0f);
    if (s->standInDistance[b] >= 0.0f && distance >= s->standInDistance[b]) return;
    const Side mine =
        MappedSide(*s, blocks, b, k, blackRoom, &s->standIn[static_cast<size_t>(b) * k]);
    s->standInSpread[b] = mine.spread;
    s->standInNoise[b] = mine.noise;
    s->standInResolution[b] = mine.resolution;
    s->standInDistance[b] = distance;
    s->standInFlags[b] = blocks.flags[b];
    s->standInBlackRoom[b] = blackRoom;
  };
  const GhostBlocks& ref = s->reference;
  tbb::parallel_for(0, ref.rows, [&](int r) {
    for (int b = r * ref.columns; b < (r + 1) * ref.columns; ++b)
      standIn(b);
  });
}

// Whether block b's structure is compared: the reference must expose enough
// of its cells well.
bool DetailCompared(const GhostDetectorState& s, int b) {
  return std::popcount(s.referenceBoundedCells[b]) <= kCellsPerSide * kCellsPerSide - kDetailCells;
}

}  // namespace

GhostDetector::GhostDetector() = default;
GhostDetector::~GhostDetector() = default;

bool GhostDetector::Start(const SBxPicBuf& reference, int count, int referenceIndex, int strength) {
  state_.reset();
  if (!GhostSupported(reference) || count < 1 || referenceIndex < 0 || referenceIndex >= count)
    return true;
  try {
    auto s = std::make_unique<GhostDetectorState>();
    s->width = reference.width;
    s->height = reference.height;
    s->bits = reference.bitsPerComponent;
    s->count = count;
    s->referenceIndex = referenceIndex;
    strength = std::clamp(strength, 0, kGhostStrengthMax);
    s->rejectsNothing = strength == 0;
    s->tolerance = std::exp2((5.0f - static_cast<float>(strength)) / 2.5f);
    ReduceToBlocks(reference, GhostBlockSide(reference.width, reference.height), &s->reference);
    s->referenceLuma = CellLuma(reference, s->reference, nullptr, &s->referenceBoundedCells);
    const size_t blocks = static_cast<size_t>(s->reference.Count());
    s->standIn.assign(blocks * s->reference.components, 0.0f);
    s->standInSpread.assign(blocks, 0.0f);
    s->standInNoise.assign(blocks, 0.0f);
    s->standInResolution.assign(blocks, 0.0f);
    s->standInDistance.assign(blocks, -1.0f);
    s->standInFlags.assign(blocks, 0);
    s->standInBlackRoom.assign(blocks, 0.0f);
    IdentityCurves(s.get());
    state_ = std::move(s);
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}

const GhostCurve& GhostDetector::LastCurve(int component) const {
  static const GhostCurve identity = [] {
    GhostCurve curve;
    for (int i = 0; i < kGhostCurvePoints; ++i)
      curve.points[i] = static_cast<float>(i) / (kGhostCurvePoints - 1);
    return curve;
  }();
  if (!state_ || component < 0 || component >= kGhostMaxComponents) return identity;
  return state_->curves[component];
}

size_t GhostDetector::Bytes() const {
  if (!state_) return 0;
  const GhostDetectorState& s = *state_;
  return sizeof(s) +
         (s.reference.mean.size() + s.reference.spread.size() + s.referenceLuma.size() +
          (s.reference.bounded.size() + s.referenceBoundedCells.size() * 2) / sizeof(float) +
          s.standIn.size() + s.standInSpread.size() + s.standInNoise.size() +
          s.standInResolution.size() + s.standInDistance.size() + s.standInBlackRoom.size() +
          s.standInFlags.size() / sizeof(float)) *
             sizeof(float) +
         s.reference.flags.size();
}

bool GhostDetector::Add(int index, const SBxPicBuf& picture, GhostWeights* weights) {
  GhostDetectorState* s = state_.get();
  AllOne(s, s ? s->width : picture.width, s ? s->height : picture.height, weights);
  if (!s || index != s->next) return true;
  ++s->next;
  IdentityCurves(s);
  if (index == s->referenceIndex || s->rejectsNothing) return false;
  // Colour against grey compares nothing alike.
  const int compared = picture.components >= 3 ? 3 : 1;
  if (!GhostSupported(picture) || picture.width != s->width || picture.height != s->height ||
      picture.bitsPerComponent != s->bits || compared != s->reference.components)
    return true;
  try {
    GhostBlocks blocks;
    ReduceToBlocks(picture, s->reference.block, &blocks);
    const GhostBlocks& ref = s->reference;
    const int k = std::min(blocks.components, ref.components);
    for (int c = 0; c < k; ++c)
      if (!EstimateGhostCurve(blocks, ref, c, &s->curves[c])) {
        IdentityCurves(s);
        return false;  // nothing shared to compare through: leave the picture as it is
      }
    float blackRoom = 0.0f;
    for (int c = 0; c < k; ++c)
      blackRoom = std::max(blackRoom, s->curves[c].Map(kBlackLevel));
    const float pixels = static_cast<float>(ref.block * ref.block);
    std::vector<float> scores(static_cast<size_t>(ref.Count()), 0.0f);
    // Where the reference says nothing, the blocks in which the picture may
    // stand in: decided once its own weights are known (UpdateStandIns).
    std::vector<uint8_t> mayStandIn(scores.size(), 0);
    // Each block's score is its own: rows of blocks over the TBB pool.
    const auto scoreBlock = [&](int b, const uint16_t* cells, uint16_t bounded) {
      const size_t at = static_cast<size_t>(b) * k;
      float mapped[kGhostMaxComponents];
      const Side mine = MappedSide(*s, blocks, b, k, blackRoom, mapped);
      const bool referenceSays = ref.flags[b] == 0;
      const Side target =
          referenceSays || s->standInDistance[b] < 0.0f
              ? Side{&ref.mean[at], ref.spread[b], ref.noise,
                     kResolution,   kBlackLevel,   ref.flags[b]}
              : Side{&s->standIn[at],         s->standInSpread[b],    s->standInNoise[b],
                     s->standInResolution[b], s->standInBlackRoom[b], s->standInFlags[b]};
      scores[b] = BlockScore(mine, target, k, pixels, s->tolerance);
      if (DetailCompared(*s, b))
        scores[b] = std::max(scores[b],
                             DetailScore(cells, bounded, s->curves.data(), s->referenceLuma,
                                         s->referenceBoundedCells[b], ref, b,
                                         std::sqrt(mine.noise * mine.noise + ref.noise * ref.noise),
                                         std::min(mine.spread, ref.spread[b]),
                                         mine.resolution + kResolution, s->tolerance));
      mayStandIn[b] = !referenceSays && scores[b] <= 1.0f && blocks.bounded[b] <= kMostlyBounded &&
                      blocks.bounded[b] < ref.bounded[b] / 2;
    };
    const size_t cellsPerBlock = kCellsPerSide * kCellsPerSide * static_cast<size_t>(k);
    tbb::parallel_for(0, ref.rows, [&](int r) {
      const auto cells = std::make_unique_for_overwrite<uint16_t[]>(
          cellsPerBlock * static_cast<size_t>(ref.columns));
      // Only blocks whose structure is compared have their cells summed.
      std::vector<uint8_t> wanted(static_cast<size_t>(ref.columns));
      std::vector<uint16_t> bounded(static_cast<size_t>(ref.columns), 0);
      for (int c = 0; c < ref.columns; ++c)
        wanted[c] = DetailCompared(*s, r * ref.columns + c);
      BlockRowCells(picture, blocks, r, wanted.data(), cells.get(), bounded.data());
      for (int c = 0; c < ref.columns; ++c)
        scoreBlock(r * ref.columns + c, &cells[static_cast<size_t>(c) * cellsPerBlock], bounded[c]);
    });
    RegionWeights(scores, ref.columns, ref.rows, weights);
    UpdateStandIns(s, blocks, k, blackRoom, mayStandIn, *weights);
  } catch (const std::bad_alloc&) {
    AllOne(s, s->width, s->height, weights);
    return true;
  }
  return false;
}

bool GhostDetector::Repair(const SBxPicBuf& reference, SBxPicBuf* picture,
                           GhostWeights* weights) const {
  const GhostDetectorState* s = state_.get();
  if (!s || IsEmpty(reference) || IsEmpty(*picture) || !SameGeometry(reference, *picture) ||
      reference.width != s->width || reference.height != s->height ||
      reference.bitsPerComponent != s->bits || weights->width != s->width ||
      weights->height != s->height ||
      (!weights->AllOne() && weights->values.size() != static_cast<size_t>(s->reference.Count())))
    return true;
  try {
    RepairFromReference(reference, s->curves, s->reference.bounded, picture, weights);
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}

void GhostWeights::BlockRows(int y, int* r0, int* r1, float* t) const {
  // Block centres lie at r * block + (block - 1) / 2.
  const float half = (static_cast<float>(block) - 1.0f) / 2.0f;
  const float inverse = 1.0f / static_cast<float>(block);
  const float v =
      std::clamp((static_cast<float>(y) - half) * inverse, 0.0f, static_cast<float>(rows - 1));
  *r0 = std::min(static_cast<int>(v), rows - 1);
  *r1 = std::min(*r0 + 1, rows - 1);
  *t = v - static_cast<float>(*r0);
}

std::vector<uint8_t> GhostWeights::OneRows() const {
  std::vector<uint8_t> ones(static_cast<size_t>(std::max(height, 0)), 1);
  if (values.empty()) return ones;
  // Ones interpolate to exactly one.
  std::vector<uint8_t> blockRowOnes(static_cast<size_t>(rows));
  for (int r = 0; r < rows; ++r) {
    const float* row = &values[static_cast<size_t>(r) * columns];
    blockRowOnes[r] = std::all_of(row, row + columns, [](float w) { return w == 1.0f; });
  }
  for (int y = 0; y < height; ++y) {
    int r0 = 0, r1 = 0;
    float t = 0.0f;
    BlockRows(y, &r0, &r1, &t);
    ones[y] = blockRowOnes[r0] && blockRowOnes[r1];
  }
  return ones;
}

void GhostWeights::Row(int y, int x0, int count, float* out) const {
  if (values.empty()) {
    std::fill(out, out + count, 1.0f);
    return;
  }
  int r0 = 0, r1 = 0;
  float tv = 0.0f;
  BlockRows(y, &r0, &r1, &tv);
  // Block centres lie at c * block + (block - 1) / 2.
  const float half = (static_cast<float>(block) - 1.0f) / 2.0f;
  const float inverse = 1.0f / static_cast<float>(block);
  const float* above = &values[static_cast<size_t>(r0) * columns];
  const float* below = &values[static_cast<size_t>(r1) * columns];
  for (int i = 0; i < count; ++i) {
    const float u = std::clamp((static_cast<float>(x0 + i) - half) * inverse, 0.0f,
                               static_cast<float>(columns - 1));
    const int c0 = std::min(static_cast<int>(u), columns - 1), c1 = std::min(c0 + 1, columns - 1);
    const float tu = u - static_cast<float>(c0);
    const float top = above[c0] + tu * (above[c1] - above[c0]);
    const float bottom = below[c0] + tu * (below[c1] - below[c0]);
    out[i] = top + tv * (bottom - top);
  }
}

namespace {

// Row y of the plane from row region.top + y of the weights; `ones` when that row is known to
// be all 1 (`row` filled so).
void ExpandRow(const GhostWeights& weights, const CBxRect& region, int y, bool ones, float* row,
               SBxPicBuf* plane) {
  const int width = region.Width();
  if (!ones) weights.Row(region.top + y, region.left, width, row);
  if (plane->bitsPerComponent == 32) {
    std::copy(row, row + width, reinterpret_cast<float*>(RowPtr(*plane, y)));
    return;
  }
  uint8_t* out = RowPtr(*plane, y);
  if (ones) {  // 1 is 255 exactly
    std::fill(out, out + width, uint8_t{255});
    return;
  }
  for (int x = 0; x < width; ++x)
    out[x] = static_cast<uint8_t>(row[x] * 255.0f + 0.5f);
}

}  // namespace

bool ExpandGhostWeights(const GhostWeights& weights, SBxPicBuf* plane) {
  return ExpandGhostWeights(weights, CBxRect{0, 0, weights.width, weights.height}, plane);
}

bool ExpandGhostWeights(const GhostWeights& weights, const CBxRect& region, SBxPicBuf* plane) {
  if (region.left < 0 || region.top < 0 || region.right > weights.width ||
      region.bottom > weights.height || region.Width() <= 0 || region.Height() <= 0)
    return true;
  if (IsEmpty(*plane)) {
    CBxPicBufAPI::ReinitHeap(plane, region.Width(), region.Height(), 1, 8);
    if (IsEmpty(*plane)) return true;
  } else if (plane->width != region.Width() || plane->height != region.Height() ||
             plane->components != 1 ||
             (plane->bitsPerComponent != 8 && plane->bitsPerComponent != 32)) {
    return true;
  }
  try {
    // Bands of rows over the TBB pool; a band's row buffer is its own.
    const std::vector<uint8_t> ones = weights.OneRows();
    tbb::parallel_for(tbb::blocked_range<int>(0, region.Height(), 64),
                      [&](const tbb::blocked_range<int>& band) {
                        std::vector<float> row(static_cast<size_t>(region.Width()));
                        for (int y = band.begin(); y < band.end(); ++y) {
                          const bool one = ones[static_cast<size_t>(region.top + y)] != 0;
                          if (one) std::fill(row.begin(), row.end(), 1.0f);
                          ExpandRow(weights, region, y, one, row.data(), plane);
                        }
                      });
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}
