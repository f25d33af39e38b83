// The series aligner: pictures streamed in input order, a frame too far in
// exposure from the reference matched through a frame between them (earlier in
// the stream, or the next one, which it then waits for), and the bookkeeping a
// streaming caller relies on.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "align/SeriesAlign.h"
#include "tests/align/AlignScenes.h"

namespace {

constexpr int kWidth = 240, kHeight = 180;

// A scene whose light falls off by 20 EV from its left edge to its right:
// each frame holds detail in the part its exposure suits. Frames 12 EV apart
// share none, frames 6 EV apart share about half.
struct Bracket {
  std::deque<ScopedPicBuf> frames;  // (pictures cannot move)
  std::vector<Homography> truths;   // reference pixel -> frame pixel

  // Frames at the given exposures, each moved by its own small turn except
  // frame `reference`.
  Bracket(const std::vector<double>& stops, int reference) {
    Scene scene(11);
    scene.falloffStops = 20.0 / kWidth;
    for (size_t k = 0; k < stops.size(); ++k) {
      const double d = static_cast<double>(k);
      const Homography toScene =
          static_cast<int>(k) == reference
              ? Homography{}
              : Turn(kWidth, kHeight, 0.3 * d - 0.4, 1.0, 4.0 - 1.5 * d, 2.0 * d - 3.0);
      frames.emplace_back(kWidth, kHeight, 3, 8);
      RenderScene(scene, toScene, stops[k], frames.back().get());
      AddNoise(0.004, static_cast<uint32_t>(k + 1), frames.back().get());
      truths.emplace_back();
      Invert(toScene, &truths.back());
    }
  }
};

TEST(SeriesAligner, FarFrameWaitsForTheNextAndMatchesThroughIt) {
  // Dark to bright, the brightest the reference: the darkest frame (12 EV away)
  // matches through the next one (6 EV from each), which it waits for.
  Bracket b({0.0, 6.0, 12.0}, 2);
  SeriesAligner aligner;
  ASSERT_FALSE(aligner.Start(*b.frames[2], 3, 2, AlignModel::kAuto));
  ASSERT_FALSE(aligner.Add(0, *b.frames[0]));
  EXPECT_EQ(aligner.Settled(), 0);
  ASSERT_FALSE(aligner.Add(1, *b.frames[1]));
  EXPECT_EQ(aligner.Settled(), 2);
  ASSERT_FALSE(aligner.Add(2, *ScopedPicBuf()));  // the reference's picture is not needed
  EXPECT_EQ(aligner.Settled(), 3);
  const FrameMotion& far = aligner.Motion(0);
  ASSERT_EQ(far.outcome, AlignOutcome::kAligned) << DescribeMotion(far);
  EXPECT_EQ(far.via, 1);
  EXPECT_LT(CornerError(far.toSource, b.truths[0], kWidth, kHeight), 0.2);
  EXPECT_EQ(aligner.Motion(1).via, -1);
  EXPECT_LT(CornerError(aligner.Motion(1).toSource, b.truths[1], kWidth, kHeight), 0.2);
  EXPECT_EQ(aligner.Motion(2).outcome, AlignOutcome::kStill);
  EXPECT_NE(DescribeMotion(far).find("through picture 2"), std::string::npos);
}

TEST(SeriesAligner, FarFrameMatchesThroughAnEarlierFrame) {
  // Bright to dark: the partner came before it, and nothing waits.
  Bracket b({12.0, 6.0, 0.0}, 0);
  SeriesAligner aligner;
  ASSERT_FALSE(aligner.Start(*b.frames[0], 3, 0, AlignModel::kAuto));
  for (int k = 0; k < 3; ++k) {
    ASSERT_FALSE(aligner.Add(k, *b.frames[static_cast<size_t>(k)]));
    EXPECT_EQ(aligner.Settled(), k + 1);
  }
  const FrameMotion& far = aligner.Motion(2);
  ASSERT_EQ(far.outcome, AlignOutcome::kAligned) << DescribeMotion(far);
  EXPECT_EQ(far.via, 1);
  EXPECT_LT(CornerError(far.toSource, b.truths[2], kWidth, kHeight), 0.2);
  // Only pictures that may still be partners keep their prepared data: after
  // the last picture, none but the reference.
  AlignReference alone;
  ASSERT_FALSE(PrepareAlignReference(*b.frames[0], &alone));
  EXPECT_LT(aligner.Bytes(), alone.Bytes() + alone.Bytes() / 2);
}

TEST(SeriesAligner, FarFrameWithoutAPartnerBetweenIsLeftAsItIs) {
  // The frame after the far one is the reference itself: no frame lies between.
  Bracket b({0.0, 12.0, 6.0}, 1);
  SeriesAligner aligner;
  ASSERT_FALSE(aligner.Start(*b.frames[1], 3, 1, AlignModel::kAuto));
  ASSERT_FALSE(aligner.Add(0, *b.frames[0]));
  EXPECT_EQ(aligner.Settled(), 0);
  ASSERT_FALSE(aligner.Add(1, *b.frames[1]));
  EXPECT_EQ(aligner.Settled(), 2);
  EXPECT_EQ(aligner.Motion(0).outcome, AlignOutcome::kLeftAsIs);
  EXPECT_EQ(aligner.Motion(0).reason, AlignReason::kTooLittleSupport);
  EXPECT_EQ(aligner.Motion(0).toSource.m, Homography{}.m);
}

TEST(SeriesAligner, StreamingContractAndBadPictures) {
  Bracket b({0.0, 3.0}, 1);
  SeriesAligner aligner;
  EXPECT_TRUE(aligner.Add(0, *b.frames[0]));                          // not started
  EXPECT_TRUE(aligner.Start(*b.frames[1], 2, 2, AlignModel::kAuto));  // no such reference
  AlignReason reason = AlignReason::kNone;
  EXPECT_TRUE(aligner.Start(*ScopedPicBuf(8, 8, 1, 8), 2, 1, AlignModel::kAuto, &reason));
  EXPECT_EQ(reason, AlignReason::kUnsupported);
  ASSERT_FALSE(aligner.Add(0, *b.frames[0]));  // every picture left as it is, with why
  EXPECT_EQ(aligner.Motion(0).reason, AlignReason::kUnsupported);

  ASSERT_FALSE(aligner.Start(*b.frames[1], 2, 1, AlignModel::kShift));
  EXPECT_TRUE(aligner.Add(1, *b.frames[1]));  // out of order: nothing done
  EXPECT_EQ(aligner.Settled(), 0);
  ASSERT_FALSE(aligner.Add(0, *ScopedPicBuf()));  // unreadable: left as it is
  EXPECT_EQ(aligner.Motion(0).reason, AlignReason::kUnsupported);
  ASSERT_FALSE(aligner.Add(1, *b.frames[1]));
  EXPECT_TRUE(aligner.Add(2, *b.frames[1]));  // beyond the series
  EXPECT_EQ(aligner.Settled(), 2);
}

}  // namespace
