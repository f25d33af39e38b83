// The fusion accumulator: geometry, sums, the add step and the merge.
#include "fusion/FusionAccumulator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "fusion/FusionWorkspace.h"

namespace {

size_t LevelSize(const cFusionAccumulator& acc, uint32_t l) {
  return static_cast<size_t>(acc.levelWidth[l]) * acc.levelHeight[l];
}

bool LevelFilterable(const cFusionAccumulator& acc, uint32_t l) {
  return acc.levelWidth[l] >= kFusionMinCoarseSide && acc.levelHeight[l] >= kFusionMinCoarseSide;
}

// Whether component record c's weight plane of level l is its own, or the
// colour weight plane it shares with record 0.
bool OwnsWeightPlane(const cFusionAccumulator& acc, uint32_t c, uint32_t l) {
  return c == 0 || acc.componentRecords[c].weightSum[l] != acc.componentRecords[0].weightSum[l];
}

float* ZeroPlane(size_t count) {
  return static_cast<float*>(std::calloc(count, sizeof(float)));
}

uint32_t Mid(const cFusionAccumulator& acc) {
  return (1u << (acc.bitsPerComponent - 8)) * acc.exposure;
}

// Runs fn(rowBegin, rowEnd) over the rows of a level on the TBB pool. Rows are
// independent in every caller, so the split does not change any value.
template <class Fn>
void ForRowBands(uint32_t rows, const Fn& fn) {
  tbb::parallel_for(tbb::blocked_range<uint32_t>(0, rows, 8),
                    [&](const tbb::blocked_range<uint32_t>& r) { fn(r.begin(), r.end()); });
}

void PrepareWorkspace(cFusionAccumulator* acc, uint32_t planes) {
  if (acc->workspace == nullptr) acc->workspace = new cFusionWorkspace;
  cFusionWorkspace& ws = *acc->workspace;
  for (uint32_t k = 0; k < planes; ++k) {
    for (uint32_t l = 0; l <= acc->levelCount; ++l)
      ws.gauss[k][l].resize(LevelSize(*acc, l));
    ws.laplacian[k].resize(LevelSize(*acc, 0));
  }
}

// Gaussian level 0 of `count` planes from components first .. first + count - 1
// of the picture: each sample converted exactly to float.
template <class Sample>
void LoadFinestLevel(cFusionWorkspace& ws, const SBxPicBuf& pic, uint32_t first, uint32_t count) {
  const size_t width = static_cast<size_t>(pic.width);
  const size_t step = pic.components;
  ForRowBands(static_cast<uint32_t>(pic.height), [&](uint32_t y0, uint32_t y1) {
    for (uint32_t y = y0; y < y1; ++y) {
      const Sample* row = reinterpret_cast<const Sample*>(RowPtr(pic, static_cast<int>(y)));
      for (uint32_t k = 0; k < count; ++k) {
        float* d = ws.gauss[k][0].data() + width * y;
        const Sample* s = row + first + k;
        for (size_t x = 0; x < width; ++x)
          d[x] = static_cast<float>(s[x * step]);
      }
    }
  });
}

// Gaussian level l + 1 and the Laplacian of level l (G[l] - expand(G[l + 1]))
// for `count` component planes, spread over rows.
void BuildLevel(cFusionWorkspace& ws, const cFusionAccumulator& acc, uint32_t l, uint32_t count) {
  const uint32_t w = acc.levelWidth[l], h = acc.levelHeight[l];
  const uint32_t cw = acc.levelWidth[l + 1], ch = acc.levelHeight[l + 1];
  ForRowBands(ch, [&](uint32_t y0, uint32_t y1) {
    for (uint32_t k = 0; k < count; ++k) {
      PyrReduceRows(ws.gauss[k][l + 1].data(), ws.gauss[k][l].data(), cw, ch, w, h, acc.kernel, y0,
                    y1);
    }
  });
  if (!LevelFilterable(acc, l)) return;  // the level is neither expanded nor weighted
  ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
    for (uint32_t k = 0; k < count; ++k) {
      float* lap = ws.laplacian[k].data();
      PyrExpandRows(lap, ws.gauss[k][l + 1].data(), w, h, cw, ch, acc.kernel, y0, y1);
      const float* g = ws.gauss[k][l].data();
      for (size_t i = static_cast<size_t>(y0) * w; i < static_cast<size_t>(y1) * w; ++i)
        lap[i] = g[i] - lap[i];
    }
  });
}

// Exact lookup tables for the finest level pay off once the level has about
// as many pixels as the tables have entries.
const cAmplitudeTables* FinestLevelTables(cFusionAccumulator* acc, uint32_t components) {
  cFusionWorkspace& ws = *acc->workspace;
  const size_t maxSample = (size_t{1} << acc->bitsPerComponent) - 1;
  const size_t entries = (components == 3 ? 15 : 5) * maxSample;
  if (LevelSize(*acc, 0) < entries) return nullptr;
  if (!ws.tablesReady || ws.tables.components != components) {
    BuildAmplitudeTables(&ws.tables, components, acc->bitsPerComponent, Mid(*acc));
    ws.tablesReady = true;
  }
  return &ws.tables;
}

