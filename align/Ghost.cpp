#include "align/Ghost.h"

#include <algorithm>
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
  // The luminance of the reference's cells (its cells' components dropped).
  std::vector<float> referenceLuma;
  // Where the reference is clipped or black: the stand-in's mapped values,
  // spread and noise on the reference's scale, and how far its own mean lies
  // from mid-grey (smaller is better exposed; negative: no stand-in yet).
  std::vector<float> standIn;
  std::vector<float> standInSpread;
  std::vector<float> standInNoise;
  std::vector<float> standInResolution;
  std::vector<float> standInDistance;
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

// The structure of a block both pictures expose well: how far the pattern of
// its cells differs once the difference of their means is taken out, over
// what noise and a residual misalignment explain. Catches a thing that moved
// over ground of its own brightness and contrast. The picture's `cells` of
// the block (BlockCells) are summed from its pixels a row of blocks at a
// time: only the reference's luminance is kept whole.
float DetailScore(const uint16_t* cells, const GhostCurve* curves,
                  const std::vector<float>& reference, const GhostBlocks& blocks, int b,
                  float noise, float texture, float resolution, float tolerance) {
  const int bx = b % blocks.columns, by = b / blocks.columns;
  const int x0 = bx * kCellsPerSide, x1 = std::min(x0 + kCellsPerSide, blocks.cellColumns);
  const int y0 = by * kCellsPerSide, y1 = std::min(y0 + kCellsPerSide, blocks.cellRows);
  float mine[kCellsPerSide * kCellsPerSide];
  float sumP = 0.0f, sumR = 0.0f;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const size_t i = static_cast<size_t>(y) * blocks.cellColumns + x;
      float& luma = mine[(y - y0) * kCellsPerSide + (x - x0)];
      luma = CellLumaOf(&cells[((y - y0) * kCellsPerSide + (x - x0)) * blocks.components],
                        blocks.components, curves);
      sumP += luma;
      sumR += reference[i];
    }
  const float n = static_cast<float>((x1 - x0) * (y1 - y0));
  const float offset = (sumP - sumR) / n;
  float squares = 0.0f;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const size_t i = static_cast<size_t>(y) * blocks.cellColumns + x;
      const float e = mine[(y - y0) * kCellsPerSide + (x - x0)] - reference[i] - offset;
      squares += e * e;
    }
  const float cellSide = static_cast<float>(blocks.block / kCellsPerSide);
  const float allowed = tolerance * (resolution + 3.0f * noise / cellSide + 0.4f * texture);
  return std::sqrt(squares / n) / allowed;
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
    s->referenceLuma = CellLuma(reference, s->reference, nullptr);
    const size_t blocks = static_cast<size_t>(s->reference.Count());
    s->standIn.assign(blocks * s->reference.components, 0.0f);
    s->standInSpread.assign(blocks, 0.0f);
    s->standInNoise.assign(blocks, 0.0f);
    s->standInResolution.assign(blocks, 0.0f);
    s->standInDistance.assign(blocks, -1.0f);
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
          s.reference.bounded.size() / sizeof(float) + s.standIn.size() + s.standInSpread.size() +
          s.standInNoise.size() + s.standInResolution.size() + s.standInDistance.size()) *
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
    // Each block's score and stand-in are its own: rows of blocks over the TBB pool.
    const auto scoreBlock = [&](int b, const uint16_t* cells) {
      const size_t at = static_cast<size_t>(b) * k;
      float mapped[kGhostMaxComponents];
      float slope = 0.0f;
      for (int c = 0; c < k; ++c) {
        const float v = blocks.mean[static_cast<size_t>(b) * blocks.components + c];
        mapped[c] = s->curves[c].Map(v);
        slope = std::max(slope, s->curves[c].Slope(v));
      }
      const Side mine{
          mapped,    slope * blocks.spread[b], slope * blocks.noise, slope * kResolution,
          blackRoom, blocks.flags[b]};
      const bool referenceSays = ref.flags[b] == 0;
      const bool haveStandIn = s->standInDistance[b] >= 0.0f;
      const Side target = referenceSays || !haveStandIn
                              ? Side{&ref.mean[at], ref.spread[b], ref.noise,
                                     kResolution,   kBlackLevel,   ref.flags[b]}
                              : Side{&s->standIn[at],
                                     s->standInSpread[b],
                                     s->standInNoise[b],
                                     s->standInResolution[b],
                                     0.0f,
                                     0};
      scores[b] = BlockScore(mine, target, k, pixels, s->tolerance);
      if (referenceSays && mine.flags == 0)
        scores[b] = std::max(scores[b],
                             DetailScore(cells, s->curves.data(), s->referenceLuma, ref, b,
                                         std::sqrt(mine.noise * mine.noise + ref.noise * ref.noise),
                                         std::min(mine.spread, ref.spread[b]),
                                         mine.resolution + kResolution, s->tolerance));
      if (referenceSays || blocks.flags[b] != 0 || scores[b] > 1.0f) return;
      // Where the reference says nothing, a well-exposed picture that agrees
      // with what is known there becomes (or refines) the stand-in.
      float own = 0.0f;
      for (int c = 0; c < k; ++c)
        own += blocks.mean[static_cast<size_t>(b) * blocks.components + c] / static_cast<float>(k);
      const float distance = std::abs(own - 0.5f);
      if (haveStandIn && distance >= s->standInDistance[b]) return;
      std::copy(mapped, mapped + k, &s->standIn[at]);
      s->standInSpread[b] = mine.spread;
      s->standInNoise[b] = mine.noise;
      s->standInResolution[b] = mine.resolution;
      s->standInDistance[b] = distance;
    };
    const size_t cellsPerBlock = kCellsPerSide * kCellsPerSide * static_cast<size_t>(k);
    tbb::parallel_for(0, ref.rows, [&](int r) {
      const auto cells = std::make_unique_for_overwrite<uint16_t[]>(
          cellsPerBlock * static_cast<size_t>(ref.columns));
      // Only blocks both pictures expose well have their cells compared.
      std::vector<uint8_t> wanted(static_cast<size_t>(ref.columns));
      for (int c = 0; c < ref.columns; ++c)
        wanted[c] = (ref.flags[r * ref.columns + c] | blocks.flags[r * ref.columns + c]) == 0;
      BlockRowCells(picture, blocks, r, wanted.data(), cells.get());
      for (int b = r * ref.columns; b < (r + 1) * ref.columns; ++b)
        scoreBlock(b, &cells[static_cast<size_t>(b - r * ref.columns) * cellsPerBlock]);
    });
    RegionWeights(scores, ref.columns, ref.rows, weights);
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

