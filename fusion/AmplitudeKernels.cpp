// Fusion weight updates. The per-pixel formulas live in the small inline
// functions below, written once; the row loops around them split the work so
// that the plain arithmetic runs over arrays the compiler can vectorise while
// the transcendental calls stay the scalar library functions, giving the same
// bits as a pixel-by-pixel evaluation.
#include "fusion/AmplitudeKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <iterator>

#include <math.h>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_group.h>

#include "picture/VectorClones.h"

namespace {

constexpr float kTinyF = 0.00001f;  // added to single-precision terms
constexpr double kTinyD = 0.00001;  // added to the weight, in double
constexpr float kPower = 0.16f;
constexpr double kSigma2x8 = 7200.0;
constexpr int kChunk = 256;  // pixels of a row handled per inner pass
constexpr uint32_t kMinLevelSide = 5;

bool LevelTooSmall(uint32_t width, uint32_t height) {
  return width < kMinLevelSide || height < kMinLevelSide;
}

// The centre of the 3 x 3 window of row or column i of a level of size n: the
// pixel itself inside, its interior neighbour on the border.
MELVARO_INLINE int WindowCentre(int i, int n) {
  return std::clamp(i, 1, n - 2);
}

// |Laplacian| of the window centred on column x: the left and top taps summed
// in single precision, the rest in double, rounded to single.
MELVARO_INLINE float AbsLaplacianAt(const float* up, const float* centre, const float* down,
                                    ptrdiff_t x) {
  const float leftTop = centre[x - 1] + up[x];
  const double lap = static_cast<double>(leftTop) - 4.0 * static_cast<double>(centre[x]) +
                     static_cast<double>(centre[x + 1]) + static_cast<double>(down[x]);
  return std::fabs(static_cast<float>(lap));
}

// |Laplacian| for the pixels x0 .. x0 + n - 1 of a row of a level `width` wide.
// The three rows are addressed so that row[x - base] is column x.
MELVARO_INLINE void RowAbsLaplacian(float* out, const float* up, const float* centre,
                                    const float* down, int base, int x0, int n, int width) {
  const int first = std::max(x0, 1);
  const int last = std::min(x0 + n, width - 1);
  // Offsets stay inside the rows: base <= first - 1.
  for (int x = first; x < last; ++x)
    out[x - x0] = AbsLaplacianAt(up, centre, down, x - base);
  if (x0 == 0) out[0] = AbsLaplacianAt(up, centre, down, 1 - base);
  if (x0 + n == width) out[n - 1] = AbsLaplacianAt(up, centre, down, width - 2 - base);
}

MELVARO_INLINE float AddTinyInDouble(float weight) {
  return static_cast<float>(static_cast<double>(weight) + kTinyD);
}

// One component, ordinary level.
inline float ExposureArg1(float v, float mid, float sigma2) {
  const float d = v - mid;
  return -((d * d) / sigma2);
}
inline float Exposure1(float v, float mid, float sigma2) {
  return expf(ExposureArg1(v, mid, sigma2)) + kTinyF;
}
inline float Contrast1(float absLap) {
  return sqrtf(absLap + kTinyF);
}

// Three components, ordinary level.
MELVARO_INLINE float ExposureArg3(float sum, float mid, float sigma2) {
  const float d = sum / 3.0f - mid;
  return -((d * d) / sigma2);
}
inline float Exposure3(float sum, float mid, float sigma2) {
  return powf(expf(ExposureArg3(sum, mid, sigma2)) + kTinyF, kPower);
}
MELVARO_INLINE float ContrastArg3(float absLap) {
  return static_cast<float>(static_cast<double>(absLap) / 3.0) + kTinyF;
}
inline float Contrast3(float absLap) {
  return sqrtf(powf(ContrastArg3(absLap), kPower));
}
// Standard deviation of the three components, in two steps: the summed
// squares of their distances from the mean, and the deviation from those.
MELVARO_INLINE float Squares3(float g0, float g1, float g2, float sum) {
  const float mean = static_cast<float>(static_cast<double>(sum) / 3.0);
  const float d0 = mean - g0;
  const float d1 = mean - g1;
  const float d2 = mean - g2;
  return (d0 * d0 + d1 * d1) + d2 * d2;
}
MELVARO_INLINE float DeviationOfSquares(float squares) {
  return static_cast<float>(std::sqrt(static_cast<double>(squares) / 3.0));
}
MELVARO_INLINE float Deviation3(float g0, float g1, float g2, float sum) {
  return DeviationOfSquares(Squares3(g0, g1, g2, sum));
}
MELVARO_INLINE float TapSum(float g0, float g1, float g2) {
  return (g1 + g0) + g2;
}

// The exposure term of the coarsest level of an 8-bit picture: the square
// negated in single precision, division and exponential in double.
inline float ExposureTopDouble(float v, float mid, double divisor) {
  const float d = v - mid;
  const float negSquare = -(d * d);
  return static_cast<float>(std::exp(static_cast<double>(negSquare) / divisor));
}

// `factor` (may be null) scales each weight once it is formed.
void Accumulate1(float* weightSum, float* valueSum, const float* value, const float* c,
                 const float* e, const float* factor, int n) {
  if (factor == nullptr) {
    for (int i = 0; i < n; ++i) {
      const float w = AddTinyInDouble((c[i] * e[i]) * e[i]);
      weightSum[i] += w;
      valueSum[i] += w * value[i];
    }
    return;
  }
  for (int i = 0; i < n; ++i) {
    const float w = AddTinyInDouble((c[i] * e[i]) * e[i]) * factor[i];
    weightSum[i] += w;
    valueSum[i] += w * value[i];
  }
}

// The factors of the pixels from (x0, y) of a level `width` wide, or null.
inline const float* FactorsAt(const float* factor, int firstRow, int y, int x0, uint32_t width) {
  if (factor == nullptr) return nullptr;
  return factor + static_cast<size_t>(y - firstRow) * width + static_cast<size_t>(x0);
}

template <class T>
void RunLevel(const T& body, uint32_t width, uint32_t height) {
  tbb::task_group_context context(tbb::task_group_context::bound);
  tbb::parallel_for(
      tbb::blocked_range2d<int, int>(0, static_cast<int>(height), 1, 0, static_cast<int>(width), 1),
      body, tbb::auto_partitioner(), context);
}

}  // namespace

