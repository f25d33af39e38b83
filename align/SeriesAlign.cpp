#include "align/SeriesAlign.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "align/PictureLevels.h"

namespace {

struct SeriesPicture {
  FrameMotion motion;
  double brightness = 0.0;
  bool settled = false;
  // Matched with the reference, directly or through a partner: a partner for
  // the pictures after it.
  bool matched = false;
  // Neither matched nor settled: it waits for the next picture.
  bool waiting = false;
  // Kept while the picture may be a partner or waits.
  std::unique_ptr<AlignReferenceData> prepared;
  // While waiting: the next picture's motion against this one, when it matched.
  bool linked = false;
  FrameMotion link;
};

// Reasons for which a picture may still match through a partner: a match the
// guards refused. A picture that agrees with the reference as it is no better
// than aligned (kNotBetter) keeps that verdict.
bool MayMatchThroughPartner(AlignReason reason) {
  return reason == AlignReason::kTooLittleSupport || reason == AlignReason::kPoorMatch ||
         reason == AlignReason::kImplausible;
}

void LeaveAsIs(AlignReason reason, FrameMotion* motion) {
  *motion = FrameMotion{};
  motion->outcome = AlignOutcome::kLeftAsIs;
  motion->reason = reason;
}

FrameMotion Still() {
  FrameMotion m;
  m.outcome = AlignOutcome::kStill;
  return m;
}

// The motion of a picture matched with partner `via`: `toPartner` takes the
// partner's pixels to the picture's, `link` is the match's record.
FrameMotion ThroughPartner(const Homography& toPartner, const FrameMotion& link,
                           const FrameMotion& partner, int via, int width, int height) {
  FrameMotion m;
  const Homography toSource = Compose(toPartner, partner.toSource);
  DescribeHomography(toSource, width, height, &m);
  m.support = link.support;
  m.correlation = link.correlation;
  m.residual = link.residual;
  m.reason = link.reason;
  m.via = via;
  const MotionModel model = std::max(link.model, partner.model);
  if (!PlausibleMotion(toSource, width, height, model)) {
    LeaveAsIs(AlignReason::kImplausible, &m);
    return m;
  }
  if (m.cornerMotion < kStillCornerMotion) {
    m.outcome = AlignOutcome::kStill;
    return m;
  }
  m.outcome = AlignOutcome::kAligned;
  m.model = model;
  m.toSource = toSource;
  return m;
}

}  // namespace

struct SeriesAlignerState {
  int count = 0;
  int reference = 0;
  AlignModel model = AlignModel::kAuto;
  AlignReason startReason = AlignReason::kNone;
  std::unique_ptr<AlignReferenceData> ref;
  std::vector<SeriesPicture> pictures;
  int expected = 0;  // the index Add expects
  int settled = 0;   // pictures 0..settled-1 are settled

  // Whether picture j lies strictly between picture i and the reference in brightness.
  bool Between(int i, int j) const {
    const double a = pictures[static_cast<size_t>(i)].brightness;
    const double b = pictures[static_cast<size_t>(j)].brightness;
    return (a < b && b < ref->brightness) || (a > b && b > ref->brightness);
  }

  // The earlier matched picture between picture i and the reference nearest to
  // it in brightness, or -1.
  int EarlierPartner(int i) const {
    int best = -1;
    for (int j = 0; j < i; ++j) {
      const SeriesPicture& p = pictures[static_cast<size_t>(j)];
      if (!p.matched || !p.prepared || !Between(i, j)) continue;
      if (best < 0 || std::fabs(p.brightness - pictures[static_cast<size_t>(i)].brightness) <
                          std::fabs(pictures[static_cast<size_t>(best)].brightness -
                                    pictures[static_cast<size_t>(i)].brightness))
        best = j;
    }
    return best;
  }

  void Examine(int index, const SBxPicBuf& picture);
  void SettleWaiting(int index);
};

// Picture `index` against the reference, else against a partner; the picture
// before it, when it waits, against this one.
void SeriesAlignerState::Examine(int index, const SBxPicBuf& picture) {
  SeriesPicture& p = pictures[static_cast<size_t>(index)];
  if (!AlignSupported(picture)) return LeaveAsIs(AlignReason::kUnsupported, &p.motion);
  if (picture.width != ref->width || picture.height != ref->height)
    return LeaveAsIs(AlignReason::kOtherGeometry, &p.motion);
  PictureLevels levels;
  BuildPictureLevels(picture, &levels);
  p.brightness = levels.brightness;
  EstimateFromLevels(*ref, levels, model, &p.motion);
  p.matched = p.motion.outcome != AlignOutcome::kLeftAsIs;
  const bool partnerMayHelp = !p.matched && MayMatchThroughPartner(p.motion.reason);
  if (partnerMayHelp) {
    const int j = EarlierPartner(index);
    if (j >= 0) {
      FrameMotion link;
      EstimateFromLevels(*pictures[static_cast<size_t>(j)].prepared, levels, model, &link);
      if (link.outcome != AlignOutcome::kLeftAsIs) {
        const FrameMotion through =
            ThroughPartner(link.toSource, link, pictures[static_cast<size_t>(j)].motion, j,
                           ref->width, ref->height);
        if (through.outcome != AlignOutcome::kLeftAsIs) {
          p.motion = through;
          p.matched = true;
        }
      }
    }
  }
  p.waiting = !p.matched && partnerMayHelp && index + 1 < count;
  if (index > 0 && (p.matched || p.waiting)) {
    SeriesPicture& before = pictures[static_cast<size_t>(index - 1)];
    if (before.waiting && Between(index - 1, index)) {
      EstimateFromLevels(*before.prepared, levels, model, &before.link);
      before.linked = before.link.outcome != AlignOutcome::kLeftAsIs;
    }
  }
  // Later pictures may need this one as a partner; the last needs none.
  if ((p.matched && index + 1 < count) || p.waiting) p.prepared = ReferenceFromLevels(levels);
}

