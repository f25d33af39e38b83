#include <FreeImage.h>
#include <gtest/gtest.h>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"
#include "tests/support/TestFiles.h"

TEST(SaveNames, ProposalFollowsTheOpenedFileWithItsExtensionAsWritten) {
  const SaveProposal jpg = ProposeSaveName("/photos/trip/image.JPG", 8);
  EXPECT_EQ(jpg.name, "image-vtx");
  EXPECT_EQ(jpg.filterIndex, kFormatJpeg);
  EXPECT_EQ(jpg.defaultExtension, ".JPG");
  EXPECT_EQ(ProposeSaveName("/a/old.scan.Bmp", 8).name, "old.scan-vtx");
  EXPECT_EQ(ProposeSaveName("/a/old.scan.Bmp", 8).filterIndex, kFormatBmp);
  // Extensions outside the list keep the name but choose no filter.
  const SaveProposal jpeg = ProposeSaveName("/a/b.jpeg", 8);
  EXPECT_EQ(jpeg.name, "b-vtx");
  EXPECT_EQ(jpeg.filterIndex, 0);
  EXPECT_EQ(jpeg.defaultExtension, "");
  EXPECT_EQ(ProposeSaveName("", 8).name, "");
}

TEST(SaveNames, SixteenBitResultsOfferOnlyTiffAndPng) {
  EXPECT_EQ(SaveFilterPatterns(16), (std::vector<std::string>{"*.tif", "*.png"}));
  EXPECT_EQ(SaveFilterPatterns(8), (std::vector<std::string>{"*.bmp", "*.tif", "*.png", "*.jpg"}));
  EXPECT_EQ(ProposeSaveName("/a/x.tif", 16).filterIndex, 1);
  EXPECT_EQ(ProposeSaveName("/a/x.PNG", 16).filterIndex, 2);
  EXPECT_EQ(ProposeSaveName("/a/x.jpg", 16).filterIndex, 0);
  EXPECT_EQ(ProposeSaveName("/a/x.jpg", 16).defaultExtension, "");
  EXPECT_EQ(FormatCodeFromName("out.JPG", 16), kFormatFromName);
  EXPECT_EQ(FormatCodeFromName("out.JPG", 8), kFormatJpeg);
  EXPECT_EQ(FormatCodeFromName("out.tiff", 8), kFormatFromName);  // last four characters only
  EXPECT_EQ(FormatCodeFromName(".png", 16), kFormatPng);
  EXPECT_EQ(FormatCodeFromName("png", 16), kFormatFromName);
}

TEST(SaveNames, ChosenNameWithoutListedExtensionTakesTheSelectedFilters) {
  ChosenSaveName c = ResolveChosenSaveName("/d/out", kFormatPng, 8);
  EXPECT_EQ(c.path, "/d/out.png");
  EXPECT_EQ(c.formatCode, kFormatPng);
  c = ResolveChosenSaveName("/d/out", 1, 16);
  EXPECT_EQ(c.path, "/d/out.tif");
  EXPECT_EQ(c.formatCode, kFormatTiff);
  c = ResolveChosenSaveName("/d/out.Bmp", kFormatJpeg, 8);  // the typed extension wins
  EXPECT_EQ(c.path, "/d/out.Bmp");
  EXPECT_EQ(c.formatCode, kFormatBmp);
  c = ResolveChosenSaveName("/d/out.jpg", 2, 16);  // not offered for 16 bits
  EXPECT_EQ(c.path, "/d/out.jpg.png");
  EXPECT_EQ(c.formatCode, kFormatPng);
}

TEST(SaveNames, TypedNameWithPngFilterWritesAPngFile) {
  TempFolder folder;
  ScopedPicBuf pic(3, 3, 3, 8);
  FillPattern(pic.get());
  const ChosenSaveName chosen = ResolveChosenSaveName(folder / "out", kFormatPng, 8);
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, chosen.path, {}, chosen.formatCode, 0));
  EXPECT_EQ(FreeImage_GetFileType((folder / "out.png").c_str(), 0), FIF_PNG);
}

TEST(SaveNames, JpegQualityBelowOneMeans95AndIsCappedAt100) {
  EXPECT_EQ(EffectiveJpegQuality(0), 95);
  EXPECT_EQ(EffectiveJpegQuality(-7), 95);
  EXPECT_EQ(EffectiveJpegQuality(1), 1);
  EXPECT_EQ(EffectiveJpegQuality(85), 85);
  EXPECT_EQ(EffectiveJpegQuality(300), 100);
}