float FusionSigma2(uint32_t bits) {
  if (bits == 8) return static_cast<float>(kSigma2x8);
  const float q = static_cast<float>(std::ldexp(1.0, static_cast<int>(bits)) * 0.25);
  return static_cast<float>(static_cast<double>(q * q) * 1.41);
}

void BuildAmplitudeTables(cAmplitudeTables* tables, uint32_t components, uint32_t bits,
                          uint32_t mid) {
  const uint32_t maxSample = (1u << bits) - 1;
  const float midF = static_cast<float>(mid);
  const float sigma2 = FusionSigma2(bits);
  const bool colour = components == 3;
  tables->components = components;
  tables->exposure.resize(static_cast<size_t>(colour ? 3 : 1) * maxSample + 1);
  tables->contrast.resize(static_cast<size_t>(colour ? 12 : 4) * maxSample + 1);
  float* exposure = tables->exposure.data();
  float* contrast = tables->contrast.data();
  tbb::parallel_for(tbb::blocked_range<size_t>(0, tables->exposure.size()),
                    [=](const tbb::blocked_range<size_t>& r) {
                      for (size_t i = r.begin(); i != r.end(); ++i) {
                        const float v = static_cast<float>(i);
                        exposure[i] =
                            colour ? Exposure3(v, midF, sigma2) : Exposure1(v, midF, sigma2);
                      }
                    });
  tbb::parallel_for(tbb::blocked_range<size_t>(0, tables->contrast.size()),
                    [=](const tbb::blocked_range<size_t>& r) {
                      for (size_t i = r.begin(); i != r.end(); ++i) {
                        const float lap = static_cast<float>(i);
                        contrast[i] = colour ? Contrast3(lap) : Contrast1(lap);
                      }
                    });
}

