#include "align/Align.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "align/CoarseShift.h"
#include "align/LumaPlanes.h"
#include "align/Refine.h"
#include "align/Samples.h"

namespace {

// Pictures from this size on keep no full-size plane: their planes start at
// means of 2 x 2 blocks, and the last step samples the picture itself at the
// reference's sample pixels.
constexpr double kHalfSizeFromPixels = 1.5e6;
// The refinement starts on the smallest level whose longer side reaches this;
// the shift search runs on the smallest level still this large.
constexpr int kRefineStartSide = 160;
constexpr int kSearchLongSide = 40;
constexpr int kSearchShortSide = 12;
// Sample pixels kept at level 0, level 1 and each coarser level.
constexpr int kSamplesAt[3] = {20000, 10000, 6000};

// The guards. An estimate is refused when less than kMinSupport of the
// reference's sample pixels take part, when the correlation it reaches stays
// below kMinCorrelation (good matches reach 0.9 and more, unrelated scenes
// stay far below), or when its numbers are beyond a hand-held camera: the
// centre moved by more than a tenth of the diagonal, a scale outside
// 0.9..1.1, a turn beyond kMaxRotation or a perspective that changes the
// scale across the picture by more than kMaxPerspective.
constexpr double kMinSupport = 0.25;
constexpr double kMinCorrelation = 0.75;
constexpr double kMaxShiftOfDiagonal = 0.1;
constexpr double kMinScale = 0.9, kMaxScale = 1.1;
constexpr double kMaxRotation = 10.0;
constexpr double kMaxPerspective = 0.1;
// Unmoved, a still picture leaves differences within 1 % of those its best
// motion leaves (measured: 0.4..0.7 % on still exposure series whose corners
// the estimate moved by up to 0.4 px in blurred, shallow-focus pictures);
// a motion of a tenth of a pixel raises them by 10 % and more.
constexpr double kStillResidualMargin = 1.01;
// A projective motion must leave differences at most this share of a
// similarity's: measured on series of camera turns it leaves 50..90 %, on
// shifts, turns and scale changes in the picture plane 99..100 %.
constexpr double kRicherModelGain = 0.97;
// The perspective is refined from the similarity on levels this fine and finer.
constexpr int kPerspectiveLevel = 2;

// Planes exist for levels fine..search (fine is 0 or 1); the refinement runs
// from coarse down to level 0, the shift search from search down to coarse.
struct LevelPlan {
  int fine = 0;
  int coarse = 0;
  int search = 0;
};

// Width and height of level `level` of a plan whose finest level is `fine`.
void LevelSize(int width, int height, int fine, int level, int* w, int* h) {
  *w = fine == 0 ? width : width / 2;
  *h = fine == 0 ? height : height / 2;
  for (int l = fine; l < level; ++l)
    *w /= 2, *h /= 2;
}

LevelPlan PlanLevels(int width, int height) {
  LevelPlan plan;
  plan.fine = static_cast<double>(width) * height >= kHalfSizeFromPixels ? 1 : 0;
  int w = 0, h = 0;
  plan.coarse = plan.fine;
  for (;;) {
    LevelSize(width, height, plan.fine, plan.coarse + 1, &w, &h);
    if (std::max(w, h) < kRefineStartSide || std::min(w, h) < kSearchShortSide) break;
    ++plan.coarse;
  }
  plan.search = plan.coarse;
  for (;;) {
    LevelSize(width, height, plan.fine, plan.search + 1, &w, &h);
    if (std::max(w, h) < kSearchLongSide || std::min(w, h) < kSearchShortSide) break;
    ++plan.search;
  }
  return plan;
}

// Planes of levels fine..search, built from the picture, and the histogram of
// the picture's own luminance.
std::vector<LumaPlane> BuildLevels(const SBxPicBuf& picture, const LevelPlan& plan,
                                   LumaHistogram* pictureHistogram) {
  std::vector<LumaPlane> levels(static_cast<size_t>(plan.search - plan.fine + 1));
  PictureLuma(picture, plan.fine, &levels[0], pictureHistogram);
  for (size_t k = 1; k < levels.size(); ++k)
    ReduceLuma(levels[k - 1], &levels[k]);
  return levels;
}

bool Supported(const SBxPicBuf& picture) {
  return picture.pixels != nullptr && picture.components >= 1 &&
         (picture.bitsPerComponent == 8 || picture.bitsPerComponent == 16) &&
         picture.width >= kAlignMinSide && picture.height >= kAlignMinSide;
}

Homography Translation(double dx, double dy) {
  Homography h;
  h.m[2] = dx, h.m[5] = dy;
  return h;
}

}  // namespace

