#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "align/Motion.h"
#include "fusion/SeriesFusion.h"
#include "picture/JobProgress.h"
#include "picture/SBxPicBuf.h"
#include "settings/Parameters.h"

// A hand-held series aligned before it is fused (`fuse --align`, the Multi Image panel) or
// written picture by picture (`melvaro-cli align`): one pipeline for both front ends.
//
// Two passes over the files, so that memory stays flat in the number of pictures: the first
// reads each file in turn for its motion against the reference picture (the aligner keeps
// about a megabyte per picture, no pixels); the second reads each file again and resamples
// it onto the reference's frame in its own depth as it streams into the fusion. A picture
// that did not move (still) or could not be aligned (left as it was) goes in untouched, so a
// tripod series gives the very bits of the fusion without alignment; where a moved picture
// does not cover the frame it gives no weight.

struct AlignSettings {
  AlignModel model = AlignModel::kAuto;
  // The reference picture, counted from 1; kAlignReferenceMiddle: the middle one.
  int reference = parameter::kAlignReferenceMiddle;
  // Cut the result to the area every picture covers.
  bool crop = parameter::kAlignCrop;
};

// The model of a name of parameter::kAlignModelNames; false (and *model unchanged) for
// another name.
bool AlignModelFromName(std::string_view name, AlignModel* model);

// The reference's index from 0: reference - 1 when that is one of the `count` pictures, else
// the middle picture as given (count / 2).
int AlignReferenceIndex(int reference, int count);

enum class SeriesAlignStatus : uint8_t { kEstimated, kCancelled, kOutOfMemory };

struct SeriesAlignment {
  SeriesAlignStatus status = SeriesAlignStatus::kEstimated;
  std::vector<FrameMotion> motions;  // one per file, in order
  int reference = 0;                 // its index, from 0
  CBxSize size;                      // of the reference picture; 0 x 0 when it could not be read
  // The area of the frame every picture covers once moved: the whole frame when none moved;
  // empty when there is none.
  CBxRect covered;

  bool Moved(int index) const {
    return motions[static_cast<size_t>(index)].outcome == AlignOutcome::kAligned;
  }
  bool LeftAsIs(int index) const {
    return motions[static_cast<size_t>(index)].outcome == AlignOutcome::kLeftAsIs;
  }
  // One English line for picture `index`: its shift in px, rotation in degrees and model,
  // "still", or why it was left as it was.
  std::string Describe(int index) const;
  // The area a cropped result keeps: `covered` when it is a part of the frame, else the
  // whole frame.
  CBxRect CropArea() const;
};

// The first pass: the motion of every file against the reference file, each file read once
// and dropped (the reference's file is read first). A file that cannot be read, or whose
// size differs from the reference's, is left as it is (the fusion or the writer then reports
// it); so is every picture when the reference cannot be read. Progress: stage "Aligning N
// pictures", a step per file; cancel polled between files. An empty loader reads image files.
SeriesAlignment EstimateSeriesAlignment(std::span<const std::filesystem::path> files,
                                        const AlignSettings& settings, JobProgress* progress,
                                        const SeriesLoader& loader = {});

// File `index` as the aligned series holds it: read, then resampled with its motion when it
// moved, the coverage of the frame going to `coverage` (8 bits, 255 where covered); else as
// read, `coverage` left empty. True when the file cannot be read or memory runs out.
bool LoadAlignedPicture(const std::filesystem::path& file, const SeriesAlignment& alignment,
                        int index, SBxPicBuf* picture, SBxPicBuf* coverage,
                        const SeriesLoader& loader = {});

struct AlignedFusionReport {
  SeriesAlignment alignment;
  SeriesFusionReport fusion;
  bool cropped = false;  // the result holds alignment.CropArea() only
};

// A stage between the aligned pictures and the fusion (the ghost removal). All members may
// be empty.
struct AlignedFusionStage {
  // The reference picture as the estimation read it (null when it could not be read), before
  // any picture reaches `picture`; once, on the estimation's thread. The stage may take it
  // (swapped out, leaving it empty) and hand it over through `supply`.
  std::function<void(SBxPicBuf* reference)> reference;
  // Fills `picture` with file `index` when the stage holds it (true), so that it is not read
  // again; else the file is read.
  std::function<bool(int index, SBxPicBuf* picture)> supply;
  // Every file's picture as the fusion takes it, aligned, with `unread` when it could not be
  // read; `factors` holds its coverage (or nothing) and leaves with the weight factors. Called
  // for every file the fusion asks for, two at a time at most. Returns the picture's failure.
  std::function<bool(int index, bool unread, SBxPicBuf* picture, SBxPicBuf* factors)> picture;
};

// Both passes: the full-size fusion of FuseFiles (one accumulator, files in order, `exposure`,
// every file required with requireAll) of the aligned pictures, each moved one weighted by its
// coverage. The estimation runs on a thread of its own and each picture is fused as soon as its
// motion has settled: stage "Aligning and fusing N pictures". With settings.crop, the result is
// cut to the area every picture covers, which needs every motion first: stages "Aligning N
// pictures" and "Fusing N pictures". Cancel between files.
AlignedFusionReport FuseAlignedFiles(std::span<const std::filesystem::path> files, int exposure,
                                     bool requireAll, const AlignSettings& settings,
                                     JobProgress* progress, SBxPicBuf* output,
                                     const SeriesLoader& loader = {},
                                     const AlignedFusionStage& stage = {});

// Receives the aligned pictures in input order: file `index`'s picture and, when it was
// resampled and not cut, its coverage (else an empty picture). True stops the run (the
// receiver's failure).
using AlignedPictureSink =
    std::function<bool(int index, const SBxPicBuf& picture, const SBxPicBuf& coverage)>;

enum class AlignedPicturesStatus : uint8_t {
  kDone,
  kUnreadable,  // file `failedIndex` could not be read
  kOtherSize,   // file `failedIndex` has another size than the reference picture
  kOutOfMemory,
  kCancelled,
  kStopped,  // the sink stopped the run at `failedIndex`
};

struct AlignedPicturesReport {
  AlignedPicturesStatus status = AlignedPicturesStatus::kDone;
  int failedIndex = -1;
};

// The second pass for writing the aligned pictures: every file read again, resampled when it
// moved and, with settings.crop, cut to the area every picture covers, handed to `sink` one at
// a time. Progress: stage "Writing N pictures", a step per file; cancel between files.
AlignedPicturesReport ForEachAlignedPicture(std::span<const std::filesystem::path> files,
                                            const SeriesAlignment& alignment, bool crop,
                                            JobProgress* progress, const AlignedPictureSink& sink,
                                            const SeriesLoader& loader = {});