// The weights of one component picture (plane 0 of the workspace, level 0
// filled) added into record c with independent one-component weights.
void AddComponentPlanes(cFusionAccumulator* acc, uint32_t c) {
  cFusionWorkspace& ws = *acc->workspace;
  cFusionComponent& rec = acc->componentRecords[c];
  const uint32_t n = acc->levelCount, bits = acc->bitsPerComponent, mid = Mid(*acc);
  const bool eight = bits == 8;
  for (uint32_t l = 0; l < n; ++l) {
    BuildLevel(ws, *acc, l, 1);
    const cAmplitudeTables* tables = l == 0 ? FinestLevelTables(acc, 1) : nullptr;
    const float* lap = ws.laplacian[0].data();
    const float* g = ws.gauss[0][l].data();
    const uint32_t w = acc->levelWidth[l], h = acc->levelHeight[l];
    if (eight) {
      UpdateAmplitude_x8(rec.valueSum[l], rec.weightSum[l], lap, g, w, h, mid, tables);
    } else {
      UpdateAmplitude_x16(rec.valueSum[l], rec.weightSum[l], lap, g, w, h, mid, bits, tables);
    }
  }
  const float* top = ws.gauss[0][n].data();
  const uint32_t w = acc->levelWidth[n], h = acc->levelHeight[n];
  if (eight) {
    UpdateAmplitudeTop_x8(rec.valueSum[n], rec.weightSum[n], top, w, h, mid);
  } else {
    UpdateAmplitudeTop_x16(rec.valueSum[n], rec.weightSum[n], top, w, h, mid, bits);
  }
}

// A colour picture: one weight per pixel and level from its three components
// together, added into the shared weight plane and the three value sums.
void AddColourPlanes(cFusionAccumulator* acc) {
  cFusionWorkspace& ws = *acc->workspace;
  cFusionComponent* r = acc->componentRecords;
  const uint32_t n = acc->levelCount, bits = acc->bitsPerComponent, mid = Mid(*acc);
  for (uint32_t l = 0; l < n; ++l) {
    BuildLevel(ws, *acc, l, 3);
    const cAmplitudeTables* tables = l == 0 ? FinestLevelTables(acc, 3) : nullptr;
    UpdateAmplitude_3(r[0].weightSum[l], r[0].valueSum[l], r[1].valueSum[l], r[2].valueSum[l],
                      ws.laplacian[0].data(), ws.gauss[0][l].data(), ws.laplacian[1].data(),
                      ws.gauss[1][l].data(), ws.laplacian[2].data(), ws.gauss[2][l].data(),
                      acc->levelWidth[l], acc->levelHeight[l], bits, mid, tables);
  }
  const uint32_t w = acc->levelWidth[n], h = acc->levelHeight[n];
  const float* g0 = ws.gauss[0][n].data();
  const float* g1 = ws.gauss[1][n].data();
  const float* g2 = ws.gauss[2][n].data();
  if (bits == 8) {
    UpdateAmplitudeTop_3x8(r[0].weightSum[n], r[0].valueSum[n], r[1].valueSum[n], r[2].valueSum[n],
                           g0, g1, g2, w, h, mid);
  } else {
    UpdateAmplitudeTop_3x16(r[0].weightSum[n], r[0].valueSum[n], r[1].valueSum[n], r[2].valueSum[n],
                            g0, g1, g2, w, h, mid, bits);
  }
  // Records 1 and 2 normally share record 0's weight planes; copy where not.
  for (uint32_t c = 1; c < 3; ++c) {
    for (uint32_t l = 0; l <= n; ++l) {
      if (OwnsWeightPlane(*acc, c, l)) {
        std::memcpy(r[c].weightSum[l], r[0].weightSum[l], LevelSize(*acc, l) * sizeof(float));
      }
    }
  }
}

template <class Sample>
void AddPicture(cFusionAccumulator* acc, const SBxPicBuf& pic) {
  if (acc->components == 3) {
    PrepareWorkspace(acc, 3);
    LoadFinestLevel<Sample>(*acc->workspace, pic, 0, 3);
    AddColourPlanes(acc);
    return;
  }
  PrepareWorkspace(acc, 1);
  for (uint32_t c = 0; c < acc->components; ++c) {
    LoadFinestLevel<Sample>(*acc->workspace, pic, c, 1);
    AddComponentPlanes(acc, c);
  }
}

bool SameGeometry(const cFusionAccumulator& a, const cFusionAccumulator& b) {
  return a.components == b.components && a.bitsPerComponent == b.bitsPerComponent &&
         a.width == b.width && a.height == b.height && a.levelCount == b.levelCount &&
         a.componentRecords != nullptr && b.componentRecords != nullptr;
}

void AddPlane(float* dst, const float* src, size_t count) {
  tbb::parallel_for(tbb::blocked_range<size_t>(0, count, 1 << 16),
                    [=](const tbb::blocked_range<size_t>& r) {
                      for (size_t i = r.begin(); i != r.end(); ++i)
                        dst[i] += src[i];
                    });
}

}  // namespace

