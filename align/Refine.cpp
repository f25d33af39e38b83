#include "align/Refine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

namespace {

constexpr int kMaxParameters = 8;
constexpr int kMaxUnknowns = kMaxParameters + 2;  // and gain, offset
// Fewer samples than this per unknown leave a step ill-determined.
constexpr size_t kSamplesPerUnknown = 8;
// Below this spread the residuals are rounding: keeps the robust weights finite.
constexpr double kMinSpread = 1e-3;
constexpr double kHuber = 1.345;
// The pull on the curvature, as a share of the shift's weight in the normal
// equations. The curvature's own weight grows with the fourth power of the
// shift: about 1e-5 of the shift's at a shift of 20 px on a 12-megapixel
// picture, 4e-11 at 1 px, 1e-14 and less when the centre stays put.
constexpr double kCurvaturePull = 1e-12;
// Samples per piece of work on the TBB pool.
constexpr size_t kChunk = 1024;

// The normal equations, or one chunk's share of them.
struct Normal {
  std::array<double, kMaxUnknowns * kMaxUnknowns> matrix{};
  std::array<double, kMaxUnknowns> rhs{};
};

int ParameterCount(MotionModel model) {
  switch (model) {
    case MotionModel::kShift:
      return 2;
    case MotionModel::kRigid:
      return 3;
    case MotionModel::kSimilarity:
      return 4;
    case MotionModel::kTurn:
      return CameraTurn::kParameters;
    case MotionModel::kProjective:
      return 8;
    case MotionModel::kNone:
      break;
  }
  return 0;
}

// Level coordinates centred and divided by the half diagonal, so that every
// parameter moves the corners by comparable amounts.
struct Frame {
  double cx = 0.0, cy = 0.0, radius = 1.0;

  explicit Frame(const LevelSamples& s)
      : cx((s.width - 1) * 0.5),
        cy((s.height - 1) * 0.5),
        radius(0.5 * std::hypot(s.width, s.height)) {}