void cUpdateAplitude_1::operator()(const tbb::blocked_range2d<int, int>& range) const {
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  float lap[kChunk];
  float e[kChunk];
  float c[kChunk];
  for (int y = range.rows().begin(); y != range.rows().end(); ++y) {
    const float* centre =
        contrast + static_cast<ptrdiff_t>(WindowCentre(y, h) - contrastFirstRow) * w;
    const size_t row = static_cast<size_t>(y) * width;
    const size_t contrastRow = static_cast<size_t>(y - contrastFirstRow) * width;
    const size_t valueRow = static_cast<size_t>(y - valueFirstRow) * width;
    for (int x0 = range.cols().begin(); x0 < range.cols().end(); x0 += kChunk) {
      const int n = std::min(kChunk, range.cols().end() - x0);
      RowAbsLaplacian(lap, centre - width, centre, centre + width, 0, x0, n, w);
      const float* v = contrast + contrastRow + static_cast<size_t>(x0);
      if (tables != nullptr) {
        for (int i = 0; i < n; ++i)
          e[i] = tables->exposure[static_cast<uint32_t>(v[i])];
        for (int i = 0; i < n; ++i)
          c[i] = tables->contrast[static_cast<uint32_t>(lap[i])];
      } else {
        for (int i = 0; i < n; ++i)
          e[i] = ExposureArg1(v[i], mid, sigma2);
        for (int i = 0; i < n; ++i)
          e[i] = expf(e[i]) + kTinyF;
        for (int i = 0; i < n; ++i)
          c[i] = Contrast1(lap[i]);
      }
      Accumulate1(weightSum + row + x0, valueSum + row + x0, value + valueRow + x0, c, e,
                  FactorsAt(factor, factorFirstRow, y, x0, width), n);
    }
  }
}

namespace {

// Terms of the colour weights through small caches of recent inputs: flat
// areas of a picture give the same inputs over and over, and a cache hands
// back the very result the function gave for that input's bits. One of each
// per thread: 8192 entries, 64 kB, in the second-level cache.
template <float (*Term)(float)>
class TermCache {
 public:
  TermCache() {
    const float empty = Term(std::bit_cast<float>(kEmpty));
    std::fill(std::begin(keys_), std::end(keys_), kEmpty);
    std::fill(std::begin(values_), std::end(values_), empty);
  }
  float operator()(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x);
    const uint32_t slot = (bits * 0x9E3779B1u) >> (32 - kSlotBits);
    if (keys_[slot] != bits) {
      keys_[slot] = bits;
      values_[slot] = Term(x);
    }
    return values_[slot];
  }

 private:
  static constexpr uint32_t kSlotBits = 13;
  static constexpr uint32_t kEmpty = 0xffffffffu;  // a NaN; its entry holds the term of it
  uint32_t keys_[1u << kSlotBits];
  float values_[1u << kSlotBits];
};

float Power(float x) {
  return powf(x, kPower);
}
// The saturation term from the summed squares: the deviation's square root
// and division stay behind the cache with the power.
float SaturationOfSquares(float squares) {
  return powf(DeviationOfSquares(squares) + kTinyF, kPower);
}

TermCache<Power>& ThreadPowerCache() {
  thread_local TermCache<Power> cache;
  return cache;
}
TermCache<SaturationOfSquares>& ThreadSaturationCache() {
  thread_local TermCache<SaturationOfSquares> cache;
  return cache;
}

// Per-run scratch of the colour body.
struct ColourScratch {
  float ownSum[kChunk];  // summed components of a border pixel's own row
  float lap[kChunk];
  float e[kChunk];
  float c[kChunk];
  float s[kChunk];
};

MELVARO_INLINE void SumRow(float* out, const float* g0, const float* g1, const float* g2, int n) {
  for (int i = 0; i < n; ++i)
    out[i] = TapSum(g0[i], g1[i], g2[i]);
}

// The sums are distinct planes; saying so (restrict parameters) lets the
// compiler vectorise the loop.
MELVARO_INLINE void AddWeighted3(float* __restrict ws, float* __restrict vs0, float* __restrict vs1,
                                 float* __restrict vs2, const float* v0, const float* v1,
                                 const float* v2, const float* w, int n) {
  for (int i = 0; i < n; ++i) {
    ws[i] += w[i];
    vs0[i] += w[i] * v0[i];
    vs1[i] += w[i] * v1[i];
    vs2[i] += w[i] * v2[i];
  }
}

// The weights are formed first (into t.c), then added: two simple loops.
MELVARO_INLINE void Accumulate3(const cUpdateAplitude_3& b, size_t at, size_t valueAt,
                                const float* factor, ColourScratch& t, int n) {
  float* w = t.c;
  const float* s = t.s;
  const float* e = t.e;
  for (int i = 0; i < n; ++i)
    w[i] = AddTinyInDouble(((w[i] * s[i]) * e[i]) * e[i]);
  if (factor != nullptr) {
    for (int i = 0; i < n; ++i)
      w[i] *= factor[i];
  }
  AddWeighted3(b.weightSum + at, b.valueSum0 + at, b.valueSum1 + at, b.valueSum2 + at,
               b.value0 + valueAt, b.value1 + valueAt, b.value2 + valueAt, w, n);
}

}  // namespace

