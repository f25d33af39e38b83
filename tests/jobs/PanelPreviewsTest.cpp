// The panels' previews as plain steps: the fused, tone-mapped and rebuilt pictures are the
// engines' own, and pasting a preview into the shown picture rectangle by rectangle leaves
// exactly what a whole copy of the source with the preview pasted would.
#include <gtest/gtest.h>

#include "jobs/PanelPreviews.h"
#include "jobs/ToneJobs.h"
#include "picture/ImageSave.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

// A progress whose cancel flag is raised from the start.
class StoppedProgress : public JobProgress {
 public:
  StoppedProgress() { WatchCancelFlag(&flag_); }

 private:
  std::atomic<uint8_t> flag_{1};
};

// The shown picture as it was made before: a whole copy of the source, the preview pasted.
void PlainShown(const SBxPicBuf& source, const SBxPicBuf& preview, const CBxRect& at,
                SBxPicBuf* shown) {
  CopyPicture(shown, source);
  if (!IsEmpty(preview))
    CBxPicBufAPI::CopyRect(shown, &preview, CBxPoint{at.left, at.top}, CBxPoint{0, 0},
                           CBxSize{preview.width, preview.height});
}

// True when `a` and `b` differ only inside `rect`.
bool SameOutside(const SBxPicBuf& a, const SBxPicBuf& b, const CBxRect& rect) {
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom) continue;
      for (uint32_t c = 0; c < a.components; ++c)
        if (SampleAt(a, x, y, c) != SampleAt(b, x, y, c)) return false;
    }
  return true;
}

TEST(ShowPreview, RectangleByRectangleItLeavesWhatAWholeCopyWithThePasteWould) {
  for (uint32_t bits : {8u, 16u}) {
    ScopedPicBuf source(97, 61, 3, bits), shown, before, want;
    FillPattern(source.get(), 3);
    CBxRect pasted{};
    // Moves of a preview of changing content, one off the picture, one of other bits.
    const CBxRect places[] = {{10, 5, 40, 25},   {30, 20, 60, 40}, {67, 41, 97, 61},
                              {80, 50, 110, 70}, {0, 0, 30, 20},   {5, 5, 35, 25}};
    for (size_t i = 0; i < std::size(places); ++i) {
      const CBxRect& at = places[i];
      ScopedPicBuf preview(30, 20, 3, i == 5 ? 24 - bits : bits);
      if (!IsEmpty(*preview)) FillPattern(preview.get(), static_cast<uint32_t>(40 + i));
      CopyPicture(before.get(), *shown);
      const CBxRect written = ShowPreview(*source, *preview, at, &pasted, shown.get());
      const bool fits = i != 3 && i != 5;
      PlainShown(*source, fits ? *preview : SBxPicBuf{}, at, want.get());
      EXPECT_TRUE(SameSamples(*shown, *want)) << bits << " bits, place " << i;
      EXPECT_EQ(pasted.right - pasted.left, fits ? 30 : 0) << i;
      if (i > 0) {
        EXPECT_TRUE(SameOutside(*shown, *before, written)) << i;
      }
    }
    EXPECT_EQ(pasted.Width(), 0);  // the last preview did not fit: nothing lies pasted
  }
}

TEST(ShowPreview, AShownPictureOfAnotherGeometryOrUnknownContentIsCopiedWhole) {
  ScopedPicBuf source(50, 40, 1, 8), preview(10, 10, 1, 8), shown(20, 20, 3, 8), want;
  FillPattern(source.get(), 1);
  FillPattern(preview.get(), 2);
  CBxRect pasted{};
  const CBxRect at{5, 5, 15, 15};
  EXPECT_EQ(ShowPreview(*source, *preview, at, &pasted, shown.get()).Width(), 50);
  PlainShown(*source, *preview, at, want.get());
  EXPECT_TRUE(SameSamples(*shown, *want));

  // The source changed under the shown picture (browsing): the whole picture is restored.
  FillPattern(source.get(), 9);
  pasted = WholePicture(*shown);
  ShowPreview(*source, *preview, at, &pasted, shown.get());
  PlainShown(*source, *preview, at, want.get());
  EXPECT_TRUE(SameSamples(*shown, *want));
}

class FusionPreviewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (double gain : {0.5, 1.0, 1.8, 2.6, 3.3}) {
      ScopedPicBuf pic(140, 100, 3, 8);
      FillScene(pic.get(), gain);
      files_.push_back(folder_ / ("scene" + std::to_string(files_.size()) + ".png"));
      ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, files_.back(), {}, 0, 0));
    }
  }
  TempFolder folder_;
  std::vector<fs::path> files_;
};

