// The aligned series both front ends run: a still series fused with alignment keeps the bits
// of the plain fusion, a moved one is found and fused closer to the unmoved scene, the crop
// keeps what every picture covers, and the aligned pictures come out one at a time.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jobs/AlignedSeries.h"
#include "jobs/SeriesPipeline.h"
#include "tests/align/AlignScenes.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 240, kHeight = 180;

// Frames of one scene at -1, 0 and +1 EV, held in memory and read through a loader by name.
class Frames {
 public:
  // Frame k is seen through toScene[k] (identity: unmoved), at stops[k] EV (default k - 1).
  explicit Frames(const std::vector<Homography>& toScene, uint32_t seed = 5,
                  std::vector<double> stops = {}, double falloffStops = 0.0, uint32_t bits = 8) {
    Scene scene(seed);
    scene.falloffStops = falloffStops / kWidth;
    for (size_t k = 0; k < toScene.size(); ++k) {
      auto frame = std::make_unique<ScopedPicBuf>(kWidth, kHeight, 3, bits);
      const double ev = k < stops.size() ? stops[k] : static_cast<double>(k) - 1.0;
      RenderScene(scene, toScene[k], ev, frame->get());
      AddNoise(0.003, static_cast<uint32_t>(k + 1), frame->get());
      paths.emplace_back("frame" + std::to_string(k));
      frames[paths.back().string()] = std::move(frame);
    }
  }
  SeriesLoader Loader() {
    return [this](const fs::path& path, SBxPicBuf* picture) {
      ++reads;
      const auto found = frames.find(path.string());
      if (found == frames.end()) return true;
      CBxPicBufAPI::ReinitHeap(picture, found->second->get());
      CBxPicBufAPI::Copy(picture, found->second->get());
      return false;
    };
  }

  std::vector<fs::path> paths;
  std::map<std::string, std::unique_ptr<ScopedPicBuf>> frames;
  std::atomic<int> reads{0};
};

Homography Shift(double dx, double dy) {
  Homography h;
  h.m = {1, 0, dx, 0, 1, dy, 0, 0, 1};
  return h;
}

bool SameSamples(const SBxPicBuf& a, const SBxPicBuf& b) {
  if (!SameGeometry(a, b)) return false;
  for (int y = 0; y < a.height; ++y)
    if (std::memcmp(RowPtr(a, y), RowPtr(b, y), static_cast<size_t>(a.width) * BytesPerPixel(a)))
      return false;
  return true;
}

// Mean absolute difference over `area` of a (whose pixel (0, 0) is area's corner when
// `aCut`) and b.
double MeanDifference(const SBxPicBuf& a, const SBxPicBuf& b, const CBxRect& area, bool aCut) {
  double sum = 0.0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x)
      for (uint32_t c = 0; c < 3; ++c) {
        const int ax = aCut ? x - area.left : x, ay = aCut ? y - area.top : y;
        sum += std::fabs(Sample(a, ax, ay, c) - Sample(b, x, y, c));
      }
  return sum / (3.0 * area.Width() * area.Height());
}

class Cancelled : public JobProgress {
 public:
  Cancelled() { WatchCancelFlag(&flag_); }

 private:
  std::atomic<uint8_t> flag_{1};
};

const CBxRect kInner{12, 12, kWidth - 12, kHeight - 12};

}  // namespace

// A tripod series: every picture still, the result the plain fusion's bits, cropped or not.
TEST(AlignedSeries, StillSeriesKeepsTheBitsOfThePlainFusion) {
  Frames still({Homography{}, Homography{}, Homography{}});
  ScopedPicBuf plain;
  ASSERT_EQ(FuseFiles(still.paths, 110, true, nullptr, plain.get(), still.Loader()).status,
            SeriesFusionStatus::kFused);
  for (const bool crop : {false, true}) {
    ScopedPicBuf aligned;
    const AlignedFusionReport report =
        FuseAlignedFiles(still.paths, 110, true, {AlignModel::kAuto, 0, crop}, nullptr,
                         aligned.get(), still.Loader());
    ASSERT_EQ(report.fusion.status, SeriesFusionStatus::kFused);
    EXPECT_EQ(report.alignment.reference, 1);
    EXPECT_FALSE(report.cropped);
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(report.alignment.Describe(i), "still");
    EXPECT_TRUE(SameSamples(*aligned, *plain)) << "crop " << crop;
  }
}

