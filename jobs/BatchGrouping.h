#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "picture/CaptureData.h"
#include "picture/JobProgress.h"
#include "settings/Parameters.h"

// Grouping a folder of bracketed pictures into series from their capture data: a series ends
// where the camera pauses, changes, or starts its exposure-bias pattern again, so a long
// exposure inside a set or sets shot close together are still told apart.

// One picture of a batch with what its header told.
struct BatchPicture {
  std::filesystem::path path;
  CaptureData capture;
  bool headerRead = false;  // false: not a JPEG, TIFF or PNG file that could be opened
};

// Why a series ended, for the list the user checks before a run.
enum class SeriesEnd : uint8_t {
  kGap,            // the pause to the next picture is longer than the limit
  kCameraChanged,  // the next picture comes from another camera
  kSizeChanged,    // the next picture has another size
  kBiasRestarted,  // the next picture starts the exposure-bias pattern again
  kFull,           // the series holds as many pictures as one fusion takes
  kFixedGroup,     // the fixed count is reached
  kLastPicture,    // no picture follows
};

struct BatchSeries {
  std::vector<BatchPicture> pictures;  // in fusion order
  SeriesEnd end = SeriesEnd::kLastPicture;
  double gapSeconds = 0.0;  // with kGap: the pause to the next picture
};

struct GroupingRequest {
  double gapSeconds = parameter::kSeriesGap.defaultValue;
  // Above 0: groups of this many pictures in name order instead of the capture data.
  int fixedGroup = 0;
};

struct BatchGrouping {
  std::vector<BatchSeries> series;
  // Why the pictures could not be grouped as asked, in words for the user; empty when they
  // were.
  std::string refusal;
};

// Reads the capture data of each file, in order; a step of progress per file, cancel polled
// between files. True when cancelled (`pictures` then holds the files read so far).
bool ReadBatchPictures(std::span<const std::filesystem::path> files, JobProgress* progress,
                       std::vector<BatchPicture>* pictures);

// Groups the pictures. Automatically, every picture needs a capture time: they are ordered
// by it (name order between equal times), camera by camera in the order the cameras first
// appear, and a series ends at a pause longer than `gapSeconds` after the end of its latest
// exposure (start plus exposure time), at another camera (make, model and serial) or picture
// size, where the exposure bias returns to the series' first value after having left it, and
// at `parameter::kMaxSeriesPictures`. With a fixed group the pictures go in name order, the last
// group holding what is left.
BatchGrouping GroupBatchPictures(std::vector<BatchPicture> pictures,
                                 const GroupingRequest& request);

// Natural name order: runs of digits compare as numbers, so IMG_9 comes before IMG_10.
bool NameOrderLess(const std::filesystem::path& a, const std::filesystem::path& b);

// Why the series ended, in words: "pause of 4.5 s", "camera changed", "last picture".
std::string SeriesEndText(const BatchSeries& series);

// One picture's capture data in a line: "2024-05-01 10:00:00.25  1/250 s  f/5.6  ISO 400
// -0.7 EV", leaving out what is unknown ("no capture data" when nothing is known).
std::string CaptureSummary(const CaptureData& capture);
