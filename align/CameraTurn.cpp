#include "align/CameraTurn.h"

#include <cmath>

#include "align/LumaPlanes.h"

namespace {

// Parameter steps of the central differences: the parameters are of order 0.01..1
// in the frame's units and the maps smooth, so the differences are exact to
// about 1e-10.
constexpr double kStep = 1e-5;

using Matrix = std::array<double, 9>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix c{};
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k)
      c[r * 3 + k] = a[r * 3] * b[k] + a[r * 3 + 1] * b[3 + k] + a[r * 3 + 2] * b[6 + k];
  return c;
}

// The turn in the frame's coordinates: roll and zoom after the turn M.
bool FrameMap(const std::array<double, CameraTurn::kParameters>& p, Matrix* map) {
  const double tx = p[CameraTurn::kShiftX], ty = p[CameraTurn::kShiftY];
  const double k = p[CameraTurn::kCurvature];
  const double inner = 1.0 + k * (tx * tx + ty * ty);
  if (!(inner > 0.0)) return false;
  // M = (K R K^-1) scaled by sqrt(inner) for the rotation R about the axis
  // (-ty, tx, 0) by atan(|t| sqrt(k)), K the lens; written without the focal
  // length, it holds for k <= 0 too (the similarity at k = 0).
  const double q = k / (std::sqrt(inner) + 1.0);
  const Matrix m{1.0 + q * ty * ty, -q * tx * ty, tx, -q * tx * ty, 1.0 + q * tx * tx, ty,
                 -k * tx,           -k * ty,      1.0};
  const double s = std::exp(p[CameraTurn::kLogScale]);
  const double c = s * std::cos(p[CameraTurn::kAngle]), d = s * std::sin(p[CameraTurn::kAngle]);
  const Matrix z{c, -d, 0.0, d, c, 0.0, 0.0, 0.0, 1.0};
  *map = Multiply(z, m);
  return true;
}

Homography ToFrame(const CameraTurn& t) {
  Homography h;
  h.m = {1.0 / t.radius,
         0.0,
         -t.centreX / t.radius,
         0.0,
         1.0 / t.radius,
         -t.centreY / t.radius,
         0.0,
         0.0,
         1.0};
  return h;
}

Homography FromFrame(const CameraTurn& t) {
  Homography h;
  h.m = {t.radius, 0.0, t.centreX, 0.0, t.radius, t.centreY, 0.0, 0.0, 1.0};
  return h;
}

// The turn with parameters `p` between the planes of `level`, in the coordinates
// `toFrame` takes them to.
bool MapInFrame(const CameraTurn& turn, const std::array<double, CameraTurn::kParameters>& p,
                int level, const Homography& toFrame, const Homography& fromFrame,
                Homography* map) {
  Homography inTurnFrame;
  if (!FrameMap(p, &inTurnFrame.m)) return false;
  const Homography full = Compose(FromFrame(turn), Compose(inTurnFrame, ToFrame(turn)));
  *map = Compose(toFrame, Compose(MapAtLevel(full, level), fromFrame));
  return true;
}

}  // namespace

CameraTurn IdentityTurn(int width, int height) {
  CameraTurn t;
  t.centreX = (width - 1) * 0.5;
  t.centreY = (height - 1) * 0.5;
  t.radius = 0.5 * std::hypot(width, height);
  return t;
}

CameraTurn TurnFromSimilarity(const Homography& similarity, int width, int height) {
  CameraTurn t = IdentityTurn(width, height);
  // In the frame: [[a, -b, u], [b, a, v]] = Z(angle, scale) after the shift t.
  const Homography h = Compose(ToFrame(t), Compose(similarity, FromFrame(t)));
  const double a = h.m[0], b = h.m[3], u = h.m[2], v = h.m[5];
  const double s2 = a * a + b * b;
  if (!(s2 > 0.0)) return t;
  t.p[CameraTurn::kAngle] = std::atan2(b, a);
  t.p[CameraTurn::kLogScale] = 0.5 * std::log(s2);
  t.p[CameraTurn::kShiftX] = (a * u + b * v) / s2;
  t.p[CameraTurn::kShiftY] = (a * v - b * u) / s2;
  return t;
}

bool TurnMap(const CameraTurn& turn, Homography* map) {
  Homography inFrame;
  if (!FrameMap(turn.p, &inFrame.m)) return false;
  *map = Compose(FromFrame(turn), Compose(inFrame, ToFrame(turn)));
  return true;
}

bool TurnTangents(const CameraTurn& turn, int level, const Homography& toFrame,
                  std::array<std::array<double, 9>, CameraTurn::kParameters>* tangents) {
  Homography fromFrame, at, inverse;
  if (Invert(toFrame, &fromFrame)) return false;
  if (!MapInFrame(turn, turn.p, level, toFrame, fromFrame, &at) || Invert(at, &inverse))
    return false;
  for (int k = 0; k < CameraTurn::kParameters; ++k) {
    auto up = turn.p, down = turn.p;
    up[k] += kStep;
    down[k] -= kStep;
    Homography a, b;
    if (!MapInFrame(turn, up, level, toFrame, fromFrame, &a) ||
        !MapInFrame(turn, down, level, toFrame, fromFrame, &b))
      return false;
    Matrix derivative;
    for (int i = 0; i < 9; ++i)
      derivative[i] = (a.m[i] - b.m[i]) / (2.0 * kStep);
    (*tangents)[k] = Multiply(inverse.m, derivative);
  }
  return true;
}
