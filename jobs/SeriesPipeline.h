#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "fusion/SeriesFusion.h"
#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"
#include "settings/Parameters.h"
#include "single/SeriesJobs.h"

// The series pipelines both front ends run: make a synthetic series of one picture (the
// bracketing or a daylight family), fuse the first files of it, and take the files away
// again when the run is stopped or fails. The desktop program runs the two halves as two
// jobs with its panel in between; melvaro-cli runs them in one go.

enum class SeriesKind : uint8_t { kSingle, kDaylightUp, kDaylightDown };

struct SeriesRequest {
  SeriesKind kind = SeriesKind::kSingle;
  uint32_t denoiseLevel = parameter::kDenoiseLevel.defaultValue;  // kSingle only
  int jpegQuality = 0;  // of series files named .jpg; below 1 means 95
};

// The progress texts of the series jobs, from the text table.
SeriesTexts SeriesProgressTexts();

// The exposure target a series is fused with: the user's for the bracketing, the fixed
// middle of the range for a daylight family.
int SeriesExposure(SeriesKind kind, int userExposure);

// How many files of a daylight family are fused: Power limited to its range and to the
// files the family really holds.
int DaylightFusedCount(int power, int available);

// The folder one run writes its series into, held for the run: a second run that finds it
// in use (an advisory lock on the folder) is told so instead of sharing it.
class SeriesFolderLease {
 public:
  // A folder of the user's: created when missing, only series files of an earlier run go.
  static SeriesFolderLease UserFolder(const std::filesystem::path& folder);
  // A new folder of this run's own, removed with everything in it when the lease ends.
  static SeriesFolderLease Private();
  // The program's temporary folder: every file in it goes before a new series; kept.
  static SeriesFolderLease ProgramFolder();

  SeriesFolderLease(SeriesFolderLease&& other) noexcept;
  SeriesFolderLease& operator=(SeriesFolderLease&&) = delete;
  SeriesFolderLease(const SeriesFolderLease&) = delete;
  SeriesFolderLease& operator=(const SeriesFolderLease&) = delete;
  ~SeriesFolderLease();

  // False when no folder could be had (a private folder could not be made).
  bool Usable() const { return !target_.folder.empty(); }
  // True when another run holds the folder: nothing may be written into it.
  bool InUse() const { return inUse_; }
  SeriesTarget Target(const SeriesRequest& request) const;
  const std::filesystem::path& Folder() const { return target_.folder; }

 private:
  SeriesFolderLease(std::filesystem::path folder, FolderCleanup cleanup, bool removeAtEnd);

  SeriesTarget target_;
  bool removeAtEnd_ = false;
  bool inUse_ = false;
  int lockFd_ = -1;  // the folder, opened and locked for the run
};

// Writes the series of `source` into the target folder, listing its files in fusion order.
// When the run does not complete, the files it wrote are removed again, so a stopped or
// failed run leaves nothing half-made.
SeriesOutcome MakeSeries(const SBxPicBuf& source, const SeriesRequest& request,
                         const SeriesTarget& target, JobProgress* progress);

// Removes files a run wrote; missing ones are no error.
void RemoveSeriesFiles(std::span<const std::filesystem::path> files);

// The full-size fusion of files in order with one accumulator: what every panel's OK and
// melvaro-cli write, the same bits every time. With requireAll the first file that would be
// skipped stops it; otherwise such files are skipped and listed in the report. An empty
// loader reads image files.
SeriesFusionReport FuseFiles(std::span<const std::filesystem::path> files, int exposure,
                             bool requireAll, JobProgress* progress, SBxPicBuf* output,
                             SeriesLoader loader = {});

struct SeriesPipelineResult {
  SeriesOutcome series;
  SeriesFusionReport fusion;
  bool Fused() const { return fusion.status == SeriesFusionStatus::kFused; }
};

// Everything from one picture to the fused picture without any file: each picture of the
// series goes into one accumulator as it is made, in the order RunSeriesPipeline fuses the
// files (for a daylight family only its first `maxFiles` of the list are made), so the
// result has the same bits. Stages "Making N exposures" (making and adding them) and
// "Fusing N pictures" (the result); cancel is polled between pictures.
SeriesPipelineResult StreamSeriesPipeline(const SBxPicBuf& source, const SeriesRequest& request,
                                          int exposure, int maxFiles, JobProgress* progress,
                                          SBxPicBuf* output);

// Everything from one picture to the fused picture: make the series, fuse its first
// `maxFiles` files with `exposure` (every file required), and remove the series files again
// when the series fails or the run is stopped.
SeriesPipelineResult RunSeriesPipeline(const SBxPicBuf& source, const SeriesRequest& request,
                                       const SeriesTarget& target, int exposure, int maxFiles,
                                       JobProgress* progress, SBxPicBuf* output);
