#include "align/LumaPlanes.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "align/Cubic.h"
#include "picture/VectorClones.h"

namespace {

constexpr float kBlue = 0.114f, kGreen = 0.587f, kRed = 0.299f;

// Luma of one picture row into `out`, scaled by `scale`.
template <typename Sample>
MELVARO_INLINE void RowLuma(const Sample* __restrict in, float* __restrict out, int width,
                            uint32_t components, float scale) {
  if (components >= 3) {
    const size_t step = components;
    for (int x = 0; x < width; ++x) {
      const Sample* p = in + static_cast<size_t>(x) * step;
      out[x] = (kBlue * static_cast<float>(p[0]) + kGreen * static_cast<float>(p[1]) +
                kRed * static_cast<float>(p[2])) *
               scale;
    }
  } else {
    for (int x = 0; x < width; ++x)
      out[x] = static_cast<float>(in[static_cast<size_t>(x) * components]) * scale;
  }
}

template <typename Sample>
MELVARO_VECTOR_CLONES void LumaRows(const SBxPicBuf& picture, int level, LumaPlane* plane,
                                    int rowBegin, int rowEnd, LumaHistogram* histogram) {
  const float full = sizeof(Sample) == 1 ? 255.0f : 65535.0f;
  const int width = picture.width;
  std::vector<float> a(static_cast<size_t>(width)), b(static_cast<size_t>(width));
  for (int y = rowBegin; y < rowEnd; ++y) {
    float* out = plane->values.data() + static_cast<size_t>(y) * static_cast<size_t>(plane->width);
    if (level == 0) {
      RowLuma(reinterpret_cast<const Sample*>(RowPtr(picture, y)), out, width, picture.components,
              1.0f / full);
      continue;
    }
    RowLuma(reinterpret_cast<const Sample*>(RowPtr(picture, 2 * y)), a.data(), width,
            picture.components, 0.25f / full);
    RowLuma(reinterpret_cast<const Sample*>(RowPtr(picture, 2 * y + 1)), b.data(), width,
            picture.components, 0.25f / full);
    for (int x = 0; x < plane->width; ++x)
      out[x] = (a[2 * x] + a[2 * x + 1]) + (b[2 * x] + b[2 * x + 1]);
    // One pixel of each block is plenty for the histogram's shares. The values
    // are quarters: four times the bin scale.
    if (histogram)
      for (int x = 0; x < plane->width; ++x)
        ++(*histogram)[std::clamp(static_cast<int>(a[2 * x] * (4 * kLumaBins)), 0, kLumaBins - 1)];
  }
}

// p -> s p + o maps level coordinates to level-0 coordinates.
Homography LevelToFull(int level) {
  const double s = std::ldexp(1.0, level), o = (s - 1.0) * 0.5;
  Homography h;
  h.m = {s, 0.0, o, 0.0, s, o, 0.0, 0.0, 1.0};
  return h;
}

Homography FullToLevel(int level) {
  const double s = std::ldexp(1.0, level), o = (s - 1.0) * 0.5;
  Homography h;
  h.m = {1.0 / s, 0.0, -o / s, 0.0, 1.0 / s, -o / s, 0.0, 0.0, 1.0};
  return h;
}

}  // namespace

void PictureLuma(const SBxPicBuf& picture, int level, LumaPlane* plane, LumaHistogram* fullSize) {
  plane->width = level == 0 ? picture.width : picture.width / 2;
  plane->height = level == 0 ? picture.height : picture.height / 2;
  plane->values.assign(static_cast<size_t>(plane->width) * static_cast<size_t>(plane->height),
                       0.0f);
  std::mutex merging;
  if (fullSize) fullSize->fill(0);
  tbb::parallel_for(tbb::blocked_range<int>(0, plane->height, 16),
                    [&](const tbb::blocked_range<int>& rows) {
                      LumaHistogram local{};
                      LumaHistogram* counts = fullSize && level == 1 ? &local : nullptr;
                      if (picture.bitsPerComponent == 8) {
                        LumaRows<uint8_t>(picture, level, plane, rows.begin(), rows.end(), counts);
                      } else {
                        LumaRows<uint16_t>(picture, level, plane, rows.begin(), rows.end(), counts);
                      }
                      if (!counts) return;
                      // Counts add up the same in any order.
                      const std::lock_guard<std::mutex> lock(merging);
                      for (int i = 0; i < kLumaBins; ++i)
                        (*fullSize)[i] += local[i];
                    });
  if (fullSize && level == 0) *fullSize = HistogramOf(*plane);
}

void PictureLumaBlock(const SBxPicBuf& picture, int firstColumn, int firstRow, int columns,
                      int rows, LumaPlane* block) {
  block->width = columns;
  block->height = rows;
  block->values.resize(static_cast<size_t>(columns) * static_cast<size_t>(rows));
  const size_t offset = static_cast<size_t>(firstColumn) * picture.components;
  for (int r = 0; r < rows; ++r) {
    float* out = block->values.data() + static_cast<size_t>(r) * static_cast<size_t>(columns);
    if (picture.bitsPerComponent == 8) {
      RowLuma(RowPtr(picture, firstRow + r) + offset, out, columns, picture.components,
              1.0f / 255.0f);
    } else {
      RowLuma(reinterpret_cast<const uint16_t*>(RowPtr(picture, firstRow + r)) + offset, out,
              columns, picture.components, 1.0f / 65535.0f);
    }
  }
}