// Settles the pictures before `index` that wait, now that picture `index` is
// settled or waits itself.
void SeriesAlignerState::SettleWaiting(int index) {
  for (int w = index - 1; w >= 0; --w) {
    SeriesPicture& p = pictures[static_cast<size_t>(w)];
    if (!p.waiting) break;
    const SeriesPicture& next = pictures[static_cast<size_t>(w + 1)];
    if (next.waiting && p.linked) break;  // both settle later
    Homography back;
    if (next.matched && p.linked) {
      // The link takes this picture's pixels to the next one's.
      if (!Invert(p.link.toSource, &back)) {
        const FrameMotion through =
            ThroughPartner(back, p.link, next.motion, w + 1, ref->width, ref->height);
        if (through.outcome != AlignOutcome::kLeftAsIs) {
          p.motion = through;
          p.matched = true;
        }
      }
    }
    // Otherwise it keeps the reason the reference gave.
    p.waiting = false;
    p.linked = false;
    p.settled = true;
    if (!p.matched) p.prepared.reset();
  }
}

SeriesAligner::SeriesAligner() = default;
SeriesAligner::~SeriesAligner() = default;

bool SeriesAligner::Start(const SBxPicBuf& referencePicture, int count, int reference,
                          AlignModel model, AlignReason* reason) {
  state_ = std::make_unique<SeriesAlignerState>();
  SeriesAlignerState& s = *state_;
  s.count = std::max(count, 0);
  s.reference = reference;
  s.model = model;
  bool failed = false;
  try {
    s.pictures.resize(static_cast<size_t>(s.count));
    if (reference < 0 || reference >= count) {
      s.startReason = AlignReason::kUnsupported;
      failed = true;
    } else if (AlignSupported(referencePicture)) {
      PictureLevels levels;
      BuildPictureLevels(referencePicture, &levels);
      s.ref = ReferenceFromLevels(levels);
    } else {
      s.startReason = AlignReason::kUnsupported;
      failed = true;
    }
  } catch (const std::bad_alloc&) {
    s.ref.reset();
    s.startReason = AlignReason::kOutOfMemory;
    failed = true;
  }
  if (reason) *reason = s.startReason;
  return failed;
}

bool SeriesAligner::Add(int index, const SBxPicBuf& picture) {
  if (!state_ || index != state_->expected || index >= state_->count) return true;
  SeriesAlignerState& s = *state_;
  ++s.expected;
  SeriesPicture& p = s.pictures[static_cast<size_t>(index)];
  bool failed = false;
  if (!s.ref) {
    LeaveAsIs(s.startReason, &p.motion);
  } else if (index == s.reference) {
    p.motion = Still();
    p.brightness = s.ref->brightness;
  } else {
    try {
      s.Examine(index, picture);
    } catch (const std::bad_alloc&) {
      p.prepared.reset();
      p.matched = p.waiting = false;
      LeaveAsIs(AlignReason::kOutOfMemory, &p.motion);
      failed = true;
    }
  }
  p.settled = !p.waiting;
  s.SettleWaiting(index);
  if (s.expected == s.count)  // no picture needs a partner any more
    for (SeriesPicture& q : s.pictures)
      q.prepared.reset();
  while (s.settled < s.count && s.pictures[static_cast<size_t>(s.settled)].settled)
    ++s.settled;
  return failed;
}

int SeriesAligner::Count() const {
  return state_ ? state_->count : 0;
}

int SeriesAligner::Settled() const {
  return state_ ? state_->settled : 0;
}

const FrameMotion& SeriesAligner::Motion(int index) const {
  return state_->pictures[static_cast<size_t>(index)].motion;
}

size_t SeriesAligner::Bytes() const {
  if (!state_) return 0;
  size_t bytes = sizeof(SeriesAlignerState) + state_->pictures.size() * sizeof(SeriesPicture);
  if (state_->ref) bytes += ReferenceBytes(*state_->ref);
  for (const SeriesPicture& p : state_->pictures)
    if (p.prepared) bytes += ReferenceBytes(*p.prepared);
  return bytes;
}
