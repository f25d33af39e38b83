#pragma once

// Deterministic scenes for the alignment tests, defined at every real point so
// that a moved picture is the scene evaluated at moved coordinates: its motion
// is known exactly, with no resampling in between.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include <tbb/parallel_for.h>

#include "align/Cubic.h"
#include "align/Motion.h"
#include "picture/CBxPicBufAPI.h"

struct Scene {
  struct Wave {
    double fx, fy, phase, amplitude;
  };
  struct Edge {  // a soft step across a line
    double nx, ny, offset, amplitude;
  };
  std::vector<Wave> waves;
  std::vector<Edge> edges;
  // Scene points above this row show a sky without texture: brightness falling
  // smoothly towards the horizon, the same along every row.
  double skyAbove = -1e300;
  // Light falling off across the scene by this many EV per unit of x from x = 0
  // on (a scene of a wider range than any one exposure holds).
  double falloffStops = 0.0;

  explicit Scene(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int k = 0; k < 14; ++k) {
      const double period = 7.0 + 50.0 * unit(rng), angle = 6.2832 * unit(rng);
      waves.push_back({std::cos(angle) * 6.2832 / period, std::sin(angle) * 6.2832 / period,
                       6.2832 * unit(rng), 0.05 + 0.05 * unit(rng)});
    }
    for (int k = 0; k < 10; ++k) {
      const double angle = 6.2832 * unit(rng);
      edges.push_back(
          {std::cos(angle), std::sin(angle), 40.0 + 200.0 * unit(rng), (unit(rng) - 0.5) * 0.3});
    }
  }

  // Scene radiance at (x, y) for components 0..count-1 (about 0.02..0.98),
  // differently mixed per component; the sky above skyAbove.
  void At(double x, double y, uint32_t count, double* values) const {
    Ground(x, y, count, values);
    // A soft horizon, as sharp as the edges: a hard one would alias.
    const double sky = 0.5 + 0.5 * std::tanh((skyAbove - y) / 1.5);
    if (sky > 1e-9) {
      const double d = std::max(skyAbove - y, 0.0);
      for (uint32_t c = 0; c < count; ++c)
        values[c] += sky * (0.6 + 0.3 * d / (d + 200.0) - values[c]);
    }
    // Values are radiance through a 2.2 gamma: n stops darker is a gain of 2^(-n / 2.2).
    const double gain = std::exp2(-falloffStops * x / 2.2);
    for (uint32_t c = 0; c < count; ++c)
      values[c] *= gain;
  }

  void Ground(double x, double y, uint32_t count, double* values) const {
    double edge = 0.0;
    for (const Edge& e : edges)
      edge += e.amplitude * std::tanh((e.nx * x + e.ny * y - e.offset) / 1.5);
    for (uint32_t c = 0; c < count; ++c)
      values[c] = 0.5 + edge;
    for (size_t k = 0; k < waves.size(); ++k) {
      const Wave& w = waves[k];
      const double s = w.amplitude * std::sin(w.fx * x + w.fy * y + w.phase);
      for (uint32_t c = 0; c < count; ++c)
        values[c] += ((k + c) % 3 == 0 ? 1.3 : 0.8) * s;
    }
    for (uint32_t c = 0; c < count; ++c)
      values[c] = std::clamp(values[c], 0.02, 0.98);
  }
};

// The scene sampled every `step` units over [x0, x1] x [y0, y1] and
// interpolated between (Catmull-Rom; the edge samples beyond): another scene,
// as well defined at every real point, that large pictures render many times
// faster.
class GridScene {
 public:
  GridScene(const Scene& scene, double x0, double y0, double x1, double y1, double step)
      : x0_(x0), y0_(y0), step_(step) {
    columns_ = static_cast<int>(std::ceil((x1 - x0) / step)) + 1;
    rows_ = static_cast<int>(std::ceil((y1 - y0) / step)) + 1;
    samples_.resize(static_cast<size_t>(columns_) * static_cast<size_t>(rows_) * 4);
    tbb::parallel_for(0, rows_, [&](int r) {
      double values[4];
      for (int c = 0; c < columns_; ++c) {
        scene.At(x0 + c * step, y0 + r * step, 4, values);
        for (int k = 0; k < 4; ++k)
          samples_[Index(c, r) + k] = static_cast<float>(values[k]);
      }
    });
  }

  void At(double x, double y, uint32_t count, double* values) const {
    const double u = (x - x0_) / step_, v = (y - y0_) / step_;
    const int iu = static_cast<int>(std::floor(u)), iv = static_cast<int>(std::floor(v));
    float wu[4], wv[4];
    CubicWeights(static_cast<float>(u - iu), wu);
    CubicWeights(static_cast<float>(v - iv), wv);
    size_t cols[4];
    for (int i = 0; i < 4; ++i)
      cols[i] = Index(std::clamp(iu - 1 + i, 0, columns_ - 1), 0);
    float sum[4] = {};
    for (int j = 0; j < 4; ++j) {
      const float* row = &samples_[Index(0, std::clamp(iv - 1 + j, 0, rows_ - 1))];
      float across[4] = {};
      for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k)
          across[k] += wu[i] * row[cols[i] + k];
      for (int k = 0; k < 4; ++k)
        sum[k] += wv[j] * across[k];
    }
    for (uint32_t k = 0; k < count; ++k)
      values[k] = sum[k];
  }

 private:
  size_t Index(int c, int r) const {
    return (static_cast<size_t>(r) * static_cast<size_t>(columns_) + static_cast<size_t>(c)) * 4;
  }

  double x0_, y0_, step_;
  int columns_ = 0, rows_ = 0;
  std::vector<float> samples_;
};

