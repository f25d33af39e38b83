// Speed of the alignment engine on 12-megapixel pictures: estimation of a
// series of three through the series aligner (the reference prepared, the
// two others estimated), the preparation alone, and the resampling of one
// picture, 8 and 16 bits.
//
// The series is made from the bundled sunset photograph scaled to 4000 x 3000:
// exposures 2 EV apart (a gain in linear light, clipped) moved by a camera turn
// (shift of the centre 40 px, roll 1.5 degrees).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

#include "align/Align.h"
#include "align/SeriesAlign.h"
#include "align/Warp.h"
#include "picture/CBxPicBufAPI.h"
#include "picture/ImageLoad.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

// A turn of the camera: roll about the centre and a shift of the centre.
Homography Turn(double rollDegrees, double dx, double dy) {
  const double a = rollDegrees * M_PI / 180.0, cx = (kWidth - 1) / 2.0, cy = (kHeight - 1) / 2.0;
  Homography h;
  h.m = {std::cos(a), -std::sin(a), 0.0, std::sin(a), std::cos(a), 0.0, 2e-7, -1e-7, 1.0};
  h.m[2] = cx + dx - (h.m[0] * cx + h.m[1] * cy);
  h.m[5] = cy + dy - (h.m[3] * cx + h.m[4] * cy);
  return h;
}

// The photograph at 4000 x 3000 (nearest neighbour is enough for timing).
bool LoadScene(ScopedPicBuf* scene) {
  ScopedPicBuf photo, mask;
  if (LoadImageFile(photo.get(), mask.get(), MELVARO_SAMPLES_DIR "/photos/sunset.jpg"))
    return false;
  CBxPicBufAPI::ReinitHeap(scene->get(), kWidth, kHeight, 3, 8);
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* s = RowPtr(*photo, y * photo->height / kHeight);
    uint8_t* d = RowPtr(**scene, y);
    for (int x = 0; x < kWidth; ++x)
      std::copy_n(s + 3 * (x * photo->width / kWidth), 3, d + 3 * x);
  }
  return true;
}

// An exposure `stops` EV from the scene's, through a 2.2 gamma, clipped.
void Expose(const SBxPicBuf& scene, double stops, SBxPicBuf* out) {
  uint8_t table[256];
  for (int v = 0; v < 256; ++v)
    table[v] = static_cast<uint8_t>(std::clamp(
        std::round(255.0 * std::pow(std::pow(v / 255.0, 2.2) * std::exp2(stops), 1 / 2.2)), 0.0,
        255.0));
  CBxPicBufAPI::ReinitHeap(out, &scene);
  for (int y = 0; y < scene.height; ++y)
    for (size_t i = 0; i < static_cast<size_t>(scene.width) * 3; ++i)
      RowPtr(*out, y)[i] = table[RowPtr(scene, y)[i]];
}

struct Series {
  ScopedPicBuf frames[3];
  bool ok = false;
  Series() {
    ScopedPicBuf scene;
    if (!LoadScene(&scene)) return;
    const Homography moves[3] = {Turn(1.5, 40.0, -12.0), Homography{}, Turn(-1.0, -25.0, 30.0)};
    for (int k = 0; k < 3; ++k) {
      ScopedPicBuf exposed;
      Expose(*scene, 2.0 * (k - 1), exposed.get());
      if (WarpPicture(*exposed, moves[k], frames[k].get())) return;
    }
    ok = true;
  }
};

// The processor time of every thread of the process, per iteration, as a
// counter: on a machine shared with other work the wall time says little.
class ProcessorTime {
 public:
  explicit ProcessorTime(benchmark::State& state) : state_(state), start_(std::clock()) {}
  ~ProcessorTime() {
    const double ms = 1000.0 * static_cast<double>(std::clock() - start_) / CLOCKS_PER_SEC;
    state_.counters["all_threads_cpu_ms"] =
        benchmark::Counter(ms / static_cast<double>(std::max<int64_t>(state_.iterations(), 1)));
  }

 private:
  benchmark::State& state_;
  std::clock_t start_;
};

Series& TheSeries() {
  static Series series;
  return series;
}

// The reference prepared alone.
void BM_PrepareReference(benchmark::State& state) {
  Series& s = TheSeries();
  if (!s.ok) return state.SkipWithError("cannot make the series");
  ProcessorTime cpu(state);
  for (auto _ : state) {
    AlignReference reference;
    PrepareAlignReference(*s.frames[1], &reference);
    benchmark::DoNotOptimize(reference);
  }
}
BENCHMARK(BM_PrepareReference)->Unit(benchmark::kMillisecond)->UseRealTime();

// A series of three streamed through the series aligner as a fusion would:
// the middle picture prepared as the reference, then the three in input order
// (the first also prepared, as a possible partner of later pictures).
void BM_EstimateSeriesOfThree(benchmark::State& state) {
  Series& s = TheSeries();
  if (!s.ok) return state.SkipWithError("cannot make the series");
  ProcessorTime cpu(state);
  for (auto _ : state) {
    SeriesAligner aligner;
    aligner.Start(*s.frames[1], 3, 1, AlignModel::kAuto);
    for (int k = 0; k < 3; ++k)
      aligner.Add(k, *s.frames[k]);
    if (aligner.Motion(0).outcome != AlignOutcome::kAligned ||
        aligner.Motion(2).outcome != AlignOutcome::kAligned)
      return state.SkipWithError("a picture was not aligned");
  }
}
BENCHMARK(BM_EstimateSeriesOfThree)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resampling with a turn (bicubic, coverage plane written), 8 or 16 bits colour.
void BM_Warp(benchmark::State& state) {
  Series& s = TheSeries();
  if (!s.ok) return state.SkipWithError("cannot make the series");
  ScopedPicBuf source;
  CBxPicBufAPI::ReinitHeap(source.get(), s.frames[0].get());
  CBxPicBufAPI::Copy(source.get(), s.frames[0].get());
  if (state.range(0) == 16) CBxPicBufAPI::ConvertBpcComp(source.get(), 16, 3);
  ScopedPicBuf output, coverage;
  const Homography motion = Turn(-1.2, 33.3, -21.7);
  ProcessorTime cpu(state);
  for (auto _ : state)
    WarpPicture(*source, motion, output.get(), coverage.get());
}
BENCHMARK(BM_Warp)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

// A whole-pixel shift: a copy.
void BM_WarpWholePixelShift(benchmark::State& state) {
  Series& s = TheSeries();
  if (!s.ok) return state.SkipWithError("cannot make the series");
  ScopedPicBuf output, coverage;
  Homography shift;
  shift.m[2] = 17.0, shift.m[5] = -9.0;
  ProcessorTime cpu(state);
  for (auto _ : state)
    WarpPicture(*s.frames[0], shift, output.get(), coverage.get());
}
BENCHMARK(BM_WarpWholePixelShift)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