// Moved frames: their motions found against the reference the user names (or the middle
// one), the fusion closer to the unmoved series' than without alignment, and the crop the
// area every frame covers.
TEST(AlignedSeries, MovedFramesAreFoundAndFusedInPlace) {
  const std::vector<Homography> moves{Turn(kWidth, kHeight, 0.6, 1.0, 3.4, -2.2), Homography{},
                                      Shift(-4.0, 2.5)};
  Frames moved(moves), unmoved({Homography{}, Homography{}, Homography{}});
  ScopedPicBuf truth, plain, aligned, cropped;
  ASSERT_EQ(FuseFiles(unmoved.paths, 100, true, nullptr, truth.get(), unmoved.Loader()).status,
            SeriesFusionStatus::kFused);
  ASSERT_EQ(FuseFiles(moved.paths, 100, true, nullptr, plain.get(), moved.Loader()).status,
            SeriesFusionStatus::kFused);
  const AlignedFusionReport report =
      FuseAlignedFiles(moved.paths, 100, true, {}, nullptr, aligned.get(), moved.Loader());
  ASSERT_EQ(report.fusion.status, SeriesFusionStatus::kFused);
  const SeriesAlignment& a = report.alignment;
  for (int i : {0, 2}) {
    ASSERT_TRUE(a.Moved(i)) << a.Describe(i);
    Homography truthToSource;
    ASSERT_FALSE(Invert(moves[static_cast<size_t>(i)], &truthToSource));
    EXPECT_LT(
        CornerError(a.motions[static_cast<size_t>(i)].toSource, truthToSource, kWidth, kHeight),
        0.3);
  }
  EXPECT_NEAR(std::fabs(a.motions[2].shiftX), 4.0, 0.1);
  EXPECT_NE(a.Describe(2).find(" px, rotation "), std::string::npos) << a.Describe(2);
  const double left = MeanDifference(*aligned, *truth, kInner, false);
  EXPECT_LT(left, 1.5);
  EXPECT_LT(3.0 * left, MeanDifference(*plain, *truth, kInner, false));

  // The crop: inside the frame, at least the largest shift off each side it moved to.
  const AlignedFusionReport croppedReport = FuseAlignedFiles(
      moved.paths, 100, true, {AlignModel::kAuto, 0, true}, nullptr, cropped.get(), moved.Loader());
  ASSERT_EQ(croppedReport.fusion.status, SeriesFusionStatus::kFused);
  const CBxRect area = croppedReport.alignment.CropArea();
  EXPECT_TRUE(croppedReport.cropped);
  EXPECT_EQ(cropped->width, area.Width());
  EXPECT_EQ(cropped->height, area.Height());
  EXPECT_GE(area.left, 4);
  EXPECT_LE(area.right, kWidth - 4);
  EXPECT_LT(MeanDifference(*cropped, *truth, area, true), 1.5);

  // The first frame as the reference: it stays, the others move onto it.
  const SeriesAlignment first =
      EstimateSeriesAlignment(moved.paths, {AlignModel::kShift, 1, false}, nullptr, moved.Loader());
  EXPECT_EQ(first.reference, 0);
  EXPECT_EQ(first.Describe(0), "still");
  EXPECT_TRUE(first.Moved(1) && first.Moved(2));
  EXPECT_EQ(first.motions[2].model, MotionModel::kShift);
}