// The scene of a width x height picture whose features are enlarged `zoom`
// times, as a grid scene (with room for motions of a twentieth of the picture).
inline GridScene LargeScene(uint32_t seed, int width, int height, double zoom) {
  const double margin = 0.05 * std::max(width, height) / zoom;
  return GridScene(Scene(seed), -margin, -margin, width / zoom + margin, height / zoom + margin,
                   1.0);
}

// A picture of the scene seen through `toScene` (picture pixel -> scene point),
// exposed `stops` EV from the scene's level through a 2.2 gamma and clipped.
template <typename AnyScene>
void RenderScene(const AnyScene& scene, const Homography& toScene, double stops,
                 SBxPicBuf* picture) {
  const double full = picture->bitsPerComponent == 8 ? 255.0 : 65535.0;
  // The exposure through a 2.2 gamma is a gain of 2^(stops / 2.2), then clipping.
  const double gain = std::exp2(stops / 2.2);
  // Rows on the TBB pool: every pixel is computed on its own.
  tbb::parallel_for(0, picture->height, [&](int y) {
    double values[4];
    for (int x = 0; x < picture->width; ++x) {
      double sx = x, sy = y;
      MapPoint(toScene, x, y, &sx, &sy);
      scene.At(sx, sy, std::min(picture->components, 4u), values);
      for (uint32_t c = 0; c < picture->components; ++c) {
        // Rounded to nearest (the values are not negative).
        const double v = std::floor(std::min(1.0, values[std::min(c, 3u)] * gain) * full + 0.5);
        const size_t i = static_cast<size_t>(x) * picture->components + c;
        if (picture->bitsPerComponent == 8) {
          RowPtr(*picture, y)[i] = static_cast<uint8_t>(v);
        } else {
          reinterpret_cast<uint16_t*>(RowPtr(*picture, y))[i] = static_cast<uint16_t>(v);
        }
      }
    }
  });
}

// Sensor-like noise: every sample moved by up to `amplitude` of full scale.
inline void AddNoise(double amplitude, uint32_t seed, SBxPicBuf* picture) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-amplitude, amplitude);
  const double full = picture->bitsPerComponent == 8 ? 255.0 : 65535.0;
  for (int y = 0; y < picture->height; ++y)
    for (size_t i = 0; i < static_cast<size_t>(picture->width) * picture->components; ++i) {
      if (picture->bitsPerComponent == 8) {
        uint8_t& v = RowPtr(*picture, y)[i];
        v = static_cast<uint8_t>(std::clamp(std::round(v + noise(rng) * full), 0.0, full));
      } else {
        uint16_t& v = reinterpret_cast<uint16_t*>(RowPtr(*picture, y))[i];
        v = static_cast<uint16_t>(std::clamp(std::round(v + noise(rng) * full), 0.0, full));
      }
    }
}

inline double Sample(const SBxPicBuf& pic, int x, int y, uint32_t c) {
  const size_t i = static_cast<size_t>(x) * pic.components + c;
  return pic.bitsPerComponent == 8 ? RowPtr(pic, y)[i]
                                   : reinterpret_cast<const uint16_t*>(RowPtr(pic, y))[i];
}

// A turn about the centre of a width x height frame: rotation, scale, shift of
// the centre and a perspective tilt.
inline Homography Turn(int width, int height, double degrees, double scale, double dx, double dy,
                       double tiltX = 0.0, double tiltY = 0.0) {
  const double a = degrees * 3.14159265358979 / 180.0;
  const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
  Homography centre, turn, back;
  back.m = {1, 0, -cx, 0, 1, -cy, 0, 0, 1};
  turn.m = {scale * std::cos(a),
            -scale * std::sin(a),
            dx,
            scale * std::sin(a),
            scale * std::cos(a),
            dy,
            tiltX,
            tiltY,
            1};
  centre.m = {1, 0, cx, 0, 1, cy, 0, 0, 1};
  return Compose(centre, Compose(turn, back));
}

// Largest distance between two maps over the frame's corners.
inline double CornerError(const Homography& a, const Homography& b, int width, int height) {
  double worst = 0.0;
  for (double x : {0.0, width - 1.0})
    for (double y : {0.0, height - 1.0}) {
      double ax = 0, ay = 0, bx = 0, by = 0;
      MapPoint(a, x, y, &ax, &ay);
      MapPoint(b, x, y, &bx, &by);
      worst = std::max(worst, std::hypot(ax - bx, ay - by));
    }
  return worst;
}
