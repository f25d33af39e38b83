// The synthetic bracketing: eleven levels-window exposures of one picture.
#include <algorithm>

#include "picture/CBxPicBufAPI.h"
#include "settings/TextTable.h"
#include "single/Denoise.h"
#include "single/Exposure.h"
#include "single/ProcessorCount.h"
#include "single/SeriesJobSupport.h"
#include "single/SeriesJobs.h"

namespace {

constexpr int kBrightFiles = 5;
constexpr int kDarkFiles = 6;
constexpr int kSeriesFiles = kBrightFiles + kDarkFiles;
constexpr uint32_t kStep = 40;     // window step of 8-bit pictures
constexpr int kPreparingText = 7;  // "Progress: 5%"
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
                              const SeriesTarget& target, SourceList* list, JobProgress* progress) {
  SeriesOutcome outcome;
  outcome.status = StartSeries(source, target);
  if (outcome.status != SeriesStatus::kCompleted) return outcome;
  list->Clear();
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
    progress->SetText(LangText(kPreparingText));
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
    if (!WriteSeriesFile(*result, path, &outcome)) return outcome;
    list->entries[static_cast<size_t>(i)] = path;
    if (i >= 1) ReportSeriesProgress(progress, -20 + 25 * i, -20 + 25 * i);
    if (Cancelled(progress)) break;
  }
  // The dark files start even after a cancel and look at it only after their
  // first file, so a cancelled run always leaves the unchanged source behind.
  list->count = kSeriesFiles;
  for (int j = 0; j < kDarkFiles; ++j) {
    LevelsWindow(result.get(), &source, static_cast<uint32_t>(j) * k * kStep, maximum);
    const auto path = SeriesFileName(target.folder, kBrightFiles + j);
    if (!WriteSeriesFile(*result, path, &outcome)) {
      list->count = 0;
      return outcome;
    }
    list->entries[static_cast<size_t>(kBrightFiles + j)] = path;
    ReportSeriesProgress(progress, 82 + 2 * j, 82 + 2 * j);
    if (Cancelled(progress)) {
      list->count = kBrightFiles + j;
      outcome.status = SeriesStatus::kCancelled;
      break;
    }
  }
  list->index = 0;
  return outcome;
}
