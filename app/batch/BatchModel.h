#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "jobs/BatchPlan.h"
#include "jobs/BatchRun.h"
#include "picture/JobProgress.h"
#include "settings/Parameters.h"

// The Batch dialog without its widgets: the pictures chosen, how they are grouped, where the
// results go and how they are fused, the list of series that follows from it, and the options
// the run is started with. The grouping, naming and running are the job layer's, as the
// command line's batch uses them.

// What the user chose in the dialog.
struct BatchChoices {
  // Groups of `groupSize` pictures in name order instead of series found from the capture data.
  bool fixedGroups = false;
  int groupSize = parameter::kGroupSize.defaultValue;
  double gapSeconds = parameter::kSeriesGap.defaultValue;
  // Where the results go; empty: each beside its series, named after its first picture.
  std::filesystem::path outputFolder;
  int exposure = parameter::kExposure.defaultValue;
  bool overwrite = false;  // fuse again a series whose result exists
  bool align = false;      // each series aligned first, onto its middle picture
  bool removeGhosts = false;
  int ghostStrength = parameter::kDeghostStrength.defaultValue;
};

// One line of the list of series: a series, then its pictures.
struct BatchListRow {
  bool isSeries = false;
  size_t series = 0;        // the series' index in the plan, from 0
  std::string name;         // the series' number, or the picture's file name
  std::string capture;      // a picture's capture data; a series' picture count
  std::string result;       // a series' result file, or that it is left as it is
  std::string ended;        // why a series ended
  bool resultKept = false;  // the series' result exists and is kept as it is
};

class BatchModel {
 public:
  // Reads the capture data of the files and of the pictures in the folders, adding them to
  // those chosen before (a picture named twice counts once), and plans the batch again. An input
  // that cannot be taken (a folder without pictures, a file gone) adds nothing and is the
  // problem shown. True when the reading was cancelled: nothing is added.
  bool AddInputs(std::span<const std::filesystem::path> inputs, JobProgress* progress);
  void ClearInputs();
  size_t PictureCount() const { return pictures_.size(); }

  // Takes the user's choices and plans the batch again.
  void SetChoices(const BatchChoices& choices);
  const BatchChoices& Choices() const { return choices_; }

  // How many pictures carry no capture time. With any, series cannot be found from the
  // capture data: the pictures are grouped by a fixed count, whatever was chosen, and the
  // dialog asks for the count.
  size_t PicturesWithoutTime() const { return withoutTime_; }
  bool GroupedByCount() const { return choices_.fixedGroups || withoutTime_ > 0; }

  // The plan as it stands and why the batch cannot run (empty when it can, or when no
  // picture was chosen yet).
  const BatchPlan& Plan() const { return plan_; }
  const std::string& Problem() const { return problem_; }
  // Whether Run may start the batch: a plan with a series to fuse.
  bool CanRun() const;

  // The list the dialog shows, and the lines above it: how many series of how many pictures,
  // the pictures without capture time, the results of an earlier run left out.
  std::vector<BatchListRow> Rows() const;
  std::vector<std::string> Notes() const;

  // The output pattern of the batch, as the command line's -o takes it.
  std::string OutputPattern() const;
  // The options the run is started with.
  BatchRunOptions RunOptions(const ResultWriteOptions& write) const;

 private:
  void Replan();

  std::vector<BatchPicture> pictures_;
  size_t withoutTime_ = 0;
  BatchChoices choices_;
  BatchPlan plan_;
  std::string problem_;
  std::vector<bool> resultExists_;  // per series of the plan
};
