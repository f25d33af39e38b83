// The add step of the fusion: one picture's pyramid and weights, added into
// the accumulator's sums level by level.
//
// Levels are worked through in bands of rows spread over the TBB pool. A band
// converts the picture rows it needs (level 0), makes its Laplacian rows
// G[l] - expand(G[l + 1]) and adds their weights while they are in the cache;
// only the Gaussian levels from 1 on are whole planes. Every value is the one
// a whole-plane evaluation gives: each pixel sees the same operations in the
// same order, whatever the split.
#include <algorithm>
#include <cstddef>

#include <tbb/blocked_range.h>
#include <tbb/blocked_range2d.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>

#include "fusion/FusionWorkspace.h"
#include "picture/VectorClones.h"

namespace {

constexpr uint32_t kTaps = 5;

// The centre row of the 3 x 3 contrast window of row y (its interior
// neighbour on the border), as the weight kernels take it.
uint32_t WindowCentre(uint32_t y, uint32_t rows) {
  return std::clamp(y, 1u, rows - 2);
}

// fn(rowBegin, rowEnd) over bands of at most kFusionBandRows rows: bands are
// sized exactly, so their scratch stays small.
template <class Fn>
void ForBands(uint32_t rows, const Fn& fn) {
  tbb::parallel_for(
      tbb::blocked_range<uint32_t>(0, rows, kFusionBandRows),
      [&](const tbb::blocked_range<uint32_t>& r) { fn(r.begin(), r.end()); },
      tbb::simple_partitioner());
}

void PrepareWorkspace(cFusionAccumulator* acc, uint32_t planes) {
  if (acc->workspace == nullptr) acc->workspace = new cFusionWorkspace;
  cFusionWorkspace& ws = *acc->workspace;
  for (uint32_t k = 0; k < planes; ++k)
    for (uint32_t l = 1; l <= acc->levelCount; ++l)
      ws.gauss[k][l].resize(FusionLevelSize(*acc, l));
}

// One colour row split into its three components, each sample converted
// exactly to float.
template <class Sample>
MELVARO_INLINE void SplitColourRow(float* __restrict d0, float* __restrict d1, float* __restrict d2,
                                   const Sample* __restrict row, size_t width) {
  for (size_t x = 0; x < width; ++x) {
    d0[x] = static_cast<float>(row[3 * x]);
    d1[x] = static_cast<float>(row[3 * x + 1]);
    d2[x] = static_cast<float>(row[3 * x + 2]);
  }
}
MELVARO_VECTOR_CLONES void SplitColourRow8(float* d0, float* d1, float* d2, const uint8_t* row,
                                           size_t width) {
  SplitColourRow(d0, d1, d2, row, width);
}
MELVARO_VECTOR_CLONES void SplitColourRow16(float* d0, float* d1, float* d2, const uint16_t* row,
                                            size_t width) {
  SplitColourRow(d0, d1, d2, row, width);
}

// Picture rows [first, end) of components component .. component + count - 1,
// converted exactly to float: plane k of the band starts at dst + k * plane.
template <class Sample>
void LoadRows(float* dst, size_t plane, const SBxPicBuf& pic, uint32_t component, uint32_t count,
              uint32_t first, uint32_t end) {
  const size_t width = static_cast<size_t>(pic.width);
  const size_t step = pic.components;
  for (uint32_t y = first; y < end; ++y) {
    const Sample* row = reinterpret_cast<const Sample*>(RowPtr(pic, static_cast<int>(y)));
    if (count == 3 && step == 3) {  // colour: one pass over the row splits it
      float* d0 = dst + (y - first) * width;
      if constexpr (sizeof(Sample) == 1) {
        SplitColourRow8(d0, d0 + plane, d0 + 2 * plane, row, width);
      } else {
        SplitColourRow16(d0, d0 + plane, d0 + 2 * plane, row, width);
      }
      continue;
    }
    for (uint32_t k = 0; k < count; ++k) {
      float* d = dst + k * plane + (y - first) * width;
      const Sample* s = row + component + k;
      for (size_t x = 0; x < width; ++x)
        d[x] = static_cast<float>(s[x * step]);
    }
  }
}

// Gaussian level 1 straight from the picture: each band of level-1 rows
// converts the picture rows its windows read.
template <class Sample>
void ReduceFinestLevel(cFusionAccumulator* acc, const SBxPicBuf& pic, uint32_t component,
                       uint32_t count) {
  cFusionWorkspace& ws = *acc->workspace;
  const uint32_t w0 = acc->levelWidth[0], h0 = acc->levelHeight[0];
  const uint32_t w1 = acc->levelWidth[1], h1 = acc->levelHeight[1];
  ForBands(h1, [&](uint32_t y0, uint32_t y1) {
    const uint32_t first = PyrReduceWindowRow(y0, h0);
    const uint32_t end = PyrReduceWindowRow(y1 - 1, h0) + kTaps;
    const size_t plane = static_cast<size_t>(end - first) * w0;
    float* band = ScratchOf(&ws.bands.local().gauss, plane * count);
    LoadRows<Sample>(band, plane, pic, component, count, first, end);
    for (uint32_t k = 0; k < count; ++k)
      PyrReduceRowsFrom(ws.gauss[k][1].data(), band + k * plane, first, w1, h1, w0, h0, acc->kernel,
                        y0, y1);
  });
}

// Weight factor rows [first, end) as floats in [0, 1]: an 8-bit sample s
// gives s / 255 (255 exactly 1), a float is limited to the range (NaN gives 0).
void LoadFactorRows(float* dst, const SBxPicBuf& factors, uint32_t first, uint32_t end) {
  const size_t width = static_cast<size_t>(factors.width);
  for (uint32_t y = first; y < end; ++y) {
    float* d = dst + (y - first) * width;
    const uint8_t* row = RowPtr(factors, static_cast<int>(y));
    if (factors.bitsPerComponent == 8) {
      for (size_t x = 0; x < width; ++x)
        d[x] = static_cast<float>(row[x]) / 255.0f;
    } else {
      const float* f = reinterpret_cast<const float*>(row);
      for (size_t x = 0; x < width; ++x)
        d[x] = f[x] > 0.0f ? (f[x] < 1.0f ? f[x] : 1.0f) : 0.0f;
    }
  }
}

// The weight factors of levels 1..n: the factor plane reduced with the
// picture's kernel, so that each level's weights are scaled by the share of
// the factors its Gaussian pixels draw on.
void PrepareFactorLevels(cFusionAccumulator* acc, const SBxPicBuf& factors) {
  cFusionWorkspace& ws = *acc->workspace;
  for (uint32_t l = 1; l <= acc->levelCount; ++l)
    ws.factor[l].resize(FusionLevelSize(*acc, l));
  const uint32_t w0 = acc->levelWidth[0], h0 = acc->levelHeight[0];
  const uint32_t w1 = acc->levelWidth[1], h1 = acc->levelHeight[1];
  ForBands(h1, [&](uint32_t y0, uint32_t y1) {
    const uint32_t first = PyrReduceWindowRow(y0, h0);
    const uint32_t end = PyrReduceWindowRow(y1 - 1, h0) + kTaps;
    float* band = ScratchOf(&ws.bands.local().factor, static_cast<size_t>(end - first) * w0);
    LoadFactorRows(band, factors, first, end);
    PyrReduceRowsFrom(ws.factor[1].data(), band, first, w1, h1, w0, h0, acc->kernel, y0, y1);
  });
  for (uint32_t l = 1; l < acc->levelCount; ++l) {
    const uint32_t w = acc->levelWidth[l], h = acc->levelHeight[l];
    const uint32_t cw = acc->levelWidth[l + 1], ch = acc->levelHeight[l + 1];
    ForBands(ch, [&](uint32_t y0, uint32_t y1) {
      PyrReduceRows(ws.factor[l + 1].data(), ws.factor[l].data(), cw, ch, w, h, acc->kernel, y0,
                    y1);
    });
  }
}

// Gaussian level l + 1 from level l (l >= 1), spread over rows.
void ReduceLevel(cFusionAccumulator* acc, uint32_t l, uint32_t count) {
  cFusionWorkspace& ws = *acc->workspace;
  const uint32_t w = acc->levelWidth[l], h = acc->levelHeight[l];
  const uint32_t cw = acc->levelWidth[l + 1], ch = acc->levelHeight[l + 1];
  ForBands(ch, [&](uint32_t y0, uint32_t y1) {
    for (uint32_t k = 0; k < count; ++k)
      PyrReduceRows(ws.gauss[k][l + 1].data(), ws.gauss[k][l].data(), cw, ch, w, h, acc->kernel, y0,
                    y1);
  });
}

// Where the Gaussian rows of a band are: plane k from gauss[k], its first row
// being level row `first`; and its weight factors, if any, from level row
// `factorFirst`.
struct BandRows {
  const float* gauss[3] = {};
  uint32_t first = 0;
  const float* factor = nullptr;
  uint32_t factorFirst = 0;
};

// Laplacian rows [y0, y1) of level l of `count` components into `lap` (plane k
// at lap + k * (y1 - y0) * width).
void MakeLaplacianRows(float* lap, const BandRows& g, const cFusionAccumulator& acc, uint32_t l,
                       uint32_t count, uint32_t y0, uint32_t y1) {
  const cFusionWorkspace& ws = *acc.workspace;
  const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
  const uint32_t cw = acc.levelWidth[l + 1], ch = acc.levelHeight[l + 1];
  for (uint32_t k = 0; k < count; ++k) {
    for (uint32_t y = y0; y < y1; ++y) {
      float* d = lap + (static_cast<size_t>(k) * (y1 - y0) + (y - y0)) * w;
      PyrExpandRow(d, ws.gauss[k][l + 1].data(), w, h, cw, ch, acc.kernel, y);
      const float* gr = g.gauss[k] + static_cast<size_t>(y - g.first) * w;
      for (uint32_t x = 0; x < w; ++x)
        d[x] = gr[x] - d[x];
    }
  }
}

// The weights of rows [y0, y1) of level l added into record c's sums
// (one-component weights) or into the colour sums (count 3).
void AddBandWeights(cFusionAccumulator* acc, uint32_t c, uint32_t l, uint32_t count,
                    const BandRows& g, const float* lap, uint32_t y0, uint32_t y1) {
  const cAmplitudeTables* tables =
      l == 0 && acc->workspace->tablesReady ? &acc->workspace->tables : nullptr;
  const uint32_t w = acc->levelWidth[l], h = acc->levelHeight[l];
  const float mid = static_cast<float>(FusionMid(*acc));
  const float sigma2 = FusionSigma2(acc->bitsPerComponent);
  const tbb::blocked_range2d<int, int> rows(static_cast<int>(y0), static_cast<int>(y1), 1, 0,
                                            static_cast<int>(w), 1);
  const size_t plane = static_cast<size_t>(y1 - y0) * w;
  const int gFirst = static_cast<int>(g.first), lapFirst = static_cast<int>(y0);
  if (count == 3) {
    cFusionComponent* r = acc->componentRecords;
    const cUpdateAplitude_3 body{mid,
                                 sigma2,
                                 lap,
                                 g.gauss[0],
                                 lap + plane,
                                 g.gauss[1],
                                 lap + 2 * plane,
                                 g.gauss[2],
                                 r[0].valueSum[l],
                                 r[1].valueSum[l],
                                 r[2].valueSum[l],
                                 r[0].weightSum[l],
                                 w,
                                 h,
                                 tables,
                                 gFirst,
                                 lapFirst,
                                 g.factor,
                                 static_cast<int>(g.factorFirst)};
    body(rows);
  } else {
    cFusionComponent& rec = acc->componentRecords[c];
    const cUpdateAplitude_1 body{mid,
                                 sigma2,
                                 lap,
                                 g.gauss[0],
                                 rec.valueSum[l],
                                 rec.weightSum[l],
                                 w,
                                 h,
                                 tables,
                                 gFirst,
                                 lapFirst,
                                 g.factor,
                                 static_cast<int>(g.factorFirst)};
    body(rows);
  }
}

// Level 0: each band converts the picture rows its contrast windows read.
template <class Sample>
void AddFinestLevel(cFusionAccumulator* acc, const SBxPicBuf& pic, const SBxPicBuf* factors,
                    uint32_t c, uint32_t count) {
  cFusionWorkspace& ws = *acc->workspace;
  const uint32_t w = acc->levelWidth[0], h = acc->levelHeight[0];
  ForBands(h, [&](uint32_t y0, uint32_t y1) {
    cBandScratch& scratch = ws.bands.local();
    BandRows g;
    g.first = WindowCentre(y0, h) - 1;
    const uint32_t end = WindowCentre(y1 - 1, h) + 2;
    const size_t plane = static_cast<size_t>(end - g.first) * w;
    float* rows = ScratchOf(&scratch.gauss, plane * count);
    LoadRows<Sample>(rows, plane, pic, c, count, g.first, end);
    for (uint32_t k = 0; k < count; ++k)
      g.gauss[k] = rows + k * plane;
    if (factors != nullptr) {
      float* factorRows = ScratchOf(&scratch.factor, static_cast<size_t>(y1 - y0) * w);
      LoadFactorRows(factorRows, *factors, y0, y1);
      g.factor = factorRows;
      g.factorFirst = y0;
    }
    float* lap = ScratchOf(&scratch.laplacian, static_cast<size_t>(y1 - y0) * w * count);
    MakeLaplacianRows(lap, g, *acc, 0, count, y0, y1);
    AddBandWeights(acc, c, 0, count, g, lap, y0, y1);
  });
}

// Levels 1 .. n - 1: the Gaussian planes are whole, the Laplacian rows made per band.
void AddLevel(cFusionAccumulator* acc, uint32_t c, uint32_t l, uint32_t count, bool weighted) {
  cFusionWorkspace& ws = *acc->workspace;
  BandRows g;
  for (uint32_t k = 0; k < count; ++k)
    g.gauss[k] = ws.gauss[k][l].data();
  if (weighted) g.factor = ws.factor[l].data();
  ForBands(acc->levelHeight[l], [&](uint32_t y0, uint32_t y1) {
    const size_t size = static_cast<size_t>(y1 - y0) * acc->levelWidth[l] * count;
    float* lap = ScratchOf(&ws.bands.local().laplacian, size);
    MakeLaplacianRows(lap, g, *acc, l, count, y0, y1);
    AddBandWeights(acc, c, l, count, g, lap, y0, y1);
  });
}

// Exact lookup tables for the finest level pay off once the level has about
// as many pixels as the tables have entries.
void PrepareFinestLevelTables(cFusionAccumulator* acc, uint32_t components) {
  cFusionWorkspace& ws = *acc->workspace;
  const size_t maxSample = (size_t{1} << acc->bitsPerComponent) - 1;
  const size_t entries = (components == 3 ? 15 : 5) * maxSample;
  if (FusionLevelSize(*acc, 0) < entries) {
    ws.tablesReady = false;
    return;
  }
  if (!ws.tablesReady || ws.tables.components != components) {
    ws.tablesReady = false;
    BuildAmplitudeTables(&ws.tables, components, acc->bitsPerComponent, FusionMid(*acc));
    ws.tablesReady = true;
  }
}

void AddTopLevel(cFusionAccumulator* acc, uint32_t c, uint32_t count, bool weighted) {
  cFusionWorkspace& ws = *acc->workspace;
  const uint32_t n = acc->levelCount, bits = acc->bitsPerComponent, mid = FusionMid(*acc);
  const uint32_t w = acc->levelWidth[n], h = acc->levelHeight[n];
  const float* factor = weighted ? ws.factor[n].data() : nullptr;
  if (count == 3) {
    cFusionComponent* r = acc->componentRecords;
    const float* g0 = ws.gauss[0][n].data();
    const float* g1 = ws.gauss[1][n].data();
    const float* g2 = ws.gauss[2][n].data();
    if (bits == 8) {
      UpdateAmplitudeTop_3x8(r[0].weightSum[n], r[0].valueSum[n], r[1].valueSum[n],
                             r[2].valueSum[n], g0, g1, g2, w, h, mid, factor);
    } else {
      UpdateAmplitudeTop_3x16(r[0].weightSum[n], r[0].valueSum[n], r[1].valueSum[n],
                              r[2].valueSum[n], g0, g1, g2, w, h, mid, bits, factor);
    }
    return;
  }
  cFusionComponent& rec = acc->componentRecords[c];
  if (bits == 8) {
    UpdateAmplitudeTop_x8(rec.valueSum[n], rec.weightSum[n], ws.gauss[0][n].data(), w, h, mid,
                          factor);
  } else {
    UpdateAmplitudeTop_x16(rec.valueSum[n], rec.weightSum[n], ws.gauss[0][n].data(), w, h, mid,
                           bits, factor);
  }
}

// Component c alone (count 1), or the three colour components together
// (count 3, c 0): every level from the picture's samples. Levels too small to
// filter are neither expanded nor weighted.
template <class Sample>
void AddPlanes(cFusionAccumulator* acc, const SBxPicBuf& pic, const SBxPicBuf* factors, uint32_t c,
               uint32_t count) {
  const uint32_t n = acc->levelCount;  // at least 1 for every picture that can be fused
  const bool weighted = factors != nullptr;
  PrepareFinestLevelTables(acc, count);
  ReduceFinestLevel<Sample>(acc, pic, c, count);
  if (FusionLevelFilterable(*acc, 0)) AddFinestLevel<Sample>(acc, pic, factors, c, count);
  for (uint32_t l = 1; l < n; ++l) {
    ReduceLevel(acc, l, count);
    if (FusionLevelFilterable(*acc, l)) AddLevel(acc, c, l, count, weighted);
  }
  AddTopLevel(acc, c, count, weighted);
}

template <class Sample>
void AddSamples(cFusionAccumulator* acc, const SBxPicBuf& pic, const SBxPicBuf* factors) {
  const uint32_t planes = acc->components == 3 ? 3 : 1;
  PrepareWorkspace(acc, planes);
  if (factors != nullptr) PrepareFactorLevels(acc, *factors);
  if (planes == 3) {
    AddPlanes<Sample>(acc, pic, factors, 0, 3);
    return;
  }
  for (uint32_t c = 0; c < acc->components; ++c)
    AddPlanes<Sample>(acc, pic, factors, c, 1);
}

}  // namespace

void AddPictureToSums(cFusionAccumulator* acc, const SBxPicBuf& picture, const SBxPicBuf* factors) {
  if (acc->bitsPerComponent == 8) {
    AddSamples<uint8_t>(acc, picture, factors);
  } else {
    AddSamples<uint16_t>(acc, picture, factors);
  }
}