namespace {

// The weights of pixels x0 .. x0 + n - 1 of row y, whose windows' summed taps
// are the rows up, centre and down (row[x - base] is column x).
MELVARO_INLINE void ColourRun(const cUpdateAplitude_3& b, int y, int x0, int n, const float* up,
                              const float* centre, const float* down, int base, bool ownRowIsCentre,
                              ColourScratch& t) {
  const int w = static_cast<int>(b.width);
  RowAbsLaplacian(t.lap, up, centre, down, base, x0, n, w);
  const size_t at = static_cast<size_t>(y) * b.width + static_cast<size_t>(x0);
  const size_t gAt =
      static_cast<size_t>(y - b.contrastFirstRow) * b.width + static_cast<size_t>(x0);
  const size_t valueAt =
      static_cast<size_t>(y - b.valueFirstRow) * b.width + static_cast<size_t>(x0);
  const float* sum = t.ownSum;
  if (ownRowIsCentre) {
    sum = centre + (x0 - base);
  } else {
    SumRow(t.ownSum, b.contrast0 + gAt, b.contrast1 + gAt, b.contrast2 + gAt, n);
  }
  const float* g0 = b.contrast0 + gAt;
  const float* g1 = b.contrast1 + gAt;
  const float* g2 = b.contrast2 + gAt;
  for (int i = 0; i < n; ++i)
    t.s[i] = Squares3(g0[i], g1[i], g2[i], sum[i]);
  TermCache<SaturationOfSquares>& saturation = ThreadSaturationCache();
  for (int i = 0; i < n; ++i)
    t.s[i] = saturation(t.s[i]);
  TermCache<Power>& power = ThreadPowerCache();
  if (b.tables != nullptr) {
    for (int i = 0; i < n; ++i)
      t.e[i] = b.tables->exposure[static_cast<uint32_t>(sum[i])];
    for (int i = 0; i < n; ++i)
      t.c[i] = b.tables->contrast[static_cast<uint32_t>(t.lap[i])];
  } else {
    for (int i = 0; i < n; ++i)
      t.e[i] = ExposureArg3(sum[i], b.mid, b.sigma2);
    for (int i = 0; i < n; ++i)
      t.e[i] = expf(t.e[i]) + kTinyF;
    for (int i = 0; i < n; ++i)
      t.e[i] = power(t.e[i]);
    for (int i = 0; i < n; ++i)
      t.c[i] = ContrastArg3(t.lap[i]);
    for (int i = 0; i < n; ++i)
      t.c[i] = sqrtf(power(t.c[i]));
  }
  Accumulate3(b, at, valueAt, FactorsAt(b.factor, b.factorFirstRow, y, x0, b.width), t, n);
}

}  // namespace

// Rows are visited in order, keeping the summed taps of the last three window
// rows in a ring: moving down one row sums one new row instead of three.
namespace {

MELVARO_VECTOR_CLONES void ColourRows(const cUpdateAplitude_3& b,
                                      const tbb::blocked_range2d<int, int>& range) {
  const int w = static_cast<int>(b.width);
  const int h = static_cast<int>(b.height);
  const size_t width = b.width;
  // Columns the windows of this tile read (border pixels use the window of
  // their interior neighbour).
  const int lo = WindowCentre(range.cols().begin(), w) - 1;
  const int count = WindowCentre(range.cols().end() - 1, w) + 2 - lo;
  std::vector<float> ringRows(3 * static_cast<size_t>(count));
  float* ring[3] = {ringRows.data(), ringRows.data() + count, ringRows.data() + 2 * count};
  ColourScratch t;
  int ringCentre = -2;  // the window centre row the ring holds
  for (int y = range.rows().begin(); y != range.rows().end(); ++y) {
    const int cy = WindowCentre(y, h);
    if (cy != ringCentre) {
      for (int r = cy == ringCentre + 1 ? cy + 1 : cy - 1; r <= cy + 1; ++r) {
        const size_t at =
            static_cast<size_t>(r - b.contrastFirstRow) * width + static_cast<size_t>(lo);
        SumRow(ring[r % 3], b.contrast0 + at, b.contrast1 + at, b.contrast2 + at, count);
      }
      ringCentre = cy;
    }
    for (int x0 = range.cols().begin(); x0 < range.cols().end(); x0 += kChunk) {
      const int n = std::min(kChunk, range.cols().end() - x0);
      ColourRun(b, y, x0, n, ring[(cy - 1) % 3], ring[cy % 3], ring[(cy + 1) % 3], lo, y == cy, t);
    }
  }
}

}  // namespace

