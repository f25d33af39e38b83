// The job layer: previews fused from pictures kept in memory give the bits of the plain
// region fusion, within the memory bound or past it; the parameters' limits, the source
// list and the memory estimates.
#include <gtest/gtest.h>

#include "jobs/MemoryNeed.h"
#include "jobs/PreviewFusion.h"
#include "jobs/ResultWrite.h"
#include "jobs/SeriesPipeline.h"
#include "jobs/SourceList.h"
#include "picture/ImageLoad.h"
#include "picture/ImageSave.h"
#include "settings/TextTable.h"
#include "tests/fusion/TestPictures.h"
#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

class PreviewFusionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const double gains[] = {0.4, 0.8, 1.3, 2.0, 3.1};
    for (double gain : gains) {
      ScopedPicBuf pic(120, 90, 3, 8);
      FillScene(pic.get(), gain);
      files_.push_back(folder_ / ("scene" + std::to_string(files_.size()) + ".png"));
      EXPECT_FALSE(WriteImageFile(pic.get(), nullptr, files_.back(), {}, 0, 0));
    }
  }
  SeriesFusionReport Reference(const std::vector<fs::path>& files, const CBxRect& region,
                               SBxPicBuf* out) {
    SeriesFusionRequest request;
    request.files = files;
    request.exposure = 120;
    request.region = region;
    return FuseSeries(request, out);
  }

  TempFolder folder_;
  std::vector<fs::path> files_;
};

TEST_F(PreviewFusionTest, KeptOrReadAgainThePreviewHasTheBitsOfTheRegionFusion) {
  const CBxRect region{13, 7, 101, 88};
  ScopedPicBuf want;
  ASSERT_EQ(Reference(files_, region, want.get()).status, SeriesFusionStatus::kFused);
  for (size_t bound : {size_t{1} << 30, size_t{0}}) {
    SeriesPictureCache cache(bound);
    for (int run = 0; run < 2; ++run) {  // decoded, then from memory (or decoded again)
      ScopedPicBuf got;
      ASSERT_EQ(FusePreview(cache, files_, region, 120, got.get()).status,
                SeriesFusionStatus::kFused);
      EXPECT_TRUE(SameSamples(*got, *want)) << bound << " run " << run;
    }
    EXPECT_EQ(cache.BytesKept() == 0, bound == 0);
    ScopedPicBuf full, fullWant;
    ASSERT_EQ(FuseFromCache(cache, files_, 120, nullptr, full.get()).status,
              SeriesFusionStatus::kFused);
    ASSERT_EQ(FuseFiles(files_, 120, true, nullptr, fullWant.get()).status,
              SeriesFusionStatus::kFused);
    EXPECT_TRUE(SameSamples(*full, *fullWant));
  }
}

TEST_F(PreviewFusionTest, FilesThatCannotBeReadOrDifferAreSkippedEvenWhenTheRegionFits) {
  const fs::path broken = folder_ / "broken.png";
  WriteTextFile(broken, "not a picture");
  const fs::path larger = folder_ / "larger.png";
  ScopedPicBuf big(160, 90, 3, 8);
  FillScene(big.get(), 1.0);
  ASSERT_FALSE(WriteImageFile(big.get(), nullptr, larger, {}, 0, 0));
  const std::vector<fs::path> series{files_[0], broken, files_[1], larger, files_[2]};
  const CBxRect region{0, 0, 100, 80};  // inside every picture, the larger one too

  SeriesPictureCache cache;
  ScopedPicBuf got, want;
  const SeriesFusionReport report = FusePreview(cache, series, region, 120, got.get());
  ASSERT_EQ(report.status, SeriesFusionStatus::kFused);
  ASSERT_EQ(report.skipped.size(), 2u);
  EXPECT_EQ(report.skipped[0].path, broken);
  EXPECT_EQ(report.skipped[0].reason, SeriesSkipReason::kUnreadable);
  EXPECT_EQ(report.skipped[1].path, larger);
  EXPECT_EQ(report.skipped[1].reason, SeriesSkipReason::kOtherGeometry);
  EXPECT_EQ(report.skipped[1].geometry.width, 160);
  EXPECT_EQ(report.fusedCount, 3);
  ASSERT_EQ(Reference({files_[0], files_[1], files_[2]}, region, want.get()).status,
            SeriesFusionStatus::kFused);
  EXPECT_TRUE(SameSamples(*got, *want));
}

TEST(JobParameters, DaylightPowerIsLimitedToItsRangeAndTheFilesPresent) {
  EXPECT_EQ(DaylightFusedCount(15, 39), 15);
  EXPECT_EQ(DaylightFusedCount(2, 39), 3);
  EXPECT_EQ(DaylightFusedCount(50, 39), 39);
  EXPECT_EQ(DaylightFusedCount(15, 9), 9);  // a cancelled family lists fewer files
  EXPECT_EQ(SeriesExposure(SeriesKind::kSingle, 200), 160);
  EXPECT_EQ(SeriesExposure(SeriesKind::kDaylightUp, 60), 128);

  SourceList list;
  std::vector<fs::path> many(120, "x.tif");
  many[98] = "last.tif";
  list.Assign(many);
  EXPECT_EQ(list.count, 99);
  EXPECT_EQ(list.First(200).back(), "last.tif");
  EXPECT_EQ(list.First(3).size(), 3u);
}

