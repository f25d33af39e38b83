// Bicubic resampling of a moved picture onto the reference's frame.
//
// A hand-held motion is close to a shift: along an output row the source point
// moves by about one pixel per pixel and drifts slowly across source rows. So
// each row is cut into runs in which the four source rows and the column
// offset stay the same; within a run the taps are contiguous samples and the
// per-pixel weights differ only, so the sums run as vector code over the
// samples. Pixels whose taps would leave the picture take a scalar path with
// clamped taps and the same arithmetic order, so a pixel's value does not
// depend on which path computed it.
#include "align/Warp.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "align/Cubic.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/VectorClones.h"

namespace {

// Pixels per vector run at most: the run's weights stay in the first-level cache.
constexpr int kRun = 128;

struct WarpJob {
  const SBxPicBuf* source = nullptr;
  int originX = 0, originY = 0;  // of the source buffer in the picture
  int width = 0, height = 0;     // of the picture
  Homography toSource;
  CBxRect region;
  // Taps are limited to these picture columns and rows (the buffer's, within the picture).
  int firstColumn = 0, lastColumn = 0, firstRow = 0, lastRow = 0;
};

// Rounds to nearest within the sample range; the half is added before clamping
// because that form compiles to vector code.
template <typename Sample>
MELVARO_INLINE Sample RoundSample(float v) {
  constexpr float top = sizeof(Sample) == 1 ? 255.5f : 65535.5f;
  v += 0.5f;
  v = v > 0.5f ? v : 0.5f;
  v = v < top ? v : top;
  return static_cast<Sample>(static_cast<int>(v));
}

// Where one output row reads: per pixel the source point, the first tap's
// column and row plus one (the tap at the point's floor) and the fractions.
struct RowTaps {
  std::vector<double> sx, sy;
  std::vector<int> column, row;
  std::vector<float> fx, fy;
  std::vector<uint8_t> inside;  // every tap within the buffer: the vector path may take it
};

// In three simple loops, each of which runs as vector code.
MELVARO_VECTOR_CLONES void LocateRow(const WarpJob& job, int y, RowTaps* taps, uint8_t* coverage) {
  const auto& m = job.toSource.m;
  const int count = job.region.Width();
  double* __restrict sx = taps->sx.data();
  double* __restrict sy = taps->sy.data();
  const double x0 = job.region.left;
  const double wy = m[7] * y + m[8], xy = m[1] * y + m[2], yy = m[4] * y + m[5];
  const double m0 = m[0], m3 = m[3], m6 = m[6];
  for (int i = 0; i < count; ++i) {
    const double x = x0 + i;
    const double w = m6 * x + wy;
    // Beyond the horizon (w <= 0): far outside.
    const double safe = w > 0.0 ? w : 1.0;
    const double px = (m0 * x + xy) / safe, py = (m3 * x + yy) / safe;
    sx[i] = w > 0.0 ? px : -1e9;
    sy[i] = w > 0.0 ? py : -1e9;
  }
  const double lastX = job.width - 1.0, lastY = job.height - 1.0;
  if (coverage) {
    for (int i = 0; i < count; ++i) {
      const double inside =
          std::min(std::min(sx[i], lastX - sx[i]), std::min(sy[i], lastY - sy[i]));
      double c = 1.0 + inside;
      c = c > 0.0 ? c : 0.0;
      c = c < 1.0 ? c : 1.0;
      coverage[i] = static_cast<uint8_t>(static_cast<int>(c * 255.0 + 0.5));
    }
  }
  int* __restrict column = taps->column.data();
  int* __restrict row = taps->row.data();
  float* __restrict fx = taps->fx.data();
  float* __restrict fy = taps->fy.data();
  uint8_t* __restrict inside = taps->inside.data();
  const int maxColumn = std::max(job.width - 2, 0), maxRow = std::max(job.height - 2, 0);
  const int firstColumn = job.firstColumn, lastColumn = job.lastColumn;
  const int firstRow = job.firstRow, lastRow = job.lastRow;
  for (int i = 0; i < count; ++i) {
    // Points off the picture read its edge.
    double cx = sx[i] > 0.0 ? sx[i] : 0.0, cy = sy[i] > 0.0 ? sy[i] : 0.0;
    cx = cx < lastX ? cx : lastX;
    cy = cy < lastY ? cy : lastY;
    int a = static_cast<int>(cx), b = static_cast<int>(cy);
    a = a < maxColumn ? a : maxColumn;
    b = b < maxRow ? b : maxRow;
    column[i] = a;
    row[i] = b;
    fx[i] = static_cast<float>(cx - a);
    fy[i] = static_cast<float>(cy - b);
  }
  for (int i = 0; i < count; ++i)
    inside[i] = (column[i] - 1 >= firstColumn) & (column[i] + 2 <= lastColumn) &
                (row[i] - 1 >= firstRow) & (row[i] + 2 <= lastRow);
}

template <typename Sample>
const Sample* SourceRow(const WarpJob& job, int pictureRow) {
  return reinterpret_cast<const Sample*>(RowPtr(*job.source, pictureRow - job.originY));
}

// One pixel with clamped taps.
template <int N, typename Sample>
void ScalarPixel(const WarpJob& job, const RowTaps& taps, int i, Sample* out) {
  float wx[4], wy[4];
  CubicWeights(taps.fx[i], wx);
  CubicWeights(taps.fy[i], wy);
  int col[4];
  const Sample* rows[4];
  for (int k = 0; k < 4; ++k) {
    col[k] =
        (std::clamp(taps.column[i] - 1 + k, job.firstColumn, job.lastColumn) - job.originX) * N;
    rows[k] = SourceRow<Sample>(job, std::clamp(taps.row[i] - 1 + k, job.firstRow, job.lastRow));
  }
  for (int c = 0; c < N; ++c) {
    float acc = 0.0f;
    for (int j = 0; j < 4; ++j) {
      const Sample* r = rows[j] + c;
      const float h =
          ((wx[0] * static_cast<float>(r[col[0]]) + wx[1] * static_cast<float>(r[col[1]])) +
           wx[2] * static_cast<float>(r[col[2]])) +
          wx[3] * static_cast<float>(r[col[3]]);
      acc = j == 0 ? wy[0] * h : acc + wy[j] * h;
    }
    out[c] = RoundSample<Sample>(acc);
  }
}

// `count` samples of one tap row: acc = wy * (horizontal sum), or acc += it.
template <int N, typename Sample>
MELVARO_INLINE void TapRow(float* __restrict acc, const Sample* __restrict r,
                           const float* const* wx, const float* __restrict wy, int count,
                           bool first) {
  const float* __restrict w0 = wx[0];
  const float* __restrict w1 = wx[1];
  const float* __restrict w2 = wx[2];
  const float* __restrict w3 = wx[3];
  if (first) {
    for (int s = 0; s < count; ++s) {
      const float h = ((w0[s] * static_cast<float>(r[s]) + w1[s] * static_cast<float>(r[s + N])) +
                       w2[s] * static_cast<float>(r[s + 2 * N])) +
                      w3[s] * static_cast<float>(r[s + 3 * N]);
      acc[s] = wy[s] * h;
    }
  } else {
    for (int s = 0; s < count; ++s) {
      const float h = ((w0[s] * static_cast<float>(r[s]) + w1[s] * static_cast<float>(r[s + N])) +
                       w2[s] * static_cast<float>(r[s + 2 * N])) +
                      w3[s] * static_cast<float>(r[s + 3 * N]);
      acc[s] = acc[s] + wy[s] * h;
    }
  }
}

// A run of `count` pixels from i that share their tap rows and column offset.
// The fractions are spread to every sample first, so that the weights too are
// computed as vector code, sample by sample.
template <int N, typename Sample>
MELVARO_VECTOR_CLONES void VectorRun(const WarpJob& job, const RowTaps& taps, int i, int count,
                                     Sample* out) {
  alignas(64) float tx[kRun * N], ty[kRun * N];
  alignas(64) float wx[4][kRun * N], wy[4][kRun * N], acc[kRun * N];
  for (int p = 0; p < count; ++p)
    for (int c = 0; c < N; ++c) {
      tx[p * N + c] = taps.fx[i + p];
      ty[p * N + c] = taps.fy[i + p];
    }
  const int samples = count * N;
  for (int s = 0; s < samples; ++s) {
    float w[4];
    CubicWeights(tx[s], w);
    wx[0][s] = w[0], wx[1][s] = w[1], wx[2][s] = w[2], wx[3][s] = w[3];
    CubicWeights(ty[s], w);
    wy[0][s] = w[0], wy[1][s] = w[1], wy[2][s] = w[2], wy[3][s] = w[3];
  }
  const float* columns[4] = {wx[0], wx[1], wx[2], wx[3]};
  const int firstColumn = (taps.column[i] - 1 - job.originX) * N;
  for (int j = 0; j < 4; ++j) {
    const Sample* r = SourceRow<Sample>(job, taps.row[i] - 1 + j) + firstColumn;
    TapRow<N>(acc, r, columns, wy[j], samples, j == 0);
  }
  for (int s = 0; s < samples; ++s)
    out[s] = RoundSample<Sample>(acc[s]);
}

template <int N, typename Sample>
void WarpRows(const WarpJob& job, SBxPicBuf* output, SBxPicBuf* coverage, int rowBegin,
              int rowEnd) {
  const int count = job.region.Width();
  RowTaps taps;
  taps.sx.resize(count), taps.sy.resize(count);
  taps.column.resize(count), taps.row.resize(count), taps.fx.resize(count);
  taps.fy.resize(count), taps.inside.resize(count);
  for (int r = rowBegin; r < rowEnd; ++r) {
    LocateRow(job, job.region.top + r, &taps, coverage ? RowPtr(*coverage, r) : nullptr);
    Sample* out = reinterpret_cast<Sample*>(RowPtr(*output, r));
    int i = 0;
    while (i < count) {
      if (!taps.inside[i]) {
        ScalarPixel<N>(job, taps, i, out + i * N);
        ++i;
        continue;
      }
      int j = i + 1;
      while (j < count && j - i < kRun && taps.inside[j] && taps.row[j] == taps.row[i] &&
             taps.column[j] - j == taps.column[i] - i)
        ++j;
      VectorRun<N>(job, taps, i, j - i, out + i * N);
      i = j;
    }
  }
}

// A whole-pixel shift: rows copied, the edges repeated where the source ends.
void ShiftRows(const WarpJob& job, int dx, int dy, SBxPicBuf* output, SBxPicBuf* coverage,
               int rowBegin, int rowEnd) {
  const size_t pixel = BytesPerPixel(*job.source);
  const int count = job.region.Width();
  for (int r = rowBegin; r < rowEnd; ++r) {
    const int sy = job.region.top + r + dy;
    const uint8_t* src =
        RowPtr(*job.source, std::clamp(sy, job.firstRow, job.lastRow) - job.originY);
    uint8_t* out = RowPtr(*output, r);
    uint8_t* cov = coverage ? RowPtr(*coverage, r) : nullptr;
    const bool rowInside = sy >= 0 && sy < job.height;
    int i = 0;
    while (i < count) {
      const int sx = job.region.left + i + dx;
      const int clamped = std::clamp(sx, job.firstColumn, job.lastColumn);
      if (cov) cov[i] = rowInside && sx >= 0 && sx < job.width ? 255 : 0;
      if (clamped != sx) {
        std::memcpy(out + i * pixel, src + static_cast<size_t>(clamped - job.originX) * pixel,
                    pixel);
        ++i;
        continue;
      }
      // The stretch inside the buffer in one copy.
      const int n = std::min(count - i, job.lastColumn - sx + 1);
      std::memcpy(out + i * pixel, src + static_cast<size_t>(sx - job.originX) * pixel,
                  static_cast<size_t>(n) * pixel);
      if (cov) std::memset(cov + i, rowInside ? 255 : 0, static_cast<size_t>(n));
      i += n;
    }
  }
}

template <typename Sample>
void WarpAll(const WarpJob& job, SBxPicBuf* output, SBxPicBuf* coverage) {
  tbb::parallel_for(tbb::blocked_range<int>(0, job.region.Height(), 8),
                    [&](const tbb::blocked_range<int>& rows) {
                      switch (job.source->components) {
                        case 1:
                          WarpRows<1, Sample>(job, output, coverage, rows.begin(), rows.end());
                          break;
                        case 2:
                          WarpRows<2, Sample>(job, output, coverage, rows.begin(), rows.end());
                          break;
                        case 3:
                          WarpRows<3, Sample>(job, output, coverage, rows.begin(), rows.end());
                          break;
                        default:
                          WarpRows<4, Sample>(job, output, coverage, rows.begin(), rows.end());
                          break;
                      }
                    });
}

// An empty picture is given the geometry; a non-empty one must have it.
bool Prepare(SBxPicBuf* picture, int width, int height, uint32_t components, uint32_t bits) {
  if (IsEmpty(*picture)) {
    CBxPicBufAPI::ReinitHeap(picture, width, height, components, bits);
    return IsEmpty(*picture);
  }
  return picture->width != width || picture->height != height ||
         picture->components != components || picture->bitsPerComponent != bits;
}

}  // namespace

