// Motion estimation: known motions recovered across exposures, depths,
// component counts and odd sizes; the guards and fallbacks; still pictures.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "align/Align.h"
#include "tests/align/AlignScenes.h"

namespace {

struct Format {
  int width, height;
  uint32_t components, bits;
};

std::string Name(const Format& f) {
  return std::to_string(f.width) + "x" + std::to_string(f.height) + "_" +
         (f.components == 3 ? "colour" : "grey") + std::to_string(f.bits);
}

const Format kFormats[] = {
    {240, 180, 3, 8}, {237, 191, 1, 16}, {301, 163, 1, 8}, {256, 171, 3, 16}};

// The reference at the scene's own exposure, and a moved picture `stops` EV away.
struct Pair {
  ScopedPicBuf reference, moved;
  Homography truth;  // reference pixel -> moved picture pixel

  Pair(const Format& f, const Homography& movedToScene, double stops, uint32_t seed = 11,
       uint32_t movedSeed = 11)
      : Pair(f, Scene(seed), Scene(movedSeed), movedToScene, stops, 1.0) {}

  // `zoom` enlarges the scenes' features (for large pictures).
  template <typename AnyScene>
  Pair(const Format& f, const AnyScene& scene, const AnyScene& movedScene,
       const Homography& movedToScene, double stops, double zoom) {
    CBxPicBufAPI::ReinitHeap(reference.get(), f.width, f.height, f.components, f.bits);
    CBxPicBufAPI::ReinitHeap(moved.get(), f.width, f.height, f.components, f.bits);
    Homography shrink;
    shrink.m[0] = shrink.m[4] = 1.0 / zoom;
    RenderScene(scene, shrink, 0.0, reference.get());
    RenderScene(movedScene, Compose(shrink, movedToScene), stops, moved.get());
    Invert(movedToScene, &truth);
  }