TEST(JobParameters, SeriesExposureAndDaylightCountKeepToTheirRanges) {
  EXPECT_EQ(SeriesExposure(SeriesKind::kSingle, 47), 48);
  EXPECT_EQ(SeriesExposure(SeriesKind::kSingle, 48), 48);
  EXPECT_EQ(SeriesExposure(SeriesKind::kSingle, 117), 117);
  EXPECT_EQ(SeriesExposure(SeriesKind::kSingle, 160), 160);
  for (int exposure : {0, 100, 500})
    EXPECT_EQ(SeriesExposure(SeriesKind::kDaylightDown, exposure), parameter::kDaylightExposure);
  EXPECT_EQ(DaylightFusedCount(3, 39), 3);
  EXPECT_EQ(DaylightFusedCount(39, 39), 39);
  EXPECT_EQ(DaylightFusedCount(-7, 39), 3);
  EXPECT_EQ(DaylightFusedCount(15, 0), 0);  // nothing made, nothing fused
  EXPECT_EQ(DaylightFusedCount(15, -1), 0);
  EXPECT_EQ(DaylightFusedCount(2, 2), 2);
}

// The series a panel browses: 99 entries at most, no path longer than the old limit, the
// places of an assigned list kept as they are.
TEST(SourceList, HoldsAtMostNinetyNineEntriesAndKeepsTheirPlaces) {
  SourceList list;
  for (int i = 0; i < SourceList::kCapacity; ++i)
    EXPECT_TRUE(list.Append(std::to_string(i) + ".jpg")) << i;
  EXPECT_FALSE(list.Append("one-too-many.jpg"));
  EXPECT_EQ(list.count, 99);
  EXPECT_EQ(list.First(99).back(), "98.jpg");
  EXPECT_TRUE(list.First(-1).empty());
  list.index = 5;
  list.Clear();
  EXPECT_EQ(list.count, 0);
  EXPECT_EQ(list.index, 0);
  EXPECT_TRUE(list.entries[0].empty() && list.entries[98].empty());
  EXPECT_FALSE(list.Append(std::string(SourceList::kMaxPathLength + 1, 'x')));
  EXPECT_TRUE(list.Append(std::string(SourceList::kMaxPathLength, 'x')));

  const std::vector<fs::path> holes{"a.tif", "", "c.tif"};
  list.index = 2;
  list.Assign(holes);
  EXPECT_EQ(list.count, 3);
  EXPECT_EQ(list.index, 0);
  EXPECT_EQ(list.First(3), holes);
  EXPECT_TRUE(list.entries[3].empty());  // what the longer list held before is gone
}

// The memory a fusion of a file's pictures needs, told from its header alone: its size as
// colour, at 16 bits for deep files; nothing for what is no picture.
TEST(MemoryNeed, TheFusionNeedComesFromTheFirstFilesHeader) {
  TempFolder folder;
  const struct {
    int width, height;
    uint32_t components, bits;
    uint32_t countedBits;
  } files[] = {{120, 90, 3, 8, 8}, {64, 200, 1, 8, 8}, {50, 40, 3, 16, 16}};
  for (const auto& f : files) {
    ScopedPicBuf pic(f.width, f.height, f.components, f.bits);
    FillScene(pic.get(), 1.0);
    const fs::path path = folder / (std::to_string(f.width) + ".png");
    ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, path, {}, 0, 0));
    SBxPicBuf counted;
    counted.width = f.width;
    counted.height = f.height;
    counted.components = 3;
    counted.bitsPerComponent = f.countedBits;
    EXPECT_EQ(FusionBytesFromHeader(path), std::optional<uint64_t>(FusionBytes(counted))) << path;
  }
  WriteTextFile(folder / "notes.png", "no picture here");
  EXPECT_EQ(FusionBytesFromHeader(folder / "notes.png"), std::nullopt);
  EXPECT_EQ(FusionBytesFromHeader(folder / "missing.png"), std::nullopt);
}

TEST(MemoryNeed, JobsThatCannotFitAreRefusedWithBothSizesNamed) {
  SBxPicBuf twelve;  // 12 megapixels, 8-bit colour
  twelve.width = 4000;
  twelve.height = 3000;
  twelve.components = 3;
  twelve.bitsPerComponent = 8;
  // About 2 x 4/3 float planes per component for the accumulator alone: at least 384 MB.
  EXPECT_GT(FusionBytes(twelve), uint64_t{384} << 20);
  EXPECT_LT(FusionBytes(twelve), uint64_t{2} << 30);
  SBxPicBuf grey = twelve;
  grey.components = 1;
  EXPECT_LT(FusionBytes(grey), FusionBytes(twelve));
  EXPECT_GT(ToneMapBytes(twelve), ToneMapBytes(grey));
  EXPECT_GT(SmartContrastBytes(twelve), SmartContrastBytes(grey));

  EXPECT_EQ(MemoryRefusal("Fusing", 100 << 20, 200 << 20), "");
  EXPECT_EQ(MemoryRefusal("Fusing", (uint64_t{300} << 20) + 1, uint64_t{200} << 20),
            "Fusing needs about 301 MB of memory, but only 200 MB are available");
  EXPECT_GT(AvailableMemoryBytes(), uint64_t{0});
}

}  // namespace