bool WarpRegion(const SBxPicBuf& source, CBxPoint sourceOrigin, CBxSize pictureSize,
                const Homography& toSource, const CBxRect& region, SBxPicBuf* output,
                SBxPicBuf* coverage) {
  if (!output || IsEmpty(source) || source.components < 1 || source.components > 4 ||
      (source.bitsPerComponent != 8 && source.bitsPerComponent != 16))
    return true;
  if (pictureSize.width < 1 || pictureSize.height < 1 || sourceOrigin.x < 0 || sourceOrigin.y < 0 ||
      sourceOrigin.x + source.width > pictureSize.width ||
      sourceOrigin.y + source.height > pictureSize.height)
    return true;
  if (region.Width() < 1 || region.Height() < 1 || region.left < 0 || region.top < 0 ||
      region.right > pictureSize.width || region.bottom > pictureSize.height)
    return true;
  const bool hadOutput = !IsEmpty(*output);
  if (Prepare(output, region.Width(), region.Height(), source.components, source.bitsPerComponent))
    return true;
  if (coverage && Prepare(coverage, region.Width(), region.Height(), 1, 8)) {
    if (!hadOutput) CBxPicBufAPI::DoneHeap(output);
    return true;
  }
  WarpJob job;
  job.source = &source;
  job.originX = sourceOrigin.x, job.originY = sourceOrigin.y;
  job.width = pictureSize.width, job.height = pictureSize.height;
  job.toSource = Normalized(toSource);
  job.region = region;
  job.firstColumn = sourceOrigin.x, job.lastColumn = sourceOrigin.x + source.width - 1;
  job.firstRow = sourceOrigin.y, job.lastRow = sourceOrigin.y + source.height - 1;
  int dx = 0, dy = 0;
  if (IsWholePixelShift(job.toSource, &dx, &dy)) {
    tbb::parallel_for(tbb::blocked_range<int>(0, region.Height(), 16),
                      [&](const tbb::blocked_range<int>& rows) {
                        ShiftRows(job, dx, dy, output, coverage, rows.begin(), rows.end());
                      });
  } else if (source.bitsPerComponent == 8) {
    WarpAll<uint8_t>(job, output, coverage);
  } else {
    WarpAll<uint16_t>(job, output, coverage);
  }
  return false;
}

