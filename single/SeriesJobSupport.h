#pragma once

#include <filesystem>
#include <functional>
#include <utility>

#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"
#include "single/SeriesJobs.h"

// What the two series generators share: the checks before the first file, the
// levels window by depth, writing one file and the progress line.

// Checks the source and opens the sink; kCompleted when the job may run.
SeriesStatus StartSeries(const SBxPicBuf& source, SeriesSink* sink);

// The series as files in the target folder, named by `name` from the picture's
// number; the folder is prepared when the sink opens.
class SeriesFileSink final : public SeriesSink {
 public:
  using Naming = std::function<std::filesystem::path(int number)>;
  SeriesFileSink(const SeriesTarget& target, Naming name)
      : target_(target), name_(std::move(name)) {}
  SeriesStatus Open() override;
  bool Take(const SBxPicBuf& picture, int number, SeriesOutcome* outcome) override;
  std::filesystem::path Name(int number) const override { return name_(number); }

 private:
  const SeriesTarget& target_;
  Naming name_;
};

// Runs body(first, end) over bands of rows [0, height) that together cover
// every row once, on up to ProcessorCount() threads (the calling thread
// included); a band whose thread cannot be started runs on the calling
// thread. For per-sample work, whose result cannot depend on the bands.
void ForRowBands(int height, const std::function<void(int first, int end)>& body);
// Rows [first, end) of a picture, sharing its samples.
SBxPicBuf RowBand(const SBxPicBuf& picture, int first, int end);

// Levels window of the depth of the source, over row bands.
void LevelsWindow(SBxPicBuf* dst, const SBxPicBuf* src, uint32_t low, uint32_t high);
// Power curve of the depth of the source.
void GammaCurve(SBxPicBuf* dst, const SBxPicBuf* src, double gamma);

// Writes the picture as a TIFF file and records it; false (with the outcome
// set to kWriteFailed) when it could not be written.
bool WriteSeriesFile(const SBxPicBuf& picture, const std::filesystem::path& path,
                     const SeriesTarget& target, SeriesOutcome* outcome);

// Progress "Progress: N%" at position N, or an empty text once a cancel has
// been asked for (the progress window shows that it is cancelling).
void ReportSeriesProgress(JobProgress* progress, const SeriesTexts& texts, int percent,
                          int position);
