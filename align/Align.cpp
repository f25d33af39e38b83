#include "align/Align.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <vector>

#include "align/CameraTurn.h"
#include "align/CoarseShift.h"
#include "align/LumaPlanes.h"
#include "align/PictureLevels.h"
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
// A richer model must leave differences at most this share of the simpler
// one's. Measured on series of camera turns the turn leaves 45..90 % of the
// similarity's; on shifts, turns and scale changes in the picture plane both
// richer models leave 99..100 %. The projective map's three more parameters
// than the turn's fit what the exposure leaves where only part of the frame
// holds detail (97 % of the similarity's on such a frame that had not moved in
// perspective at all, with 0.4 px bent into its corners), so it must do better
// still; on camera turns it leaves 96..101 % of the turn's.
constexpr double kRicherModelGain = 0.97;
constexpr double kProjectiveGain = 0.95;
// The perspective models are refined from the simpler ones on levels this fine
// and finer.
constexpr int kPerspectiveLevel = 2;

// Width and height of level `level` of a plan whose finest level is `fine`.
void LevelSize(int width, int height, int fine, int level, int* w, int* h) {
  *w = fine == 0 ? width : width / 2;
  *h = fine == 0 ? height : height / 2;
  for (int l = fine; l < level; ++l)
    *w /= 2, *h /= 2;
}

Homography Translation(double dx, double dy) {
  Homography h;
  h.m[2] = dx, h.m[5] = dy;
  return h;
}

}  // namespace

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

bool AlignSupported(const SBxPicBuf& picture) {
  return picture.pixels != nullptr && picture.components >= 1 &&
         (picture.bitsPerComponent == 8 || picture.bitsPerComponent == 16) &&
         picture.width >= kAlignMinSide && picture.height >= kAlignMinSide;
}

void BuildPictureLevels(const SBxPicBuf& picture, PictureLevels* out) {
  out->picture = &picture;
  out->plan = PlanLevels(picture.width, picture.height);
  const LevelPlan& plan = out->plan;
  out->levels.resize(static_cast<size_t>(plan.search - plan.fine + 1));
  PictureLuma(picture, plan.fine, &out->levels[0], &out->pictureHistogram);
  for (size_t k = 1; k < out->levels.size(); ++k)
    ReduceLuma(out->levels[k - 1], &out->levels[k]);
  out->planeHistogram = plan.fine == 0 ? out->pictureHistogram : HistogramOf(out->levels[0]);
  // From the histogram: close enough to order exposures, and no pass over the plane.
  double sum = 0.0, count = 0.0;
  for (int i = 0; i < kLumaBins; ++i) {
    sum += out->planeHistogram[i] * ((i + 0.5) / kLumaBins);
    count += out->planeHistogram[i];
  }
  out->brightness = count > 0.0 ? sum / count : 0.0;
}

std::unique_ptr<AlignReferenceData> ReferenceFromLevels(const PictureLevels& levels) {
  const SBxPicBuf& picture = *levels.picture;
  auto data = std::make_unique<AlignReferenceData>();
  data->width = picture.width;
  data->height = picture.height;
  data->plan = levels.plan;
  const LevelPlan& plan = data->plan;
  data->planeHistogram = levels.planeHistogram;
  data->pictureHistogram = levels.pictureHistogram;
  data->brightness = levels.brightness;
  data->samples.resize(static_cast<size_t>(plan.coarse + 1));
  for (int l = plan.fine; l <= plan.coarse; ++l)
    SelectSamples(levels.levels[static_cast<size_t>(l - plan.fine)], l, kSamplesAt[std::min(l, 2)],
                  &data->samples[static_cast<size_t>(l)]);
  if (plan.fine == 1) SelectPictureSamples(picture, data->samples[1], &data->samples[0]);
  for (int l = plan.coarse; l <= plan.search; ++l) {
    data->searchPlanes.push_back(levels.levels[static_cast<size_t>(l - plan.fine)]);
    data->thresholds.push_back(RankThresholds(data->searchPlanes.back()));
  }
  return data;
}

bool PlausibleMotion(const Homography& motion, int width, int height, MotionModel model) {
  FrameMotion numbers;
  DescribeHomography(motion, width, height, &numbers);
  const double diagonal = std::hypot(width, height);
  if (!(std::hypot(numbers.shiftX, numbers.shiftY) <= kMaxShiftOfDiagonal * diagonal) ||
      !(numbers.scale >= kMinScale && numbers.scale <= kMaxScale) ||
      !(std::fabs(numbers.rotationDegrees) <= kMaxRotation) || !std::isfinite(numbers.cornerMotion))
    return false;
  if (model == MotionModel::kProjective || model == MotionModel::kTurn) {
    const auto& m = Normalized(motion).m;
    if (!(std::fabs(m[6]) * width + std::fabs(m[7]) * height <= kMaxPerspective)) return false;
  }
  return true;
}

AlignReference::AlignReference(std::unique_ptr<AlignReferenceData> data) : data_(std::move(data)) {}
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
  return data_ ? ReferenceBytes(*data_) : 0;
}

