// Tiling, colour model and plane preparation of the denoiser.
#include "single/Denoise.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>

#include "picture/CBxPicBufAPI.h"
#include "single/Exposure.h"
#include "single/NlmPlane.h"
#include "single/SeriesJobSupport.h"

namespace {

constexpr int kMaxThreads = 16;
constexpr int kTileSize = 1000;
constexpr int kTileMargin = 100;
// Planes narrower than this cannot be measured or mirrored meaningfully.
constexpr int kMinPlaneWidth = 3;

bool Denoisable(const SBxPicBuf* dst, const SBxPicBuf* src) {
  return dst && src && dst->pixels && src->pixels && SameGeometry(*dst, *src) &&
         (src->bitsPerComponent == 8 || src->bitsPerComponent == 16);
}

uint8_t Unfiltered(SBxPicBuf* dst, const SBxPicBuf* src) {
  if (dst && src && dst != src) CBxPicBufAPI::Copy(dst, src);
  return 1;
}

// Strength of the 16-bit filter: the nearest whole number, kept in range.
int WholeStrength(double strength) {
  const double s = strength + 0.5;
  if (!(s >= 0.0)) return 0;
  if (s >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(s);
}

uint8_t DenoiseComponent(SBxPicBuf* yuv, int index, double strength, double levelFactor,
                         double noise, int threadCount) {
  ScopedPicBuf in(yuv->width, yuv->height, 1, yuv->bitsPerComponent);
  ScopedPicBuf out(yuv->width, yuv->height, 1, yuv->bitsPerComponent);
  if (!in->pixels || !out->pixels) return 1;
  if (!CBxPicBufAPI::ExtractComponent(in.get(), index, yuv)) return 1;
  const uint8_t failed =
      DenoisePlane(out.get(), in.get(), strength, levelFactor, noise, threadCount);
  if (failed) return 1;
  return CBxPicBufAPI::InsertComponent(yuv, index, out.get()) ? 0 : 1;
}

void MeasureNoise(NoiseRecord* noise, const SBxPicBuf* src) {
  ScopedPicBuf grey(src->width, src->height, src->components, src->bitsPerComponent);
  if (!grey->pixels) return;
  CBxPicBufAPI::Copy(grey.get(), src);
  if (!CBxPicBufAPI::ConvertBpcComp(grey.get(), 8, 1)) return;
  const double level = EstimateNoise(grey.get());
  noise->luma = level;
  noise->chroma = level;
}

uint8_t DenoiseTile(SBxPicBuf* dst, const SBxPicBuf* src, const CBxRect& core, double lumaStrength,
                    double chromaStrength, double levelFactor, const NoiseRecord* noise,
                    int threadCount) {
  const int left = std::max(core.left - kTileMargin, 0);
  const int top = std::max(core.top - kTileMargin, 0);
  const int right = std::min(core.right + kTileMargin, src->width);
  const int bottom = std::min(core.bottom + kTileMargin, src->height);
  ScopedPicBuf in(right - left, bottom - top, src->components, src->bitsPerComponent);
  ScopedPicBuf out(right - left, bottom - top, src->components, src->bitsPerComponent);
  if (!in->pixels || !out->pixels) return 1;
  CBxPicBufAPI::CopyRect(in.get(), src, CBxPoint{0, 0}, CBxPoint{left, top},
                         CBxSize{in->width, in->height});
  if (DenoisePicture(out.get(), in.get(), lumaStrength, chromaStrength, levelFactor, noise,
                     threadCount)) {
    return 1;
  }
  CBxPicBufAPI::CopyRect(dst, out.get(), CBxPoint{core.left, core.top},
                         CBxPoint{core.left - left, core.top - top},
                         CBxSize{core.Width(), core.Height()});
  return 0;
}

}  // namespace

uint8_t DenoisePlane(SBxPicBuf* dst, const SBxPicBuf* src, double strength, double levelFactor,
                     double noise, int threadCount) {
  if (!Denoisable(dst, src) || src->components != 1) return Unfiltered(dst, src);
  if (src->width < kMinPlaneWidth) {
    Unfiltered(dst, src);
    return 0;
  }
  const int w = src->width + src->width % 2, h = src->height + src->height % 2;
  const uint32_t bits = src->bitsPerComponent;
  ScopedPicBuf in(w, h, 1, bits), out(w, h, 1, bits);
  if (!in->pixels || !out->pixels) return Unfiltered(dst, src);
  CBxPicBufAPI::SetConst(in.get(), 0);
  CBxPicBufAPI::CopyRect(in.get(), src, CBxPoint{0, 0}, CBxPoint{0, 0},
                         CBxSize{src->width, src->height});
  // The guide of an 8-bit plane is the plane itself.
  ScopedPicBuf guide16;
  const SBxPicBuf* guide = in.get();
  if (bits != 8) {
    CBxPicBufAPI::ReinitHeap(guide16.get(), in.get());
    if (!guide16->pixels) return Unfiltered(dst, src);
    CBxPicBufAPI::Copy(guide16.get(), in.get());
    if (!CBxPicBufAPI::ConvertBpcComp(guide16.get(), 8, 1)) return Unfiltered(dst, src);
    guide = guide16.get();
  }
  const double sigma =
      noise < 0.0 ? EstimateNoise(guide) : noise / (1.0 + (levelFactor - 1.0) * 4.0 / 20.0);
  const double levelDependence = (levelFactor - 1.0) * 4.0;
  const int threads = std::min(std::max(threadCount, 1), kMaxThreads);
  const char failed =
      bits == 8 ? NlmPlane_x8(out.get(), in.get(), guide, strength, levelDependence, threads, sigma)
                : NlmPlane_x16(out.get(), in.get(), guide, WholeStrength(strength), levelDependence,
                               threads, sigma);
  if (failed) return Unfiltered(dst, src);
  CBxPicBufAPI::CopyRect(dst, out.get(), CBxPoint{0, 0}, CBxPoint{0, 0},
                         CBxSize{src->width, src->height});
  return 0;
}

namespace {

// A colour conversion over row bands on the processors: each row is converted
// on its own, so the split changes no value.
bool ConvertInBands(SBxPicBuf* dst, const SBxPicBuf* src,
                    char (*convert)(SBxPicBuf*, const SBxPicBuf*)) {
  if (!dst->pixels || !src->pixels || !SameGeometry(*dst, *src)) return convert(dst, src) != 0;
  std::atomic<bool> converted{true};
  ForRowBands(src->height, [&](int first, int end) {
    SBxPicBuf to = RowBand(*dst, first, end);
    const SBxPicBuf from = RowBand(*src, first, end);
    if (!convert(&to, &from)) converted = false;
  });
  return converted;
}

}  // namespace

uint8_t DenoisePicture(SBxPicBuf* dst, const SBxPicBuf* src, double lumaStrength,
                       double chromaStrength, double levelFactor, const NoiseRecord* noise,
                       int threadCount) {
  if (!Denoisable(dst, src)) return Unfiltered(dst, src);
  const NoiseRecord levels = noise ? *noise : NoiseRecord{};
  if (src->components == 1) {
    return DenoisePlane(dst, src, lumaStrength, levelFactor, levels.luma, threadCount);
  }
  if (src->components != 3) return Unfiltered(dst, src);
  ScopedPicBuf yuv(src->width, src->height, 3, src->bitsPerComponent);
  if (!yuv->pixels || !ConvertInBands(yuv.get(), src, CBxPicBufAPI::ConvertRGBtoYUV))
    return Unfiltered(dst, src);
  if (DenoiseComponent(yuv.get(), 0, lumaStrength, levelFactor, levels.luma, threadCount) ||
      DenoiseComponent(yuv.get(), 1, chromaStrength, levelFactor, 2.0 * levels.chroma,
                       threadCount) ||
      DenoiseComponent(yuv.get(), 2, chromaStrength, levelFactor, 2.0 * levels.chroma,
                       threadCount) ||
      !ConvertInBands(dst, yuv.get(), CBxPicBufAPI::ConvertYUVtoRGB)) {
    return Unfiltered(dst, src);
  }
  return 0;
}

TileGrid DenoiseTileGrid(int width, int height) {
  TileGrid grid;
  grid.columns = static_cast<int>(std::ceil(static_cast<double>(width) / kTileSize));
  grid.rows = static_cast<int>(std::ceil(static_cast<double>(height) / kTileSize));
  grid.columns = std::max(grid.columns, 1);
  grid.rows = std::max(grid.rows, 1);
  grid.tileWidth = static_cast<int>(std::ceil(static_cast<double>(width) / grid.columns));
  grid.tileHeight = static_cast<int>(std::ceil(static_cast<double>(height) / grid.rows));
  return grid;
}

uint8_t DenoiseTiled(SBxPicBuf* dst, const SBxPicBuf* src, double lumaStrength,
                     double chromaStrength, double levelFactor, NoiseRecord* noise,
                     int threadCount) {
  if (!Denoisable(dst, src) || !noise) return Unfiltered(dst, src);
  if (noise->luma < 0.0) MeasureNoise(noise, src);
  if (src->width < kTileSize && src->height < kTileSize) {
    return DenoisePicture(dst, src, lumaStrength, chromaStrength, levelFactor, noise, threadCount);
  }
  const TileGrid grid = DenoiseTileGrid(src->width, src->height);
  for (int ty = 0; ty < grid.rows; ++ty) {
    for (int tx = 0; tx < grid.columns; ++tx) {
      CBxRect core;
      core.left = tx * grid.tileWidth;
      core.top = ty * grid.tileHeight;
      core.right = std::min(core.left + grid.tileWidth, src->width);
      core.bottom = std::min(core.top + grid.tileHeight, src->height);
      if (core.Width() <= 0 || core.Height() <= 0) continue;
      if (DenoiseTile(dst, src, core, lumaStrength, chromaStrength, levelFactor, noise,
                      threadCount)) {
        return Unfiltered(dst, src);
      }
    }
  }
  return 0;
}