// 16-bit pictures are resampled and fused at 16 bits, as closely as 8-bit ones.
TEST(AlignedSeries, SixteenBitPicturesStaySixteenBit) {
  const std::vector<Homography> moves{Shift(2.6, -1.3), Homography{}, Shift(-3.2, 2.1)};
  Frames moved(moves, 5, {}, 0.0, 16), unmoved({{}, {}, {}}, 5, {}, 0.0, 16);
  ScopedPicBuf truth, aligned, picture, coverage;
  ASSERT_EQ(FuseFiles(unmoved.paths, 100, true, nullptr, truth.get(), unmoved.Loader()).status,
            SeriesFusionStatus::kFused);
  const AlignedFusionReport report =
      FuseAlignedFiles(moved.paths, 100, true, {}, nullptr, aligned.get(), moved.Loader());
  ASSERT_EQ(report.fusion.status, SeriesFusionStatus::kFused);
  EXPECT_EQ(aligned->bitsPerComponent, 16u);
  EXPECT_LT(MeanDifference(*aligned, *truth, kInner, false), 1.5 * 257);
  ASSERT_FALSE(LoadAlignedPicture(moved.paths[0], report.alignment, 0, picture.get(),
                                  coverage.get(), moved.Loader()));
  EXPECT_EQ(picture->bitsPerComponent, 16u);
  EXPECT_EQ(coverage->bitsPerComponent, 8u);
}

// The aligned pictures one at a time, in input order: moved ones with their coverage, all cut
// alike with the crop; a file that cannot be read, a receiver that fails or a cancel stop it.
TEST(AlignedSeries, AlignedPicturesComeOutInOrder) {
  Frames moved({Shift(3.0, 1.0), Homography{}, Shift(-2.0, 0.0)});
  const SeriesAlignment alignment =
      EstimateSeriesAlignment(moved.paths, {}, nullptr, moved.Loader());
  ASSERT_EQ(alignment.status, SeriesAlignStatus::kEstimated);
  for (const bool crop : {false, true}) {
    std::vector<int> seen;
    const AlignedPicturesReport report = ForEachAlignedPicture(
        moved.paths, alignment, crop, nullptr,
        [&](int index, const SBxPicBuf& picture, const SBxPicBuf& coverage) {
          seen.push_back(index);
          const CBxRect area = crop ? alignment.CropArea() : CBxRect{0, 0, kWidth, kHeight};
          EXPECT_EQ(picture.width, area.Width());
          EXPECT_EQ(picture.height, area.Height());
          EXPECT_EQ(IsEmpty(coverage), crop || index == 1) << index;
          return false;
        },
        moved.Loader());
    EXPECT_EQ(report.status, AlignedPicturesStatus::kDone);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  }
  const auto accept = [](int, const SBxPicBuf&, const SBxPicBuf&) { return false; };
  std::vector<fs::path> withMissing = moved.paths;
  withMissing[2] = "gone";
  AlignedPicturesReport report =
      ForEachAlignedPicture(withMissing, alignment, false, nullptr, accept, moved.Loader());
  EXPECT_EQ(report.status, AlignedPicturesStatus::kUnreadable);
  EXPECT_EQ(report.failedIndex, 2);
  report = ForEachAlignedPicture(
      moved.paths, alignment, false, nullptr,
      [](int index, const SBxPicBuf&, const SBxPicBuf&) { return index == 1; }, moved.Loader());
  EXPECT_EQ(report.status, AlignedPicturesStatus::kStopped);
  EXPECT_EQ(report.failedIndex, 1);
  Cancelled cancelled;
  EXPECT_EQ(ForEachAlignedPicture(moved.paths, alignment, false, &cancelled, accept, moved.Loader())
                .status,
            AlignedPicturesStatus::kCancelled);
  ScopedPicBuf untouched;
  EXPECT_EQ(
      FuseAlignedFiles(moved.paths, 100, true, {}, &cancelled, untouched.get(), moved.Loader())
          .fusion.status,
      SeriesFusionStatus::kCancelled);
  EXPECT_TRUE(IsEmpty(*untouched));
}