struct AlignReferenceData {
  int width = 0;
  int height = 0;
  LevelPlan plan;
  // Levels coarse..search, for the shift search, with their rank thresholds.
  std::vector<LumaPlane> searchPlanes;
  std::vector<std::array<float, kThresholdRanks>> thresholds;
  // Levels 0..coarse.
  std::vector<LevelSamples> samples;
  // Of the finest plane and of the picture itself (the same when fine is 0).
  LumaHistogram planeHistogram{};
  LumaHistogram pictureHistogram{};
};

AlignReference::AlignReference() = default;
AlignReference::~AlignReference() = default;
AlignReference::AlignReference(AlignReference&&) noexcept = default;
AlignReference& AlignReference::operator=(AlignReference&&) noexcept = default;

int AlignReference::Width() const {
  return data_ ? data_->width : 0;
}
int AlignReference::Height() const {
  return data_ ? data_->height : 0;
}

size_t AlignReference::Bytes() const {
  if (!data_) return 0;
  size_t bytes = sizeof(AlignReferenceData);
  for (const LumaPlane& p : data_->searchPlanes)
    bytes += p.values.size() * sizeof(float);
  for (const LevelSamples& s : data_->samples)
    bytes += s.Count() * 5 * sizeof(float);
  for (const auto& t : data_->thresholds)
    bytes += sizeof(t);
  return bytes;
}

bool PrepareAlignReference(const SBxPicBuf& picture, AlignReference* reference,
                           AlignReason* reason) {
  reference->data_.reset();
  if (!Supported(picture)) {
    if (reason) *reason = AlignReason::kUnsupported;
    return true;
  }
  try {
    auto data = std::make_unique<AlignReferenceData>();
    data->width = picture.width;
    data->height = picture.height;
    data->plan = PlanLevels(picture.width, picture.height);
    const LevelPlan& plan = data->plan;
    std::vector<LumaPlane> levels = BuildLevels(picture, plan, &data->pictureHistogram);
    data->planeHistogram = HistogramOf(levels[0]);
    data->samples.resize(static_cast<size_t>(plan.coarse + 1));
    for (int l = plan.fine; l <= plan.coarse; ++l)
      SelectSamples(levels[static_cast<size_t>(l - plan.fine)], l, kSamplesAt[std::min(l, 2)],
                    &data->samples[static_cast<size_t>(l)]);
    if (plan.fine == 1) SelectPictureSamples(picture, data->samples[1], &data->samples[0]);
    for (int l = plan.coarse; l <= plan.search; ++l) {
      data->searchPlanes.push_back(std::move(levels[static_cast<size_t>(l - plan.fine)]));
      data->thresholds.push_back(RankThresholds(data->searchPlanes.back()));
    }
    reference->data_ = std::move(data);
  } catch (const std::bad_alloc&) {
    if (reason) *reason = AlignReason::kOutOfMemory;
    return true;
  }
  if (reason) *reason = AlignReason::kNone;
  return false;
}