  FrameMotion Estimate(AlignModel model) {
    AlignReference prepared;
    EXPECT_FALSE(PrepareAlignReference(*reference, &prepared));
    FrameMotion motion;
    EXPECT_FALSE(EstimateMotion(prepared, *moved, model, &motion));
    return motion;
  }
};

class KnownMotion : public ::testing::TestWithParam<Format> {};

TEST_P(KnownMotion, ShiftRecoveredAcrossExposures) {
  const Format f = GetParam();
  for (double stops : {-1.5, 1.5}) {
    Pair pair(f, Turn(f.width, f.height, 0.0, 1.0, 7.4, -4.7), stops);
    const FrameMotion m = pair.Estimate(AlignModel::kShift);
    ASSERT_EQ(m.outcome, AlignOutcome::kAligned) << Name(f) << " " << DescribeMotion(m);
    EXPECT_EQ(m.model, MotionModel::kShift);
    EXPECT_LT(CornerError(m.toSource, pair.truth, f.width, f.height), 0.1) << stops;
    // The picture's content moved left and down: the reference's points lie there.
    EXPECT_NEAR(m.shiftX, -7.4, 0.1);
    EXPECT_NEAR(m.shiftY, 4.7, 0.1);
  }
}

TEST_P(KnownMotion, RigidRecovered) {
  const Format f = GetParam();
  Pair pair(f, Turn(f.width, f.height, 1.8, 1.0, -3.3, 5.2), -1.0);
  const FrameMotion m = pair.Estimate(AlignModel::kRigid);
  ASSERT_EQ(m.outcome, AlignOutcome::kAligned) << Name(f) << " " << DescribeMotion(m);
  EXPECT_EQ(m.model, MotionModel::kRigid);
  EXPECT_LT(CornerError(m.toSource, pair.truth, f.width, f.height), 0.15);
  // The moved picture reads the scene along axes turned clockwise on screen, so
  // its content shows turned counter-clockwise.
  EXPECT_NEAR(m.rotationDegrees, 1.8, 0.05);
}

TEST_P(KnownMotion, CameraTurnRecoveredByAuto) {
  const Format f = GetParam();
  Pair pair(f, Turn(f.width, f.height, -1.2, 1.008, 4.1, 2.9, 4e-5, -3e-5), 1.0);
  const FrameMotion m = pair.Estimate(AlignModel::kAuto);
  ASSERT_EQ(m.outcome, AlignOutcome::kAligned) << Name(f) << " " << DescribeMotion(m);
  EXPECT_EQ(m.model, MotionModel::kProjective);
  EXPECT_LT(CornerError(m.toSource, pair.truth, f.width, f.height), 0.2);
  EXPECT_NEAR(m.scale, 1.0 / 1.008, 0.002);
  EXPECT_GT(m.correlation, 0.9);
  EXPECT_GT(m.support, 0.3);
}

TEST_P(KnownMotion, StillPictureReportedStill) {
  const Format f = GetParam();
  Pair pair(f, Homography{}, -2.0);
  const FrameMotion m = pair.Estimate(AlignModel::kAuto);
  EXPECT_EQ(m.outcome, AlignOutcome::kStill) << Name(f) << " corner " << m.cornerMotion;
  int dx = 1, dy = 1;
  EXPECT_TRUE(IsWholePixelShift(m.toSource, &dx, &dy));
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
}

INSTANTIATE_TEST_SUITE_P(Formats, KnownMotion, ::testing::ValuesIn(kFormats),
                         [](const auto& p) { return Name(p.param); });

const Format kColour{240, 180, 3, 8};

void ExpectLeftAsIs(const FrameMotion& m) {
  EXPECT_EQ(m.outcome, AlignOutcome::kLeftAsIs) << DescribeMotion(m);
  EXPECT_NE(m.reason, AlignReason::kNone);
  int dx = 1, dy = 1;
  EXPECT_TRUE(IsWholePixelShift(m.toSource, &dx, &dy));
  EXPECT_EQ(dx + dy, 0);
}

TEST(AlignGuards, UnrelatedSceneLeftAsIs) {
  Pair pair(kColour, Turn(240, 180, 0.5, 1.0, 3.0, 1.0), 0.0, 11, 97);
  ExpectLeftAsIs(pair.Estimate(AlignModel::kAuto));
}

TEST(AlignGuards, BlackFrameLeftAsIs) {
  Pair pair(kColour, Homography{}, 0.0);
  CBxPicBufAPI::SetConst(pair.moved.get(), 0);
  const FrameMotion m = pair.Estimate(AlignModel::kAuto);
  ExpectLeftAsIs(m);
  EXPECT_EQ(m.reason, AlignReason::kTooLittleSupport);
}

TEST(AlignGuards, BlackReferenceLeavesEveryPictureAsIs) {
  Pair pair(kColour, Turn(240, 180, 0.0, 1.0, 2.0, 1.0), 0.0);
  CBxPicBufAPI::SetConst(pair.reference.get(), 0);
  ExpectLeftAsIs(pair.Estimate(AlignModel::kAuto));
}

TEST(AlignGuards, TinyOverlapLeftAsIs) {
  // Moved by half the picture: beyond what a hand-held camera does between frames.
  Pair pair(kColour, Turn(240, 180, 0.0, 1.0, 120.0, 70.0), 0.0);
  ExpectLeftAsIs(pair.Estimate(AlignModel::kAuto));
}

TEST(AlignGuards, RicherMotionThanAllowedFallsBackOrIsLeft) {
  // A strong perspective tilt asked to be explained by a shift only: the shift found
  // may be used, but never a richer model, and it must not make things worse.
  Pair pair(kColour, Turn(240, 180, 0.0, 1.0, 2.0, 1.0, 2e-4, 0.0), 0.0);
  const FrameMotion m = pair.Estimate(AlignModel::kShift);
  EXPECT_NE(m.model, MotionModel::kProjective);
  if (m.outcome == AlignOutcome::kAligned) {
    EXPECT_EQ(m.model, MotionModel::kShift);
  }
}

TEST(AlignGuards, OtherSizeRefused) {
  Pair pair(kColour, Homography{}, 0.0);
  AlignReference prepared;
  ASSERT_FALSE(PrepareAlignReference(*pair.reference, &prepared));
  ScopedPicBuf other(241, 180, 3, 8);
  RenderScene(Scene(11), Homography{}, 0.0, other.get());
  FrameMotion m;
  EXPECT_TRUE(EstimateMotion(prepared, *other, AlignModel::kAuto, &m));
  EXPECT_EQ(m.outcome, AlignOutcome::kLeftAsIs);
  EXPECT_EQ(m.reason, AlignReason::kOtherGeometry);
}

TEST(AlignGuards, UnsupportedPicturesRefusedUpFront) {
  AlignReference prepared;
  AlignReason reason = AlignReason::kNone;
  ScopedPicBuf empty;
  EXPECT_TRUE(PrepareAlignReference(*empty, &prepared, &reason));
  EXPECT_EQ(reason, AlignReason::kUnsupported);
  ScopedPicBuf floats(64, 64, 1, 32);
  EXPECT_TRUE(PrepareAlignReference(*floats, &prepared, &reason));
  ScopedPicBuf narrow(kAlignMinSide - 1, 64, 1, 8);
  EXPECT_TRUE(PrepareAlignReference(*narrow, &prepared, &reason));
  EXPECT_TRUE(prepared.Empty());
  FrameMotion m;
  ScopedPicBuf picture(64, 64, 1, 8);
  EXPECT_TRUE(EstimateMotion(prepared, *picture, AlignModel::kAuto, &m));
  EXPECT_EQ(m.reason, AlignReason::kUnsupported);
}

TEST(AlignReferenceMemory, StaysCompactForLargePictures) {
  // The reference keeps sample pixels and small levels, not the picture.
  ScopedPicBuf picture(1800, 1200, 3, 16);
  for (int y = 0; y < 1200; ++y)  // busy detail everywhere
    for (int i = 0; i < 1800 * 3; ++i)
      reinterpret_cast<uint16_t*>(RowPtr(*picture, y))[i] =
          static_cast<uint16_t>((i * 7919 + y * 104729) % 50000 + 4000);
  AlignReference prepared;
  ASSERT_FALSE(PrepareAlignReference(*picture, &prepared));
  EXPECT_LT(prepared.Bytes(), 3u << 20);
  EXPECT_LT(prepared.Bytes(), picture->byteSize / 4);
}

TEST(AlignDeterminism, SameInputsGiveTheSameMotion) {
  Pair pair(kColour, Turn(240, 180, 0.7, 1.0, 2.2, -1.4, 1e-5, 0.0), 1.0);
  const FrameMotion a = pair.Estimate(AlignModel::kAuto);
  const FrameMotion b = pair.Estimate(AlignModel::kAuto);
  EXPECT_EQ(0, std::memcmp(a.toSource.m.data(), b.toSource.m.data(), sizeof(a.toSource.m)));
}

TEST(AlignLargePicture, FullSizeStepKeepsPrecision) {
  // Large enough for the half-size planes and the last step on the picture itself.
  const Format f{1520, 1000, 3, 8};
  const GridScene scene = LargeScene(11, f.width, f.height, 4.0);
  Pair pair(f, scene, scene, Turn(f.width, f.height, 1.1, 0.995, -21.0, 13.0, 1e-6, 2e-6), -2.0,
            4.0);
  const FrameMotion m = pair.Estimate(AlignModel::kAuto);
  ASSERT_EQ(m.outcome, AlignOutcome::kAligned) << DescribeMotion(m);
  EXPECT_LT(CornerError(m.toSource, pair.truth, f.width, f.height), 0.15);
}

}  // namespace
