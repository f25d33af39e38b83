// Ghost removal in the Multi Image preview: the series compared once, then any region fused
// with what was found. A still series previews with the plain preview's bits and no overlay;
// a thing pasted elsewhere in one frame is marked by the overlay there and nowhere far from it,
// and the preview shows it once, as the series in which it stays put does.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "jobs/GhostPreview.h"
#include "jobs/GhostSeries.h"
#include "jobs/PanelPreviews.h"
#include "tests/jobs/MovingSeries.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace moving_series;

constexpr CBxRect kWhole{0, 0, kWidth, kHeight};

double MeanDifference(const SBxPicBuf& a, const SBxPicBuf& b, const CBxRect& area) {
  double sum = 0.0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int i = area.left * 3; i < area.right * 3; ++i)
      sum += std::abs(RowPtr(a, y)[i] - RowPtr(b, y)[i]);
  return sum / (3.0 * area.Width() * area.Height());
}

// The smallest and largest sample of a one-component plane over `area`.
std::pair<int, int> Extremes(const SBxPicBuf& plane, const CBxRect& area) {
  int smallest = 255, largest = 0;
  for (int y = area.top; y < area.bottom; ++y)
    for (int x = area.left; x < area.right; ++x) {
      smallest = std::min(smallest, static_cast<int>(RowPtr(plane, y)[x]));
      largest = std::max(largest, static_cast<int>(RowPtr(plane, y)[x]));
    }
  return {smallest, largest};
}

int Largest(const SBxPicBuf& plane, const CBxRect& area) {
  return Extremes(plane, area).second;
}

}  // namespace

TEST(GhostPreview, StillSeriesPreviewsAsThePlainPreviewWithNothingMarked) {
  TempFolder folder;
  const std::vector<fs::path> files =
      WriteMovingSeries(folder.path(), "still", {false, false, false});
  ASSERT_EQ(files.size(), 3u);
  const SeriesGhosts ghosts = EstimateSeriesGhosts(files, nullptr, 10, nullptr);
  ASSERT_EQ(ghosts.status, SeriesGhostStatus::kEstimated);
  EXPECT_EQ(ghosts.KeptOutCount(), 0);
  ScopedPicBuf overlay;
  ASSERT_FALSE(GhostOverlayPlane(ghosts, overlay.get()));
  EXPECT_EQ(Largest(*overlay, kWhole), 0);

  SeriesPictureCache cache;
  const CBxRect region{40, 30, 300, 200}, rect{60, 50, 280, 180};
  ScopedPicBuf plain, deghosted;
  ASSERT_EQ(FusePreviewRect(cache, files, region, rect, 100, nullptr, plain.get()).status,
            SeriesFusionStatus::kFused);
  ASSERT_EQ(FuseGhostPreviewRect(cache, files, nullptr, ghosts, region, rect, 100, nullptr,
                                 deghosted.get())
                .status,
            SeriesFusionStatus::kFused);
  EXPECT_TRUE(SameSamples(*plain, *deghosted));
}

TEST(GhostPreview, MovedThingIsMarkedWhereItWasAndPreviewedOnce) {
  TempFolder folder;
  const std::vector<fs::path> still =
      WriteMovingSeries(folder.path(), "still", {false, false, false});
  const std::vector<fs::path> moved =
      WriteMovingSeries(folder.path(), "moved", {true, false, false});
  ASSERT_EQ(moved.size(), 3u);
  const SeriesGhosts ghosts = EstimateSeriesGhosts(moved, nullptr, 5, nullptr);
  ASSERT_EQ(ghosts.status, SeriesGhostStatus::kEstimated);
  EXPECT_EQ(ghosts.KeptOutCount(), 1);  // the first frame only; the reference is the middle one
  EXPECT_GT(ghosts.rejected[0], 0.0f);
  EXPECT_GT(ghosts.LargestShare(), 0.0f);

  // The overlay marks both places the first frame disagrees (where the thing is and where it
  // is missing), and not the corner far from both.
  ScopedPicBuf overlay;
  ASSERT_FALSE(GhostOverlayPlane(ghosts, overlay.get()));
  ASSERT_EQ(overlay->width, kWidth);
  for (const CBxRect& patch : {kPatchMoved, kPatchStays}) {
    const CBxRect centre{patch.left + 20, patch.top + 20, patch.right - 20, patch.bottom - 20};
    EXPECT_GT(Extremes(*overlay, centre).first, 200);  // all of it, nearly fully
  }
  EXPECT_EQ(Largest(*overlay, {0, 200, 150, kHeight}), 0);

  // Previewed with what was found, the patch shows once: close to the series where it stays.
  SeriesPictureCache cache;
  ScopedPicBuf truth, plain, deghosted;
  ASSERT_EQ(FusePreviewRect(cache, still, kWhole, kWhole, 100, nullptr, truth.get()).status,
            SeriesFusionStatus::kFused);
  ASSERT_EQ(FusePreviewRect(cache, moved, kWhole, kWhole, 100, nullptr, plain.get()).status,
            SeriesFusionStatus::kFused);
  ASSERT_EQ(FuseGhostPreviewRect(cache, moved, nullptr, ghosts, kWhole, kWhole, 100, nullptr,
                                 deghosted.get())
                .status,
            SeriesFusionStatus::kFused);
  // The whole picture previewed is what `fuse --deghost` makes of it.
  ScopedPicBuf full;
  ASSERT_EQ(FuseDeghostedFiles(moved, 100, true, AlignSettings{}, false, 5, nullptr, full.get())
                .fused.fusion.status,
            SeriesFusionStatus::kFused);
  EXPECT_LT(MeanDifference(*deghosted, *full, kWhole), 0.5);
  for (const CBxRect& area : {kPatchStays, kPatchMoved}) {
    EXPECT_GT(MeanDifference(*plain, *truth, area), 8.0);
    EXPECT_LT(MeanDifference(*deghosted, *truth, area), 3.0);
  }
  // A region that cuts through the repaired parts gives that part of the whole preview, as
  // closely as a plain preview's region gives the plain whole one (the pyramid sees less), and
  // keeps the moved thing out as well.
  const CBxRect region{200, 100, 340, 220}, rect{220, 110, 330, 200}, all{0, 0, 110, 90};
  ScopedPicBuf part, plainPart, expected, plainExpected, truthPart;
  ASSERT_EQ(
      FuseGhostPreviewRect(cache, moved, nullptr, ghosts, region, rect, 100, nullptr, part.get())
          .status,
      SeriesFusionStatus::kFused);
  ASSERT_EQ(FusePreviewRect(cache, moved, region, rect, 100, nullptr, plainPart.get()).status,
            SeriesFusionStatus::kFused);
  CutRect(*deghosted, rect, expected.get());
  CutRect(*plain, rect, plainExpected.get());
  CutRect(*truth, rect, truthPart.get());
  EXPECT_LT(MeanDifference(*part, *expected, all),
            MeanDifference(*plainPart, *plainExpected, all) + 0.5);
  const CBxRect patch{kPatchMoved.left - rect.left, kPatchMoved.top - rect.top,
                      kPatchMoved.right - rect.left, kPatchMoved.bottom - rect.top};
  EXPECT_GT(MeanDifference(*plainPart, *truthPart, patch), 5.0);
  EXPECT_LT(MeanDifference(*part, *truthPart, patch), 3.0);
}