uint32_t FusionLevelCount(uint32_t width, uint32_t height) {
  const uint32_t shorter = std::min(width, height);
  uint32_t n = 0;
  while (n < kFusionMaxLevel && (shorter >> (n + 1)) >= kFusionMinCoarseSide)
    ++n;
  return n;
}

bool FusionGeometrySupported(const SBxPicBuf& picture) {
  return (picture.bitsPerComponent == 8 || picture.bitsPerComponent == 16) &&
         picture.components >= 1 && picture.width >= kFusionMinPictureSide &&
         picture.height >= kFusionMinPictureSide;
}

uint8_t FusionInit(cFusionAccumulator* acc, const SBxPicBuf* first, uint32_t exposure) {
  FusionFree(acc);
  if (first == nullptr || !FusionGeometrySupported(*first)) return 1;
  acc->exposure = exposure;
  acc->components = first->components;
  acc->bitsPerComponent = first->bitsPerComponent;
  acc->width = static_cast<uint32_t>(first->width);
  acc->height = static_cast<uint32_t>(first->height);
  acc->componentRecords = new (std::nothrow) cFusionComponent[acc->components];
  if (acc->componentRecords == nullptr) return 1;
  acc->levelCount = FusionLevelCount(acc->width, acc->height);
  for (uint32_t l = 0; l <= acc->levelCount; ++l) {
    acc->levelWidth[l] = acc->width >> l;
    acc->levelHeight[l] = acc->height >> l;
  }
  for (uint32_t c = 0; c < acc->components; ++c) {
    cFusionComponent& rec = acc->componentRecords[c];
    for (uint32_t l = 0; l <= acc->levelCount; ++l) {
      const bool shared = acc->components == 3 && c > 0;
      rec.weightSum[l] =
          shared ? acc->componentRecords[0].weightSum[l] : ZeroPlane(LevelSize(*acc, l));
      rec.valueSum[l] = ZeroPlane(LevelSize(*acc, l));
      if (rec.weightSum[l] == nullptr || rec.valueSum[l] == nullptr) return 1;
    }
  }
  MakePyramidKernel(acc->kernel);
  return 0;
}

uint8_t FusionAddPicture(cFusionAccumulator* acc, const SBxPicBuf* picture) {
  if (acc->componentRecords == nullptr || picture == nullptr || picture->pixels == nullptr)
    return 1;
  if (picture->components != acc->components ||
      picture->bitsPerComponent != acc->bitsPerComponent ||
      static_cast<uint32_t>(picture->width) != acc->width ||
      static_cast<uint32_t>(picture->height) != acc->height) {
    return 1;
  }
  try {
    if (acc->bitsPerComponent == 8) {
      AddPicture<uint8_t>(acc, *picture);
    } else {
      AddPicture<uint16_t>(acc, *picture);
    }
  } catch (const std::bad_alloc&) {
    FusionReleaseWorkspace(acc);
    return 1;
  }
  return 0;
}

uint8_t FusionMerge(cFusionAccumulator* acc, const cFusionAccumulator* other) {
  if (!SameGeometry(*acc, *other) || acc->exposure != other->exposure) return 1;
  for (uint32_t c = 0; c < acc->components; ++c) {
    const cFusionComponent& src = other->componentRecords[c];
    cFusionComponent& dst = acc->componentRecords[c];
    for (uint32_t l = 0; l <= acc->levelCount; ++l) {
      AddPlane(dst.valueSum[l], src.valueSum[l], LevelSize(*acc, l));
      // A shared colour weight plane is added once, with record 0.
      if (OwnsWeightPlane(*acc, c, l)) {
        AddPlane(dst.weightSum[l], src.weightSum[l], LevelSize(*acc, l));
      }
    }
  }
  return 0;
}

uint8_t FusionFree(cFusionAccumulator* acc) {
  if (acc->componentRecords != nullptr) {
    // Shared weight planes are freed with the record that owns them; records
    // are released from the last so that ownership is judged while record 0
    // still holds its pointers.
    for (uint32_t c = acc->components; c-- > 0;) {
      cFusionComponent& rec = acc->componentRecords[c];
      for (uint32_t l = 0; l < kFusionLevelSlots; ++l) {
        if (OwnsWeightPlane(*acc, c, l)) std::free(rec.weightSum[l]);
        std::free(rec.valueSum[l]);
      }
    }
    delete[] acc->componentRecords;
  }
  FusionReleaseWorkspace(acc);
  *acc = cFusionAccumulator{};
  return 0;
}

void FusionReleaseWorkspace(cFusionAccumulator* acc) {
  delete acc->workspace;
  acc->workspace = nullptr;
}

bool BorrowCollapseScratch(const cFusionAccumulator& acc, float** first, float** second) {
  const cFusionWorkspace* ws = acc.workspace;
  const size_t size = LevelSize(acc, 0);
  if (ws == nullptr || ws->gauss[0][0].size() < size || ws->laplacian[0].size() < size)
    return false;
  *first = acc.workspace->gauss[0][0].data();
  *second = acc.workspace->laplacian[0].data();
  return true;
}
