// Smart Contrast: decomposition once, collapse with per-level gains on demand.
//
// The pyramid work of a level is spread over threads by bands of rows; each row
// of reduce, expand, sum and conversion depends only on the level below or above,
// never on the split, so the result is the same on any number of threads.
#include "tone/SmartContrast.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "picture/CBxPicBufAPI.h"

namespace {

constexpr uint32_t kBandRows = 16;
constexpr uint32_t kMaxLevels = 8;

uint32_t Bands(uint32_t rows) {
  return (rows + kBandRows - 1) / kBandRows;
}

// Runs body(rowBegin, rowEnd) over the bands of rows, in parallel.
template <class Body>
void ForRowBands(uint32_t rows, Body body) {
  const int bands = static_cast<int>(Bands(rows));
#pragma omp parallel for schedule(dynamic, 1)
  for (int b = 0; b < bands; ++b) {
    const uint32_t y0 = static_cast<uint32_t>(b) * kBandRows;
    body(y0, std::min(y0 + kBandRows, rows));
  }
}

// Rows [y0, y1) of a picture as a picture of its own.
SBxPicBuf RowBand(const SBxPicBuf& pic, uint32_t y0, uint32_t y1) {
  SBxPicBuf band = pic;
  band.pixels = RowPtr(pic, static_cast<int>(y0));
  band.height = static_cast<int32_t>(y1 - y0);
  band.byteSize = band.stride * (y1 - y0);
  return band;
}

size_t PlaneSize(const SmartContrastPyramid& p, uint32_t k) {
  return static_cast<size_t>(p.levelWidth[k]) * p.levelHeight[k];
}

void DecomposeComponent(SmartContrastPyramid* p, uint32_t c) {
  for (uint32_t k = 0; k < p->levelCount; ++k) {
    float* g = p->gauss[c][k].data();
    float* coarse = p->gauss[c][k + 1].data();
    float* lap = p->laplace[c][k].data();
    const uint32_t w = p->levelWidth[k], h = p->levelHeight[k];
    const uint32_t cw = p->levelWidth[k + 1], ch = p->levelHeight[k + 1];
    ForRowBands(ch, [&](uint32_t y0, uint32_t y1) {
      PyrReduceRows(coarse, g, cw, ch, w, h, p->kernel, y0, y1);
    });
    ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
      PyrExpandRows(lap, coarse, w, h, cw, ch, p->kernel, y0, y1);
      // The difference as PlaneSubtract makes it, row band by row band.
      const size_t end = static_cast<size_t>(y1) * w;
      for (size_t i = static_cast<size_t>(y0) * w; i < end; ++i)
        lap[i] = g[i] - lap[i];
    });
  }
}

bool Supported(const SBxPicBuf& pic) {
  return !IsEmpty(pic) && (pic.bitsPerComponent == 8 || pic.bitsPerComponent == 16) &&
         (pic.components == 1 || pic.components == 3);
}

}  // namespace

SmartContrastState::~SmartContrastState() {
  SmartContrastRelease(this);
}

uint32_t SmartContrastLevelCount(uint32_t width, uint32_t height) {
  uint32_t m = std::min(width, height), count = 0;
  while (m >= 11) {
    m >>= 1;
    ++count;
  }
  return std::min(count, kMaxLevels);
}

uint32_t SmartContrastPaddedSize(uint32_t size, uint32_t levels) {
  return ((size - 1) / (1u << levels) + 5) * (1u << levels);
}

void PadReplicateAround(SBxPicBuf* picture, int offsetX, int offsetY, int width, int height) {
  if (!picture || IsEmpty(*picture) || width <= 0 || height <= 0 || offsetX < 0 || offsetY < 0 ||
      offsetX + width > picture->width || offsetY + height > picture->height)
    return;
  const size_t bpp = BytesPerPixel(*picture);
  // The area's rows first, over row bands, then the rows above and below, which
  // copy its finished first and last rows.
  ForRowBands(static_cast<uint32_t>(height), [&](uint32_t y0, uint32_t y1) {
    for (int y = offsetY + static_cast<int>(y0); y < offsetY + static_cast<int>(y1); ++y) {
      uint8_t* row = RowPtr(*picture, y);
      const uint8_t* first = row + bpp * static_cast<size_t>(offsetX);
      const uint8_t* last = row + bpp * static_cast<size_t>(offsetX + width - 1);
      for (int x = 0; x < offsetX; ++x)
        std::memcpy(row + bpp * static_cast<size_t>(x), first, bpp);
      for (int x = offsetX + width; x < picture->width; ++x)
        std::memcpy(row + bpp * static_cast<size_t>(x), last, bpp);
    }
  });
  const int below = picture->height - (offsetY + height);
  ForRowBands(static_cast<uint32_t>(offsetY + below), [&](uint32_t y0, uint32_t y1) {
    for (int i = static_cast<int>(y0); i < static_cast<int>(y1); ++i) {
      const int y = i < offsetY ? i : i + height;
      const int from = i < offsetY ? offsetY : offsetY + height - 1;
      std::memcpy(RowPtr(*picture, y), RowPtr(*picture, from), picture->stride);
    }
  });
}