void cUpdateAplitude_3::operator()(const tbb::blocked_range2d<int, int>& range) const {
  ColourRows(*this, range);
}

void UpdateAmplitude_x8(float* valueSum, float* weightSum, const float* value,
                        const float* contrast, uint32_t width, uint32_t height, uint32_t mid,
                        const cAmplitudeTables* tables) {
  if (LevelTooSmall(width, height)) return;
  cUpdateAplitude_x8 body{{static_cast<float>(mid), FusionSigma2(8), value, contrast, valueSum,
                           weightSum, width, height, tables}};
  RunLevel(body, width, height);
}

void UpdateAmplitude_x16(float* valueSum, float* weightSum, const float* value,
                         const float* contrast, uint32_t width, uint32_t height, uint32_t mid,
                         uint32_t bits, const cAmplitudeTables* tables) {
  if (LevelTooSmall(width, height)) return;
  cUpdateAplitude_x16 body{{static_cast<float>(mid), FusionSigma2(bits), value, contrast, valueSum,
                            weightSum, width, height, tables}};
  RunLevel(body, width, height);
}

void UpdateAmplitude_3x8(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                         const float* value0, const float* contrast0, const float* value1,
                         const float* contrast1, const float* value2, const float* contrast2,
                         uint32_t width, uint32_t height, uint32_t mid,
                         const cAmplitudeTables* tables) {
  if (LevelTooSmall(width, height)) return;
  cUpdateAplitude_3x8 body{{static_cast<float>(mid), FusionSigma2(8), value0, contrast0, value1,
                            contrast1, value2, contrast2, valueSum0, valueSum1, valueSum2,
                            weightSum, width, height, tables}};
  RunLevel(body, width, height);
}

void UpdateAmplitude_3x16(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                          const float* value0, const float* contrast0, const float* value1,
                          const float* contrast1, const float* value2, const float* contrast2,
                          uint32_t width, uint32_t height, uint32_t bits, uint32_t mid,
                          const cAmplitudeTables* tables) {
  if (LevelTooSmall(width, height)) return;
  cUpdateAplitude_3x16 body{{static_cast<float>(mid), FusionSigma2(bits), value0, contrast0, value1,
                             contrast1, value2, contrast2, valueSum0, valueSum1, valueSum2,
                             weightSum, width, height, tables}};
  RunLevel(body, width, height);
}

void UpdateAmplitude_3(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                       const float* value0, const float* contrast0, const float* value1,
                       const float* contrast1, const float* value2, const float* contrast2,
                       uint32_t width, uint32_t height, uint32_t bits, uint32_t mid,
                       const cAmplitudeTables* tables) {
  if (bits == 8) {
    UpdateAmplitude_3x8(weightSum, valueSum0, valueSum1, valueSum2, value0, contrast0, value1,
                        contrast1, value2, contrast2, width, height, mid, tables);
  } else {
    UpdateAmplitude_3x16(weightSum, valueSum0, valueSum1, valueSum2, value0, contrast0, value1,
                         contrast1, value2, contrast2, width, height, bits, mid, tables);
  }
}