LumaHistogram HistogramOf(const LumaPlane& plane) {
  LumaHistogram histogram{};
  for (float v : plane.values)
    ++histogram[std::clamp(static_cast<int>(v * kLumaBins), 0, kLumaBins - 1)];
  return histogram;
}

void ReduceLuma(const LumaPlane& source, LumaPlane* reduced) {
  reduced->width = source.width / 2;
  reduced->height = source.height / 2;
  reduced->values.assign(static_cast<size_t>(reduced->width) * static_cast<size_t>(reduced->height),
                         0.0f);
  for (int y = 0; y < reduced->height; ++y) {
    const float* a = source.Row(2 * y);
    const float* b = source.Row(2 * y + 1);
    float* out =
        reduced->values.data() + static_cast<size_t>(y) * static_cast<size_t>(reduced->width);
    for (int x = 0; x < reduced->width; ++x)
      out[x] = 0.25f * ((a[2 * x] + a[2 * x + 1]) + (b[2 * x] + b[2 * x + 1]));
  }
}

Homography MapAtLevel(const Homography& full, int level) {
  return Compose(FullToLevel(level), Compose(full, LevelToFull(level)));
}

Homography MapAtFullSize(const Homography& atLevel, int level) {
  return Compose(LevelToFull(level), Compose(atLevel, FullToLevel(level)));
}

namespace {

// Catmull-Rom interpolation at (x, y) over a width x height grid whose sample
// at a (clamped) column and row `tap` gives; with `dx`, also the derivatives.
template <typename Tap>
bool Interpolate(int width, int height, float x, float y, Tap tap, float* value, float* dx,
                 float* dy) {
  if (!(x >= 0.0f && y >= 0.0f && x <= static_cast<float>(width - 1) &&
        y <= static_cast<float>(height - 1)))
    return false;
  const int ix = static_cast<int>(x), iy = static_cast<int>(y);
  float wx[4], wy[4], sx[4], sy[4];
  CubicWeights(x - static_cast<float>(ix), wx);
  CubicWeights(y - static_cast<float>(iy), wy);
  if (dx) {
    CubicSlopes(x - static_cast<float>(ix), sx);
    CubicSlopes(y - static_cast<float>(iy), sy);
  }
  int cols[4];
  for (int k = 0; k < 4; ++k)
    cols[k] = std::clamp(ix - 1 + k, 0, width - 1);
  float sum = 0.0f, sumX = 0.0f, sumY = 0.0f;
  for (int j = 0; j < 4; ++j) {
    const int row = std::clamp(iy - 1 + j, 0, height - 1);
    const float a = tap(cols[0], row), b = tap(cols[1], row);
    const float c = tap(cols[2], row), d = tap(cols[3], row);
    const float h = ((wx[0] * a + wx[1] * b) + wx[2] * c) + wx[3] * d;
    sum += wy[j] * h;
    if (!dx) continue;
    sumX += wy[j] * (((sx[0] * a + sx[1] * b) + sx[2] * c) + sx[3] * d);
    sumY += sy[j] * h;
  }
  *value = sum;
  if (dx) *dx = sumX, *dy = sumY;
  return true;
}

template <typename Sample>
float TapLuma(const Sample* p, uint32_t components) {
  if (components >= 3)
    return kBlue * static_cast<float>(p[0]) + kGreen * static_cast<float>(p[1]) +
           kRed * static_cast<float>(p[2]);
  return static_cast<float>(p[0]);
}

template <typename Sample>
bool SamplePicture(const SBxPicBuf& picture, float x, float y, float* value, float* dx, float* dy) {
  const auto tap = [&](int column, int row) {
    return TapLuma(reinterpret_cast<const Sample*>(RowPtr(picture, row)) +
                       static_cast<size_t>(column) * picture.components,
                   picture.components);
  };
  if (!Interpolate(picture.width, picture.height, x, y, tap, value, dx, dy)) return false;
  const float scale = 1.0f / (sizeof(Sample) == 1 ? 255.0f : 65535.0f);
  *value *= scale, *dx *= scale, *dy *= scale;
  return true;
}

}  // namespace

bool SampleLuma(const LumaPlane& plane, float x, float y, float* value) {
  return Interpolate(
      plane.width, plane.height, x, y, [&](int c, int r) { return plane.At(c, r); }, value, nullptr,
      nullptr);
}

bool SampleLumaGradient(const LumaPlane& plane, float x, float y, float* value, float* dx,
                        float* dy) {
  return Interpolate(
      plane.width, plane.height, x, y, [&](int c, int r) { return plane.At(c, r); }, value, dx, dy);
}

bool SamplePictureLuma(const SBxPicBuf& picture, float x, float y, float* value, float* dx,
                       float* dy) {
  return picture.bitsPerComponent == 8 ? SamplePicture<uint8_t>(picture, x, y, value, dx, dy)
                                       : SamplePicture<uint16_t>(picture, x, y, value, dx, dy);
}
