// The daylight family: 39 power-curve and levels variants of one picture,
// listed by brightness.
#include <algorithm>
#include <cmath>
#include <vector>

#include "picture/CBxPicBufAPI.h"
#include "single/Exposure.h"
#include "single/SeriesJobSupport.h"
#include "single/SeriesJobs.h"

namespace {

constexpr int kRows = 6;
constexpr int kFamilySize = 39;  // 9 + 8 + 7 + 6 + 5 + 4

struct BrightnessRecord {
  uint32_t key;
  int number;  // position in generation order
};

double PlaneMean(const SBxPicBuf& picture) {
  uint64_t sum = 0;
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = RowPtr(picture, y);
    for (int x = 0; x < picture.width; ++x) {
      sum += picture.bitsPerComponent == 8 ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
    }
  }
  return static_cast<double>(sum) /
         static_cast<double>(static_cast<int64_t>(picture.width) * picture.height);
}

// Variant (row, column) of the source into result; `power` is scratch.
void MakeVariant(SBxPicBuf* result, SBxPicBuf* power, const SBxPicBuf& source,
                 DaylightDirection direction, int row, int column) {
  const uint32_t k = source.bitsPerComponent == 8 ? 1u : 256u;
  const bool up = direction == DaylightDirection::kUp;
  const double gamma = up ? std::pow(1.2, row) : std::pow(1.12, -row);
  GammaCurve(power, &source, gamma);
  if (up) {
    // Samples at or above the white point clip; below it they stretch to the
    // full range: a levels window starting at 0.
    LevelsWindow(result, power, 0, static_cast<uint32_t>(255 - 20 * column) * k);
  } else {
    LevelsWindow(result, power, static_cast<uint32_t>(12 * column) * k,
                 SampleMaximum(source.bitsPerComponent));
  }
}

}  // namespace

uint32_t BrightnessKey(const SBxPicBuf& picture) {
  if (!picture.pixels) return 0;
  if (picture.components == 3) {
    double m0 = 0, m1 = 0, m2 = 0;
    if (picture.bitsPerComponent == 8) {
      ChannelMeans_3x8(&m0, &m1, &m2, &picture);
    } else {
      ChannelMeans_3x16(&m0, &m1, &m2, &picture);
    }
    return static_cast<uint32_t>(m0 + m1 + m2 + 0.5);
  }
  if (picture.components == 1) return static_cast<uint32_t>(3.0 * PlaneMean(picture) + 0.5);
  return 0;
}

SeriesOutcome RunDaylightSeries(const SBxPicBuf& source, DaylightDirection direction,
                                const SeriesTarget& target, JobProgress* progress) {
  SeriesOutcome outcome;
  if (direction != DaylightDirection::kUp && direction != DaylightDirection::kDown) {
    outcome.status = SeriesStatus::kUnsupported;
    return outcome;
  }
  outcome.status = StartSeries(source, target);
  if (outcome.status != SeriesStatus::kCompleted) return outcome;
  ScopedPicBuf result(source.width, source.height, source.components, source.bitsPerComponent);
  ScopedPicBuf power(source.width, source.height, source.components, source.bitsPerComponent);
  if (!result->pixels || !power->pixels) {
    outcome.status = SeriesStatus::kNoMemory;
    return outcome;
  }
  if (progress) {
    progress->SetRange(0, kFamilySize + 1);
    progress->SetPosition(0);
    progress->SetText(target.texts.preparing);
  }
  std::vector<BrightnessRecord> records;
  std::vector<std::filesystem::path> paths;
  records.reserve(kFamilySize);
  paths.reserve(kFamilySize);
  int count = 0;
  for (int row = 0; row < kRows && outcome.status == SeriesStatus::kCompleted; ++row) {
    for (int column = 0; column <= 8 - row; ++column) {
      MakeVariant(result.get(), power.get(), source, direction, row, column);
      const uint32_t key = BrightnessKey(*result);
      const auto path = FamilyFileName(target.folder, row, column);
      if (!WriteSeriesFile(*result, path, target, &outcome)) return outcome;
      ReportSeriesProgress(progress, target.texts, (5 * count) / 2 + 5, count + 1);
      if (progress && progress->CancelRequested()) {
        outcome.status = SeriesStatus::kCancelled;
        break;
      }
      records.push_back({key, count});
      paths.push_back(path);
      ++count;
    }
  }
  // Equal keys keep generation order, so a family always lists the same way.
  std::stable_sort(
      records.begin(), records.end(),
      [](const BrightnessRecord& a, const BrightnessRecord& b) { return a.key < b.key; });
  for (int p = 0; p < count; ++p) {
    const int number = records[static_cast<size_t>(p)].number;
    const int chosen = direction == DaylightDirection::kUp ? number : count - 1 - number;
    outcome.listed.push_back(paths[static_cast<size_t>(chosen)]);
  }
  return outcome;
}
