#include <FreeImage.h>
#include <gtest/gtest.h>

#include "picture/CBxPicBufAPI.h"
#include "picture/ImageSave.h"
#include "tests/support/TestFiles.h"

TEST(SaveNames, ProposalFollowsTheOpenedFileAndItsDepth) {
  const SaveProposal jpg = ProposeSaveName("/photos/trip/image.JPG", 8);
  EXPECT_EQ(jpg.name, "image-vtx");
  EXPECT_EQ(jpg.filterIndex, kFormatJpeg);
  EXPECT_EQ(jpg.defaultExtension, ".JPG");
  EXPECT_EQ(ProposeSaveName("/a/old.scan.Bmp", 8).name, "old.scan-vtx");
  const SaveProposal jpeg = ProposeSaveName("/a/b.jpeg", 8);  // not in the list
  EXPECT_EQ(jpeg.name, "b-vtx");
  EXPECT_EQ(jpeg.filterIndex, 0);
  EXPECT_EQ(jpeg.defaultExtension, "");
  EXPECT_EQ(ProposeSaveName("", 8).name, "");
  // 16-bit results are offered TIFF and PNG only, at positions 1 and 2.
  EXPECT_EQ(SaveFilterPatterns(16), (std::vector<std::string>{"*.tif", "*.png"}));
  EXPECT_EQ(ProposeSaveName("/a/x.tif", 16).filterIndex, 1);
  EXPECT_EQ(ProposeSaveName("/a/x.PNG", 16).filterIndex, 2);
  EXPECT_EQ(ProposeSaveName("/a/x.jpg", 16).filterIndex, 0);
}

TEST(SaveNames, TypedNamesTakeTheirExtensionElseTheSelectedFilters) {
  EXPECT_EQ(FormatCodeFromName("out.JPG", 8), kFormatJpeg);
  EXPECT_EQ(FormatCodeFromName("out.JPG", 16), kFormatFromName);
  EXPECT_EQ(FormatCodeFromName("out.tiff", 8), kFormatFromName);  // last four characters only
  ChosenSaveName c = ResolveChosenSaveName("/d/out", 1, 16);
  EXPECT_EQ(c.path, "/d/out.tif");
  EXPECT_EQ(c.formatCode, kFormatTiff);
  c = ResolveChosenSaveName("/d/out.Bmp", kFormatJpeg, 8);
  EXPECT_EQ(c.path, "/d/out.Bmp");
  EXPECT_EQ(c.formatCode, kFormatBmp);
  c = ResolveChosenSaveName("/d/out.jpg", 2, 16);
  EXPECT_EQ(c.path, "/d/out.jpg.png");

  TempFolder folder;  // "out" with the PNG filter writes out.png as PNG
  ScopedPicBuf pic(3, 3, 3, 8);
  FillPattern(pic.get());
  c = ResolveChosenSaveName(folder / "out", kFormatPng, 8);
  ASSERT_FALSE(WriteImageFile(pic.get(), nullptr, c.path, {}, c.formatCode, 0));
  EXPECT_EQ(FreeImage_GetFileType((folder / "out.png").c_str(), 0), FIF_PNG);
}