// Row y's weights into the plane; `ones` when the row is known to be all 1 (`row` filled so).
void ExpandRow(const GhostWeights& weights, int y, bool ones, float* row, SBxPicBuf* plane) {
  if (!ones) weights.Row(y, 0, weights.width, row);
  if (plane->bitsPerComponent == 32) {
    std::copy(row, row + weights.width, reinterpret_cast<float*>(RowPtr(*plane, y)));
    return;
  }
  uint8_t* out = RowPtr(*plane, y);
  if (ones) {  // 1 is 255 exactly
    std::fill(out, out + weights.width, uint8_t{255});
    return;
  }
  for (int x = 0; x < weights.width; ++x)
    out[x] = static_cast<uint8_t>(row[x] * 255.0f + 0.5f);
}

}  // namespace

bool ExpandGhostWeights(const GhostWeights& weights, SBxPicBuf* plane) {
  if (weights.width <= 0 || weights.height <= 0) return true;
  if (IsEmpty(*plane)) {
    CBxPicBufAPI::ReinitHeap(plane, weights.width, weights.height, 1, 8);
    if (IsEmpty(*plane)) return true;
  } else if (plane->width != weights.width || plane->height != weights.height ||
             plane->components != 1 ||
             (plane->bitsPerComponent != 8 && plane->bitsPerComponent != 32)) {
    return true;
  }
  try {
    // Bands of rows over the TBB pool; a band's row buffer is its own.
    const std::vector<uint8_t> ones = weights.OneRows();
    tbb::parallel_for(tbb::blocked_range<int>(0, weights.height, 64),
                      [&](const tbb::blocked_range<int>& band) {
                        std::vector<float> row(static_cast<size_t>(weights.width));
                        for (int y = band.begin(); y < band.end(); ++y) {
                          if (ones[y]) std::fill(row.begin(), row.end(), 1.0f);
                          ExpandRow(weights, y, ones[y] != 0, row.data(), plane);
                        }
                      });
  } catch (const std::bad_alloc&) {
    return true;
  }
  return false;
}
