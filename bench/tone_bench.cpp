// Speed of the tone mapper and of Smart Contrast on a 12-megapixel photograph.
//
//   build/release/bench/melvaro_tone_bench
//   build/release/bench/melvaro_tone_bench --benchmark_filter=Passes   (the quick ones)
//
// The photograph is the bundled sample upscaled to 4000 x 3000. Each whole-picture
// run takes seconds, so those benchmarks run once.
//
// Times are wall-clock; the CPU column is that of the whole process (every
// thread), so a run whose CPU time is about its wall time used one core, and
// about twice its wall time both. Labels say how many threads OpenMP may use.
#include <FreeImage.h>
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/tone/LiteralToneMap.h"
#include "jobs/ToneJobs.h"
#include "picture/CBxPicBufAPI.h"
#include "tone/SmartContrast.h"
#include "tone/ToneMap.h"

namespace {

constexpr int kPhotoWidth = 4000;
constexpr int kPhotoHeight = 3000;
constexpr int kPreviewSide = 512;

// The sample photograph, rescaled, as an 8-bit colour picture.
void LoadPhoto(SBxPicBuf* pic, int width, int height) {
  const std::string path = std::string(MELVARO_SAMPLES_DIR) + "/photos/picosdeeuropa.jpg";
  FIBITMAP* loaded = FreeImage_Load(FIF_JPEG, path.c_str(), JPEG_ACCURATE);
  if (!loaded) throw std::runtime_error("cannot read " + path);
  FIBITMAP* colour = FreeImage_ConvertTo24Bits(loaded);
  FIBITMAP* scaled = FreeImage_Rescale(colour, width, height, FILTER_BILINEAR);
  CBxPicBufAPI::ReinitHeap(pic, width, height, 3, 8);
  for (int y = 0; y < height; ++y) {  // FreeImage keeps rows bottom-up
    std::memcpy(RowPtr(*pic, y), FreeImage_GetScanLine(scaled, height - 1 - y),
                static_cast<size_t>(width) * 3);
  }
  FreeImage_Unload(scaled);
  FreeImage_Unload(colour);
  FreeImage_Unload(loaded);
}

std::string Threads() {
  return ", " + std::to_string(omp_get_max_threads()) + " threads";
}

const SBxPicBuf& Photo() {
  static ScopedPicBuf photo;
  if (IsEmpty(*photo)) LoadPhoto(photo.get(), kPhotoWidth, kPhotoHeight);
  return *photo;
}

void BM_ToneMapPhoto(benchmark::State& state) {
  const bool extraColours = state.range(0) != 0;
  const SBxPicBuf& src = Photo();
  ScopedPicBuf dst(src.width, src.height, src.components, src.bitsPerComponent);
  const ToneMapParams p = ToneMapParamsFromSliders(10, 10, 10, 10, extraColours);
  for (auto _ : state)
    benchmark::DoNotOptimize(LocalLaplacianToneMap(dst.get(), &src, p, nullptr));
  state.SetLabel(std::string(extraColours ? "12 MP, default sliders, extra colours on"
                                          : "12 MP, default sliders, extra colours off") +
                 Threads());
}

// The Tone Mapping panel's preview rectangle, from the middle of the photograph.
void BM_ToneMapPreview(benchmark::State& state) {
  const SBxPicBuf& photo = Photo();
  ScopedPicBuf src(kPreviewSide, kPreviewSide, 3, 8), dst(kPreviewSide, kPreviewSide, 3, 8);
  CBxPicBufAPI::CopyRect(src.get(), &photo, CBxPoint{0, 0}, CBxPoint{1744, 1244},
                         CBxSize{kPreviewSide, kPreviewSide});
  const ToneMapParams p = ToneMapParamsFromSliders(10, 10, 10, 10, true);
  for (auto _ : state)
    benchmark::DoNotOptimize(LocalLaplacianToneMap(dst.get(), src.get(), p, nullptr));
  state.SetLabel("512 x 512, default sliders, extra colours on" + Threads());
}

// One plane run on the luma of a crop from the middle of the photograph (padded
// as the engine pads it): the literal pass structure against the engine's
// point-wise passes.
std::vector<float> LumaPlane(int crop, int* side) {
  const SBxPicBuf& photo = Photo();
  *side = ToneMapPaddedSize(crop, kToneMapLevels);
  const int x0 = (photo.width - crop) / 2, y0 = (photo.height - crop) / 2;
  std::vector<float> plane(static_cast<size_t>(*side) * static_cast<size_t>(*side));
  for (int y = 0; y < *side; ++y)
    for (int x = 0; x < *side; ++x) {
      const uint8_t* px = RowPtr(photo, y0 + std::min(y, crop - 1)) +
                          3 * static_cast<size_t>(x0 + std::min(x, crop - 1));
      plane[static_cast<size_t>(y) * static_cast<size_t>(*side) + x] =
          0.114f * px[0] + 0.587f * px[1] + 0.299f * px[2];
    }
  return plane;
}

void RunPasses(bool literal, std::vector<float>* out, const std::vector<float>& in, int side,
               const ToneMapParams& p) {
  if (literal)
    RemapFloatPlaneLiteral(out->data(), in.data(), side, side, p.levels, p.threshold, p.noise,
                           p.power, p.slope);
  else
    RemapFloatPlane(out->data(), in.data(), side, side, p.levels, p.threshold, p.noise, p.power,
                    p.slope, nullptr);
}

void BM_RemapPasses(benchmark::State& state) {
  const bool literal = state.range(0) != 0;
  int side = 0;
  const std::vector<float> in = LumaPlane(static_cast<int>(state.range(1)), &side);
  std::vector<float> out(in.size()), other(in.size());
  const ToneMapParams p = ToneMapParamsFromSliders(10, 10, 10, 10, false);
  for (auto _ : state) {
    RunPasses(literal, &out, in, side, p);
    benchmark::ClobberMemory();
  }
  // The two must agree bit for bit; say so next to the time.
  RunPasses(!literal, &other, in, side, p);
  const bool same = std::memcmp(out.data(), other.data(), out.size() * sizeof(float)) == 0;
  state.SetLabel(std::string(literal ? "literal passes, " : "point-wise passes, ") +
                 std::to_string(side) + " x " + std::to_string(side) + " plane, " +
                 (same ? "same output" : "OUTPUT DIFFERS"));
}

void BM_SmartContrastPrepare(benchmark::State& state) {
  const SBxPicBuf& src = Photo();
  for (auto _ : state) {
    SmartContrastState sc;
    benchmark::DoNotOptimize(SmartContrastPrepare(&sc, &src));
  }
  state.SetLabel("12 MP colour, padded 5120 x 4096, 8 levels" + Threads());
}

// One slider change: collapse all three components into the padded result.
void BM_SmartContrastRebuild(benchmark::State& state) {
  const SBxPicBuf& src = Photo();
  SmartContrastState sc;
  if (SmartContrastPrepare(&sc, &src)) state.SkipWithError("prepare failed");
  int lod[kSmartContrastSliders] = {14, 12, 10, 8, 10, 10, 10, 10};
  for (auto _ : state) {
    lod[0] = lod[0] == 14 ? 15 : 14;
    benchmark::DoNotOptimize(SmartContrastApply(&sc, lod));
  }
  state.SetLabel("12 MP colour, one slider change" + Threads());
}

}  // namespace

BENCHMARK(BM_ToneMapPhoto)
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_ToneMapPreview)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_RemapPasses)
    ->Args({1, 512})
    ->Args({0, 512})
    ->Args({1, 2048})
    ->Args({0, 2048})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_SmartContrastPrepare)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_SmartContrastRebuild)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

BENCHMARK_MAIN();
