#include "align/Motion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

bool MapPoint(const Homography& h, double x, double y, double* mappedX, double* mappedY) {
  const auto& m = h.m;
  const double w = m[6] * x + m[7] * y + m[8];
  if (!(w > 0.0)) return false;
  *mappedX = (m[0] * x + m[1] * y + m[2]) / w;
  *mappedY = (m[3] * x + m[4] * y + m[5]) / w;
  return true;
}

Homography Compose(const Homography& a, const Homography& b) {
  Homography c;
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k)
      c.m[r * 3 + k] =
          a.m[r * 3] * b.m[k] + a.m[r * 3 + 1] * b.m[3 + k] + a.m[r * 3 + 2] * b.m[6 + k];
  return Normalized(c);
}

bool Invert(const Homography& h, Homography* inverse) {
  const auto& m = h.m;
  const double c0 = m[4] * m[8] - m[5] * m[7];
  const double c1 = m[5] * m[6] - m[3] * m[8];
  const double c2 = m[3] * m[7] - m[4] * m[6];
  const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return true;
  Homography r;
  r.m = {c0, m[2] * m[7] - m[1] * m[8], m[1] * m[5] - m[2] * m[4],
         c1, m[0] * m[8] - m[2] * m[6], m[2] * m[3] - m[0] * m[5],
         c2, m[1] * m[6] - m[0] * m[7], m[0] * m[4] - m[1] * m[3]};
  for (double& v : r.m)
    v /= det;
  *inverse = Normalized(r);
  return false;
}

bool IsWholePixelShift(const Homography& h, int* dx, int* dy) {
  const auto& m = h.m;
  if (m[0] != 1.0 || m[1] != 0.0 || m[3] != 0.0 || m[4] != 1.0 || m[6] != 0.0 || m[7] != 0.0 ||
      m[8] != 1.0)
    return false;
  if (m[2] != std::round(m[2]) || m[5] != std::round(m[5])) return false;
  if (std::fabs(m[2]) > 1e9 || std::fabs(m[5]) > 1e9) return false;
  *dx = static_cast<int>(m[2]);
  *dy = static_cast<int>(m[5]);
  return true;
}

Homography Normalized(const Homography& h) {
  if (h.m[8] == 0.0 || h.m[8] == 1.0) return h;
  Homography r = h;
  for (double& v : r.m)
    v /= h.m[8];
  r.m[8] = 1.0;
  return r;
}

const char* MotionModelName(MotionModel model) {
  switch (model) {
    case MotionModel::kNone:
      return "none";
    case MotionModel::kShift:
      return "shift";
    case MotionModel::kRigid:
      return "rigid";
    case MotionModel::kSimilarity:
      return "similarity";
    case MotionModel::kTurn:
      return "turn";
    case MotionModel::kProjective:
      return "projective";
  }
  return "none";
}

const char* AlignReasonText(AlignReason reason) {
  switch (reason) {
    case AlignReason::kNone:
      return "";
    case AlignReason::kTooLittleSupport:
      return "too little detail in common with the reference";
    case AlignReason::kPoorMatch:
      return "it does not match the reference";
    case AlignReason::kImplausible:
      return "the motion found is implausible";
    case AlignReason::kNotBetter:
      return "alignment would not improve it";
    case AlignReason::kOtherGeometry:
      return "its size differs from the reference's";
    case AlignReason::kUnsupported:
      return "unsupported picture";
    case AlignReason::kOutOfMemory:
      return "not enough memory";
  }
  return "";
}

std::string DescribeMotion(const FrameMotion& motion) {
  char line[256];
  switch (motion.outcome) {
    case AlignOutcome::kStill:
      return "still";
    case AlignOutcome::kLeftAsIs:
      return std::string("left as it was: ") + AlignReasonText(motion.reason);
    case AlignOutcome::kAligned:
      break;
  }
  std::snprintf(line, sizeof line, "shift %.2f, %.2f px, rotation %.3f deg, scale %.4f, %s",
                motion.shiftX, motion.shiftY, motion.rotationDegrees, motion.scale,
                MotionModelName(motion.model));
  std::string text = line;
  if (motion.via >= 0) text += ", through picture " + std::to_string(motion.via + 1);
  return text;
}

void DescribeHomography(const Homography& h, int width, int height, FrameMotion* motion) {
  const double cx = (width - 1) * 0.5, cy = (height - 1) * 0.5;
  double mx = cx, my = cy;
  MapPoint(h, cx, cy, &mx, &my);
  motion->shiftX = mx - cx;
  motion->shiftY = my - cy;
  // The linear part at the centre, from the images of two nearby points.
  double ax = mx, ay = my, bx = mx, by = my;
  MapPoint(h, cx + 1.0, cy, &ax, &ay);
  MapPoint(h, cx, cy + 1.0, &bx, &by);
  const double a = ax - mx, c = ay - my, b = bx - mx, d = by - my;
  motion->scale = std::sqrt(std::fabs(a * d - b * c));
  // Screen y points down: content turned counter-clockwise moves a point right of
  // the centre upwards, so c is negative for a positive angle.
  motion->rotationDegrees = -std::atan2(c - b, a + d) * 180.0 / std::numbers::pi;
  const double xs[2] = {0.0, width - 1.0}, ys[2] = {0.0, height - 1.0};
  motion->cornerMotion = 0.0;
  for (double x : xs)
    for (double y : ys) {
      double px = 0.0, py = 0.0;
      if (!MapPoint(h, x, y, &px, &py)) {
        motion->cornerMotion = HUGE_VAL;
        continue;
      }
      motion->cornerMotion = std::max(motion->cornerMotion, std::hypot(px - x, py - y));
    }
}