namespace {

// The whole-pixel shift (level 0) from the search levels.
Homography SearchStart(const AlignReferenceData& ref, const std::vector<LumaPlane>& levels) {
  const LevelPlan& plan = ref.plan;
  int dx = 0, dy = 0;
  for (int l = plan.search; l >= plan.coarse; --l) {
    const size_t k = static_cast<size_t>(l - plan.coarse);
    const LumaPlane& moving = levels[static_cast<size_t>(l - plan.fine)];
    const auto movingThresholds = RankThresholds(moving);
    const uint8_t ranks = UsableRanks(ref.thresholds[k], movingThresholds);
    RankBitmap a, b;
    CutAtRanks(ref.searchPlanes[k], ref.thresholds[k], ranks, &a);
    CutAtRanks(moving, movingThresholds, ranks, &b);
    int radius = 1;
    if (l == plan.search) {
      const double diagonal = std::hypot(ref.width, ref.height);
      radius = static_cast<int>(std::ceil(diagonal * kMaxShiftOfDiagonal / std::ldexp(1.0, l))) + 1;
    } else {
      dx *= 2, dy *= 2;
    }
    const ShiftCandidate best = SearchShift(a, b, dx, dy, radius);
    dx = best.dx, dy = best.dy;
  }
  return Translation(std::ldexp(dx, plan.coarse), std::ldexp(dy, plan.coarse));
}

MotionModel Richest(AlignModel model) {
  switch (model) {
    case AlignModel::kShift:
      return MotionModel::kShift;
    case AlignModel::kRigid:
      return MotionModel::kRigid;
    case AlignModel::kAuto:
    case AlignModel::kProjective:
      break;
  }
  return MotionModel::kProjective;
}

MotionModel Simpler(MotionModel model) {
  switch (model) {
    case MotionModel::kProjective:
      return MotionModel::kSimilarity;
    case MotionModel::kSimilarity:
      return MotionModel::kRigid;
    case MotionModel::kRigid:
      return MotionModel::kShift;
    case MotionModel::kShift:
    case MotionModel::kNone:
      break;
  }
  return MotionModel::kNone;
}

// What the refinement sees of the moving picture at each level.
struct MovingLevels {
  const std::vector<LumaPlane>* planes = nullptr;
  const SBxPicBuf* picture = nullptr;
  int fine = 0;
  ExposureMap planeExposure, pictureExposure;