// Every front end words a failed save the same way: the picture library's reason in the
// text table's words, the system's own words after the general ones for anything else.
TEST(SaveFailureTextTest, EachReasonHasItsWords) {
  const TempFolder folder;
  const fs::path target = folder.path() / "x.png";
  const auto why = [&](int error) {
    return SaveFailureText(target, std::error_code(error, std::generic_category()));
  };
  EXPECT_EQ(why(ENOSPC), LangText(TextId::kSaveDiskFull));
  EXPECT_EQ(why(EDQUOT), LangText(TextId::kSaveDiskFull));
  EXPECT_EQ(why(EACCES), LangText(TextId::kSaveNoPermission));
  EXPECT_EQ(why(EROFS), LangText(TextId::kSaveReadOnly));
  EXPECT_EQ(why(EISDIR), LangText(TextId::kSaveFolderInTheWay));
  EXPECT_EQ(why(ENAMETOOLONG), LangText(TextId::kSaveNameTooLong));
  EXPECT_EQ(SaveFailureText(folder.path() / "missing" / "x.png", {}),
            LangText(TextId::kSaveNoFolder));
  EXPECT_EQ(SaveFailureText(target, {}), LangText(TextId::kSaveWriteError));
  EXPECT_EQ(why(EIO).rfind(LangText(TextId::kSaveWriteError), 0), 0u);
  EXPECT_GT(why(EIO).size(), LangText(TextId::kSaveWriteError).size());
}

namespace {

// A copy of the picture, at `bits` per component when given.
void CopyInto(const SBxPicBuf& from, SBxPicBuf* to, uint32_t bits = 0) {
  CBxPicBufAPI::ReinitHeap(to, &from);
  CBxPicBufAPI::Copy(to, &from);
  if (bits != 0) {
    ASSERT_NE(CBxPicBufAPI::ConvertBpcComp(to, bits, from.components), 0);
  }
}

}  // namespace

// The one write path of every front end: a depth change works on copies, so the caller's
// picture and alpha stay as they are, and the alpha is written with the picture.
TEST(WriteResultFileTest, TheAlphaGoesWithThePictureAndDepthChangesWorkOnCopies) {
  const TempFolder folder;
  ScopedPicBuf pic(37, 11, 3, 16), mask(37, 11, 1, 16), picBefore, maskBefore;
  FillPattern(pic.get(), 1);
  FillPattern(mask.get(), 4);
  CopyInto(*pic, picBefore.get());
  CopyInto(*mask, maskBefore.get());
  ResultWriteOptions options;
  options.depth = 8;
  const fs::path out = folder / "out.png";
  ASSERT_EQ(WriteResultFile(*pic, out, {}, options, mask.get()), "");

  ScopedPicBuf back, backMask, want, wantMask;
  ASSERT_FALSE(LoadImageFile(back.get(), backMask.get(), out));
  CopyInto(*pic, want.get(), 8);
  CopyInto(*mask, wantMask.get(), 8);
  EXPECT_TRUE(SameSamples(*back, *want));
  EXPECT_TRUE(SameSamples(*backMask, *wantMask));
  EXPECT_TRUE(SameSamples(*pic, *picBefore));
  EXPECT_TRUE(SameSamples(*mask, *maskBefore));

  // An empty mask is no alpha.
  ScopedPicBuf none, plain, noAlpha;
  ASSERT_EQ(WriteResultFile(*pic, out, {}, options, none.get()), "");
  ASSERT_FALSE(LoadImageFile(plain.get(), noAlpha.get(), out));
  EXPECT_TRUE(IsEmpty(*noAlpha));
}

// Metadata that cannot be read fails the write, naming its file and adding what the caller
// tells the user to do about it; without metadata the same write succeeds.
TEST(WriteResultFileTest, AMetadataSourceThatCannotBeReadIsNamedWithTheCallersHint) {
  const TempFolder folder;
  ScopedPicBuf pic(24, 16, 3, 8);
  FillPattern(pic.get());
  const fs::path gone = folder / "gone.jpg", out = folder / "out.jpg";
  ResultWriteOptions options;
  options.metadataHint = " (write it without)";
  EXPECT_EQ(WriteResultFile(*pic, out, gone, options),
            "the metadata of \"" + gone.string() + "\" can no longer be read (write it without)");
  EXPECT_TRUE(folder.Entries().empty());
  options.copyMetadata = false;
  EXPECT_EQ(WriteResultFile(*pic, out, gone, options), "");
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"out.jpg"}));
}
