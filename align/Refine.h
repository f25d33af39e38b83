#pragma once

#include "align/CameraTurn.h"
#include "align/LumaPlanes.h"
#include "align/Motion.h"
#include "align/Samples.h"

// Sub-pixel refinement of a motion at one level: Gauss-Newton on the
// reference's sample pixels, each step along the mean of both pictures'
// gradients (second-order minimisation, which needs far fewer steps than either
// gradient alone). The moving picture is seen through the exposure
// map and a gain and offset solved with each step, so the criterion does not
// depend on brightness; residuals are weighted robustly (Huber), so moving
// objects and leftover tone differences have little say.
//
// Stopping rule: a step that moves every corner of the level by less than
// `convergedStep` pixels of the level (kConvergedStep on the finest level;
// coarser levels only prepare it), or kMaxIterations steps.
//
// Threads: the samples are looked up and summed on the TBB pool in fixed
// chunks, so the result does not depend on the thread count.

constexpr double kConvergedStep = 0.005;
constexpr double kCoarseConvergedStep = 0.01;
constexpr int kMaxIterations = 30;

// What the refinement samples of the moving picture: a luminance plane, or,
// at level 0 of a picture estimated on reduced planes, the picture itself.
struct MovingView {
  const LumaPlane* plane = nullptr;
  const SBxPicBuf* picture = nullptr;
};

struct Agreement {
  // The motion at level 0; for kTurn also its parameters (`motion` is their map).
  Homography motion;
  CameraTurn turn;
  // Robust share of the samples that took part (0..1), the weighted correlation
  // of the two pictures over them and the robust spread of their differences.
  double support = 0.0;
  double correlation = 0.0;
  double residual = 1.0;
  bool failed = false;  // too few samples, or a step could not be solved
};

// Refines `start.motion` (for kTurn: `start.turn`, whose map it is).
Agreement RefineAtLevel(const LevelSamples& samples, const MovingView& moving,
                        const ExposureMap& exposure, MotionModel model, const Agreement& start,
                        double convergedStep = kConvergedStep);

// How well a fixed motion makes the pictures agree at this level (no step).
Agreement Evaluate(const LevelSamples& samples, const MovingView& moving,
                   const ExposureMap& exposure, const Homography& motion);
