#pragma once

#include <array>
#include <cstdint>
#include <string>

// The motion of one picture of a series against the series' reference picture,
// and what the estimator found out about it.
//
// Coordinates are pixel coordinates with pixel centres at whole numbers: pixel
// (0, 0) covers [-0.5, 0.5) x [-0.5, 0.5).

// A plane projective map (x, y) -> ((m0 x + m1 y + m2) / w, (m3 x + m4 y + m5) / w)
// with w = m6 x + m7 y + m8; identity by default.
struct Homography {
  std::array<double, 9> m{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
};

// The point (x, y) mapped; false (and the point unchanged) where w <= 0, beyond
// the map's horizon.
bool MapPoint(const Homography& h, double x, double y, double* mappedX, double* mappedY);
// a after b: the map p -> a(b(p)).
Homography Compose(const Homography& a, const Homography& b);
// The inverse map; true when h cannot be inverted.
bool Invert(const Homography& h, Homography* inverse);
// A pure translation by whole pixels (then *dx, *dy hold it).
bool IsWholePixelShift(const Homography& h, int* dx, int* dy);
// Scaled so that m8 is 1 (no change when m8 is 0).
Homography Normalized(const Homography& h);

// The model the caller asks for: the richest one that may be used. kAuto is
// kProjective: every model falls back to simpler ones when the guards refuse it.
enum class AlignModel : uint8_t { kAuto, kShift, kRigid, kProjective };

// The model a motion was estimated with, from the simplest to the richest.
// kRigid is a shift and a rotation, kSimilarity adds a uniform scale, kTurn a
// turn of the camera about its centre of projection (the similarity with the
// perspective that goes with its shift: see CameraTurn.h), kProjective is a
// full homography.
enum class MotionModel : uint8_t { kNone, kShift, kRigid, kSimilarity, kTurn, kProjective };

enum class AlignOutcome : uint8_t {
  kAligned,   // resample the picture with `toSource`
  kStill,     // it moved less than kStillCornerMotion at every corner, or by no more than
              // the differences can tell: use it as it is
  kLeftAsIs,  // it could not be aligned (see `reason`): use it as it is
};

// Why a picture was left as it was, or why a richer model than the one used
// was refused.
enum class AlignReason : uint8_t {
  kNone,
  kTooLittleSupport,  // too few well-exposed, detailed pixels in common with the reference
  kPoorMatch,         // the best motion still does not make the pictures agree
  kImplausible,       // the motion is beyond what a hand-held camera does
  kNotBetter,         // the pictures agree no better than without alignment
  kOtherGeometry,     // the picture's size differs from the reference's
  kUnsupported,       // no pixels, or a depth other than 8 or 16 bits
  kOutOfMemory,
};

// A picture whose corners all move less than this many pixels is still. On
// still exposure series 2 EV apart (sensor noise, JPEG) the estimated corners
// stay within 0.003..0.075 px (bench/RESULTS.md); the bundled brackets are no
// still series at this scale: their frames lie 0.2..12 px apart.
constexpr double kStillCornerMotion = 0.1;

struct FrameMotion {
  AlignOutcome outcome = AlignOutcome::kLeftAsIs;
  MotionModel model = MotionModel::kNone;  // kNone unless aligned
  AlignReason reason = AlignReason::kNone;
  // Output (reference) pixel -> source point of the picture: the picture's
  // content at reference position p lies at toSource(p). Identity unless aligned.
  Homography toSource;
  // The picture of the series (from 0) it was matched with, its motion then
  // composed with that picture's: -1 when matched with the reference itself.
  int via = -1;

  // The motion in numbers, as estimated (also when the picture is still or was
  // left as it was, for the record; zero when nothing could be estimated).
  double shiftX = 0.0;  // of the picture's centre, in pixels (right and down positive)
  double shiftY = 0.0;
  double rotationDegrees = 0.0;  // counter-clockwise as shown on screen positive
  double scale = 1.0;
  double cornerMotion = 0.0;  // the largest displacement of the four corners, in pixels

  // The agreement reached at the finest level: the share of the reference's
  // sample pixels that took part (well exposed in both pictures, inside both),
  // the correlation of the two pictures there (1 is a perfect match) and the
  // spread of the remaining differences, as a fraction of full scale.
  double support = 0.0;
  double correlation = 0.0;
  double residual = 0.0;
};

// Short English names, for callers that print them.
const char* MotionModelName(MotionModel model);
const char* AlignReasonText(AlignReason reason);
// One English line for a picture's motion ("shift 3.25, -1.50 px, rotation 0.42 deg,
// scale 1.0010, projective"; ", through picture 2" when composed; "still"; "left as it
// was: ..."), for callers that print it.
std::string DescribeMotion(const FrameMotion& motion);

// Fills the numbers of `motion` (shift, rotation, scale, corner motion) from
// its homography `h` for pictures of width x height.
void DescribeHomography(const Homography& h, int width, int height, FrameMotion* motion);