bool WarpPicture(const SBxPicBuf& picture, const Homography& toSource, SBxPicBuf* output,
                 SBxPicBuf* coverage) {
  return WarpRegion(picture, CBxPoint{0, 0}, CBxSize{picture.width, picture.height}, toSource,
                    CBxRect{0, 0, picture.width, picture.height}, output, coverage);
}

CBxRect SourceRegionFor(const Homography& toSource, const CBxRect& region, CBxSize pictureSize) {
  const CBxRect whole{0, 0, pictureSize.width, pictureSize.height};
  if (region.Width() < 1 || region.Height() < 1 || pictureSize.width < 1 || pictureSize.height < 1)
    return CBxRect{};
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (int x : {region.left, region.right - 1})
    for (int y : {region.top, region.bottom - 1}) {
      double sx = 0.0, sy = 0.0;
      if (!MapPoint(toSource, x, y, &sx, &sy)) return whole;
      x0 = std::min(x0, sx), x1 = std::max(x1, sx);
      y0 = std::min(y0, sy), y1 = std::max(y1, sy);
    }
  // Two taps beyond the point's floor on each side; points off the picture read its edge.
  auto span = [](double lo, double hi, int size, int* first, int* end) {
    const double a = std::clamp(std::floor(lo) - 1.0, 0.0, size - 1.0);
    const double b = std::clamp(std::floor(hi) + 3.0, 1.0, static_cast<double>(size));
    *first = static_cast<int>(a);
    *end = std::max(static_cast<int>(b), *first + 1);
  };
  CBxRect r;
  span(x0, x1, pictureSize.width, &r.left, &r.right);
  span(y0, y1, pictureSize.height, &r.top, &r.bottom);
  return r;
}

