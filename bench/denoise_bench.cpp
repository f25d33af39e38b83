// Kernel timings of the denoiser: one plane call at the size a tile has with
// its margins, single-thread and on every processor.
#include <benchmark/benchmark.h>

#include <random>

#include "picture/CBxPicBufAPI.h"
#include "single/NlmPlane.h"
#include "single/ProcessorCount.h"

namespace {

constexpr int kSize = 1200;  // a 1000-pixel tile with 100-pixel margins

void FillPlane(SBxPicBuf* plane, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-15, 15);
  const int maximum = plane->bitsPerComponent == 8 ? 255 : 65535;
  const int scale = plane->bitsPerComponent == 8 ? 1 : 257;
  for (int y = 0; y < plane->height; ++y) {
    for (int x = 0; x < plane->width; ++x) {
      const int v = std::clamp((60 + (x / 7 + y / 5) % 120 + noise(rng)) * scale, 0, maximum);
      if (plane->bitsPerComponent == 8) {
        RowPtr(*plane, y)[x] = static_cast<uint8_t>(v);
      } else {
        reinterpret_cast<uint16_t*>(RowPtr(*plane, y))[x] = static_cast<uint16_t>(v);
      }
    }
  }
}

void BM_NlmPlane8(benchmark::State& state) {
  ScopedPicBuf src(kSize, kSize, 1, 8), dst(kSize, kSize, 1, 8);
  FillPlane(src.get(), 1);
  const int threads = state.range(0) ? ProcessorCount() : 1;
  for (auto _ : state) {
    NlmPlane_x8(dst.get(), src.get(), src.get(), 10.0, 0.0, threads, 4.0);
    benchmark::DoNotOptimize(dst->pixels);
  }
  state.counters["threads"] = threads;
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_NlmPlane8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NlmPlane16(benchmark::State& state) {
  ScopedPicBuf src(kSize, kSize, 1, 16), guide(kSize, kSize, 1, 8), dst(kSize, kSize, 1, 16);
  FillPlane(src.get(), 2);
  FillPlane(guide.get(), 2);
  const int threads = state.range(0) ? ProcessorCount() : 1;
  for (auto _ : state) {
    NlmPlane_x16(dst.get(), src.get(), guide.get(), 10, 0.0, threads, 4.0);
    benchmark::DoNotOptimize(dst->pixels);
  }
  state.counters["threads"] = threads;
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_NlmPlane16)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Level-dependent weights: one table per guide level, looked up per pixel.
void BM_NlmPlane8LevelDependent(benchmark::State& state) {
  ScopedPicBuf src(kSize, kSize, 1, 8), dst(kSize, kSize, 1, 8);
  FillPlane(src.get(), 3);
  for (auto _ : state) {
    NlmPlane_x8(dst.get(), src.get(), src.get(), 10.0, 1.0, ProcessorCount(), 4.0);
    benchmark::DoNotOptimize(dst->pixels);
  }
  state.SetItemsProcessed(state.iterations() * kSize * kSize);
}
BENCHMARK(BM_NlmPlane8LevelDependent)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