  Homography ToNormal() const {
    Homography h;
    h.m = {1.0 / radius, 0.0, -cx / radius, 0.0, 1.0 / radius, -cy / radius, 0.0, 0.0, 1.0};
    return h;
  }
  Homography FromNormal() const {
    Homography h;
    h.m = {radius, 0.0, cx, 0.0, radius, cy, 0.0, 0.0, 1.0};
    return h;
  }
};

// The incremental warp of the parameters, in normalised coordinates.
Homography Increment(MotionModel model, const double* p) {
  Homography h;
  auto& m = h.m;
  switch (model) {
    case MotionModel::kShift:
      m[2] = p[0], m[5] = p[1];
      break;
    case MotionModel::kRigid:
    case MotionModel::kSimilarity: {
      const double s = model == MotionModel::kSimilarity ? 1.0 + p[3] : 1.0;
      m[0] = s * std::cos(p[2]), m[1] = -s * std::sin(p[2]), m[2] = p[0];
      m[3] = s * std::sin(p[2]), m[4] = s * std::cos(p[2]), m[5] = p[1];
      break;
    }
    case MotionModel::kProjective:
      m = {1.0 + p[0], p[1], p[2], p[3], 1.0 + p[4], p[5], p[6], p[7], 1.0};
      break;
    case MotionModel::kTurn:  // steps its parameters instead
    case MotionModel::kNone:
      break;
  }
  return h;
}

using TurnTangentSet = std::array<std::array<double, 9>, CameraTurn::kParameters>;

// The same for the turn: the point's displacement along each tangent map.
void TurnSteepestDescent(const TurnTangentSet& g, double x, double y, double gx, double gy,
                         double* row) {
  for (int k = 0; k < CameraTurn::kParameters; ++k) {
    const auto& t = g[static_cast<size_t>(k)];
    const double u = t[0] * x + t[1] * y + t[2];
    const double v = t[3] * x + t[4] * y + t[5];
    const double w = t[6] * x + t[7] * y + t[8];
    row[k] = gx * (u - x * w) + gy * (v - y * w);
  }
}

// The largest distance between where two maps take the level's corners.
double CornerDistance(const Homography& a, const Homography& b, int width, int height) {
  double worst = 0.0;
  for (double x : {0.0, width - 1.0})
    for (double y : {0.0, height - 1.0}) {
      double ax = x, ay = y, bx = x, by = y;
      if (!MapPoint(a, x, y, &ax, &ay) || !MapPoint(b, x, y, &bx, &by)) return HUGE_VAL;
      worst = std::max(worst, std::hypot(ax - bx, ay - by));
    }
  return worst;
}

// d(warped point)/d(parameters) dotted with the gradient, at normalised (x, y).
void SteepestDescent(MotionModel model, double x, double y, double gx, double gy, double* row) {
  row[0] = gx, row[1] = gy;
  if (model == MotionModel::kShift) return;
  if (model == MotionModel::kProjective) {
    const double radial = x * gx + y * gy;
    row[0] = x * gx, row[1] = y * gx, row[2] = gx;
    row[3] = x * gy, row[4] = y * gy, row[5] = gy;
    row[6] = -x * radial, row[7] = -y * radial;
    return;
  }
  row[2] = -y * gx + x * gy;
  if (model == MotionModel::kSimilarity) row[3] = x * gx + y * gy;
}

// Solves the symmetric system a z = b (n unknowns) by elimination with
// partial pivoting; true when it is singular.
bool Solve(std::array<double, kMaxUnknowns * kMaxUnknowns> a, std::array<double, kMaxUnknowns> b,
           int n, double* z) {
  for (int c = 0; c < n; ++c) {
    int pivot = c;
    for (int r = c + 1; r < n; ++r)
      if (std::fabs(a[r * kMaxUnknowns + c]) > std::fabs(a[pivot * kMaxUnknowns + c])) pivot = r;
    if (!(std::fabs(a[pivot * kMaxUnknowns + c]) > 1e-15)) return true;
    if (pivot != c) {
      for (int k = 0; k < n; ++k)
        std::swap(a[c * kMaxUnknowns + k], a[pivot * kMaxUnknowns + k]);
      std::swap(b[c], b[pivot]);
    }
    for (int r = c + 1; r < n; ++r) {
      const double f = a[r * kMaxUnknowns + c] / a[c * kMaxUnknowns + c];
      for (int k = c; k < n; ++k)
        a[r * kMaxUnknowns + k] -= f * a[c * kMaxUnknowns + k];
      b[r] -= f * b[c];
    }
  }
  for (int r = n - 1; r >= 0; --r) {
    double s = b[r];
    for (int k = r + 1; k < n; ++k)
      s -= a[r * kMaxUnknowns + k] * z[k];
    z[r] = s / a[r * kMaxUnknowns + r];
  }
  for (int k = 0; k < n; ++k)
    if (!std::isfinite(z[k])) return true;
  return false;
}

// The moving picture seen at every sample for one motion: its value through the
// exposure map and, when asked, the gradient of that along the reference's axes.
struct Seen {
  std::vector<float> value;
  std::vector<float> gx, gy;
  std::vector<uint8_t> valid;
  size_t validCount = 0;
};

void Look(const LevelSamples& s, const MovingView& moving, const ExposureMap& exposure,
          const Homography& atLevel, bool gradients, Seen* seen) {
  const size_t n = s.Count();
  seen->value.assign(n, 0.0f);
  seen->valid.assign(n, 0);
  if (gradients) seen->gx.assign(n, 0.0f), seen->gy.assign(n, 0.0f);
  const auto& m = atLevel.m;
  // Every sample on its own: the split over threads changes nothing.
  tbb::parallel_for(tbb::blocked_range<size_t>(0, n, kChunk), [&](const auto& range) {
    for (size_t i = range.begin(); i < range.end(); ++i) {
      const double x = s.x[i], y = s.y[i];
      const double w = m[6] * x + m[7] * y + m[8];
      if (!(w > 0.0)) continue;
      const double mx = (m[0] * x + m[1] * y + m[2]) / w, my = (m[3] * x + m[4] * y + m[5]) / w;
      float v = 0.0f, dx = 0.0f, dy = 0.0f;
      const auto fx = static_cast<float>(mx), fy = static_cast<float>(my);
      const bool inside = moving.picture ? SamplePictureLuma(*moving.picture, fx, fy, &v, &dx, &dy)
                          : gradients    ? SampleLumaGradient(*moving.plane, fx, fy, &v, &dx, &dy)
                                         : SampleLuma(*moving.plane, fx, fy, &v);
      if (!inside || v < kDark || v > kBright) continue;
      seen->value[i] = exposure.Apply(v);
      seen->valid[i] = 1;
      if (!gradients) continue;
      // Through the exposure map, then back along the map's local linear part.
      const double slope = exposure.Slope(v);
      const double ax = (m[0] - mx * m[6]) / w, bx = (m[1] - mx * m[7]) / w;
      const double ay = (m[3] - my * m[6]) / w, by = (m[4] - my * m[7]) / w;
      seen->gx[i] = static_cast<float>(slope * (ax * dx + ay * dy));
      seen->gy[i] = static_cast<float>(slope * (bx * dx + by * dy));
    }
  });
  seen->validCount = 0;
  for (uint8_t v : seen->valid)
    seen->validCount += v;
}

// Gain and offset of the moving values onto the reference's (weighted least
// squares), the robust spread of what is left, and the weights that go with it.
struct Photometric {
  double gain = 1.0, offset = 0.0, spread = 1.0;
};

Photometric FitPhotometric(const LevelSamples& s, const Seen& seen,
                           const std::vector<float>* weights) {
  double sw = 0, sm = 0, st = 0, smm = 0, smt = 0;
  for (size_t i = 0; i < s.Count(); ++i) {
    if (!seen.valid[i]) continue;
    const double w = weights ? (*weights)[i] : 1.0, m = seen.value[i], t = s.value[i];
    sw += w, sm += w * m, st += w * t, smm += w * m * m, smt += w * m * t;
  }
  Photometric p;
  const double var = sw * smm - sm * sm;
  if (sw > 0.0 && var > 1e-12 * sw * sw) {
    p.gain = (sw * smt - sm * st) / var;
    p.offset = (st - p.gain * sm) / sw;
  }
  return p;
}

double RobustSpread(const LevelSamples& s, const Seen& seen, const Photometric& p) {
  std::vector<float> r;
  r.reserve(seen.validCount);
  for (size_t i = 0; i < s.Count(); ++i)
    if (seen.valid[i])
      r.push_back(static_cast<float>(std::fabs(p.gain * seen.value[i] + p.offset - s.value[i])));
  if (r.empty()) return 1.0;
  auto mid = r.begin() + static_cast<long>(r.size() / 2);
  std::nth_element(r.begin(), mid, r.end());
  return std::max(kMinSpread, 1.4826 * static_cast<double>(*mid));
}

void HuberWeights(const LevelSamples& s, const Seen& seen, const Photometric& p,
                  std::vector<float>* weights) {
  weights->assign(s.Count(), 0.0f);
  const double limit = kHuber * p.spread;
  for (size_t i = 0; i < s.Count(); ++i) {
    if (!seen.valid[i]) continue;
    const double r = std::fabs(p.gain * seen.value[i] + p.offset - s.value[i]);
    (*weights)[i] = static_cast<float>(r <= limit ? 1.0 : limit / r);
  }
}

// The agreement figures of a motion once its weights are known.
void Summarise(const LevelSamples& s, const Seen& seen, const std::vector<float>& weights,
               const Photometric& p, Agreement* a) {
  double sw = 0, sm = 0, st = 0;
  for (size_t i = 0; i < s.Count(); ++i) {
    if (!seen.valid[i]) continue;
    sw += weights[i], sm += weights[i] * seen.value[i], st += weights[i] * s.value[i];
  }
  a->support = s.Count() > 0 ? sw / static_cast<double>(s.Count()) : 0.0;
  a->residual = p.spread;
  a->correlation = 0.0;
  if (sw <= 0.0) return;
  const double mm = sm / sw, mt = st / sw;
  double cmm = 0, ctt = 0, cmt = 0;
  for (size_t i = 0; i < s.Count(); ++i) {
    if (!seen.valid[i]) continue;
    const double dm = seen.value[i] - mm, dt = s.value[i] - mt;
    cmm += weights[i] * dm * dm, ctt += weights[i] * dt * dt, cmt += weights[i] * dm * dt;
  }
  if (cmm > 0.0 && ctt > 0.0) a->correlation = cmt / std::sqrt(cmm * ctt);
}

// Agreement of `seen` with robust weights settled over a few rounds.
Agreement Settle(const LevelSamples& s, const Seen& seen, const Homography& motion) {
  Agreement a;
  a.motion = motion;
  if (seen.validCount < kSamplesPerUnknown * 2) {
    a.failed = true;
    return a;
  }
  std::vector<float> weights;
  Photometric p = FitPhotometric(s, seen, nullptr);
  for (int round = 0; round < 3; ++round) {
    p.spread = RobustSpread(s, seen, p);
    HuberWeights(s, seen, p, &weights);
    const double spread = p.spread;
    p = FitPhotometric(s, seen, &weights);
    p.spread = spread;
  }
  Summarise(s, seen, weights, p, &a);
  return a;
}

// The normal equations of one step at the seen motion: rows (moving value, 1,
// steepest descent) against the reference value, the descent taken along the
// mean of both pictures' gradients (second-order minimisation: far fewer steps
// than either gradient alone); for the turn along its tangent maps. Summed in
// fixed chunks, then the chunks in order: the same sums for any number of
// threads. The matrix comes back whole (both triangles).
Normal NormalEquations(const LevelSamples& s, const Seen& seen, const std::vector<float>& weights,
                       double gain, const Frame& frame, MotionModel model,
                       const TurnTangentSet* tangents) {
  const int unknowns = ParameterCount(model) + 2;
  const size_t chunks = (s.Count() + kChunk - 1) / kChunk;
  std::vector<Normal> parts(chunks);
  tbb::parallel_for(size_t{0}, chunks, [&](size_t k) {
    Normal& part = parts[k];
    double row[kMaxUnknowns];
    for (size_t i = k * kChunk; i < std::min(s.Count(), (k + 1) * kChunk); ++i) {
      if (!seen.valid[i]) continue;
      const double x = (s.x[i] - frame.cx) / frame.radius;
      const double y = (s.y[i] - frame.cy) / frame.radius;
      row[0] = seen.value[i];
      row[1] = 1.0;
      const double gx = 0.5 * (s.gx[i] + gain * seen.gx[i]) * frame.radius;
      const double gy = 0.5 * (s.gy[i] + gain * seen.gy[i]) * frame.radius;
      if (tangents) {
        TurnSteepestDescent(*tangents, x, y, gx, gy, row + 2);
      } else {
        SteepestDescent(model, x, y, gx, gy, row + 2);
      }
      const double w = weights[i], t = s.value[i];
      for (int r = 0; r < unknowns; ++r) {
        const double wr = w * row[r];
        for (int c = r; c < unknowns; ++c)
          part.matrix[r * kMaxUnknowns + c] += wr * row[c];
        part.rhs[r] += wr * t;
      }
    }
  });
  Normal sum;
  for (const Normal& part : parts) {
    for (size_t k = 0; k < sum.matrix.size(); ++k)
      sum.matrix[k] += part.matrix[k];
    for (size_t k = 0; k < sum.rhs.size(); ++k)
      sum.rhs[k] += part.rhs[k];
  }
  for (int r = 0; r < unknowns; ++r)
    for (int c = 0; c < r; ++c)
      sum.matrix[r * kMaxUnknowns + c] = sum.matrix[c * kMaxUnknowns + r];
  return sum;
}

}  // namespace

