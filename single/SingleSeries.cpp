// The synthetic bracketing: eleven levels-window exposures of one picture.
#include <algorithm>

#include "picture/CBxPicBufAPI.h"
#include "single/Denoise.h"
#include "single/Exposure.h"
#include "single/ProcessorCount.h"
#include "single/SeriesJobSupport.h"
#include "single/SeriesJobs.h"

namespace {

constexpr int kBrightFiles = 5;
constexpr int kDarkFiles = 6;
constexpr int kSeriesFiles = kBrightFiles + kDarkFiles;
static_assert(kSeriesFiles == kSingleSeriesSize);
constexpr uint32_t kStep = 40;  // window step of 8-bit pictures
constexpr double kLevelFactor = 1.0;

bool Cancelled(const JobProgress* progress) {
  return progress && progress->CancelRequested();
}

}  // namespace

int SeriesDenoiseStrength(uint32_t level, int index) {
  const int step = static_cast<int>(3 * std::min<uint32_t>(level, kDenoiseHigh) / 2);
  if (index < 2 || step == 0) return 0;
  return 2 + index * step;
}

SeriesOutcome RunSingleSeries(const SBxPicBuf& source, uint32_t denoiseLevel,
                              const SeriesTarget& target, JobProgress* progress) {
  SeriesFileSink sink(target, [&](int number) { return SeriesFileName(target.folder, number); });
  return MakeSingleSeries(source, denoiseLevel, target.texts, &sink, progress);
}

SeriesOutcome MakeSingleSeries(const SBxPicBuf& source, uint32_t denoiseLevel,
                               const SeriesTexts& texts, SeriesSink* sink, JobProgress* progress) {
  SeriesOutcome outcome;
  outcome.status = StartSeries(source, sink);
  if (outcome.status != SeriesStatus::kCompleted) return outcome;
  std::vector<std::filesystem::path>& list = outcome.listed;
  ScopedPicBuf result(source.width, source.height, source.components, source.bitsPerComponent);
  ScopedPicBuf window(source.width, source.height, source.components, source.bitsPerComponent);
  if (!result->pixels || !window->pixels) {
    outcome.status = SeriesStatus::kNoMemory;
    return outcome;
  }
  const int threads = ProcessorCount();
  NoiseRecord noise;  // measured once, on the first denoised exposure
  if (progress) {
    progress->SetRange(0, 100);
    progress->SetPosition(5);
    progress->SetText(texts.preparing);
  }
  const uint32_t k = source.bitsPerComponent == 8 ? 1u : 256u;
  const uint32_t maximum = SampleMaximum(source.bitsPerComponent);

  for (int i = 0; i < kBrightFiles; ++i) {
    const uint32_t high = static_cast<uint32_t>(6 - i) * k * kStep;
    if (const int strength = SeriesDenoiseStrength(denoiseLevel, i); strength != 0) {
      // The denoiser reads the window and writes the whole result (the window
      // itself when it cannot filter), so the window needs no copy.
      LevelsWindow(window.get(), &source, 0, high);
      DenoiseTiled(result.get(), window.get(), strength, strength, kLevelFactor, &noise, threads);
    } else {
      LevelsWindow(result.get(), &source, 0, high);
    }
    if (!sink->Take(*result, i, &outcome)) {
      list.clear();
      return outcome;
    }
    list.resize(static_cast<size_t>(i) + 1);
    list.back() = sink->Name(i);
    if (i >= 1) ReportSeriesProgress(progress, texts, -20 + 25 * i, -20 + 25 * i);
    if (Cancelled(progress)) break;
  }
  // The dark files start even after a cancel and look at it only after their
  // first file, so a cancelled run always leaves the unchanged source behind.
  list.resize(kSeriesFiles);
  for (int j = 0; j < kDarkFiles; ++j) {
    LevelsWindow(result.get(), &source, static_cast<uint32_t>(j) * k * kStep, maximum);
    if (!sink->Take(*result, kBrightFiles + j, &outcome)) {
      list.clear();
      return outcome;
    }
    list[static_cast<size_t>(kBrightFiles + j)] = sink->Name(kBrightFiles + j);
    ReportSeriesProgress(progress, texts, 82 + 2 * j, 82 + 2 * j);
    if (Cancelled(progress)) {
      list.resize(static_cast<size_t>(kBrightFiles + j));
      outcome.status = SeriesStatus::kCancelled;
      break;
    }
  }
  return outcome;
}
