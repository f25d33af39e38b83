#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "fusion/FusionAccumulator.h"
#include "fusion/SeriesGeometry.h"
#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"

// Fusing a series of picture files: the one pipeline behind the Multi Image
// and Daylight panels (preview and OK), the single-image and daylight jobs and
// `melvaro-cli fuse`.
//
// The first file that loads sets the geometry of the series. A file that
// cannot be loaded, or whose width, height, components or bits differ from
// that first picture, is skipped and reported, never added in place of
// another. The function touches no shared state (no current-file path): its
// only outputs are the picture and the report.

// Loads one file into `picture` (allocating it); true on failure. The default
// reads image files.
using SeriesLoader = std::function<bool(const std::filesystem::path& path, SBxPicBuf* picture)>;

// Loads only the work region of one file, for previews over pictures kept in memory: fills
// `geometry` with the whole picture's width, height, components and bits (no pixels) and,
// when the region lies inside it, `regionPicture` with the region's samples (allocating
// it). True when the file cannot be read.
using SeriesRegionLoader =
    std::function<bool(const std::filesystem::path& path, const CBxRect& region,
                       SBxPicBuf* regionPicture, SBxPicBuf* geometry)>;

// Loads file `index` of the list into `picture` (allocating it) and, when
// that picture's fusion weights are to be scaled, their factors into
// `factors` (allocating it; see FusionAddWeightedPicture), else leaves
// `factors` empty. True on failure. Called for two files at once: the fusion
// decodes the next file on another thread while it adds the current one.
using SeriesWeightedLoader = std::function<bool(int index, const std::filesystem::path& path,
                                                SBxPicBuf* picture, SBxPicBuf* factors)>;

enum class SeriesSkipReason : uint8_t {
  kUnreadable,     // the file could not be loaded
  kOtherGeometry,  // its size, components or bits differ from the first picture
};

struct SeriesSkippedFile {
  int index = 0;
  std::filesystem::path path;
  SeriesSkipReason reason = SeriesSkipReason::kUnreadable;
  SBxPicBuf geometry;  // of the picture, when it loaded (no pixels)
};

enum class SeriesFusionStatus : uint8_t {
  kFused,           // the output holds the fused picture
  kNoFiles,         // the list is empty
  kNoPicture,       // no file of the list could be loaded
  kUnsupported,     // the pictures (or the region) cannot be fused: see FusionGeometrySupported
  kRegionOutside,   // the region is empty or not inside the pictures
  kOutputMismatch,  // the caller's output picture has another geometry
  kFileRejected,    // a file was skipped while every file was required
  kOutOfMemory,
  kCancelled,
};

struct SeriesFusionRequest {
  std::span<const std::filesystem::path> files;
  uint32_t exposure = 0;  // the exposure target in 8-bit units, as the caller chose it
  // The work region to fuse; the full pictures when empty.
  std::optional<CBxRect> region;
  // Spread the files over up to three threads (SplitSeries), each with its own
  // accumulator, merged at the end: for previews. Otherwise one accumulator
  // adds the files in order (the result of OK, the same bits every time).
  bool parallel = false;
  // Stop at the first file that would be skipped (the command line).
  bool requireAll = false;
  SeriesLoader loader;              // empty: the image-file loader
  SeriesRegionLoader regionLoader;  // with a region: used instead of `loader`
  JobProgress* progress = nullptr;  // a step per file and one for the result; cancel
                                    // polled between files
  // Used instead of `loader` when set; with a region, the picture and its
  // factors are cut to it alike.
  SeriesWeightedLoader weightedLoader = {};
};

struct SeriesFusionReport {
  SeriesFusionStatus status = SeriesFusionStatus::kNoFiles;
  std::vector<SeriesSkippedFile> skipped;  // in file order
  int fusedCount = 0;                      // files added
  SBxPicBuf geometry;                      // of the first picture (no pixels)
};

// Fuses the request's files into `output`. An empty output is allocated with
// the fused size (the region's, or the pictures') and the pictures' components
// and bits; a non-empty one must have exactly that geometry. The output is
// written only when the status is kFused.
SeriesFusionReport FuseSeries(const SeriesFusionRequest& request, SBxPicBuf* output);

// One line for the user: "fused", or what went wrong (without file names).
const char* SeriesFusionStatusText(SeriesFusionStatus status);
const char* SeriesSkipReasonText(SeriesSkipReason reason);

// The parameter block of one fusion thread: its accumulator, the work region,
// the pictures' components and bits, the exposure and its files [first, end).
struct SeriesContext;
struct cFusionJob {
  cFusionAccumulator* accumulator = nullptr;
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  uint32_t components = 0;
  uint32_t bitsPerComponent = 0;
  uint32_t exposure = 0;
  int firstFile = 0;
  int endFile = 0;
  // Shared, read-only apart from its synchronised members.
  SeriesContext* context = nullptr;
  // Written by the thread running the job, read after it is joined.
  std::vector<SeriesSkippedFile> skipped;
  int fusedCount = 0;
  bool outOfMemory = false;
};

// Adds the job's files into its (initialised) accumulator; returns 0.
int FusionWorker(cFusionJob* job);