Agreement Evaluate(const LevelSamples& samples, const MovingView& moving,
                   const ExposureMap& exposure, const Homography& motion) {
  Seen seen;
  Look(samples, moving, exposure, MapAtLevel(motion, samples.level), false, &seen);
  return Settle(samples, seen, motion);
}

Agreement RefineAtLevel(const LevelSamples& s, const MovingView& moving,
                        const ExposureMap& exposure, MotionModel model, const Agreement& start,
                        double convergedStep) {
  const int parameters = ParameterCount(model);
  const int unknowns = parameters + 2;
  const Frame frame(s);
  const Homography toNormal = frame.ToNormal(), fromNormal = frame.FromNormal();
  const bool turning = model == MotionModel::kTurn;
  CameraTurn turn = start.turn;
  Homography atLevel = MapAtLevel(start.motion, s.level);
  auto failed = [&] {
    Agreement a;
    a.motion = MapAtFullSize(atLevel, s.level);
    a.turn = turn;
    a.failed = true;
    return a;
  };
  Seen seen;
  std::vector<float> weights;
  Photometric p;
  TurnTangentSet tangents{};
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    Look(s, moving, exposure, atLevel, true, &seen);
    if (seen.validCount < kSamplesPerUnknown * static_cast<size_t>(unknowns)) return failed();
    if (turning && !TurnTangents(turn, s.level, toNormal, &tangents)) return failed();
    if (iteration == 0) p = FitPhotometric(s, seen, nullptr);
    p.spread = RobustSpread(s, seen, p);
    HuberWeights(s, seen, p, &weights);
    Normal normal =
        NormalEquations(s, seen, weights, p.gain, frame, model, turning ? &tangents : nullptr);
    if (turning) {
      // The lens shows only through the shift (the perspective is the shift
      // times the curvature): without shift the pictures cannot tell it, and
      // the steps would send it anywhere. A faint pull towards no curvature
      // holds it there; once the centre moves by a pixel the pictures outweigh
      // it many times over.
      const int k = 2 + CameraTurn::kCurvature, x = 2 + CameraTurn::kShiftX;
      const double pull = kCurvaturePull * normal.matrix[x * kMaxUnknowns + x];
      normal.matrix[k * kMaxUnknowns + k] += pull;
      normal.rhs[k] -= pull * turn.p[CameraTurn::kCurvature];
    }
    double z[kMaxUnknowns] = {};
    if (Solve(normal.matrix, normal.rhs, unknowns, z)) break;
    p.gain = z[0], p.offset = z[1];
    // How far the step moves the level's corners, in level pixels.
    double moved = 0.0;
    if (turning) {
      CameraTurn next = turn;
      for (int k = 0; k < parameters; ++k)
        next.p[static_cast<size_t>(k)] += z[k + 2];
      Homography map;
      if (!TurnMap(next, &map)) break;
      const Homography nextAtLevel = MapAtLevel(map, s.level);
      moved = CornerDistance(atLevel, nextAtLevel, s.width, s.height);
      turn = next;
      atLevel = nextAtLevel;
    } else {
      const Homography step = Increment(model, z + 2);
      atLevel = Compose(atLevel, Compose(fromNormal, Compose(step, toNormal)));
      const double hx = frame.cx / frame.radius, hy = frame.cy / frame.radius;
      for (double cx : {-hx, hx})
        for (double cy : {-hy, hy}) {
          double mx = cx, my = cy;
          MapPoint(step, cx, cy, &mx, &my);
          moved = std::max(moved, std::hypot(mx - cx, my - cy) * frame.radius);
        }
    }
    if (moved < convergedStep) break;
  }
  Look(s, moving, exposure, atLevel, false, &seen);
  Agreement a = Settle(s, seen, MapAtFullSize(atLevel, s.level));
  a.turn = turn;
  return a;
}
