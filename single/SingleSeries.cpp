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
  SeriesOutcome outcome;
  outcome.status = StartSeries(source, target);
  if (outcome.status != SeriesStatus::kCompleted) return outcome;
  std::vector<std::filesystem::path>& list = outcome.listed;
  ScopedPicBuf result(source.width, source.height, source.components, source.bitsPerComponent);
  ScopedPicBuf before(source.width, source.height, source.components, source.bitsPerComponent);
  if (!result->pixels || !before->pixels) {
    outcome.status = SeriesStatus::kNoMemory;
    return outcome;
  }
  const int threads = ProcessorCount();
  NoiseRecord noise;  // measured once, on the first denoised exposure
  if (progress) {
    progress->SetRange(0, 100);
    progress->SetPosition(5);
    progress->SetText(target.texts.preparing);
  }
  const uint32_t k = source.bitsPerComponent == 8 ? 1u : 256u;
  const uint32_t maximum = SampleMaximum(source.bitsPerComponent);

  for (int i = 0; i < kBrightFiles; ++i) {
    LevelsWindow(result.get(), &source, 0, static_cast<uint32_t>(6 - i) * k * kStep);
    if (const int strength = SeriesDenoiseStrength(denoiseLevel, i); strength != 0) {
      CBxPicBufAPI::Copy(before.get(), result.get());
      DenoiseTiled(result.get(), before.get(), strength, strength, kLevelFactor, &noise, threads);
    }
    const auto path = SeriesFileName(target.folder, i);
    if (!WriteSeriesFile(*result, path, target, &outcome)) {
      list.clear();
      return outcome;
    }
    list.resize(static_cast<size_t>(i) + 1);
    list.back() = path;
    if (i >= 1) ReportSeriesProgress(progress, target.texts, -20 + 25 * i, -20 + 25 * i);
    if (Cancelled(progress)) break;
  }
  // The dark files start even after a cancel and look at it only after their
  // first file, so a cancelled run always leaves the unchanged source behind.
  list.resize(kSeriesFiles);
  for (int j = 0; j < kDarkFiles; ++j) {
    LevelsWindow(result.get(), &source, static_cast<uint32_t>(j) * k * kStep, maximum);
    const auto path = SeriesFileName(target.folder, kBrightFiles + j);
    if (!WriteSeriesFile(*result, path, target, &outcome)) {
      list.clear();
      return outcome;
    }
    list[static_cast<size_t>(kBrightFiles + j)] = path;
    ReportSeriesProgress(progress, target.texts, 82 + 2 * j, 82 + 2 * j);
    if (Cancelled(progress)) {
      list.resize(static_cast<size_t>(kBrightFiles + j));
      outcome.status = SeriesStatus::kCancelled;
      break;
    }
  }
  return outcome;
}
