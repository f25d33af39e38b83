// Micro-benchmarks of the fusion building blocks on 12-megapixel planes
// (4000 x 3000, the size of the comparison with the other fusion programs).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "fusion/AmplitudeKernels.h"
#include "fusion/FusionAccumulator.h"
#include "picture/CBxPicBufAPI.h"
#include "pyramid/Pyramid.h"

namespace {

constexpr uint32_t kWidth = 4000;
constexpr uint32_t kHeight = 3000;

std::vector<float> Plane(uint32_t w, uint32_t h, float maxValue, bool whole, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(0.0f, maxValue);
  std::vector<float> p(static_cast<size_t>(w) * h);
  for (float& v : p)
    v = whole ? static_cast<float>(static_cast<int>(dist(rng))) : dist(rng);
  return p;
}

void SetPixels(benchmark::State& state, uint64_t pixels) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels));
}

// One component of a finer level (range(0) = 1) or of the finest level with
// its lookup tables (range(0) = 0).
void BM_UpdateAmplitude_x8(benchmark::State& state) {
  const bool finest = state.range(0) == 0;
  const uint32_t w = finest ? kWidth : kWidth / 2, h = finest ? kHeight : kHeight / 2;
  const auto g = Plane(w, h, 255.0f, finest, 1), v = Plane(w, h, 40.0f, false, 2);
  std::vector<float> ws(g.size()), vs(g.size());
  cAmplitudeTables tables;
  BuildAmplitudeTables(&tables, 1, 8, 100);
  for (auto _ : state) {
    UpdateAmplitude_x8(vs.data(), ws.data(), v.data(), g.data(), w, h, 100,
                       finest ? &tables : nullptr);
  }
  SetPixels(state, static_cast<uint64_t>(w) * h);
}
BENCHMARK(BM_UpdateAmplitude_x8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UpdateAmplitude_3x8(benchmark::State& state) {
  const bool finest = state.range(0) == 0;
  const uint32_t w = finest ? kWidth : kWidth / 2, h = finest ? kHeight : kHeight / 2;
  std::vector<float> g[3], v[3];
  for (uint32_t k = 0; k < 3; ++k) {
    g[k] = Plane(w, h, 255.0f, finest, 10 + k);
    v[k] = Plane(w, h, 40.0f, false, 20 + k);
  }
  std::vector<float> ws(g[0].size()), vs0(ws.size()), vs1(ws.size()), vs2(ws.size());
  cAmplitudeTables tables;
  BuildAmplitudeTables(&tables, 3, 8, 100);
  for (auto _ : state) {
    UpdateAmplitude_3(ws.data(), vs0.data(), vs1.data(), vs2.data(), v[0].data(), g[0].data(),
                      v[1].data(), g[1].data(), v[2].data(), g[2].data(), w, h, 8, 100,
                      finest ? &tables : nullptr);
  }
  SetPixels(state, static_cast<uint64_t>(w) * h);
}
BENCHMARK(BM_UpdateAmplitude_3x8)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BuildAmplitudeTables(benchmark::State& state) {
  const uint32_t bits = static_cast<uint32_t>(state.range(0));
  for (auto _ : state) {
    cAmplitudeTables tables;
    BuildAmplitudeTables(&tables, 3, bits, 100u << (bits - 8));
    benchmark::DoNotOptimize(tables.contrast.data());
  }
}
BENCHMARK(BM_BuildAmplitudeTables)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond);

void BM_PyrReduce(benchmark::State& state) {
  float kernel[kPyramidKernelSize];
  MakePyramidKernel(kernel);
  const auto src = Plane(kWidth, kHeight, 255.0f, false, 3);
  std::vector<float> dst(static_cast<size_t>(kWidth / 2) * (kHeight / 2));
  for (auto _ : state)
    PyrReduce(dst.data(), src.data(), kWidth / 2, kHeight / 2, kWidth, kHeight, kernel);
  SetPixels(state, static_cast<uint64_t>(kWidth / 2) * (kHeight / 2));
}
BENCHMARK(BM_PyrReduce)->Unit(benchmark::kMillisecond);

void BM_PyrExpand(benchmark::State& state) {
  float kernel[kPyramidKernelSize];
  MakePyramidKernel(kernel);
  const auto src = Plane(kWidth / 2, kHeight / 2, 255.0f, false, 4);
  std::vector<float> dst(static_cast<size_t>(kWidth) * kHeight);
  for (auto _ : state)
    PyrExpand(dst.data(), src.data(), kWidth, kHeight, kWidth / 2, kHeight / 2, kernel);
  SetPixels(state, static_cast<uint64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_PyrExpand)->Unit(benchmark::kMillisecond);

void BM_PlaneSubtract(benchmark::State& state) {
  const auto a = Plane(kWidth, kHeight, 255.0f, false, 5),
             b = Plane(kWidth, kHeight, 255.0f, false, 6);
  std::vector<float> dst(a.size());
  for (auto _ : state)
    PlaneSubtract(dst.data(), a.data(), b.data(), kWidth, kHeight);
  SetPixels(state, static_cast<uint64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_PlaneSubtract)->Unit(benchmark::kMillisecond);

void FillPicture(SBxPicBuf* pic, uint32_t seed) {
  std::mt19937 rng(seed);
  for (int y = 0; y < pic->height; ++y) {
    uint8_t* row = RowPtr(*pic, y);
    for (size_t i = 0; i < static_cast<size_t>(pic->width) * pic->components; ++i)
      row[i] = static_cast<uint8_t>((i / 7 + static_cast<size_t>(y) / 5 + (rng() & 15)) & 255);
  }
}

// The whole add step of one 12-megapixel colour picture, and the result.
void BM_FusionAddPicture(benchmark::State& state) {
  ScopedPicBuf pic(kWidth, kHeight, 3, 8);
  FillPicture(pic.get(), 7);
  cFusionAccumulator acc;
  FusionInit(&acc, pic.get(), 100);
  FusionAddPicture(&acc, pic.get());  // makes the working planes once, as a series does
  for (auto _ : state)
    FusionAddPicture(&acc, pic.get());
  FusionFree(&acc);
  SetPixels(state, static_cast<uint64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_FusionAddPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FusionResult(benchmark::State& state) {
  ScopedPicBuf pic(kWidth, kHeight, 3, 8);
  FillPicture(pic.get(), 8);
  cFusionAccumulator acc;
  FusionInit(&acc, pic.get(), 100);
  FusionAddPicture(&acc, pic.get());
  FusionReleaseWorkspace(&acc);
  for (auto _ : state)
    FusionResult(pic.get(), &acc);
  FusionFree(&acc);
  SetPixels(state, static_cast<uint64_t>(kWidth) * kHeight);
}
BENCHMARK(BM_FusionResult)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
