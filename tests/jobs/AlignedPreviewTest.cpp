// The Multi Image preview over an aligned series: the work region fused from the pictures
// resampled over that region alone must be the region of the aligned full pictures fused with
// their coverage; a still series gives the plain preview's bits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jobs/AlignedPreview.h"
#include "jobs/PanelPreviews.h"
#include "jobs/PreviewFusion.h"
#include "picture/ImageSave.h"
#include "tests/align/AlignScenes.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 240, kHeight = 180;

Homography Motion(double dx, double dy, double degrees) {
  return Turn(kWidth, kHeight, degrees, 1.0, dx, dy);
}

// One scene at -1, 0 and +1 EV, frame k seen through toScene[k], written as PNG files.
std::vector<fs::path> WriteSeries(const TempFolder& folder,
                                  const std::vector<Homography>& toScene) {
  Scene scene(11);
  std::vector<fs::path> files;
  for (size_t k = 0; k < toScene.size(); ++k) {
    ScopedPicBuf frame(kWidth, kHeight, 3, 8);
    RenderScene(scene, toScene[k], static_cast<double>(k) - 1.0, frame.get());
    AddNoise(0.003, static_cast<uint32_t>(k + 1), frame.get());
    files.push_back(folder / ("frame" + std::to_string(k) + ".png"));
    EXPECT_FALSE(WriteImageFile(frame.get(), nullptr, files.back(), {}, 0, 0));
  }
  return files;
}

// The region of the whole aligned pictures, each moved one weighted by its coverage.
std::unique_ptr<ScopedPicBuf> FusedFromWholePictures(const std::vector<fs::path>& files,
                                                     const SeriesAlignment& alignment,
                                                     const CBxRect& region) {
  SeriesFusionRequest request;
  request.files = files;
  request.exposure = 100;
  request.region = region;
  request.parallel = true;
  request.weightedLoader = [&](int index, const fs::path& path, SBxPicBuf* picture,
                               SBxPicBuf* coverage) {
    return LoadAlignedPicture(path, alignment, index, picture, coverage);
  };
  auto fused = std::make_unique<ScopedPicBuf>();
  EXPECT_EQ(FuseSeries(request, fused->get()).status, SeriesFusionStatus::kFused);
  return fused;
}

}  // namespace

TEST(AlignedPreview, RegionOfMovedPicturesIsTheRegionOfTheAlignedWholePictures) {
  TempFolder folder;
  const std::vector<fs::path> files =
      WriteSeries(folder, {Motion(5.0, -3.0, 0.6), Motion(0, 0, 0), Motion(-4.5, 2.0, -0.4)});
  const SeriesAlignment alignment = EstimateSeriesAlignment(files, AlignSettings{}, nullptr);
  ASSERT_EQ(alignment.status, SeriesAlignStatus::kEstimated);
  ASSERT_TRUE(alignment.Moved(0) && alignment.Moved(2));
  SeriesPictureCache cache;
  // Inside the frame, and at the corners where the moved pictures leave the frame uncovered.
  for (const CBxRect region : {CBxRect{60, 50, 180, 130}, CBxRect{0, 0, 90, 70},
                               CBxRect{kWidth - 80, kHeight - 60, kWidth, kHeight}}) {
    ScopedPicBuf preview;
    const SeriesFusionReport report =
        FuseAlignedPreview(cache, files, alignment, region, 100, preview.get());
    ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
    EXPECT_EQ(report.fusedCount, 3);
    EXPECT_TRUE(SameSamples(*preview, **FusedFromWholePictures(files, alignment, region)))
        << region.left << "," << region.top;
  }

  // The rectangle shown is cut from the fused region.
  const CBxRect region{40, 40, 200, 140}, rect{60, 50, 180, 130};
  ScopedPicBuf whole, shown;
  FuseAlignedPreview(cache, files, alignment, region, 100, whole.get());
  FuseAlignedPreviewRect(cache, files, alignment, region, rect, 100, nullptr, shown.get());
  ScopedPicBuf expected;
  CutRect(*whole, CBxRect{20, 10, 140, 90}, expected.get());
  EXPECT_TRUE(SameSamples(*shown, *expected));
  FuseAlignedPreviewRect(cache, files, alignment, region, CBxRect{0, 0, 50, 50}, 100, nullptr,
                         shown.get());
  EXPECT_TRUE(IsEmpty(*shown));  // a rectangle outside the region shows nothing
}

TEST(AlignedPreview, StillSeriesGivesThePlainPreviewAndUnreadableFilesAreSkipped) {
  TempFolder folder;
  std::vector<fs::path> files = WriteSeries(folder, {Motion(0, 0, 0), Motion(0, 0, 0)});
  const SeriesAlignment alignment = EstimateSeriesAlignment(files, AlignSettings{}, nullptr);
  ASSERT_FALSE(alignment.Moved(0) || alignment.Moved(1));
  SeriesPictureCache cache;
  const CBxRect region{20, 30, 200, 150};
  ScopedPicBuf aligned, plain;
  FuseAlignedPreview(cache, files, alignment, region, 120, aligned.get());
  ASSERT_EQ(FusePreview(cache, files, region, 120, plain.get()).status, SeriesFusionStatus::kFused);
  EXPECT_TRUE(SameSamples(*aligned, *plain));

  // A file gone since the estimation is left out and named, as in the plain preview.
  fs::remove(files[1]);
  SeriesPictureCache fresh;
  const SeriesFusionReport report =
      FuseAlignedPreview(fresh, files, alignment, region, 120, aligned.get());
  EXPECT_EQ(report.fusedCount, 1);
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_EQ(report.skipped[0].index, 1);
}