namespace {

// The coarsest level is a few hundred pixels: plain loops, one pixel at a time.
template <class PixelWeight>
void ForEachTopPixel(uint32_t width, uint32_t height, const PixelWeight& weightAt) {
  const int w = static_cast<int>(width);
  const int h = static_cast<int>(height);
  for (int y = 0; y < h; ++y) {
    const int cy = WindowCentre(y, h);
    for (int x = 0; x < w; ++x) {
      const size_t centre = static_cast<size_t>(cy) * width;
      weightAt(static_cast<size_t>(y) * width + static_cast<size_t>(x), centre, WindowCentre(x, w));
    }
  }
}

void UpdateTop1(float* valueSum, float* weightSum, const float* gauss, uint32_t width,
                uint32_t height, uint32_t mid, double divisor, const float* factor) {
  if (LevelTooSmall(width, height)) return;
  const float midF = static_cast<float>(mid);
  ForEachTopPixel(width, height, [&](size_t i, size_t centreRow, int cx) {
    const float* c = gauss + centreRow;
    const float lap = AbsLaplacianAt(c - width, c, c + width, cx);
    const float v = gauss[i];
    const float e = ExposureTopDouble(v, midF, divisor);
    float w = AddTinyInDouble((sqrtf(lap) * e) * e);
    if (factor != nullptr) w *= factor[i];
    weightSum[i] += w;
    valueSum[i] += w * v;
  });
}

// Summed taps of the coarsest level of a colour picture, one plane.
std::vector<float> SumPlanes(const float* g0, const float* g1, const float* g2, size_t count) {
  std::vector<float> sum(count);
  SumRow(sum.data(), g0, g1, g2, static_cast<int>(count));
  return sum;
}

template <class Terms>
void UpdateTop3(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                const float* g0, const float* g1, const float* g2, uint32_t width, uint32_t height,
                const float* factor, const Terms& terms) {
  if (LevelTooSmall(width, height)) return;
  const std::vector<float> taps = SumPlanes(g0, g1, g2, static_cast<size_t>(width) * height);
  ForEachTopPixel(width, height, [&](size_t i, size_t centreRow, int cx) {
    const float* c = taps.data() + centreRow;
    const float lap = AbsLaplacianAt(c - width, c, c + width, cx);
    const float sum = taps[i];
    float e = 0.0f, contrast = 0.0f, saturation = 0.0f;
    terms(sum, lap, Deviation3(g0[i], g1[i], g2[i], sum), &e, &contrast, &saturation);
    float w = AddTinyInDouble(((contrast * saturation) * e) * e);
    if (factor != nullptr) w *= factor[i];
    weightSum[i] += w;
    valueSum0[i] += w * g0[i];
    valueSum1[i] += w * g1[i];
    valueSum2[i] += w * g2[i];
  });
}

}  // namespace

void UpdateAmplitudeTop_x8(float* valueSum, float* weightSum, const float* gauss, uint32_t width,
                           uint32_t height, uint32_t mid, const float* factor) {
  UpdateTop1(valueSum, weightSum, gauss, width, height, mid, kSigma2x8, factor);
}

void UpdateAmplitudeTop_x16(float* valueSum, float* weightSum, const float* gauss, uint32_t width,
                            uint32_t height, uint32_t mid, uint32_t bits, const float* factor) {
  UpdateTop1(valueSum, weightSum, gauss, width, height, mid,
             static_cast<double>(FusionSigma2(bits)) * 10.0, factor);
}

void UpdateAmplitudeTop_3x8(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                            const float* gauss0, const float* gauss1, const float* gauss2,
                            uint32_t width, uint32_t height, uint32_t mid, const float* factor) {
  const float midF = static_cast<float>(mid);
  UpdateTop3(weightSum, valueSum0, valueSum1, valueSum2, gauss0, gauss1, gauss2, width, height,
             factor, [midF](float sum, float lap, float deviation, float* e, float* c, float* s) {
               *e = powf(ExposureTopDouble(sum / 3.0f, midF, kSigma2x8), kPower);
               *c = sqrtf(powf(static_cast<float>(static_cast<double>(lap) / 3.0), kPower));
               *s = powf(deviation, kPower);
             });
}

void UpdateAmplitudeTop_3x16(float* weightSum, float* valueSum0, float* valueSum1, float* valueSum2,
                             const float* gauss0, const float* gauss1, const float* gauss2,
                             uint32_t width, uint32_t height, uint32_t mid, uint32_t bits,
                             const float* factor) {
  const float midF = static_cast<float>(mid);
  const float divisor = FusionSigma2(bits) * 10.0f;
  UpdateTop3(weightSum, valueSum0, valueSum1, valueSum2, gauss0, gauss1, gauss2, width, height,
             factor,
             [midF, divisor](float sum, float lap, float deviation, float* e, float* c, float* s) {
               const float d = sum / 3.0f - midF;
               *e = expf(-((d * d) / divisor));
               *c = sqrtf(static_cast<float>(static_cast<double>(lap) / 3.0));
               *s = deviation;
             });
}