namespace {

// The columns [*first, *last] of row y whose points map inside the picture's
// outer pixel centres; false when none do.
bool CoveredColumns(const Homography& h, int y, CBxSize size, int* first, int* last) {
  const auto& m = h.m;
  double lo = 0.0, hi = size.width - 1.0;
  // Each bound is a x + b >= 0 (w > 0 over the frame is checked by the caller).
  auto bound = [&](double a, double b) {
    if (a > 0.0) {
      lo = std::max(lo, -b / a);
    } else if (a < 0.0) {
      hi = std::min(hi, -b / a);
    } else if (b < 0.0) {
      hi = -1.0;
    }
  };
  const double wa = m[6], wb = m[7] * y + m[8];
  bound(m[0], m[1] * y + m[2]);                                                        // sx >= 0
  bound((size.width - 1.0) * wa - m[0], (size.width - 1.0) * wb - (m[1] * y + m[2]));  // sx <= W-1
  bound(m[3], m[4] * y + m[5]);                                                        // sy >= 0
  bound((size.height - 1.0) * wa - m[3], (size.height - 1.0) * wb - (m[4] * y + m[5]));
  *first = static_cast<int>(std::ceil(lo - 1e-9));
  *last = static_cast<int>(std::floor(hi + 1e-9));
  return *first <= *last;
}

}  // namespace