size_t ReferenceBytes(const AlignReferenceData& data) {
  size_t bytes = sizeof(AlignReferenceData);
  for (const LumaPlane& p : data.searchPlanes)
    bytes += p.values.size() * sizeof(float);
  for (const LevelSamples& s : data.samples)
    bytes += s.Count() * 5 * sizeof(float);
  for (const auto& t : data.thresholds)
    bytes += sizeof(t);
  return bytes;
}

bool PrepareAlignReference(const SBxPicBuf& picture, AlignReference* reference,
                           AlignReason* reason) {
  reference->data_.reset();
  if (!AlignSupported(picture)) {
    if (reason) *reason = AlignReason::kUnsupported;
    return true;
  }
  try {
    PictureLevels levels;
    BuildPictureLevels(picture, &levels);
    reference->data_ = ReferenceFromLevels(levels);
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
      return MotionModel::kTurn;
    case MotionModel::kTurn:
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
  MotionModel previous = MotionModel::kNone;
  for (const Step& step : steps) {
    const bool last = &step == &steps.back();
    // A turn starts from the simpler models' shift, roll and zoom.
    if (step.model == MotionModel::kTurn && previous != MotionModel::kTurn)
      a.turn = TurnFromSimilarity(a.motion, ref.width, ref.height);
    a = RefineAtLevel(ref.samples[static_cast<size_t>(step.level)], moving.At(step.level),
                      moving.Exposure(step.level), step.model, a,
                      last ? kConvergedStep : kCoarseConvergedStep);
    if (a.failed) break;
    previous = step.model;
  }
  return a;
}

AlignReason Guard(const Agreement& a, const AlignReferenceData& ref, MotionModel model) {
  if (a.failed || a.support < kMinSupport) return AlignReason::kTooLittleSupport;
  if (!(a.correlation >= kMinCorrelation)) return AlignReason::kPoorMatch;
  return PlausibleMotion(a.motion, ref.width, ref.height, model) ? AlignReason::kNone
                                                                 : AlignReason::kImplausible;
}

void LeaveAsIs(AlignReason reason, FrameMotion* motion) {
  *motion = FrameMotion{};
  motion->outcome = AlignOutcome::kLeftAsIs;
  motion->reason = reason;
}

}  // namespace

void EstimateFromLevels(const AlignReferenceData& ref, const PictureLevels& levels,
                        AlignModel asked, FrameMotion* motion) {
  MovingLevels moving;
  moving.planes = &levels.levels;
  moving.picture = levels.picture;
  moving.fine = ref.plan.fine;
  moving.planeExposure = ExposureMap(levels.planeHistogram, ref.planeHistogram);
  moving.pictureExposure = ExposureMap(levels.pictureHistogram, ref.pictureHistogram);
  const Homography start = SearchStart(ref, levels.levels);
  // The richest model that passes the guards; `refused` keeps why a richer one
  // than the one used was refused.
  AlignReason reason = AlignReason::kNone, refused = AlignReason::kNone;
  Agreement accepted;
  MotionModel model = Richest(asked);
  bool found = false;
  if (model == MotionModel::kProjective) {
    // The similarity first; then the turn of the camera and the general
    // perspective, each refined from the best so far on the finest levels,
    // where a perspective shows. A richer model is kept only when it leaves
    // clearly smaller differences: one that explains no more is noise fitted,
    // its extra freedom bending the corners, where fewest pixels hold it.
    const int coarse = ref.plan.coarse;
    Agreement best = Refine(ref, moving, MotionModel::kSimilarity, start, coarse, true);
    AlignReason bestReason = Guard(best, ref, MotionModel::kSimilarity);
    MotionModel bestModel = MotionModel::kSimilarity;
    for (const MotionModel richer : {MotionModel::kTurn, MotionModel::kProjective}) {
      const Agreement a = best.failed ? Refine(ref, moving, richer, start, coarse, true)
                                      : Refine(ref, moving, richer, best.motion,
                                               std::min(kPerspectiveLevel, coarse), false);
      const AlignReason richerReason = Guard(a, ref, richer);
      if (richerReason == AlignReason::kNone &&
          (bestReason != AlignReason::kNone ||
           a.residual < (richer == MotionModel::kProjective ? kProjectiveGain : kRicherModelGain) *
                            best.residual)) {
        best = a;
        bestReason = AlignReason::kNone;
        bestModel = richer;
      } else if (refused == AlignReason::kNone) {
        refused = richerReason;
      }
    }
    if (bestReason == AlignReason::kNone) {
      accepted = best;
      model = bestModel;
      found = true;
    } else {
      reason = bestReason;
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

bool EstimateMotion(const AlignReference& reference, const SBxPicBuf& picture, AlignModel model,
                    FrameMotion* motion) {
  const AlignReferenceData* ref = reference.Data();
  if (!ref || !AlignSupported(picture)) {
    LeaveAsIs(AlignReason::kUnsupported, motion);
    return true;
  }
  if (picture.width != ref->width || picture.height != ref->height) {
    LeaveAsIs(AlignReason::kOtherGeometry, motion);
    return true;
  }
  try {
    PictureLevels levels;
    BuildPictureLevels(picture, &levels);
    EstimateFromLevels(*ref, levels, model, motion);
  } catch (const std::bad_alloc&) {
    LeaveAsIs(AlignReason::kOutOfMemory, motion);
    return true;
  }
  return false;
}
