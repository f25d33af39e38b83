#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"
#include "single/SeriesFolder.h"

// The two generators that turn one picture into a series for the fusion:
// the synthetic bracketing (eleven exposures, the three brightest denoised)
// and the daylight family (39 power-curve and levels variants, listed by
// brightness). Neither knows about windows: the desktop program runs them on
// a worker thread with its progress window behind `progress`, the command-line
// tool on its own thread with a progress line. Both read the cancel flag of
// `progress` between files, never during one.

enum class SeriesStatus : uint8_t {
  kCompleted,       // every file written and listed
  kCancelled,       // stopped on request after the file in progress
  kUnsupported,     // the source is not an 8- or 16-bit picture of 1 or 3 components
  kFolderUnusable,  // the folder could not be created or read: nothing was written
  kWriteFailed,     // failedPath could not be written; the job stopped there
  kNoMemory,        // no room for the working pictures; nothing was written
};

struct SeriesOutcome {
  SeriesStatus status = SeriesStatus::kCompleted;
  std::filesystem::path failedPath;
  // Every file this run wrote, listed or not (a cancelled run writes files it
  // does not list), so that a caller can take them away again.
  std::vector<std::filesystem::path> written;
  // The series in the order it is fused. After a cancel an entry may be
  // empty: a file that was never written but whose place is counted.
  std::vector<std::filesystem::path> listed;
};

// What the progress shows, in the caller's language: the text before the
// first file, and the text a percentage follows.
struct SeriesTexts {
  std::string preparing;
  std::string progress;
};

struct SeriesTarget {
  std::filesystem::path folder;
  FolderCleanup cleanup = FolderCleanup::kEveryFile;
  int jpegQuality = 0;  // for series files named .jpg; below 1 means 95
  SeriesTexts texts;
};

// How many pictures each generator makes: the bracketing and the whole daylight family.
constexpr int kSingleSeriesSize = 11;
constexpr int kDaylightFamilySize = 39;

// Where a generator's pictures go, one at a time as they are made: files in a
// folder (RunSingleSeries, RunDaylightSeries) or straight into a fusion. The
// picture handed over is the generator's working picture: a sink keeps
// nothing of it past Take.
class SeriesSink {
 public:
  // FusionOrderCount of a sink that takes the whole series in generation order.
  static constexpr int kWholeSeries = 0;

  virtual ~SeriesSink() = default;
  // Before the first picture, once the source is known to be usable:
  // kCompleted when pictures may come.
  virtual SeriesStatus Open() { return SeriesStatus::kCompleted; }
  // kWholeSeries, or how many pictures from the start of the fusion order the
  // sink takes; they then come in fusion order and a generator need not make
  // the others at all.
  virtual int FusionOrderCount() const { return kWholeSeries; }
  // Takes picture `number` (its place in generation order). False stops the
  // series; the outcome's status then says why.
  virtual bool Take(const SBxPicBuf& picture, int number, SeriesOutcome* outcome) = 0;
  // The file picture `number` went into; empty for a sink that keeps no files.
  virtual std::filesystem::path Name(int /*number*/) const { return {}; }
};

// Which way the daylight family goes.
enum class DaylightDirection : uint8_t { kNone = 0, kUp = 1, kDown = 2 };

// Noise reduction of the brightest synthetic exposures.
enum DenoiseLevel : uint32_t {
  kDenoiseNone = 0,
  kDenoiseLow = 1,
  kDenoiseMedium = 2,
  kDenoiseHigh = 3
};

// Denoise strength of bright file `index` (0..4) at a level: 0 (not
// denoised) for files 0 and 1 and for level None, else 2 + index * (3 * level / 2).
int SeriesDenoiseStrength(uint32_t level, int index);

// Writes file_000.tif .. file_010.tif into the target folder: files 0..4 are
// levels windows [0, (6 - i) * 40) brightening ever more (files 2..4 denoised
// at the level, above None), file 5 the source, files 6..10 windows
// [j * 40, maximum) darkening (bounds times 256 for 16-bit sources). Listed
// entry i names file i; 11 entries, or after a cancel as the cancel left it: a
// cancel during the bright files still writes file 5, and 5 are then listed
// (entries of files not written stay empty). Progress runs 5..92 % on a
// 0..100 range. Levels above High count as High.
SeriesOutcome RunSingleSeries(const SBxPicBuf& source, uint32_t denoiseLevel,
                              const SeriesTarget& target, JobProgress* progress);
// The same eleven pictures, in the same order, handed to `sink` (which takes
// every one of them whatever its FusionOrderCount); listed entries are the
// sink's names.
SeriesOutcome MakeSingleSeries(const SBxPicBuf& source, uint32_t denoiseLevel,
                               const SeriesTexts& texts, SeriesSink* sink, JobProgress* progress);

// Writes the 39 files file_RRR_CCC.tif (rows 0..5 of 9 - row files) of power
// curves (gamma 1.2^row up, 1.12^-row down) followed by levels (white point
// (255 - 20 * column) up, black point 12 * column down, times 256 for 16-bit),
// then lists them by brightness key (the sum of the component means, rounded):
// darkest first for Up; for Down the record order is mirrored on the file
// numbers. A cancel stops after the file in progress and lists the files
// counted before it. Progress runs on a 0..40 range.
SeriesOutcome RunDaylightSeries(const SBxPicBuf& source, DaylightDirection direction,
                                const SeriesTarget& target, JobProgress* progress);
// The same family handed to `sink`: every variant in generation order (listed
// as above by the sink's names), or for a sink that wants only the first N of
// the list, just those N variants in list order, so the other variants are
// never made; the brightness keys of the list come from the source's
// histogram, the same keys the made pictures would give. Progress runs on a
// 0..made + 1 range.
SeriesOutcome MakeDaylightSeries(const SBxPicBuf& source, DaylightDirection direction,
                                 const SeriesTexts& texts, SeriesSink* sink, JobProgress* progress);

// Whether a generator takes the source: 8 or 16 bits, one or three components.
bool SeriesSourceSupported(const SBxPicBuf& source);

// Brightness key of a picture: truncate(mean0 + mean1 + mean2 + 0.5) for
// colour, truncate(3 * mean + 0.5) for grey, 0 otherwise.
uint32_t BrightnessKey(const SBxPicBuf& picture);
