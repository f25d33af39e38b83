// The camera-turn model: its map is a rotation of the camera seen through a
// lens, it reduces to the similarity without curvature, and it pins down the
// motion of a frame whose upper half has no texture, where a general
// projective map bends.
#include <gtest/gtest.h>

#include <cmath>

#include "align/Align.h"
#include "align/CameraTurn.h"
#include "picture/ImageLoad.h"
#include "tests/align/AlignScenes.h"

namespace {

using Matrix = std::array<double, 9>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix c{};
  for (int r = 0; r < 3; ++r)
    for (int k = 0; k < 3; ++k)
      for (int j = 0; j < 3; ++j)
        c[r * 3 + k] += a[r * 3 + j] * b[j * 3 + k];
  return c;
}

// Rotation by `angle` about the unit axis (ax, ay, az) (Rodrigues' formula).
Matrix Rotation(double ax, double ay, double az, double angle) {
  const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
  return {t * ax * ax + c,      t * ax * ay - s * az, t * ax * az + s * ay,
          t * ax * ay + s * az, t * ay * ay + c,      t * ay * az - s * ax,
          t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c};
}

// The map of pixels of a width x height picture when the camera (focal length
// `focal` pixels, centred) turns by `rotation` and zooms by `zoom`.
Homography CameraMap(int width, int height, const Matrix& rotation, double focal, double zoom) {
  const double cx = (width - 1) * 0.5, cy = (height - 1) * 0.5;
  const Matrix k{zoom * focal, 0, cx, 0, zoom * focal, cy, 0, 0, 1};
  const Matrix kInverse{1 / focal, 0, -cx / focal, 0, 1 / focal, -cy / focal, 0, 0, 1};
  Homography h;
  h.m = Multiply(k, Multiply(rotation, kInverse));
  return Normalized(h);
}

TEST(CameraTurn, MapIsATurnOfTheCameraThroughItsLens) {
  const int w = 600, h = 400;
  CameraTurn turn = IdentityTurn(w, h);
  const double radius = turn.radius;
  // Centre moved by (40, -25) px by a turn about an axis in the picture plane,
  // then rolled by 1.5 degrees and zoomed by 0.5 %, through a lens of focal
  // length 1.3 diagonals.
  const double focal = 1.3 * 2.0 * radius, tx = 40.0, ty = -25.0;
  const double roll = 1.5 * 3.14159265358979 / 180.0, zoom = 1.005;
  turn.p = {tx / radius, ty / radius, roll, std::log(zoom), (radius / focal) * (radius / focal)};
  Homography map;
  ASSERT_TRUE(TurnMap(turn, &map));
  const double norm = std::hypot(tx, ty);
  const Matrix swing = Rotation(-ty / norm, tx / norm, 0.0, std::atan(norm / focal));
  const Homography expected =
      CameraMap(w, h, Multiply(Rotation(0, 0, 1, roll), swing), focal, zoom);
  EXPECT_LT(CornerError(map, expected, w, h), 1e-9);
  double x = 0, y = 0;
  MapPoint(map, (w - 1) * 0.5, (h - 1) * 0.5, &x, &y);  // the centre moves by the shift, zoomed
  EXPECT_NEAR(std::hypot(x - (w - 1) * 0.5, y - (h - 1) * 0.5), zoom * norm, 1e-6);
}

TEST(CameraTurn, WithoutCurvatureItIsTheSimilarity) {
  const Homography similarity = Turn(500, 300, -2.5, 0.99, 17.0, -6.5);
  const CameraTurn turn = TurnFromSimilarity(similarity, 500, 300);
  EXPECT_EQ(turn.p[CameraTurn::kCurvature], 0.0);
  Homography map;
  ASSERT_TRUE(TurnMap(turn, &map));
  EXPECT_LT(CornerError(map, similarity, 500, 300), 1e-9);
  // A curvature no lens gives for this shift is refused, not mapped.
  CameraTurn beyond = turn;
  beyond.p[CameraTurn::kCurvature] = -1e6;
  EXPECT_FALSE(TurnMap(beyond, &map));
}

TEST(CameraTurn, PinsDownAFrameWithDetailInItsLowerHalfOnly) {
  // A horizon across the middle, a sky without texture above it, sensor noise:
  // the turn's perspective over the sky follows from the detail below.
  const int w = 320, h = 240;
  Scene scene(5);
  scene.skyAbove = 0.25 * h;
  // The scene's features enlarged twice: sharp enough, and smooth enough for
  // the interpolation to leave no bias.
  Homography shrink;
  shrink.m[0] = shrink.m[4] = 0.5;
  ScopedPicBuf reference(w, h, 3, 8), moved(w, h, 3, 8);
  RenderScene(scene, shrink, 0.0, reference.get());
  const double focal = 1.1 * std::hypot(w, h);
  const Homography toScene =
      CameraMap(w, h,
                Multiply(Rotation(0, 0, 1, 0.012),
                         Multiply(Rotation(0, 1, 0, 18.0 / focal), Rotation(1, 0, 0, 9.0 / focal))),
                focal, 1.0);
  RenderScene(scene, Compose(shrink, toScene), 1.0, moved.get());
  AddNoise(0.02, 1, reference.get());
  AddNoise(0.02, 2, moved.get());
  Homography truth;
  ASSERT_FALSE(Invert(toScene, &truth));
  AlignReference prepared;
  ASSERT_FALSE(PrepareAlignReference(*reference, &prepared));
  FrameMotion m;
  ASSERT_FALSE(EstimateMotion(prepared, *moved, AlignModel::kAuto, &m));
  ASSERT_EQ(m.outcome, AlignOutcome::kAligned) << DescribeMotion(m);
  EXPECT_EQ(m.model, MotionModel::kTurn);
  // A general projective map fitted to the same noisy pixels leaves about 0.5 px.
  EXPECT_LT(CornerError(m.toSource, truth, w, h), 0.15);
}

TEST(CameraTurn, LensLeftAloneOnAStillPhotograph) {
  // A photograph and a noisy exposure 2 EV darker, neither moved: the turn's
  // curvature shows in nothing, and its steps must not send it off.
  ScopedPicBuf photo, mask, darker;
  ASSERT_FALSE(LoadImageFile(photo.get(), mask.get(), MELVARO_SAMPLES_DIR "/photos/seeding.jpg"));
  CBxPicBufAPI::ReinitHeap(darker.get(), photo.get());
  uint8_t table[256];
  for (int v = 0; v < 256; ++v)  // 2 EV darker in linear light, the 2.2 curve back
    table[v] = static_cast<uint8_t>(
        std::lround(255.0 * std::pow(std::pow(v / 255.0, 2.2) / 4.0, 1 / 2.2)));
  for (int y = 0; y < photo->height; ++y)
    for (int i = 0; i < photo->width * 3; ++i)
      RowPtr(*darker, y)[i] = table[RowPtr(*photo, y)[i]];
  AddNoise(0.02, 1, darker.get());
  AlignReference prepared;
  ASSERT_FALSE(PrepareAlignReference(*photo, &prepared));
  FrameMotion m;
  ASSERT_FALSE(EstimateMotion(prepared, *darker, AlignModel::kAuto, &m));
  // No richer model may be refused for a match gone wrong. (The motion found
  // is not checked here: with this much noise the interpolation's smoothing
  // of the moved picture pays off, and a fraction of a pixel is fitted.)
  EXPECT_EQ(m.reason, AlignReason::kNone) << AlignReasonText(m.reason);
}

}  // namespace