// A picture of another scene, or one that cannot be read, is left where it lies and said so;
// the series is fused as without alignment for it (or refused, with every file required).
TEST(AlignedSeries, PicturesThatCannotBeAlignedAreLeftAsTheyAre) {
  Frames moved({Shift(3.0, 1.0), Homography{}, Homography{}});
  Frames other({Homography{}}, 99);
  moved.frames["frame2"] = std::move(other.frames["frame0"]);
  ScopedPicBuf fused;
  const AlignedFusionReport report =
      FuseAlignedFiles(moved.paths, 100, true, {}, nullptr, fused.get(), moved.Loader());
  ASSERT_EQ(report.fusion.status, SeriesFusionStatus::kFused);
  EXPECT_EQ(report.fusion.fusedCount, 3);
  EXPECT_TRUE(report.alignment.Moved(0));
  EXPECT_TRUE(report.alignment.LeftAsIs(2)) << report.alignment.Describe(2);
  EXPECT_EQ(report.alignment.Describe(2).rfind("left as it was: ", 0), 0u);

  std::vector<fs::path> withMissing = moved.paths;
  withMissing[0] = "gone";
  ScopedPicBuf refused;
  const AlignedFusionReport missing =
      FuseAlignedFiles(withMissing, 100, true, {}, nullptr, refused.get(), moved.Loader());
  EXPECT_TRUE(missing.alignment.LeftAsIs(0));
  EXPECT_EQ(missing.fusion.status, SeriesFusionStatus::kFileRejected);
  EXPECT_TRUE(IsEmpty(*refused));
}

TEST(AlignedSeries, ModelNamesAndReferenceNumbers) {
  AlignModel model = AlignModel::kShift;
  EXPECT_TRUE(AlignModelFromName("projective", &model));
  EXPECT_EQ(model, AlignModel::kProjective);
  EXPECT_TRUE(AlignModelFromName(parameter::kAlignModelNames[0], &model));
  EXPECT_EQ(model, AlignModel::kAuto);
  EXPECT_FALSE(AlignModelFromName("Rigid", &model));
  EXPECT_FALSE(AlignModelFromName("", &model));
  EXPECT_EQ(model, AlignModel::kAuto);
  // The middle picture as given; a number counts from 1.
  EXPECT_EQ(AlignReferenceIndex(parameter::kAlignReferenceMiddle, 3), 1);
  EXPECT_EQ(AlignReferenceIndex(0, 4), 2);
  EXPECT_EQ(AlignReferenceIndex(1, 4), 0);
  EXPECT_EQ(AlignReferenceIndex(4, 4), 3);
  EXPECT_EQ(AlignReferenceIndex(5, 4), 2);
}

// The fusion that reads each picture as its motion settles, taking the pictures the estimation
// read, gives the bits of the two passes one after the other (the motions first, every file read
// again); only a picture that waited for a partner is read twice. Here the darkest frame, 12 EV
// from the reference, matches through the next one, which it waits for.
TEST(AlignedSeries, StreamingGivesTheBitsOfTwoPasses) {
  Frames bracket({Turn(kWidth, kHeight, -0.4, 1.0, 4.0, -3.0),
                  Turn(kWidth, kHeight, 0.2, 1.0, -2.0, 1.5), Homography{}},
                 11, {0.0, 6.0, 12.0}, 20.0);
  const AlignSettings settings{AlignModel::kAuto, 3, false};
  ScopedPicBuf streamed, twoPasses;
  const AlignedFusionReport report = FuseAlignedFiles(bracket.paths, 100, true, settings, nullptr,
                                                      streamed.get(), bracket.Loader());
  ASSERT_EQ(report.fusion.status, SeriesFusionStatus::kFused);
  EXPECT_EQ(report.alignment.motions[0].via, 1) << report.alignment.Describe(0);
  EXPECT_EQ(bracket.reads, 4);

  bracket.reads = 0;
  const SeriesAlignment alignment =
      EstimateSeriesAlignment(bracket.paths, settings, nullptr, bracket.Loader());
  SeriesFusionRequest request;
  request.files = bracket.paths;
  request.exposure = 100;
  request.requireAll = true;
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* coverage) {
    return LoadAlignedPicture(path, alignment, index, picture, coverage, bracket.Loader());
  };
  ASSERT_EQ(FuseSeries(request, twoPasses.get()).status, SeriesFusionStatus::kFused);
  EXPECT_EQ(bracket.reads, 6);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(alignment.motions[static_cast<size_t>(i)].toSource.m,
              report.alignment.motions[static_cast<size_t>(i)].toSource.m);
  EXPECT_TRUE(SameSamples(*streamed, *twoPasses));
}