bool SmartContrastDecompose(SmartContrastPyramid* p, const SBxPicBuf* picture, uint32_t maxLevels) {
  p->components = picture->components;
  p->bitsPerComponent = picture->bitsPerComponent;
  p->width = static_cast<uint32_t>(picture->width);
  p->height = static_cast<uint32_t>(picture->height);
  p->levelCount = std::min(SmartContrastLevelCount(p->width, p->height), maxLevels);
  const uint32_t planes = std::min<uint32_t>(p->components, kSmartContrastMaxPlanes);
  // Every plane, largest first, is made (and its pages first touched) on all
  // threads at once: hundreds of megabytes of fresh memory.
  std::vector<std::pair<std::vector<float>*, size_t>> made;
  try {
    for (uint32_t k = 0; k <= p->levelCount; ++k) {
      p->levelWidth[k] = p->width >> k;
      p->levelHeight[k] = p->height >> k;
      for (uint32_t c = 0; c < planes; ++c) {
        made.emplace_back(&p->gauss[c][k], PlaneSize(*p, k));
        if (k < p->levelCount) made.emplace_back(&p->laplace[c][k], PlaneSize(*p, k));
      }
    }
  } catch (const std::bad_alloc&) {
    return true;
  }
  bool failed = false;
  const int count = static_cast<int>(made.size());
#pragma omp parallel for schedule(dynamic, 1) reduction(|| : failed)
  for (int i = 0; i < count; ++i) {
    try {
      made[static_cast<size_t>(i)].first->assign(made[static_cast<size_t>(i)].second, 0.0f);
    } catch (const std::bad_alloc&) {
      failed = true;
    }
  }
  if (failed) return true;
  MakePyramidKernel(p->kernel);
  ScopedPicBuf temporary(picture->width, picture->height, 1, picture->bitsPerComponent);
  if (IsEmpty(*temporary)) return true;
  for (uint32_t c = 0; c < planes; ++c) {
    float* level0 = p->gauss[c][0].data();
    ForRowBands(p->height, [&](uint32_t y0, uint32_t y1) {
      SBxPicBuf component = RowBand(*temporary, y0, y1);
      const SBxPicBuf source = RowBand(*picture, y0, y1);
      CBxPicBufAPI::ExtractComponent(&component, static_cast<int>(c), &source);
      PictureToFloat(level0 + static_cast<size_t>(y0) * p->width, &component);
    });
    DecomposeComponent(p, c);
  }
  return false;
}

void SmartContrastRebuild(SBxPicBuf* out, SmartContrastPyramid* p,
                          const float gains[kSmartContrastSliders], uint32_t c) {
  for (uint32_t k = p->levelCount; k-- > 0;) {
    float* g = p->gauss[c][k].data();
    const float* coarse = p->gauss[c][k + 1].data();
    const float* lap = p->laplace[c][k].data();
    const uint32_t w = p->levelWidth[k], h = p->levelHeight[k];
    const float gain = gains[k];
    ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
      PyrExpandRows(g, coarse, w, h, p->levelWidth[k + 1], p->levelHeight[k + 1], p->kernel, y0,
                    y1);
      // The weighted level is added as it is made: each sum is the product
      // rounded to float, then the addition, as with a separate weighted plane.
      const size_t end = static_cast<size_t>(y1) * w;
      for (size_t i = static_cast<size_t>(y0) * w; i < end; ++i)
        g[i] = g[i] + gain * lap[i];
    });
  }
  const float* level0 = p->gauss[c][0].data();
  const uint32_t width = p->levelWidth[0];
  ForRowBands(static_cast<uint32_t>(out->height), [&](uint32_t y0, uint32_t y1) {
    SBxPicBuf band = RowBand(*out, y0, y1);
    FloatToPicture(&band, level0 + static_cast<size_t>(y0) * width);
  });
}