  MovingView At(int level) const {
    MovingView view;
    if (level < fine) {
      view.picture = picture;
    } else {
      view.plane = &(*planes)[static_cast<size_t>(level - fine)];
    }
    return view;
  }
  const ExposureMap& Exposure(int level) const {
    return level < fine ? pictureExposure : planeExposure;
  }
};

// Refines `start` with `model` on levels from..0. With `warmUp`, the first
// level turns and shifts only and the next adds the scale (where `model` has them).
Agreement Refine(const AlignReferenceData& ref, const MovingLevels& moving, MotionModel model,
                 const Homography& start, int from, bool warmUp) {
  struct Step {
    int level;
    MotionModel model;
  };
  std::vector<Step> steps;
  auto add = [&](int level, MotionModel m) {
    m = std::min(m, model);
    if (steps.empty() || steps.back().level != level || steps.back().model != m)
      steps.push_back({level, m});
  };
  if (warmUp) {
    add(from, MotionModel::kRigid);
    add(std::max(from - 1, 0), MotionModel::kSimilarity);
    from = std::max(from - 2, 0);
  }
  for (int l = from; l >= 0; --l)
    add(l, model);
  Agreement a;
  a.motion = start;
  for (const Step& step : steps) {
    const bool last = &step == &steps.back();
    a = RefineAtLevel(ref.samples[static_cast<size_t>(step.level)], moving.At(step.level),
                      moving.Exposure(step.level), step.model, a.motion,
                      last ? kConvergedStep : kCoarseConvergedStep);
    if (a.failed) break;
  }
  return a;
}

AlignReason Guard(const Agreement& a, const AlignReferenceData& ref, MotionModel model) {
  if (a.failed || a.support < kMinSupport) return AlignReason::kTooLittleSupport;
  if (!(a.correlation >= kMinCorrelation)) return AlignReason::kPoorMatch;
  FrameMotion numbers;
  DescribeHomography(a.motion, ref.width, ref.height, &numbers);
  const double diagonal = std::hypot(ref.width, ref.height);
  if (!(std::hypot(numbers.shiftX, numbers.shiftY) <= kMaxShiftOfDiagonal * diagonal) ||
      !(numbers.scale >= kMinScale && numbers.scale <= kMaxScale) ||
      !(std::fabs(numbers.rotationDegrees) <= kMaxRotation) || !std::isfinite(numbers.cornerMotion))
    return AlignReason::kImplausible;
  if (model == MotionModel::kProjective) {
    const auto& m = Normalized(a.motion).m;
    if (!(std::fabs(m[6]) * ref.width + std::fabs(m[7]) * ref.height <= kMaxPerspective))
      return AlignReason::kImplausible;
  }
  return AlignReason::kNone;
}

void LeaveAsIs(AlignReason reason, FrameMotion* motion) {
  *motion = FrameMotion{};
  motion->outcome = AlignOutcome::kLeftAsIs;
  motion->reason = reason;
}

void Estimate(const AlignReferenceData& ref, const SBxPicBuf& picture, AlignModel asked,
              FrameMotion* motion) {
  LumaHistogram pictureHistogram{};
  const std::vector<LumaPlane> levels = BuildLevels(picture, ref.plan, &pictureHistogram);
  MovingLevels moving;
  moving.planes = &levels;
  moving.picture = &picture;
  moving.fine = ref.plan.fine;
  moving.planeExposure = ExposureMap(HistogramOf(levels[0]), ref.planeHistogram);
  moving.pictureExposure = ExposureMap(pictureHistogram, ref.pictureHistogram);
  const Homography start = SearchStart(ref, levels);
  // The richest model that passes the guards; `refused` keeps why a richer one
  // than the one used was refused.
  AlignReason reason = AlignReason::kNone, refused = AlignReason::kNone;
  Agreement accepted;
  MotionModel model = Richest(asked);
  bool found = false;
  if (model == MotionModel::kProjective) {
    // The similarity first, then the perspective refined from it on the finest
    // levels, where a turn of the camera shows.
    const int coarse = ref.plan.coarse;
    const Agreement similar = Refine(ref, moving, MotionModel::kSimilarity, start, coarse, true);
    const AlignReason similarReason = Guard(similar, ref, MotionModel::kSimilarity);
    const Agreement projective = similar.failed
                                     ? Refine(ref, moving, model, start, coarse, true)
                                     : Refine(ref, moving, model, similar.motion,
                                              std::min(kPerspectiveLevel, coarse), false);
    refused = Guard(projective, ref, model);
    // A perspective that explains no more than a scale would is noise fitted:
    // its extra freedom bends the corners, where fewest pixels hold it. It is
    // kept only when it leaves clearly smaller differences.
    if (refused == AlignReason::kNone &&
        (similarReason != AlignReason::kNone ||
         projective.residual < kRicherModelGain * similar.residual)) {
      accepted = projective;
      found = true;
    } else if (similarReason == AlignReason::kNone) {
      accepted = similar;
      model = MotionModel::kSimilarity;
      found = true;
    } else {
      reason = similarReason;
      model = MotionModel::kRigid;
    }
  }
  for (; !found && model != MotionModel::kNone; model = Simpler(model)) {
    accepted = Refine(ref, moving, model, start, ref.plan.coarse, true);
    reason = Guard(accepted, ref, model);
    found = reason == AlignReason::kNone;
    if (found) break;
    if (refused == AlignReason::kNone) refused = reason;
  }
  if (!found) {
    LeaveAsIs(reason, motion);
    return;
  }
  *motion = FrameMotion{};
  DescribeHomography(accepted.motion, ref.width, ref.height, motion);
  motion->support = accepted.support;
  motion->correlation = accepted.correlation;
  motion->residual = accepted.residual;
  motion->reason = refused;
  if (motion->cornerMotion < kStillCornerMotion) {
    motion->outcome = AlignOutcome::kStill;
    return;
  }
  const Agreement unmoved =
      Evaluate(ref.samples[0], moving.At(0), moving.Exposure(0), Homography{});
  // A motion that the differences hardly tell from none is noise fitted.
  if (!unmoved.failed && unmoved.residual <= kStillResidualMargin * accepted.residual) {
    motion->outcome = AlignOutcome::kStill;
    return;
  }
  if (!unmoved.failed && unmoved.correlation >= accepted.correlation) {
    motion->outcome = AlignOutcome::kLeftAsIs;
    motion->reason = AlignReason::kNotBetter;
    return;
  }
  motion->outcome = AlignOutcome::kAligned;
  motion->model = model;
  motion->toSource = accepted.motion;
}

}  // namespace

bool EstimateMotion(const AlignReference& reference, const SBxPicBuf& picture, AlignModel model,
                    FrameMotion* motion) {
  const AlignReferenceData* ref = reference.Data();
  if (!ref || !Supported(picture)) {
    LeaveAsIs(AlignReason::kUnsupported, motion);
    return true;
  }
  if (picture.width != ref->width || picture.height != ref->height) {
    LeaveAsIs(AlignReason::kOtherGeometry, motion);
    return true;
  }
  try {
    Estimate(*ref, picture, model, motion);
  } catch (const std::bad_alloc&) {
    LeaveAsIs(AlignReason::kOutOfMemory, motion);
    return true;
  }
  return false;
}
