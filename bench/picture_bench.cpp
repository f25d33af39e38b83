// Speed of the picture conversions and of the view's resampling.
//
//   build/release/bench/melvaro_picture_bench --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <cstdint>

#include "picture/CBxPicBufAPI.h"

namespace {

constexpr int kPhotoWidth = 4000;  // a 12-megapixel photograph
constexpr int kPhotoHeight = 3000;
constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;

// Smooth gradients with a little texture, like a photograph, in every row.
void FillPhotoLike(SBxPicBuf* pic) {
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (int x = 0; x < pic->width; ++x) {
      const int texture = (x * 7 + y * 13) % 23;
      for (uint32_t c = 0; c < pic->components; ++c) {
        const int v = (x / 16 + y / 12 + static_cast<int>(c) * 40 + texture) % 256;
        row[static_cast<size_t>(x) * pic->components + c] = static_cast<uint8_t>(v);
      }
    }
  }
}

void SetPixelCounters(benchmark::State& state, int64_t pixelsPerIteration) {
  state.counters["Mpix/s"] = benchmark::Counter(
      static_cast<double>(pixelsPerIteration) * 1e-6 * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate);
}

void BM_ConvertRGBtoYUV(benchmark::State& state) {
  ScopedPicBuf src(kPhotoWidth, kPhotoHeight, 3, 8), dst(kPhotoWidth, kPhotoHeight, 3, 8);
  FillPhotoLike(src.get());
  for (auto _ : state)
    benchmark::DoNotOptimize(CBxPicBufAPI::ConvertRGBtoYUV(dst.get(), src.get()));
  SetPixelCounters(state, int64_t{kPhotoWidth} * kPhotoHeight);
}

void BM_ConvertYUVtoRGB(benchmark::State& state) {
  ScopedPicBuf src(kPhotoWidth, kPhotoHeight, 3, 8), dst(kPhotoWidth, kPhotoHeight, 3, 8);
  FillPhotoLike(src.get());
  for (auto _ : state)
    benchmark::DoNotOptimize(CBxPicBufAPI::ConvertYUVtoRGB(dst.get(), src.get()));
  SetPixelCounters(state, int64_t{kPhotoWidth} * kPhotoHeight);
}

// The view's cache refresh of a 16-bit photograph: to 8 bits in place.
void BM_ConvertBpcComp16to8(benchmark::State& state) {
  ScopedPicBuf eight(kPhotoWidth, kPhotoHeight, 3, 8), pic;
  FillPhotoLike(eight.get());
  for (auto _ : state) {
    state.PauseTiming();
    CBxPicBufAPI::ReinitHeap(pic.get(), eight.get());
    CBxPicBufAPI::Copy(pic.get(), eight.get());
    CBxPicBufAPI::ConvertBpcComp(pic.get(), 16, 3);
    state.ResumeTiming();
    benchmark::DoNotOptimize(CBxPicBufAPI::ConvertBpcComp(pic.get(), 8, 3));
  }
  SetPixelCounters(state, int64_t{kPhotoWidth} * kPhotoHeight);
}

// One repaint of a full-HD view centred on the photograph; the argument is
// the zoom in percent.
template <void (*Transform)(SBxPicBuf*, const SBxPicBuf*, const CBxPicMap&)>
void BM_ViewRepaint(benchmark::State& state) {
  ScopedPicBuf src(kPhotoWidth, kPhotoHeight, 3, 8), view(kViewWidth, kViewHeight, 3, 8);
  FillPhotoLike(src.get());
  CBxPicBufAPI::SetConst(view.get(), 48);
  CBxPicMap map;
  map.Compute(kViewWidth / 2.0, kViewHeight / 2.0, kPhotoWidth / 2.0, kPhotoHeight / 2.0, 0.0,
              static_cast<double>(state.range(0)) / 100.0);
  for (auto _ : state) {
    Transform(view.get(), src.get(), map);
    benchmark::ClobberMemory();
  }
  SetPixelCounters(state, int64_t{kViewWidth} * kViewHeight);
}

}  // namespace

BENCHMARK(BM_ConvertRGBtoYUV)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertYUVtoRGB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ConvertBpcComp16to8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewRepaint<&CBxPicBufAPI::TransformConstantFast>)
    ->Name("TransformConstantFast/zoom%")
    ->Arg(37)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewRepaint<&CBxPicBufAPI::TransformBilinearFast>)
    ->Name("TransformBilinearFast/zoom%")
    ->Arg(37)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewRepaint<&CBxPicBufAPI::TransformBicubicFast>)
    ->Name("TransformBicubicFast/zoom%")
    ->Arg(37)
    ->Arg(200)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
