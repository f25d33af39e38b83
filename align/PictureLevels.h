#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <vector>

#include "align/Align.h"
#include "align/CoarseShift.h"
#include "align/LumaPlanes.h"
#include "align/Samples.h"

// The estimator's view of one picture, shared by the entry points of Align.h
// and the series aligner: its luminance levels are built once, then used to
// estimate the picture against any prepared reference of its size and to
// prepare the picture as a reference itself.

// Planes exist for levels fine..search (fine is 0 or 1); the refinement runs
// from coarse down to level 0, the shift search from search down to coarse.
struct LevelPlan {
  int fine = 0;
  int coarse = 0;
  int search = 0;
};

LevelPlan PlanLevels(int width, int height);

struct PictureLevels {
  const SBxPicBuf* picture = nullptr;  // the caller's, for the last step at full size
  LevelPlan plan;
  std::vector<LumaPlane> levels;  // fine..search
  // Of the finest plane and of the picture itself (the same when fine is 0).
  LumaHistogram planeHistogram{};
  LumaHistogram pictureHistogram{};
  // The mean of the finest plane (0..1, to a bin of its histogram): brighter
  // exposures of a scene have larger ones, whatever the camera's tone curve.
  double brightness = 0.0;
};

// 8 or 16 bits, any component count, sides of at least kAlignMinSide.
bool AlignSupported(const SBxPicBuf& picture);
// The levels of a supported picture; `picture` must outlive them. May throw
// std::bad_alloc.
void BuildPictureLevels(const SBxPicBuf& picture, PictureLevels* levels);

struct AlignReferenceData {
  int width = 0;
  int height = 0;
  LevelPlan plan;
  // Levels coarse..search, for the shift search, with their rank thresholds.
  std::vector<LumaPlane> searchPlanes;
  std::vector<std::array<float, kThresholdRanks>> thresholds;
  // Levels 0..coarse.
  std::vector<LevelSamples> samples;
  LumaHistogram planeHistogram{};
  LumaHistogram pictureHistogram{};
  double brightness = 0.0;
};

// Memory held by prepared data, in bytes.
size_t ReferenceBytes(const AlignReferenceData& data);
// The reference made of a picture's levels. May throw std::bad_alloc.
std::unique_ptr<AlignReferenceData> ReferenceFromLevels(const PictureLevels& levels);
// The motion of the picture of `levels` (of the reference's size) against the
// reference, as EstimateMotion gives it. May throw std::bad_alloc.
void EstimateFromLevels(const AlignReferenceData& reference, const PictureLevels& levels,
                        AlignModel model, FrameMotion* motion);

// Whether a motion of a width x height picture with `model` is within what a
// hand-held camera does between frames (the guards' limits on shift, scale,
// rotation and perspective).
bool PlausibleMotion(const Homography& motion, int width, int height, MotionModel model);