int SmartContrastApply(SmartContrastState* state, const int lod[kSmartContrastSliders]) {
  SmartContrastPyramid& p = state->pyramid;
  SBxPicBuf& result = state->paddedResult;
  if (IsEmpty(result) || p.bitsPerComponent != result.bitsPerComponent ||
      p.width != static_cast<uint32_t>(result.width) ||
      p.height != static_cast<uint32_t>(result.height) || p.gauss[0][0].empty())
    return 1;
  float gains[kSmartContrastSliders];
  for (int k = 0; k < kSmartContrastSliders; ++k) {
    state->lod[k] = std::clamp(lod[k], kSmartContrastLodMin, kSmartContrastLodMax);
    gains[k] = static_cast<float>(state->lod[k]) / 10.0f;
  }
  if (result.components == 1) {
    SmartContrastRebuild(&result, &p, gains, 0);
    return 0;
  }
  ScopedPicBuf temporary(result.width, result.height, 1, result.bitsPerComponent);
  if (IsEmpty(*temporary)) return 1;
  const uint32_t planes = std::min<uint32_t>(p.components, kSmartContrastMaxPlanes);
  for (uint32_t c = 0; c < planes; ++c) {
    SmartContrastRebuild(temporary.get(), &p, gains, c);
    ForRowBands(static_cast<uint32_t>(result.height), [&](uint32_t y0, uint32_t y1) {
      SBxPicBuf dst = RowBand(result, y0, y1);
      const SBxPicBuf src = RowBand(*temporary, y0, y1);
      CBxPicBufAPI::InsertComponent(&dst, static_cast<int>(c), &src);
    });
  }
  return 0;
}

bool SmartContrastPrepare(SmartContrastState* state, const SBxPicBuf* source) {
  SmartContrastRelease(state);
  if (!source || !Supported(*source)) return true;
  const auto w = static_cast<uint32_t>(source->width), h = static_cast<uint32_t>(source->height);
  const uint32_t levels = SmartContrastLevelCount(w, h);
  const uint32_t pw = SmartContrastPaddedSize(w, levels), ph = SmartContrastPaddedSize(h, levels);
  state->offsetX = static_cast<int>((pw - w) >> 1);
  state->offsetY = static_cast<int>((ph - h) >> 1);
  state->sourceWidth = source->width;
  state->sourceHeight = source->height;
  const int ipw = static_cast<int>(pw), iph = static_cast<int>(ph);
  CBxPicBufAPI::ReinitHeap(&state->paddedSource, ipw, iph, source->components,
                           source->bitsPerComponent);
  CBxPicBufAPI::ReinitHeap(&state->paddedResult, ipw, iph, source->components,
                           source->bitsPerComponent);
  if (IsEmpty(state->paddedSource) || IsEmpty(state->paddedResult)) return true;
  ForRowBands(h, [&](uint32_t y0, uint32_t y1) {
    SBxPicBuf to = RowBand(state->paddedSource, static_cast<uint32_t>(state->offsetY) + y0,
                           static_cast<uint32_t>(state->offsetY) + y1);
    const SBxPicBuf from = RowBand(*source, y0, y1);
    CBxPicBufAPI::CopyRect(&to, &from, CBxPoint{state->offsetX, 0}, CBxPoint{0, 0},
                           CBxSize{source->width, static_cast<int>(y1 - y0)});
  });
  PadReplicateAround(&state->paddedSource, state->offsetX, state->offsetY, source->width,
                     source->height);
  return SmartContrastDecompose(&state->pyramid, &state->paddedSource, levels);
}

void SmartContrastCopyResult(SBxPicBuf* result, const SmartContrastState& state) {
  CBxPicBufAPI::CopyRect(result, &state.paddedResult, CBxPoint{0, 0},
                         CBxPoint{state.offsetX, state.offsetY},
                         CBxSize{state.sourceWidth, state.sourceHeight});
}

void SmartContrastRelease(SmartContrastState* state) {
  CBxPicBufAPI::DoneHeap(&state->paddedSource);
  CBxPicBufAPI::DoneHeap(&state->paddedResult);
  state->pyramid = SmartContrastPyramid{};
}