CBxRect CoveredRectangle(std::span<const Homography> motions, CBxSize size) {
  if (size.width < 1 || size.height < 1) return CBxRect{};
  std::vector<int> first(static_cast<size_t>(size.height), 0);
  std::vector<int> last(static_cast<size_t>(size.height), size.width - 1);
  for (const Homography& motion : motions) {
    const Homography h = Normalized(motion);
    for (int x : {0, size.width - 1})
      for (int y : {0, size.height - 1})
        if (!(h.m[6] * x + h.m[7] * y + h.m[8] > 0.0)) return CBxRect{};
    for (int y = 0; y < size.height; ++y) {
      int a = 0, b = -1;
      if (!CoveredColumns(h, y, size, &a, &b)) a = 0, b = -1;
      first[y] = std::max(first[y], a);
      last[y] = std::min(last[y], b);
    }
  }
  // The largest rectangle over consecutive rows: the region is convex, so each
  // top row is tried with every bottom row until the rows stop overlapping.
  CBxRect best;
  int64_t bestArea = 0;
  for (int top = 0; top < size.height; ++top) {
    int left = first[top], right = last[top];
    for (int bottom = top; bottom < size.height && left <= right; ++bottom) {
      left = std::max(left, first[bottom]);
      right = std::min(right, last[bottom]);
      const int64_t area = static_cast<int64_t>(right - left + 1) * (bottom - top + 1);
      if (left <= right && area > bestArea) {
        bestArea = area;
        best = CBxRect{left, top, right + 1, bottom + 1};
      }
    }
  }
  return best;
}