TEST_F(FusionPreviewTest, ThePreviewIsTheRectangleOfTheRegionFusion) {
  const CBxRect region{4, 6, 130, 96}, rect{30, 20, 90, 70};
  SeriesPictureCache cache;
  ScopedPicBuf fused, want, got;
  ASSERT_EQ(FusePreview(cache, files_, region, 110, fused.get()).status,
            SeriesFusionStatus::kFused);
  CutRect(*fused, {26, 14, 86, 64}, want.get());
  ASSERT_EQ(FusePreviewRect(cache, files_, region, rect, 110, nullptr, got.get()).status,
            SeriesFusionStatus::kFused);
  EXPECT_TRUE(SameSamples(*got, *want));

  // A rectangle not inside the region, no files, or a stop request: no preview at all.
  EXPECT_EQ(FusePreviewRect(cache, files_, region, {0, 0, 60, 50}, 110, nullptr, got.get()).status,
            SeriesFusionStatus::kFused);
  EXPECT_TRUE(IsEmpty(*got));
  EXPECT_EQ(FusePreviewRect(cache, {}, region, rect, 110, nullptr, got.get()).status,
            SeriesFusionStatus::kNoFiles);
  EXPECT_TRUE(IsEmpty(*got));
  StoppedProgress stopped;
  EXPECT_EQ(FusePreviewRect(cache, files_, region, rect, 110, &stopped, got.get()).status,
            SeriesFusionStatus::kCancelled);
  EXPECT_TRUE(IsEmpty(*got));
}

TEST(CutRect, OnlyARectangleInsideThePictureIsCut) {
  ScopedPicBuf picture(30, 20, 3, 16), part;
  FillPattern(picture.get(), 5);
  CutRect(*picture, {3, 4, 13, 9}, part.get());
  ASSERT_EQ(std::make_pair(part->width, part->height), std::make_pair(10, 5));
  EXPECT_EQ(SampleAt(*part, 0, 0, 2), SampleAt(*picture, 3, 4, 2));
  EXPECT_EQ(SampleAt(*part, 9, 4, 1), SampleAt(*picture, 12, 8, 1));
  for (const CBxRect& outside :
       {CBxRect{25, 0, 35, 10}, CBxRect{-1, 0, 5, 5}, CBxRect{4, 4, 4, 9}}) {
    CutRect(*picture, outside, part.get());
    EXPECT_TRUE(IsEmpty(*part));
  }
}

TEST(ToneMapPreview, ThePreviewIsTheEngineOnTheCutAndNothingWhenStopped) {
  ScopedPicBuf source(180, 150, 3, 8), part, preview, want;
  FillScene(source.get(), 1.4);
  const CBxRect rect{20, 30, 148, 142};
  CutRect(*source, rect, part.get());
  ToneSliders sliders;
  sliders.contrast = 17;
  sliders.details = 4;
  ToneMapPreview(*part, sliders, nullptr, preview.get());
  ASSERT_FALSE(ToneMapPicture(*part, sliders, nullptr, want.get()));
  EXPECT_TRUE(SameSamples(*preview, *want));
  EXPECT_FALSE(SameSamples(*preview, *part));

  StoppedProgress stopped;
  ToneMapPreview(*part, sliders, &stopped, preview.get());
  EXPECT_TRUE(IsEmpty(*preview));
  ToneMapPreview(SBxPicBuf{}, sliders, nullptr, preview.get());
  EXPECT_TRUE(IsEmpty(*preview));
}

// Rebuilds the window skips (a newer change came first) must not change what the last one
// gives: each rebuild depends on its own gains only.
TEST(SmartContrastRebuild, ARebuildGivesTheBitsOfAFreshJobWithTheSameGains) {
  ScopedPicBuf source(120, 90, 3, 16);
  FillScene(source.get(), 1.1);
  const int first[kSmartContrastSliders] = {30, 0, 12, 25, 10, 3, 10, 10};
  const int last[kSmartContrastSliders] = {12, 10, 10, 25, 10, 30, 10, 10};
  SmartContrastJob used, fresh;
  ASSERT_FALSE(used.Prepare(*source));
  ASSERT_FALSE(fresh.Prepare(*source));
  ScopedPicBuf a, b;
  ASSERT_FALSE(used.Apply(first, a.get()));
  ASSERT_FALSE(used.Apply(last, a.get()));
  ASSERT_FALSE(fresh.Apply(last, b.get()));
  EXPECT_TRUE(SameSamples(*a, *b));
  ScopedPicBuf other;
  ASSERT_FALSE(fresh.Apply(first, other.get()));
  EXPECT_FALSE(SameSamples(*a, *other));
}

}  // namespace
